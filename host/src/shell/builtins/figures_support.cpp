// The figures family's shared plumbing: held arguments, property lists, reading the
// store, and the current figure and axes.
#include "shell/builtins/figures_support.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace shell::builtins::figures {

Held::Held(Args &args) {
  a_.reserve(args.size());
  for (mxArray *x : args) a_.push_back(mclInitialize(x));
  args.clear();
}

Held::~Held() {
  for (mxArray *x : a_) mxDestroyArray(x);
}

Pairs::~Pairs() {
  for (mxArray *a : made_) mxDestroyArray(a);
}

mxArray *Pairs::made(mxArray *a) {
  made_.push_back(a);
  return a;
}

Pairs &Pairs::add(const char *name, mxArray *lent) {
  list_.push_back(made(mxCreateString(name)));
  list_.push_back(lent);
  return *this;
}

Pairs &Pairs::add(const char *name, double v) { return add(name, made(mxCreateDoubleScalar(v))); }

Pairs &Pairs::add(const char *name, const std::vector<double> &row) {
  mxArray *a = made(mxCreateDoubleMatrix(row.empty() ? 0 : 1, row.size(), mxREAL));
  std::copy(row.begin(), row.end(), mxGetPr(a));
  return add(name, a);
}

Pairs &Pairs::add(const char *name, const char *text) {
  return add(name, made(mxCreateString(text)));
}

Pairs &Pairs::addTaken(const char *name, mxArray *temporary) {
  list_.push_back(made(mxCreateString(name)));
  list_.push_back(temporary);
  return *this;
}

Pairs &Pairs::addAll(std::span<mxArray *const> pairs, const char *fn) {
  if (pairs.size() % 2 != 0) {
    raise(std::string(fn) + ": property names and values must come in pairs.");
  }
  for (std::size_t k = 0; k < pairs.size(); k += 2) {
    if (!isText(pairs[k])) {
      raise(std::string(fn) + ": expected a property name (text) at argument position " +
            std::to_string(k + 1) + " of the name/value pairs.");
    }
    list_.push_back(pairs[k]);
    list_.push_back(pairs[k + 1]);
  }
  return *this;
}

namespace {
struct Destroy {
  void operator()(mxArray *a) const { mxDestroyArray(a); }
};
using Value = std::unique_ptr<mxArray, Destroy>;
}  // namespace

std::vector<double> numbers(double h, std::string_view name) {
  Value v(g::property(h, name));
  if (mxGetClassID(v.get()) != mxDOUBLE_CLASS) return {};
  const double *p = mxGetPr(v.get());
  return {p, p + mxGetNumberOfElements(v.get())};
}

double number(double h, std::string_view name) {
  std::vector<double> v = numbers(h, name);
  return v.empty() ? NAN : v[0];
}

std::string word(double h, std::string_view name) {
  Value v(g::property(h, name));
  return textOf(v.get());
}

bool isNumeric(const mxArray *a) {
  return a && (mxGetClassID(a) == mxDOUBLE_CLASS || mxGetClassID(a) == mxLOGICAL_CLASS);
}

bool isHandleOf(const mxArray *a, std::optional<g::Type> type) {
  if (!a || mxGetClassID(a) != mxDOUBLE_CLASS || mxGetNumberOfElements(a) != 1) return false;
  double h = mxGetPr(a)[0];
  return g::isObject(h) && (!type || g::typeOf(h) == *type);
}

std::vector<double> valuesOf(const mxArray *a) {
  std::size_t n = mxGetNumberOfElements(a);
  if (mxGetClassID(a) == mxDOUBLE_CLASS) return {mxGetPr(a), mxGetPr(a) + n};
  // A logical array, read through the runtime's own conversion of its elements.
  mxArray *copy = nullptr;
  mlfAssign(&copy, mclPlus(const_cast<mxArray *>(a), mlfScalar(0)));
  std::vector<double> v(mxGetPr(copy), mxGetPr(copy) + n);
  mxDestroyArray(copy);
  return v;
}

mxArray *handlesResult(const std::vector<double> &handles) {
  mxArray *a = mxCreateDoubleMatrix(handles.size(), handles.empty() ? 0 : 1, mxREAL);
  std::copy(handles.begin(), handles.end(), mxGetPr(a));
  return mlfReturnValue(a);
}

double currentFigure() {
  double f = g::currentFigure();
  return f ? f : g::create(g::Type::Figure, {});
}

double currentAxes() {
  double fig = currentFigure();
  std::vector<double> ax = numbers(fig, "CurrentAxes");
  if (!ax.empty()) return ax[0];
  Pairs p;
  p.add("Parent", fig);
  return g::create(g::Type::Axes, p.list());
}

double axesArgument(const Held &in, std::size_t &next) {
  if (next < in.size() && isHandleOf(in[next], g::Type::Axes)) {
    double ax = mxGetPr(in[next])[0];
    ++next;
    g::setCurrentFigure(g::parentOf(ax));
    Pairs p;
    p.add("CurrentAxes", ax);
    g::set(g::parentOf(ax), p.list());
    return ax;
  }
  return currentAxes();
}

void emptyAxes(double axes, bool keepLabels) {
  std::vector<double> labels;
  if (keepLabels) {
    for (const char *role : {"Title", "XLabel", "YLabel", "ZLabel"}) {
      std::vector<double> t = numbers(axes, role);
      labels.insert(labels.end(), t.begin(), t.end());
    }
  }
  for (double c : g::childrenOf(axes)) {
    if (std::find(labels.begin(), labels.end(), c) == labels.end()) g::remove(c);
  }
  double fig = g::parentOf(axes);
  for (double c : g::childrenOf(fig)) {
    if (g::typeOf(c) != g::Type::Legend) continue;
    std::vector<double> owner = numbers(c, "Axes");
    if (!owner.empty() && owner[0] == axes) g::remove(c);
  }
}

bool newPlot(double axes) {
  const std::string next = word(axes, "NextPlot");
  if (next == "add") return false;
  emptyAxes(axes, false);
  if (next == "replace") g::resetProperties(axes, {"Position", "Units", "Tag"});
  Pairs p;
  p.add("ColorOrderIndex", 1.0);
  g::set(axes, p.list());
  return true;
}

std::pair<double, double> figureSize(double figure) {
  std::array<double, 4> r = g::pixelPosition(figure);
  return {std::max(r[2], 1.0), std::max(r[3], 1.0)};
}

void placeInPixels(double h, const std::array<double, 4> &px) {
  std::vector<double> r(px.begin(), px.end());
  if (word(h, "Units") == "normalized") {
    auto [w, hgt] = figureSize(g::parentOf(h));
    r = {px[0] / w, px[1] / hgt, px[2] / w, px[3] / hgt};
  }
  Pairs p;
  p.add("Position", r);
  g::set(h, p.list());
}

}  // namespace shell::builtins::figures
