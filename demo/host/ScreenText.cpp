#include "demo/host/ScreenText.h"

#include <cxxabi.h>

#include <cstdlib>
#include <functional>
#include <typeinfo>

#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"

namespace demo {

using namespace platform::ui;

namespace {

// Texts a view shows by itself; a button's title is its title label's, so it is not counted twice.
std::string ownText(const View& view) {
  if (auto label = dynamic_cast<const Label*>(&view)) return label->text();
  if (auto field = dynamic_cast<const TextField*>(&view)) return field->text();
  return "";
}

void walkShown(Window& window, const std::function<void(const std::shared_ptr<View>&)>& visit) {
  std::function<void(const std::shared_ptr<View>&)> walk = [&](const std::shared_ptr<View>& view) {
    if (view->isHidden() || view->presentationAlpha() < 0.01) return;
    visit(view);
    for (const auto& child : std::vector(view->subviews())) walk(child);
  };
  walk(std::static_pointer_cast<View>(window.shared_from_this()));
}

bool insideWindow(const View& view, const Window& window) {
  return view.convertRectTo(view.bounds(), nullptr).intersects(window.bounds());
}

std::string typeNameOf(const View& view) {
  const char* mangled = typeid(view).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && demangled ? demangled : mangled;
  std::free(demangled);
  auto colon = name.rfind("::");
  return colon == std::string::npos ? name : name.substr(colon + 2);
}

}  // namespace

std::vector<std::shared_ptr<View>> ScreenText::find(Window& window, const std::string& text) {
  std::vector<std::shared_ptr<View>> found;
  walkShown(window, [&](const std::shared_ptr<View>& view) {
    if (ownText(*view) == text && insideWindow(*view, window)) found.push_back(view);
  });
  return found;
}

std::vector<std::string> ScreenText::all(Window& window) {
  std::vector<std::string> texts;
  walkShown(window, [&](const std::shared_ptr<View>& view) {
    std::string text = ownText(*view);
    if (!text.empty() && insideWindow(*view, window)) texts.push_back(text);
  });
  return texts;
}

std::shared_ptr<View> ScreenText::findByType(Window& window, const std::string& typeName) {
  std::shared_ptr<View> found;
  walkShown(window, [&](const std::shared_ptr<View>& view) {
    if (!found && typeNameOf(*view) == typeName) found = view;
  });
  return found;
}

}  // namespace demo
