#pragma once

#include "platform/PlatformExport.h"
#include "platform/ui/Image.h"
#include "platform/ui/View.h"

namespace platform::ui {

// UIImageView: shows an image placed by the content mode; a template image is drawn in the
// view's tint colour. Not interactive by default.
class LUMO_PLATFORM_EXPORT ImageView : public View {
 public:
  static std::shared_ptr<ImageView> make(const Rect& frame = {}) { return std::make_shared<ImageView>(frame); }
  static std::shared_ptr<ImageView> make(std::shared_ptr<Image> image);
  explicit ImageView(const Rect& frame = {});

  std::shared_ptr<Image> image() const { return image_; }
  void setImage(std::shared_ptr<Image> image);
  // Where the image lands inside the bounds for the content mode.
  Rect imageRect() const;
  Size intrinsicContentSize() const override;

 private:
  std::shared_ptr<Image> image_;
};

}  // namespace platform::ui
