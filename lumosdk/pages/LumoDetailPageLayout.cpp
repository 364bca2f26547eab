// How the vehicle detail page builds its views: title bar, scrolling content with the
// information card, and the function grid.
#include "lumosdk/pages/DetailPageStyle.h"
#include "lumosdk/pages/LumoDetailPage.h"
#include "lumosdk/utils/ResourceUtil.h"
#include "platform/ui/Button.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"

namespace lumo {

namespace {

using namespace platform::ui;
using namespace detail_page;

std::shared_ptr<Label> makeLabel(const std::string& text, const Font& font, const Color& color) {
  auto label = Label::make();
  label->setText(text);
  label->setFont(font);
  label->setTextColor(color);
  return label;
}

std::shared_ptr<View> makeLine() {
  auto line = View::make();
  line->setBackgroundColor(kLineColor);
  return line;
}

}  // namespace

void LumoDetailPage::buildViews() {
  view()->setBackgroundColor(Color::white());
  buildTitleBar();
  scrollView_ = ScrollView::make();
  scrollView_->alwaysBounceVertical = true;
  view()->addSubview(scrollView_);
  contentView_ = View::make();
  scrollView_->addSubview(contentView_);
  buildInfoCard();
  buildGrid();
}

void LumoDetailPage::buildTitleBar() {
  titleBar_ = View::make();
  titleBar_->setBackgroundColor(Color::white());
  view()->addSubview(titleBar_);
  backButton_ = Button::make(Button::Type::custom);
  backButton_->setImage(Image::systemNamed("chevron.backward"));
  backButton_->setTintColor(kHeadingColor);
  std::weak_ptr<ViewController> weak = weak_from_this();
  backButton_->addTarget(
      [weak] {
        if (auto page = std::static_pointer_cast<LumoDetailPage>(weak.lock())) page->backButtonTapped();
      },
      ControlEvent::touchUpInside);
  titleLabel_ = makeLabel("车辆详情", Font::boldSystemFont(18), Color::black());
  titleLabel_->setTextAlignment(TextAlignment::center);
  titleBarDivider_ = makeLine();
  for (const auto& part : {std::shared_ptr<View>(backButton_), std::shared_ptr<View>(titleLabel_), titleBarDivider_}) {
    titleBar_->addSubview(part);
  }
  LayoutConstraint::activate({
      backButton_->leadingAnchor().constraintEqualTo(titleBar_->leadingAnchor(), 4),
      backButton_->centerYAnchor().constraintEqualTo(titleBar_->centerYAnchor()),
      backButton_->widthAnchor().constraintEqualToConstant(48),
      backButton_->heightAnchor().constraintEqualToConstant(48),
      titleLabel_->centerXAnchor().constraintEqualTo(titleBar_->centerXAnchor()),
      titleLabel_->centerYAnchor().constraintEqualTo(titleBar_->centerYAnchor()),
      titleLabel_->leadingAnchor().constraintGreaterThanOrEqualTo(titleBar_->leadingAnchor(), 56),
      titleLabel_->trailingAnchor().constraintLessThanOrEqualTo(titleBar_->trailingAnchor(), -56),
      titleBarDivider_->leadingAnchor().constraintEqualTo(titleBar_->leadingAnchor()),
      titleBarDivider_->trailingAnchor().constraintEqualTo(titleBar_->trailingAnchor()),
      titleBarDivider_->bottomAnchor().constraintEqualTo(titleBar_->bottomAnchor()),
      titleBarDivider_->heightAnchor().constraintEqualToConstant(1),
  });
}

void LumoDetailPage::buildInfoCard() {
  infoContainer_ = View::make();
  infoContainer_->setBackgroundColor({0.95, 0.95, 0.95, 1});
  infoContainer_->layer()->setCornerRadius(10);
  vehicleImageView_ = ImageView::make(ResourceUtil::loadResourceImage("vehicle_icon.png"));
  vehicleImageView_->setContentMode(ContentMode::scaleAspectFit);
  vehicleNameLabel_ = makeLabel("车辆信息", Font::boldSystemFont(16), kHeadingColor);
  vinLabel_ = makeLabel("VIN: " + vin_, Font::systemFont(14), kSecondaryColor);
  cabinetStatusLabel_ = makeLabel("状态: 在线", Font::systemFont(14), kLockedColor);
  for (const auto& part : {std::shared_ptr<View>(vehicleImageView_), std::shared_ptr<View>(vehicleNameLabel_),
                           std::shared_ptr<View>(vinLabel_), std::shared_ptr<View>(cabinetStatusLabel_)}) {
    infoContainer_->addSubview(part);
  }
  infoContainerDivider_ = makeLine();
  functionsTitle_ = makeLabel("远程控制", Font::boldSystemFont(16), kHeadingColor);
  for (const auto& part : {infoContainer_, infoContainerDivider_, std::shared_ptr<View>(functionsTitle_)}) {
    contentView_->addSubview(part);
  }
  auto text = vehicleImageView_->trailingAnchor();
  LayoutConstraint::activate({
      infoContainer_->topAnchor().constraintEqualTo(contentView_->topAnchor(), kMargin),
      infoContainer_->leadingAnchor().constraintEqualTo(contentView_->leadingAnchor(), kMargin),
      infoContainer_->trailingAnchor().constraintEqualTo(contentView_->trailingAnchor(), -kMargin),
      infoContainer_->heightAnchor().constraintEqualToConstant(120),
      vehicleImageView_->leadingAnchor().constraintEqualTo(infoContainer_->leadingAnchor(), kMargin),
      vehicleImageView_->centerYAnchor().constraintEqualTo(infoContainer_->centerYAnchor()),
      vehicleImageView_->widthAnchor().constraintEqualToConstant(80),
      vehicleImageView_->heightAnchor().constraintEqualToConstant(80),
      vehicleNameLabel_->topAnchor().constraintEqualTo(infoContainer_->topAnchor(), 22),
      vehicleNameLabel_->leadingAnchor().constraintEqualTo(text, kMargin),
      vehicleNameLabel_->trailingAnchor().constraintLessThanOrEqualTo(infoContainer_->trailingAnchor(), -kMargin),
      vinLabel_->topAnchor().constraintEqualTo(vehicleNameLabel_->bottomAnchor(), 8),
      vinLabel_->leadingAnchor().constraintEqualTo(text, kMargin),
      vinLabel_->trailingAnchor().constraintLessThanOrEqualTo(infoContainer_->trailingAnchor(), -kMargin),
      cabinetStatusLabel_->topAnchor().constraintEqualTo(vinLabel_->bottomAnchor(), 8),
      cabinetStatusLabel_->leadingAnchor().constraintEqualTo(text, kMargin),
      cabinetStatusLabel_->trailingAnchor().constraintLessThanOrEqualTo(infoContainer_->trailingAnchor(), -kMargin),
      infoContainerDivider_->topAnchor().constraintEqualTo(infoContainer_->bottomAnchor(), 20),
      infoContainerDivider_->leadingAnchor().constraintEqualTo(contentView_->leadingAnchor(), kMargin),
      infoContainerDivider_->trailingAnchor().constraintEqualTo(contentView_->trailingAnchor(), -kMargin),
      infoContainerDivider_->heightAnchor().constraintEqualToConstant(1),
      functionsTitle_->topAnchor().constraintEqualTo(infoContainerDivider_->bottomAnchor(), 20),
      functionsTitle_->leadingAnchor().constraintEqualTo(contentView_->leadingAnchor(), kMargin),
  });
}

void LumoDetailPage::buildGrid() {
  gridContainerView_ = View::make();
  contentView_->addSubview(gridContainerView_);
  LayoutConstraint::activate({
      gridContainerView_->topAnchor().constraintEqualTo(functionsTitle_->bottomAnchor(), 10),
      gridContainerView_->leadingAnchor().constraintEqualTo(contentView_->leadingAnchor(), kMargin),
      gridContainerView_->trailingAnchor().constraintEqualTo(contentView_->trailingAnchor(), -kMargin),
      gridContainerView_->heightAnchor().constraintEqualToConstant(kGridHeight),
      gridContainerView_->bottomAnchor().constraintEqualTo(contentView_->bottomAnchor(), -20),
  });
  std::weak_ptr<ViewController> weak = weak_from_this();
  for (int i = 0; i < FUNCTION_COUNT; ++i) {
    int row = i / 3, column = i % 3;
    bool enabled = enableList_[i];
    auto item = View::make();
    item->setTag(i);
    auto icon = ImageView::make(Image::systemNamed(iconNames_[i]));
    icon->setContentMode(ContentMode::scaleAspectFit);
    icon->setTintColor(enabled ? kEnabledTint : Color::gray());
    auto label = makeLabel(functionNames_[i], Font::systemFont(14), enabled ? kHeadingColor : Color::gray());
    label->setTextAlignment(TextAlignment::center);
    if (!enabled) item->setAlpha(0.5);
    item->addSubview(icon);
    item->addSubview(label);
    gridContainerView_->addSubview(item);
    item->addGestureRecognizer(std::make_shared<TapGestureRecognizer>([weak, i](GestureRecognizer& tap) {
      if (tap.state() != GestureRecognizer::State::ended) return;
      if (auto page = std::static_pointer_cast<LumoDetailPage>(weak.lock())) page->handleItemClick(i);
    }));
    auto grid = gridContainerView_;
    LayoutConstraint::activate({
        item->leftAnchor().constraintEqualTo(grid->rightAnchor(), column / 3.0, 0),
        item->widthAnchor().constraintEqualTo(grid->widthAnchor(), 1.0 / 3.0, 0),
        item->topAnchor().constraintEqualTo(grid->topAnchor(), row * kRowHeight),
        item->heightAnchor().constraintEqualToConstant(kRowHeight),
        icon->topAnchor().constraintEqualTo(item->topAnchor(), 15),
        icon->centerXAnchor().constraintEqualTo(item->centerXAnchor()),
        icon->widthAnchor().constraintEqualToConstant(40),
        icon->heightAnchor().constraintEqualToConstant(40),
        label->topAnchor().constraintEqualTo(icon->bottomAnchor(), 8),
        label->leadingAnchor().constraintEqualTo(item->leadingAnchor(), 1),
        label->trailingAnchor().constraintEqualTo(item->trailingAnchor(), -1),
    });
    if (column < 2) {
      auto line = makeLine();
      item->addSubview(line);
      LayoutConstraint::activate({line->trailingAnchor().constraintEqualTo(item->trailingAnchor()),
                                  line->topAnchor().constraintEqualTo(item->topAnchor(), 5),
                                  line->bottomAnchor().constraintEqualTo(item->bottomAnchor(), -5),
                                  line->widthAnchor().constraintEqualToConstant(1)});
      gridVerticalLines_.push_back(line);
    }
    if (row < 2) {
      auto line = makeLine();
      item->addSubview(line);
      LayoutConstraint::activate({line->bottomAnchor().constraintEqualTo(item->bottomAnchor()),
                                  line->leadingAnchor().constraintEqualTo(item->leadingAnchor(), 1),
                                  line->trailingAnchor().constraintEqualTo(item->trailingAnchor(), -1),
                                  line->heightAnchor().constraintEqualToConstant(1)});
      gridHorizontalLines_.push_back(line);
    }
    gridItemContainers_.push_back(item);
    gridItemIcons_.push_back(icon);
    gridItemLabels_.push_back(label);
  }
}

// The page's outer frame follows the size it is given on every pass; identical rebuilds
// cost nothing because the layout pass settles on constraints that did not change.
void LumoDetailPage::viewWillLayoutSubviews() {
  if (!titleBar_) return;
  LayoutConstraint::deactivate(activeConstraints_);
  auto root = view();
  activeConstraints_ = {
      titleBar_->topAnchor().constraintEqualTo(root->topAnchor(), root->safeAreaInsets().top),
      titleBar_->leadingAnchor().constraintEqualTo(root->leadingAnchor()),
      titleBar_->trailingAnchor().constraintEqualTo(root->trailingAnchor()),
      titleBar_->heightAnchor().constraintEqualToConstant(kTitleBarHeight),
      scrollView_->topAnchor().constraintEqualTo(titleBar_->bottomAnchor()),
      scrollView_->leadingAnchor().constraintEqualTo(root->leadingAnchor()),
      scrollView_->trailingAnchor().constraintEqualTo(root->trailingAnchor()),
      scrollView_->bottomAnchor().constraintEqualTo(root->bottomAnchor()),
      contentView_->topAnchor().constraintEqualTo(scrollView_->topAnchor()),
      contentView_->leadingAnchor().constraintEqualTo(scrollView_->leadingAnchor()),
      contentView_->trailingAnchor().constraintEqualTo(scrollView_->trailingAnchor()),
      contentView_->bottomAnchor().constraintEqualTo(scrollView_->bottomAnchor()),
      contentView_->widthAnchor().constraintEqualTo(scrollView_->widthAnchor()),
  };
  LayoutConstraint::activate(activeConstraints_);
}

}  // namespace lumo
