#include "demo/host/WorldPanel.h"

#include <cmath>
#include <cstdio>
#include <numbers>

#include "platform/ble/Radio.h"
#include "platform/ble/simulated/SimulatedRadio.h"
#include "sim/vehicle/VehicleSimulator.h"

namespace demo {

using namespace platform::ui;

namespace {

const Color kPanelBackground = Color::rgb255(30, 34, 42);
const Color kMapBackground = Color::rgb255(44, 52, 60);
const Color kGridLine = Color::rgb255(62, 72, 82);
const Color kTrail = Color::rgb255(96, 200, 255);
const Color kBody = Color::rgb255(255, 196, 64);
const Color kText = Color::rgb255(230, 234, 240);
const Color kMuted = Color::rgb255(150, 158, 170);
const Color kHeld = Color::rgb255(96, 220, 120);
const Rect kMapFrame{16, 48, 368, 240};
constexpr double kPixelsPerMetre = 24;
constexpr double kGridMetres = 1;
constexpr int kLineCount = 7;
// The lag the lag button adds: above the 500 ms the control page tolerates.
constexpr int kLagMilliseconds = 700;

std::string format(const char* pattern, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, pattern, value);
  return buffer;
}

}  // namespace

WorldPanel::WorldPanel(sim::VehicleSimulator& vehicle, std::function<void()> switchWindow,
                       std::function<void()> showRecordings)
    : vehicle_(vehicle), window_(Window::make(Rect{0, 0, kWidth, kHeight})) {
  window_->setBackgroundColor(kPanelBackground);
  window_->setHidden(false);

  auto title = Label::make({16, 12, kWidth - 32, 26});
  title->setText("模拟世界");
  title->setFont(Font::boldSystemFont(18));
  title->setTextColor(kText);
  window_->addSubview(title);

  map_ = View::make(kMapFrame);
  map_->setBackgroundColor(kMapBackground);
  map_->layer()->setCornerRadius(8);
  map_->setClipsToBounds(true);
  grid_ = ShapeLayer::make();
  trailLayer_ = ShapeLayer::make();
  body_ = ShapeLayer::make();
  for (const auto& layer : {grid_, trailLayer_, body_}) {
    layer->setFrame({0, 0, kMapFrame.width(), kMapFrame.height()});
    map_->layer()->addSublayer(layer);
  }
  grid_->fillColor = Color::clear();
  grid_->strokeColor = kGridLine;
  trailLayer_->fillColor = Color::clear();
  trailLayer_->strokeColor = kTrail;
  trailLayer_->lineWidth = 2;
  body_->fillColor = kBody;
  body_->strokeColor = Color::black();
  window_->addSubview(map_);

  for (int i = 0; i < kLineCount; ++i) {
    // Six short lines in two columns, then the last control frame across the panel.
    double width = i < 6 ? 180 : kWidth - 32;
    auto line = Label::make({16 + (i % 2) * 184.0, 300 + (i / 2) * 28.0, width, 24});
    line->setFont(Font::systemFont(15));
    line->setTextColor(kText);
    window_->addSubview(line);
    lines_.push_back(line);
  }

  // The game controller, on a row of its own under the frame line.
  gamepadLine_ = Label::make({16, 412, 236, 24});
  deadManLine_ = Label::make({256, 412, kWidth - 272, 24});
  deadManLine_->setTextAlignment(TextAlignment::right);
  gamepadLine_->setAdjustsFontSizeToFitWidth(true);  // controller names can be long
  gamepadLine_->setMinimumScaleFactor(0.6);
  for (const auto& line : {gamepadLine_, deadManLine_}) {
    line->setFont(Font::systemFont(15));
    window_->addSubview(line);
  }
  showGamepad({});

  sim::VehicleSimulator* v = &vehicle_;
  addButton("远程接管", [v] { v->takeOverRemotely(); });
  addButton("现场遥控接管", [v] { v->takeOverOnSite(); });
  addButton("安全接管", [v] { v->takeOverForSafety(); });
  addButton("解除接管", [v] { v->releaseTakeover(); });
  addButton("延迟 700 ms", [this] {
    lagging_ = !lagging_;
    vehicle_.lag(lagging_ ? kLagMilliseconds : 0);
    buttons_[4]->setTitle(lagging_ ? "取消延迟" : "延迟 700 ms");
  });
  addButton("断开连接", [v] { v->dropLink(); });
  addButton("车门开/关", [v] { v->setDoorOpen(!v->model().doorOpen()); });
  addButton("切换窗口", std::move(switchWindow));
  layoutButtons();
  if (showRecordings) {
    // Beside the title: the grid below is full.
    recordingsButton_ = Button::make(Button::Type::custom, {kWidth - 136, 10, 120, 30});
    recordingsButton_->setTitle("会话记录");
    recordingsButton_->setTitleColor(Color::white());
    recordingsButton_->titleLabel()->setFont(Font::systemFont(14));
    recordingsButton_->setBackgroundColor(Color::rgb255(64, 92, 140));
    recordingsButton_->layer()->setCornerRadius(8);
    recordingsButton_->addTarget(std::move(showRecordings), ControlEvent::touchUpInside);
    window_->addSubview(recordingsButton_);
  }
  update();
}

void WorldPanel::addButton(const std::string& title, std::function<void()> action) {
  auto button = Button::make(Button::Type::custom);
  button->setTitle(title);
  button->setTitleColor(Color::white());
  button->titleLabel()->setFont(Font::systemFont(15));
  button->setBackgroundColor(Color::rgb255(64, 92, 140));
  button->layer()->setCornerRadius(8);
  if (action) button->addTarget(std::move(action), ControlEvent::touchUpInside);
  window_->addSubview(button);
  buttons_.push_back(button);
}

void WorldPanel::layoutButtons() {
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    buttons_[i]->setFrame({16 + (i % 2) * 188.0, 460 + (i / 2) * 48.0, 180, 38});
  }
}

std::shared_ptr<Button> WorldPanel::button(const std::string& title) const {
  for (const auto& b : buttons_) {
    if (b->title() == title) return b;
  }
  if (recordingsButton_ && recordingsButton_->title() == title) return recordingsButton_;
  return nullptr;
}

std::string WorldPanel::driveModeName(int mode) {
  switch (mode) {
    case sim::VehicleSimulator::ready: return "就绪";
    case sim::VehicleSimulator::autonomous: return "自动驾驶";
    case sim::VehicleSimulator::onSiteTakeover: return "现场遥控";
    case sim::VehicleSimulator::remoteTakeover: return "远程遥控";
    case sim::VehicleSimulator::safetyTakeover: return "安全接管";
    case sim::VehicleSimulator::phoneControl: return "手机遥控";
    default: return "未知";
  }
}

void WorldPanel::showGamepad(const Gamepad& gamepad) {
  bool connected = !gamepad.name.empty();
  gamepadLine_->setText("手柄 " + (connected ? gamepad.name : std::string("未连接")));
  gamepadLine_->setTextColor(connected ? kText : kMuted);
  deadManLine_->setHidden(!connected);
  deadManLine_->setText("安全键 " + gamepad.deadManButton + (gamepad.deadManHeld ? " 按住" : " 松开"));
  deadManLine_->setTextColor(gamepad.deadManHeld ? kHeld : kMuted);
}

std::string WorldPanel::statusText() const {
  std::string text;
  for (const auto& line : lines_) text += line->text() + "\n";
  text += gamepadLine_->text() + "\n";
  if (!deadManLine_->isHidden()) text += deadManLine_->text() + "\n";
  return text;
}

void WorldPanel::update() {
  const auto& model = vehicle_.model();
  Point here{model.x(), model.y()};
  if (trail_.empty() || std::hypot(here.x - trail_.back().x, here.y - trail_.back().y) > 0.05) {
    trail_.push_back(here);
    if (trail_.size() > kTrailLimit) trail_.erase(trail_.begin());
  }
  bool linked = platform::ble::Radio::simulated()->isConnected(*vehicle_.peripheral());
  int mode = vehicle_.driveMode();
  lines_[0]->setText("速度 " + format("%.2f m/s", model.speed()));
  lines_[1]->setText("转向 " + format("%.0f°", model.steeringAngle() * 180 / std::numbers::pi));
  lines_[2]->setText(std::string("车门 ") + (model.doorOpen() ? "打开" : "关闭"));
  lines_[3]->setText("模式 " + driveModeName(mode) + " (" + std::to_string(mode) + ")");
  lines_[4]->setText(std::string("控制权 ") + (vehicle_.hasControlGranted() ? "手机" : "无"));
  lines_[5]->setText(std::string("蓝牙 ") + (linked ? "已连接" : "未连接") +
                     (vehicle_.isWatchdogBraking() ? " · 制动" : ""));
  if (const auto& frame = vehicle_.lastControlFrame()) {
    lines_[6]->setText("指令 油门 " + std::to_string(frame->throttle) + "  刹车 " + std::to_string(frame->brake) +
                       "  转向 " + std::to_string(frame->steering));
  } else {
    lines_[6]->setText("指令 尚无");
  }
  drawMap();
}

void WorldPanel::drawMap() {
  const auto& model = vehicle_.model();
  double w = kMapFrame.width(), h = kMapFrame.height();
  // The view follows the vehicle: it stays in the middle and the ground moves under it.
  auto toMap = [&](Point world) {
    return Point{w / 2 + (world.x - model.x()) * kPixelsPerMetre, h / 2 + (world.y - model.y()) * kPixelsPerMetre};
  };
  Path grid;
  double step = kGridMetres * kPixelsPerMetre;
  double offsetX = std::fmod(w / 2 - model.x() * kPixelsPerMetre, step);
  double offsetY = std::fmod(h / 2 - model.y() * kPixelsPerMetre, step);
  if (offsetX < 0) offsetX += step;
  if (offsetY < 0) offsetY += step;
  for (double x = offsetX; x < w; x += step) {
    grid.moveTo({x, 0});
    grid.lineTo({x, h});
  }
  for (double y = offsetY; y < h; y += step) {
    grid.moveTo({0, y});
    grid.lineTo({w, y});
  }
  grid_->path = grid;

  Path trail;
  for (std::size_t i = 0; i < trail_.size(); ++i) {
    if (i == 0) trail.moveTo(toMap(trail_[i]));
    else trail.lineTo(toMap(trail_[i]));
  }
  if (!trail_.empty()) trail.lineTo(toMap({model.x(), model.y()}));
  trailLayer_->path = trail;

  // A 1.6 m × 0.9 m body with a pointed nose, turned to the heading.
  double c = std::cos(model.heading()), s = std::sin(model.heading());
  auto corner = [&](double along, double across) {
    return Point{w / 2 + (along * c - across * s) * kPixelsPerMetre, h / 2 + (along * s + across * c) * kPixelsPerMetre};
  };
  Path body;
  body.moveTo(corner(-0.8, -0.45));
  body.lineTo(corner(0.55, -0.45));
  body.lineTo(corner(0.8, 0));
  body.lineTo(corner(0.55, 0.45));
  body.lineTo(corner(-0.8, 0.45));
  body.close();
  body_->path = body;
}

}  // namespace demo
