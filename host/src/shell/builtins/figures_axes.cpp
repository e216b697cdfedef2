// The figures family, axes: title and axis labels, free texts, the legend, the grid,
// axis limits and directions, colour limits, and subplots.
#include <strings.h>

#include <algorithm>
#include <cmath>

#include "mexrt/text.h"
#include "shell/builtins/figures_family.h"
#include "shell/builtins/figures_support.h"

namespace shell::builtins::figures {

namespace {

// title([ax,] text, name, value, ...) and the labels: the axes' text in that role, made
// when it has none, with its String set.
Results label(const char *fn, const char *role, Args &a, int nargout) {
  outputs(fn, nargout, 1);
  Held in(a);
  std::size_t k = 0;
  const double axes = axesArgument(in, k);
  if (k >= in.size()) raise(std::string("Not enough input arguments for '") + fn + "'.");
  if (!isText(in[k]) && !(isNumeric(in[k]) && mxGetNumberOfElements(in[k]) == 0)) {
    raise(std::string(fn) + ": the text must be a char array.");
  }
  std::vector<double> existing = numbers(axes, role);
  double t;
  if (!existing.empty()) {
    t = existing[0];
    Pairs p;
    p.add("String", in[k]).addAll(in.from(k + 1), fn);
    g::set(t, p.list());
  } else {
    Pairs p;
    p.add("Parent", axes).add("HandleVisibility", "off").add("String", in[k]);
    p.addAll(in.from(k + 1), fn);
    t = g::create(g::Type::Text, p.list());
    Pairs attach;
    attach.add(role, t);
    g::set(axes, attach.list());
  }
  if (nargout > 0) return {mlfScalar(t)};
  return {};
}

Results title(Evaluator &, const char *name, Args &a, int nargout) {
  return label(name, "Title", a, nargout);
}
Results xlabel(Evaluator &, const char *name, Args &a, int nargout) {
  return label(name, "XLabel", a, nargout);
}
Results ylabel(Evaluator &, const char *name, Args &a, int nargout) {
  return label(name, "YLabel", a, nargout);
}

// text([ax,] x, y, str, name, value, ...): a text at a point of the axes' data.
Results text(Evaluator &, const char *name, Args &a, int nargout) {
  outputs(name, nargout, 1);
  Held in(a);
  std::size_t k = 0;
  const double axes = axesArgument(in, k);
  if (in.size() < k + 3) raise("Not enough input arguments for 'text'.");
  std::vector<double> at;
  for (std::size_t i = k; i < k + 2; ++i) {
    if (!isNumeric(in[i]) || mxGetNumberOfElements(in[i]) != 1 ||
        !std::isfinite(valuesOf(in[i])[0]))
      raise("text: the position must be given as two finite numbers x and y.");
    at.push_back(valuesOf(in[i])[0]);
  }
  if (!isText(in[k + 2])) raise("text: the text must be a char array.");
  at.push_back(0);
  Pairs p;
  p.add("Parent", axes).add("Position", at).add("String", in[k + 2]).addAll(in.from(k + 3), name);
  const double t = g::create(g::Type::Text, p.list());
  if (nargout > 0) return {mlfScalar(t)};
  return {};
}

// A char matrix with one row per text, padded with blanks.
mxArray *charRows(const std::vector<std::u16string> &rows) {
  std::size_t width = 0;
  for (const auto &r : rows) width = std::max(width, r.size());
  std::vector<mxChar> codes(rows.size() * width, u' ');
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (std::size_t j = 0; j < rows[i].size(); ++j) codes[j * rows.size() + i] = rows[i][j];
  return mclInitializeCharVector(static_cast<int>(rows.size()), static_cast<int>(width),
                                 codes.data());
}

// The rows of a char array argument, trailing blanks dropped.
std::vector<std::u16string> rowsOf(const mxArray *a) {
  const std::size_t m = mxGetM(a), n = mxGetN(a);
  const mxChar *c = mxGetChars(a);
  std::vector<std::u16string> out;
  for (std::size_t i = 0; i < m; ++i) {
    std::u16string r;
    for (std::size_t j = 0; j < n; ++j) r += c[j * m + i];
    while (!r.empty() && r.back() == u' ') r.pop_back();
    out.push_back(r);
  }
  if (m == 0) out.emplace_back();
  return out;
}

double legendOf(double axes) {
  for (double c : g::childrenOf(g::parentOf(axes))) {
    if (g::typeOf(c) != g::Type::Legend) continue;
    std::vector<double> owner = numbers(c, "Axes");
    if (!owner.empty() && owner[0] == axes) return c;
  }
  return 0;
}

// legend([ax,] 'a', 'b', ...), legend(charMatrix), legend, legend('off'), then
// 'Location', where: one entry per line of the axes, in the order they were drawn.
Results legend(Evaluator &, const char *name, Args &a, int nargout) {
  outputs(name, nargout, 1);
  Held in(a);
  std::size_t k = 0;
  const double axes = axesArgument(in, k);
  if (double old = legendOf(axes); old != 0) g::remove(old);
  std::vector<std::u16string> labels;
  std::size_t props = in.size();
  for (std::size_t i = k; i < in.size(); ++i) {
    if (!isText(in[i])) raise("legend: the entries must be texts.");
    std::string s = textOf(in[i]);
    if (strcasecmp(s.c_str(), "Location") == 0 || strcasecmp(s.c_str(), "Box") == 0 ||
        strcasecmp(s.c_str(), "FontSize") == 0) {
      props = i;
      break;
    }
    if (in.size() == k + 1 && (s == "off" || s == "hide")) return {};
    if (in.size() == k + 1 && (s == "show" || s == "boxon" || s == "boxoff")) break;
    for (auto &r : rowsOf(in[i])) labels.push_back(r);
  }
  std::vector<double> lines;
  for (double c : g::childrenOf(axes)) {
    if (g::typeOf(c) == g::Type::Line) lines.push_back(c);
  }
  if (labels.empty()) {
    // Each line's DisplayName, or "data1", "data2", ...
    for (std::size_t i = 0; i < lines.size(); ++i) {
      std::string dn = word(lines[i], "DisplayName");
      labels.push_back(mexrt::codesFromUtf8(dn.empty() ? "data" + std::to_string(i + 1) : dn));
    }
  }
  if (labels.size() > lines.size()) {
    const std::size_t extra = labels.size() - lines.size();
    mclWarning(("legend: " + std::to_string(extra) + (extra == 1 ? " entry has" : " entries have") +
                " no line to stand for, left out.")
                   .c_str());
    labels.resize(lines.size());
  }
  lines.resize(labels.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    Pairs dn;
    dn.addTaken("DisplayName", mlfReturnValue(charRows({labels[i]})));
    g::set(lines[i], dn.list());
  }
  if (lines.empty()) return {};
  Pairs p;
  p.add("Parent", g::parentOf(axes)).add("Axes", axes).add("PlotChildren", lines);
  p.addTaken("String", mlfReturnValue(charRows(labels)));
  p.addAll(in.from(props), name);
  const double h = g::create(g::Type::Legend, p.list());
  if (nargout > 0) return {mlfScalar(h)};
  return {};
}

// grid on, grid off, grid (toggles), grid(ax, ...).
Results grid(Evaluator &, const char *name, Args &a, int nargout) {
  outputs(name, nargout, 0);
  Held in(a);
  std::size_t k = 0;
  const double axes = axesArgument(in, k);
  if (in.size() > k + 1) raise("Too many input arguments for 'grid'.");
  std::string state;
  if (k < in.size()) {
    if (!isText(in[k])) raise("grid: use 'on' or 'off'.");
    state = textOf(in[k]);
    if (state != "on" && state != "off" && state != "minor")
      raise("grid: '" + state + "' is not 'on' or 'off'.");
    if (state == "minor") state = "on";
  } else {
    state = word(axes, "XGrid") == "on" ? "off" : "on";
  }
  Pairs p;
  p.add("XGrid", state.c_str()).add("YGrid", state.c_str());
  g::set(axes, p.list());
  return {};
}

// A range, widened when it is one value, as limits must increase.
std::vector<double> limitsOf(g::Range r) {
  if (r.lo == r.hi) {
    double d = std::max(1.0, std::abs(r.lo) * 1e-3);
    return {r.lo - d, r.hi + d};
  }
  return {r.lo, r.hi};
}

// axis([x0 x1 y0 y1]), axis('tight'), axis('auto'), axis('xy'), axis('ij'), axis(ax, ...).
Results axis(Evaluator &, const char *name, Args &a, int nargout) {
  outputs(name, nargout, 0);
  Held in(a);
  std::size_t k = 0;
  const double axes = axesArgument(in, k);
  if (k == in.size()) {
    raise("axis: give limits [x0 x1 y0 y1] or a mode ('tight', 'auto', 'xy', 'ij').");
  }
  for (; k < in.size(); ++k) {
    Pairs p;
    if (!isText(in[k])) {
      std::vector<double> l = isNumeric(in[k]) ? valuesOf(in[k]) : std::vector<double>{};
      bool ok = (l.size() == 4 || l.size() == 6) &&
                std::all_of(l.begin(), l.end(), [](double v) { return std::isfinite(v); }) &&
                l[0] < l[1] && l[2] < l[3];
      if (!ok) raise("axis: limits must be [x0 x1 y0 y1] of finite numbers, x0 < x1 and y0 < y1.");
      p.add("XLim", std::vector<double>{l[0], l[1]}).add("YLim", std::vector<double>{l[2], l[3]});
    } else {
      const std::string mode = textOf(in[k]);
      if (mode == "xy") {
        p.add("YDir", "normal");
      } else if (mode == "ij") {
        p.add("YDir", "reverse");
      } else if (mode == "auto") {
        p.add("XLimMode", "auto").add("YLimMode", "auto");
      } else if (mode == "tight") {
        g::Range x = g::dataRange(axes, 0, word(axes, "XScale") == "log");
        g::Range y = g::dataRange(axes, 1, word(axes, "YScale") == "log");
        if (!x.empty()) p.add("XLim", limitsOf(x));
        if (!y.empty()) p.add("YLim", limitsOf(y));
      } else {
        raise("axis: '" + mode + "' is not a mode (use 'tight', 'auto', 'xy' or 'ij').");
      }
    }
    if (!p.list().empty()) g::set(axes, p.list());
  }
  return {};
}

// caxis([lo hi]), caxis('auto'), c = caxis: the colour limits of scaled images.
Results caxis(Evaluator &, const char *name, Args &a, int nargout) {
  outputs(name, nargout, 1);
  Held in(a);
  std::size_t k = 0;
  const double axes = axesArgument(in, k);
  if (in.size() > k + 1) raise("Too many input arguments for 'caxis'.");
  if (k < in.size()) {
    Pairs p;
    if (isText(in[k])) {
      std::string mode = textOf(in[k]);
      if (mode != "auto" && mode != "manual") raise("caxis: use [lo hi], 'auto' or 'manual'.");
      // Manual keeps the limits in use; auto takes them from the images again.
      if (mode == "manual") p.add("CLim", numbers(axes, "CLim"));
      if (mode == "auto") p.add("CLimMode", "auto");
    } else {
      std::vector<double> l = isNumeric(in[k]) ? valuesOf(in[k]) : std::vector<double>{};
      if (l.size() != 2 || !std::isfinite(l[0]) || !std::isfinite(l[1]) || !(l[0] < l[1]))
        raise("caxis: the colour limits must be [lo hi] of finite numbers with lo < hi.");
      p.add("CLim", l);
    }
    g::set(axes, p.list());
  }
  if (nargout > 0 || k == in.size()) return {mlfReturnValue(g::property(axes, "CLim"))};
  return {};
}

// --- Subplots ---

// The pixel rectangle of cells first..last (1-based, by rows) of an m x n grid in a figure
// of w x h pixels: the plot area of a single axes divided, with gaps wide enough for tick
// labels, axis labels and a title between neighbours.
std::array<double, 4> subplotRect(double w, double h, std::size_t m, std::size_t n,
                                  std::size_t first, std::size_t last) {
  const double left = 0.13 * w, right = 0.905 * w, bottom = 0.11 * h, top = 0.925 * h;
  auto cells = [](double span, std::size_t count, double minGap, double share) {
    if (count == 1) return std::pair{span, 0.0};
    double gap = std::max(share * span / static_cast<double>(count), minGap);
    gap = std::min(gap, 0.6 * span / static_cast<double>(count - 1));
    return std::pair{(span - gap * static_cast<double>(count - 1)) / static_cast<double>(count),
                     gap};
  };
  auto [cw, gx] = cells(right - left, n, 84, 0.25);
  auto [ch, gy] = cells(top - bottom, m, 72, 0.3);
  const std::size_t r0 = (first - 1) / n, c0 = (first - 1) % n;
  const std::size_t r1 = (last - 1) / n, c1 = (last - 1) % n;
  const std::size_t rlo = std::min(r0, r1), rhi = std::max(r0, r1);
  const std::size_t clo = std::min(c0, c1), chi = std::max(c0, c1);
  const double x = left + static_cast<double>(clo) * (cw + gx);
  const double width =
      static_cast<double>(chi - clo + 1) * cw + static_cast<double>(chi - clo) * gx;
  const double height =
      static_cast<double>(rhi - rlo + 1) * ch + static_cast<double>(rhi - rlo) * gy;
  const double y = top - static_cast<double>(rlo) * (ch + gy) - height;  // from the bottom
  return {x, y, width, height};
}

std::size_t wholeNumber(const mxArray *a, const char *what) {
  if (!isNumeric(a) || mxGetNumberOfElements(a) != 1) raise(std::string("subplot: ") + what);
  double v = valuesOf(a)[0];
  if (!(v >= 1 && v <= 1000) || v != std::floor(v)) raise(std::string("subplot: ") + what);
  return static_cast<std::size_t>(v);
}

bool overlap(const std::array<double, 4> &a, const std::array<double, 4> &b) {
  return a[0] < b[0] + b[2] - 1 && b[0] < a[0] + a[2] - 1 && a[1] < b[1] + b[3] - 1 &&
         b[1] < a[1] + a[3] - 1;
}

// subplot(m, n, k), subplot(m, n, [k1 k2]), subplot(mnk): the axes of that cell of the
// current figure, made current; an axes already there is reused, axes it would overlap go.
Results subplot(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 3);
  outputs(name, nargout, 1);
  Held in(a);
  std::size_t m, n;
  std::vector<double> ks;
  if (in.size() == 1) {
    std::size_t mnk = wholeNumber(in[0], "give m, n and k, or one number mnk such as 211.");
    if (mnk < 111 || mnk > 999 || (mnk / 10) % 10 == 0 || mnk % 10 == 0)
      raise("subplot: give m, n and k, or one number mnk such as 211.");
    m = mnk / 100, n = (mnk / 10) % 10, ks = {static_cast<double>(mnk % 10)};
  } else if (in.size() == 3) {
    m = wholeNumber(in[0], "m and n must be whole numbers from 1 to 1000.");
    n = wholeNumber(in[1], "m and n must be whole numbers from 1 to 1000.");
    if (!isNumeric(in[2]) || mxGetNumberOfElements(in[2]) == 0)
      raise("subplot: k must be a cell number or a vector of them.");
    ks = valuesOf(in[2]);
  } else {
    raise("subplot: give m, n and k, or one number mnk such as 211.");
  }
  for (double k : ks) {
    if (!(k >= 1 && k <= static_cast<double>(m * n)) || k != std::floor(k))
      raise("subplot: the cell number must be a whole number from 1 to " + std::to_string(m * n) +
            ".");
  }
  const auto [lo, hi] = std::minmax_element(ks.begin(), ks.end());
  const double fig = currentFigure();
  auto [w, h] = figureSize(fig);
  const std::array<double, 4> want =
      subplotRect(w, h, m, n, static_cast<std::size_t>(*lo), static_cast<std::size_t>(*hi));
  double found = 0;
  std::vector<double> doomed;
  for (double c : g::childrenOf(fig)) {
    if (g::typeOf(c) != g::Type::Axes) continue;
    std::array<double, 4> r = g::pixelPosition(c);
    // An axes narrowed by a colour bar still counts as the cell's own.
    bool same = std::abs(r[0] - want[0]) < 1 && std::abs(r[1] - want[1]) < 1 &&
                std::abs(r[3] - want[3]) < 1 && r[2] <= want[2] + 1;
    if (same && found == 0) {
      found = c;
    } else if (overlap(r, want)) {
      doomed.push_back(c);
    }
  }
  for (double d : doomed) g::remove(d);
  if (found == 0) {
    Pairs p;
    p.add("Parent", fig)
        .add("Units", "normalized")
        .add("Position", std::vector<double>{want[0] / w, want[1] / h, want[2] / w, want[3] / h});
    found = g::create(g::Type::Axes, p.list());
  } else {
    Pairs p;
    p.add("CurrentAxes", found);
    g::set(fig, p.list());
  }
  if (nargout > 0) return {mlfScalar(found)};
  return {};
}

}  // namespace

std::span<const Builtin> axesBuiltins() {
  static const Builtin kTable[] = {
      {"title", title, "title(text): the current axes' title"},
      {"xlabel", xlabel, "xlabel(text): the label of the current axes' x axis"},
      {"ylabel", ylabel, "ylabel(text): the label of the current axes' y axis"},
      {"text", text, "text(x, y, str): a text at the point (x, y) of the current axes"},
      {"legend", legend,
       "legend('a', 'b', ...), legend('off'): a key naming the axes' lines in order"},
      {"grid", grid, "grid on, grid off, grid: the grid lines of the current axes"},
      {"axis", axis,
       "axis([x0 x1 y0 y1]), axis('tight'), axis('auto'), axis('xy'), axis('ij'): the limits"},
      {"caxis", caxis, "caxis([lo hi]), caxis('auto'), c = caxis: the colour limits of images"},
      {"subplot", subplot, "subplot(m, n, k): the axes of cell k of an m x n grid, made current"},
  };
  return kTable;
}

}  // namespace shell::builtins::figures
