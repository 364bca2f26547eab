#include "lumosdk/utils/ContextUtil.h"

#include <string>

#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/dialogs/ActiveWindow.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/Window.h"

namespace lumo {

using platform::ui::NavigationController;
using platform::ui::TabBarController;
using platform::ui::ViewController;

namespace {
constexpr const char* kTag = "ContextUtil";
}

std::shared_ptr<ViewController> ContextUtil::getTopViewController() {
  auto candidates = ui::candidateWindows();
  LogUtil::d("[ContextUtil] candidateWindows.count = " + std::to_string(candidates.size()), kTag);
  auto usable = ui::usableWindows(candidates);
  LogUtil::d("[ContextUtil] filteredWindows.count = " + std::to_string(usable.size()), kTag);
  if (usable.empty()) {
    LogUtil::w("[ContextUtil] 未找到可用的 UIWindow", kTag);
    return nullptr;
  }
  auto top = ui::chooseWindow(usable)->rootViewController();
  if (!top) return nullptr;

  while (auto presented = top->presentedViewController()) top = presented;
  if (auto tabs = std::dynamic_pointer_cast<TabBarController>(top)) {
    if (auto selected = tabs->selectedViewController()) top = selected;
  }
  if (auto navigation = std::dynamic_pointer_cast<NavigationController>(top)) {
    if (auto visible = navigation->visibleViewController()) {
      top = visible;
    } else if (auto stackTop = navigation->topViewController()) {
      top = stackTop;
    }
  }
  LogUtil::d("[ContextUtil] 返回的 VC: " + top->typeName(), kTag);
  return top;
}

std::shared_ptr<ViewController> ContextUtil::getCurrentContext() { return getTopViewController(); }

}  // namespace lumo
