// The control page's views: background, top bar with the vehicle label, the obstacle warning
// panel and the centre block (tip, drive mode, delay, exit button). Frames follow the view's
// bounds on every layout pass; the page is landscape only.

#include <algorithm>

#include "lumosdk/pages/ControlPageMetrics.h"
#include "lumosdk/pages/LumoControlPage.h"
#include "lumosdk/widgets/ScaledResourceImage.h"
#include "platform/ui/Button.h"
#include "platform/ui/Color.h"
#include "platform/ui/Font.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Layer.h"
#include "platform/ui/View.h"

namespace lumo {

namespace ui = platform::ui;

namespace {

using control_page::kControlAreaSize;
using control_page::kEdgeInset;
using control_page::kTopBarHeight;
constexpr double kCentreGap = 20;

ui::Color statusTextColor() { return ui::Color::rgb255(51, 51, 51); }
ui::Color exitColor() { return ui::Color::rgb255(16, 54, 132); }

std::shared_ptr<ui::Label> makeLabel(const std::string& text, const ui::Font& font, const ui::Color& color) {
  auto label = ui::Label::make();
  label->setText(text);
  label->setFont(font);
  label->setTextColor(color);
  label->setTextAlignment(ui::TextAlignment::center);
  return label;
}

void sizeToContent(const std::shared_ptr<ui::View>& view, double x, double centreY) {
  auto size = view->intrinsicContentSize();
  view->setFrame({x, centreY - size.height / 2, size.width, size.height});
}

}  // namespace

void LumoControlPage::setBackgroundGradient() {
  gradientLayer_ = ui::GradientLayer::make();
  gradientLayer_->colors = {ui::Color::rgb255(200, 212, 232), ui::Color::rgb255(190, 205, 231)};
  gradientLayer_->startPoint = {0, 0.5};
  gradientLayer_->endPoint = {1, 0.5};
  view()->layer()->insertSublayer(gradientLayer_, 0);
  gradientLayer_->setFrame(view()->bounds());
}

std::shared_ptr<ui::View> LumoControlPage::makeWarningPanel() {
  auto panel = ui::View::make();
  panel->setBackgroundColor(ui::Color::systemRed());
  panel->layer()->setCornerRadius(8);
  panel->setHidden(true);
  tvWarningMessage_ =
      makeLabel("车辆周围有障碍物，请检查确认后再遥控", ui::Font::boldSystemFont(16), ui::Color::white());
  tvWarningMessage_->setAdjustsFontSizeToFitWidth(true);
  tvWarningMessage_->setMinimumScaleFactor(0.6);
  panel->addSubview(tvWarningMessage_);
  return panel;
}

std::shared_ptr<ui::View> LumoControlPage::makeExitButton() {
  auto button = ui::Button::make(ui::Button::Type::custom);
  button->setTitle("退出");
  button->titleLabel()->setFont(ui::Font::systemFont(15));
  button->setTitleColor(exitColor());
  button->setImage(loadScaledResourceImage("ic_power_settings_new.png"));
  button->setImageTitleSpacing(5);
  button->setBackgroundColor(ui::Color::white(1.0, 0.9));
  button->layer()->setCornerRadius(18);
  auto weak = weakSelf();
  button->addTarget(
      [weak](ui::Control&) {
        if (auto page = weak.lock()) page->exitButtonTapped();
      },
      ui::ControlEvent::touchUpInside);
  return button;
}

std::shared_ptr<ui::View> LumoControlPage::setupCenterInfoBlock() {
  auto block = ui::View::make();
  block->addSubview(makeLabel("请与车辆保持2米以内安全范围遥控", ui::Font::boldSystemFont(13), statusTextColor()));
  bluetoothIcon_ = ui::ImageView::make();
  bluetoothIcon_->setImage(loadScaledResourceImage("icon_bluetooth.png"));
  bluetoothIcon_->setContentMode(ui::ContentMode::scaleAspectFit);
  block->addSubview(bluetoothIcon_);
  driveModeText_ = makeLabel("手机遥控", ui::Font::boldSystemFont(12), statusTextColor());
  delayText_ = makeLabel("0ms", ui::Font::boldSystemFont(12), statusTextColor());
  block->addSubview(driveModeText_);
  block->addSubview(delayText_);
  buttonExit_ = makeExitButton();
  block->addSubview(buttonExit_);
  return block;
}

void LumoControlPage::setupUIWithConstraints() {
  auto root = view();
  setBackgroundGradient();
  controlBg_ = ui::View::make();
  carNumber_ = makeLabel("058", ui::Font::boldSystemFont(28), statusTextColor());
  carNumber_->setTextAlignment(ui::TextAlignment::left);
  controlBg_->addSubview(carNumber_);
  root->addSubview(controlBg_);
  warningContainer_ = makeWarningPanel();
  root->addSubview(warningContainer_);
  centerBlock_ = setupCenterInfoBlock();
  root->addSubview(centerBlock_);
  setupInputViews();
  root->setNeedsLayout();
}

// Called from the layout pass (viewDidLayoutSubviews): frames from the current bounds.
void LumoControlPage::layoutPageViews() {
  auto bounds = view()->bounds();
  double width = bounds.width();
  double height = bounds.height();
  if (gradientLayer_) gradientLayer_->setFrame(bounds);

  controlBg_->setFrame({0, 0, width, kTopBarHeight});
  // Logo (80 wide, 20 from the edge), a separator, then the label 12 points on.
  double labelX = 20 + 80 + 12 + 1 + 12;
  carNumber_->setFrame({labelX, 0, std::max(0.0, width / 2 - labelX), kTopBarHeight});

  auto message = tvWarningMessage_->intrinsicContentSize();
  double panelWidth = std::min(message.width + 32, width - 16);
  warningContainer_->setFrame({(width - panelWidth) / 2, kTopBarHeight + 20, panelWidth, 40});
  tvWarningMessage_->setFrame({16, 8, panelWidth - 32, 24});

  double blockX = kEdgeInset + kControlAreaSize + kCentreGap;
  double blockWidth = std::max(0.0, width - 2 * blockX);
  double blockTop = height - kEdgeInset - kControlAreaSize;
  centerBlock_->setFrame({blockX, blockTop, blockWidth, kControlAreaSize});
  const auto& parts = centerBlock_->subviews();  // tip, Bluetooth icon, drive mode, delay, exit
  double rowY[] = {10 + 18, kControlAreaSize / 2, kControlAreaSize - 10 - 18};
  auto tipSize = parts[0]->intrinsicContentSize();
  parts[0]->setFrame({0, rowY[0] - tipSize.height / 2, blockWidth, tipSize.height});
  auto modeSize = driveModeText_->intrinsicContentSize();
  auto delaySize = delayText_->intrinsicContentSize();
  constexpr double kIconSize = 16;
  double rowWidth = kIconSize + 4 + modeSize.width + 4 + delaySize.width;
  double rowX = (blockWidth - rowWidth) / 2;
  bluetoothIcon_->setFrame({rowX, rowY[1] - kIconSize / 2, kIconSize, kIconSize});
  sizeToContent(driveModeText_, rowX + kIconSize + 4, rowY[1]);
  sizeToContent(delayText_, rowX + kIconSize + 4 + modeSize.width + 4, rowY[1]);
  buttonExit_->setFrame({(blockWidth - 100) / 2, rowY[2] - 18, 100, 36});
  layoutInputViews();
}

}  // namespace lumo
