#include <gtest/gtest.h>

#include "platform/foundation/KeyedArchive.h"
#include "platform/ui/ViewController.h"
#include "tests/ui/UiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;

using ArchiveTest = UiTest;

TEST_F(ArchiveTest, ViewsAndControllersComeBackFromTheirArchive) {
  auto view = View::make({10, 20, 170, 80});
  view->setTag(1003);
  view->setAlpha(0.5);
  view->setHidden(true);
  view->setUserInteractionEnabled(false);
  view->setBackgroundColor(Color::rgb255(0, 82, 217));
  platform::foundation::KeyedArchive archive;
  view->encode(archive);
  View copy(platform::foundation::KeyedArchive::fromText(archive.text()));
  EXPECT_EQ(copy.frame(), (Rect{10, 20, 170, 80}));
  EXPECT_EQ(copy.tag(), 1003);
  EXPECT_EQ(copy.alpha(), 0.5);
  EXPECT_TRUE(copy.isHidden());
  EXPECT_FALSE(copy.isUserInteractionEnabled());
  EXPECT_EQ(copy.backgroundColor(), Color::rgb255(0, 82, 217));

  // Wrong types and out-of-range values fall back to a new view's defaults.
  View odd(platform::foundation::KeyedArchive::fromText(
      R"({"frame": {"x": "1", "width": -5, "height": 3}, "tag": 99999999999, "alpha": 7, "hidden": 1})"));
  EXPECT_EQ(odd.frame(), (Rect{0, 0, 0, 3}));
  EXPECT_EQ(odd.tag(), 0);
  EXPECT_EQ(odd.alpha(), 1.0);
  EXPECT_FALSE(odd.isHidden());
  EXPECT_TRUE(odd.isUserInteractionEnabled());

  ViewController controller;
  controller.setTitle("遥控");
  platform::foundation::KeyedArchive pageArchive;
  controller.encode(pageArchive);
  EXPECT_EQ(ViewController(pageArchive).title(), "遥控");
  EXPECT_EQ(ViewController(platform::foundation::KeyedArchive::fromText("{\"title\": 3}")).title(), "");
}

}  // namespace
}  // namespace lumo::test
