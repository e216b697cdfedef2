// fft and ifft: the discrete Fourier transform X(k) = sum_j x(j) exp(-2 pi i j k / n) of every
// vector along one dimension, and its inverse with the factor 1/n, through FFTW. Each vector
// is gathered into a workspace (zero-padded or truncated to n points), transformed with the
// cached plan of its kind and length, and scattered into the result. Real input takes the
// real-to-complex transform and the other half of its spectrum by symmetry.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "arrays/args.h"
#include "core/array.h"
#include "core/operands.h"
#include "core/utf8.h"
#include "mexrt/mathlib.h"
#include "transforms/plans.h"

namespace mexrt::detail {
namespace {

// How a transform walks x: `outer` blocks of `len` slices of `inner` contiguous elements,
// every vector `inner` apart; the result has n slices per block.
struct Layout {
  std::size_t len = 1, n = 1, inner = 1, outer = 1;
  Dims out;
  std::size_t vectors() const { return inner * outer; }
};

// The transform length argument: [] for the default, else a whole number >= 0.
std::optional<std::size_t> lengthArg(const Array *n, const char *fn) {
  if (!n || (n->isDouble() && n->dims == Dims(0, 0))) return std::nullopt;
  double v = n->numel() == 1 && !n->isComplex() ? n->number(0) : kNaN;
  if (!(v >= 0) || v != std::floor(v) || v > 2147483647.0) {
    raise(
        std::string(fn) + ": the number of points must be a non-negative integer scalar, not " +
        (n->numel() == 1 && !n->isComplex() ? numberText(v) : "an array of size " + sizeText(*n)) +
        ".");
  }
  return static_cast<std::size_t>(v);
}

Layout layoutOf(const Array &x, const Array *n, const Array *dim, const char *fn) {
  std::size_t d = dim ? dimensionArg(*dim, fn) - 1 : defaultDim(x.dims);
  std::vector<std::size_t> shape(x.dims.span().begin(), x.dims.span().end());
  if (shape.size() <= d) shape.resize(d + 1, 1);
  Layout t;
  t.len = shape[d];
  t.n = lengthArg(n, fn).value_or(t.len);
  for (std::size_t k = 0; k < d; ++k) t.inner *= shape[k];
  for (std::size_t k = d + 1; k < shape.size(); ++k) t.outer *= shape[k];
  shape[d] = t.n;
  t.out = dimsOf(shape);
  return t;
}

// One part (real or imaginary) of vector v of x into buf: its first `count` points, the rest
// of the buffer's `size` points zero. A missing part (the imaginary part of real x) is zero.
void gather(const double *part, const Layout &t, std::size_t v, std::size_t count, std::size_t size,
            double *buf) {
  std::size_t m = part ? std::min(count, t.len) : 0;
  if (m) {
    const double *from = part + (v / t.inner) * t.len * t.inner + v % t.inner;
    if (t.inner == 1) {
      std::copy_n(from, m, buf);
    } else {
      for (std::size_t k = 0; k < m; ++k) buf[k] = from[k * t.inner];
    }
  }
  std::fill(buf + m, buf + size, 0.0);
}

// Where vector v of the result starts; its points are t.inner apart.
double *resultVector(double *part, const Layout &t, std::size_t v) {
  return part + (v / t.inner) * t.n * t.inner + v % t.inner;
}

// The transform of real x: the first n/2 + 1 terms from the real-to-complex plan, the others
// as their conjugates, X(n - k) = conj(X(k)). sign -1 gives the conjugate spectrum instead
// (the inverse transform of real x is conj(fft(x)) / n).
void realInput(const Array &x, const Layout &t, double sign, double scale, Array &r) {
  const std::size_t n = t.n, half = n / 2 + 1;
  fftw_plan plan = PlanCache::instance().plan(PlanKind::RealToComplex, n);
  Workspace w(PlanKind::RealToComplex, n);
  const double *re = w.outReal(), *im = w.outImag();
  DoubleData data(x);
  double *outRe = r.mutableReals(), *outIm = r.mutableImags();
  const double imScale = sign * scale;
  const std::size_t s = t.inner;
  for (std::size_t v = 0; v < t.vectors(); ++v) {
    gather(data.data(), t, v, n, n, w.inReal());
    w.execute(plan);
    double *pr = resultVector(outRe, t, v), *pi = resultVector(outIm, t, v);
    for (std::size_t k = 0; k < half; ++k) {
      pr[k * s] = re[k] * scale;
      pi[k * s] = im[k] * imScale;
    }
    for (std::size_t k = half; k < n; ++k) {
      pr[k * s] = re[n - k] * scale;
      pi[k * s] = -im[n - k] * imScale;
    }
  }
}

// The forward (or backward) transform of complex x.
void complexInput(const Array &x, const Layout &t, bool backward, double scale, Array &r) {
  const std::size_t n = t.n;
  const PlanKind kind = backward ? PlanKind::ComplexBackward : PlanKind::ComplexForward;
  fftw_plan plan = PlanCache::instance().plan(kind, n);
  Workspace w(kind, n);
  const double *re = w.outReal(), *im = w.outImag();
  double *outRe = r.mutableReals(), *outIm = r.mutableImags();
  for (std::size_t v = 0; v < t.vectors(); ++v) {
    gather(x.reals(), t, v, n, n, w.inReal());
    gather(x.imags(), t, v, n, n, w.inImag());
    w.execute(plan);
    double *pr = resultVector(outRe, t, v), *pi = resultVector(outIm, t, v);
    for (std::size_t k = 0; k < n; ++k) {
      pr[k * t.inner] = re[k] * scale;
      pi[k * t.inner] = im[k] * scale;
    }
  }
}

// ifft(x, ..., 'symmetric'): x taken as the spectrum of real data, of which only the first
// n/2 + 1 terms are read (and of those the imaginary parts of the first, and of the middle
// one when n is even, are ignored), through the complex-to-real plan.
void symmetricInverse(const Array &x, const Layout &t, Array &r) {
  const std::size_t n = t.n, half = n / 2 + 1;
  fftw_plan plan = PlanCache::instance().plan(PlanKind::ComplexToReal, n);
  Workspace w(PlanKind::ComplexToReal, n);
  const double *out = w.outReal();
  DoubleData data(x);
  double *result = r.mutableReals();
  const double scale = 1.0 / static_cast<double>(n);
  for (std::size_t v = 0; v < t.vectors(); ++v) {
    gather(data.data(), t, v, half, half, w.inReal());
    gather(x.imags(), t, v, half, half, w.inImag());
    w.execute(plan);
    double *p = resultVector(result, t, v);
    for (std::size_t k = 0; k < n; ++k) p[k * t.inner] = out[k] * scale;
  }
}

// Whether ifft's option asks for the symmetric inverse.
bool symmetricOption(const Array *option) {
  if (!option) return false;
  std::string word = option->isChar() ? toUtf8({option->chars(), option->numel()}) : "";
  if (word == "symmetric") return true;
  if (word == "nonsymmetric") return false;
  raise("ifft: the option must be 'symmetric' or 'nonsymmetric'.");
}

Array *transform(const Array &x, const Layout &t, bool inverse, bool symmetric) {
  if (symmetric) {
    Owned r(newArrayForOverwrite(mxDOUBLE_CLASS, t.out));
    if (!r->isEmpty()) symmetricInverse(x, t, *r);
    return r.release();
  }
  Owned r(newComplexForOverwrite(t.out));
  if (r->isEmpty()) return narrowed(r.release());
  const double scale = inverse ? 1.0 / static_cast<double>(t.n) : 1.0;
  if (x.isComplex()) {
    complexInput(x, t, inverse, scale, *r);
  } else {
    realInput(x, t, inverse ? -1.0 : 1.0, scale, *r);
  }
  return narrowed(r.release());
}

}  // namespace
}  // namespace mexrt::detail

using namespace mexrt::detail;

extern "C" {

mxArray *mlfFft(mxArray *x, mxArray *n, mxArray *dim) {
  Operands<3> ops({x, n, dim}, "fft", 0b110);
  Layout t = layoutOf(ops[0], ops.get(1), ops.get(2), "fft");
  return temp(transform(ops[0], t, false, false));
}

mxArray *mlfIfft(mxArray *x, mxArray *n, mxArray *dim, mxArray *option) {
  Operands<4> ops({x, n, dim, option}, "ifft", 0b1110);
  bool symmetric = symmetricOption(ops.get(3));
  Layout t = layoutOf(ops[0], ops.get(1), ops.get(2), "ifft");
  return temp(transform(ops[0], t, true, symmetric));
}

}  // extern "C"
