#pragma once

#include <memory>

#include "demo/app/AppDelegate.h"
#include "demo/app/SceneDelegate.h"

namespace demo {

// Starts the host the way the phone starts an app: installs the app delegate and the scene
// delegate, then connects the first window scene.
class DemoApplication {
 public:
  DemoApplication();
  ~DemoApplication();
  DemoApplication(const DemoApplication&) = delete;
  DemoApplication& operator=(const DemoApplication&) = delete;

  void launch();
  const SceneDelegate& sceneDelegate() const { return *sceneDelegate_; }

 private:
  std::shared_ptr<AppDelegate> appDelegate_;
  std::shared_ptr<SceneDelegate> sceneDelegate_;
};

}  // namespace demo
