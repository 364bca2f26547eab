#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/PlatformExport.h"
#include "platform/dispatch/Timer.h"
#include "platform/ui/Orientation.h"

namespace platform::ui {

class Window;
class WindowScene;

// The app delegate's answers the platform asks for.
class LUMO_PLATFORM_EXPORT ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual InterfaceOrientationMask supportedInterfaceOrientations(const std::shared_ptr<Window>& /*window*/) {
    return OrientationMask::allButUpsideDown;
  }
};

// UIApplication: connected scenes and their windows, the one key window, scene activation
// requests, opened URLs (recorded: there is no other app), background tasks and the
// life-cycle notifications, posted on the default notification centre by the simulate...
// entries that a host or test calls where the phone would.
class LUMO_PLATFORM_EXPORT Application {
 public:
  enum class State { active, inactive, background };
  using BackgroundTaskIdentifier = int;
  static constexpr BackgroundTaskIdentifier kInvalidBackgroundTask = 0;
  // How long a background task may run once the app is in the background.
  static constexpr double kBackgroundTimeAllowance = 30.0;

  static constexpr const char* kWillResignActiveNotification = "UIApplicationWillResignActiveNotification";
  static constexpr const char* kDidEnterBackgroundNotification = "UIApplicationDidEnterBackgroundNotification";
  static constexpr const char* kWillEnterForegroundNotification = "UIApplicationWillEnterForegroundNotification";
  static constexpr const char* kDidBecomeActiveNotification = "UIApplicationDidBecomeActiveNotification";
  static constexpr const char* kWillTerminateNotification = "UIApplicationWillTerminateNotification";

  static Application& shared();

  // ---- scenes and windows
  std::vector<std::shared_ptr<WindowScene>> connectedScenes() const { return scenes_; }
  // Connects a scene (foreground-active) and hands it to the scene connector.
  std::shared_ptr<WindowScene> connectScene();
  void disconnectScene(const std::shared_ptr<WindowScene>& scene);
  // The scene delegate's scene(_:willConnectTo:options:).
  void setSceneConnector(std::function<void(const std::shared_ptr<WindowScene>&)> connector) {
    connector_ = std::move(connector);
  }
  // requestSceneSessionActivation: a new scene, or the error handler when the app does not
  // support several scenes.
  void requestSceneSessionActivation(std::function<void(const std::string& error)> errorHandler = {});
  int sceneActivationRequestCount() const { return activationRequests_; }
  void setSupportsMultipleScenes(bool supports) { multipleScenes_ = supports; }
  // Windows of every connected scene, scene by scene.
  std::vector<std::shared_ptr<Window>> windows() const;
  std::shared_ptr<Window> keyWindow() const { return keyWindow_.lock(); }
  void setKeyWindow(const std::shared_ptr<Window>& window) { keyWindow_ = window; }

  // ---- delegate and orientation
  void setDelegate(std::shared_ptr<ApplicationDelegate> delegate) { delegate_ = std::move(delegate); }
  std::shared_ptr<ApplicationDelegate> delegate() const { return delegate_; }
  InterfaceOrientationMask supportedInterfaceOrientations(const std::shared_ptr<Window>& window) const;

  // ---- URLs
  void open(const std::string& url, std::function<void(bool)> completion = {});
  const std::vector<std::string>& openedUrls() const { return openedUrls_; }

  // ---- background tasks
  BackgroundTaskIdentifier beginBackgroundTask(const std::string& name, std::function<void()> expirationHandler);
  void endBackgroundTask(BackgroundTaskIdentifier identifier);
  std::size_t runningBackgroundTaskCount() const { return tasks_.size(); }

  // ---- life cycle
  State applicationState() const { return state_; }
  void simulateWillResignActive();
  void simulateDidEnterBackground();
  void simulateWillEnterForeground();
  void simulateDidBecomeActive();
  void simulateWillTerminate();

  // Drops scenes, windows, delegate and records (tests).
  void resetForTesting();

 private:
  struct Task {
    BackgroundTaskIdentifier id;
    std::string name;
    std::function<void()> expiration;
    std::shared_ptr<dispatch::Timer> timer;
  };
  Application() = default;
  void armExpiry(Task& task);
  void setScenesState(int state);

  std::vector<std::shared_ptr<WindowScene>> scenes_;
  std::weak_ptr<Window> keyWindow_;
  std::shared_ptr<ApplicationDelegate> delegate_;
  std::function<void(const std::shared_ptr<WindowScene>&)> connector_;
  int activationRequests_ = 0;
  bool multipleScenes_ = true;
  std::vector<std::string> openedUrls_;
  std::vector<Task> tasks_;
  BackgroundTaskIdentifier nextTask_ = 1;
  State state_ = State::active;
};

}  // namespace platform::ui
