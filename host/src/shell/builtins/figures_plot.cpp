// The figures family, plotting: lines from vectors and matrices with format strings and
// the axes' colour order, images with colour maps, and the colour bar.
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "shell/builtins/figures_family.h"
#include "shell/builtins/figures_support.h"

namespace shell::builtins::figures {

namespace {

// --- Format strings: colour, line style and marker, each at most once, in any order ---

struct Format {
  std::optional<std::vector<double>> color;
  std::string lineStyle;  // empty: not given
  std::string marker;     // the store's name; empty: not given
};

std::optional<Format> parseFormat(const std::string &s) {
  static const struct {
    char code;
    std::vector<double> rgb;
  } kColors[] = {{'b', {0, 0, 1}}, {'g', {0, 1, 0}}, {'r', {1, 0, 0}}, {'c', {0, 1, 1}},
                 {'m', {1, 0, 1}}, {'y', {1, 1, 0}}, {'k', {0, 0, 0}}, {'w', {1, 1, 1}}};
  static const struct {
    char code;
    const char *name;
  } kMarkers[] = {{'o', "o"},       {'x', "x"}, {'+', "+"}, {'*', "*"}, {'.', "."}, {'s', "square"},
                  {'d', "diamond"}, {'^', "^"}, {'v', "v"}, {'<', "<"}, {'>', ">"}};
  Format f;
  for (std::size_t i = 0; i < s.size();) {
    const char c = s[i];
    if (c == '-' || c == ':') {
      if (!f.lineStyle.empty()) return std::nullopt;
      std::size_t n = c == '-' && i + 1 < s.size() && (s[i + 1] == '-' || s[i + 1] == '.') ? 2 : 1;
      f.lineStyle = s.substr(i, n);
      i += n;
      continue;
    }
    bool known = false;
    for (const auto &k : kColors) {
      if (c != k.code) continue;
      if (f.color) return std::nullopt;
      f.color = k.rgb;
      known = true;
    }
    for (const auto &k : kMarkers) {
      if (known || c != k.code) continue;
      if (!f.marker.empty()) return std::nullopt;
      f.marker = k.name;
      known = true;
    }
    if (!known) return std::nullopt;
    ++i;
  }
  if (!f.marker.empty() && f.lineStyle.empty()) f.lineStyle = "none";
  return f;
}

// --- The lines of one x/y group ---

// One series of a group: x and y as row vectors (temporaries the store takes).
struct Series {
  mxArray *x, *y;
};

bool isVec(const mxArray *a) { return mxGetM(a) == 1 || mxGetN(a) == 1; }

mxArray *asRow(mxArray *v) { return mlfCtranspose(mclArrayRef1(v, mlfCreateColonIndex())); }
mxArray *column(mxArray *m, std::size_t j) {
  return mlfCtranspose(mclArrayRef2(m, mlfCreateColonIndex(), mlfScalar(static_cast<double>(j))));
}
mxArray *rowOf(mxArray *m, std::size_t i) {
  return mclArrayRef2(m, mlfScalar(static_cast<double>(i)), mlfCreateColonIndex());
}
mxArray *counting(std::size_t n) { return mlfColon(mlfScalar(1), mlfScalar(double(n)), nullptr); }

void checkData(const mxArray *a, const char *fn) {
  if (!isNumeric(a)) {
    raise(std::string(fn) + ": the data must be numeric, not " +
          (mxGetClassID(a) == mxCHAR_CLASS ? "text" : "this class") + ".");
  }
  if (mxGetNumberOfDimensions(a) > 2) raise(std::string(fn) + ": the data must be 2-D.");
}

std::string sizeText(const mxArray *a) {
  return std::to_string(mxGetM(a)) + "x" + std::to_string(mxGetN(a));
}

// The series of plot(y) or plot(x, y): a vector is one line; a matrix gives one line per
// column, or per row when only its rows match the other vector's length.
std::vector<std::size_t> seriesCount(mxArray *x, mxArray *y, const char *fn, bool &byRows) {
  byRows = false;
  if (!x) return {isVec(y) ? std::size_t(1) : mxGetN(y)};
  const std::size_t nx = mxGetNumberOfElements(x), ny = mxGetNumberOfElements(y);
  if (isVec(x) && isVec(y)) {
    if (nx != ny) {
      raise(std::string(fn) + ": the vectors must have the same length (" + std::to_string(nx) +
            " and " + std::to_string(ny) + ").");
    }
    return {1};
  }
  mxArray *vec = isVec(x) ? x : isVec(y) ? y : nullptr;
  mxArray *mat = vec == x ? y : x;
  if (!vec) {
    if (mxGetM(x) != mxGetM(y) || mxGetN(x) != mxGetN(y)) {
      raise(std::string(fn) + ": the matrices must have the same size (" + sizeText(x) + " and " +
            sizeText(y) + ").");
    }
    return {mxGetN(y)};
  }
  const std::size_t n = mxGetNumberOfElements(vec);
  if (mxGetM(mat) == n) return {mxGetN(mat)};
  if (mxGetN(mat) == n) {
    byRows = true;
    return {mxGetM(mat)};
  }
  raise(std::string(fn) + ": the vector's length (" + std::to_string(n) +
        ") matches neither dimension of the " + sizeText(mat) + " matrix.");
}

std::vector<Series> seriesOf(mxArray *x, mxArray *y, const char *fn) {
  if (mxGetNumberOfElements(y) == 0 || (x && mxGetNumberOfElements(x) == 0)) return {};
  bool byRows = false;
  const std::size_t count = seriesCount(x, y, fn, byRows)[0];
  auto part = [&](mxArray *a, std::size_t k) {
    if (isVec(a)) return asRow(a);
    return byRows ? rowOf(a, k) : column(a, k);
  };
  std::vector<Series> out;
  for (std::size_t k = 1; k <= count; ++k) {
    mxArray *yk = part(y, k);
    mxArray *xk = x ? part(x, k) : counting(mxGetNumberOfElements(yk));
    out.push_back({xk, yk});
  }
  return out;
}

struct Group {
  mxArray *x = nullptr, *y = nullptr;
  Format format;
};

bool namesColor(std::span<mxArray *const> pairs) {
  for (std::size_t k = 0; k + 1 < pairs.size(); k += 2) {
    if (isText(pairs[k]) && strcasecmp(textOf(pairs[k]).c_str(), "Color") == 0) return true;
  }
  return false;
}

// The next colour of the axes' colour order, moving its index on.
std::vector<double> nextColor(double ax) {
  std::vector<double> order = numbers(ax, "ColorOrder");
  const std::size_t m = order.size() / 3;
  double index = number(ax, "ColorOrderIndex");
  std::size_t k = m ? static_cast<std::size_t>(std::max(index, 1.0) - 1) % m : 0;
  Pairs p;
  p.add("ColorOrderIndex", static_cast<double>(k + 2));
  g::set(ax, p.list());
  if (!m) return {0, 0, 1};
  return {order[k], order[m + k], order[2 * m + k]};
}

// plot([ax,] y), plot(x, y), plot(x, y, fmt, x2, y2, fmt2, ..., name, value, ...).
Results plotLines(const char *fn, Args &a, int nargout, const char *xScale, const char *yScale) {
  outputs(fn, nargout, 1);
  Held in(a);
  std::size_t k = 0;
  std::optional<double> ax;
  if (in.size() > 1 && isHandleOf(in[0], g::Type::Axes)) ax = axesArgument(in, k);
  std::vector<Group> groups;
  while (k < in.size() && !isText(in[k])) {
    Group grp;
    checkData(in[k], fn);
    if (k + 1 < in.size() && !isText(in[k + 1])) {
      checkData(in[k + 1], fn);
      grp.x = in[k], grp.y = in[k + 1];
      k += 2;
    } else {
      grp.y = in[k++];
    }
    if (k < in.size() && isText(in[k])) {
      if (auto f = parseFormat(textOf(in[k]))) {
        grp.format = *f;
        ++k;
      } else if ((in.size() - k) % 2 != 0) {
        raise(std::string(fn) + ": '" + textOf(in[k]) +
              "' is not a format (colours b g r c m y k w, line styles - -- : -., markers o x + "
              "* . s d ^ v < >) nor a property name with a value.");
      }
    }
    groups.push_back(grp);
  }
  if (groups.empty() && k < in.size()) checkData(in[k], fn);
  if (groups.empty()) raise(std::string("Not enough input arguments for '") + fn + "'.");
  std::span<mxArray *const> props = in.from(k);
  if (props.size() % 2 != 0 || (props.size() && !isText(props[0]))) {
    raise(std::string(fn) + ": property names and values must come in pairs.");
  }
  for (const Group &grp : groups) {
    bool byRows;
    if (mxGetNumberOfElements(grp.y) && (!grp.x || mxGetNumberOfElements(grp.x)))
      seriesCount(grp.x, grp.y, fn, byRows);  // every group is checked before anything is drawn
  }

  const double axes = ax ? *ax : currentAxes();
  const bool fresh = newPlot(axes);
  std::vector<double> handles;
  const bool explicitColor = namesColor(props);
  for (const Group &grp : groups) {
    for (const Series &s : seriesOf(grp.x, grp.y, fn)) {
      Pairs p;
      p.add("Parent", axes).addTaken("XData", s.x).addTaken("YData", s.y);
      if (grp.format.color) {
        p.add("Color", *grp.format.color);
      } else if (!explicitColor) {
        p.add("Color", nextColor(axes));
      }
      if (!grp.format.lineStyle.empty()) p.add("LineStyle", grp.format.lineStyle.c_str());
      if (!grp.format.marker.empty()) p.add("Marker", grp.format.marker.c_str());
      p.addAll(props, fn);
      handles.push_back(g::create(g::Type::Line, p.list()));
    }
  }
  if (fresh || std::strcmp(xScale, "linear") != 0 || std::strcmp(yScale, "linear") != 0) {
    Pairs p;
    p.add("XScale", xScale).add("YScale", yScale);
    g::set(axes, p.list());
  }
  if (nargout > 0) return {handlesResult(handles)};
  return {};
}

Results plot(Evaluator &, const char *name, Args &a, int nargout) {
  return plotLines(name, a, nargout, "linear", "linear");
}
Results semilogx(Evaluator &, const char *name, Args &a, int nargout) {
  return plotLines(name, a, nargout, "log", "linear");
}
Results semilogy(Evaluator &, const char *name, Args &a, int nargout) {
  return plotLines(name, a, nargout, "linear", "log");
}
Results loglog(Evaluator &, const char *name, Args &a, int nargout) {
  return plotLines(name, a, nargout, "log", "log");
}

// --- Images ---

// The centres of the first and last cell from a vector of positions (or its two ends).
std::vector<double> span(const mxArray *v, const char *fn, const char *which) {
  if (!isNumeric(v) || !isVec(v) || mxGetNumberOfElements(v) == 0) {
    raise(std::string(fn) + ": " + which + " must be a numeric vector.");
  }
  std::vector<double> x = valuesOf(v);
  if (!std::isfinite(x.front()) || !std::isfinite(x.back())) {
    raise(std::string(fn) + ": " + which + " must be finite.");
  }
  return {x.front(), x.back()};
}

// imagesc([ax,] C), imagesc(x, y, C), imagesc(..., [lo hi]), then name/value pairs; image
// likewise with the values taken as colour-map indices.
Results showImage(const char *fn, Args &a, int nargout, bool scaled) {
  outputs(fn, nargout, 1);
  Held in(a);
  std::size_t k = 0;
  std::optional<double> ax;
  if (in.size() > 1 && isHandleOf(in[0], g::Type::Axes)) ax = axesArgument(in, k);
  std::size_t data = k;
  while (data < in.size() && !isText(in[data])) ++data;
  const std::size_t count = data - k;
  if (count == 0 && k < in.size()) checkData(in[k], fn);
  if (count == 0) raise(std::string("Not enough input arguments for '") + fn + "'.");
  const bool withLimits = scaled && (count == 2 || count == 4);
  const std::size_t c = withLimits ? data - 2 : data - 1;
  if (count - (withLimits ? 1 : 0) != 1 && count - (withLimits ? 1 : 0) != 3) {
    raise(std::string(fn) + ": give C, or x, y and C" +
          (scaled ? ", optionally with [lo hi]" : "") + ".");
  }
  mxArray *cdata = in[c];
  checkData(cdata, fn);
  std::optional<std::vector<double>> xs, ys, clim;
  if (c == k + 2) {
    xs = span(in[k], fn, "x");
    ys = span(in[k + 1], fn, "y");
  }
  if (withLimits) {
    std::vector<double> l =
        isNumeric(in[data - 1]) ? valuesOf(in[data - 1]) : std::vector<double>{};
    if (l.size() != 2 || !std::isfinite(l[0]) || !std::isfinite(l[1]) || !(l[0] < l[1]))
      raise(std::string(fn) + ": the colour limits must be [lo hi] with lo < hi.");
    clim = l;
  }
  std::span<mxArray *const> props = in.from(data);
  if (props.size() % 2 != 0)
    raise(std::string(fn) + ": property names and values must come in pairs.");

  const double axes = ax ? *ax : currentAxes();
  const bool fresh = newPlot(axes);
  Pairs p;
  p.add("Parent", axes).add("CData", cdata).add("CDataMapping", scaled ? "scaled" : "direct");
  if (xs) p.add("XData", *xs).add("YData", *ys);
  p.addAll(props, fn);
  const double image = g::create(g::Type::Image, p.list());
  Pairs axp;
  if (fresh) {
    // A new image fills its axes, first row at the top.
    g::Range x = g::dataRange(axes, 0, false), y = g::dataRange(axes, 1, false);
    axp.add("YDir", "reverse").add("Box", "on");
    if (!x.empty() && x.lo < x.hi && !y.empty() && y.lo < y.hi) {
      axp.add("XLim", std::vector<double>{x.lo, x.hi}).add("YLim", std::vector<double>{y.lo, y.hi});
    }
  }
  if (clim) axp.add("CLim", *clim);
  if (!axp.list().empty()) g::set(axes, axp.list());
  if (nargout > 0) return {mlfScalar(image)};
  return {};
}

Results imagesc(Evaluator &, const char *name, Args &a, int nargout) {
  return showImage(name, a, nargout, true);
}
Results image(Evaluator &, const char *name, Args &a, int nargout) {
  return showImage(name, a, nargout, false);
}

// --- Colour maps ---

mxArray *mapArray(const std::vector<double> &v) {
  mxArray *a = mxCreateDoubleMatrix(v.size() / 3, 3, mxREAL);
  std::copy(v.begin(), v.end(), mxGetPr(a));
  return mlfReturnValue(a);
}

std::size_t mapSize(const Held &in, const char *fn) {
  if (in.size() == 0) return 64;
  if (!isNumeric(in[0]) || mxGetNumberOfElements(in[0]) != 1) {
    raise(std::string(fn) + ": the number of colours must be a whole number from 1 to 65536.");
  }
  double m = valuesOf(in[0])[0];
  if (!(m >= 1 && m <= 65536) || m != std::floor(m))
    raise(std::string(fn) + ": the number of colours must be a whole number from 1 to 65536.");
  return static_cast<std::size_t>(m);
}

// gray(m), jet(m), hot(m), viridis(m): the named map's m x 3 table (64 colours by default).
Results namedMap(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 0, 1);
  outputs(name, nargout, 1);
  Held in(a);
  return {mapArray(g::colormap(name, mapSize(in, name)))};
}

// colormap(name), colormap(M), m = colormap: the current figure's colour map.
Results colormap(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 0, 2);
  outputs(name, nargout, 1);
  Held in(a);
  std::size_t k = 0;
  double fig = currentFigure();
  if (in.size() > 1 && isHandleOf(in[0])) {
    double h = mxGetPr(in[0])[0];
    fig = g::typeOf(h) == g::Type::Figure ? h : g::parentOf(h);
    if (g::typeOf(fig) != g::Type::Figure) raise("colormap: give a figure or an axes handle.");
    k = 1;
  }
  if (k < in.size()) {
    Pairs p;
    if (isText(in[k])) {
      std::string which = textOf(in[k]);
      p.addTaken("Colormap", mapArray(g::colormap(which, 64)));
    } else {
      mxArray *m = in[k];
      if (!isNumeric(m) || mxGetNumberOfDimensions(m) != 2 || mxGetN(m) != 3 || mxGetM(m) == 0) {
        raise("colormap: a colour map is an m x 3 matrix of numbers in [0, 1], or a name (" + [] {
          std::string l;
          for (const std::string &n : g::colormapNames()) l += (l.empty() ? "" : ", ") + n;
          return l;
        }() + ").");
      }
      p.add("Colormap", m);
    }
    g::set(fig, p.list());
  }
  if (nargout > 0 || k == in.size()) return {mlfReturnValue(g::property(fig, "Colormap"))};
  return {};
}

// --- Colour bar ---

// The colour bar of an axes, or 0.
double colorbarOf(double axes) {
  for (double c : g::childrenOf(g::parentOf(axes))) {
    if (g::typeOf(c) != g::Type::Colorbar) continue;
    std::vector<double> owner = numbers(c, "Axes");
    if (!owner.empty() && owner[0] == axes) return c;
  }
  return 0;
}

// The share of an axes' width that a colour bar takes, with its gap and tick labels.
constexpr double kBarShrink = 0.84;  // what the axes keeps
constexpr double kBarLeft = 0.87;    // the bar's left edge, from the axes' left
constexpr double kBarWidth = 0.05;

// colorbar, colorbar(ax), colorbar('off'), then name/value pairs.
Results colorbar(Evaluator &, const char *name, Args &a, int nargout) {
  outputs(name, nargout, 1);
  Held in(a);
  std::size_t k = 0;
  const double axes = axesArgument(in, k);
  const double existing = colorbarOf(axes);
  std::array<double, 4> px = g::pixelPosition(axes);
  if (k < in.size() && isText(in[k]) && (in.size() - k) % 2 == 1) {
    std::string what = textOf(in[k]);
    if (what != "off" && what != "hide" && what != "delete")
      raise("colorbar: '" + what + "' is not an option (use 'off').");
    if (existing != 0) {
      g::remove(existing);
      placeInPixels(axes, {px[0], px[1], px[2] / kBarShrink, px[3]});
    }
    return {};
  }
  double bar = existing;
  if (bar == 0) {
    // The axes gives up the right part of its width to the bar and its labels.
    auto [w, h] = figureSize(g::parentOf(axes));
    Pairs p;
    p.add("Parent", g::parentOf(axes))
        .add("Axes", axes)
        .add("Units", "normalized")
        .add("Position", std::vector<double>{(px[0] + px[2] * kBarLeft) / w, px[1] / h,
                                             px[2] * kBarWidth / w, px[3] / h});
    p.addAll(in.from(k), name);
    bar = g::create(g::Type::Colorbar, p.list());
    placeInPixels(axes, {px[0], px[1], px[2] * kBarShrink, px[3]});
  } else if (k < in.size()) {
    Pairs p;
    p.addAll(in.from(k), name);
    g::set(bar, p.list());
  }
  if (nargout > 0) return {mlfScalar(bar)};
  return {};
}

}  // namespace

std::span<const Builtin> plottingBuiltins() {
  static const Builtin kTable[] = {
      {"plot", plot,
       "plot(y), plot(x, y, fmt, ...): lines, one per column of a matrix; fmt like 'r--o'"},
      {"semilogx", semilogx, "semilogx(x, y, ...): plot with a logarithmic x axis"},
      {"semilogy", semilogy, "semilogy(x, y, ...): plot with a logarithmic y axis"},
      {"loglog", loglog, "loglog(x, y, ...): plot with logarithmic x and y axes"},
      {"imagesc", imagesc,
       "imagesc(C), imagesc(x, y, C), imagesc(..., [lo hi]): C as an image in the colour map"},
      {"image", image, "image(C), image(x, y, C): C as an image of colour-map indices"},
      {"colormap", colormap,
       "colormap(name), colormap(M), m = colormap: the current figure's colour map"},
      {"viridis", namedMap, "viridis(m): the default perceptual colour map, m x 3 (m = 64)"},
      {"gray", namedMap, "gray(m): a colour map from black to white, m x 3 (m = 64)"},
      {"jet", namedMap, "jet(m): a colour map from blue through cyan and yellow to red, m x 3"},
      {"hot", namedMap, "hot(m): a colour map from black through red and yellow to white, m x 3"},
      {"colorbar", colorbar, "colorbar, colorbar('off'): a bar of the colour map beside the axes"},
  };
  return kTable;
}

}  // namespace shell::builtins::figures
