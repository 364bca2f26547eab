#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/PlatformExport.h"
#include "platform/ui/Color.h"
#include "platform/ui/Font.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Path.h"

namespace platform::ui {

class View;

// CALayer: a drawn rectangle with colour, corners, border and sublayers. Every view has a
// backing layer (its background, corners and border live there); sublayers added to it are
// drawn above the view's background and below its subviews, in the view's coordinates.
class LUMO_PLATFORM_EXPORT Layer : public std::enable_shared_from_this<Layer> {
 public:
  enum class Kind { plain, gradient, shape, text };
  static std::shared_ptr<Layer> make();
  Layer() = default;
  virtual ~Layer() = default;
  Layer(const Layer&) = delete;
  Layer& operator=(const Layer&) = delete;
  virtual Kind kind() const { return Kind::plain; }

  // Frame in the superlayer's coordinates; ignored for a view's backing layer, which
  // always covers its view's bounds.
  Rect frame() const { return frame_; }
  void setFrame(const Rect& frame) { frame_ = frame; }
  Rect bounds() const { return {0, 0, frame_.width(), frame_.height()}; }

  Color backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(const Color& c) { backgroundColor_ = c; }
  double cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(double r) { cornerRadius_ = std::max(0.0, r); }
  double borderWidth() const { return borderWidth_; }
  void setBorderWidth(double w) { borderWidth_ = std::max(0.0, w); }
  Color borderColor() const { return borderColor_; }
  void setBorderColor(const Color& c) { borderColor_ = c; }
  bool masksToBounds() const { return masksToBounds_; }
  void setMasksToBounds(bool m) { masksToBounds_ = m; }
  double opacity() const { return opacity_; }
  void setOpacity(double o) { opacity_ = std::clamp(o, 0.0, 1.0); }
  bool isHidden() const { return hidden_; }
  void setHidden(bool h) { hidden_ = h; }
  // Applied about the layer's centre.
  AffineTransform affineTransform() const { return transform_; }
  void setAffineTransform(const AffineTransform& t) { transform_ = t; }

  const std::vector<std::shared_ptr<Layer>>& sublayers() const { return sublayers_; }
  std::shared_ptr<Layer> superlayer() const { return superlayer_.lock(); }
  void addSublayer(const std::shared_ptr<Layer>& layer);
  // Index 0 draws first (lowest); an index past the end appends.
  void insertSublayer(const std::shared_ptr<Layer>& layer, std::size_t index);
  void removeFromSuperlayer();

  // Stops the running animations of the view this layer backs; their completions run with
  // finished = false. A free-standing layer has none.
  void removeAllAnimations();

  // The view this layer backs, or none.
  View* owningView() const { return owner_; }

 private:
  friend class View;
  Rect frame_{};
  Color backgroundColor_ = Color::clear();
  double cornerRadius_ = 0;
  double borderWidth_ = 0;
  Color borderColor_ = Color::black();
  bool masksToBounds_ = false;
  double opacity_ = 1;
  bool hidden_ = false;
  AffineTransform transform_{};
  std::vector<std::shared_ptr<Layer>> sublayers_;
  std::weak_ptr<Layer> superlayer_;
  View* owner_ = nullptr;
};

// CAGradientLayer: an axial gradient between unit-square points of the layer's bounds.
class LUMO_PLATFORM_EXPORT GradientLayer : public Layer {
 public:
  static std::shared_ptr<GradientLayer> make() { return std::make_shared<GradientLayer>(); }
  Kind kind() const override { return Kind::gradient; }
  std::vector<Color> colors;
  // Stops 0...1, one per colour; empty spreads the colours evenly.
  std::vector<double> locations;
  Point startPoint{0.5, 0};
  Point endPoint{0.5, 1};
};

// CAShapeLayer: a path in the layer's coordinates, filled and optionally stroked.
class LUMO_PLATFORM_EXPORT ShapeLayer : public Layer {
 public:
  static std::shared_ptr<ShapeLayer> make() { return std::make_shared<ShapeLayer>(); }
  Kind kind() const override { return Kind::shape; }
  Path path;
  Color fillColor = Color::black();
  Color strokeColor = Color::clear();
  double lineWidth = 1;
};

enum class TextAlignment { natural, left, center, right, justified };

// CATextLayer: one string in the system face, wrapped to the layer's width.
class LUMO_PLATFORM_EXPORT TextLayer : public Layer {
 public:
  static std::shared_ptr<TextLayer> make() { return std::make_shared<TextLayer>(); }
  Kind kind() const override { return Kind::text; }
  std::string string;
  double fontSize = 36;  // CATextLayer's default
  bool bold = false;
  Color foregroundColor = Color::white();
  TextAlignment alignmentMode = TextAlignment::natural;
  bool isWrapped = false;
  // Pixels per point the text is rasterised at; the renderer draws vectors, so it only
  // matters to callers that read it back.
  double contentsScale = 1;
};

}  // namespace platform::ui
