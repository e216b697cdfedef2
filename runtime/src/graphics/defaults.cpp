// Positions in pixels or normalized units, and the values an object shows when nothing is
// set: its class's default, or one computed from the object (the current axes, the colour
// limits of scaled images, an image's span).
#include <algorithm>
#include <cmath>

#include "graphics/store.h"
#include "graphics/values.h"

namespace mexrt::graphics {
namespace internal {

constexpr double kScreenWidth = 1280;  // normalized figure positions are taken against it
constexpr double kScreenHeight = 1024;

std::string unitsOf(Type t, const std::vector<Value> &values) {
  const Array *u = valueOf(values, propOrRaise(t, "Units"));
  return u ? textOf(*u) : propOrRaise(t, "Units").choices.front();
}

std::pair<double, double> referenceSize(Type t, double parent) {
  if (t == Type::Figure) return {kScreenWidth, kScreenHeight};
  // An object not yet in a figure is placed against a figure of the default size.
  if (!lookup(parent)) {
    const std::vector<double> &figure = propOrRaise(Type::Figure, "Position").value;
    return {figure[2], figure[3]};
  }
  std::array<double, 4> r = pixelPosition(parent);
  return {r[2], r[3]};
}

// A rectangle expressed in `from` units re-expressed in `to` units (pixels or normalized).
std::vector<double> convertRect(const double *r, const std::string &from, const std::string &to,
                                std::pair<double, double> ref) {
  std::vector<double> v(r, r + 4);
  if (from == to) return v;
  double sx = from == "normalized" ? ref.first : 1.0 / ref.first;
  double sy = from == "normalized" ? ref.second : 1.0 / ref.second;
  v[0] *= sx;
  v[2] *= sx;
  v[1] *= sy;
  v[3] *= sy;
  return v;
}

namespace {

Owned defaultValue(const Object &o, const Prop &p) {
  switch (p.kind) {
    case Kind::Text:
      return string(p.text);
    case Kind::Choice:
      return string(p.choices.front());
    case Kind::Parent:
      return Owned(detail::newScalar(o.parent));
    case Kind::Label:
    case Kind::AxesRef:
    case Kind::Any:
      return row({});
    case Kind::PointerShape: {
      std::vector<double> nan(256, std::nan(""));
      return row(nan, 16);
    }
    case Kind::ReadOnly:
      if (p.name == "Type") return string(nameOf(o.type));
      {
        // Children as the host language lists them: the newest first, in a column.
        Owned c(detail::newDouble(o.children.size(), o.children.empty() ? 0 : 1));
        std::reverse_copy(o.children.begin(), o.children.end(), c->mutableReals());
        return c;
      }
    default:
      break;
  }
  if (p.kind == Kind::Rect && hasRectUnits(o.type)) {
    // The default is in the class's own units (the first listed); shown in the object's.
    const Prop &units = propOrRaise(o.type, "Units");
    std::vector<double> r = convertRect(p.value.data(), units.choices.front(),
                                        unitsOf(o.type, o.values), referenceSize(o.type, o.parent));
    return row(r);
  }
  return row(p.value, p.rows);
}

// An image's XData or YData when not set: 1 to the number of columns or rows.
Owned imageSpan(const Object &o, const Prop &p) {
  const Array *c = valueOf(o.values, propOrRaise(Type::Image, "CData"));
  std::size_t n = c ? (p.name == "XData" ? c->dims[1] : c->dims[0]) : 0;
  return row({1, static_cast<double>(std::max<std::size_t>(n, 1))});
}

}  // namespace

Owned valueOrDefault(double handle, const Object &o, const Prop &p) {
  if (p.kind == Kind::Parent) return Owned(detail::newScalar(o.parent));
  if (o.type == Type::Figure && p.name == "CurrentAxes") {
    double ax = currentAxesOf(handle);
    return ax != 0 ? Owned(detail::newScalar(ax)) : row({});
  }
  if (o.type == Type::Axes && p.name == "CLim" &&
      textOf(*valueOrDefault(handle, o, propOrRaise(Type::Axes, "CLimMode"))) == "auto") {
    Range r = cdataRange(handle);
    if (r.empty()) return row({0, 1});
    if (r.lo == r.hi) return row({r.lo - 1, r.hi + 1});  // one value: the middle colour
    return row({r.lo, r.hi});
  }
  if (o.type == Type::Image && (p.name == "XData" || p.name == "YData") && !valueOf(o.values, p)) {
    return imageSpan(o, p);
  }
  if (p.kind == Kind::Label) {
    // A label reference holds while the text stays in this axes.
    const Array *v = valueOf(o.values, p);
    if (v && !v->isEmpty()) {
      const Object *t = lookup(v->reals()[0]);
      if (t && t->parent == handle) return Owned(detail::shareOf(v));
    }
    return row({});
  }
  if (const Array *v = valueOf(o.values, p)) return Owned(detail::shareOf(v));
  return defaultValue(o, p);
}

// A figure's current axes: the one its CurrentAxes names while that is still its child,
// otherwise its newest axes; 0 when it has none.
double currentAxesOf(double figure) {
  const Object *fig = lookup(figure);
  if (!fig || fig->type != Type::Figure) return 0;
  if (const Array *v = valueOf(fig->values, propOrRaise(Type::Figure, "CurrentAxes"));
      v && !v->isEmpty()) {
    const Object *ax = lookup(v->reals()[0]);
    if (ax && ax->type == Type::Axes && ax->parent == figure) return v->reals()[0];
  }
  for (auto it = fig->children.rbegin(); it != fig->children.rend(); ++it) {
    if (lookup(*it)->type == Type::Axes) return *it;
  }
  return 0;
}

}  // namespace internal

using namespace internal;

std::array<double, 4> pixelPosition(double handle) {
  const Object &o = objectOrRaise(handle);
  if (!hasRectUnits(o.type)) {
    raise(std::string("A ") + nameOf(o.type) + " has no position in pixels.");
  }
  Owned r = valueOrDefault(handle, o, propOrRaise(o.type, "Position"));
  std::vector<double> px =
      convertRect(r->reals(), unitsOf(o.type, o.values), "pixels", referenceSize(o.type, o.parent));
  return {px[0], px[1], px[2], px[3]};
}

}  // namespace mexrt::graphics
