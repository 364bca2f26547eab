#include <gtest/gtest.h>

#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"
#include "tests/ui/UiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;
using std::chrono::milliseconds;

// A page that throws its constraints away and builds them anew on every layout pass.
class RebuildingController : public ViewController {
 public:
  void viewDidLoad() override {
    box = View::make();
    view()->addSubview(box);
  }
  void viewWillLayoutSubviews() override {
    ++passes;
    if (passes > 50) return;  // a looping pass must fail the test, not hang it
    LayoutConstraint::deactivate(active);
    active = {box->topAnchor().constraintEqualTo(view()->topAnchor(), gap),
              box->leadingAnchor().constraintEqualTo(view()->leadingAnchor(), 10),
              box->widthAnchor().constraintEqualToConstant(100), box->heightAnchor().constraintEqualToConstant(40)};
    LayoutConstraint::activate(active);
  }
  std::shared_ptr<View> box;
  ConstraintList active;
  double gap = 20;
  int passes = 0;
};

class FixedHeight : public View {
 public:
  explicit FixedHeight(double h) : height_(h) {}
  Size intrinsicContentSize() const override { return {kNoIntrinsicMetric, height_}; }

 private:
  double height_;
};

using ConstraintPassTest = UiTest;

TEST_F(ConstraintPassTest, IdenticalRebuildsSettleAndRealChangesStillMoveTheView) {
  auto page = std::make_shared<RebuildingController>();
  show(page);
  runFor(milliseconds(100));
  EXPECT_LE(page->passes, 3);
  EXPECT_EQ(page->box->frame(), (Rect{10, 20, 100, 40}));

  int settled = page->passes;
  runFor(milliseconds(500));
  EXPECT_EQ(page->passes, settled);

  page->gap = 64;
  page->view()->setNeedsLayout();
  runFor(milliseconds(100));
  EXPECT_EQ(page->box->frame(), (Rect{10, 64, 100, 40}));
  EXPECT_LE(page->passes, settled + 3);
}

TEST_F(ConstraintPassTest, ScrollContentTakesTheHeightOfItsChainAndTheWidthOfTheFrame) {
  auto root = ViewController::make();
  show(root);
  auto scroll = ScrollView::make();
  root->view()->addSubview(scroll);
  auto content = View::make();
  scroll->addSubview(content);
  auto card = View::make(), grid = View::make();
  auto heading = Label::make();
  auto note = std::make_shared<FixedHeight>(30);
  heading->setText("远程控制");
  for (const auto& v : {card, std::shared_ptr<View>(heading), std::shared_ptr<View>(note), grid}) content->addSubview(v);
  LayoutConstraint::activate({
      scroll->topAnchor().constraintEqualTo(root->view()->topAnchor(), 56),
      scroll->leadingAnchor().constraintEqualTo(root->view()->leadingAnchor()),
      scroll->trailingAnchor().constraintEqualTo(root->view()->trailingAnchor()),
      scroll->bottomAnchor().constraintEqualTo(root->view()->bottomAnchor()),
      content->topAnchor().constraintEqualTo(scroll->topAnchor()),
      content->leadingAnchor().constraintEqualTo(scroll->leadingAnchor()),
      content->trailingAnchor().constraintEqualTo(scroll->trailingAnchor()),
      content->bottomAnchor().constraintEqualTo(scroll->bottomAnchor(), -8),
      content->widthAnchor().constraintEqualTo(scroll->widthAnchor()),
      card->topAnchor().constraintEqualTo(content->topAnchor(), 16),
      card->leadingAnchor().constraintEqualTo(content->leadingAnchor(), 16),
      card->trailingAnchor().constraintEqualTo(content->trailingAnchor(), -16),
      card->heightAnchor().constraintEqualToConstant(400),
      heading->topAnchor().constraintEqualTo(card->bottomAnchor(), 20),
      heading->leadingAnchor().constraintEqualTo(content->leadingAnchor(), 16),
      note->topAnchor().constraintEqualTo(heading->bottomAnchor(), 5),
      note->leadingAnchor().constraintEqualTo(content->leadingAnchor()),
      note->widthAnchor().constraintEqualToConstant(10),
      grid->topAnchor().constraintEqualTo(note->bottomAnchor(), 10),
      grid->leadingAnchor().constraintEqualTo(content->leadingAnchor(), 16),
      grid->trailingAnchor().constraintEqualTo(content->trailingAnchor(), -16),
      grid->heightAnchor().constraintEqualToConstant(300),
      grid->bottomAnchor().constraintEqualTo(content->bottomAnchor(), -20),
  });
  runFor(milliseconds(100));

  double headingHeight = heading->intrinsicContentSize().height;
  ASSERT_GT(headingHeight, 0);
  double chain = 16 + 400 + 20 + headingHeight + 5 + 30 + 10 + 300 + 20;
  EXPECT_EQ(scroll->frame(), (Rect{0, 56, 390, 844 - 56}));
  EXPECT_EQ(content->frame(), (Rect{0, 0, 390, chain}));
  EXPECT_EQ(grid->frame(), (Rect{16, chain - 20 - 300, 358, 300}));
  EXPECT_EQ(scroll->contentSize(), (Size{390, chain + 8}));

  // Dragging up scrolls to the end of the content and no further.
  window->touchDown(1, {200, 700});
  window->touchMove(1, {200, 100});
  window->touchMove(1, {200, -900});
  window->touchUp(1, {200, -900});
  EXPECT_EQ(scroll->contentOffset().y, chain + 8 - (844 - 56));
}

}  // namespace
}  // namespace lumo::test
