#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/PlatformExport.h"
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"

namespace platform::ui {

// UINavigationController: a stack of controllers, the top one's view shown below a 44-point
// bar. Push and pop slide over 0.35 s when animated; a push or pop asked for while one runs
// waits for it. Appear/disappear entries reach the stack's top only, and only while the
// navigation controller itself is on screen.
class LUMO_PLATFORM_EXPORT NavigationController : public ViewController {
 public:
  static constexpr double kBarHeight = 44;
  static constexpr double kPushDuration = 0.35;

  static std::shared_ptr<NavigationController> make(const std::shared_ptr<ViewController>& root = nullptr);

  void pushViewController(const std::shared_ptr<ViewController>& controller, bool animated);
  // Returns the controller that will be popped; none when only the root is left.
  std::shared_ptr<ViewController> popViewController(bool animated);
  void popToRootViewController(bool animated);
  void setViewControllers(const std::vector<std::shared_ptr<ViewController>>& controllers);

  std::vector<std::shared_ptr<ViewController>> viewControllers() const { return children(); }
  std::shared_ptr<ViewController> topViewController() const;
  // The controller presented over the stack, else the top one.
  std::shared_ptr<ViewController> visibleViewController() const;

  bool isNavigationBarHidden() const { return barHidden_; }
  void setNavigationBarHidden(bool hidden, bool animated);
  std::shared_ptr<View> navigationBar() const { return bar_; }

  void loadView() override;
  std::vector<std::shared_ptr<ViewController>> childrenForAppearance() const override;
  Rect contentFrame() const;
  void layoutContent();

 private:
  void enqueue(std::function<void()> step);
  void stepEnded();
  void performPush(const std::shared_ptr<ViewController>& controller, bool animated);
  void performPop(bool animated, bool toRoot);
  bool onScreen() const;

  std::shared_ptr<View> bar_;
  std::shared_ptr<Label> barTitle_;
  bool barHidden_ = false;
  bool busy_ = false;
  std::deque<std::function<void()>> pending_;
};

}  // namespace platform::ui
