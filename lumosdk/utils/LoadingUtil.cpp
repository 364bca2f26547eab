#include "lumosdk/utils/LoadingUtil.h"

#include <algorithm>

#include <atomic>
#include <cstdint>

#include "lumosdk/recorder/SessionEvents.h"
#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/NetworkUtil.h"
#include "lumosdk/utils/dialogs/ActiveWindow.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"

namespace lumo {

using namespace platform::ui;

namespace {

constexpr const char* kTag = "LoadingUtil";
constexpr double kBoxSize = 120;
constexpr double kMaxBoxWidth = 280;

// Touched on the main thread only.
struct Overlay {
  std::shared_ptr<View> loadingView;
  std::shared_ptr<Label> messageLabel;
  // Shows numbered up to here were issued before a dismiss that already ran.
  std::uint64_t cancelledThrough = 0;
};

// Numbers every show request, from any thread.
std::atomic<std::uint64_t> showRequests{0};

Overlay& overlay() {
  static Overlay shown;
  return shown;
}

void dismissOnMain() {
  auto& shown = overlay();
  if (!shown.loadingView) LogUtil::d("[LoadingUtil] dismiss 被调用但 loadingView 为空", kTag);
  if (shown.loadingView) {
    shown.loadingView->removeFromSuperview();
    recorder::SessionEvents::ui(recorder::UiKind::wait, recorder::UiAction::dismiss,
                                shown.messageLabel ? shown.messageLabel->text() : std::string());
  }
  shown.loadingView.reset();
  shown.messageLabel.reset();
}

std::shared_ptr<View> buildOverlay(const Rect& bounds, const std::string& message, std::shared_ptr<Label>& label) {
  auto cover = View::make(bounds);
  cover->setBackgroundColor(Color::black().withAlpha(0.5));
  cover->setAutoresizingMask(Autoresizing::flexibleWidth | Autoresizing::flexibleHeight);

  // Square for short messages; wider for a longer one, so that a sentence stays on one line
  // where the window allows it.
  Font font = Font::systemFont(14);
  double textWidth = Label::measure(message, font).width;
  double boxWidth = std::clamp(textWidth + 24, kBoxSize, std::max(kBoxSize, std::min(kMaxBoxWidth, bounds.width() - 40)));
  auto box = View::make({(bounds.width() - boxWidth) / 2, (bounds.height() - kBoxSize) / 2, boxWidth, kBoxSize});
  box->setBackgroundColor(Color::white(0.2, 0.8));
  box->layer()->setCornerRadius(10);
  box->setAutoresizingMask(Autoresizing::flexibleLeftMargin | Autoresizing::flexibleRightMargin |
                           Autoresizing::flexibleTopMargin | Autoresizing::flexibleBottomMargin);
  cover->addSubview(box);

  auto spinner = ActivityIndicatorView::make(ActivityIndicatorView::Style::large);
  spinner->setColor(Color::white());
  spinner->sizeToFit();
  spinner->setCenter({boxWidth / 2, 45});
  spinner->startAnimating();
  box->addSubview(spinner);

  label = Label::make({10, 60, boxWidth - 20, 60});
  label->setText(message);
  label->setTextColor(Color::white());
  label->setTextAlignment(TextAlignment::center);
  label->setFont(font);
  label->setAdjustsFontSizeToFitWidth(true);
  label->setNumberOfLines(0);
  box->addSubview(label);
  return cover;
}

void showOnMain(const std::string& message) {
  dismissOnMain();
  auto window = LoadingUtil::obtainActiveWindow();
  if (!window) {
    LogUtil::w("[LoadingUtil] show 无法找到 active window", kTag);
    return;
  }
  auto& shown = overlay();
  shown.loadingView = buildOverlay(window->bounds(), message, shown.messageLabel);
  window->addSubview(shown.loadingView);
  recorder::SessionEvents::ui(recorder::UiKind::wait, recorder::UiAction::show, message);
}

}  // namespace

void LoadingUtil::show(const std::string& message) {
  std::uint64_t request = ++showRequests;
  platform::dispatch::DispatchQueue::main()->async([message, request] {
    if (request <= overlay().cancelledThrough) return;
    showOnMain(message);
  });
}

void LoadingUtil::dismiss() {
  if (platform::dispatch::MainLoop::isMainThread()) {
    // A dismiss on the main thread acts at once; a show issued before it and still queued
    // must not put the overlay back afterwards and block the window for good.
    overlay().cancelledThrough = showRequests.load();
    dismissOnMain();
  } else {
    platform::dispatch::DispatchQueue::main()->async(dismissOnMain);
  }
}

std::shared_ptr<Window> LoadingUtil::obtainActiveWindow() {
  auto window = ui::chooseWindow(ui::usableWindows(ui::candidateWindows()));
  if (!window) LogUtil::w("[LoadingUtil] obtainActiveWindow 未找到可用窗口", kTag);
  return window;
}

void LoadingUtil::installAsNetworkOverlay() {
  NetworkUtil::setLoadingOverlay([](const std::string& message) { show(message); }, [] { dismiss(); });
}

std::shared_ptr<View> LoadingUtil::loadingView() { return overlay().loadingView; }

std::shared_ptr<Label> LoadingUtil::messageLabel() { return overlay().messageLabel; }

void LoadingUtil::resetForTesting() {
  auto& shown = overlay();
  if (shown.loadingView) shown.loadingView->removeFromSuperview();
  shown = Overlay{};
  shown.cancelledThrough = showRequests.load();
}

}  // namespace lumo
