// The matrix product: scalar operands element by element, an inner dimension of 1 as the
// outer product filled directly, other matrices through BLAS dgemm. A large product is
// computed when it is first read, so that a scalar that multiplies it next is folded into
// dgemm's alpha instead of costing a pass of its own.
#include <cblas.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

#include "core/array.h"
#include "mexrt/mathlib.h"
#include "ops/elementwise.h"
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
    ++a_->refs;
    ++b_->refs;
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

}  // namespace

namespace mexrt::detail {

mxArray *foldIntoProduct(mxArray *a, mxArray *b) {
  for (auto [s, x] : {std::pair{a, b}, std::pair{b, a}}) {
    if (!s || !x || s == x || !s->isDouble() || !s->isScalar() || !x->temporary || !x->isDouble() ||
        !x->store || x->store->refs != 1) {
      continue;
    }
    auto *product = dynamic_cast<DeferredProduct *>(x->store->pending);
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
  if (a && b && !a->isUninit() && !b->isUninit() && (a->isScalar() || b->isScalar())) {
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
