// The display formats behind disp and the shell's "name = ..." output: integer and
// fixed-point columns, common scale factors, e-notation and shortest-form (g) columns, column
// blocks for an 80-character terminal, pages; complex values as "1.0000 - 2.0000i"; integer
// classes exactly, without decimals; single as double, with at most 7 decimals.
#include "mexrt/display.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "mexrt/error.h"
#include "text/print.h"

namespace mexrt::detail {

// Decimals of a fixed-point or e-notation number: 4 in the short formats, 15 in the long;
// a g format shows one significant digit more than its decimals.
int g_decimals = 4;

namespace {

// How numbers that are not all whole are written: fixed point with a common scale factor,
// always e-notation, or each in the shorter of the two (printf's %g).
enum class Notation { Fixed, Exponent, General };
DisplayFormat g_format = DisplayFormat::Short;

Notation notation() {
  switch (g_format) {
    case DisplayFormat::ShortE:
    case DisplayFormat::LongE:
      return Notation::Exponent;
    case DisplayFormat::ShortG:
    case DisplayFormat::LongG:
      return Notation::General;
    default:
      return Notation::Fixed;
  }
}

constexpr std::size_t kTerminalWidth = 80;

// A printf conversion with the format's decimals: "%.4f", "%.15e"; %g counts significant
// digits, one more than the decimals ("%.5g").
std::string withDecimals(char conversion) {
  return "%." + std::to_string(g_decimals + (conversion == 'g' ? 1 : 0)) + conversion;
}

// Dimensions with trailing singletons past the second dropped, so 2x2x1 shows as a matrix.
std::vector<std::size_t> shapeOf(const ValueView &v) {
  std::vector<std::size_t> d(v.dims.begin(), v.dims.end());
  while (d.size() < 2) d.push_back(d.empty() ? 0 : 1);
  while (d.size() > 2 && d.back() == 1) d.pop_back();
  return d;
}

enum class Style { Integer, Fixed, Exponent, General };

// How one page's numbers are written: the style, the field width and, for a fixed-point
// matrix, the power of ten factored out of every element (0 when none is).
struct Layout {
  Style style = Style::Integer;
  std::size_t width = 6;
  int scale = 0;
};

// Whole numbers below a billion show as integers (wider fields from a thousand up) but in the
// e formats; a scalar outside [0.001, 1000) shows in e-notation; a matrix there gets a scale
// factor.
Layout chooseLayout(const std::vector<double> &page) {
  double maxAbs = 0;
  bool allWhole = true;
  for (double v : page) {
    if (!std::isfinite(v)) continue;
    maxAbs = std::max(maxAbs, std::fabs(v));
    if (v != std::trunc(v)) allWhole = false;
  }
  const Notation n = notation();
  const std::size_t fixed = 6 + g_decimals, exponent = 9 + g_decimals;
  if (n == Notation::Exponent) return {Style::Exponent, exponent, 0};
  if (allWhole && maxAbs < 1e9) return {Style::Integer, maxAbs < 1000 ? 6u : 12u, 0};
  if (n == Notation::General) return {Style::General, exponent, 0};
  bool inFixedRange = maxAbs >= 0.001 && maxAbs < 1000;
  if (page.size() == 1) {
    return inFixedRange ? Layout{Style::Fixed, fixed, 0} : Layout{Style::Exponent, exponent, 0};
  }
  if (inFixedRange) return {Style::Fixed, fixed, 0};
  return {Style::Fixed, fixed, static_cast<int>(std::floor(std::log10(maxAbs)))};
}

std::string printed(const char *fmt, double v) {
  char buf[512];
  int n = std::snprintf(buf, sizeof buf, fmt, v);
  return std::string(buf, static_cast<std::size_t>(std::clamp(n, 0, 511)));
}

std::string nonFinite(double v) {
  if (std::isnan(v)) return "NaN";
  return v < 0 ? "-Inf" : "Inf";
}

// v divided by 10^scale, in steps where 10^scale alone would overflow or underflow.
double unscale(double v, int scale) {
  while (scale > 300) {
    v /= 1e300;
    scale -= 300;
  }
  while (scale < -300) {
    v *= 1e300;
    scale += 300;
  }
  return v / std::pow(10.0, scale);
}

std::string rightAligned(const std::string &text, std::size_t width) {
  if (text.size() >= width) return " " + text;  // keep columns apart even when one overflows
  return std::string(width - text.size(), ' ') + text;
}

std::string field(const Layout &layout, double v) {
  if (!std::isfinite(v)) return rightAligned(nonFinite(v), layout.width);
  switch (layout.style) {
    case Style::Integer:
      return rightAligned(printed("%.0f", v == 0 ? 0.0 : v), layout.width);
    case Style::Exponent:
      return (v < 0 ? "  " : "   ") + printed(withDecimals('e').c_str(), v);
    case Style::General:
      return rightAligned(printed(withDecimals('g').c_str(), v == 0 ? 0.0 : v), layout.width);
    case Style::Fixed:
      break;
  }
  if (v == 0) return rightAligned("0", layout.width);
  return rightAligned(printed(withDecimals('f').c_str(), unscale(v, layout.scale)), layout.width);
}

std::string columnsHeading(std::size_t first, std::size_t last) {
  if (first == last) return "  Column " + std::to_string(first);
  return "  Columns " + std::to_string(first) + " through " + std::to_string(last);
}

std::string numericRows(const std::vector<double> &page, const Layout &layout, std::size_t rows,
                        std::size_t c0, std::size_t c1) {
  std::string out;
  for (std::size_t r = 0; r < rows; ++r) {
    for (std::size_t c = c0; c < c1; ++c) out += field(layout, page[r + c * rows]);
    out += '\n';
  }
  return out;
}

std::string numericBody(const std::vector<double> &page, std::size_t rows, std::size_t cols) {
  Layout layout = chooseLayout(page);
  std::string out;
  if (layout.scale != 0) {
    char head[32];
    std::snprintf(head, sizeof head, "   1.0e%+03d *\n\n", layout.scale);
    out += head;
  }
  std::size_t perBlock = std::max<std::size_t>(1, kTerminalWidth / layout.width);
  if (cols <= perBlock) return out + numericRows(page, layout, rows, 0, cols);
  for (std::size_t c0 = 0; c0 < cols; c0 += perBlock) {
    std::size_t c1 = std::min(cols, c0 + perBlock);
    if (c0 > 0) out += '\n';
    out += columnsHeading(c0 + 1, c1) + "\n\n" + numericRows(page, layout, rows, c0, c1);
  }
  return out;
}

// --- Complex values ---

// The two parts of one complex page, written as the short format writes them.
struct ComplexTexts {
  std::vector<std::string> real, imag;  // imag without its sign
  std::vector<bool> negative;           // the sign before the imaginary part
};

std::string partText(double v, const char *fmt, int scale) {
  if (!std::isfinite(v)) return nonFinite(v);
  if (v == 0) v = 0;  // -0 as 0
  return printed(fmt, unscale(v, scale));
}

// A complex page: every element in fixed point with four decimals ("0.0000 + 3.1416i"), a
// common scale factor for a matrix outside [0.001, 1000), e-notation for such a scalar.
std::string complexBody(const ValueView &v, std::size_t offset, std::size_t rows,
                        std::size_t cols) {
  const std::size_t count = rows * cols;
  double maxAbs = 0;
  for (std::size_t i = 0; i < count; ++i) {
    for (double part : {v.reals[offset + i], v.imags[offset + i]}) {
      if (std::isfinite(part)) maxAbs = std::max(maxAbs, std::fabs(part));
    }
  }
  const Notation n = notation();
  bool inFixedRange = maxAbs == 0 || (maxAbs >= 0.001 && maxAbs < 1000);
  bool exponent = n == Notation::Exponent || (count == 1 && !inFixedRange && n == Notation::Fixed);
  bool general = n == Notation::General;
  int scale =
      inFixedRange || exponent || general ? 0 : static_cast<int>(std::floor(std::log10(maxAbs)));
  const std::string conversion = withDecimals(general ? 'g' : exponent ? 'e' : 'f');
  const char *fmt = conversion.c_str();
  // Matrix columns: the real part in 9 characters ("  -2.0000", "  10.0000"), the sign, the
  // imaginary part in 7 (" 3.0000", "10.0000"); wider when a part needs it. A scalar stands
  // alone: three spaces before it and one after its sign ("   Inf + NaNi").
  ComplexTexts t;
  const std::size_t decimals = static_cast<std::size_t>(g_decimals);
  // In e-notation and the g formats, matrix columns are as wide as their widest part.
  const bool fitted = general || exponent;
  std::size_t realWidth = count == 1 || fitted ? 0 : 5 + decimals;
  std::size_t imagWidth = count == 1 || fitted ? 0 : 3 + decimals;
  for (std::size_t i = 0; i < count; ++i) {
    double re = v.reals[offset + i], im = v.imags[offset + i];
    t.real.push_back(partText(re, fmt, scale));
    t.imag.push_back(partText(std::fabs(im), fmt, scale));
    t.negative.push_back(std::signbit(im) && !std::isnan(im));
    const std::string &r = t.real.back(), &m = t.imag.back();
    if (count == 1) {
      realWidth = r.size() - (r[0] == '-' ? 1 : 0) + 3;
      imagWidth = std::isfinite(im) && !exponent && !general ? std::max(3 + decimals, m.size())
                                                             : m.size() + 1;
    } else {
      realWidth = std::max(realWidth, r.size() + (fitted ? 3 : 1));
      imagWidth = std::max(imagWidth, m.size() + (fitted ? 1 : 0));
    }
  }
  auto padded = [](const std::string &text, std::size_t width) {
    return std::string(width - std::min(width, text.size()), ' ') + text;
  };
  auto element = [&](std::size_t i) {
    return padded(t.real[i], realWidth) + " " + (t.negative[i] ? '-' : '+') +
           padded(t.imag[i], imagWidth) + "i";
  };
  std::string out;
  if (scale != 0) {
    char head[32];
    std::snprintf(head, sizeof head, "   1.0e%+03d *\n\n", scale);
    out += head;
  }
  auto rowsOf = [&](std::size_t c0, std::size_t c1) {
    std::string block;
    for (std::size_t r = 0; r < rows; ++r) {
      for (std::size_t c = c0; c < c1; ++c) block += element(r + c * rows);
      block += '\n';
    }
    return block;
  };
  std::size_t perBlock = std::max<std::size_t>(1, kTerminalWidth / (realWidth + imagWidth + 3));
  if (cols <= perBlock) return out + rowsOf(0, cols);
  for (std::size_t c0 = 0; c0 < cols; c0 += perBlock) {
    std::size_t c1 = std::min(cols, c0 + perBlock);
    if (c0 > 0) out += '\n';
    out += columnsHeading(c0 + 1, c1) + "\n\n" + rowsOf(c0, c1);
  }
  return out;
}

std::string charBody(const ValueView &v, std::size_t offset, std::size_t rows, std::size_t cols) {
  std::string out;
  std::u16string line;
  for (std::size_t r = 0; r < rows; ++r) {
    line.clear();
    for (std::size_t c = 0; c < cols; ++c) line += v.chars[offset + r + c * rows];
    out += toUtf8(line) + '\n';
  }
  return out;
}

// An integer page: every element exactly, right-aligned three spaces past the widest, in
// column blocks; never a scale factor.
std::string integerBody(const ValueView &v, std::size_t offset, std::size_t rows,
                        std::size_t cols) {
  std::vector<std::string> texts(rows * cols);
  std::size_t widest = 1;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    texts[i] = v.integerText(offset + i);
    widest = std::max(widest, texts[i].size());
  }
  const std::size_t width = widest + 3;
  auto rowsOf = [&](std::size_t c0, std::size_t c1) {
    std::string block;
    for (std::size_t r = 0; r < rows; ++r) {
      for (std::size_t c = c0; c < c1; ++c) block += rightAligned(texts[r + c * rows], width);
      block += '\n';
    }
    return block;
  };
  std::size_t perBlock = std::max<std::size_t>(1, kTerminalWidth / width);
  if (cols <= perBlock) return rowsOf(0, cols);
  std::string out;
  for (std::size_t c0 = 0; c0 < cols; c0 += perBlock) {
    std::size_t c1 = std::min(cols, c0 + perBlock);
    if (c0 > 0) out += '\n';
    out += columnsHeading(c0 + 1, c1) + "\n\n" + rowsOf(c0, c1);
  }
  return out;
}

// One rows-by-cols page of v, starting at element `offset`.
std::string pageBody(const ValueView &v, std::size_t offset, std::size_t rows, std::size_t cols) {
  if (v.kind == ValueView::Kind::Char) return charBody(v, offset, rows, cols);
  if (v.kind == ValueView::Kind::Integer) return integerBody(v, offset, rows, cols);
  // single has about 7 significant digits: the long format shows 7 decimals of it, not 15.
  const int decimals = g_decimals;
  if (v.kind == ValueView::Kind::Single) g_decimals = std::min(decimals, 7);
  struct Restore {
    int value;
    ~Restore() { g_decimals = value; }
  } restore{decimals};
  if (v.complex) return complexBody(v, offset, rows, cols);
  std::vector<double> page(rows * cols);
  for (std::size_t i = 0; i < page.size(); ++i) page[i] = v.number(offset + i);
  return numericBody(page, rows, cols);
}

std::string joinedDims(const std::vector<std::size_t> &d) {
  std::string out;
  for (std::size_t i = 0; i < d.size(); ++i) out += (i ? "-by-" : "") + std::to_string(d[i]);
  return out;
}

std::string emptyText(const ValueView &v, const std::vector<std::size_t> &d) {
  bool isChar = v.kind == ValueView::Kind::Char;
  if (d.size() == 2 && d[0] == 0 && d[1] == 0) return isChar ? "     ''" : "     []";
  if (isChar) return "   Empty string: " + joinedDims(d);
  return (d.size() == 2 ? "   Empty matrix: " : "   Empty array: ") + joinedDims(d);
}

// "(:,:,2,3)" for page p of an N-d array.
std::string pageLabel(const std::vector<std::size_t> &d, std::size_t p) {
  std::string label = "(:,:";
  for (std::size_t k = 2; k < d.size(); ++k) {
    label += "," + std::to_string(p % d[k] + 1);
    p /= d[k];
  }
  return label + ")";
}

std::string pagesNamed(std::string_view name, const ValueView &v,
                       const std::vector<std::size_t> &d) {
  std::size_t rows = d[0], cols = d[1];
  std::size_t pages = v.numel() / (rows * cols);
  std::string out;
  for (std::size_t p = 0; p < pages; ++p) {
    out += std::string(name) + pageLabel(d, p) + " =\n\n";
    out += pageBody(v, p * rows * cols, rows, cols) + "\n";
  }
  return out;
}

void checkView(const ValueView &v) {
  if (v.numel() == 0) return;
  if (!v.hasData()) throw Error("disp: the value has elements but no data.");
}

}  // namespace

std::string displayValue(const ValueView &v) {
  checkView(v);
  if (v.numel() == 0) return "";
  std::vector<std::size_t> d = shapeOf(v);
  if (d.size() > 2) return pagesNamed("", v, d);
  return pageBody(v, 0, d[0], d[1]);
}

std::string displayNamed(std::string_view name, const ValueView &v) {
  checkView(v);
  std::vector<std::size_t> d = shapeOf(v);
  std::string head = std::string(name) + " =\n\n";
  if (v.numel() == 0) return head + emptyText(v, d) + "\n\n";
  if (d.size() > 2) return pagesNamed(name, v, d);
  return head + pageBody(v, 0, d[0], d[1]) + "\n";
}

}  // namespace mexrt::detail

namespace mexrt {

void setDisplayFormat(DisplayFormat format) {
  detail::g_format = format;
  const bool isLong = format == DisplayFormat::Long || format == DisplayFormat::LongE ||
                      format == DisplayFormat::LongG;
  const bool isGeneral = format == DisplayFormat::ShortG || format == DisplayFormat::LongG;
  detail::g_decimals = (isLong ? 15 : 4) - (isLong && isGeneral ? 1 : 0);
}

DisplayFormat displayFormat() { return detail::g_format; }

}  // namespace mexrt
