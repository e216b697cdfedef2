// The renderer reading the graphics store: numbers, texts, words and colours of an
// object's properties, and where an object is placed in its parent.
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>

#include "mexrt/error.h"
#include "mexrt/text.h"
#include "render/draw.h"

namespace host::render {

ArrayPtr fetch(double h, std::string_view name) { return ArrayPtr(g::property(h, name)); }

std::vector<double> numbers(double h, std::string_view name) {
  ArrayPtr a = fetch(h, name);
  if (!a || mxGetClassID(a.get()) != mxDOUBLE_CLASS) return {};
  const double *p = mxGetPr(a.get());
  return {p, p + mxGetNumberOfElements(a.get())};
}

double number(double h, std::string_view name) {
  std::vector<double> v = numbers(h, name);
  return v.size() == 1 ? v[0] : std::nan("");
}

namespace {
std::u16string trimRight(std::u16string s) {
  while (!s.empty() && (s.back() == u' ' || s.back() == 0)) s.pop_back();
  return s;
}
}  // namespace

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

std::string word(double h, std::string_view name) {
  std::vector<std::string> l = lines(h, name);
  if (l.size() != 1) return {};
  std::string s = l[0];
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool isOn(double h, std::string_view name) { return word(h, name) == "on"; }

bool isVisible(double h) { return isOn(h, "Visible"); }

bool finiteAll(const std::vector<double> &v) {
  return std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); });
}

Rgb color(double h, std::string_view name) {
  std::vector<double> v = numbers(h, name);
  if (v.size() != 3 || !finiteAll(v)) return Rgb{};
  return Rgb{std::clamp(v[0], 0.0, 1.0), std::clamp(v[1], 0.0, 1.0), std::clamp(v[2], 0.0, 1.0)};
}

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

void setColor(cairo_t *cr, const Rgb &c, double alpha) {
  cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void strokeLine(cairo_t *cr, Point a, Point b) {
  cairo_move_to(cr, a.x, a.y);
  cairo_line_to(cr, b.x, b.y);
  cairo_stroke(cr);
}

double crisp(double v) { return std::floor(v) + 0.5; }

}  // namespace host::render
