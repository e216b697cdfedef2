// The extent of an axes' data for the renderer: its visible lines and images along x or y,
// and the range of its scaled images' colour data.
#include <algorithm>
#include <cmath>
#include <limits>

#include "graphics/store.h"
#include "graphics/values.h"

namespace mexrt::graphics {
namespace internal {

namespace {

// Extends r by the finite values v (positive ones only when asked).
void include(Range &r, double v, bool positiveOnly) {
  if (!std::isfinite(v) || (positiveOnly && !(v > 0))) return;
  r.lo = std::min(r.lo, v);
  r.hi = std::max(r.hi, v);
}

Range emptyRange() {
  return {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
}

bool visible(double h, const Object &o) {
  return textOf(*valueOrDefault(h, o, propOrRaise(o.type, "Visible"))) == "on";
}

// The outer edges of an image's cells along one axis, from the centres of the first and
// last cells.
std::pair<double, double> imageEdges(double h, const Object &o, int axis) {
  const Prop &p = propOrRaise(Type::Image, axis == 0 ? "XData" : "YData");
  Owned span = valueOrDefault(h, o, p);
  const Array *c = valueOf(o.values, propOrRaise(Type::Image, "CData"));
  std::size_t n = c ? c->dims[axis == 0 ? 1 : 0] : 0;
  if (span->numel() == 0 || n == 0) return {NAN, NAN};
  double first = span->reals()[0], last = span->reals()[span->numel() - 1];
  double step = n > 1 ? (last - first) / static_cast<double>(n - 1) : 1;
  if (step == 0) step = 1;
  return {first - step / 2, last + step / 2};
}

}  // namespace

// The range of the CData of an axes' visible scaled images.
Range cdataRange(double axes) {
  Range r = emptyRange();
  const Object *ax = lookup(axes);
  if (!ax) return r;
  for (double c : ax->children) {
    const Object &o = *lookup(c);
    if (o.type != Type::Image || !visible(c, o) ||
        textOf(*valueOrDefault(c, o, propOrRaise(Type::Image, "CDataMapping"))) != "scaled")
      continue;
    const Array *cd = valueOf(o.values, propOrRaise(Type::Image, "CData"));
    if (!cd) continue;
    const double *v = cd->reals();
    for (std::size_t k = 0; k < cd->numel(); ++k) include(r, v[k], false);
  }
  return r;
}

}  // namespace internal

using namespace internal;

Range dataRange(double axes, int axis, bool positiveOnly) {
  Range r = emptyRange();
  const Object *ax = lookup(axes);
  if (!ax) return r;
  for (double c : ax->children) {
    const Object &o = *lookup(c);
    if (!visible(c, o)) continue;
    if (o.type == Type::Image) {
      auto [a, b] = imageEdges(c, o, axis);
      if (!std::isfinite(a) || !std::isfinite(b)) continue;
      include(r, a, positiveOnly);
      include(r, b, positiveOnly);
      continue;
    }
    if (o.type != Type::Line) continue;
    Owned x = valueOrDefault(c, o, propOrRaise(Type::Line, "XData"));
    Owned y = valueOrDefault(c, o, propOrRaise(Type::Line, "YData"));
    const double *own = (axis == 0 ? x : y)->reals();
    const double *other = (axis == 0 ? y : x)->reals();
    std::size_t n = std::min(x->numel(), y->numel());
    for (std::size_t k = 0; k < n; ++k) {
      if (std::isfinite(other[k])) include(r, own[k], positiveOnly);
    }
  }
  return r;
}

}  // namespace mexrt::graphics
