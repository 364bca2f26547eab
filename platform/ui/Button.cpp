#include "platform/ui/Button.h"

namespace platform::ui {

std::shared_ptr<Button> Button::make(Type type, const Rect& frame) {
  auto button = std::make_shared<Button>(type, frame);
  button->addSubview(button->imageView_);
  button->addSubview(button->titleLabel_);
  button->updateColors();
  return button;
}

Button::Button(Type type, const Rect& frame)
    : Control(frame), type_(type), titleLabel_(Label::make()), imageView_(ImageView::make()) {
  titleLabel_->setFont(Font::systemFont(15));
  titleLabel_->setTextAlignment(TextAlignment::center);
  imageView_->setContentMode(ContentMode::scaleAspectFit);
}

void Button::setTitle(std::string title) {
  titleLabel_->setText(std::move(title));
  invalidateIntrinsicContentSize();
}

void Button::setTitleColor(const Color& color) {
  titleColor_ = color;
  updateColors();
}

void Button::setImage(std::shared_ptr<Image> image) {
  imageView_->setImage(std::move(image));
  invalidateIntrinsicContentSize();
}

void Button::setContentEdgeInsets(const EdgeInsets& insets) {
  insets_ = insets;
  invalidateIntrinsicContentSize();
}

void Button::setImageTitleSpacing(double spacing) {
  spacing_ = spacing;
  invalidateIntrinsicContentSize();
}

void Button::updateColors() {
  Color c = titleColor_ ? *titleColor_ : (type_ == Type::system ? tintColor() : Color::white());
  if (!isEnabled()) c = c.withAlpha(c.alpha * 0.35);
  titleLabel_->setTextColor(c);
}

void Button::setHighlighted(bool highlighted) {
  Control::setHighlighted(highlighted);
  double a = highlighted ? 0.5 : 1.0;
  View::performWithoutAnimation([&] {
    titleLabel_->setAlpha(a);
    imageView_->setAlpha(a);
  });
}

void Button::setEnabled(bool enabled) {
  Control::setEnabled(enabled);
  updateColors();
}

Size Button::intrinsicContentSize() const {
  Size image = imageView_->image() ? imageView_->image()->size() : Size{};
  Size title = titleLabel_->text().empty() ? Size{} : titleLabel_->intrinsicContentSize();
  double gap = (image.width > 0 && title.width > 0) ? spacing_ : 0;
  return {image.width + gap + title.width + insets_.left + insets_.right,
          std::max(image.height, title.height) + insets_.top + insets_.bottom};
}

void Button::layoutSubviews() {
  Control::layoutSubviews();
  Rect area{insets_.left, insets_.top, bounds().width() - insets_.left - insets_.right,
            bounds().height() - insets_.top - insets_.bottom};
  Size image = imageView_->image() ? imageView_->image()->size() : Size{};
  if (image.height > area.height() && image.height > 0) {
    double k = area.height() / image.height;
    image = {image.width * k, image.height * k};
  }
  Size title = titleLabel_->text().empty() ? Size{} : titleLabel_->intrinsicContentSize();
  double gap = (image.width > 0 && title.width > 0) ? spacing_ : 0;
  title.width = std::min(title.width, std::max(0.0, area.width() - image.width - gap));
  double x = area.minX() + (area.width() - image.width - gap - title.width) / 2;
  imageView_->setFrame({x, area.midY() - image.height / 2, image.width, image.height});
  titleLabel_->setFrame({x + image.width + gap, area.midY() - title.height / 2, title.width, title.height});
}

}  // namespace platform::ui
