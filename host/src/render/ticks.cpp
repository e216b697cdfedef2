// Axis scales: limits from the data or the axes, ticks in 1-2-5 steps (decades on a log
// axis) spaced so that their labels never overlap, and the labels' text.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "render/draw.h"

namespace host::render {

namespace {

// The round step (1, 2 or 5 times a power of ten) not below raw.
double niceStep(double raw) {
  if (!(raw > 0) || !std::isfinite(raw)) return 1;
  double p = std::pow(10.0, std::floor(std::log10(raw)));
  double f = raw / p;
  double m = f <= 1 + 1e-9 ? 1 : f <= 2 + 1e-9 ? 2 : f <= 5 + 1e-9 ? 5 : 10;
  return m * p;
}

// The multiples of step within [lo, hi].
std::vector<double> ticksWithin(double lo, double hi, double step) {
  std::vector<double> t;
  if (!(step > 0) || !std::isfinite(step)) return t;
  double first = std::ceil(lo / step - 1e-9);
  double last = std::floor(hi / step + 1e-9);
  if (!std::isfinite(first) || !std::isfinite(last) || last - first > 1000) return t;
  for (double k = first; k <= last; ++k) {
    double v = k * step;
    t.push_back(std::abs(v) < step * 1e-9 ? 0.0 : v);
  }
  return t;
}

std::string tickLabel(double v, double step) {
  char buf[64];
  double mag = std::abs(v);
  if (mag >= 1e6 || (step > 0 && step < 1e-4)) {
    std::snprintf(buf, sizeof buf, "%.6g", v);
  } else {
    int decimals =
        step >= 1 || step <= 0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    std::snprintf(buf, sizeof buf, "%.*f", std::clamp(decimals, 0, 10), v);
  }
  return buf;
}

// 10 with the exponent in superscript digits: "10³", "10⁻²".
std::string decadeLabel(double exponent) {
  static const char *const kDigits[] = {"⁰", "¹", "²", "³", "⁴", "⁵", "⁶", "⁷", "⁸", "⁹"};
  std::string s = "10";
  long e = std::lround(exponent);
  if (e < 0) s += "⁻";
  std::string digits = std::to_string(std::labs(e));
  for (char d : digits) s += kDigits[d - '0'];
  return s;
}

void labelAll(Scale &s) {
  s.labels.clear();
  for (double v : s.ticks) s.labels.push_back(tickLabel(v, s.step));
}

// Whether labels at the ticks leave room between neighbours along an axis of `length`.
bool labelsFit(const Scale &s, double length, const LabelExtent &extent, double gap) {
  if (s.ticks.size() < 2 || !extent) return true;
  double span = s.log ? std::log10(s.hi) - std::log10(s.lo) : s.hi / 2 - s.lo / 2;
  double widest = extent(s.labels) + gap;
  for (size_t k = 1; k < s.ticks.size(); ++k) {
    double a = s.ticks[k - 1], b = s.ticks[k];
    double d = s.log ? std::log10(b) - std::log10(a) : b / 2 - a / 2;
    if (d / span * length < widest) return false;
  }
  return true;
}

// Linear ticks for [lo, hi]: rounded out to the step when `roundOut`, the step made
// coarser until the labels fit.
Scale linearScale(double dmin, double dmax, bool roundOut, double length, double spacing,
                  const LabelExtent &extent, double gap) {
  Scale s;
  double count = std::max(2.0, std::floor(length / spacing));
  double step = niceStep((dmax / 2 - dmin / 2) / count * 2);
  for (int attempt = 0; attempt < 12; ++attempt) {
    double lo = dmin, hi = dmax;
    if (roundOut) lo = std::floor(dmin / step) * step, hi = std::ceil(dmax / step) * step;
    const bool rounded = std::isfinite(lo) && std::isfinite(hi) && lo < hi;
    s.lo = rounded ? lo : dmin;
    s.hi = rounded ? hi : dmax;
    s.step = rounded ? step : std::isfinite(dmax - dmin) ? dmax - dmin : 0;
    s.ticks = s.step > 0 ? ticksWithin(s.lo, s.hi, s.step) : std::vector<double>{s.lo, s.hi};
    labelAll(s);
    if (labelsFit(s, length, extent, gap)) break;
    step = niceStep(step * 1.5);
  }
  return s;
}

// Decades within [lo, hi], every k-th so that the labels fit; linear ticks inside one
// decade.
Scale logScale(double lo, double hi, double length, double spacing, const LabelExtent &extent,
               double gap) {
  const double e0 = std::ceil(std::log10(lo) - 1e-9), e1 = std::floor(std::log10(hi) + 1e-9);
  if (e1 - e0 < 1) {
    Scale s = linearScale(lo, hi, false, length, spacing, extent, gap);
    s.log = true;
    std::erase_if(s.ticks, [](double v) { return !(v > 0); });
    labelAll(s);
    return s;
  }
  Scale s;
  s.lo = lo, s.hi = hi, s.log = true;
  for (double every : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0}) {
    s.ticks.clear(), s.labels.clear();
    for (double e = std::ceil(e0 / every) * every; e <= e1 && s.ticks.size() < 1000; e += every) {
      s.ticks.push_back(std::pow(10.0, e));
      s.labels.push_back(decadeLabel(e));
    }
    s.step = every;
    if (labelsFit(s, length, extent, gap)) break;
  }
  return s;
}

double gapFor(char axis) { return axis == 'X' ? 8 : 2; }

}  // namespace

double Frame::fraction(const Scale &s, double v) const {
  double t;
  if (s.log) {
    t = v > 0 ? (std::log10(v) - std::log10(s.lo)) / (std::log10(s.hi) - std::log10(s.lo)) : NAN;
  } else {
    // Halved so that limits near the largest doubles do not overflow their difference.
    t = (v / 2 - s.lo / 2) / (s.hi / 2 - s.lo / 2);
  }
  return s.reverse ? 1 - t : t;
}

Scale axisScale(double ax, char axis, g::Range data, double length, double spacing,
                const LabelExtent &extent) {
  const std::string a(1, axis);
  const bool log = word(ax, a + "Scale") == "log";
  const double gap = gapFor(axis);
  std::vector<double> lim = numbers(ax, a + "Lim");
  bool manual = word(ax, a + "LimMode") == "manual" && lim.size() == 2 && finiteAll(lim) &&
                lim[0] < lim[1] && (!log || lim[0] > 0);
  double dmin = data.lo, dmax = data.hi;
  if (!std::isfinite(dmin) || !std::isfinite(dmax) || dmin > dmax) {
    dmin = log ? 1 : 0, dmax = log ? 10 : 1;
  }
  Scale s;
  if (log) {
    double lo = manual ? lim[0] : std::pow(10.0, std::floor(std::log10(dmin)));
    double hi = manual ? lim[1] : std::pow(10.0, std::ceil(std::log10(dmax)));
    if (!(lo < hi)) lo /= 10, hi *= 10;
    s = logScale(lo, hi, length, spacing, extent, gap);
  } else if (manual) {
    s = linearScale(lim[0], lim[1], false, length, spacing, extent, gap);
  } else {
    if (dmin == dmax) {
      // A constant: a unit either side (relative for large values, so the two stay apart).
      double d = std::max(1.0, std::abs(dmin) * 1e-3);
      dmin -= d, dmax += d;
    }
    s = linearScale(dmin, dmax, true, length, spacing, extent, gap);
  }
  s.reverse = word(ax, a + "Dir") == "reverse";
  if (word(ax, a + "TickMode") == "manual") {
    s.ticks.clear();
    for (double v : numbers(ax, a + "Tick"))
      if (std::isfinite(v) && v >= s.lo && v <= s.hi && s.ticks.size() < 1000) s.ticks.push_back(v);
    labelAll(s);
    // Labels that would run into each other are thinned out: every second, fourth, ...
    for (size_t every = 1; every < 2048; every *= 2) {
      Scale kept = s;
      kept.ticks.clear(), kept.labels.clear();
      for (size_t k = 0; k < s.ticks.size(); k += every) {
        kept.ticks.push_back(s.ticks[k]);
        kept.labels.push_back(s.labels[k]);
      }
      if (!labelsFit(kept, length, extent, gap)) continue;
      for (size_t k = 0; k < s.labels.size(); ++k)
        if (k % every != 0) s.labels[k].clear();
      break;
    }
  }
  return s;
}

Scale fixedScale(double lo, double hi, double length, double spacing, const LabelExtent &extent) {
  return linearScale(lo, hi, false, length, spacing, extent, gapFor('Y'));
}

}  // namespace host::render
