// The figure renderer: a figure of the graphics store with its axes, colour bars, legends
// and controls, drawn with cairo into PNG, SVG or PDF. The parts are drawn by the files
// beside this one: axes and ticks, lines and the legend, images and the colour bar, text.
#include "host/render.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "mexrt/error.h"
#include "render/draw.h"

namespace host {
namespace render {

// ---------------------------------------------------------------------------------------
// Controls

void drawControl(const Canvas &canvas, double c) {
  cairo_t *cr = canvas.cr;
  std::optional<Box> placed = place(c, canvas.figure);
  if (!placed || !(placed->w > 0) || !(placed->h > 0) || placed->w > 1e5 || placed->h > 1e5) return;
  const Box b = *placed;
  Saved saved(cr);
  cairo_rectangle(cr, b.x, b.y, b.w, b.h);
  cairo_clip(cr);
  const std::string style = word(c, "Style");
  setColor(cr, color(c, "BackgroundColor"));
  cairo_paint(cr);
  if (!style.empty() && style != "text" && style != "frame") {
    // Other styles get an outline so that they read as controls.
    setColor(cr, Rgb{0.4, 0.4, 0.4});
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, b.x + 0.5, b.y + 0.5, b.w - 1, b.h - 1);
    cairo_stroke(cr);
  }
  TextStyle st;
  st.font = fontOf(c);
  st.color = color(c, "ForegroundColor");
  st.horizontal = word(c, "HorizontalAlignment");
  st.vertical = "top";
  const double pad = 2;
  useFont(cr, st.font);
  std::vector<std::string> text = wrap(cr, lines(c, "String"), b.w - 2 * pad);
  double x = st.horizontal == "left"    ? b.x + pad
             : st.horizontal == "right" ? b.right() - pad
                                        : b.x + b.w / 2;
  drawText(cr, text, {x, b.y + pad}, st);
}

// ---------------------------------------------------------------------------------------
// Files

enum class Format { Png, Svg, Pdf };

Format formatOf(const std::filesystem::path &out) {
  std::string ext = out.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (ext == ".png") return Format::Png;
  if (ext == ".svg") return Format::Svg;
  if (ext == ".pdf") return Format::Pdf;
  throw mexrt::Error("Cannot render a figure to '" + out.string() + "': unknown file type '" +
                     out.extension().string() + "' (use .png, .svg or .pdf).");
}

[[noreturn]] void writeError(const std::filesystem::path &out, cairo_status_t status) {
  throw mexrt::Error("Cannot write the figure file '" + out.string() +
                     "': " + cairo_status_to_string(status) + ".");
}

namespace {

constexpr double kMaxSide = 8192;  // pixels; larger figures are refused, not allocated

std::string handleText(double h) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", h);
  return buf;
}

// The figure's size in whole pixels, against the fixed screen when normalized.
std::pair<int, int> figureSize(double fig) {
  std::optional<Box> b = place(fig, Box{});
  double w = b ? std::round(b->w) : 0, h = b ? std::round(b->h) : 0;
  if (!(w >= 1) || !(h >= 1) || w > kMaxSide || h > kMaxSide)
    throw mexrt::Error("Cannot render figure " + handleText(fig) +
                       ": its Position gives no drawable size (at most " + handleText(kMaxSide) +
                       " pixels a side).");
  return {static_cast<int>(w), static_cast<int>(h)};
}

void drawFigure(const Canvas &c, double fig) {
  setColor(c.cr, color(fig, "Color"));
  cairo_paint(c.cr);
  const std::vector<double> children = g::childrenOf(fig);
  // Colour bars and legends over the axes, controls over everything, as a window system
  // puts them.
  for (g::Type type : {g::Type::Axes, g::Type::Colorbar, g::Type::Legend, g::Type::Uicontrol}) {
    for (double h : children) {
      if (g::typeOf(h) != type || !isVisible(h)) continue;
      if (type == g::Type::Axes) drawAxes(c, h);
      if (type == g::Type::Colorbar) drawColorbar(c, h);
      if (type == g::Type::Legend) drawLegend(c, h);
      if (type == g::Type::Uicontrol) drawControl(c, h);
    }
  }
}

struct SurfaceDeleter {
  void operator()(cairo_surface_t *s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
  void operator()(cairo_t *c) const { cairo_destroy(c); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;

SurfacePtr makeSurface(Format format, const std::filesystem::path &out, int w, int h) {
  switch (format) {
    case Format::Png:
      return SurfacePtr(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h));
    case Format::Svg:
      return SurfacePtr(cairo_svg_surface_create(out.c_str(), w, h));
    case Format::Pdf:
      return SurfacePtr(cairo_pdf_surface_create(out.c_str(), w, h));
  }
  return nullptr;
}

}  // namespace
}  // namespace render

using namespace render;

void renderFigure(double figureHandle, const std::filesystem::path &out, double resolution) {
  if (!std::isfinite(figureHandle) || !g::isObject(figureHandle) ||
      g::typeOf(figureHandle) != g::Type::Figure)
    throw mexrt::Error("Cannot render " + handleText(figureHandle) + ": it is not a figure.");
  const Format format = formatOf(out);
  if (!(resolution > 0 && resolution <= 2400))
    throw mexrt::Error("Cannot render figure " + handleText(figureHandle) + " at " +
                       handleText(resolution) + " dots per inch (use 1 to 2400).");
  auto [w, h] = figureSize(figureHandle);
  // A PNG has resolution / 96 image pixels per figure pixel; SVG and PDF keep the figure's
  // size in points, and their images are resampled at twice that.
  const double scale = format == Format::Png ? resolution / 96 : 1;
  const int sw = static_cast<int>(std::lround(w * scale)),
            sh = static_cast<int>(std::lround(h * scale));
  if (sw < 1 || sh < 1 || sw > 2 * kMaxSide || sh > 2 * kMaxSide)
    throw mexrt::Error("Cannot render figure " + handleText(figureHandle) + " at " +
                       handleText(resolution) + " dots per inch: the image would be " +
                       std::to_string(sw) + " x " + std::to_string(sh) + " pixels (at most " +
                       handleText(2 * kMaxSide) + " a side).");
  SurfacePtr surface = makeSurface(format, out, sw, sh);
  if (cairo_status_t st = cairo_surface_status(surface.get()); st != CAIRO_STATUS_SUCCESS)
    writeError(out, st);
  {
    ContextPtr cr(cairo_create(surface.get()));
    if (scale != 1) cairo_scale(cr.get(), scale, scale);
    const Canvas canvas{cr.get(), Box{0, 0, static_cast<double>(w), static_cast<double>(h)},
                        format == Format::Png ? scale : 2 * resolution / 96};
    drawFigure(canvas, figureHandle);
    if (cairo_status_t st = cairo_status(cr.get()); st != CAIRO_STATUS_SUCCESS) writeError(out, st);
  }
  if (format == Format::Png) {
    if (cairo_status_t st = cairo_surface_write_to_png(surface.get(), out.c_str());
        st != CAIRO_STATUS_SUCCESS)
      writeError(out, st);
    return;
  }
  cairo_surface_finish(surface.get());
  if (cairo_status_t st = cairo_surface_status(surface.get()); st != CAIRO_STATUS_SUCCESS)
    writeError(out, st);
}

std::vector<std::filesystem::path> renderAllFigures(const std::filesystem::path &dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec)
    throw mexrt::Error("Cannot write figures into '" + dir.string() + "': " + ec.message() + ".");
  std::vector<std::filesystem::path> written;
  for (double fig : g::figures()) {
    std::filesystem::path file = dir / ("figure" + handleText(fig) + ".png");
    renderFigure(fig, file);
    written.push_back(file);
  }
  return written;
}

}  // namespace host
