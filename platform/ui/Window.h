#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/PlatformExport.h"
#include "platform/ui/View.h"

namespace platform::ui {

class GestureRecognizer;
class ViewController;
class WindowScene;

// UIWindow: the root of a view tree, shown on a scene. It owns the root view controller's
// view, routes touches (hit test at touch-down, recognisers first, then the view), runs the
// layout pass once per turn of the main loop, and serialises the presentation
// transitions of its controllers. Windows start hidden.
class LUMO_PLATFORM_EXPORT Window : public View {
 public:
  static constexpr double kLevelNormal = 0;
  static constexpr double kLevelStatusBar = 1000;
  static constexpr double kLevelAlert = 2000;

  static std::shared_ptr<Window> make(const Rect& frame) { return std::make_shared<Window>(frame); }
  // A window on the scene, sized to the scene's bounds and listed in its windows.
  static std::shared_ptr<Window> make(const std::shared_ptr<WindowScene>& scene);
  explicit Window(const Rect& frame);
  ~Window() override;

  double windowLevel() const { return level_; }
  void setWindowLevel(double level) { level_ = level; }
  std::shared_ptr<WindowScene> windowScene() const { return scene_.lock(); }
  void setWindowScene(const std::shared_ptr<WindowScene>& scene);

  // One window of the application is key (it receives text input).
  bool isKeyWindow() const;
  void makeKey();
  void makeKeyAndVisible();
  // Hiding the key window hands key status to the next visible window of its scene.
  void setHidden(bool hidden) override;

  std::shared_ptr<ViewController> rootViewController() const { return root_; }
  // Replaces the root: the old root disappears (its presented controllers are dropped), the
  // new one's view fills the window and it appears when the window is visible.
  void setRootViewController(const std::shared_ptr<ViewController>& controller);

  // ---- touches in window coordinates; ids name fingers
  void touchDown(int id, Point p);
  void touchMove(int id, Point p);
  void touchUp(int id, Point p);
  void touchCancel(int id);
  // Down and up at one point (finger 0).
  void tap(Point p);
  std::size_t activeTouchCount() const { return touches_.size(); }
  // Cancels every finger whose touch view is `within` or lies inside it, as the phone does
  // when that view is hidden or leaves the window: its owner must let go of what it held.
  void cancelTouches(const View* within);

  // ---- text input goes to the first responder (a focused text field)
  std::shared_ptr<View> firstResponder() const { return firstResponder_.lock(); }
  void setFirstResponder(const std::shared_ptr<View>& view);
  void insertText(const std::string& text);
  void deleteBackward();

  // ---- layout: one pass per turn of the main loop
  void scheduleLayoutPass();

  // ---- transitions: presentation and dismissal run one at a time per window
  bool isTransitionRunning() const { return transitionRunning_; }
  // Runs `start` now, or after the running transition ends; `start` must end with
  // transitionEnded().
  void enqueueTransition(std::function<void()> start);
  void transitionEnded();

  // A view left this window: it can no longer be first responder.
  void viewLeft(View* view);
  std::shared_ptr<View> hitTest(Point p) override;

 private:
  struct ActiveTouch {
    std::shared_ptr<Touch> touch;
    std::vector<std::shared_ptr<GestureRecognizer>> recognizers;
    bool deliverToView = true;
    bool viewBegan = false;
    bool cancelling = false;
  };
  void moveOrEnd(int id, Point p, Touch::Phase phase);
  void afterRecognizers(ActiveTouch& active);
  void finishTouch(int id);
  void updateRootAppearance(bool visible);
  double now() const;

  double level_ = kLevelNormal;
  std::weak_ptr<WindowScene> scene_;
  std::shared_ptr<ViewController> root_;
  std::map<int, ActiveTouch> touches_;
  std::weak_ptr<View> firstResponder_;
  bool layoutPosted_ = false;
  bool transitionRunning_ = false;
  std::deque<std::function<void()>> pendingTransitions_;
};

}  // namespace platform::ui
