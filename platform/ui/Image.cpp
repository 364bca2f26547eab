#include "platform/ui/Image.h"

#include <cairo.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/foundation/BundleInfo.h"
#include "platform/ui/detail/SystemSymbols.h"

namespace platform::ui {
namespace {

struct PngReader {
  const Bytes* data;
  std::size_t offset = 0;
};

cairo_status_t readPng(void* closure, unsigned char* out, unsigned int length) {
  auto* reader = static_cast<PngReader*>(closure);
  if (reader->offset + length > reader->data->size()) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(out, reader->data->data() + reader->offset, length);
  reader->offset += length;
  return CAIRO_STATUS_SUCCESS;
}

// Copies a cairo surface's rows into a packed pixel vector.
std::vector<std::uint32_t> packPixels(cairo_surface_t* surface, int width, int height) {
  cairo_surface_flush(surface);
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < height; ++y) {
    std::memcpy(&pixels[static_cast<std::size_t>(y) * width], data + static_cast<std::size_t>(y) * stride,
                static_cast<std::size_t>(width) * 4);
  }
  return pixels;
}

std::optional<Bytes> readFile(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr int kSymbolPixels = 96;  // 32 points at scale 3

}  // namespace

std::shared_ptr<Image> Image::fromData(const Bytes& png, double scale) {
  // cairo's PNG reader trusts its input after the signature; a truncated file is a read error.
  if (png.size() < 8 || std::memcmp(png.data(), kPngSignature, 8) != 0 || scale <= 0) return nullptr;
  PngReader reader{&png};
  cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(readPng, &reader);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  int width = cairo_image_surface_get_width(surface);
  int height = cairo_image_surface_get_height(surface);
  std::shared_ptr<Image> image;
  if (width > 0 && height > 0) {
    // Every decoded format is redrawn as ARGB32 so one pixel layout serves everything.
    cairo_surface_t* argb = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(argb);
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    image = fromPixels(width, height, packPixels(argb, width, height), scale);
    cairo_surface_destroy(argb);
  }
  cairo_surface_destroy(surface);
  return image;
}

std::shared_ptr<Image> Image::fromFile(const std::filesystem::path& path, double scale) {
  auto bytes = readFile(path);
  if (!bytes) return nullptr;
  return fromData(*bytes, scale);
}

std::shared_ptr<Image> Image::named(const std::string& name, const std::optional<std::filesystem::path>& catalogue) {
  if (name.empty() || name.find("..") != std::string::npos) return nullptr;
  std::vector<std::filesystem::path> folders;
  if (catalogue) {
    folders.push_back(*catalogue);
  } else {
    auto resources = foundation::BundleInfo::main().resourceDirectory();
    folders.push_back(resources);
    folders.push_back(resources / "Images");
  }
  for (const auto& folder : folders) {
    const std::pair<std::string, double> candidates[] = {
        {name, 1.0}, {name + ".png", 1.0}, {name + "@3x.png", 3.0}, {name + "@2x.png", 2.0}};
    for (const auto& [file, scale] : candidates) {
      if (auto image = fromFile(folder / file, scale)) return image;
    }
  }
  return nullptr;
}

std::shared_ptr<Image> Image::systemNamed(const std::string& symbolName) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSymbolPixels, kSymbolPixels);
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, kSymbolPixels, kSymbolPixels);
  cairo_set_source_rgba(cr, 0, 0, 0, 1);
  bool known = detail::drawSystemSymbol(cr, symbolName);
  cairo_destroy(cr);
  std::shared_ptr<Image> image;
  if (known) {
    image = fromPixels(kSymbolPixels, kSymbolPixels, packPixels(surface, kSymbolPixels, kSymbolPixels), 3.0);
    image->symbolName_ = symbolName;
  }
  cairo_surface_destroy(surface);
  return image;
}

std::shared_ptr<Image> Image::fromPixels(int width, int height, std::vector<std::uint32_t> pixels, double scale) {
  if (width <= 0 || height <= 0 || scale <= 0 ||
      pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    return nullptr;
  }
  std::shared_ptr<Image> image(new Image());
  image->pixelWidth_ = width;
  image->pixelHeight_ = height;
  image->scale_ = scale;
  image->pixels_ = std::make_shared<const std::vector<std::uint32_t>>(std::move(pixels));
  return image;
}

std::shared_ptr<Image> Image::withRenderingMode(RenderingMode mode) const {
  std::shared_ptr<Image> copy(new Image(*this));
  copy->mode_ = mode;
  return copy;
}

std::shared_ptr<Image> Image::withTintColor(const Color& color) const {
  std::vector<std::uint32_t> out(pixels_->size());
  for (std::size_t i = 0; i < out.size(); ++i) {
    double a = ((*pixels_)[i] >> 24) / 255.0 * std::clamp(color.alpha, 0.0, 1.0);
    auto channel = [&](double c) { return static_cast<std::uint32_t>(std::clamp(c, 0.0, 1.0) * a * 255.0 + 0.5); };
    out[i] = (static_cast<std::uint32_t>(a * 255.0 + 0.5) << 24) | (channel(color.red) << 16) |
             (channel(color.green) << 8) | channel(color.blue);
  }
  auto tinted = fromPixels(pixelWidth_, pixelHeight_, std::move(out), scale_);
  tinted->mode_ = RenderingMode::alwaysOriginal;
  return tinted;
}

bool Image::isTemplate() const {
  return mode_ == RenderingMode::alwaysTemplate || (mode_ == RenderingMode::automatic && isSymbol());
}

Color Image::pixelColor(int x, int y) const {
  if (x < 0 || y < 0 || x >= pixelWidth_ || y >= pixelHeight_) return Color::clear();
  std::uint32_t p = (*pixels_)[static_cast<std::size_t>(y) * pixelWidth_ + x];
  double a = (p >> 24) / 255.0;
  if (a <= 0) return Color::clear();
  return {((p >> 16) & 0xff) / 255.0 / a, ((p >> 8) & 0xff) / 255.0 / a, (p & 0xff) / 255.0 / a, a};
}

}  // namespace platform::ui
