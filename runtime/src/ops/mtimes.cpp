// The matrix product: scalar operands element by element, an inner dimension of 1 as the
// outer product filled directly, other real matrices through BLAS dgemm. A large product is
// computed when it is first read, so that a scalar that multiplies it next is folded into
// dgemm's alpha instead of costing a pass of its own. Two complex matrices go through zgemm,
// a real one with a complex one through two dgemm products (one per part of the complex
// operand, no complex arithmetic on the real one).
#include <cblas.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "core/array.h"
#include "mexrt/mathlib.h"
#include "ops/classed.h"
#include "ops/elementwise.h"
#include "ops/elementwise_complex.h"
#include "ops/product.h"

using namespace mexrt::detail;

namespace {

void requireMatrix(const Array &a, const char *what) {
  if (a.dims.size() > 2)
    raise(std::string(what) + " is not defined for N-d arrays (" + sizeText(a) + ").");
}

// Products with fewer elements are computed at once: their pass costs less than the record.
constexpr std::size_t kDeferredElements = 4096;

// C = alpha * A * B of double matrices through dgemm, run on C's first read. It holds a
// reference to the operands' storage, so copy on write keeps their elements as they were.
class DeferredProduct final : public DeferredFill {
 public:
  DeferredProduct(const Array &a, const Array &b)
      : a_(a.store), b_(b.store), m_(a.dims[0]), k_(a.dims[1]), n_(b.dims[1]) {
    a_->share();
    b_->share();
  }
  DeferredProduct(const DeferredProduct &) = delete;
  DeferredProduct &operator=(const DeferredProduct &) = delete;
  ~DeferredProduct() override {
    Storage::release(a_);
    Storage::release(b_);
  }
  void fill(unsigned char *out) override {
    const int m = static_cast<int>(m_), n = static_cast<int>(n_), k = static_cast<int>(k_);
    cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, m, n, k, alpha,
                reinterpret_cast<const double *>(a_->bytesPtr()), m,
                reinterpret_cast<const double *>(b_->bytesPtr()), k, 0.0,
                reinterpret_cast<double *>(out), m);
  }

  double alpha = 1.0;

 private:
  Storage *a_;
  Storage *b_;
  std::size_t m_, k_, n_;
};

// r(i, j) = a(i) * b(j): each element is one product, as dgemm would round it.
void outerProduct(const double *a, std::size_t m, const double *b, std::size_t n, double *r) {
  for (std::size_t j = 0; j < n; ++j) {
    const double bj = b[j];
    double *column = r + j * m;
    for (std::size_t i = 0; i < m; ++i) column[i] = a[i] * bj;
  }
}

void dgemm(std::size_t m, std::size_t n, std::size_t k, const double *a, const double *b,
           double *c) {
  cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, static_cast<int>(m), static_cast<int>(n),
              static_cast<int>(k), 1.0, a, static_cast<int>(m), b, static_cast<int>(k), 0.0, c,
              static_cast<int>(m));
}

// The two parts of a complex matrix side by side, (re, im) pairs as zgemm reads them.
std::vector<double> interleaved(const Array &a) {
  std::size_t n = a.numel();
  std::vector<double> out(2 * n);
  const double *re = a.reals(), *im = a.imags();
  for (std::size_t k = 0; k < n; ++k) {
    out[2 * k] = re[k];
    out[2 * k + 1] = im[k];
  }
  return out;
}

// The product of two matrices of which one at least is complex, into r (m x n, complex).
void complexProduct(const Array &a, const Array &b, std::size_t m, std::size_t n, std::size_t k,
                    Array &r) {
  double *re = r.mutableReals(), *im = r.mutableImags();
  if (a.isComplex() && b.isComplex()) {
    std::vector<double> pa = interleaved(a), pb = interleaved(b), pc(2 * m * n);
    const double one[2] = {1.0, 0.0}, zero[2] = {0.0, 0.0};
    cblas_zgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, static_cast<int>(m), static_cast<int>(n),
                static_cast<int>(k), one, pa.data(), static_cast<int>(m), pb.data(),
                static_cast<int>(k), zero, pc.data(), static_cast<int>(m));
    for (std::size_t q = 0; q < m * n; ++q) {
      re[q] = pc[2 * q];
      im[q] = pc[2 * q + 1];
    }
    return;
  }
  // (A)(Br + Bi i) = A Br + (A Bi) i, and likewise with the complex operand on the left.
  DoubleData da(a), db(b);
  dgemm(m, n, k, da.data(), db.data(), re);
  if (a.isComplex()) {
    dgemm(m, n, k, a.imags(), db.data(), im);
  } else {
    dgemm(m, n, k, da.data(), b.imags(), im);
  }
}

}  // namespace

namespace mexrt::detail {

mxArray *foldIntoProduct(mxArray *a, mxArray *b) {
  for (auto [s, x] : {std::pair{a, b}, std::pair{b, a}}) {
    if (!s || !x || s == x || !s->isDouble() || s->isComplex() || !s->isScalar() || !x->temporary ||
        !x->isDouble() || !x->store || !x->store->unique()) {
      continue;
    }
    auto *product =
        dynamic_cast<DeferredProduct *>(x->store->pending.load(std::memory_order_relaxed));
    // Folded once only: a second factor would change the rounding by more than one step.
    // A zero or non-finite factor is left to the element-wise path, which gives 0 * Inf its
    // NaN and -0 its sign.
    if (!product || product->alpha != 1.0) continue;
    const double v = s->reals()[0];
    if (!std::isfinite(v) || v == 0.0) continue;
    product->alpha = v;
    if (s->temporary) destroy(s);
    return x;
  }
  return nullptr;
}

}  // namespace mexrt::detail

extern "C" {

mxArray *mclMtimes(mxArray *a, mxArray *b) {
  if (classedOperands(a, b)) return classedProduct(a, b);
  const bool complex = isComplexArg(a) || isComplexArg(b);
  if (a && b && !a->isUninit() && !b->isUninit() && (a->isScalar() || b->isScalar())) {
    if (complex) return complexArithmetic<ComplexTimes>(a, b, "*");
    if (mxArray *folded = foldIntoProduct(a, b)) return folded;
    return arithmetic(a, b, "*", [](double x, double y) { return x * y; });
  }
  Operand A(a, "*"), B(b, "*");
  requireMatrix(*A, "The matrix product");
  requireMatrix(*B, "The matrix product");
  const std::size_t m = A->dims[0], k = A->dims[1], n = B->dims[1];
  if (k != B->dims[0]) {
    raise("Inner matrix dimensions must agree: " + sizeText(*A) + " * " + sizeText(*B) + ".");
  }
  if (m > INT_MAX || n > INT_MAX || k > INT_MAX) {
    raise("The matrix product is too large for BLAS: " + sizeText(*A) + " * " + sizeText(*B) + ".");
  }
  if (!m || !n || !k) return temp(newDouble(m, n));  // zeros: the empty sum when k is 0
  if (complex) {
    Owned r(newComplexForOverwrite(Dims(m, n)));
    complexProduct(*A, *B, m, n, k, *r);
    return temp(narrowed(r.release()));
  }
  Array *r = newArrayForOverwrite(mxDOUBLE_CLASS, Dims(m, n));
  if (A->isDouble() && B->isDouble() && m * n >= kDeferredElements && k > 1) {
    r->store->defer(std::make_unique<DeferredProduct>(*A, *B));
  } else {
    DoubleData da(*A), db(*B);
    if (k == 1) {
      outerProduct(da.data(), m, db.data(), n, r->mutableReals());
    } else {
      cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, static_cast<int>(m),
                  static_cast<int>(n), static_cast<int>(k), 1.0, da.data(), static_cast<int>(m),
                  db.data(), static_cast<int>(k), 0.0, r->mutableReals(), static_cast<int>(m));
    }
  }
  return temp(r);
}

}  // extern "C"
