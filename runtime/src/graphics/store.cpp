// The object store: objects made, changed and removed, with parent and child links; each
// thread has a store of its own.
#include "graphics/store.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "core/per_thread.h"
#include "graphics/values.h"

namespace mexrt::graphics {
namespace internal {

namespace {

constexpr double kFirstObject = 100;              // non-figure handles are counter + fraction
constexpr double kHandleFraction = 0.0009765625;  // 2^-10: exact, never a whole number

// Each thread draws into a store of its own, so that calls on several threads at once neither
// see nor number each other's figures. The main thread's store is never destroyed: its arrays
// must stay valid until the process ends, and the array library's own bookkeeping may already
// be gone when static destructors run. Another thread's store ends with the thread.
Store &mainStore() {
  static Store *s = new Store;  // NOLINT: deliberately immortal
  return *s;
}

struct ThreadStore {
  Store *store = gettid() == getpid() ? &mainStore() : new Store;
  ~ThreadStore() {
    if (store != &mainStore()) delete store;
  }
};

}  // namespace

Store &store() {
  ThreadStore *t = detail::PerThread<ThreadStore>::get();
  return t ? *t->store : mainStore();  // a thread that is ending falls back on the main store
}

Object *lookup(double h) {
  auto it = store().objects.find(h);
  return it == store().objects.end() ? nullptr : &it->second;
}

Object &objectOrRaise(double h) {
  Object *o = lookup(h);
  if (!o) raise("Invalid handle: " + detail::numberText(h) + " is not a graphics object.");
  return *o;
}

const Array *valueOf(const std::vector<Value> &values, const Prop &p) {
  for (const Value &v : values) {
    if (v.prop == &p) return v.array.get();
  }
  return nullptr;
}

void putValue(std::vector<Value> &values, const Prop &p, Owned a) {
  for (Value &v : values) {
    if (v.prop == &p) {
      v.array = std::move(a);
      return;
    }
  }
  values.push_back({&p, std::move(a)});
}

// --- Changes: checked in full first, then applied, so a refused change alters nothing ---

namespace {

struct Change {
  std::vector<Value> values;
  std::optional<double> parent;
  std::vector<const Prop *> labels;  // label properties set, in the order given
};

std::vector<Value> copyValues(const std::vector<Value> &values) {
  std::vector<Value> out;
  out.reserve(values.size());
  for (const Value &v : values) out.push_back({v.prop, Owned(detail::shareOf(v.array.get()))});
  return out;
}

std::string withArticle(Type t) {
  return (t == Type::Axes ? "an " : "a ") + std::string(nameOf(t));
}

void checkParent(Type t, double parent) {
  std::optional<Type> want = parentTypeOf(t);
  if (!want) {
    if (parent != 0) raise("A figure's parent can only be the root (0).");
    return;
  }
  const Object *p = lookup(parent);
  if (!p || p->type != *want) {
    raise("The parent of " + withArticle(t) + " must be " + withArticle(*want) + "; " +
          detail::numberText(parent) + " is " +
          (p ? withArticle(p->type) : std::string("not a graphics object")) + ".");
  }
}

// Applies name/value pairs (already taken as operands) to a copy of an object's values.
Change prepare(Type t, const std::vector<Value> &current, double currentParent,
               const detail::OperandList &ops, std::size_t first) {
  if ((ops.size() - first) % 2 != 0) {
    raise(std::string(nameOf(t)) + ": property names and values must come in pairs.");
  }
  Change c{copyValues(current), std::nullopt, {}};
  for (std::size_t k = first; k < ops.size(); k += 2) {
    const Array &name = ops[k];
    if (!name.isChar() || name.dims[0] > 1) {
      raise(std::string(nameOf(t)) + ": a property name must be text, not " + describe(name) + ".");
    }
    const Prop &p = propOrRaise(t, textOf(name));
    Owned v = checked(t, p, ops[k + 1]);
    if (p.kind == Kind::Parent) {
      double h = v->reals()[0];
      checkParent(t, h);
      c.parent = h;
      continue;
    }
    if (p.kind == Kind::AxesRef && !v->isEmpty()) {
      const Object *ax = lookup(v->reals()[0]);
      if (!ax || ax->type != Type::Axes) {
        raise("The " + std::string(nameOf(t)) + " property \"" + p.name +
              "\" must be the handle of an axes; " + detail::numberText(v->reals()[0]) +
              " is not.");
      }
    }
    if (p.kind == Kind::Label && !v->isEmpty()) {
      const Object *txt = lookup(v->reals()[0]);
      if (!txt || txt->type != Type::Text) {
        raise("The axes property \"" + p.name + "\" must be the handle of a text object; " +
              detail::numberText(v->reals()[0]) + " is not.");
      }
    }
    if (p.name == "Units" && hasRectUnits(t)) {
      // The object keeps its place: an explicit position is re-expressed in the new units.
      const Prop &pos = propOrRaise(t, "Position");
      if (const Array *r = valueOf(c.values, pos)) {
        double parent = c.parent.value_or(currentParent);
        std::vector<double> moved =
            convertRect(r->reals(), unitsOf(t, c.values), textOf(*v), referenceSize(t, parent));
        putValue(c.values, pos, row(moved));
      }
    }
    if (const Prop *mode = findProp(t, p.name + "Mode"); mode && p.kind != Kind::Choice) {
      // Setting limits or ticks fixes them: their mode becomes manual.
      putValue(c.values, *mode, string("manual"));
    }
    if (p.kind == Kind::Label) c.labels.push_back(&p);
    putValue(c.values, p, std::move(v));
  }
  if (t == Type::Line) {
    const Array *x = valueOf(c.values, propOrRaise(t, "XData"));
    const Array *y = valueOf(c.values, propOrRaise(t, "YData"));
    if (x && y && x->numel() != y->numel()) {
      raise("line: XData and YData must have the same length (" + std::to_string(x->numel()) +
            " and " + std::to_string(y->numel()) + ").");
    }
  }
  return c;
}

void unlinkChild(double parent, double child) {
  if (Object *p = lookup(parent)) std::erase(p->children, child);
}

void moveTo(double handle, Object &o, double parent) {
  if (o.parent == parent) return;
  unlinkChild(o.parent, handle);
  o.parent = parent;
  if (Object *p = lookup(parent)) p->children.push_back(handle);
}

// Makes the texts just named by an axes' label properties its children. One text serves
// one role: the role set last keeps it, any other label of the axes naming it lets go.
void attachLabels(double axes, Object &o, const std::vector<const Prop *> &labels) {
  for (const Prop *role : labels) {
    const Array *v = valueOf(o.values, *role);
    if (!v || v->isEmpty()) continue;
    double h = v->reals()[0];
    if (Object *txt = lookup(h)) moveTo(h, *txt, axes);
    for (Value &other : o.values) {
      if (other.prop != role && other.prop->kind == Kind::Label && !other.array->isEmpty() &&
          other.array->reals()[0] == h) {
        other.array = row({});
      }
    }
  }
}

double nextFigureHandle() {
  double h = 1;
  while (lookup(h)) ++h;
  return h;
}

// The parent an object gets when none is named: the current figure, or its current axes;
// made when missing, as the host language does.
double defaultParent(Type t) {
  std::optional<Type> want = parentTypeOf(t);
  if (!want) return 0;
  Store &s = store();
  if (!lookup(s.currentFigure)) {
    detail::OperandList none({}, "figure");
    s.currentFigure = create(Type::Figure, none);
  }
  if (*want == Type::Figure) return s.currentFigure;
  if (double ax = currentAxesOf(s.currentFigure); ax != 0) return ax;
  detail::OperandList none({}, "axes");
  return create(Type::Axes, none);
}

}  // namespace

double create(Type t, const detail::OperandList &ops, double figureHandle) {
  Change c = prepare(t, {}, 0, ops, 0);
  double parent = c.parent ? *c.parent : defaultParent(t);
  Store &s = store();
  double h = t != Type::Figure   ? kFirstObject + static_cast<double>(++s.counter) + kHandleFraction
             : figureHandle != 0 ? figureHandle
                                 : nextFigureHandle();
  Object &o = s.objects[h];
  o.type = t;
  o.values = std::move(c.values);
  o.parent = 0;
  if (t == Type::Figure) {
    s.figures.push_back(h);
    s.currentFigure = h;
  } else {
    moveTo(h, o, parent);
  }
  if (t == Type::Axes) {
    attachLabels(h, o, c.labels);
    // A new axes becomes its figure's current axes.
    putValue(lookup(parent)->values, propOrRaise(Type::Figure, "CurrentAxes"),
             Owned(detail::newScalar(h)));
  }
  return h;
}

namespace {

// Removes an object, its children, and the legends and colorbars of a removed axes.
void removeTree(double h) {
  Object *o = lookup(h);
  if (!o) return;
  std::vector<double> children = o->children;
  for (double c : children) removeTree(c);
  if (o->type == Type::Axes) {
    std::vector<double> dependents;
    const Object *fig = lookup(o->parent);
    for (double c : fig ? fig->children : std::vector<double>{}) {
      const Object *d = lookup(c);
      if (d->type != Type::Legend && d->type != Type::Colorbar) continue;
      const Array *ax = valueOf(d->values, propOrRaise(d->type, "Axes"));
      if (ax && !ax->isEmpty() && ax->reals()[0] == h) dependents.push_back(c);
    }
    for (double d : dependents) removeTree(d);
  }
  o = lookup(h);
  unlinkChild(o->parent, h);
  Store &s = store();
  if (o->type == Type::Figure) std::erase(s.figures, h);
  s.objects.erase(h);
  if (s.currentFigure == h) s.currentFigure = s.figures.empty() ? 0 : s.figures.back();
}

}  // namespace

void set(double handle, const detail::OperandList &ops) {
  Object &o = objectOrRaise(handle);
  Change c = prepare(o.type, o.values, o.parent, ops, 1);
  o.values = std::move(c.values);
  if (c.parent) moveTo(handle, o, *c.parent);
  if (o.type == Type::Axes) attachLabels(handle, o, c.labels);
}

}  // namespace internal

using namespace internal;
// --- Read side ---

double create(Type type, const std::vector<mxArray *> &pairs) {
  detail::OperandList ops(pairs, nameOf(type));
  return internal::create(type, ops);
}

double createFigure(double handle, const std::vector<mxArray *> &pairs) {
  detail::OperandList ops(pairs, "figure");
  if (!(handle >= 1) || handle != std::floor(handle) || handle > 1e9) {
    raise("figure: a figure's handle must be a positive whole number, not " +
          detail::numberText(handle) + ".");
  }
  if (lookup(handle)) raise("figure: " + detail::numberText(handle) + " is already an object.");
  return internal::create(Type::Figure, ops, handle);
}

void set(double handle, const std::vector<mxArray *> &pairs) {
  Owned h(detail::newScalar(handle));  // in the place of the handle operand set skips
  std::vector<Array *> args(pairs);
  args.insert(args.begin(), h.get());
  detail::OperandList ops(args, "set");
  internal::set(handle, ops);
}

void remove(double handle) {
  objectOrRaise(handle);
  removeTree(handle);
}

void resetProperties(double handle, const std::vector<std::string> &keep) {
  Object &o = objectOrRaise(handle);
  std::erase_if(o.values, [&](const Value &v) {
    return std::none_of(keep.begin(), keep.end(),
                        [&](const std::string &k) { return sameWord(k, v.prop->name); });
  });
}

double currentFigure() {
  Store &s = store();
  return lookup(s.currentFigure) ? s.currentFigure : 0;
}

void setCurrentFigure(double figure) {
  const Object &o = objectOrRaise(figure);
  if (o.type != Type::Figure) raise(detail::numberText(figure) + " is not a figure.");
  store().currentFigure = figure;
}

std::vector<std::string> propertyNames(double handle) {
  std::vector<std::string> names;
  for (const Prop &p : propsOf(objectOrRaise(handle).type)) names.push_back(p.name);
  return names;
}

std::vector<std::string> propertyChoices(double handle, std::string_view name) {
  return propOrRaise(objectOrRaise(handle).type, name).choices;
}

std::vector<double> figures() { return store().figures; }

bool isObject(double handle) { return lookup(handle) != nullptr; }

Type typeOf(double handle) { return objectOrRaise(handle).type; }

std::string typeName(double handle) { return nameOf(typeOf(handle)); }

double parentOf(double handle) { return objectOrRaise(handle).parent; }

std::vector<double> childrenOf(double handle) { return objectOrRaise(handle).children; }

mxArray *property(double handle, std::string_view name) {
  const Object &o = objectOrRaise(handle);
  return valueOrDefault(handle, o, propOrRaise(o.type, name)).release();
}

void clearAll() {
  Store &s = store();
  s.objects.clear();
  s.figures.clear();
  s.currentFigure = 0;
  s.counter = 0;
}

}  // namespace mexrt::graphics
