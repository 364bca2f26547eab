#include "demo/host/RecordingsPanel.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "tools/session_report/RecordingReader.h"
#include "tools/session_report/SessionSummary.h"
#include "tools/session_report/TimelinePicture.h"

namespace demo {

using namespace platform::ui;

namespace {

const Color kPanelBackground = Color::rgb255(30, 34, 42);
const Color kText = Color::rgb255(230, 234, 240);
const Color kMuted = Color::rgb255(150, 158, 170);
const Color kRow = Color::rgb255(48, 56, 68);
const Color kChosenRow = Color::rgb255(64, 92, 140);
constexpr double kListWidth = 268;
constexpr double kRowHeight = 44;
const Rect kPictureFrame{kListWidth + 24, 56, RecordingsPanel::kWidth - kListWidth - 40, RecordingsPanel::kHeight - 72};

std::string clockTime(std::int64_t wallTimeMs) {
  std::time_t time = static_cast<std::time_t>(wallTimeMs / 1000);
  std::tm parts{};
  if (!gmtime_r(&time, &parts)) return "--:--:--";
  char text[24];
  std::strftime(text, sizeof text, "%m-%d %H:%M:%S", &parts);
  return text;
}

std::string seconds(report::Nanoseconds ns) {
  char text[24];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ns) / 1e9);
  return text;
}

// The report's figures, short enough for the list's column.
std::string figures(const report::SessionTrace& trace) {
  auto s = report::SessionSummary::of(trace);
  std::string text = "发送帧 " + std::to_string(s.framesSent) + " · 超过 300 ms 的间隔 " + std::to_string(s.gaps.size());
  text += "\n收到帧 " + std::to_string(s.framesReceived) + " · 拒收 " + std::to_string(s.framesRefused);
  text += "\n获得控制 " + (s.timeToGrant ? seconds(*s.timeToGrant) : std::string("未获得"));
  if (s.delayMedianMs) {
    text += "\n延迟 中位 " + std::to_string(*s.delayMedianMs) + " · p99 " + std::to_string(*s.delayP99Ms) + " · 最大 " +
            std::to_string(*s.delayMaxMs) + " ms";
  }
  text += "\n输入 按下 " + std::to_string(s.selects) + " · 松开 " + std::to_string(s.releases) + " · 方向盘 " +
          std::to_string(s.wheelTurns);
  if (trace.end) text += "\n结束 " + trace.end->reason + (trace.end->text.empty() ? "" : ": " + trace.end->text);
  if (trace.cut) text += "\n记录在第 " + std::to_string(trace.cut->offset) + " 字节处中断: " + trace.cut->why;
  return text;
}

}  // namespace

RecordingsPanel::RecordingsPanel(Listing list, std::function<void()> back)
    : list_(std::move(list)), window_(Window::make(Rect{0, 0, kWidth, kHeight})) {
  window_->setBackgroundColor(kPanelBackground);
  window_->setHidden(false);

  auto title = Label::make({16, 12, 400, 28});
  title->setText("会话记录");
  title->setFont(Font::boldSystemFont(18));
  title->setTextColor(kText);
  window_->addSubview(title);

  auto backButton = Button::make(Button::Type::custom, {kWidth - 196, 10, 180, 34});
  backButton->setTitle("返回模拟世界");
  backButton->setTitleColor(Color::white());
  backButton->titleLabel()->setFont(Font::systemFont(15));
  backButton->setBackgroundColor(kChosenRow);
  backButton->layer()->setCornerRadius(8);
  if (back) backButton->addTarget(std::move(back), ControlEvent::touchUpInside);
  window_->addSubview(backButton);

  empty_ = Label::make({16, 56, kListWidth, 48});
  empty_->setText("还没有记录的会话");
  empty_->setFont(Font::systemFont(15));
  empty_->setTextColor(kMuted);
  window_->addSubview(empty_);

  for (std::size_t i = 0; i < kListed; ++i) {
    auto row = Button::make(Button::Type::custom, {16, 56 + static_cast<double>(i) * (kRowHeight + 6), kListWidth, kRowHeight});
    row->setTitleColor(kText);
    row->titleLabel()->setFont(Font::systemFont(13));
    row->titleLabel()->setAdjustsFontSizeToFitWidth(true);
    row->titleLabel()->setMinimumScaleFactor(0.7);
    row->layer()->setCornerRadius(6);
    row->addTarget([this, i] { choose(i); }, ControlEvent::touchUpInside);
    window_->addSubview(row);
    rows_.push_back(row);
  }

  figures_ = Label::make({16, 56, kListWidth, 260});
  figures_->setFont(Font::systemFont(12));
  figures_->setTextColor(kText);
  figures_->setNumberOfLines(0);
  window_->addSubview(figures_);

  pictureArea_ = ScrollView::make(kPictureFrame);
  pictureArea_->setBackgroundColor(Color::rgb255(250, 250, 252));
  pictureArea_->layer()->setCornerRadius(8);
  pictureArea_->setClipsToBounds(true);
  window_->addSubview(pictureArea_);
  reload();
}

std::string RecordingsPanel::describe(const lumo::LumoSessionRecording& recording) {
  return clockTime(recording.startTimeMs) + "  " + recording.vehicleName + " · " + recording.endReason;
}

void RecordingsPanel::reload() {
  sessions_.clear();
  for (auto& recording : list_ ? list_() : std::vector<lumo::LumoSessionRecording>{}) {
    if (sessions_.size() == kListed) break;
    auto trace = report::RecordingReader::readFile(recording.filePath);
    sessions_.push_back({std::move(recording), std::move(trace)});
  }
  showList();
  if (!choose(0)) {
    if (picture_) picture_->removeFromSuperview();
    picture_.reset();
    figures_->setText("");
  }
}

void RecordingsPanel::showList() {
  empty_->setHidden(!sessions_.empty());
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    rows_[i]->setHidden(i >= sessions_.size());
    if (i < sessions_.size()) rows_[i]->setTitle(describe(sessions_[i].recording));
  }
}

bool RecordingsPanel::choose(std::size_t index) {
  if (index >= sessions_.size()) return false;
  chosen_ = index;
  for (std::size_t i = 0; i < rows_.size(); ++i) rows_[i]->setBackgroundColor(i == index ? kChosenRow : kRow);
  const auto& trace = sessions_[index].trace;
  figures_->setText(figures(trace));
  // Right under the list (a label centres its lines in its height).
  double top = 56 + static_cast<double>(sessions_.size()) * (kRowHeight + 6) + 10;
  Size size = Label::measure(figures_->text(), figures_->font(), kListWidth, 0);
  figures_->setFrame({16, top, kListWidth, std::min(std::ceil(size.height), kHeight - top - 16)});
  if (picture_) picture_->removeFromSuperview();
  picture_ = report::TimelinePicture::make(trace, kPictureFrame.width());
  pictureArea_->addSubview(picture_);
  pictureArea_->setContentSize(picture_->bounds().size);
  pictureArea_->setContentOffset({0, 0});
  return true;
}

const report::SessionTrace* RecordingsPanel::chosen() const {
  return chosen_ < sessions_.size() ? &sessions_[chosen_].trace : nullptr;
}

}  // namespace demo
