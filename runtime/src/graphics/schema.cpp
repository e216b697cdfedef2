// The property tables of the graphics classes: each property's name, what it accepts and
// its default, looked up by name in any case.
#include "graphics/schema.h"

#include <algorithm>
#include <cctype>

#include "core/array.h"

namespace mexrt::graphics::internal {

namespace {

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

}  // namespace

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

bool hasRectUnits(Type t) {
  return t == Type::Figure || t == Type::Axes || t == Type::Uicontrol || t == Type::Colorbar;
}

}  // namespace mexrt::graphics::internal
