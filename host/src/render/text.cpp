// The renderer's text: fonts, blocks of lines aligned and rotated about an anchor and kept
// inside an area, and word wrapping.
#include <algorithm>
#include <cmath>
#include <limits>

#include "render/draw.h"

namespace host::render {

namespace {
const char *const kFontFamily = "sans-serif";
constexpr double kInf = std::numeric_limits<double>::infinity();
}  // namespace

Font fontOf(double h) {
  Font f;
  // The store keeps FontSize positive and finite; a huge one is drawn at 500 points.
  f.size = std::min(number(h, "FontSize"), 500.0) * kPixelsPerPoint;
  if (g::typeOf(h) != g::Type::Text) return f;  // only texts choose weight and angle
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

double lineHeight(cairo_t *cr, const Font &f) {
  Saved saved(cr);
  useFont(cr, f);
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  return fe.ascent + fe.descent;
}

namespace {

// The height of capital letters above the baseline.
double capHeight(cairo_t *cr) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, "H", &e);
  return -e.y_bearing;
}

// A block of lines laid out about its anchor, before rotation.
struct Layout {
  std::vector<double> x;  // of each line's start
  double top = 0, ascent = 0, lineHeight = 0;
  double left = 0, right = 0;  // of the widest extent
};

Layout layOut(cairo_t *cr, const std::vector<std::string> &text, const TextStyle &st) {
  Layout l;
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  l.ascent = fe.ascent;
  l.lineHeight = fe.ascent + fe.descent;
  const double block = l.lineHeight * static_cast<double>(text.size());
  l.top = 0;  // "top"
  if (st.vertical == "cap")
    l.top = -(fe.ascent - capHeight(cr));
  else if (st.vertical == "baseline")
    l.top = -(block - fe.descent);
  else if (st.vertical == "bottom")
    l.top = -block;
  else if (st.vertical != "top")
    l.top = -block / 2;
  l.left = kInf, l.right = -kInf;
  for (const std::string &s : text) {
    double w = textWidth(cr, s);
    double x = st.horizontal == "center" ? -w / 2 : st.horizontal == "right" ? -w : 0;
    l.x.push_back(x);
    l.left = std::min(l.left, x), l.right = std::max(l.right, x + w);
  }
  return l;
}

// The device box the laid-out block covers once rotated about the anchor.
Box bounds(const Layout &l, std::size_t lineCount, Point at, double rotation) {
  const double a = -rotation * M_PI / 180, c = std::cos(a), s = std::sin(a);
  const double bottom = l.top + l.lineHeight * static_cast<double>(lineCount);
  double x0 = kInf, x1 = -kInf, y0 = kInf, y1 = -kInf;
  for (double x : {l.left, l.right})
    for (double y : {l.top, bottom}) {
      double dx = x * c - y * s, dy = x * s + y * c;
      x0 = std::min(x0, dx), x1 = std::max(x1, dx), y0 = std::min(y0, dy), y1 = std::max(y1, dy);
    }
  return {at.x + x0, at.y + y0, x1 - x0, y1 - y0};
}

}  // namespace

void drawText(cairo_t *cr, const std::vector<std::string> &text, Point at, const TextStyle &st,
              const Box *inside) {
  if (text.empty()) return;
  Saved saved(cr);
  TextStyle style = st;
  useFont(cr, style.font);
  setColor(cr, style.color);
  Layout l = layOut(cr, text, style);
  if (inside && inside->w > 0 && inside->h > 0) {
    Box b = bounds(l, text.size(), at, style.rotation);
    // Too large for the area: smaller (glyph widths do not scale exactly with the size,
    // so again until it fits), down to a size that can still be read.
    for (int attempt = 0; attempt < 4 && style.font.size > 4; ++attempt) {
      double shrink = std::min({1.0, inside->w / b.w, inside->h / b.h});
      if (shrink >= 1) break;
      style.font.size = std::max(4.0, style.font.size * shrink * 0.97);
      useFont(cr, style.font);
      l = layOut(cr, text, style);
      b = bounds(l, text.size(), at, style.rotation);
    }
    if (b.x < inside->x)
      at.x += inside->x - b.x;
    else if (b.right() > inside->right())
      at.x -= b.right() - inside->right();
    if (b.y < inside->y)
      at.y += inside->y - b.y;
    else if (b.bottom() > inside->bottom())
      at.y -= b.bottom() - inside->bottom();
  }
  cairo_translate(cr, at.x, at.y);
  cairo_rotate(cr, -style.rotation * M_PI / 180);
  for (size_t i = 0; i < text.size(); ++i) {
    cairo_move_to(cr, l.x[i], l.top + l.ascent + l.lineHeight * static_cast<double>(i));
    cairo_show_text(cr, text[i].c_str());
  }
}

TextStyle textStyle(double t) {
  TextStyle st;
  st.font = fontOf(t);
  st.color = color(t, "Color");
  st.horizontal = word(t, "HorizontalAlignment");
  st.vertical = word(t, "VerticalAlignment");
  st.rotation = number(t, "Rotation");
  return st;
}

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

}  // namespace host::render
