// filter(b, a, x): the rational transfer function b(z) / a(z) applied along the first
// non-singleton dimension of x, in direct form II transposed; and the Hamming and Hann windows.
//
// With b and a padded with zeros to one length L and divided by a(1), each output is
//   y(n) = b(1) x(n) + z1,   z_i = b(i+1) x(n) + z_(i+1) - a(i+1) y(n),  z_L = 0,
// the state starting at zero for every column. The coefficients are real; a complex x is
// filtered part by part, which the linearity of the filter makes exact.
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "arrays/args.h"
#include "core/array.h"
#include "core/operands.h"
#include "mexrt/mathlib.h"

using namespace mexrt::detail;

namespace {

std::vector<double> coefficients(const Array &c, const char *which) {
  if (!(c.isDouble() || c.isLogical() || c.isChar()) || c.isComplex() || !c.isVector() ||
      c.isEmpty()) {
    raise(std::string("filter: ") + which + " must be a non-empty real vector of coefficients.");
  }
  DoubleData d(c);
  return {d.data(), d.data() + c.numel()};
}

// Filters n samples that lie `stride` apart, from in into out (which may be in).
void run(const std::vector<double> &b, const std::vector<double> &a, const double *in, double *out,
         std::size_t n, std::size_t stride, std::vector<double> &z) {
  const std::size_t order = z.size();
  std::fill(z.begin(), z.end(), 0.0);
  for (std::size_t t = 0; t < n; ++t) {
    const double x = in[t * stride];
    const double y = b[0] * x + (order ? z[0] : 0.0);
    for (std::size_t i = 0; i + 1 < order; ++i) z[i] = b[i + 1] * x + z[i + 1] - a[i + 1] * y;
    if (order) z[order - 1] = b[order] * x - a[order] * y;
    out[t * stride] = y;
  }
}

// n for a window: a non-negative whole real scalar.
std::size_t windowLength(const Array &n, const char *fn) {
  double v = n.numel() == 1 && !n.isComplex() && !n.isChar() ? n.number(0) : -1;
  if (!(v >= 0) || v != std::floor(v) || !std::isfinite(v)) {
    raise(std::string(fn) + ": the length must be a non-negative whole number.");
  }
  if (v > 1e9) raise(std::string(fn) + ": the length is too large.");
  return static_cast<std::size_t>(v);
}

// The generalised cosine window alpha - (1 - alpha) cos(2 pi k / N), k = 0..n-1, with
// N = n - 1 (symmetric) or N = n ('periodic'), as an n x 1 column.
mxArray *cosineWindow(mxArray *n, mxArray *option, const char *fn, double alpha) {
  Operand N(n, fn);
  bool periodic = false;
  if (option) {
    Operand O(option, fn);
    std::u16string text;
    if (O->isChar()) text.assign(O->chars(), O->chars() + O->numel());
    if (text == u"periodic") {
      periodic = true;
    } else if (text != u"symmetric") {
      raise(std::string(fn) + ": the option must be 'symmetric' or 'periodic'.");
    }
  }
  const std::size_t len = windowLength(*N, fn);
  Owned r(newArrayForOverwrite(mxDOUBLE_CLASS, Dims(len, 1)));
  if (len == 0) return temp(r.release());
  double *w = r->mutableReals();
  const double denom = static_cast<double>(periodic ? len : len - 1);
  if (len == 1) {
    w[0] = 1.0;
  } else {
    for (std::size_t k = 0; k < len; ++k) {
      w[k] = alpha - (1.0 - alpha) * std::cos(2.0 * std::numbers::pi * k / denom);
    }
  }
  return temp(r.release());
}

}  // namespace

extern "C" {

mxArray *mlfFilter(mxArray *b, mxArray *a, mxArray *x) {
  std::vector<Array *> list{b, a, x};
  OperandList ops(list, "filter");
  std::vector<double> nb = coefficients(ops[0], "b");
  std::vector<double> na = coefficients(ops[1], "a");
  const Array &X = ops[2];
  if (!(X.isDouble() || X.isLogical() || X.isChar())) {
    raise("filter: x must be numeric, char or logical.");
  }
  if (na[0] == 0 || !std::isfinite(na[0]))
    raise("filter: the first coefficient of a must be non-zero.");
  const std::size_t length = std::max(nb.size(), na.size());
  nb.resize(length, 0.0);
  na.resize(length, 0.0);
  const double a0 = na[0];
  for (double &c : nb) c /= a0;
  for (double &c : na) c /= a0;

  const std::size_t dim = defaultDim(X.dims);
  std::size_t stride = 1;
  for (std::size_t k = 0; k < dim; ++k) stride *= X.dims[k];
  const std::size_t n = dim < X.dims.size() ? X.dims[dim] : 1;
  const std::size_t total = X.numel();
  const std::size_t block = stride * n;

  Owned r(X.isComplex() ? newComplexForOverwrite(X.dims)
                        : newArrayForOverwrite(mxDOUBLE_CLASS, X.dims));
  if (total == 0) return temp(r.release());
  std::vector<double> z(length - 1);
  auto filterPart = [&](const double *in, double *out) {
    for (std::size_t outer = 0; outer < total; outer += block) {
      for (std::size_t inner = 0; inner < stride; ++inner) {
        run(nb, na, in + outer + inner, out + outer + inner, n, stride, z);
      }
    }
  };
  DoubleData re(X);
  filterPart(re.data(), r->mutableReals());
  if (X.isComplex()) filterPart(X.imags(), r->mutableImags());
  return temp(narrowed(r.release()));
}

mxArray *mlfHamming(mxArray *n, mxArray *option) {
  return cosineWindow(n, option, "hamming", 0.54);
}
mxArray *mlfHann(mxArray *n, mxArray *option) { return cosineWindow(n, option, "hann", 0.5); }

}  // extern "C"
