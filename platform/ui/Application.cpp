#include "platform/ui/Application.h"

#include <algorithm>

#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowScene.h"

namespace platform::ui {

Application& Application::shared() {
  static Application* app = new Application();  // process-wide, like UIApplication.shared
  return *app;
}

std::shared_ptr<WindowScene> Application::connectScene() {
  auto scene = WindowScene::make();
  scene->setActivationState(state_ == State::background ? WindowScene::ActivationState::background
                                                        : WindowScene::ActivationState::foregroundActive);
  scenes_.push_back(scene);
  if (connector_) connector_(scene);
  return scene;
}

void Application::disconnectScene(const std::shared_ptr<WindowScene>& scene) {
  scenes_.erase(std::remove(scenes_.begin(), scenes_.end(), scene), scenes_.end());
  if (scene) scene->setActivationState(WindowScene::ActivationState::unattached);
}

void Application::requestSceneSessionActivation(std::function<void(const std::string&)> errorHandler) {
  ++activationRequests_;
  if (!multipleScenes_) {
    if (errorHandler) errorHandler("The application does not support multiple scenes.");
    return;
  }
  connectScene();
}

std::vector<std::shared_ptr<Window>> Application::windows() const {
  std::vector<std::shared_ptr<Window>> all;
  for (const auto& scene : scenes_) {
    auto list = scene->windows();
    all.insert(all.end(), list.begin(), list.end());
  }
  return all;
}

InterfaceOrientationMask Application::supportedInterfaceOrientations(const std::shared_ptr<Window>& window) const {
  return delegate_ ? delegate_->supportedInterfaceOrientations(window) : OrientationMask::allButUpsideDown;
}

void Application::open(const std::string& url, std::function<void(bool)> completion) {
  openedUrls_.push_back(url);
  if (completion) dispatch::MainLoop::post([completion] { completion(true); });
}

Application::BackgroundTaskIdentifier Application::beginBackgroundTask(const std::string& name,
                                                                       std::function<void()> expirationHandler) {
  Task task{nextTask_++, name, std::move(expirationHandler), nullptr};
  if (state_ == State::background) armExpiry(task);
  tasks_.push_back(std::move(task));
  return tasks_.back().id;
}

void Application::armExpiry(Task& task) {
  if (task.timer) return;
  auto id = task.id;
  task.timer = dispatch::Timer::scheduled(dispatch::Seconds(kBackgroundTimeAllowance), false, [this, id](dispatch::Timer&) {
    auto it = std::find_if(tasks_.begin(), tasks_.end(), [id](const Task& t) { return t.id == id; });
    if (it == tasks_.end()) return;
    // The handler is expected to end the task; one it leaves running is ended here.
    auto handler = it->expiration;
    if (handler) handler();
    endBackgroundTask(id);
  });
}

void Application::endBackgroundTask(BackgroundTaskIdentifier identifier) {
  auto it = std::find_if(tasks_.begin(), tasks_.end(), [identifier](const Task& t) { return t.id == identifier; });
  if (it == tasks_.end()) return;
  if (it->timer) it->timer->invalidate();
  tasks_.erase(it);
}

void Application::setScenesState(int state) {
  for (const auto& scene : scenes_) scene->setActivationState(static_cast<WindowScene::ActivationState>(state));
}

void Application::simulateWillResignActive() {
  state_ = State::inactive;
  setScenesState(static_cast<int>(WindowScene::ActivationState::foregroundInactive));
  foundation::NotificationCenter::defaultCenter().post(kWillResignActiveNotification);
}

void Application::simulateDidEnterBackground() {
  state_ = State::background;
  setScenesState(static_cast<int>(WindowScene::ActivationState::background));
  for (auto& task : tasks_) armExpiry(task);
  foundation::NotificationCenter::defaultCenter().post(kDidEnterBackgroundNotification);
}

void Application::simulateWillEnterForeground() {
  state_ = State::inactive;
  setScenesState(static_cast<int>(WindowScene::ActivationState::foregroundInactive));
  for (auto& task : tasks_) {
    if (task.timer) task.timer->invalidate();
    task.timer.reset();
  }
  foundation::NotificationCenter::defaultCenter().post(kWillEnterForegroundNotification);
}

void Application::simulateDidBecomeActive() {
  state_ = State::active;
  setScenesState(static_cast<int>(WindowScene::ActivationState::foregroundActive));
  foundation::NotificationCenter::defaultCenter().post(kDidBecomeActiveNotification);
}

void Application::simulateWillTerminate() {
  foundation::NotificationCenter::defaultCenter().post(kWillTerminateNotification);
}

void Application::resetForTesting() {
  for (auto& task : tasks_) {
    if (task.timer) task.timer->invalidate();
  }
  tasks_.clear();
  scenes_.clear();
  keyWindow_.reset();
  delegate_.reset();
  connector_ = nullptr;
  activationRequests_ = 0;
  multipleScenes_ = true;
  openedUrls_.clear();
  state_ = State::active;
}

}  // namespace platform::ui
