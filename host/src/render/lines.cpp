// The renderer's lines: segments cut to the plot area (NaN breaks a line, an infinite
// coordinate runs to the edge), dash patterns, markers, and the legend that shows them.
#include <algorithm>
#include <cmath>

#include "render/draw.h"

namespace host::render {

namespace {

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

// How a line is drawn: its colour, style, width and marker.
struct Pen {
  Rgb color;
  std::string style, marker;
  double width = 1, markerSize = 8;
};

Pen penOf(double line) {
  Pen p;
  p.color = color(line, "Color");
  p.style = word(line, "LineStyle");
  p.marker = word(line, "Marker");
  p.width = std::clamp(number(line, "LineWidth") * kPixelsPerPoint, 1.0, 100.0);
  p.markerSize = std::clamp(number(line, "MarkerSize"), 1.0, 100.0) * kPixelsPerPoint;
  if (p.marker == ".") p.markerSize /= 3;
  return p;
}

void drawMarker(cairo_t *cr, const Pen &pen, Point p) {
  if (pen.marker == ".") {
    cairo_new_sub_path(cr);
    cairo_arc(cr, p.x, p.y, pen.markerSize / 2, 0, 2 * M_PI);
    cairo_fill(cr);
    return;
  }
  markerPath(cr, pen.marker, p, pen.markerSize);
  cairo_stroke(cr);
}

void drawMarkers(cairo_t *cr, const Frame &f, const std::vector<double> &x,
                 const std::vector<double> &y, const Pen &pen) {
  if (pen.marker.empty() || pen.marker == "none") return;
  const double size = pen.markerSize;
  Saved saved(cr);
  setColor(cr, pen.color);
  cairo_set_line_width(cr, 1);
  for (size_t i = 0; i < x.size(); ++i) {
    if (!std::isfinite(x[i]) || !std::isfinite(y[i])) continue;
    Point p = f.toDevice(x[i], y[i]);
    if (!(p.x >= f.box.x - size && p.x <= f.box.right() + size && p.y >= f.box.y - size &&
          p.y <= f.box.bottom() + size))
      continue;
    drawMarker(cr, pen, p);
  }
}

// Where a coordinate falls along an axis of `length` pixels as a fraction of it: an
// infinite value lies just beyond the edge on its side (`beyond` pixels), so that a segment
// to it runs to the edge and is cut there.
double along(const Frame &f, const Scale &s, double v, double length, double beyond) {
  if (std::isinf(v)) {
    double t = v > 0 ? 1 + beyond / length : -beyond / length;
    return s.reverse ? 1 - t : t;
  }
  return f.fraction(s, v);
}

void strokeWith(cairo_t *cr, const Pen &pen) {
  setColor(cr, pen.color);
  cairo_set_line_width(cr, pen.width);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  setDash(cr, pen.style, pen.width);
}

}  // namespace

void drawLine(cairo_t *cr, const Frame &f, double line) {
  std::vector<double> x = numbers(line, "XData"), y = numbers(line, "YData");
  const size_t n = std::min(x.size(), y.size());
  x.resize(n), y.resize(n);
  const Pen pen = penOf(line);
  drawMarkers(cr, f, x, y, pen);
  if (pen.style == "none" || n < 2) return;
  Saved saved(cr);
  strokeWith(cr, pen);
  // Segments are cut to a margin around the plot area before cairo sees them, so far-off
  // or huge coordinates never reach its fixed-point arithmetic. NaN (and a value a log
  // axis cannot show) breaks the line; a segment between two infinite points is left out.
  const double m = 2 * pen.width;
  const Box reach{f.box.x - m, f.box.y - m, f.box.w + 2 * m, f.box.h + 2 * m};
  auto device = [&](size_t i) {
    return Point{f.box.x + along(f, f.x, x[i], f.box.w, m + 1) * f.box.w,
                 f.box.bottom() - along(f, f.y, y[i], f.box.h, m + 1) * f.box.h};
  };
  auto finitePoint = [&](size_t i) { return std::isfinite(x[i]) && std::isfinite(y[i]); };
  bool open = false;
  Point last;
  for (size_t i = 1; i < n; ++i) {
    Point a = device(i - 1), b = device(i);
    if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y) ||
        (!finitePoint(i - 1) && !finitePoint(i)) || !clipSegment(a, b, reach)) {
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

// The legend: a box in a corner of its axes with, for each entry, a short stretch of the
// line as drawn (style, colour, marker) and its text.
void drawLegend(const Canvas &c, double legend) {
  std::vector<double> owner = numbers(legend, "Axes");
  if (owner.empty() || !g::isObject(owner[0]) || g::typeOf(owner[0]) != g::Type::Axes ||
      !isVisible(owner[0]))
    return;
  std::optional<Frame> frame = frameOf(c, owner[0]);
  if (!frame) return;
  const Frame &f = *frame;
  std::vector<std::string> text = lines(legend, "String");
  std::vector<double> plotted = numbers(legend, "PlotChildren");
  struct Entry {
    Pen pen;
    std::string text;
  };
  std::vector<Entry> entries;
  for (size_t k = 0; k < plotted.size() && k < text.size(); ++k) {
    double h = plotted[k];
    if (!g::isObject(h) || g::typeOf(h) != g::Type::Line || !isVisible(h)) continue;
    entries.push_back({penOf(h), text[k]});
  }
  if (entries.empty()) return;
  cairo_t *cr = c.cr;
  Saved saved(cr);
  const Font font = fontOf(legend);
  useFont(cr, font);
  const double rowHeight = lineHeight(cr, font) + 2, pad = 5, sample = 28;
  double widest = 0;
  for (const Entry &e : entries) widest = std::max(widest, textWidth(cr, e.text));
  const double w = std::min(pad + sample + pad + widest + pad, f.box.w);
  const double h = std::min(2 * pad + rowHeight * static_cast<double>(entries.size()), f.box.h);
  const double inset = 8;
  std::string where = word(legend, "Location");
  if (where == "best") {
    // The corner over the fewest points of the axes' lines.
    const char *corners[] = {"northeast", "northwest", "southwest", "southeast"};
    size_t fewest = SIZE_MAX;
    for (const char *corner : corners) {
      bool north = corner[0] == 'n', east = std::string(corner).find("east") != std::string::npos;
      Box b{east ? f.box.right() - inset - w : f.box.x + inset,
            north ? f.box.y + inset : f.box.bottom() - inset - h, w, h};
      size_t covered = 0;
      for (double l : g::childrenOf(owner[0])) {
        if (g::typeOf(l) != g::Type::Line) continue;
        std::vector<double> x = numbers(l, "XData"), y = numbers(l, "YData");
        for (size_t i = 0; i < std::min(x.size(), y.size()); ++i) {
          Point p = f.toDevice(x[i], y[i]);
          covered += p.x >= b.x && p.x <= b.right() && p.y >= b.y && p.y <= b.bottom();
        }
      }
      if (covered < fewest) fewest = covered, where = corner;
    }
  }
  const bool north = where.rfind("north", 0) == 0, south = where.rfind("south", 0) == 0;
  const bool east = where.find("east") != std::string::npos;
  const bool west = where.find("west") != std::string::npos;
  const double x = east   ? f.box.right() - inset - w
                   : west ? f.box.x + inset
                          : f.box.x + (f.box.w - w) / 2;
  const double y = north   ? f.box.y + inset
                   : south ? f.box.bottom() - inset - h
                           : f.box.y + (f.box.h - h) / 2;
  setColor(cr, color(legend, "Color"));
  cairo_rectangle(cr, x, y, w, h);
  cairo_fill(cr);
  if (isOn(legend, "Box")) {
    setColor(cr, color(legend, "EdgeColor"));
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, crisp(x), crisp(y), std::round(w) - 1, std::round(h) - 1);
    cairo_stroke(cr);
  }
  cairo_rectangle(cr, x, y, w, h);
  cairo_clip(cr);
  const Rgb ink = color(legend, "TextColor");
  for (size_t k = 0; k < entries.size(); ++k) {
    const Entry &e = entries[k];
    const double cy = y + pad + rowHeight * (static_cast<double>(k) + 0.5);
    if (e.pen.style != "none") {
      Saved pen(cr);
      strokeWith(cr, e.pen);
      strokeLine(cr, {x + pad, cy}, {x + pad + sample, cy});
    }
    if (!e.pen.marker.empty() && e.pen.marker != "none") {
      Saved pen(cr);
      setColor(cr, e.pen.color);
      cairo_set_line_width(cr, 1);
      drawMarker(cr, e.pen, {x + pad + sample / 2, cy});
    }
    drawText(cr, {e.text}, {x + 2 * pad + sample, cy}, TextStyle{font, ink, "left", "middle", 0});
  }
}

}  // namespace host::render
