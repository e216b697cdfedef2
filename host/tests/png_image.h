// A PNG read back through cairo, for tests that look at rendered pixels.
#pragma once

#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>

namespace {

struct Pixel {
  int r, g, b;
};

// A PNG read back through cairo.
class Image {
 public:
  explicit Image(const std::filesystem::path &file)
      : surface_(cairo_image_surface_create_from_png(file.c_str())) {}
  ~Image() { cairo_surface_destroy(surface_); }
  Image(const Image &) = delete;
  Image &operator=(const Image &) = delete;

  bool ok() const { return cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS; }
  int width() const { return cairo_image_surface_get_width(surface_); }
  int height() const { return cairo_image_surface_get_height(surface_); }
  Pixel at(int x, int y) const {
    const unsigned char *row =
        cairo_image_surface_get_data(surface_) + y * cairo_image_surface_get_stride(surface_);
    uint32_t v = reinterpret_cast<const uint32_t *>(row)[x];
    return {static_cast<int>((v >> 16) & 255), static_cast<int>((v >> 8) & 255),
            static_cast<int>(v & 255)};
  }
  // Pixels in [x0, x1) x [y0, y1) that satisfy the test.
  int count(int x0, int y0, int x1, int y1, const std::function<bool(Pixel)> &test) const {
    int n = 0;
    for (int y = std::max(0, y0); y < std::min(height(), y1); ++y)
      for (int x = std::max(0, x0); x < std::min(width(), x1); ++x) n += test(at(x, y));
    return n;
  }
  int count(const std::function<bool(Pixel)> &test) const {
    return count(0, 0, width(), height(), test);
  }

 private:
  cairo_surface_t *surface_;
};

}  // namespace
