// The figure renderer: figures, axes (box, grid, ticks, limits), lines, texts and static-text
// controls of the graphics store, drawn with cairo into PNG, SVG or PDF.
#include "host/render.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "mexrt/error.h"
#include "mexrt/graphics.h"
#include "mexrt/text.h"

namespace host {
namespace {

namespace g = mexrt::graphics;

constexpr double kPixelsPerPoint = 96.0 / 72.0;
constexpr double kMaxSide = 8192;  // pixels; larger figures are refused, not allocated
const char *const kFontFamily = "sans-serif";

// ---------------------------------------------------------------------------------------
// Reading properties

struct ArrayDeleter {
  void operator()(mxArray *a) const { mxDestroyArray(a); }
};
using ArrayPtr = std::unique_ptr<mxArray, ArrayDeleter>;

// A property's value, or null when the store knows no such property for this object: the
// renderer then uses its own default, so a partly filled store still draws.
ArrayPtr fetch(double h, std::string_view name) {
  try {
    return ArrayPtr(g::property(h, name));
  } catch (const mexrt::Error &) {
    return nullptr;
  }
}

std::vector<double> numbers(double h, std::string_view name) {
  ArrayPtr a = fetch(h, name);
  if (!a || mxGetClassID(a.get()) != mxDOUBLE_CLASS) return {};
  const double *p = mxGetPr(a.get());
  return {p, p + mxGetNumberOfElements(a.get())};
}

std::optional<double> number(double h, std::string_view name) {
  std::vector<double> v = numbers(h, name);
  if (v.size() != 1 || !std::isfinite(v[0])) return std::nullopt;
  return v[0];
}

std::u16string trimRight(std::u16string s) {
  while (!s.empty() && (s.back() == u' ' || s.back() == 0)) s.pop_back();
  return s;
}

// The lines of a char property: one per row of a char matrix (trailing blanks dropped),
// and a row split again at its line breaks. Other classes give no lines.
std::vector<std::string> lines(double h, std::string_view name) {
  ArrayPtr a = fetch(h, name);
  if (!a || mxGetClassID(a.get()) != mxCHAR_CLASS || mxGetNumberOfElements(a.get()) == 0) return {};
  const mxChar *codes = mxGetChars(a.get());
  size_t rows = mxGetM(a.get());
  size_t cols = mxGetN(a.get());
  std::vector<std::string> out;
  for (size_t r = 0; r < rows; ++r) {
    std::u16string row;
    for (size_t c = 0; c < cols; ++c) row += codes[c * rows + r];
    size_t start = 0;
    for (size_t nl; (nl = row.find(u'\n', start)) != std::u16string::npos; start = nl + 1)
      out.push_back(mexrt::utf8FromCodes(trimRight(row.substr(start, nl - start))));
    out.push_back(mexrt::utf8FromCodes(trimRight(row.substr(start))));
  }
  return out;
}

// A char property as one lower-case word ("on", "normalized", ...); empty otherwise.
std::string word(double h, std::string_view name) {
  std::vector<std::string> l = lines(h, name);
  if (l.size() != 1) return {};
  std::string s = l[0];
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool isOn(double h, std::string_view name, bool fallback) {
  std::string w = word(h, name);
  return w.empty() ? fallback : w == "on";
}

bool isVisible(double h) { return isOn(h, "Visible", true); }

struct Rgb {
  double r = 0, g = 0, b = 0;
};

std::optional<Rgb> namedColor(const std::string &w) {
  static const struct {
    const char *shortName, *longName;
    Rgb rgb;
  } names[] = {{"r", "red", {1, 0, 0}},   {"g", "green", {0, 1, 0}},   {"b", "blue", {0, 0, 1}},
               {"c", "cyan", {0, 1, 1}},  {"m", "magenta", {1, 0, 1}}, {"y", "yellow", {1, 1, 0}},
               {"k", "black", {0, 0, 0}}, {"w", "white", {1, 1, 1}}};
  for (const auto &n : names)
    if (w == n.shortName || w == n.longName) return n.rgb;
  return std::nullopt;
}

// A colour property: an RGB triple in [0, 1] or a colour name; "none" (or anything
// unreadable when there is no fallback) gives nothing, so nothing is painted.
std::optional<Rgb> color(double h, std::string_view name, std::optional<Rgb> fallback) {
  std::vector<double> v = numbers(h, name);
  if (v.size() == 3 && std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); }))
    return Rgb{std::clamp(v[0], 0.0, 1.0), std::clamp(v[1], 0.0, 1.0), std::clamp(v[2], 0.0, 1.0)};
  std::string w = word(h, name);
  if (w == "none") return std::nullopt;
  if (auto named = namedColor(w)) return named;
  return fallback;
}

// ---------------------------------------------------------------------------------------
// Geometry: device boxes have their origin at the top left, y growing downwards; object
// positions are [left bottom width height] from their parent's bottom left.

struct Box {
  double x = 0, y = 0, w = 0, h = 0;
  double right() const { return x + w; }
  double bottom() const { return y + h; }
};

struct Point {
  double x = 0, y = 0;
};

bool finiteAll(const std::vector<double> &v) {
  return std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); });
}

// An object's rectangle in pixels (from the store, whatever its Units) placed in its
// parent's device box; nothing for a rectangle that is not finite.
std::optional<Box> place(double h, const Box &parent) {
  std::array<double, 4> r;
  try {
    r = g::pixelPosition(h);
  } catch (const mexrt::Error &) {
    return std::nullopt;
  }
  if (!std::all_of(r.begin(), r.end(), [](double x) { return std::isfinite(x); }))
    return std::nullopt;
  return Box{parent.x + r[0], parent.bottom() - r[1] - r[3], r[2], r[3]};
}

// Cuts the segment a-b to the box (Liang-Barsky); false when nothing of it is inside.
bool clipSegment(Point &a, Point &b, const Box &r) {
  double t0 = 0, t1 = 1, dx = b.x - a.x, dy = b.y - a.y;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a.x - r.x, r.right() - a.x, a.y - r.y, r.bottom() - a.y};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    double t = q[i] / p[i];
    if (p[i] < 0)
      t0 = std::max(t0, t);
    else
      t1 = std::min(t1, t);
    if (t0 > t1) return false;
  }
  Point a0 = a;
  a = {a0.x + t0 * dx, a0.y + t0 * dy};
  b = {a0.x + t1 * dx, a0.y + t1 * dy};
  return true;
}

// ---------------------------------------------------------------------------------------
// Axis scales: limits and tick positions

struct Scale {
  double lo = 0, hi = 1;
  std::vector<double> ticks;
  double step = 0.2;
};

// The round step (1, 2 or 5 times a power of ten) not below raw.
double niceStep(double raw) {
  if (!(raw > 0) || !std::isfinite(raw)) return 1;
  double p = std::pow(10.0, std::floor(std::log10(raw)));
  double f = raw / p;
  double m = f <= 1 + 1e-9 ? 1 : f <= 2 + 1e-9 ? 2 : f <= 5 + 1e-9 ? 5 : 10;
  return m * p;
}

// The multiples of step within [lo, hi].
std::vector<double> ticksWithin(double lo, double hi, double step) {
  std::vector<double> t;
  if (!(step > 0) || !std::isfinite(step)) return t;
  double first = std::ceil(lo / step - 1e-9);
  double last = std::floor(hi / step + 1e-9);
  if (!std::isfinite(first) || !std::isfinite(last) || last - first > 1000) return t;
  for (double k = first; k <= last; ++k) {
    double v = k * step;
    t.push_back(std::abs(v) < step * 1e-9 ? 0.0 : v);
  }
  return t;
}

// Limits and ticks for data spanning [dmin, dmax] on an axis of the given length: round
// limits that hold the data, with about one tick per spacing pixels.
Scale autoScale(double dmin, double dmax, double length, double spacing) {
  Scale s;
  if (!std::isfinite(dmin) || !std::isfinite(dmax) || dmin > dmax) dmin = 0, dmax = 1;
  if (dmin == dmax) {
    // A constant: a unit either side (relative for large values, so the two stay apart).
    double d = std::max(1.0, std::abs(dmin) * 1e-3);
    dmin -= d, dmax += d;
  }
  double count = std::max(2.0, std::floor(length / spacing));
  double step = niceStep((dmax / 2 - dmin / 2) / count * 2);
  double lo = std::floor(dmin / step) * step;
  double hi = std::ceil(dmax / step) * step;
  if (std::isfinite(lo) && std::isfinite(hi) && lo < hi) {
    s.lo = lo, s.hi = hi, s.step = step;
  } else {
    s.lo = dmin, s.hi = dmax, s.step = std::isfinite(dmax - dmin) ? dmax - dmin : 0;
  }
  s.ticks = s.step > 0 ? ticksWithin(s.lo, s.hi, s.step) : std::vector<double>{s.lo, s.hi};
  return s;
}

// The axis' scale: its XLim/XTick when their modes are manual, otherwise from the data.
Scale axisScale(double ax, char axis, double dmin, double dmax, double length, double spacing) {
  const std::string a(1, axis);
  Scale s = autoScale(dmin, dmax, length, spacing);
  std::vector<double> lim = numbers(ax, a + "Lim");
  if (word(ax, a + "LimMode") == "manual" && lim.size() == 2 && finiteAll(lim) && lim[0] < lim[1]) {
    s.lo = lim[0], s.hi = lim[1];
    double count = std::max(2.0, std::floor(length / spacing));
    s.step = niceStep((s.hi / 2 - s.lo / 2) / count * 2);
    s.ticks = ticksWithin(s.lo, s.hi, s.step);
  }
  if (word(ax, a + "TickMode") == "manual") {
    std::vector<double> t = numbers(ax, a + "Tick");
    s.ticks.clear();
    for (double v : t)
      if (std::isfinite(v) && v >= s.lo && v <= s.hi && s.ticks.size() < 1000) s.ticks.push_back(v);
  }
  return s;
}

std::string tickLabel(double v, double step) {
  char buf[64];
  double mag = std::abs(v);
  if (mag >= 1e6 || (step > 0 && step < 1e-4)) {
    std::snprintf(buf, sizeof buf, "%.6g", v);
  } else {
    int decimals =
        step >= 1 || step <= 0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    std::snprintf(buf, sizeof buf, "%.*f", std::clamp(decimals, 0, 10), v);
  }
  return buf;
}

// ---------------------------------------------------------------------------------------
// Drawing

struct SurfaceDeleter {
  void operator()(cairo_surface_t *s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
  void operator()(cairo_t *c) const { cairo_destroy(c); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;

// Saves the context's state for a scope.
class Saved {
 public:
  explicit Saved(cairo_t *cr) : cr_(cr) { cairo_save(cr_); }
  ~Saved() { cairo_restore(cr_); }
  Saved(const Saved &) = delete;
  Saved &operator=(const Saved &) = delete;

 private:
  cairo_t *cr_;
};

void setColor(cairo_t *cr, const Rgb &c, double alpha = 1) {
  cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

struct Font {
  double size = 10 * kPixelsPerPoint;  // pixels
  bool bold = false, italic = false;
};

Font fontOf(double h, double defaultPoints) {
  Font f;
  double pts = number(h, "FontSize").value_or(defaultPoints);
  if (!(pts > 0) || pts > 500) pts = defaultPoints;
  f.size = pts * kPixelsPerPoint;
  f.bold = word(h, "FontWeight") == "bold";
  std::string angle = word(h, "FontAngle");
  f.italic = angle == "italic" || angle == "oblique";
  return f;
}

void useFont(cairo_t *cr, const Font &f) {
  cairo_select_font_face(cr, kFontFamily,
                         f.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                         f.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, f.size);
}

double textWidth(cairo_t *cr, const std::string &s) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, s.c_str(), &e);
  return e.x_advance;
}

// The height of capital letters above the baseline.
double capHeight(cairo_t *cr) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, "H", &e);
  return -e.y_bearing;
}

struct TextStyle {
  Font font;
  Rgb color;
  std::string horizontal = "left";  // left, center, right
  std::string vertical = "middle";  // top, cap, middle, baseline, bottom
  double rotation = 0;              // degrees, counter-clockwise
};

// Draws lines of text anchored at a device point, aligned and rotated about it.
void drawText(cairo_t *cr, const std::vector<std::string> &text, Point at, const TextStyle &st) {
  if (text.empty()) return;
  Saved saved(cr);
  useFont(cr, st.font);
  setColor(cr, st.color);
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  const double lineHeight = fe.ascent + fe.descent;
  const double block = lineHeight * static_cast<double>(text.size());
  double top = 0;  // of the block, relative to the anchor
  if (st.vertical == "top")
    top = 0;
  else if (st.vertical == "cap")
    top = -(fe.ascent - capHeight(cr));
  else if (st.vertical == "baseline")
    top = -(block - fe.descent);
  else if (st.vertical == "bottom")
    top = -block;
  else
    top = -block / 2;
  cairo_translate(cr, at.x, at.y);
  cairo_rotate(cr, -st.rotation * M_PI / 180);
  for (size_t i = 0; i < text.size(); ++i) {
    double w = textWidth(cr, text[i]);
    double x = st.horizontal == "center" ? -w / 2 : st.horizontal == "right" ? -w : 0;
    cairo_move_to(cr, x, top + fe.ascent + lineHeight * static_cast<double>(i));
    cairo_show_text(cr, text[i].c_str());
  }
}

// A text object's own style, with alignment defaults for where it is placed.
TextStyle textStyle(double t, const std::string &horizontal, const std::string &vertical) {
  TextStyle st;
  st.font = fontOf(t, 10);
  st.color = color(t, "Color", Rgb{}).value_or(Rgb{});
  std::string ha = word(t, "HorizontalAlignment");
  std::string va = word(t, "VerticalAlignment");
  st.horizontal = ha == "left" || ha == "center" || ha == "right" ? ha : horizontal;
  st.vertical = va == "top" || va == "cap" || va == "middle" || va == "baseline" || va == "bottom"
                    ? va
                    : vertical;
  st.rotation = number(t, "Rotation").value_or(0);
  return st;
}

// Greedy word wrap of each line to the width.
std::vector<std::string> wrap(cairo_t *cr, const std::vector<std::string> &text, double width) {
  std::vector<std::string> out;
  for (const std::string &line : text) {
    std::string current;
    size_t i = 0;
    while (i < line.size()) {
      size_t start = line.find_first_not_of(' ', i);
      if (start == std::string::npos) break;
      size_t end = line.find(' ', start);
      if (end == std::string::npos) end = line.size();
      std::string piece = line.substr(start, end - start);
      std::string trial = current;
      if (!trial.empty()) trial += ' ';
      trial += piece;
      if (!current.empty() && textWidth(cr, trial) > width) {
        out.push_back(current);
        current = piece;
      } else {
        current = trial;
      }
      i = end;
    }
    out.push_back(current);
  }
  return out;
}

// ---------------------------------------------------------------------------------------
// Axes

struct Frame {
  Box box;  // the plot area on the device
  Scale x, y;
  Point toDevice(double dx, double dy) const {
    // Halved so that limits near the largest doubles do not overflow their difference.
    return {box.x + (dx / 2 - x.lo / 2) / (x.hi / 2 - x.lo / 2) * box.w,
            box.bottom() - (dy / 2 - y.lo / 2) / (y.hi / 2 - y.lo / 2) * box.h};
  }
};

struct Series {
  double line;
  std::vector<double> x, y;
};

std::vector<Series> linesOf(double ax) {
  std::vector<Series> out;
  for (double c : g::childrenOf(ax)) {
    if (g::typeOf(c) != g::Type::Line || !isVisible(c)) continue;
    Series s{c, numbers(c, "XData"), numbers(c, "YData")};
    size_t n = std::min(s.x.size(), s.y.size());
    s.x.resize(n);
    s.y.resize(n);
    out.push_back(std::move(s));
  }
  return out;
}

// The finite range of one coordinate over all series' points whose both coordinates are finite.
std::pair<double, double> dataRange(const std::vector<Series> &all, bool ofX) {
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (const Series &s : all)
    for (size_t i = 0; i < s.x.size(); ++i) {
      if (!std::isfinite(s.x[i]) || !std::isfinite(s.y[i])) continue;
      double v = ofX ? s.x[i] : s.y[i];
      lo = std::min(lo, v), hi = std::max(hi, v);
    }
  return {lo, hi};
}

void setDash(cairo_t *cr, const std::string &style, double width) {
  if (style == "--") {
    const double d[] = {6 * width, 4 * width};
    cairo_set_dash(cr, d, 2, 0);
  } else if (style == ":") {
    const double d[] = {width, 3 * width};
    cairo_set_dash(cr, d, 2, 0);
  } else if (style == "-.") {
    const double d[] = {6 * width, 3 * width, width, 3 * width};
    cairo_set_dash(cr, d, 4, 0);
  }
}

// The outline of one marker of the given size (pixels) centred on p; "." is a filled dot.
void markerPath(cairo_t *cr, const std::string &marker, Point p, double size) {
  const double r = size / 2;
  auto poly = [&](std::initializer_list<Point> pts) {
    bool first = true;
    for (Point q : pts) {
      if (first)
        cairo_move_to(cr, p.x + q.x * r, p.y + q.y * r);
      else
        cairo_line_to(cr, p.x + q.x * r, p.y + q.y * r);
      first = false;
    }
    cairo_close_path(cr);
  };
  auto cross = [&](double k) {
    cairo_move_to(cr, p.x - k * r, p.y - k * r);
    cairo_line_to(cr, p.x + k * r, p.y + k * r);
    cairo_move_to(cr, p.x - k * r, p.y + k * r);
    cairo_line_to(cr, p.x + k * r, p.y - k * r);
  };
  auto plus = [&] {
    cairo_move_to(cr, p.x - r, p.y);
    cairo_line_to(cr, p.x + r, p.y);
    cairo_move_to(cr, p.x, p.y - r);
    cairo_line_to(cr, p.x, p.y + r);
  };
  if (marker == "+")
    plus();
  else if (marker == "x")
    cross(0.75);
  else if (marker == "*")
    plus(), cross(0.7);
  else if (marker == "o")
    cairo_new_sub_path(cr), cairo_arc(cr, p.x, p.y, r, 0, 2 * M_PI);
  else if (marker == "square")
    poly({{-1, -1}, {1, -1}, {1, 1}, {-1, 1}});
  else if (marker == "diamond")
    poly({{0, -1}, {1, 0}, {0, 1}, {-1, 0}});
  else if (marker == "^")
    poly({{0, -1}, {1, 1}, {-1, 1}});
  else if (marker == "v")
    poly({{0, 1}, {1, -1}, {-1, -1}});
  else if (marker == ">")
    poly({{1, 0}, {-1, 1}, {-1, -1}});
  else if (marker == "<")
    poly({{-1, 0}, {1, 1}, {1, -1}});
}

void drawMarkers(cairo_t *cr, const Frame &f, const Series &s, const Rgb &c) {
  const std::string marker = word(s.line, "Marker");
  if (marker.empty() || marker == "none") return;
  double size = std::clamp(number(s.line, "MarkerSize").value_or(6), 1.0, 100.0) * kPixelsPerPoint;
  if (marker == ".") size /= 3;
  Saved saved(cr);
  setColor(cr, c);
  cairo_set_line_width(cr, 1);
  for (size_t i = 0; i < s.x.size(); ++i) {
    if (!std::isfinite(s.x[i]) || !std::isfinite(s.y[i])) continue;
    Point p = f.toDevice(s.x[i], s.y[i]);
    if (!(p.x >= f.box.x - size && p.x <= f.box.right() + size && p.y >= f.box.y - size &&
          p.y <= f.box.bottom() + size))
      continue;
    if (marker == ".") {
      cairo_new_sub_path(cr);
      cairo_arc(cr, p.x, p.y, size / 2, 0, 2 * M_PI);
      cairo_fill(cr);
      continue;
    }
    markerPath(cr, marker, p, size);
    cairo_stroke(cr);
  }
}

void drawSeries(cairo_t *cr, const Frame &f, const Series &s) {
  std::optional<Rgb> c = color(s.line, "Color", Rgb{0, 0, 1});
  if (!c) return;
  drawMarkers(cr, f, s, *c);
  std::string style = word(s.line, "LineStyle");
  if (style == "none" || s.x.size() < 2) return;
  double width = std::max(1.0, number(s.line, "LineWidth").value_or(0.5) * kPixelsPerPoint);
  width = std::min(width, 100.0);
  Saved saved(cr);
  setColor(cr, *c);
  cairo_set_line_width(cr, width);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  setDash(cr, style, width);
  // Segments are cut to a margin around the plot area before cairo sees them, so far-off
  // or huge coordinates never reach its fixed-point arithmetic; NaN and Inf break the line.
  const double m = 2 * width;
  const Box reach{f.box.x - m, f.box.y - m, f.box.w + 2 * m, f.box.h + 2 * m};
  bool open = false;
  Point last;
  for (size_t i = 1; i < s.x.size(); ++i) {
    if (!std::isfinite(s.x[i - 1]) || !std::isfinite(s.y[i - 1]) || !std::isfinite(s.x[i]) ||
        !std::isfinite(s.y[i])) {
      open = false;
      continue;
    }
    Point a = f.toDevice(s.x[i - 1], s.y[i - 1]), b = f.toDevice(s.x[i], s.y[i]);
    if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y) ||
        !clipSegment(a, b, reach)) {
      open = false;
      continue;
    }
    if (!open || a.x != last.x || a.y != last.y) cairo_move_to(cr, a.x, a.y);
    cairo_line_to(cr, b.x, b.y);
    open = true;
    last = b;
  }
  cairo_stroke(cr);
}

// The handle an axes property names when it is a text object of these axes' figure.
std::optional<double> attachedText(double ax, std::string_view name) {
  std::optional<double> t = number(ax, name);
  if (!t || !g::isObject(*t) || g::typeOf(*t) != g::Type::Text) return std::nullopt;
  return t;
}

// Tick marks, tick labels, grid and box, in the axis colours.
struct AxisDecor {
  Rgb xColor, yColor;
  bool box = false, xGrid = false, yGrid = false, tickOut = false;
  std::string gridStyle = ":";
  double lineWidth = 1;  // pixels, of the box and ticks
  double tickLength = 5;
  double xLabelsBottom = 0;  // device y below the x tick labels
  double yLabelsLeft = 0;    // device x left of the y tick labels
};

void strokeLine(cairo_t *cr, Point a, Point b) {
  cairo_move_to(cr, a.x, a.y);
  cairo_line_to(cr, b.x, b.y);
  cairo_stroke(cr);
}

// Device coordinates nudged to pixel centres so that 1-pixel lines stay crisp.
double crisp(double v) { return std::floor(v) + 0.5; }

void drawGrid(cairo_t *cr, const Frame &f, const AxisDecor &d) {
  if (d.gridStyle == "none") return;
  Saved saved(cr);
  cairo_set_line_width(cr, 1);
  if (d.gridStyle == ":") {
    const double dots[] = {1, 3};
    cairo_set_dash(cr, dots, 2, 0);
  } else {
    setDash(cr, d.gridStyle, 1);
  }
  if (d.xGrid) {
    setColor(cr, d.xColor, 0.45);
    for (double t : f.x.ticks) {
      double x = crisp(f.toDevice(t, 0).x);
      strokeLine(cr, {x, f.box.y}, {x, f.box.bottom()});
    }
  }
  if (d.yGrid) {
    setColor(cr, d.yColor, 0.45);
    for (double t : f.y.ticks) {
      double y = crisp(f.toDevice(0, t).y);
      strokeLine(cr, {f.box.x, y}, {f.box.right(), y});
    }
  }
}

void drawTicksAndBox(cairo_t *cr, const Frame &f, AxisDecor &d, const Font &font) {
  Saved saved(cr);
  cairo_set_line_width(cr, d.lineWidth);
  const double l = crisp(f.box.x), r = crisp(f.box.right() - 1);
  const double t = crisp(f.box.y), b = crisp(f.box.bottom() - 1);
  const double in = d.tickOut ? -d.tickLength : d.tickLength;
  setColor(cr, d.xColor);
  strokeLine(cr, {l - 0.5, b}, {r + 0.5, b});
  if (d.box) strokeLine(cr, {l - 0.5, t}, {r + 0.5, t});
  for (double v : f.x.ticks) {
    double x = crisp(std::min(f.toDevice(v, 0).x, f.box.right() - 1));
    strokeLine(cr, {x, b}, {x, b - in});
    if (d.box) strokeLine(cr, {x, t}, {x, t + in});
  }
  setColor(cr, d.yColor);
  strokeLine(cr, {l, t - 0.5}, {l, b + 0.5});
  if (d.box) strokeLine(cr, {r, t - 0.5}, {r, b + 0.5});
  for (double v : f.y.ticks) {
    double y = crisp(std::min(f.toDevice(0, v).y, f.box.bottom() - 1));
    strokeLine(cr, {l, y}, {l + in, y});
    if (d.box) strokeLine(cr, {r, y}, {r - in, y});
  }

  // Labels outside the box, clear of outward ticks.
  const double gap = 3 + (d.tickOut ? d.tickLength : 0);
  useFont(cr, font);
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  TextStyle xs{font, d.xColor, "center", "top", 0};
  for (double v : f.x.ticks)
    drawText(cr, {tickLabel(v, f.x.step)}, {f.toDevice(v, 0).x, f.box.bottom() + gap}, xs);
  d.xLabelsBottom = f.box.bottom() + gap + (f.x.ticks.empty() ? 0 : fe.ascent + fe.descent);
  TextStyle ys{font, d.yColor, "right", "middle", 0};
  double widest = 0;
  for (double v : f.y.ticks) {
    std::string s = tickLabel(v, f.y.step);
    widest = std::max(widest, textWidth(cr, s));
    drawText(cr, {s}, {f.box.x - gap, f.toDevice(0, v).y}, ys);
  }
  d.yLabelsLeft = f.box.x - gap - widest;
}

// Title above the box, x label below the tick labels, y label left of them; the z axis
// is not drawn in this two-dimensional view, nor its label.
void drawAxisTexts(cairo_t *cr, double ax, const Frame &f, const AxisDecor &d) {
  const double cx = f.box.x + f.box.w / 2, cy = f.box.y + f.box.h / 2;
  if (auto t = attachedText(ax, "Title"); t && isVisible(*t)) {
    TextStyle st = textStyle(*t, "center", "bottom");
    st.horizontal = "center", st.vertical = "bottom", st.rotation = 0;
    drawText(cr, lines(*t, "String"), {cx, f.box.y - 5}, st);
  }
  if (auto t = attachedText(ax, "XLabel"); t && isVisible(*t)) {
    TextStyle st = textStyle(*t, "center", "top");
    st.horizontal = "center", st.vertical = "top", st.rotation = 0;
    drawText(cr, lines(*t, "String"), {cx, d.xLabelsBottom + 3}, st);
  }
  if (auto t = attachedText(ax, "YLabel"); t && isVisible(*t)) {
    TextStyle st = textStyle(*t, "center", "bottom");
    st.horizontal = "center", st.vertical = "bottom", st.rotation = 90;
    drawText(cr, lines(*t, "String"), {d.yLabelsLeft - 5, cy}, st);
  }
}

// Texts of the axes that are not its title or labels, at their Position (data units
// unless their Units say otherwise).
void drawFreeTexts(cairo_t *cr, double ax, const Frame &f) {
  std::set<double> attached;
  for (const char *name : {"Title", "XLabel", "YLabel", "ZLabel"})
    if (auto t = attachedText(ax, name)) attached.insert(*t);
  for (double t : g::childrenOf(ax)) {
    if (g::typeOf(t) != g::Type::Text || attached.count(t) || !isVisible(t)) continue;
    std::vector<double> p = numbers(t, "Position");
    if (p.size() < 2 || !std::isfinite(p[0]) || !std::isfinite(p[1])) continue;
    std::string units = word(t, "Units");
    Point at;
    if (units == "normalized")
      at = {f.box.x + p[0] * f.box.w, f.box.bottom() - p[1] * f.box.h};
    else if (units == "pixels")
      at = {f.box.x + p[0], f.box.bottom() - p[1]};
    else
      at = f.toDevice(p[0], p[1]);
    if (!std::isfinite(at.x) || !std::isfinite(at.y) || std::abs(at.x) > 1e6 ||
        std::abs(at.y) > 1e6)
      continue;
    drawText(cr, lines(t, "String"), at, textStyle(t, "left", "middle"));
  }
}

void drawAxes(cairo_t *cr, double ax, const Box &figure) {
  std::optional<Box> placed = place(ax, figure);
  if (!placed || !(placed->w >= 1) || !(placed->h >= 1) || placed->w > 1e5 || placed->h > 1e5)
    return;
  Frame f;
  f.box = *placed;
  std::vector<Series> all = linesOf(ax);
  auto [xmin, xmax] = dataRange(all, true);
  auto [ymin, ymax] = dataRange(all, false);
  f.x = axisScale(ax, 'X', xmin, xmax, f.box.w, 70);
  f.y = axisScale(ax, 'Y', ymin, ymax, f.box.h, 40);

  AxisDecor d;
  d.xColor = color(ax, "XColor", Rgb{}).value_or(Rgb{});
  d.yColor = color(ax, "YColor", Rgb{}).value_or(Rgb{});
  d.box = isOn(ax, "Box", false);
  d.xGrid = isOn(ax, "XGrid", false);
  d.yGrid = isOn(ax, "YGrid", false);
  d.tickOut = word(ax, "TickDir") == "out";
  if (std::string gs = word(ax, "GridLineStyle"); !gs.empty()) d.gridStyle = gs;
  d.lineWidth =
      std::clamp(std::round(number(ax, "LineWidth").value_or(0.5) * kPixelsPerPoint), 1.0, 10.0);
  d.tickLength = std::clamp(std::max(f.box.w, f.box.h) * 0.01, 3.0, 8.0);

  if (auto bg = color(ax, "Color", Rgb{1, 1, 1})) {
    Saved saved(cr);
    setColor(cr, *bg);
    cairo_rectangle(cr, f.box.x, f.box.y, f.box.w, f.box.h);
    cairo_fill(cr);
  }
  drawGrid(cr, f, d);
  {
    Saved saved(cr);
    cairo_rectangle(cr, f.box.x, f.box.y, f.box.w, f.box.h);
    cairo_clip(cr);
    for (const Series &s : all) drawSeries(cr, f, s);
  }
  drawTicksAndBox(cr, f, d, fontOf(ax, 10));
  drawAxisTexts(cr, ax, f, d);
  drawFreeTexts(cr, ax, f);
}

// ---------------------------------------------------------------------------------------
// Controls

void drawControl(cairo_t *cr, double c, const Box &figure) {
  std::optional<Box> placed = place(c, figure);
  if (!placed || !(placed->w > 0) || !(placed->h > 0) || placed->w > 1e5 || placed->h > 1e5) return;
  const Box b = *placed;
  Saved saved(cr);
  cairo_rectangle(cr, b.x, b.y, b.w, b.h);
  cairo_clip(cr);
  const std::string style = word(c, "Style");
  if (auto bg = color(c, "BackgroundColor", Rgb{0.8, 0.8, 0.8})) {
    setColor(cr, *bg);
    cairo_paint(cr);
  }
  if (!style.empty() && style != "text" && style != "frame") {
    // Other styles get an outline so that they read as controls.
    setColor(cr, Rgb{0.4, 0.4, 0.4});
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, b.x + 0.5, b.y + 0.5, b.w - 1, b.h - 1);
    cairo_stroke(cr);
  }
  TextStyle st;
  st.font = fontOf(c, 8);
  st.color = color(c, "ForegroundColor", Rgb{}).value_or(Rgb{});
  std::string ha = word(c, "HorizontalAlignment");
  st.horizontal = ha == "left" || ha == "right" ? ha : "center";
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

std::string handleText(double h) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", h);
  return buf;
}

// The figure's size in whole pixels, against the fixed screen when normalized.
std::pair<int, int> figureSize(double fig) {
  std::optional<Box> b = place(fig, Box{});
  double w = b ? std::round(b->w) : 560, h = b ? std::round(b->h) : 420;
  if (!(w >= 1) || !(h >= 1) || w > kMaxSide || h > kMaxSide)
    throw mexrt::Error("Cannot render figure " + handleText(fig) +
                       ": its Position gives no drawable size (at most " + handleText(kMaxSide) +
                       " pixels a side).");
  return {static_cast<int>(w), static_cast<int>(h)};
}

void drawFigure(cairo_t *cr, double fig, int width, int height) {
  const Box area{0, 0, static_cast<double>(width), static_cast<double>(height)};
  setColor(cr, color(fig, "Color", Rgb{0.8, 0.8, 0.8}).value_or(Rgb{1, 1, 1}));
  cairo_paint(cr);
  const std::vector<double> children = g::childrenOf(fig);
  // Controls are drawn over the axes, as a window system puts them.
  for (double c : children)
    if (g::typeOf(c) == g::Type::Axes && isVisible(c)) drawAxes(cr, c, area);
  for (double c : children)
    if (g::typeOf(c) == g::Type::Uicontrol && isVisible(c)) drawControl(cr, c, area);
}

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

void renderFigure(double figureHandle, const std::filesystem::path &out, double /*resolution*/) {
  if (!std::isfinite(figureHandle) || !g::isObject(figureHandle) ||
      g::typeOf(figureHandle) != g::Type::Figure)
    throw mexrt::Error("Cannot render " + handleText(figureHandle) + ": it is not a figure.");
  const Format format = formatOf(out);
  auto [w, h] = figureSize(figureHandle);
  SurfacePtr surface = makeSurface(format, out, w, h);
  if (cairo_status_t st = cairo_surface_status(surface.get()); st != CAIRO_STATUS_SUCCESS)
    writeError(out, st);
  {
    ContextPtr cr(cairo_create(surface.get()));
    drawFigure(cr.get(), figureHandle, w, h);
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
