#pragma once

#include <memory>
#include <string>

#include "demo/app/ContentView.h"
#include "demo/app/DemoApplication.h"
#include "demo/host/DemoWorld.h"
#include "tests/support/VirtualTimeTest.h"

namespace platform::ui {
class Window;
}

namespace lumo::test {

// The demo host as a user meets it: the embedded world (backend on loopback, trusted through
// the platform trust store; the vehicle on the simulated radio) and the app launched into
// its first scene, all in virtual time.
class DemoAppTest : public VirtualTimeTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::shared_ptr<platform::ui::Window> keyWindow() const;
  // The form on top of the key window's navigation stack.
  std::shared_ptr<demo::ContentView> form() const;
  // Taps the topmost view showing `text`; false when none does.
  bool tap(const std::string& text);
  bool shows(const std::string& text) const;
  // Lets the app settle: transitions finish, pending answers arrive.
  void settle();
  // The world the app talks to; the embedded one unless a test says otherwise.
  virtual demo::DemoWorld::Started startWorld() { return demo::DemoWorld::startEmbedded(); }

  std::unique_ptr<demo::DemoWorld> world;
  std::unique_ptr<demo::DemoApplication> app;
};

}  // namespace lumo::test
