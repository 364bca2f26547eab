#include <gtest/gtest.h>

#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Button.h"
#include "platform/ui/Path.h"
#include "platform/ui/ScrollView.h"
#include "tests/ui/UiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;
using std::chrono::milliseconds;

using WidgetTest = UiTest;

TEST_F(WidgetTest, ButtonCentresImageAndTitleAndDimsWhilePressed) {
  auto button = Button::make(Button::Type::system, {0, 0, 100, 36});
  button->setImage(Image::fromPixels(16, 16, std::vector<std::uint32_t>(256, 0xff000000u)));
  button->setTitle("退出");
  button->setImageTitleSpacing(5);
  button->layoutIfNeeded();
  Size title = Label::measure("退出", button->titleLabel()->font());
  double content = 16 + 5 + title.width;
  EXPECT_NEAR(button->imageView()->frame().minX(), (100 - content) / 2, 1e-9);
  EXPECT_NEAR(button->titleLabel()->frame().minX(), (100 - content) / 2 + 21, 1e-9);
  EXPECT_NEAR(button->imageView()->frame().midY(), 18, 1e-9);
  EXPECT_EQ(button->intrinsicContentSize(), (Size{content, std::max(16.0, title.height)}));
  // A system button shows its title in the tint colour; an explicit colour wins.
  window->addSubview(button);
  window->setTintColor(Color::rgb255(16, 54, 132));
  button->setEnabled(true);
  EXPECT_EQ(button->titleLabel()->textColor(), Color::rgb255(16, 54, 132));
  button->setTitleColor(Color::white());
  EXPECT_EQ(button->titleLabel()->textColor(), Color::white());
  window->makeKeyAndVisible();
  window->touchDown(1, {50, 18});
  EXPECT_EQ(button->titleLabel()->alpha(), 0.5);
  window->touchUp(1, {50, 18});
  EXPECT_EQ(button->titleLabel()->alpha(), 1.0);
}

TEST_F(WidgetTest, ScrollViewDragsWithinItsContent) {
  auto scroll = ScrollView::make({0, 0, 390, 400});
  auto content = View::make({0, 0, 390, 1000});
  scroll->addSubview(content);
  window->addSubview(scroll);
  window->makeKeyAndVisible();
  EXPECT_EQ(scroll->contentSize(), (Size{390, 1000}));
  window->touchDown(1, {100, 300});
  window->touchMove(1, {100, 100});
  EXPECT_TRUE(scroll->isDragging());
  EXPECT_EQ(scroll->contentOffset(), (Point{0, 200}));
  // Content below the fold is hit where it is now shown.
  EXPECT_EQ(content->convertPointFrom({10, 10}, window.get()), (Point{10, 210}));
  window->touchMove(1, {100, -2000});
  EXPECT_EQ(scroll->contentOffset(), (Point{0, 600}));  // clamped to the content's end
  window->touchUp(1, {100, -2000});
  EXPECT_FALSE(scroll->isDragging());
  scroll->setScrollEnabled(false);
  window->touchDown(1, {100, 100});
  window->touchMove(1, {100, 300});
  EXPECT_EQ(scroll->contentOffset(), (Point{0, 600}));
}

TEST_F(WidgetTest, ActivityIndicatorTurnsOnTheClockAndStops) {
  auto spinner = ActivityIndicatorView::make(ActivityIndicatorView::Style::large);
  EXPECT_EQ(spinner->bounds().size, (Size{37, 37}));
  EXPECT_TRUE(spinner->isHidden());
  spinner->startAnimating();
  spinner->startAnimating();  // a second start changes nothing
  EXPECT_FALSE(spinner->isHidden());
  runFor(milliseconds(500));
  EXPECT_EQ(spinner->phase(), 6);
  spinner->stopAnimating();
  runFor(milliseconds(500));
  EXPECT_EQ(spinner->phase(), 6);
  EXPECT_TRUE(spinner->isHidden());
  // A spinner released while turning stops its timer.
  auto released = ActivityIndicatorView::make();
  released->startAnimating();
  released.reset();
  runFor(milliseconds(200));
}

TEST_F(WidgetTest, LayersKeepTheirTreeAndPathsTheirBounds) {
  auto root = Layer::make();
  std::shared_ptr<Layer> a = Layer::make(), b = ShapeLayer::make(), c = TextLayer::make();
  root->addSublayer(a);
  root->addSublayer(b);
  root->insertSublayer(c, 0);
  EXPECT_EQ(root->sublayers(), (std::vector<std::shared_ptr<Layer>>{c, a, b}));
  a->addSublayer(root);  // a cycle is refused
  EXPECT_TRUE(a->sublayers().empty());
  a->addSublayer(b);  // moving a layer takes it from its old parent
  EXPECT_EQ(root->sublayers().size(), 2u);
  EXPECT_EQ(b->superlayer(), a);
  b->removeFromSuperlayer();
  b->removeFromSuperlayer();
  EXPECT_EQ(b->superlayer(), nullptr);

  auto pill = Path::roundedRect({0, 0, 58, 35}, 17.5);
  EXPECT_EQ(pill.bounds(), (Rect{0, 0, 58, 35}));
  auto circle = Path::ellipse({10, 10, 20, 20});
  EXPECT_NEAR(circle.bounds().width(), 20, 1e-9);
  // A free-standing layer has no animations to remove.
  a->removeAllAnimations();
  auto view = View::make();
  EXPECT_EQ(view->layer()->owningView(), view.get());
}

TEST_F(WidgetTest, ConvertedPointsRoundTripThroughNestedTransforms) {
  auto outer = View::make({100, 100, 200, 200});
  auto inner = View::make({20, 30, 50, 40});
  outer->addSubview(inner);
  window->addSubview(outer);
  outer->setTransform(AffineTransform::scale(2, 2));
  inner->setTransform(AffineTransform::rotation(0.7));
  Point p{5, 7};
  Point inWindow = inner->convertPointTo(p, window.get());
  Point back = inner->convertPointFrom(inWindow, window.get());
  EXPECT_NEAR(back.x, 5, 1e-9);
  EXPECT_NEAR(back.y, 7, 1e-9);
  // The scaled outer view doubles distances from its centre.
  EXPECT_EQ(outer->convertPointTo({100, 100}, nullptr), (Point{200, 200}));
  EXPECT_EQ(outer->convertPointTo({0, 0}, nullptr), (Point{0, 0}));
  EXPECT_EQ(outer->frame(), (Rect{0, 0, 400, 400}));
  EXPECT_EQ(window->viewWithTag(0), window);
  inner->setTag(42);
  EXPECT_EQ(window->viewWithTag(42), inner);
  // A view cannot become its own ancestor's parent.
  inner->addSubview(outer);
  EXPECT_EQ(outer->superview(), window);
}

TEST_F(WidgetTest, SubviewOrderingKeepsOneCopyOfEachView) {
  auto parent = View::make();
  auto a = View::make(), b = View::make(), c = View::make();
  parent->addSubview(a);
  parent->addSubview(b);
  parent->addSubview(c);
  parent->bringSubviewToFront(a);
  EXPECT_EQ(parent->subviews(), (std::vector<std::shared_ptr<View>>{b, c, a}));
  parent->sendSubviewToBack(c);
  EXPECT_EQ(parent->subviews(), (std::vector<std::shared_ptr<View>>{c, b, a}));
  parent->insertSubviewAbove(c, a);
  EXPECT_EQ(parent->subviews(), (std::vector<std::shared_ptr<View>>{b, a, c}));
  parent->insertSubviewBelow(c, b);
  EXPECT_EQ(parent->subviews(), (std::vector<std::shared_ptr<View>>{c, b, a}));
  parent->addSubview(b);
  EXPECT_EQ(parent->subviews(), (std::vector<std::shared_ptr<View>>{c, a, b}));
  auto other = View::make();
  other->addSubview(a);
  EXPECT_EQ(parent->subviews().size(), 2u);
  EXPECT_EQ(a->superview(), other);
}

}  // namespace
}  // namespace lumo::test
