// The control page's inputs: the logo and its separator in the top bar, the forward/back
// pads on the left, the left/right pads and the steering wheel (sharing one frame) on the
// right, and the direction input that turns them into the page's throttle and steering.

#include <algorithm>

#include "lumosdk/pages/ControlPageMetrics.h"
#include "lumosdk/pages/LumoControlPage.h"
#include "lumosdk/utils/ResourceUtil.h"
#include "lumosdk/widgets/CustomSwitch.h"
#include "lumosdk/widgets/DirectionControlHelper.h"
#include "lumosdk/widgets/ScaledResourceImage.h"
#include "lumosdk/widgets/SteeringWheel.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/View.h"

namespace lumo {

namespace ui = platform::ui;

namespace {

using control_page::kControlAreaSize;
using control_page::kEdgeInset;
using control_page::kTopBarHeight;
constexpr double kPadSpacing = 5;

std::shared_ptr<ui::ImageView> makePad(const char* imageName) {
  auto pad = ui::ImageView::make();
  pad->setContentMode(ui::ContentMode::scaleAspectFit);
  pad->setImage(loadScaledResourceImage(imageName));
  return pad;
}

}  // namespace

void LumoControlPage::setupInputViews() {
  auto root = view();
  logoImageView_ = ui::ImageView::make();
  logoImageView_->setContentMode(ui::ContentMode::scaleAspectFit);
  logoImageView_->setImage(loadScaledResourceImage("control_logo.png"));
  logoSeparator_ = createSeparator();
  switchRow_ = setupSwitchesStackView();
  if (controlBg_) {
    controlBg_->addSubview(logoImageView_);
    controlBg_->addSubview(logoSeparator_);
    controlBg_->addSubview(switchRow_);
  }
  setupControlArea();
}

// The pad containers sit straight on the page's view, so that the centre block between
// them keeps its touches.
void LumoControlPage::setupControlArea() {
  auto root = view();
  leftControlContainer_ = ui::View::make();
  controlPadUp_ = makePad("direc_forward.png");
  controlPadDown_ = makePad("direc_back.png");
  leftControlContainer_->addSubview(controlPadUp_);
  leftControlContainer_->addSubview(controlPadDown_);
  rightControlContainer_ = ui::View::make();
  controlPadLeft_ = makePad("direc_left.png");
  controlPadRight_ = makePad("direc_right.png");
  rightControlContainer_->addSubview(controlPadLeft_);
  rightControlContainer_->addSubview(controlPadRight_);
  rightControlContainer_->setHidden(true);
  steeringWheel_ = SteeringWheel::make();
  steeringWheel_->setWheelImage(loadScaledResourceImage("steering_wheel.png"));
  steeringWheel_->setHidden(true);
  // Until the direction input takes the wheel over, its angle steers the page directly.
  auto weak = weakSelf();
  steeringWheel_->setOnSteeringAngleChangeListener([weak](double angle) {
    if (auto page = weak.lock()) page->onSteeringWheelAngleChanged(static_cast<float>(angle));
  });
  root->addSubview(leftControlContainer_);
  root->addSubview(rightControlContainer_);
  root->addSubview(steeringWheel_);
}

void LumoControlPage::setupDirectionControl() {
  directionControlHelper_ = std::make_unique<DirectionControlHelper>(
      strongSelf(), controlPadUp_, controlPadDown_, controlPadLeft_, controlPadRight_, rightControlContainer_,
      steeringWheel_);
  directionControlHelper_->setControlCallback(std::static_pointer_cast<ControlCallback>(strongSelf()));
  auto stored = preferences_ ? preferences_->object(PREF_KEY_MODE) : std::nullopt;
  bool keyMode = stored && stored->is_boolean() ? stored->get<bool>() : true;
  // The initial state is assigned, not switched: no value-changed event, no toast.
  if (keyModeSwitch_) keyModeSwitch_->setIsOn(keyMode);
  directionControlHelper_->setKeyMode(keyMode);
}

// Frames from the current bounds; called after the page's own layout pass.
void LumoControlPage::layoutInputViews() {
  auto bounds = view()->bounds();
  double width = bounds.width(), height = bounds.height();
  logoImageView_->setFrame({20, (kTopBarHeight - 30) / 2, 80, 30});
  logoSeparator_->setFrame({20 + 80 + 12, (kTopBarHeight - 30) / 2, 1, 30});
  auto row = switchRow_->bounds();
  switchRow_->setFrame({width - 20 - row.width(), (kTopBarHeight - row.height()) / 2, row.width(), row.height()});

  double top = height - kEdgeInset - kControlAreaSize;
  double half = (kControlAreaSize - kPadSpacing) / 2;
  leftControlContainer_->setFrame({kEdgeInset, top, kControlAreaSize, kControlAreaSize});
  controlPadUp_->setFrame({0, 0, kControlAreaSize, half});
  controlPadDown_->setFrame({0, half + kPadSpacing, kControlAreaSize, half});
  // The container may be turned by a mode switch: place it by centre and size.
  rightControlContainer_->setCenter({width - kEdgeInset - kControlAreaSize / 2, top + kControlAreaSize / 2});
  rightControlContainer_->setBounds({0, 0, kControlAreaSize, kControlAreaSize});
  controlPadLeft_->setFrame({0, 0, half, kControlAreaSize});
  controlPadRight_->setFrame({half + kPadSpacing, 0, half, kControlAreaSize});
  steeringWheel_->setCenter(rightControlContainer_->center());
  steeringWheel_->setBounds({0, 0, kControlAreaSize, kControlAreaSize});
}

}  // namespace lumo
