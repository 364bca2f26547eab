// The control page's three mode switches (key steering, acceleration, safety protection):
// the switch row of the top bar, and what each switch does, with the confirmation dialogs
// that guard the safety function and the records that log each change.

#include "lumosdk/pages/LumoControlPage.h"
#include "lumosdk/utils/ControlUtil.h"
#include "lumosdk/utils/DialogUtil.h"
#include "lumosdk/utils/LogObject.h"
#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/widgets/CustomSwitch.h"
#include "lumosdk/widgets/DirectionControlHelper.h"
#include "platform/foundation/ConsoleLog.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Font.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"

namespace lumo {

namespace ui = platform::ui;

namespace {

constexpr double kGroupLabelWidth = 40;
constexpr double kGroupSpacing = 8;
constexpr double kRowSpacing = 12;
constexpr double kSeparatorHeight = 30;

const char* kSafetyTitle = "安全提示";

}  // namespace

std::shared_ptr<ui::View> LumoControlPage::createSeparator() {
  auto separator = ui::View::make({0, 0, 1, kSeparatorHeight});
  separator->setBackgroundColor(ui::Color::rgb255(140, 160, 203));
  return separator;
}

// A two-line label and its switch side by side, 8 points apart, centred on one line.
std::shared_ptr<ui::View> LumoControlPage::createSwitchGroup(const std::string& text,
                                                             const std::shared_ptr<CustomSwitch>& switchView) {
  double height = CustomSwitch::DEFAULT_HEIGHT;
  auto group = ui::View::make({0, 0, kGroupLabelWidth + kGroupSpacing + CustomSwitch::DEFAULT_WIDTH, height});
  auto label = ui::Label::make({0, 0, kGroupLabelWidth, height});
  label->setText(text);
  label->setNumberOfLines(2);
  label->setFont(ui::Font::boldSystemFont(11));
  label->setTextColor(ui::Color::rgb255(51, 49, 49));
  label->setTextAlignment(ui::TextAlignment::center);
  group->addSubview(label);
  switchView->setFrame({kGroupLabelWidth + kGroupSpacing, 0, CustomSwitch::DEFAULT_WIDTH, height});
  group->addSubview(switchView);
  return group;
}

std::shared_ptr<ui::View> LumoControlPage::setupSwitchesStackView() {
  auto weak = weakSelf();
  auto makeSwitch = [&](const char* icon, void (LumoControlPage::*handler)()) {
    auto control = CustomSwitch::make(ui::Rect{0, 0, CustomSwitch::DEFAULT_WIDTH, CustomSwitch::DEFAULT_HEIGHT});
    control->setIconOn(icon);
    control->addTarget(
        [weak, handler](ui::Control&) {
          if (auto page = weak.lock()) (page.get()->*handler)();
        },
        ui::ControlEvent::valueChanged);
    return control;
  };
  keyModeSwitch_ = makeSwitch("key_switch_icon.png", &LumoControlPage::keyModeSwitchChanged);
  accelSwitch_ = makeSwitch("speed_mode_icon.png", &LumoControlPage::accelSwitchChanged);
  safetySwitch_ = makeSwitch("safe_mode_icon.png", &LumoControlPage::safetySwitchChanged);
  // Initial states are assigned, which sends no value-changed event; the key mode follows
  // the stored preference once the direction input exists.
  auto stored = preferences_ ? preferences_->object(PREF_KEY_MODE) : std::nullopt;
  keyModeSwitch_->setIsOn(stored && stored->is_boolean() ? stored->get<bool>() : true);
  accelSwitch_->setIsOn(false);
  safetySwitch_->setIsOn(true);

  std::vector<std::shared_ptr<ui::View>> parts = {
      createSwitchGroup("按键\n转向", keyModeSwitch_), createSeparator(), createSwitchGroup("加速\n模式", accelSwitch_),
      createSeparator(), createSwitchGroup("安全\n保护", safetySwitch_)};
  auto row = ui::View::make();
  double x = 0, height = CustomSwitch::DEFAULT_HEIGHT;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    auto size = parts[i]->bounds();
    if (i > 0) x += kRowSpacing;
    parts[i]->setFrame({x, (height - size.height()) / 2, size.width(), size.height()});
    x += size.width();
    row->addSubview(parts[i]);
  }
  row->setBounds({0, 0, x, height});
  return row;
}

void LumoControlPage::saveSteeringWheelModeToPrefs() {
  if (preferences_ && keyModeSwitch_) preferences_->set(keyModeSwitch_->isOn(), PREF_KEY_MODE);
}

void LumoControlPage::logSwitchRecord(const char* tag, bool enable) {
  LogObject record;
  record.putLong("vid", vehicleId_);
  record.putBool("enable", enable);
  LogUtil::logInfo(tag, record);
}

void LumoControlPage::keyModeSwitchChanged() {
  if (!directionControlHelper_) {
    platform::foundation::ConsoleLog::write("LUMOSDK错误: directionControlHelper为空");
    return;
  }
  bool keyMode = keyModeSwitch_->isOn();
  directionControlHelper_->setKeyMode(keyMode);
  saveSteeringWheelModeToPrefs();
  DialogUtil::showToast(keyMode ? "已切换到按键转向模式" : "已切换到方向盘模式");
}

void LumoControlPage::accelSwitchChanged() {
  if (!accelSwitch_->isOn()) {
    accelerationModelEnable_ = false;
    logSwitchRecord("ble_accel", false);
    return;
  }
  if (ControlUtil::isAccelerationSafetyRequired() && !enableSafety_) {
    // Acceleration stays off until the user lets the safety function come back on.
    auto weak = weakSelf();
    DialogUtil::showCustomDialog(
        strongSelf(), kSafetyTitle, "当前安全保护已关闭!加速模式下需要启用安全功能, 确定后将会帮您自动打开", nullptr,
        "确定",
        [weak] {
          auto page = weak.lock();
          if (!page) return;
          if (page->safetySwitch_) page->safetySwitch_->setOn(true, true);
          page->enableSafety_ = true;
          page->accelerationModelEnable_ = true;
          page->logSwitchRecord("ble_safety", true);
          page->logSwitchRecord("ble_accel", true);
        },
        std::nullopt, nullptr, true, true, ButtonLayout::horizontal, std::nullopt);
    return;
  }
  accelerationModelEnable_ = true;
  logSwitchRecord("ble_accel", true);
}

void LumoControlPage::safetySwitchChanged() {
  auto weak = weakSelf();
  auto turnBackOn = [weak] {
    auto page = weak.lock();
    if (!page) return;
    if (page->safetySwitch_) page->safetySwitch_->setOn(true, true);
    page->enableSafety_ = true;
    page->logSwitchRecord("ble_safety", true);
  };
  if (safetySwitch_->isOn()) {
    enableSafety_ = true;
    logSwitchRecord("ble_safety", true);
    return;
  }
  if (!ControlUtil::canDisableSafety(accelerationModelEnable_)) {
    DialogUtil::showCustomDialog(strongSelf(), kSafetyTitle, "当前模式下不支持关闭安全功能", nullptr, "确定", turnBackOn,
                                 std::nullopt, nullptr, true, true, ButtonLayout::horizontal, std::nullopt);
    return;
  }
  DialogUtil::showCustomDialog(
      strongSelf(), kSafetyTitle, "确定要关闭安全功能吗？这可能会增加操作风险。", nullptr, "确定关闭",
      [weak] {
        auto page = weak.lock();
        if (!page) return;
        page->enableSafety_ = false;
        page->logSwitchRecord("ble_safety", false);
      },
      "取消", turnBackOn, true, false, ButtonLayout::horizontal, std::nullopt);
}

}  // namespace lumo
