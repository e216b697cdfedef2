// The graphics object store: figures, axes, lines, texts, controls, images, legends and
// colorbars with their properties
// (checked, case-insensitive names, defaults), parent and child links, and the operations
// that create, read and change them.
#include "mexrt/graphics.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <limits>
#include <map>
#include <optional>

#include "core/array.h"
#include "core/operands.h"
#include "core/per_thread.h"
#include "core/utf8.h"
#include "mexrt/mathlib.h"

namespace mexrt::graphics {
namespace {

using detail::Array;
using detail::Dims;
using detail::Owned;
using detail::raise;

constexpr double kScreenWidth = 1280;  // normalized figure positions are taken against it
constexpr double kScreenHeight = 1024;
constexpr double kFirstObject = 100;              // non-figure handles are counter + fraction
constexpr double kHandleFraction = 0.0009765625;  // 2^-10: exact, never a whole number

// What a property accepts.
enum class Kind {
  Color,         // 1x3, each in [0, 1]
  ColorTable,    // m x 3, m >= 1, each in [0, 1]
  Rect,          // 1x4 finite, width and height not negative
  Point,         // 1x2 or 1x3 finite
  Vector3,       // 1x3 finite, not all zero
  Limits,        // 1x2 finite, increasing
  Number,        // finite scalar
  Size,          // positive finite scalar
  Choice,        // one word of a list, any case; stored as the list spells it
  Text,          // a char array, or an empty array for no text
  Data,          // a numeric vector, or empty
  Matrix,        // a numeric matrix (2-D), or empty
  Handles,       // a numeric vector of handles, or empty
  AxesRef,       // handle of an axes, or empty
  PointerShape,  // 16x16 or 32x32 numbers
  Parent,        // handle of an object of the parent's type
  Label,         // handle of a text object, or empty
  Any,           // anything (UserData)
  ReadOnly,      // Type, Children
};

struct Prop {
  std::string name;
  Kind kind;
  std::vector<std::string> choices;  // Choice: the accepted words, the default first
  std::vector<double> value;         // numeric default, column-major
  std::size_t rows = 1;              // rows of the numeric default
  std::string text;                  // Text default
};

Prop make(std::string n, Kind k) {
  Prop p;
  p.name = std::move(n);
  p.kind = k;
  return p;
}
Prop num(std::string n, Kind k, std::vector<double> v) {
  Prop p = make(std::move(n), k);
  p.value = std::move(v);
  return p;
}
Prop pick(std::string n, std::vector<std::string> words) {
  Prop p = make(std::move(n), Kind::Choice);
  p.choices = std::move(words);
  return p;
}
Prop onOff(std::string n, bool on) {
  return pick(std::move(n),
              on ? std::vector<std::string>{"on", "off"} : std::vector<std::string>{"off", "on"});
}
Prop text(std::string n, std::string t = {}) {
  Prop p = make(std::move(n), Kind::Text);
  p.text = std::move(t);
  return p;
}
Prop special(std::string n, Kind k) { return make(std::move(n), k); }
Prop table(std::string n, std::size_t rows, std::vector<double> v) {
  Prop p = num(std::move(n), Kind::ColorTable, std::move(v));
  p.rows = rows;
  return p;
}

// The default colour order: blue, dark green, red, cyan, magenta, olive, dark grey (by columns).
const std::vector<double> kColorOrder = {0, 0,   1, 0,    0.75, 0.75, 0.25,   // red
                                         0, 0.5, 0, 0.75, 0,    0.75, 0.25,   // green
                                         1, 0,   0, 0.75, 0.75, 0,    0.25};  // blue

const std::vector<std::string> kLineStyles = {"-", "--", ":", "-.", "none"};

void addCommon(std::vector<Prop> &p) {
  p.push_back(special("Parent", Kind::Parent));
  p.push_back(special("Children", Kind::ReadOnly));
  p.push_back(special("Type", Kind::ReadOnly));
  p.push_back(text("Tag"));
  p.push_back(onOff("Visible", true));
  p.push_back(onOff("HandleVisibility", true));
  p.push_back(special("UserData", Kind::Any));
}

std::vector<Prop> figureProps() {
  std::vector<Prop> p;
  addCommon(p);
  p.push_back(num("Color", Kind::Color, {0.8, 0.8, 0.8}));
  p.push_back(table("Colormap", 64, colormap("viridis", 64)));
  p.push_back(special("PointerShapeCData", Kind::PointerShape));
  p.push_back(pick("Pointer",
                   {"arrow", "crosshair", "ibeam", "watch", "fleur", "circle", "cross", "custom"}));
  p.push_back(num("Position", Kind::Rect, {100, 100, 560, 420}));  // pixels
  p.push_back(pick("Units", {"pixels", "normalized"}));
  p.push_back(text("Name"));
  p.push_back(onOff("NumberTitle", true));
  p.push_back(special("CurrentAxes", Kind::AxesRef));  // empty: the newest axes
  return p;
}

std::vector<Prop> axesProps() {
  std::vector<Prop> p;
  addCommon(p);
  p.push_back(pick("Units", {"normalized", "pixels"}));
  p.push_back(num("Position", Kind::Rect, {0.13, 0.11, 0.775, 0.815}));  // normalized
  p.push_back(num("Color", Kind::Color, {1, 1, 1}));
  p.push_back(onOff("Box", false));
  p.push_back(table("ColorOrder", 7, kColorOrder));
  p.push_back(num("CameraUpVector", Kind::Vector3, {0, 1, 0}));
  p.push_back(pick("CameraUpVectorMode", {"auto", "manual"}));
  for (const char *axis : {"X", "Y", "Z"}) {
    std::string a = axis;
    p.push_back(num(a + "Color", Kind::Color, {0, 0, 0}));
    p.push_back(onOff(a + "Grid", false));
    p.push_back(num(a + "Lim", Kind::Limits, {0, 1}));  // used when the mode is manual
    p.push_back(pick(a + "LimMode", {"auto", "manual"}));
    p.push_back(special(a + "Label", Kind::Label));
    p.push_back(pick(a + "Scale", {"linear", "log"}));
    p.push_back(pick(a + "Dir", {"normal", "reverse"}));
    p.push_back(num(a + "Tick", Kind::Data, {}));  // used when the mode is manual
    p.push_back(pick(a + "TickMode", {"auto", "manual"}));
  }
  p.push_back(num("CLim", Kind::Limits, {0, 1}));  // the colour range of scaled images
  p.push_back(pick("CLimMode", {"auto", "manual"}));
  p.push_back(pick("NextPlot", {"replace", "add", "replacechildren"}));
  p.push_back(num("ColorOrderIndex", Kind::Size, {1}));  // the next plotted line's colour
  p.push_back(special("Title", Kind::Label));
  p.push_back(num("FontSize", Kind::Size, {10}));
  p.push_back(text("FontName", "Helvetica"));
  p.push_back(num("LineWidth", Kind::Size, {0.5}));
  p.push_back(pick("GridLineStyle", {":", "-", "--", "-.", "none"}));
  p.push_back(pick("TickDir", {"in", "out"}));
  return p;
}

std::vector<Prop> lineProps() {
  std::vector<Prop> p;
  addCommon(p);
  p.push_back(num("Color", Kind::Color, {0, 0, 1}));
  p.push_back(num("LineWidth", Kind::Size, {0.5}));
  p.push_back(pick("LineStyle", kLineStyles));
  p.push_back(
      pick("Marker", {"none", "+", "o", "*", ".", "x", "square", "diamond", "^", "v", ">", "<"}));
  p.push_back(num("MarkerSize", Kind::Size, {6}));
  p.push_back(num("XData", Kind::Data, {0, 1}));
  p.push_back(num("YData", Kind::Data, {0, 1}));
  p.push_back(num("ZData", Kind::Data, {}));
  p.push_back(text("DisplayName"));
  return p;
}

std::vector<Prop> imageProps() {
  std::vector<Prop> p;
  addCommon(p);
  p.push_back(num("CData", Kind::Matrix, {}));
  p.push_back(pick("CDataMapping", {"scaled", "direct"}));
  p.push_back(num("XData", Kind::Data, {}));  // centres of the first and last column
  p.push_back(num("YData", Kind::Data, {}));  // centres of the first and last row
  return p;
}

std::vector<Prop> legendProps() {
  std::vector<Prop> p;
  addCommon(p);
  p.push_back(special("Axes", Kind::AxesRef));
  p.push_back(special("PlotChildren", Kind::Handles));  // the lines the entries stand for
  p.push_back(text("String"));                          // one row per entry
  p.push_back(pick("Location", {"northeast", "northwest", "southeast", "southwest", "north",
                                "south", "east", "west", "best"}));
  p.push_back(onOff("Box", true));
  p.push_back(num("Color", Kind::Color, {1, 1, 1}));
  p.push_back(num("TextColor", Kind::Color, {0, 0, 0}));
  p.push_back(num("EdgeColor", Kind::Color, {0.15, 0.15, 0.15}));
  p.push_back(num("FontSize", Kind::Size, {9}));
  return p;
}

std::vector<Prop> colorbarProps() {
  std::vector<Prop> p;
  addCommon(p);
  p.push_back(special("Axes", Kind::AxesRef));
  p.push_back(pick("Units", {"normalized", "pixels"}));
  p.push_back(num("Position", Kind::Rect, {0.83, 0.11, 0.04, 0.815}));  // normalized
  p.push_back(pick("Location", {"eastoutside"}));
  p.push_back(num("Color", Kind::Color, {0, 0, 0}));  // outline, ticks and labels
  p.push_back(num("FontSize", Kind::Size, {10}));
  p.push_back(text("Label"));
  return p;
}

std::vector<Prop> textProps() {
  std::vector<Prop> p;
  addCommon(p);
  p.push_back(num("Color", Kind::Color, {0, 0, 0}));
  p.push_back(num("FontSize", Kind::Size, {10}));
  p.push_back(text("FontName", "Helvetica"));
  p.push_back(pick("FontWeight", {"normal", "bold", "light", "demi"}));
  p.push_back(pick("FontAngle", {"normal", "italic", "oblique"}));
  p.push_back(pick("HorizontalAlignment", {"left", "center", "right"}));
  p.push_back(pick("VerticalAlignment", {"middle", "top", "cap", "baseline", "bottom"}));
  p.push_back(num("Position", Kind::Point, {0, 0, 0}));
  p.push_back(num("Rotation", Kind::Number, {0}));
  p.push_back(text("String"));
  p.push_back(pick("Units", {"data", "normalized", "pixels"}));
  return p;
}

std::vector<Prop> uicontrolProps() {
  std::vector<Prop> p;
  addCommon(p);
  p.push_back(pick("Style", {"pushbutton", "togglebutton", "radiobutton", "checkbox", "edit",
                             "text", "slider", "frame", "listbox", "popupmenu"}));
  p.push_back(text("String"));
  p.push_back(pick("Units", {"pixels", "normalized"}));
  p.push_back(num("Position", Kind::Rect, {20, 20, 60, 20}));  // pixels
  p.push_back(num("BackgroundColor", Kind::Color, {0.8, 0.8, 0.8}));
  p.push_back(num("ForegroundColor", Kind::Color, {0, 0, 0}));
  p.push_back(num("FontSize", Kind::Size, {8}));
  p.push_back(text("FontName", "Helvetica"));
  p.push_back(pick("HorizontalAlignment", {"center", "left", "right"}));
  p.push_back(num("ListboxTop", Kind::Number, {1}));
  p.push_back(num("Value", Kind::Number, {0}));
  p.push_back(num("Min", Kind::Number, {0}));
  p.push_back(num("Max", Kind::Number, {1}));
  p.push_back(pick("Enable", {"on", "off", "inactive"}));
  return p;
}

const std::vector<Prop> &propsOf(Type t) {
  static const std::vector<Prop> tables[] = {figureProps(), axesProps(),      lineProps(),
                                             textProps(),   uicontrolProps(), imageProps(),
                                             legendProps(), colorbarProps()};
  return tables[static_cast<int>(t)];
}

const char *nameOf(Type t) {
  static const char *names[] = {"figure",    "axes",  "line",   "text",
                                "uicontrol", "image", "legend", "colorbar"};
  return names[static_cast<int>(t)];
}

bool sameWord(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

const Prop *findProp(Type t, std::string_view name) {
  for (const Prop &p : propsOf(t)) {
    if (sameWord(p.name, name)) return &p;
  }
  return nullptr;
}

const Prop &propOrRaise(Type t, std::string_view name) {
  const Prop *p = findProp(t, name);
  if (!p)
    raise("There is no \"" + std::string(name) + "\" property of the " + nameOf(t) + " class.");
  return *p;
}

// --- The store ---

struct Value {
  const Prop *prop;
  Owned array;
};

struct Object {
  Type type;
  double parent = 0;
  std::vector<double> children;  // creation order
  std::vector<Value> values;     // the properties set, in the order first set
};

struct Store {
  std::map<double, Object> objects;
  std::vector<double> figures;  // creation order
  double currentFigure = 0;
  std::uint64_t counter = 0;
};

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

std::string textOf(const Array &a) {
  if (!a.isChar()) return {};
  return detail::toUtf8({a.chars(), a.numel()});
}

Owned row(const std::vector<double> &v, std::size_t rows = 1) {
  Owned a(detail::newDouble(v.empty() ? 0 : rows, v.empty() ? 0 : v.size() / rows));
  if (!v.empty()) std::copy(v.begin(), v.end(), a->mutableReals());
  return a;
}
Owned string(std::string_view utf8) { return Owned(detail::newString(detail::fromUtf8(utf8))); }

// The pixel size of the area an object's normalized position is taken against.
std::pair<double, double> referenceSize(Type t, double parent);

// --- Values and their checks ---

std::string describe(const Array &a) {
  const char *cls = a.isChar()      ? "char"
                    : a.isLogical() ? "logical"
                    : a.isComplex() ? "complex double"
                                    : "double";
  return "a " + detail::sizeText(a) + " " + cls + " array";
}

[[noreturn]] void badValue(Type t, const Prop &p, const Array &a, const std::string &expected) {
  raise("Bad value for " + std::string(nameOf(t)) + " property \"" + p.name + "\": expected " +
        expected + ", got " + describe(a) + ".");
}

// Real numbers: a complex value fits no property (a colour, a position, line data).
bool isNumeric(const Array &a) { return (a.isDouble() && !a.isComplex()) || a.isLogical(); }
bool isRow(const Array &a, std::size_t n) {
  return a.dims.size() == 2 && a.dims[0] == 1 && a.dims[1] == n;
}
bool allIn(const Array &a, double lo, double hi) {
  for (std::size_t k = 0; k < a.numel(); ++k) {
    double v = a.number(k);
    if (!(v >= lo && v <= hi)) return false;
  }
  return true;
}
bool allFinite(const Array &a) {
  for (std::size_t k = 0; k < a.numel(); ++k) {
    if (!std::isfinite(a.number(k))) return false;
  }
  return true;
}

// A numeric value as a double array sharing nothing odd: doubles are shared, logicals copied.
Owned asDouble(const Array &a) {
  if (a.isDouble()) return Owned(detail::shareOf(&a));
  Owned d(detail::newArray(mxDOUBLE_CLASS, a.dims));
  double *out = d->mutableReals();
  for (std::size_t k = 0; k < a.numel(); ++k) out[k] = a.number(k);
  return d;
}

double handleValue(const Array &a, const char *what) {
  if (!a.isDouble() || a.isComplex() || !a.isScalar()) {
    raise(std::string(what) + ": a handle must be a scalar double, not " + describe(a) + ".");
  }
  return a.reals()[0];
}

// Checks a value against its property and gives the array to store.
Owned checked(Type t, const Prop &p, const Array &a) {
  switch (p.kind) {
    case Kind::Color:
      if (!isNumeric(a) || !isRow(a, 3) || !allIn(a, 0, 1))
        badValue(t, p, a, "a 1x3 vector of numbers in [0, 1]");
      return asDouble(a);
    case Kind::ColorTable:
      if (!isNumeric(a) || a.dims.size() != 2 || a.dims[1] != 3 || a.dims[0] == 0 ||
          !allIn(a, 0, 1)) {
        badValue(t, p, a, "an m x 3 matrix of numbers in [0, 1]");
      }
      return asDouble(a);
    case Kind::Rect:
      if (!isNumeric(a) || !isRow(a, 4) || !allFinite(a) || a.number(2) < 0 || a.number(3) < 0) {
        badValue(t, p, a, "a 1x4 vector [left bottom width height] of finite numbers");
      }
      return asDouble(a);
    case Kind::Point:
      if (!isNumeric(a) || !(isRow(a, 2) || isRow(a, 3)) || !allFinite(a)) {
        badValue(t, p, a, "a 1x2 or 1x3 vector of finite numbers");
      }
      return asDouble(a);
    case Kind::Vector3:
      if (!isNumeric(a) || !isRow(a, 3) || !allFinite(a) || allIn(a, 0, 0)) {
        badValue(t, p, a, "a 1x3 vector of finite numbers, not all zero");
      }
      return asDouble(a);
    case Kind::Limits:
      if (!isNumeric(a) || !isRow(a, 2) || !allFinite(a) || !(a.number(0) < a.number(1))) {
        badValue(t, p, a, "a 1x2 vector of increasing finite numbers");
      }
      return asDouble(a);
    case Kind::Number:
    case Kind::Size:
      if (!isNumeric(a) || !a.isScalar() || !std::isfinite(a.number(0)) ||
          (p.kind == Kind::Size && !(a.number(0) > 0))) {
        badValue(t, p, a, p.kind == Kind::Size ? "a positive finite scalar" : "a finite scalar");
      }
      return asDouble(a);
    case Kind::Choice: {
      std::string word = textOf(a);
      bool isWord = a.isChar() && a.dims.size() == 2 && a.dims[0] <= 1;
      for (const std::string &c : p.choices) {
        if (isWord && sameWord(c, word)) return string(c);
      }
      std::string list;
      for (const std::string &c : p.choices) list += (list.empty() ? "\"" : ", \"") + c + "\"";
      if (isWord) {
        raise("Bad value for " + std::string(nameOf(t)) + " property \"" + p.name + "\": \"" +
              word + "\" is not one of " + list + ".");
      }
      badValue(t, p, a, "one of " + list);
    }
    case Kind::Text:
      if (a.isChar() && a.dims.size() == 2) return Owned(detail::shareOf(&a));
      if (a.isEmpty()) return string("");
      badValue(t, p, a, "text (a char array)");
    case Kind::Data:
    case Kind::Handles:
      if (!isNumeric(a) || !(a.isVector() || a.isEmpty()) || a.dims.size() != 2) {
        badValue(t, p, a, "a numeric vector");
      }
      return asDouble(a);
    case Kind::Matrix:
      if (!isNumeric(a) || a.dims.size() != 2) badValue(t, p, a, "a numeric matrix");
      return asDouble(a);
    case Kind::PointerShape:
      if (!isNumeric(a) || a.dims.size() != 2 || a.dims[0] != a.dims[1] ||
          (a.dims[0] != 16 && a.dims[0] != 32)) {
        badValue(t, p, a, "a 16x16 or 32x32 matrix");
      }
      return asDouble(a);
    case Kind::Parent:
    case Kind::Label:
    case Kind::AxesRef:
      if (p.kind != Kind::Parent && a.isEmpty()) return row({});
      handleValue(a, nameOf(t));
      return asDouble(a);
    case Kind::Any:
      return Owned(detail::shareOf(&a));
    case Kind::ReadOnly:
      break;
  }
  raise("The " + std::string(nameOf(t)) + " property \"" + p.name + "\" is read-only.");
}

std::optional<Type> parentTypeOf(Type t) {
  switch (t) {
    case Type::Figure:
      return std::nullopt;
    case Type::Axes:
    case Type::Uicontrol:
    case Type::Legend:
    case Type::Colorbar:
      return Type::Figure;
    default:
      return Type::Axes;
  }
}

// --- Positions and units ---

std::string unitsOf(Type t, const std::vector<Value> &values) {
  const Array *u = valueOf(values, propOrRaise(t, "Units"));
  return u ? textOf(*u) : propOrRaise(t, "Units").choices.front();
}

std::pair<double, double> referenceSize(Type t, double parent) {
  if (t == Type::Figure) return {kScreenWidth, kScreenHeight};
  const Object *fig = lookup(parent);
  if (!fig) return {560, 420};
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

bool hasRectUnits(Type t) {
  return t == Type::Figure || t == Type::Axes || t == Type::Uicontrol || t == Type::Colorbar;
}

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

double currentAxesOf(double figure);
Range cdataRange(double axes);

// An image's XData or YData when not set: 1 to the number of columns or rows.
Owned imageSpan(const Object &o, const Prop &p) {
  const Array *c = valueOf(o.values, propOrRaise(Type::Image, "CData"));
  std::size_t n = c ? (p.name == "XData" ? c->dims[1] : c->dims[0]) : 0;
  return row({1, static_cast<double>(std::max<std::size_t>(n, 1))});
}

Owned valueOrDefault(double handle, const Object &o, const Prop &p) {
  if (p.kind == Kind::Parent) return Owned(detail::newScalar(o.parent));
  if (o.type == Type::Figure && p.name == "CurrentAxes") {
    double ax = currentAxesOf(handle);
    return ax ? Owned(detail::newScalar(ax)) : row({});
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

// --- Changes: checked in full first, then applied, so a refused change alters nothing ---

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

double create(Type t, const detail::OperandList &ops, double figureHandle = 0);

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

double create(Type t, const detail::OperandList &ops, double figureHandle) {
  Change c = prepare(t, {}, 0, ops, 0);
  double parent = c.parent ? *c.parent : defaultParent(t);
  Store &s = store();
  double h = t != Type::Figure ? kFirstObject + static_cast<double>(++s.counter) + kHandleFraction
             : figureHandle    ? figureHandle
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

void set(double handle, const detail::OperandList &ops) {
  Object &o = objectOrRaise(handle);
  Change c = prepare(o.type, o.values, o.parent, ops, 1);
  o.values = std::move(c.values);
  if (c.parent) moveTo(handle, o, *c.parent);
  if (o.type == Type::Axes) attachLabels(handle, o, c.labels);
}

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

mxArray *createFrom(Type t, const std::vector<Array *> &args) {
  detail::OperandList ops(args, nameOf(t));
  return detail::temp(detail::newScalar(create(t, ops)));
}

mxArray *getFrom(const std::vector<Array *> &args) {
  detail::OperandList ops(args, "get");
  double h = handleValue(ops[0], "get");
  const Object &o = objectOrRaise(h);
  if (ops.size() != 2) {
    raise("get: give one property name (" + std::to_string(ops.size() - 1) + " given).");
  }
  const Array &name = ops[1];
  if (!name.isChar() || name.dims[0] > 1) {
    raise("get: a property name must be text, not " + describe(name) + ".");
  }
  return detail::temp(valueOrDefault(h, o, propOrRaise(o.type, textOf(name))).release());
}

mxArray *setFrom(int nargout, const std::vector<Array *> &args) {
  detail::OperandList ops(args, "set");
  set(handleValue(ops[0], "set"), ops);
  return nargout > 0 ? detail::temp(detail::newDouble(0, 0)) : nullptr;
}

}  // namespace

// --- Read side ---

double create(Type type, const std::vector<mxArray *> &pairs) {
  detail::OperandList ops(pairs, nameOf(type));
  return create(type, ops);
}

double createFigure(double handle, const std::vector<mxArray *> &pairs) {
  detail::OperandList ops(pairs, "figure");
  if (!(handle >= 1) || handle != std::floor(handle) || handle > 1e9) {
    raise("figure: a figure's handle must be a positive whole number, not " +
          detail::numberText(handle) + ".");
  }
  if (lookup(handle)) raise("figure: " + detail::numberText(handle) + " is already an object.");
  return create(Type::Figure, ops, handle);
}

void set(double handle, const std::vector<mxArray *> &pairs) {
  Owned h(detail::newScalar(handle));  // in the place of the handle operand set skips
  std::vector<Array *> args(pairs);
  args.insert(args.begin(), h.get());
  detail::OperandList ops(args, "set");
  set(handle, ops);
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

void clearAll() {
  Store &s = store();
  s.objects.clear();
  s.figures.clear();
  s.currentFigure = 0;
  s.counter = 0;
}

}  // namespace mexrt::graphics

// --- The operations compiled functions call ---

using mexrt::detail::gatherList;
using mexrt::graphics::Type;

#define MEXRT_CREATE(fn, type)                                           \
  mxArray *fn(int nargout, ...) {                                        \
    va_list ap;                                                          \
    va_start(ap, nargout);                                               \
    std::vector<mxArray *> args = gatherList(va_arg(ap, mxArray *), ap); \
    va_end(ap);                                                          \
    return mexrt::graphics::createFrom(type, args);                      \
  }

extern "C" {

MEXRT_CREATE(mlfNFigure, Type::Figure)
MEXRT_CREATE(mlfNAxes, Type::Axes)
MEXRT_CREATE(mlfNLine, Type::Line)
MEXRT_CREATE(mlfNText, Type::Text)
MEXRT_CREATE(mlfNUicontrol, Type::Uicontrol)

mxArray *mlfNGet(int /*nargout*/, mxArray *handle, ...) {
  va_list ap;
  va_start(ap, handle);
  std::vector<mxArray *> args = gatherList(va_arg(ap, mxArray *), ap);
  va_end(ap);
  args.insert(args.begin(), handle);
  return mexrt::graphics::getFrom(args);
}

mxArray *mlfNSet(int nargout, mxArray *handle, ...) {
  va_list ap;
  va_start(ap, handle);
  std::vector<mxArray *> args = gatherList(va_arg(ap, mxArray *), ap);
  va_end(ap);
  args.insert(args.begin(), handle);
  return mexrt::graphics::setFrom(nargout, args);
}

}  // extern "C"
