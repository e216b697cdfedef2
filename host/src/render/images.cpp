// The renderer's images and colour bar: the cells an image shows resampled to the device
// pixels they cover (block means when cells outnumber pixels, one pixel per cell scaled
// up otherwise), coloured through the figure's colour map.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "render/draw.h"

namespace host::render {

namespace {

struct SurfaceDeleter {
  void operator()(cairo_surface_t *s) const { cairo_surface_destroy(s); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

// A colour map as packed opaque pixels.
std::vector<uint32_t> mapPixels(double figure) {
  std::vector<double> m = numbers(figure, "Colormap");
  const size_t n = m.size() / 3;
  std::vector<uint32_t> px;
  for (size_t k = 0; k < n; ++k) {
    auto byte = [](double v) {
      return static_cast<uint32_t>(
          std::lround(std::clamp(std::isfinite(v) ? v : 0, 0.0, 1.0) * 255));
    };
    px.push_back(0xff000000u | byte(m[k]) << 16 | byte(m[n + k]) << 8 | byte(m[2 * n + k]));
  }
  if (px.empty()) px.push_back(0xff000000u);
  return px;
}

// The colour of one value: scaled between the colour limits, or a 1-based index; NaN is
// left transparent.
struct Coloring {
  const std::vector<uint32_t> *map;
  bool scaled;
  double lo, hi;
  uint32_t operator()(double v) const {
    if (std::isnan(v)) return 0;
    const double m = static_cast<double>(map->size());
    double k = scaled ? std::floor((v - lo) / (hi - lo) * m) : std::floor(v) - 1;
    if (!(k >= 0)) k = 0;  // also -Inf
    if (!(k < m)) k = m - 1;
    return (*map)[static_cast<size_t>(k)];
  }
};

// Block edges: cells [first, first + count) split into `parts` nearly equal runs.
std::vector<size_t> edges(size_t first, size_t count, size_t parts) {
  std::vector<size_t> e(parts + 1);
  for (size_t k = 0; k <= parts; ++k) e[k] = first + k * count / parts;
  return e;
}

// The cells [j0, j1) of n along one axis that a scale's limits show, for cells whose
// outer edges run from e0 in steps of d.
std::pair<size_t, size_t> visibleCells(const Scale &s, double e0, double d, size_t n) {
  double u0 = (s.lo - e0) / d, u1 = (s.hi - e0) / d;
  if (u0 > u1) std::swap(u0, u1);
  double j0 = std::clamp(std::floor(u0), 0.0, static_cast<double>(n));
  double j1 = std::clamp(std::ceil(u1), 0.0, static_cast<double>(n));
  if (!(j0 < j1)) return {0, 0};
  return {static_cast<size_t>(j0), static_cast<size_t>(j1)};
}

// Paints a w x h bitmap so that its corners land on the device points a (first row and
// column) and b (past the last), nearest-neighbour, within the current clip.
void paintBitmap(cairo_t *cr, cairo_surface_t *bitmap, int w, int h, Point a, Point b) {
  Saved saved(cr);
  cairo_translate(cr, a.x, a.y);
  cairo_scale(cr, (b.x - a.x) / w, (b.y - a.y) / h);
  cairo_set_source_surface(cr, bitmap, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_rectangle(cr, 0, 0, w, h);
  cairo_fill(cr);
}

double figureOf(double h) {
  double p = h;
  while (g::isObject(p) && g::typeOf(p) != g::Type::Figure) p = g::parentOf(p);
  return p;
}

}  // namespace

void drawImage(const Canvas &c, const Frame &f, double img) {
  ArrayPtr cdata = fetch(img, "CData");
  if (!cdata || mxGetClassID(cdata.get()) != mxDOUBLE_CLASS) return;
  const size_t rows = mxGetM(cdata.get()), cols = mxGetN(cdata.get());
  if (rows == 0 || cols == 0) return;
  const double *v = mxGetPr(cdata.get());
  std::vector<double> xs = numbers(img, "XData"), ys = numbers(img, "YData");
  if (xs.empty() || ys.empty() || !finiteAll(xs) || !finiteAll(ys)) return;
  // Cell edges: the data give the centres of the first and last cells.
  auto step = [](const std::vector<double> &s, size_t n) {
    double d = n > 1 ? (s.back() - s.front()) / static_cast<double>(n - 1) : 1;
    return d == 0 ? 1 : d;
  };
  const double dx = step(xs, cols), dy = step(ys, rows);
  const double ex = xs.front() - dx / 2, ey = ys.front() - dy / 2;
  auto [j0, j1] = visibleCells(f.x, ex, dx, cols);
  auto [i0, i1] = visibleCells(f.y, ey, dy, rows);
  if (j0 == j1 || i0 == i1) return;
  const Point a = f.toDevice(ex + static_cast<double>(j0) * dx, ey + static_cast<double>(i0) * dy);
  const Point b = f.toDevice(ex + static_cast<double>(j1) * dx, ey + static_cast<double>(i1) * dy);
  if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y))
    return;
  // As many bitmap pixels as cells, but no more than the device pixels they cover.
  auto pixels = [&](double span, size_t cells) {
    double px = std::ceil(std::min(std::abs(span) * c.imageScale, 16384.0));
    return std::max<size_t>(1, std::min(cells, static_cast<size_t>(px)));
  };
  const size_t bw = pixels(b.x - a.x, j1 - j0), bh = pixels(b.y - a.y, i1 - i0);
  const std::vector<size_t> colEdges = edges(j0, j1 - j0, bw), rowEdges = edges(i0, i1 - i0, bh);

  // Block means, NaN left out: first across the columns of each bitmap column, row by
  // row of the data (reading the data in its column order), then down the bitmap rows.
  const size_t visibleRows = i1 - i0;
  std::vector<double> sum(bw * visibleRows, 0.0);
  std::vector<uint32_t> count(bw * visibleRows, 0);
  for (size_t bx = 0; bx < bw; ++bx) {
    double *s = &sum[bx * visibleRows];
    uint32_t *n = &count[bx * visibleRows];
    for (size_t j = colEdges[bx]; j < colEdges[bx + 1]; ++j) {
      const double *col = v + j * rows + i0;
      for (size_t i = 0; i < visibleRows; ++i) {
        if (std::isnan(col[i])) continue;
        s[i] += col[i];
        ++n[i];
      }
    }
  }
  const double fig = figureOf(img);
  const std::vector<uint32_t> map = mapPixels(fig);
  std::vector<double> clim = numbers(g::parentOf(img), "CLim");
  if (clim.size() != 2 || !finiteAll(clim) || !(clim[0] < clim[1])) clim = {0, 1};
  const Coloring colorOf{&map, word(img, "CDataMapping") != "direct", clim[0], clim[1]};

  SurfacePtr bitmap(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(bw), static_cast<int>(bh)));
  if (cairo_surface_status(bitmap.get()) != CAIRO_STATUS_SUCCESS) return;
  cairo_surface_flush(bitmap.get());
  unsigned char *data = cairo_image_surface_get_data(bitmap.get());
  const int stride = cairo_image_surface_get_stride(bitmap.get());
  for (size_t by = 0; by < bh; ++by) {
    auto *out = reinterpret_cast<uint32_t *>(data + static_cast<ptrdiff_t>(by) * stride);
    for (size_t bx = 0; bx < bw; ++bx) {
      double s = 0;
      uint64_t n = 0;
      for (size_t i = rowEdges[by] - i0; i < rowEdges[by + 1] - i0; ++i) {
        s += sum[bx * visibleRows + i];
        n += count[bx * visibleRows + i];
      }
      out[bx] = colorOf(n ? s / static_cast<double>(n) : NAN);
    }
  }
  cairo_surface_mark_dirty(bitmap.get());
  paintBitmap(c.cr, bitmap.get(), static_cast<int>(bw), static_cast<int>(bh), a, b);
}

// A colour bar: the colour map from the lower colour limit at the bottom to the upper at
// the top, outlined, with ticks and labels on its right.
void drawColorbar(const Canvas &c, double bar) {
  std::vector<double> owner = numbers(bar, "Axes");
  if (owner.empty() || !g::isObject(owner[0]) || g::typeOf(owner[0]) != g::Type::Axes) return;
  std::optional<Box> placed = place(bar, c.figure);
  if (!placed || !(placed->w >= 1) || !(placed->h >= 1) || placed->w > 1e5 || placed->h > 1e5)
    return;
  const Box box = *placed, area = c.textArea();
  cairo_t *cr = c.cr;
  const std::vector<uint32_t> map = mapPixels(figureOf(bar));
  std::vector<double> clim = numbers(owner[0], "CLim");
  if (clim.size() != 2 || !finiteAll(clim) || !(clim[0] < clim[1])) clim = {0, 1};

  SurfacePtr strip(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, static_cast<int>(map.size())));
  if (cairo_surface_status(strip.get()) != CAIRO_STATUS_SUCCESS) return;
  cairo_surface_flush(strip.get());
  unsigned char *data = cairo_image_surface_get_data(strip.get());
  const int stride = cairo_image_surface_get_stride(strip.get());
  for (size_t k = 0; k < map.size(); ++k)  // the first colour at the bottom
    *reinterpret_cast<uint32_t *>(data + static_cast<ptrdiff_t>(map.size() - 1 - k) * stride) =
        map[k];
  cairo_surface_mark_dirty(strip.get());
  {
    Saved saved(cr);
    cairo_rectangle(cr, box.x, box.y, box.w, box.h);
    cairo_clip(cr);
    paintBitmap(cr, strip.get(), 1, static_cast<int>(map.size()), {box.x, box.y},
                {box.right(), box.bottom()});
  }
  const Rgb ink = color(bar, "Color");
  const Font font = fontOf(bar);
  const double height = lineHeight(cr, font);
  Scale s = fixedScale(clim[0], clim[1], box.h, 40,
                       [height](const std::vector<std::string> &) { return height; });
  Saved saved(cr);
  setColor(cr, ink);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, crisp(box.x), crisp(box.y), std::round(box.w) - 1, std::round(box.h) - 1);
  cairo_stroke(cr);
  const double tick = std::clamp(box.w * 0.2, 2.0, 5.0);
  double widest = 0;
  useFont(cr, font);
  for (size_t k = 0; k < s.ticks.size(); ++k) {
    double y = box.bottom() - (s.ticks[k] - clim[0]) / (clim[1] - clim[0]) * box.h;
    double cy = crisp(std::min(y, box.bottom() - 1));
    strokeLine(cr, {box.right() - 1 - tick, cy}, {box.right() - 1, cy});
    strokeLine(cr, {box.x, cy}, {box.x + tick, cy});
    widest = std::max(widest, textWidth(cr, s.labels[k]));
    drawText(cr, {s.labels[k]}, {box.right() + 4, y}, TextStyle{font, ink, "left", "middle", 0},
             &area);
  }
  std::vector<std::string> label = lines(bar, "Label");
  if (!label.empty()) {
    drawText(cr, label, {box.right() + 8 + widest, box.y + box.h / 2},
             TextStyle{font, ink, "center", "top", 90}, &area);
  }
}

}  // namespace host::render
