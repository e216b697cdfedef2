// Text functions: sprintf, num2str, strcmp, strcat, upper and lower. sprintf and num2str
// format through the print engine that fprintf and display use.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <string>
#include <vector>

#include "core/array.h"
#include "core/operands.h"
#include "mexrt/mathlib.h"
#include "text/print.h"

using namespace mexrt::detail;

namespace {

std::u16string charsOf(const Array &a) {
  return a.isChar() && a.numel() ? std::u16string(a.chars(), a.chars() + a.numel()) : u"";
}

// The text of one number as num2str gives it: whole numbers in full, others with `digits`
// significant digits (at least 5 and enough for 4 after the point), or by `format`.
std::string numberText(double v, int digits) {
  char buf[64];
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Inf" : "-Inf";
  if (v == std::floor(v) && std::fabs(v) < 1e15) {
    std::snprintf(buf, sizeof buf, "%.0f", v == 0 ? 0.0 : v);
  } else {
    int d = digits;
    if (d <= 0) {
      int magnitude = v == 0 ? 0 : static_cast<int>(std::floor(std::log10(std::fabs(v))));
      d = std::max(magnitude + 5, 5);
      d = std::min(d, 16);
    }
    std::snprintf(buf, sizeof buf, "%.*g", d, v);
  }
  return buf;
}

std::string complexText(double re, double im, int digits) {
  std::string r = numberText(re, digits);
  std::string i = numberText(std::fabs(im), digits);
  bool negative = im < 0 || (im == 0 && std::signbit(im));
  if (std::isnan(im)) negative = false;
  return r + (negative ? "-" : "+") + i + "i";
}

// A char matrix from rows of UTF-8 text, each padded on the right to the longest.
Array *charRows(const std::vector<std::string> &rows) {
  std::vector<std::u16string> codes;
  std::size_t width = 0;
  for (const std::string &r : rows) {
    codes.push_back(fromUtf8(r));
    width = std::max(width, codes.back().size());
  }
  if (rows.size() == 1) return newString(codes[0]);
  Owned a(newArray(mxCHAR_CLASS, Dims(rows.size(), width)));
  if (a->numel()) {
    mxChar *out = a->mutableChars();
    for (std::size_t i = 0; i < codes.size(); ++i) {
      for (std::size_t j = 0; j < width; ++j) {
        out[j * rows.size() + i] = j < codes[i].size() ? codes[i][j] : u' ';
      }
    }
  }
  return a.release();
}

// Letter case of ASCII and Latin-1 letters, the same whatever the process's locale.
mxChar upperOf(mxChar c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
  return c;
}
mxChar lowerOf(mxChar c) {
  if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
  return c;
}

template <class F>
mxArray *mapped(mxArray *s, const char *fn, F f) {
  Operand S(s, fn);
  if (!S->isChar()) return temp(shareOf(S.get()));
  Owned r(newArray(mxCHAR_CLASS, S->dims));
  if (S->numel()) {
    mxChar *out = r->mutableChars();
    for (std::size_t k = 0; k < S->numel(); ++k) {
      out[k] = f(S->chars()[k]);
    }
  }
  return temp(r.release());
}

}  // namespace

extern "C" {

mxArray *mlfSprintf(mxArray *format, ...) {
  std::va_list ap;
  va_start(ap, format);
  std::vector<Array *> list = gatherList(va_arg(ap, mxArray *), ap);
  va_end(ap);
  OperandList args(list, "sprintf");
  Operand Format(format, "sprintf");
  if (!Format->isChar() && !Format->isEmpty()) raise("sprintf: the format must be text.");
  std::vector<ValueView> views;
  views.reserve(args.size());
  for (std::size_t k = 0; k < args.size(); ++k) views.push_back(args[k].view());
  std::string text = formatPrintf({Format->chars(), Format->numel()}, views);
  if (text.empty()) return temp(newArray(mxCHAR_CLASS, Dims(1, 0)));
  return temp(newString(fromUtf8(text)));
}

mxArray *mlfNum2str(mxArray *x, mxArray *option) {
  Operand X(x, "num2str");
  if (X->isChar()) {
    if (option) Operand O(option, "num2str");
    return temp(shareOf(X.get()));
  }
  int digits = 0;
  std::u16string format;
  if (option) {
    Operand O(option, "num2str");
    if (O->isChar()) {
      format = charsOf(*O);
    } else {
      double d = O->numel() == 1 && !O->isComplex() ? O->number(0) : -1;
      if (!(d >= 1) || d != std::floor(d) || d > 100) {
        raise("num2str: the precision must be a positive whole number or a format.");
      }
      digits = static_cast<int>(d);
    }
  }
  if (!(X->isDouble() || X->isLogical())) raise("num2str: the input must be numeric.");
  if (X->dims.size() > 2) raise("num2str: the input must be a scalar, vector or matrix.");
  const std::size_t m = X->dims[0], n = X->dims[1];
  if (X->isEmpty()) return temp(newArray(mxCHAR_CLASS, Dims(0, 0)));
  const double *im = X->isComplex() ? X->imags() : nullptr;
  std::vector<std::vector<std::string>> cells(m, std::vector<std::string>(n));
  for (std::size_t j = 0; j < n; ++j) {
    for (std::size_t i = 0; i < m; ++i) {
      const std::size_t k = j * m + i;
      const double re = X->number(k);
      if (!format.empty()) {
        static const std::size_t kScalar[2] = {1, 1};
        ValueView v;
        v.dims = kScalar;
        v.reals = &re;
        cells[i][j] = formatPrintf(format, std::span<const ValueView>(&v, 1));
      } else {
        cells[i][j] = im ? complexText(re, im[k], digits) : numberText(re, digits);
      }
    }
  }
  // Columns right-aligned to their widest entry, two spaces apart.
  std::vector<std::string> rows(m);
  for (std::size_t j = 0; j < n; ++j) {
    std::size_t w = 0;
    for (std::size_t i = 0; i < m; ++i) w = std::max(w, cells[i][j].size());
    for (std::size_t i = 0; i < m; ++i) {
      if (j > 0) rows[i] += "  ";
      rows[i] += std::string(w - cells[i][j].size(), ' ') + cells[i][j];
    }
  }
  return temp(charRows(rows));
}

mxArray *mlfStrcmp(mxArray *a, mxArray *b) {
  std::vector<Array *> list{a, b};
  OperandList ops(list, "strcmp");
  const Array &A = ops[0], &B = ops[1];
  bool same = A.isChar() && B.isChar() && A.dims == B.dims &&
              std::equal(A.chars(), A.chars() + A.numel(), B.chars());
  return temp(newLogicalScalar(same));
}

mxArray *mlfStrcat(mxArray *first, ...) {
  std::va_list ap;
  va_start(ap, first);
  std::vector<Array *> list = gatherList(first, ap);
  va_end(ap);
  OperandList ops(list, "strcat");
  // Each char argument loses its trailing blanks (spaces, tabs, newlines), then all are
  // joined side by side; every argument has the same number of rows.
  std::vector<std::u16string> rows;
  std::size_t rowCount = 0;
  bool anyRows = false;
  for (std::size_t k = 0; k < ops.size(); ++k) {
    const Array &s = ops[k];
    if (!s.isChar() && !s.isEmpty()) raise("strcat: the arguments must be text.");
    if (s.dims.size() > 2) raise("strcat: the arguments must be text rows or matrices.");
    if (s.isEmpty()) continue;
    const std::size_t m = s.dims[0], n = s.dims[1];
    if (!anyRows) {
      rowCount = m;
      rows.assign(m, u"");
      anyRows = true;
    } else if (m != rowCount) {
      raise("strcat: the arguments must have the same number of rows.");
    }
    // The columns kept: up to the last one with a non-blank character in any row.
    std::size_t keep = n;
    auto blank = [](mxChar c) {
      return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' ||
             c == 0;
    };
    while (keep > 0) {
      bool allBlank = true;
      for (std::size_t i = 0; i < m && allBlank; ++i)
        allBlank = blank(s.chars()[(keep - 1) * m + i]);
      if (!allBlank) break;
      --keep;
    }
    for (std::size_t i = 0; i < m; ++i) {
      for (std::size_t j = 0; j < keep; ++j) rows[i] += s.chars()[j * m + i];
    }
  }
  if (!anyRows) return temp(newArray(mxCHAR_CLASS, Dims(0, 0)));
  const std::size_t width = rows[0].size();
  Owned r(newArray(mxCHAR_CLASS, Dims(rowCount, width)));
  if (r->numel()) {
    mxChar *out = r->mutableChars();
    for (std::size_t i = 0; i < rowCount; ++i) {
      for (std::size_t j = 0; j < width; ++j) out[j * rowCount + i] = rows[i][j];
    }
  }
  return temp(r.release());
}

mxArray *mlfUpper(mxArray *s) { return mapped(s, "upper", upperOf); }
mxArray *mlfLower(mxArray *s) { return mapped(s, "lower", lowerOf); }

}  // extern "C"
