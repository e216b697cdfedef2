// What the renderer's parts share: reading properties of the graphics store, device
// geometry, the canvas a figure is drawn on, fonts and text, axis scales, and the drawing
// entry of each part (axes, lines and the legend, images and the colour bar, controls).
#pragma once

#include <cairo.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mexrt/graphics.h"
#include "mexrt/matrix.h"

namespace host::render {

namespace g = mexrt::graphics;

constexpr double kPixelsPerPoint = 96.0 / 72.0;

// --- Properties (properties.cpp) ---

struct ArrayDeleter {
  void operator()(mxArray *a) const { mxDestroyArray(a); }
};
using ArrayPtr = std::unique_ptr<mxArray, ArrayDeleter>;

// A property's value as the store gives it: the one set, else its class's default. The
// renderer keeps no defaults of its own; asking for a property the class lacks is an error.
ArrayPtr fetch(double h, std::string_view name);
std::vector<double> numbers(double h, std::string_view name);
// A scalar property (NaN for anything else).
double number(double h, std::string_view name);
// The lines of a char property: one per row of a char matrix (trailing blanks dropped),
// and a row split again at its line breaks. Other classes give no lines.
std::vector<std::string> lines(double h, std::string_view name);
std::string word(double h, std::string_view name);  // one lower-case word, or empty
bool isOn(double h, std::string_view name);         // an on/off property is "on"
bool isVisible(double h);
bool finiteAll(const std::vector<double> &v);

struct Rgb {
  double r = 0, g = 0, b = 0;
};
// A colour property: the store holds an RGB triple in [0, 1] (black for anything else).
Rgb color(double h, std::string_view name);

// --- Geometry: device boxes have their origin at the top left, y growing downwards ---

struct Box {
  double x = 0, y = 0, w = 0, h = 0;
  double right() const { return x + w; }
  double bottom() const { return y + h; }
};

struct Point {
  double x = 0, y = 0;
};

// An object's rectangle in pixels (from the store, whatever its Units) placed in its
// parent's device box; nothing for a rectangle that is not finite.
std::optional<Box> place(double h, const Box &parent);

// What a figure is drawn on: the cairo context (in figure pixels), the figure's area, and
// how many device pixels a figure pixel has for images resampled to the device.
struct Canvas {
  cairo_t *cr;
  Box figure;
  double imageScale = 1;
  Box textArea() const { return {figure.x + 2, figure.y + 2, figure.w - 4, figure.h - 4}; }
};

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

void setColor(cairo_t *cr, const Rgb &c, double alpha = 1);
void strokeLine(cairo_t *cr, Point a, Point b);
// Device coordinates nudged to pixel centres so that 1-pixel lines stay crisp.
double crisp(double v);

// --- Text (text.cpp) ---

struct Font {
  double size = 10 * kPixelsPerPoint;  // pixels
  bool bold = false, italic = false;
};
Font fontOf(double h);  // from its FontSize, FontWeight and FontAngle
void useFont(cairo_t *cr, const Font &f);
double textWidth(cairo_t *cr, const std::string &s);
double lineHeight(cairo_t *cr, const Font &f);

struct TextStyle {
  Font font;
  Rgb color;
  std::string horizontal = "left";  // left, center, right
  std::string vertical = "middle";  // top, cap, middle, baseline, bottom
  double rotation = 0;              // degrees, counter-clockwise
};
// A text object's own style.
TextStyle textStyle(double t);
// Draws lines of text anchored at a device point, aligned and rotated about it. With an
// area, the block is kept inside it: moved in when it pokes out, made smaller when it is
// larger than the area.
void drawText(cairo_t *cr, const std::vector<std::string> &text, Point at, const TextStyle &st,
              const Box *inside = nullptr);
// Greedy word wrap of each line to the width.
std::vector<std::string> wrap(cairo_t *cr, const std::vector<std::string> &text, double width);

// --- Scales (ticks.cpp) ---

struct Scale {
  double lo = 0, hi = 1;
  std::vector<double> ticks;
  std::vector<std::string> labels;  // one per tick
  double step = 0.2;
  bool log = false;
  bool reverse = false;
};

// How long, along the axis, the widest of the labels is (pixels).
using LabelExtent = std::function<double(const std::vector<std::string> &)>;

// The axis' scale: its limits when their mode is manual, otherwise round limits that hold
// the data [dmin, dmax]; ticks in steps of 1, 2 or 5 times a power of ten (decades on a
// log axis), about one per `spacing` pixels and never closer than their labels allow;
// manual ticks when the tick mode is manual.
Scale axisScale(double ax, char axis, g::Range data, double length, double spacing,
                const LabelExtent &extent);
// Ticks and labels for fixed limits (a colour bar's).
Scale fixedScale(double lo, double hi, double length, double spacing, const LabelExtent &extent);

// Data to device along one axis of a plot box.
struct Frame {
  Box box;
  Scale x, y;
  double fraction(const Scale &s, double v) const;  // 0 at lo, 1 at hi; NaN off a log axis
  Point toDevice(double dx, double dy) const {
    return {box.x + fraction(x, dx) * box.w, box.bottom() - fraction(y, dy) * box.h};
  }
};

// --- Parts ---

void drawAxes(const Canvas &c, double ax);                    // axes.cpp
void drawLine(cairo_t *cr, const Frame &f, double line);      // lines.cpp
void drawLegend(const Canvas &c, double legend);              // lines.cpp
void drawImage(const Canvas &c, const Frame &f, double img);  // images.cpp
void drawColorbar(const Canvas &c, double bar);               // images.cpp
void drawControl(const Canvas &c, double control);            // render.cpp
// The plot box and scales an axes is drawn with (axes.cpp), for its legend and colour bar.
std::optional<Frame> frameOf(const Canvas &c, double ax);

}  // namespace host::render
