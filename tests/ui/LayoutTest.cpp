#include <gtest/gtest.h>

#include "platform/ui/Label.h"
#include "platform/ui/StackView.h"
#include "tests/ui/UiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;

class CountingView : public View {
 public:
  using View::View;
  void layoutSubviews() override {
    View::layoutSubviews();
    ++passes;
  }
  int passes = 0;
};

class FixedSize : public View {
 public:
  explicit FixedSize(Size s) : size_(s) {}
  Size intrinsicContentSize() const override { return size_; }

 private:
  Size size_;
};

using LayoutTest = UiTest;

TEST_F(LayoutTest, AnchorsPinCentreSizeAndKeepMinimumMargins) {
  auto page = View::make({0, 0, 844, 390});
  auto bar = View::make(), logo = View::make(), panel = View::make(), twin = View::make();
  for (auto& v : {bar, logo, panel, twin}) page->addSubview(v);
  LayoutConstraint::activate({
      bar->topAnchor().constraintEqualTo(page->topAnchor()),
      bar->leadingAnchor().constraintEqualTo(page->leadingAnchor()),
      bar->trailingAnchor().constraintEqualTo(page->trailingAnchor()),
      bar->heightAnchor().constraintEqualToConstant(60),
      logo->leadingAnchor().constraintEqualTo(page->leadingAnchor(), 20),
      logo->centerYAnchor().constraintEqualTo(bar->centerYAnchor()),
      logo->widthAnchor().constraintEqualToConstant(80),
      logo->heightAnchor().constraintEqualToConstant(30),
      // Centred below the bar, 40 high, at least 8 from either edge, wider than the page.
      panel->topAnchor().constraintEqualTo(bar->bottomAnchor(), 20),
      panel->centerXAnchor().constraintEqualTo(page->centerXAnchor()),
      panel->heightAnchor().constraintEqualToConstant(40),
      panel->widthAnchor().constraintGreaterThanOrEqualToConstant(2000),
      panel->leadingAnchor().constraintGreaterThanOrEqualTo(page->leadingAnchor(), 8),
      panel->trailingAnchor().constraintLessThanOrEqualTo(page->trailingAnchor(), -8),
      // Same size as the logo, right of it.
      twin->widthAnchor().constraintEqualTo(logo->widthAnchor(), 1, 0),
      twin->heightAnchor().constraintEqualTo(logo->heightAnchor(), 1, 0),
      twin->leadingAnchor().constraintEqualTo(logo->trailingAnchor(), 12),
      twin->topAnchor().constraintEqualTo(logo->topAnchor()),
  });
  page->layoutIfNeeded();
  EXPECT_EQ(bar->frame(), (Rect{0, 0, 844, 60}));
  EXPECT_EQ(logo->frame(), (Rect{20, 15, 80, 30}));
  EXPECT_EQ(panel->frame(), (Rect{8, 80, 828, 40}));
  EXPECT_EQ(twin->frame(), (Rect{112, 15, 80, 30}));
  EXPECT_FALSE(bar->translatesAutoresizingMaskIntoConstraints());

  // Constraints follow the page when it turns; deactivated ones stop applying.
  page->setFrame({0, 0, 390, 844});
  page->layoutIfNeeded();
  EXPECT_EQ(bar->frame(), (Rect{0, 0, 390, 60}));
  EXPECT_EQ(panel->frame().width(), 374);
  LayoutConstraint::deactivate(bar->constraints());
  EXPECT_TRUE(bar->constraints().empty());
}

TEST_F(LayoutTest, AContainerHugsItsPinnedLabelAndTextWrapsWithinTheMargins) {
  // A toast: centred, at least 50 from the sides, sized by its label plus insets.
  window->makeKeyAndVisible();
  auto toast = View::make();
  auto label = Label::make();
  label->setNumberOfLines(0);
  label->setFont(Font::systemFont(14));
  label->setText("短消息");
  toast->addSubview(label);
  window->addSubview(toast);
  LayoutConstraint::activate({
      toast->centerXAnchor().constraintEqualTo(window->centerXAnchor()),
      toast->centerYAnchor().constraintEqualTo(window->centerYAnchor()),
      toast->leadingAnchor().constraintGreaterThanOrEqualTo(window->leadingAnchor(), 50),
      toast->trailingAnchor().constraintLessThanOrEqualTo(window->trailingAnchor(), -50),
      label->topAnchor().constraintEqualTo(toast->topAnchor(), 10),
      // Written the other way round: the container's edge relative to the label's.
      toast->bottomAnchor().constraintEqualTo(label->bottomAnchor(), 10),
      label->leadingAnchor().constraintEqualTo(toast->leadingAnchor(), 15),
      label->trailingAnchor().constraintEqualTo(toast->trailingAnchor(), -15),
  });
  runFor(std::chrono::milliseconds(1));  // the window lays out on the next turn
  Size text = Label::measure("短消息", Font::systemFont(14));
  EXPECT_EQ(toast->frame().size, (Size{text.width + 30, text.height + 20}));
  EXPECT_NEAR(toast->frame().midX(), 195, 0.5);
  EXPECT_EQ(label->frame(), (Rect{15, 10, text.width, text.height}));

  label->setText("您的蓝牙延迟过大,请保持与车辆2M以内距离重新遥控");
  window->layoutIfNeeded();
  // Wrapped at 290 - 30 points, the widest line decides the width; still centred.
  EXPECT_GE(toast->frame().minX(), 50);
  EXPECT_LE(toast->frame().width(), 290);
  EXPECT_GT(toast->frame().width(), 250);
  EXPECT_NEAR(toast->frame().midX(), 195, 0.5);
  EXPECT_GT(label->frame().height(), 2 * text.height - 2);  // wrapped onto more lines
}

TEST_F(LayoutTest, StackViewsDistributeAndAlign) {
  auto a = std::make_shared<FixedSize>(Size{40, 20});
  auto b = std::make_shared<FixedSize>(Size{60, 30});
  auto hidden = std::make_shared<FixedSize>(Size{500, 500});
  hidden->setHidden(true);
  auto stack = StackView::make({a, hidden, b});
  stack->setSpacing(10);
  EXPECT_EQ(stack->intrinsicContentSize(), (Size{110, 30}));
  stack->setFrame({0, 0, 200, 50});
  stack->setAlignment(StackView::Alignment::center);
  stack->layoutIfNeeded();
  EXPECT_EQ(a->frame(), (Rect{0, 15, 40, 20}));
  EXPECT_EQ(b->frame(), (Rect{50, 10, 150, 30}));  // the last view takes the slack

  stack->setDistribution(StackView::Distribution::equalSpacing);
  stack->layoutIfNeeded();
  EXPECT_EQ(b->frame(), (Rect{140, 10, 60, 30}));

  stack->setDistribution(StackView::Distribution::fillEqually);
  stack->setAlignment(StackView::Alignment::fill);
  stack->setAxis(StackView::Axis::vertical);
  stack->setSpacing(5);
  stack->setFrame({0, 0, 170, 170});
  stack->layoutIfNeeded();
  EXPECT_EQ(a->frame(), (Rect{0, 0, 170, 82.5}));
  EXPECT_EQ(b->frame(), (Rect{0, 87.5, 170, 82.5}));
  // A fixed-size constraint counts as the natural size.
  auto fixed = View::make();
  LayoutConstraint::activate({fixed->widthAnchor().constraintEqualToConstant(58),
                              fixed->heightAnchor().constraintEqualToConstant(35)});
  auto row = StackView::make({fixed});
  EXPECT_EQ(row->intrinsicContentSize(), (Size{58, 35}));
  // Removing an arranged view from the tree stops arranging it.
  a->removeFromSuperview();
  EXPECT_EQ(stack->arrangedSubviews().size(), 2u);
}

TEST_F(LayoutTest, AutoresizingAndOneLayoutPassPerTurn) {
  auto parent = std::make_shared<CountingView>(Rect{0, 0, 100, 100});
  auto fill = View::make({10, 10, 80, 80});
  fill->setAutoresizingMask(Autoresizing::flexibleWidth | Autoresizing::flexibleHeight);
  auto corner = View::make({80, 80, 20, 20});
  corner->setAutoresizingMask(Autoresizing::flexibleLeftMargin | Autoresizing::flexibleTopMargin);
  parent->addSubview(fill);
  parent->addSubview(corner);
  window->addSubview(parent);
  window->makeKeyAndVisible();
  runFor(std::chrono::milliseconds(1));
  int before = parent->passes;
  parent->setFrame({0, 0, 200, 150});
  parent->setNeedsLayout();
  parent->setNeedsLayout();
  EXPECT_EQ(fill->frame(), (Rect{10, 10, 180, 130}));
  EXPECT_EQ(corner->frame(), (Rect{180, 130, 20, 20}));
  runFor(std::chrono::milliseconds(1));
  EXPECT_EQ(parent->passes, before + 1);
}

}  // namespace
}  // namespace lumo::test
