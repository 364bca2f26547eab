#include "platform/ui/ImageView.h"

namespace platform::ui {

ImageView::ImageView(const Rect& frame) : View(frame) { setUserInteractionEnabled(false); }

std::shared_ptr<ImageView> ImageView::make(std::shared_ptr<Image> image) {
  Size s = image ? image->size() : Size{};
  auto view = std::make_shared<ImageView>(Rect{0, 0, s.width, s.height});
  view->setImage(std::move(image));
  return view;
}

void ImageView::setImage(std::shared_ptr<Image> image) {
  if (image == image_) return;
  image_ = std::move(image);
  invalidateIntrinsicContentSize();
}

Size ImageView::intrinsicContentSize() const {
  if (!image_) return {kNoIntrinsicMetric, kNoIntrinsicMetric};
  return image_->size();
}

Rect ImageView::imageRect() const {
  Rect b{0, 0, bounds().width(), bounds().height()};
  if (!image_) return b;
  Size s = image_->size();
  if (s.width <= 0 || s.height <= 0) return b;
  switch (contentMode()) {
    case ContentMode::scaleToFill: return b;
    case ContentMode::scaleAspectFit:
    case ContentMode::scaleAspectFill: {
      double sx = b.width() / s.width, sy = b.height() / s.height;
      double k = contentMode() == ContentMode::scaleAspectFit ? std::min(sx, sy) : std::max(sx, sy);
      double w = s.width * k, h = s.height * k;
      return {(b.width() - w) / 2, (b.height() - h) / 2, w, h};
    }
    case ContentMode::center: return {(b.width() - s.width) / 2, (b.height() - s.height) / 2, s.width, s.height};
    case ContentMode::top: return {(b.width() - s.width) / 2, 0, s.width, s.height};
    case ContentMode::bottom: return {(b.width() - s.width) / 2, b.height() - s.height, s.width, s.height};
    case ContentMode::left: return {0, (b.height() - s.height) / 2, s.width, s.height};
    case ContentMode::right: return {b.width() - s.width, (b.height() - s.height) / 2, s.width, s.height};
  }
  return b;
}

}  // namespace platform::ui
