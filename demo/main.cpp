// lumodemo: the demo host. See `lumodemo --help`.

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "demo/app/DemoApplication.h"
#include "demo/host/DemoOptions.h"
#include "demo/host/DemoWorld.h"
#include "demo/host/RecordingsPanel.h"
#include "demo/host/TourPlayer.h"
#include "demo/window/WindowHost.h"
#include "platform/ble/Radio.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/foundation/ConsoleLog.h"
#include "platform/foundation/SystemLog.h"
#include "platform/ui/Application.h"

namespace {

// A tour starts from a clean phone: its own sandbox unless the caller chose one.
void useFreshSandbox() {
  if (const char* chosen = std::getenv("LUMO_SANDBOX_DIR"); chosen && *chosen) return;
  std::string pattern = (std::filesystem::temp_directory_path() / "lumodemo-XXXXXX").string();
  if (char* made = ::mkdtemp(pattern.data())) ::setenv("LUMO_SANDBOX_DIR", made, 1);
}

demo::WindowHost::GamepadButton deadManButton(const demo::DemoOptions& options) {
  return options.deadMan == demo::DemoOptions::DeadMan::rightShoulder ? demo::WindowHost::GamepadButton::rightShoulder
                                                                      : demo::WindowHost::GamepadButton::leftShoulder;
}

bool displayPresent() {
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (display && *display) || (wayland && *wayland);
}

int playTour(const demo::DemoOptions& options, demo::DemoWorld& world) {
  std::string tourFile = options.tour.value_or(LUMO_DEMO_TOUR);
  auto parsed = demo::TourScript::load(tourFile);
  if (!parsed.script) {
    std::fprintf(stderr, "lumodemo: %s\n", parsed.error.c_str());
    return demo::TourPlayer::kBadTour;
  }
  std::filesystem::path dir = options.screenshots.value_or(options.tour ? "." : "lumodemo-screenshots");
  std::unique_ptr<demo::WindowHost> host;
  demo::TourPlayer::Hooks hooks;
  // Headless, the recordings panel is drawn on its own; in the window it replaces the world.
  std::unique_ptr<demo::RecordingsPanel> recordings;
  if (options.window) {
    host = std::make_unique<demo::WindowHost>(&world.vehicle(), options.scale, deadManButton(options),
                                              lumo::LumoSessionRecordings::list);
    if (!host->open()) return 1;
    hooks.afterCommand = [&host] { host->showFrame(); };
    hooks.showRecordings = [&host](std::size_t index) -> std::shared_ptr<platform::ui::Window> {
      auto shown = host->showRecordings();
      return host->recordings()->choose(index) ? shown : nullptr;
    };
    if (options.compareWith) {
      std::filesystem::path reference = *options.compareWith;
      hooks.afterScreenshot = [&host, reference, dir](const std::string& name, const std::filesystem::path&) {
        return host->compareWithGrab(reference / (name + ".png"), dir / (name + ".window.png"));
      };
      hooks.afterRecordings = [&host, reference, dir](const std::string& name, const std::filesystem::path&) {
        return host->compareWithGrab(reference / (name + ".png"), dir / (name + ".window.png"),
                                     demo::WindowHost::Area::sidePanel);
      };
    }
  } else {
    recordings = std::make_unique<demo::RecordingsPanel>(lumo::LumoSessionRecordings::list, nullptr);
    hooks.showRecordings = [&recordings](std::size_t index) -> std::shared_ptr<platform::ui::Window> {
      recordings->reload();
      return recordings->choose(index) ? recordings->window() : nullptr;
    };
  }
  // The SDK's console and system log lines go beside the screenshots, not over the report.
  std::error_code ignored;
  std::filesystem::create_directories(dir, ignored);
  auto log = std::make_shared<std::ofstream>(dir / "console.log", std::ios::trunc);
  auto logMutex = std::make_shared<std::mutex>();
  platform::foundation::ConsoleLog::setSink([log, logMutex](std::string_view line) {
    std::lock_guard lock(*logMutex);
    *log << line << '\n';
  });
  platform::foundation::SystemLog::setSink(
      [log, logMutex](platform::foundation::SystemLog::Level, std::string_view message) {
        std::lock_guard lock(*logMutex);
        *log << "[system] " << message << '\n';
      });
  demo::TourPlayer player(&world.vehicle(), dir, hooks);
  auto outcome = player.play(*parsed.script, tourFile);
  platform::foundation::ConsoleLog::flush();  // the logger's last lines, before the file is flushed
  log->flush();
  if (!outcome.message.empty()) std::fprintf(stderr, "lumodemo: %s\n", outcome.message.c_str());
  std::printf("lumodemo: tour %s %s: %zu screenshots in %s\n", tourFile.c_str(),
              outcome.status == 0 ? "passed" : "failed", outcome.screenshots.size(),
              std::filesystem::absolute(dir).c_str());
  return outcome.status;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  auto parsed = demo::DemoOptions::parse(arguments);
  if (!parsed.options) {
    std::fprintf(stderr, "lumodemo: %s\n\n%s", parsed.error.c_str(), demo::DemoOptions::usage().c_str());
    return 2;
  }
  const demo::DemoOptions& options = *parsed.options;
  if (options.help) {
    std::printf("%s", demo::DemoOptions::usage().c_str());
    return 0;
  }

  if (options.ble) {
    platform::ble::Radio::useRadio(*platform::ble::Radio::kindNamed(*options.ble));
  }
  bool bluez = platform::ble::Radio::kind() == platform::ble::RadioKind::bluez;
  // Without a display the demo plays its product tour instead of opening a window.
  bool tour = options.tour.has_value() || options.headless || !displayPresent();
  if (tour && bluez) {
    std::fprintf(stderr, "lumodemo: the BlueZ radio runs in real time and needs the window; tours use the "
                         "simulated radio (--ble sim)\n");
    return 2;
  }
  if (tour) {
    // Tours run in virtual time: the same events in the same order on every run.
    platform::dispatch::Scheduler::useVirtualClock();
    useFreshSandbox();
  }
  auto started = options.backendUrl ? demo::DemoWorld::connectTo(*options.backendUrl, options.caFile)
                                    : demo::DemoWorld::startEmbedded();
  if (!started.world) {
    std::fprintf(stderr, "lumodemo: %s\n", started.error.c_str());
    return options.backendUrl ? 2 : 1;
  }
  demo::DemoWorld& world = *started.world;

  demo::DemoApplication app;
  app.launch();
  if (tour) return playTour(options, world);

  if (bluez) {
    std::printf("lumodemo: backend %s, looking for vehicle \"%s\" through BlueZ\n", world.baseUrl().c_str(),
                sim::BackendSimulator::kDemoBleName);
  } else {
    std::printf("lumodemo: backend %s, vehicle \"%s\" on the simulated radio\n", world.baseUrl().c_str(),
                sim::BackendSimulator::kDemoBleName);
  }
  demo::WindowHost host(&world.vehicle(), options.scale, deadManButton(options), lumo::LumoSessionRecordings::list);
  if (!host.open()) return 1;
  host.run();
  platform::ui::Application::shared().simulateWillTerminate();
  return 0;
}
