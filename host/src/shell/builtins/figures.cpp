// The figures family: figures and their current axes, holding plots, properties of any
// graphics object by handle, and writing figures to PNG, SVG and PDF files. The plotting
// and axes functions of the family are in figures_plot.cpp and figures_axes.cpp.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "shell/builtins/figures_family.h"
#include "shell/builtins/figures_support.h"

namespace shell::builtins {

namespace figures {
namespace {

std::string handleText(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

std::string numberText(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

// A positive handle argument, or every handle of a numeric array.
std::vector<double> handlesOf(const mxArray *a, const char *fn) {
  if (!a || mxGetClassID(a) != mxDOUBLE_CLASS) {
    raise(std::string(fn) + ": expected graphics handles (numbers).");
  }
  std::vector<double> h = valuesOf(a);
  for (double v : h) {
    if (!g::isObject(v)) {
      raise(std::string(fn) + ": " + handleText(v) + " is not a graphics object.");
    }
  }
  return h;
}

// figure, figure(n), figure(name, value, ...), h = figure: makes a figure current, new or
// existing (figure(n) makes figure n when there is none).
Results figure(Evaluator &, const char *name, Args &a, int nargout) {
  outputs(name, nargout, 1);
  Held in(a);
  std::size_t k = 0;
  double fig = 0;
  if (k < in.size() && !isText(in[k])) {
    if (!isNumeric(in[k]) || mxGetNumberOfElements(in[k]) != 1)
      raise("figure: give a figure number or property names and values.");
    double n = valuesOf(in[k])[0];
    ++k;
    if (g::isObject(n) && g::typeOf(n) != g::Type::Figure)
      raise("figure: " + handleText(n) + " is not a figure.");
    if (g::isObject(n)) {
      fig = n;
      g::setCurrentFigure(fig);
      Pairs p;
      p.addAll(in.from(k), name);
      if (!p.list().empty()) g::set(fig, p.list());
    } else {
      Pairs p;
      p.addAll(in.from(k), name);
      fig = g::createFigure(n, p.list());
    }
  } else {
    Pairs p;
    p.addAll(in.from(k), name);
    fig = g::create(g::Type::Figure, p.list());
  }
  if (nargout > 0) return {mlfScalar(fig)};
  return {};
}

// The figure an argument names, or the current one (made when there is none).
double figureOf(const Held &in, std::size_t k, const char *fn) {
  if (k >= in.size()) return currentFigure();
  if (!isHandleOf(in[k], g::Type::Figure)) raise(std::string(fn) + ": expected a figure handle.");
  return mxGetPr(in[k])[0];
}

// clf, clf(fig): empties a figure.
Results clf(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 0, 1);
  outputs(name, nargout, 0);
  Held in(a);
  double fig = in.size() == 1 && isText(in[0]) ? currentFigure() : figureOf(in, 0, name);
  for (double c : g::childrenOf(fig)) {
    if (g::isObject(c)) g::remove(c);
  }
  return {};
}

// close, close(h), close('all'): removes figures; their files are no longer written.
Results close(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 0, 1);
  outputs(name, nargout, 0);
  Held in(a);
  std::vector<double> doomed;
  if (in.size() == 0) {
    if (double f = g::currentFigure(); f != 0) doomed.push_back(f);
  } else if (isText(in[0])) {
    if (textOf(in[0]) != "all") raise("close: use close, close(h) or close('all').");
    doomed = g::figures();
  } else {
    doomed = handlesOf(in[0], name);
    for (double h : doomed) {
      if (g::typeOf(h) != g::Type::Figure) raise("close: only figures can be closed.");
    }
  }
  for (double f : doomed) {
    if (g::isObject(f)) g::remove(f);
  }
  return {};
}

Results gcf(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 0, 0);
  outputs(name, nargout, 1);
  return {mlfScalar(currentFigure())};
}

Results gca(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 0, 0);
  outputs(name, nargout, 1);
  return {mlfScalar(currentAxes())};
}

// hold on, hold off, hold (toggles), hold(ax, ...): whether plotting adds to the axes.
Results hold(Evaluator &, const char *name, Args &a, int nargout) {
  outputs(name, nargout, 0);
  Held in(a);
  std::size_t k = 0;
  const double axes = axesArgument(in, k);
  if (in.size() > k + 1) raise("Too many input arguments for 'hold'.");
  std::string next;
  if (k < in.size()) {
    std::string s = isText(in[k]) ? textOf(in[k]) : std::string("?");
    if (s == "on" || s == "all") {
      next = "add";
    } else if (s == "off") {
      next = "replace";
    } else {
      raise("hold: '" + s + "' is not 'on' or 'off'.");
    }
  } else {
    next = word(axes, "NextPlot") == "add" ? "replace" : "add";
  }
  Pairs p;
  p.add("NextPlot", next.c_str());
  g::set(axes, p.list());
  return {};
}

Results ishold(Evaluator &, const char *name, Args &a, int nargout) {
  outputs(name, nargout, 1);
  Held in(a);
  std::size_t k = 0;
  const double axes = axesArgument(in, k);
  return {mlfReturnValue(mxCreateLogicalScalar(word(axes, "NextPlot") == "add"))};
}

// cla, cla(ax): removes the axes' lines, images and texts (not its title and labels).
Results cla(Evaluator &, const char *name, Args &a, int nargout) {
  outputs(name, nargout, 0);
  Held in(a);
  std::size_t k = 0;
  const double axes = axesArgument(in, k);
  emptyAxes(axes, true);
  Pairs p;
  p.add("ColorOrderIndex", 1.0);
  g::set(axes, p.list());
  return {};
}

// --- Properties by handle ---

// A property's value as get(h) lists it.
std::string shown(const mxArray *v) {
  const std::size_t m = mxGetM(v), n = mxGetN(v);
  const std::string size = std::to_string(m) + "x" + std::to_string(n);
  if (mxGetClassID(v) == mxCHAR_CLASS) return m <= 1 ? textOf(v) : "[" + size + " char]";
  if (mxGetNumberOfElements(v) == 0) return "[]";
  if (mxGetClassID(v) != mxDOUBLE_CLASS) return "[" + size + "]";
  if (m == 1 && n <= 4) {
    std::string s = n == 1 ? "" : "[";
    for (std::size_t k = 0; k < n; ++k) s += (k ? " " : "") + numberText(mxGetPr(v)[k]);
    return n == 1 ? s : s + "]";
  }
  return "[" + size + " double]";
}

void print(const std::string &s) {
  std::fwrite(s.data(), 1, s.size(), stdout);
  std::fflush(stdout);
}

// The listing of get(h): every property and its value, one a line.
void listProperties(double h) {
  std::string out;
  for (const std::string &p : g::propertyNames(h)) {
    std::unique_ptr<mxArray, void (*)(mxArray *)> v(g::property(h, p), mxDestroyArray);
    out += "\t" + p + " = " + shown(v.get()) + "\n";
  }
  print(out);
}

// The listing of set(h): every property, and the words a choice accepts, its default in braces.
void listChoices(double h, const std::vector<std::string> &names) {
  std::string out;
  for (const std::string &p : names) {
    std::vector<std::string> words = g::propertyChoices(h, p);
    out += "\t" + p;
    if (!words.empty()) {
      out += ": [";
      for (std::size_t k = 0; k < words.size(); ++k)
        out += (k ? " | " : " ") + (k == 0 ? "{" + words[k] + "}" : words[k]);
      out += " ]";
    }
    out += "\n";
  }
  print(out);
}

// get(h, name): a property's value; get(h): the list of properties and values.
Results get(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 2);
  Held in(a);
  std::vector<double> h = handlesOf(in[0], name);
  if (h.size() != 1) raise("get: give one handle.");
  if (in.size() == 1) {
    if (nargout > 0) raise("get(h) lists the properties; ask for one by name, get(h, 'Name').");
    listProperties(h[0]);
    return {};
  }
  outputs(name, nargout, 1);
  if (!isText(in[1])) raise("get: a property name must be text.");
  return {mlfReturnValue(g::property(h[0], textOf(in[1])))};
}

// set(h, name, value, ...) on one or several objects; set(h) and set(h, name) list the
// properties and the words they accept.
Results set(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1 + 2 * kMaxListed);
  outputs(name, nargout, 0);
  Held in(a);
  std::vector<double> h = handlesOf(in[0], name);
  if (in.size() <= 2) {
    if (h.size() != 1) raise("set: give one handle to list its properties.");
    if (in.size() == 2 && !isText(in[1])) raise("set: a property name must be text.");
    listChoices(h[0],
                in.size() == 2 ? std::vector<std::string>{textOf(in[1])} : g::propertyNames(h[0]));
    return {};
  }
  Pairs p;
  p.addAll(in.from(1), name);
  for (double x : h) g::set(x, p.list());
  return {};
}

// ishandle(h): true where h names a graphics object.
Results ishandle(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1);
  outputs(name, nargout, 1);
  Held in(a);
  if (mxGetClassID(in[0]) != mxDOUBLE_CLASS) return {mlfReturnValue(mxCreateLogicalScalar(false))};
  mxArray *found = mxCreateDoubleMatrix(mxGetM(in[0]), mxGetN(in[0]), mxREAL);
  std::vector<double> v = valuesOf(in[0]);
  for (std::size_t k = 0; k < v.size(); ++k) mxGetPr(found)[k] = g::isObject(v[k]) ? 1 : 0;
  return {mclNe(mlfReturnValue(found), mlfScalar(0))};
}

// --- Files ---

void render(Evaluator &ev, double figure, const std::string &file, double resolution) {
  if (!ev.hooks().renderFigure) raise("Figures cannot be written here.");
  ev.hooks().renderFigure(figure, file, resolution);
}

double namedOrCurrent(double figure, const char *fn) {
  if (figure == 0) figure = g::currentFigure();
  if (figure == 0) raise(std::string(fn) + ": there is no figure to write.");
  return figure;
}

// print(fig, '-dpng', 'file'), print('-dsvg', 'file'), print('-f2', '-r150', 'file'): the
// format by the device option or the file's extension, PNG when neither gives one; -r the
// resolution in dots per inch (96, the screen's, by default).
Results print(Evaluator &ev, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 4);
  outputs(name, nargout, 0);
  double figure = 0, resolution = 96;
  std::string device, file;
  for (mxArray *x : a) {
    if (!isText(x)) {
      figure = takeNumber(x, "print");
      continue;
    }
    std::string s = takeText(x, "print");
    if (s.rfind("-d", 0) == 0) {
      device = s.substr(2);
    } else if (s.rfind("-f", 0) == 0) {
      figure = std::strtod(s.c_str() + 2, nullptr);
    } else if (s.rfind("-r", 0) == 0) {
      char *end = nullptr;
      resolution = std::strtod(s.c_str() + 2, &end);
      if (end == s.c_str() + 2 || *end || !(resolution >= 0 && resolution <= 2400))
        raise("print: '" + s + "' is not a resolution; use -rN, N dots per inch up to 2400.");
      if (resolution == 0) resolution = 96;  // -r0: the screen's
    } else if (s.size() > 1 && s[0] == '-') {
      raise("print: unknown option '" + s + "'; use -dpng, -dsvg, -dpdf, -fN or -rN.");
    } else {
      file = s;
    }
  }
  if (file.empty()) raise("print: name the file to write.");
  if (device == "svg" || device == "pdf" || device == "png" || device.empty()) {
    bool hasExtension = file.find('.', file.find_last_of('/') + 1) != std::string::npos;
    if (!hasExtension) file += "." + (device.empty() ? std::string("png") : device);
  } else {
    raise("print: unknown device '-d" + device + "'; use -dpng, -dsvg or -dpdf.");
  }
  render(ev, namedOrCurrent(figure, "print"), file, resolution);
  return {};
}

// saveas(fig, 'file.png'), saveas(fig, 'file', 'svg'): the format by the file's extension
// or the third argument.
Results saveas(Evaluator &ev, const char *name, Args &a, int nargout) {
  arity(name, a, 2, 3);
  outputs(name, nargout, 0);
  double figure = takeNumber(a[0], "saveas");
  std::string file = takeText(a[1], "saveas");
  if (a.size() == 3) {
    std::string format = takeText(a[2], "saveas");
    if (format != "png" && format != "svg" && format != "pdf")
      raise("saveas: unknown format '" + format + "'; use 'png', 'svg' or 'pdf'.");
    if (file.find('.', file.find_last_of('/') + 1) == std::string::npos) file += "." + format;
  }
  // Any object names the figure it is in.
  while (g::isObject(figure) && g::typeOf(figure) != g::Type::Figure) figure = g::parentOf(figure);
  render(ev, namedOrCurrent(figure, "saveas"), file, 96);
  return {};
}

std::span<const Builtin> figureBuiltins() {
  static const Builtin kTable[] = {
      {"figure", figure, "figure, figure(n), h = figure: a new figure, or figure n, made current"},
      {"clf", clf, "clf, clf(fig): removes everything in the current figure"},
      {"close", close, "close, close(h), close('all'): removes figures"},
      {"gcf", gcf, "gcf: the current figure's handle (one is made if there is none)"},
      {"gca", gca, "gca: the current axes' handle (one is made if there is none)"},
      {"hold", hold, "hold on, hold off: whether plotting adds to the axes or replaces"},
      {"ishold", ishold, "ishold: true when plotting adds to the current axes"},
      {"cla", cla, "cla: removes the current axes' lines, images and texts"},
      {"get", get, "get(h, name): a property of a graphics object; get(h) lists them all"},
      {"set", set, "set(h, name, value, ...): sets properties; set(h) lists the choices"},
      {"ishandle", ishandle, "ishandle(h): true where h is a graphics object"},
      {"print", print,
       "print([fig,] '-dpng', file): writes a figure to PNG, SVG (-dsvg) or PDF (-dpdf); -rN dpi"},
      {"saveas", saveas, "saveas(fig, file): writes a figure, the format by the file's extension"},
  };
  return kTable;
}

}  // namespace
}  // namespace figures

std::span<const Builtin> figuresFamily() {
  static const std::vector<Builtin> kTable = [] {
    std::vector<Builtin> all;
    for (auto part :
         {figures::figureBuiltins(), figures::plottingBuiltins(), figures::axesBuiltins()}) {
      all.insert(all.end(), part.begin(), part.end());
    }
    return all;
  }();
  return kTable;
}

}  // namespace shell::builtins
