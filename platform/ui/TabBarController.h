#pragma once

#include <memory>
#include <vector>

#include "platform/PlatformExport.h"
#include "platform/ui/Button.h"
#include "platform/ui/ViewController.h"

namespace platform::ui {

// UITabBarController: one child shown at a time above a 49-point bar of titled buttons.
// Changing the selection swaps the views and sends the appear/disappear entries while the
// tab-bar controller is on screen.
class LUMO_PLATFORM_EXPORT TabBarController : public ViewController {
 public:
  static constexpr double kBarHeight = 49;
  static std::shared_ptr<TabBarController> make() { return std::make_shared<TabBarController>(); }

  void setViewControllers(const std::vector<std::shared_ptr<ViewController>>& controllers);
  std::vector<std::shared_ptr<ViewController>> viewControllers() const { return children(); }
  std::size_t selectedIndex() const { return selected_; }
  void setSelectedIndex(std::size_t index);
  std::shared_ptr<ViewController> selectedViewController() const;

  void loadView() override;
  std::vector<std::shared_ptr<ViewController>> childrenForAppearance() const override;
  void layoutContent();

 private:
  void rebuildBar();
  void showSelected();
  std::size_t selected_ = 0;
  std::shared_ptr<View> bar_;
  std::vector<std::shared_ptr<Button>> items_;
};

}  // namespace platform::ui
