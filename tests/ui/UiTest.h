#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Animator.h"
#include "platform/ui/Application.h"
#include "platform/ui/HapticFeedback.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowScene.h"
#include "tests/support/VirtualTimeTest.h"

namespace lumo::test {

// Records the appear/disappear entries of a controller into a shared journal.
class JournalController : public platform::ui::ViewController {
 public:
  JournalController(std::string name, std::shared_ptr<std::vector<std::string>> journal)
      : name_(std::move(name)), journal_(std::move(journal)) {}
  void viewDidLoad() override { journal_->push_back(name_ + ".didLoad"); }
  void viewWillAppear(bool) override { journal_->push_back(name_ + ".willAppear"); }
  void viewDidAppear(bool) override { journal_->push_back(name_ + ".didAppear"); }
  void viewWillDisappear(bool) override { journal_->push_back(name_ + ".willDisappear"); }
  void viewDidDisappear(bool) override { journal_->push_back(name_ + ".didDisappear"); }

 private:
  std::string name_;
  std::shared_ptr<std::vector<std::string>> journal_;
};

// A connected scene with one visible key window (portrait 390 × 844).
class UiTest : public VirtualTimeTest {
 protected:
  void SetUp() override {
    VirtualTimeTest::SetUp();
    platform::ui::Application::shared().resetForTesting();
    platform::ui::ImpactFeedbackGenerator::resetForTesting();
    platform::ui::Animator::shared().resetForTesting();
    journal = std::make_shared<std::vector<std::string>>();
    scene = platform::ui::Application::shared().connectScene();
    window = platform::ui::Window::make(scene);
  }
  void TearDown() override {
    window.reset();
    scene.reset();
    platform::ui::Application::shared().resetForTesting();
    VirtualTimeTest::TearDown();
  }
  std::shared_ptr<JournalController> controller(const std::string& name) {
    return std::make_shared<JournalController>(name, journal);
  }
  // Shows a window with `root` as its root controller and clears the journal.
  void show(const std::shared_ptr<platform::ui::ViewController>& root) {
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    journal->clear();
  }

  std::shared_ptr<std::vector<std::string>> journal;
  std::shared_ptr<platform::ui::WindowScene> scene;
  std::shared_ptr<platform::ui::Window> window;
};

}  // namespace lumo::test
