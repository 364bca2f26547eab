#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/PlatformExport.h"
#include "platform/ui/Orientation.h"
#include "platform/ui/View.h"

namespace platform::foundation {
class KeyedArchive;
}

namespace platform::ui {

class NavigationController;
class TabBarController;

enum class ModalPresentationStyle { automatic, fullScreen, overFullScreen };
enum class ModalTransitionStyle { coverVertical, crossDissolve };

// UIViewController: owns a lazily loaded view, receives the appear/disappear entries,
// contains children and presents controllers modally. A presentation runs on the window of
// the presenting controller; transitions of one window run one after the other, so a
// dismissal requested mid-presentation waits for the presentation to finish.
// Full-screen presentation takes the presenting controller's view out of the window (it
// disappears); over-full-screen and automatic (a sheet) leave it there without disappear
// entries.
class LUMO_PLATFORM_EXPORT ViewController : public std::enable_shared_from_this<ViewController> {
 public:
  enum class Appearance { disappeared, appearing, appeared, disappearing };
  using Completion = std::function<void()>;
  static constexpr double kTransitionDuration = 0.3;

  static std::shared_ptr<ViewController> make() { return std::make_shared<ViewController>(); }
  ViewController() = default;
  // From an archive written by encode() (its title); a missing or mistyped key keeps the default.
  explicit ViewController(const foundation::KeyedArchive& archive);
  virtual ~ViewController();
  // Subclasses call the base first.
  virtual void encode(foundation::KeyedArchive& archive) const;
  ViewController(const ViewController&) = delete;
  ViewController& operator=(const ViewController&) = delete;

  // ---- view
  // Loads the view on first use (loadView, then viewDidLoad).
  std::shared_ptr<View> view();
  std::shared_ptr<View> viewIfLoaded() const { return view_; }
  bool isViewLoaded() const { return view_ != nullptr; }
  // Default: an empty view with a white background of the screen's size.
  virtual void loadView();
  void setView(const std::shared_ptr<View>& view);
  virtual void viewDidLoad() {}
  virtual void viewWillAppear(bool /*animated*/) {}
  virtual void viewDidAppear(bool /*animated*/) {}
  virtual void viewWillDisappear(bool /*animated*/) {}
  virtual void viewDidDisappear(bool /*animated*/) {}
  virtual void viewWillLayoutSubviews() {}
  virtual void viewDidLayoutSubviews() {}
  const std::string& title() const { return title_; }
  void setTitle(std::string title) { title_ = std::move(title); }
  // The class name without namespaces ("CustomDialogViewController"), for diagnostics.
  std::string typeName() const;

  // ---- appearance (forwarded to the children that are on screen)
  Appearance appearance() const { return appearance_; }
  void beginAppearanceTransition(bool appearing, bool animated);
  void endAppearanceTransition();
  virtual std::vector<std::shared_ptr<ViewController>> childrenForAppearance() const { return children_; }

  // ---- containment
  void addChild(const std::shared_ptr<ViewController>& child);
  void removeFromParent();
  virtual void willMoveToParent(const std::shared_ptr<ViewController>& /*parent*/) {}
  virtual void didMoveToParent(const std::shared_ptr<ViewController>& /*parent*/) {}
  const std::vector<std::shared_ptr<ViewController>>& children() const { return children_; }
  std::shared_ptr<ViewController> parent() const { return parent_.lock(); }
  std::shared_ptr<NavigationController> navigationController() const;
  std::shared_ptr<TabBarController> tabBarController() const;

  // ---- modal presentation
  ModalPresentationStyle modalPresentationStyle() const { return presentationStyle_; }
  void setModalPresentationStyle(ModalPresentationStyle style) { presentationStyle_ = style; }
  ModalTransitionStyle modalTransitionStyle() const { return transitionStyle_; }
  void setModalTransitionStyle(ModalTransitionStyle style) { transitionStyle_ = style; }
  // Refused (console line, no completion) when this controller's view is not in a window,
  // when `controller` is already presented or a child, or when this one already presents.
  void present(const std::shared_ptr<ViewController>& controller, bool animated, Completion completion = {});
  // Dismisses what this controller presents, or, when it presents nothing, the presented
  // controller it is (or is inside of). Everything presented above goes with it.
  void dismiss(bool animated, Completion completion = {});
  // Own, or the parent's (a child inside a presented navigation controller answers for it).
  std::shared_ptr<ViewController> presentedViewController() const;
  std::shared_ptr<ViewController> presentingViewController() const;
  bool isBeingDismissed() const;
  bool isBeingPresented() const { return beingPresented_; }

  // ---- orientation
  virtual InterfaceOrientationMask supportedInterfaceOrientations() const { return OrientationMask::allButUpsideDown; }
  virtual InterfaceOrientation preferredInterfaceOrientationForPresentation() const {
    return InterfaceOrientation::portrait;
  }
  virtual bool shouldAutorotate() const { return true; }
  void setNeedsStatusBarAppearanceUpdate() {}
  // Asks every scene to re-check its orientation against the supported orientations.
  static void attemptRotationToDeviceOrientation();
  void setNeedsUpdateOfSupportedInterfaceOrientations() { attemptRotationToDeviceOrientation(); }

 private:
  friend class NavigationController;
  friend class TabBarController;
  friend class Window;
  std::shared_ptr<ViewController> presentationContext();
  std::shared_ptr<ViewController> presentedAncestor();
  void performPresent(const std::shared_ptr<ViewController>& controller, bool animated, Completion completion);
  void performDismiss(bool animated, Completion completion);
  void dropPresentedAbove();

  std::shared_ptr<View> view_;
  std::string title_;
  Appearance appearance_ = Appearance::disappeared;
  bool appearingAnimated_ = false;
  std::vector<std::shared_ptr<ViewController>> children_;
  std::weak_ptr<ViewController> parent_;
  ModalPresentationStyle presentationStyle_ = ModalPresentationStyle::automatic;
  ModalTransitionStyle transitionStyle_ = ModalTransitionStyle::coverVertical;
  std::shared_ptr<ViewController> presented_;
  std::weak_ptr<ViewController> presenting_;
  bool beingPresented_ = false;
  bool beingDismissed_ = false;
};

}  // namespace platform::ui
