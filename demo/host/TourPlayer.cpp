#include "demo/host/TourPlayer.h"

#include <cmath>
#include <cstdio>
#include <numbers>
#include <sstream>

#include "demo/host/ScreenText.h"
#include "lumosdk/widgets/DirectionControlHelper.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/render/Renderer.h"
#include "platform/ui/Application.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "sim/vehicle/VehicleSimulator.h"

namespace demo {

using namespace platform::ui;
using platform::dispatch::MainLoop;
using Kind = TourCommand::Kind;

namespace {

struct Failure {
  int status;
  std::string message;
};

std::string listed(const std::vector<std::string>& texts) {
  if (texts.empty()) return "nothing readable";
  std::string joined;
  for (const auto& text : texts) joined += (joined.empty() ? "\"" : ", \"") + text + "\"";
  return joined;
}

Point centreOf(const View& view) { return view.convertRectTo(view.bounds(), nullptr).center(); }

// A point on the wheel's rim at `degrees` from its top, clockwise.
Point onWheel(const View& wheel, double degrees) {
  Rect box = wheel.convertRectTo(wheel.bounds(), nullptr);
  double radius = std::min(box.width(), box.height()) * 0.4;
  double radians = degrees * std::numbers::pi / 180;
  return {box.midX() + radius * std::sin(radians), box.midY() - radius * std::cos(radians)};
}

constexpr auto kFrame = std::chrono::milliseconds(16);

}  // namespace

TourPlayer::TourPlayer(sim::VehicleSimulator* vehicle, std::filesystem::path screenshotDir, Hooks hooks)
    : vehicle_(vehicle), screenshotDir_(std::move(screenshotDir)), hooks_(std::move(hooks)) {}

int TourPlayer::padTag(const std::string& pad) {
  using lumo::DirectionControlHelper;
  if (pad == "up") return DirectionControlHelper::TAG_UP;
  if (pad == "down") return DirectionControlHelper::TAG_DOWN;
  if (pad == "left") return DirectionControlHelper::TAG_LEFT;
  if (pad == "right") return DirectionControlHelper::TAG_RIGHT;
  return 0;
}

std::shared_ptr<Window> TourPlayer::screen() const { return Application::shared().keyWindow(); }

TourPlayer::Outcome TourPlayer::play(const TourScript& script, const std::string& scriptName) {
  Outcome outcome;
  MainLoop::drain();
  for (const auto& command : script.commands) {
    std::string error = run(command, outcome);
    MainLoop::drain();
    if (hooks_.afterCommand) hooks_.afterCommand();
    if (!error.empty()) {
      outcome.message = scriptName + ":" + std::to_string(command.line) + ": " + error;
      break;
    }
  }
  // Nothing stays pressed after the tour: a held pad would keep the vehicle driving.
  if (auto window = screen()) {
    for (const auto& [pad, finger] : fingers_) window->touchCancel(finger);
  }
  fingers_.clear();
  MainLoop::drain();
  return outcome;
}

std::string TourPlayer::run(const TourCommand& command, Outcome& outcome) {
  auto window = screen();
  if (!window && command.kind != Kind::wait && command.kind != Kind::vehicle && command.kind != Kind::recordings) {
    outcome.status = kBadTour;
    return "the app has no key window";
  }
  auto bad = [&](std::string message) {
    outcome.status = kBadTour;
    return message;
  };
  switch (command.kind) {
    case Kind::tap: {
      std::string error = tap(command.text);
      return error.empty() ? "" : bad(error);
    }
    case Kind::tapAt: {
      Point at{command.number, command.number2};
      if (!window->bounds().contains(at)) return bad("the point lies outside the screen");
      window->tap(at);
      return "";
    }
    case Kind::type:
    case Kind::clear: {
      auto field = std::dynamic_pointer_cast<TextField>(window->firstResponder());
      if (!field) return bad("no text field has the focus (tap one first)");
      if (command.kind == Kind::type) {
        window->insertText(command.text);
      } else {
        while (!field->text().empty()) window->deleteBackward();
      }
      return "";
    }
    case Kind::hold: {
      std::string error = hold(command.text);
      return error.empty() ? "" : bad(error);
    }
    case Kind::release: {
      std::string error = release(command.text);
      return error.empty() ? "" : bad(error);
    }
    case Kind::dragWheel: {
      std::string error = dragWheel(command.number);
      return error.empty() ? "" : bad(error);
    }
    case Kind::wait:
      MainLoop::runFor(platform::dispatch::Seconds(command.number));
      return "";
    case Kind::expect:
    case Kind::expectNot: {
      bool shown = ScreenText::shows(*window, command.text);
      if (shown == (command.kind == Kind::expect)) return "";
      outcome.status = kExpectationFailed;
      return std::string(shown ? "did not expect" : "expected") + " \"" + command.text + "\" on screen; it shows " +
             listed(ScreenText::all(*window));
    }
    case Kind::expectSpeed: {
      if (!vehicle_) return bad("there is no simulated vehicle");
      double speed = vehicle_->model().speed();
      if (speed >= command.number && speed <= command.number2) return "";
      outcome.status = kExpectationFailed;
      char text[160];
      std::snprintf(text, sizeof text, "expected the vehicle's speed within %.2f..%.2f m/s; it is %.2f m/s",
                    command.number, command.number2, speed);
      return text;
    }
    case Kind::screenshot: {
      std::error_code ignored;
      std::filesystem::create_directories(screenshotDir_, ignored);
      auto path = screenshotDir_ / (command.text + ".png");
      platform::render::Renderer renderer;
      if (!renderer.renderToPng(*window, path)) return bad("cannot write " + path.string());
      outcome.screenshots.push_back(path);
      if (hooks_.afterScreenshot) {
        std::string problem = hooks_.afterScreenshot(command.text, path);
        if (!problem.empty()) {
          outcome.status = kExpectationFailed;
          return problem;
        }
      }
      return "";
    }
    case Kind::recordings: {
      if (!hooks_.showRecordings) return bad("this host shows no recordings");
      auto index = static_cast<std::size_t>(command.number) - 1;
      auto shown = hooks_.showRecordings(index);
      if (!shown) {
        outcome.status = kExpectationFailed;
        return index == 0 ? "no session was recorded" : "fewer than " + std::to_string(index + 1) + " sessions were recorded";
      }
      std::error_code ignored;
      std::filesystem::create_directories(screenshotDir_, ignored);
      auto path = screenshotDir_ / (command.text + ".png");
      if (!platform::render::Renderer().renderToPng(*shown, path)) return bad("cannot write " + path.string());
      outcome.screenshots.push_back(path);
      if (hooks_.afterRecordings) {
        std::string problem = hooks_.afterRecordings(command.text, path);
        if (!problem.empty()) {
          outcome.status = kExpectationFailed;
          return problem;
        }
      }
      return "";
    }
    case Kind::vehicle: {
      std::string error = vehicleEvent(command);
      return error.empty() ? "" : bad(error);
    }
  }
  return "";
}

std::string TourPlayer::tap(const std::string& text) {
  auto window = screen();
  auto found = ScreenText::find(*window, text);
  if (found.empty()) return "no view shows \"" + text + "\"; the screen shows " + listed(ScreenText::all(*window));
  // The last match is drawn on top (an alert's button above the form behind it).
  const auto& view = found.back();
  Rect box = view->convertRectTo(view->bounds(), nullptr).intersection(window->bounds());
  window->tap(box.center());
  return "";
}

std::string TourPlayer::hold(const std::string& pad) {
  auto window = screen();
  if (fingers_.count(pad)) return "the " + pad + " pad is already held";
  int tag = padTag(pad);
  auto view = window->viewWithTag(tag);
  if (!view || view->isHidden()) return "the " + pad + " pad (tag " + std::to_string(tag) + ") is not on screen";
  int finger = nextFinger_++;
  fingers_[pad] = finger;
  window->touchDown(finger, centreOf(*view));
  return "";
}

std::string TourPlayer::release(const std::string& pad) {
  auto window = screen();
  auto held = fingers_.find(pad);
  if (held == fingers_.end()) return "the " + pad + " is not held";
  std::shared_ptr<View> view = pad == "wheel" ? ScreenText::findByType(*window, "SteeringWheel")
                                              : window->viewWithTag(padTag(pad));
  if (view) {
    window->touchUp(held->second, pad == "wheel" ? onWheel(*view, wheelAngle_) : centreOf(*view));
  } else {
    window->touchCancel(held->second);
  }
  fingers_.erase(held);
  return "";
}

std::string TourPlayer::dragWheel(double degrees) {
  auto window = screen();
  auto wheel = ScreenText::findByType(*window, "SteeringWheel");
  if (!wheel) return "no steering wheel is on screen";
  auto held = fingers_.find("wheel");
  int finger = 0;
  if (held == fingers_.end()) {
    finger = nextFinger_++;
    fingers_["wheel"] = finger;
    wheelAngle_ = 0;
    window->touchDown(finger, onWheel(*wheel, 0));
  } else {
    finger = held->second;
  }
  // Small steps, a display frame apart, as a finger moves.
  constexpr int kSteps = 12;
  double from = wheelAngle_;
  for (int step = 1; step <= kSteps; ++step) {
    wheelAngle_ = from + (degrees - from) * step / kSteps;
    window->touchMove(finger, onWheel(*wheel, wheelAngle_));
    MainLoop::runFor(kFrame);
  }
  return "";
}

std::string TourPlayer::vehicleEvent(const TourCommand& command) {
  if (!vehicle_) return "there is no simulated vehicle";
  const std::string& verb = command.text;
  if (verb == "take-over-remote") vehicle_->takeOverRemotely();
  else if (verb == "take-over-on-site") vehicle_->takeOverOnSite();
  else if (verb == "take-over-safety") vehicle_->takeOverForSafety();
  else if (verb == "release-takeover") vehicle_->releaseTakeover();
  else if (verb == "drop-link") vehicle_->dropLink();
  else if (verb == "open-door") vehicle_->setDoorOpen(true);
  else if (verb == "close-door") vehicle_->setDoorOpen(false);
  else if (verb == "lag") vehicle_->lag(static_cast<int>(command.number));
  else return "unknown vehicle event \"" + verb + "\"";
  return "";
}

}  // namespace demo
