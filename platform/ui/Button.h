#pragma once

#include <string>

#include "platform/PlatformExport.h"
#include "platform/ui/Control.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"

namespace platform::ui {

// UIButton: an optional image and a title side by side, centred inside the content insets.
// A system button shows its title in the tint colour; a custom one in its title colour.
// While highlighted its content is drawn at half opacity.
class LUMO_PLATFORM_EXPORT Button : public Control {
 public:
  enum class Type { custom, system };
  static std::shared_ptr<Button> make(Type type = Type::system, const Rect& frame = {});
  Button(Type type, const Rect& frame);

  Type buttonType() const { return type_; }
  std::string title() const { return titleLabel_->text(); }
  void setTitle(std::string title);
  void setTitleColor(const Color& color);
  std::shared_ptr<Image> image() const { return imageView_->image(); }
  void setImage(std::shared_ptr<Image> image);
  const std::shared_ptr<Label>& titleLabel() const { return titleLabel_; }
  const std::shared_ptr<ImageView>& imageView() const { return imageView_; }
  EdgeInsets contentEdgeInsets() const { return insets_; }
  void setContentEdgeInsets(const EdgeInsets& insets);
  double imageTitleSpacing() const { return spacing_; }
  void setImageTitleSpacing(double spacing);

  void setHighlighted(bool highlighted) override;
  void setEnabled(bool enabled) override;
  void layoutSubviews() override;
  Size intrinsicContentSize() const override;
  void didMoveToWindow() override { updateColors(); }

 private:
  void updateColors();
  Type type_;
  std::shared_ptr<Label> titleLabel_;
  std::shared_ptr<ImageView> imageView_;
  std::optional<Color> titleColor_;
  EdgeInsets insets_{};
  double spacing_ = 0;
};

}  // namespace platform::ui
