// The renderer's axes: the plot box and its scales, grid, ticks and tick labels, box, title
// and axis labels, free texts, and the lines and images inside, in the order they were made.
#include <algorithm>
#include <cmath>
#include <set>

#include "render/draw.h"

namespace host::render {

namespace {

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
  std::string gridStyle;
  double lineWidth = 1;  // pixels, of the box and ticks
  double tickLength = 5;
  double xLabelsBottom = 0;  // device y below the x tick labels
  double yLabelsLeft = 0;    // device x left of the y tick labels
};

double xAt(const Frame &f, double v) { return f.box.x + f.fraction(f.x, v) * f.box.w; }
double yAt(const Frame &f, double v) { return f.box.bottom() - f.fraction(f.y, v) * f.box.h; }

void setGridDash(cairo_t *cr, const std::string &style) {
  if (style == ":") {
    const double dots[] = {1, 3};
    cairo_set_dash(cr, dots, 2, 0);
  } else if (style == "--") {
    const double d[] = {6, 4};
    cairo_set_dash(cr, d, 2, 0);
  } else if (style == "-.") {
    const double d[] = {6, 3, 1, 3};
    cairo_set_dash(cr, d, 4, 0);
  }
}

void drawGrid(cairo_t *cr, const Frame &f, const AxisDecor &d) {
  if (d.gridStyle == "none") return;
  Saved saved(cr);
  cairo_set_line_width(cr, 1);
  setGridDash(cr, d.gridStyle);
  if (d.xGrid) {
    setColor(cr, d.xColor, 0.45);
    for (double t : f.x.ticks) {
      double x = crisp(xAt(f, t));
      strokeLine(cr, {x, f.box.y}, {x, f.box.bottom()});
    }
  }
  if (d.yGrid) {
    setColor(cr, d.yColor, 0.45);
    for (double t : f.y.ticks) {
      double y = crisp(yAt(f, t));
      strokeLine(cr, {f.box.x, y}, {f.box.right(), y});
    }
  }
}

void drawTicksAndBox(const Canvas &c, const Frame &f, AxisDecor &d, const Font &font) {
  cairo_t *cr = c.cr;
  const Box area = c.textArea();
  Saved saved(cr);
  cairo_set_line_width(cr, d.lineWidth);
  const double l = crisp(f.box.x), r = crisp(f.box.right() - 1);
  const double t = crisp(f.box.y), b = crisp(f.box.bottom() - 1);
  const double in = d.tickOut ? -d.tickLength : d.tickLength;
  setColor(cr, d.xColor);
  strokeLine(cr, {l - 0.5, b}, {r + 0.5, b});
  if (d.box) strokeLine(cr, {l - 0.5, t}, {r + 0.5, t});
  for (double v : f.x.ticks) {
    double x = crisp(std::min(xAt(f, v), f.box.right() - 1));
    strokeLine(cr, {x, b}, {x, b - in});
    if (d.box) strokeLine(cr, {x, t}, {x, t + in});
  }
  setColor(cr, d.yColor);
  strokeLine(cr, {l, t - 0.5}, {l, b + 0.5});
  if (d.box) strokeLine(cr, {r, t - 0.5}, {r, b + 0.5});
  for (double v : f.y.ticks) {
    double y = crisp(std::min(yAt(f, v), f.box.bottom() - 1));
    strokeLine(cr, {l, y}, {l + in, y});
    if (d.box) strokeLine(cr, {r, y}, {r - in, y});
  }

  // Labels outside the box, clear of outward ticks, kept inside the figure.
  const double gap = 3 + (d.tickOut ? d.tickLength : 0);
  useFont(cr, font);
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  TextStyle xs{font, d.xColor, "center", "top", 0};
  for (size_t k = 0; k < f.x.ticks.size(); ++k) {
    if (f.x.labels[k].empty()) continue;
    drawText(cr, {f.x.labels[k]}, {xAt(f, f.x.ticks[k]), f.box.bottom() + gap}, xs, &area);
  }
  d.xLabelsBottom = f.box.bottom() + gap + (f.x.ticks.empty() ? 0 : fe.ascent + fe.descent);
  TextStyle ys{font, d.yColor, "right", "middle", 0};
  double widest = 0;
  for (size_t k = 0; k < f.y.ticks.size(); ++k) {
    const std::string &s = f.y.labels[k];
    if (s.empty()) continue;
    widest = std::max(widest, textWidth(cr, s));
    drawText(cr, {s}, {f.box.x - gap, yAt(f, f.y.ticks[k])}, ys, &area);
  }
  d.yLabelsLeft = f.box.x - gap - widest;
}

// Title above the box, x label below the tick labels, y label left of them; the z axis
// is not drawn in this two-dimensional view, nor its label.
void drawAxisTexts(const Canvas &c, double ax, const Frame &f, const AxisDecor &d) {
  const Box area = c.textArea();
  const double cx = f.box.x + f.box.w / 2, cy = f.box.y + f.box.h / 2;
  if (auto t = attachedText(ax, "Title"); t && isVisible(*t)) {
    TextStyle st = textStyle(*t);
    st.horizontal = "center", st.vertical = "bottom", st.rotation = 0;
    drawText(c.cr, lines(*t, "String"), {cx, f.box.y - 5}, st, &area);
  }
  if (auto t = attachedText(ax, "XLabel"); t && isVisible(*t)) {
    TextStyle st = textStyle(*t);
    st.horizontal = "center", st.vertical = "top", st.rotation = 0;
    drawText(c.cr, lines(*t, "String"), {cx, d.xLabelsBottom + 3}, st, &area);
  }
  if (auto t = attachedText(ax, "YLabel"); t && isVisible(*t)) {
    TextStyle st = textStyle(*t);
    st.horizontal = "center", st.vertical = "bottom", st.rotation = 90;
    drawText(c.cr, lines(*t, "String"), {d.yLabelsLeft - 5, cy}, st, &area);
  }
}

// Texts of the axes that are not its title or labels, at their Position (data units
// unless their Units say otherwise).
void drawFreeTexts(const Canvas &c, double ax, const Frame &f) {
  const Box area = c.textArea();
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
    drawText(c.cr, lines(t, "String"), at, textStyle(t), &area);
  }
}

}  // namespace

std::optional<Frame> frameOf(const Canvas &c, double ax) {
  std::optional<Box> placed = place(ax, c.figure);
  if (!placed || !(placed->w >= 1) || !(placed->h >= 1) || placed->w > 1e5 || placed->h > 1e5)
    return std::nullopt;
  Frame f;
  f.box = *placed;
  cairo_t *cr = c.cr;
  const Font font = fontOf(ax);
  LabelExtent widest = [cr, font](const std::vector<std::string> &labels) {
    Saved saved(cr);
    useFont(cr, font);
    double w = 0;
    for (const std::string &s : labels) w = std::max(w, s.empty() ? 0 : textWidth(cr, s));
    return w;
  };
  const double height = lineHeight(cr, font);
  LabelExtent tall = [height](const std::vector<std::string> &) { return height; };
  g::Range x = g::dataRange(ax, 0, word(ax, "XScale") == "log");
  g::Range y = g::dataRange(ax, 1, word(ax, "YScale") == "log");
  f.x = axisScale(ax, 'X', x, f.box.w, 70, widest);
  f.y = axisScale(ax, 'Y', y, f.box.h, 40, tall);
  return f;
}

void drawAxes(const Canvas &c, double ax) {
  std::optional<Frame> framed = frameOf(c, ax);
  if (!framed) return;
  const Frame &f = *framed;
  cairo_t *cr = c.cr;

  AxisDecor d;
  d.xColor = color(ax, "XColor");
  d.yColor = color(ax, "YColor");
  d.box = isOn(ax, "Box");
  d.xGrid = isOn(ax, "XGrid");
  d.yGrid = isOn(ax, "YGrid");
  d.tickOut = word(ax, "TickDir") == "out";
  d.gridStyle = word(ax, "GridLineStyle");
  d.lineWidth = std::clamp(std::round(number(ax, "LineWidth") * kPixelsPerPoint), 1.0, 10.0);
  d.tickLength = std::clamp(std::max(f.box.w, f.box.h) * 0.01, 3.0, 8.0);

  {
    Saved saved(cr);
    setColor(cr, color(ax, "Color"));
    cairo_rectangle(cr, f.box.x, f.box.y, f.box.w, f.box.h);
    cairo_fill(cr);
  }
  // Images lie under the grid; lines over it.
  const std::vector<double> children = g::childrenOf(ax);
  auto drawChildren = [&](g::Type type) {
    Saved saved(cr);
    cairo_rectangle(cr, f.box.x, f.box.y, f.box.w, f.box.h);
    cairo_clip(cr);
    for (double h : children) {
      if (g::typeOf(h) != type || !isVisible(h)) continue;
      if (type == g::Type::Image)
        drawImage(c, f, h);
      else
        drawLine(cr, f, h);
    }
  };
  drawChildren(g::Type::Image);
  drawGrid(cr, f, d);
  drawChildren(g::Type::Line);
  drawTicksAndBox(c, f, d, fontOf(ax));
  drawAxisTexts(c, ax, f, d);
  drawFreeTexts(c, ax, f);
}

}  // namespace host::render
