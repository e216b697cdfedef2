// The matrix product: scalar operands element by element, an inner dimension of 1 as the
// outer product filled directly, other real matrices through BLAS dgemm with a thread count
// chosen by the product's shape. A scalar times a product then scales
// the product's temporary in place. Two complex matrices go through zgemm, a real one with a
// complex one through two dgemm products (one per part of the complex operand, no complex
// arithmetic on the real one).
#include <cblas.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "core/array.h"
#include "mexrt/mathlib.h"
#include "ops/classed.h"
#include "ops/elementwise.h"
#include "ops/elementwise_complex.h"

using namespace mexrt::detail;

namespace {

void requireMatrix(const Array &a, const char *what) {
  if (a.dims.size() > 2)
    raise(std::string(what) + " is not defined for N-d arrays (" + sizeText(a) + ").");
}

// The BLAS thread count for one product, held while it runs. A product that does few
// operations per element it reads or writes (chan2qf's 12 x 26 transform times 26 x 10^6
// frames: about 2 flops per byte) is bound by memory. OpenBLAS's own threads divide such a
// product (few rows, many columns) so that they contend and run slower than one thread; it
// runs on one BLAS thread, and dgemm gives each of the process's threads a block of columns
// instead when it is large. Smaller products, which OpenBLAS runs on one thread anyway, and
// the others use the process's count (OPENBLAS_NUM_THREADS, or OpenBLAS's own default).
// OpenBLAS keeps one count for the process: products that change it take turns, and the
// others run as before.
class BlasThreads {
 public:
  BlasThreads(std::size_t m, std::size_t n, std::size_t k) {
    if (process() <= 1) return;
    const double flops =
        2.0 * static_cast<double>(m) * static_cast<double>(n) * static_cast<double>(k);
    const double bytes = 8.0 * (static_cast<double>(m) * k + static_cast<double>(k) * n +
                                static_cast<double>(m) * n);
    if (flops >= kThreadedFlops && flops < kMemoryBoundFlopsPerByte * bytes) {
      lock_ = std::unique_lock(mutex());
      openblas_set_num_threads(1);
      restore_ = process();
      columnBlocks_ = bytes >= kBlockedBytes ? static_cast<std::size_t>(process()) : 1;
    }
  }
  ~BlasThreads() {
    if (restore_) openblas_set_num_threads(restore_);
  }
  BlasThreads(const BlasThreads &) = delete;
  BlasThreads &operator=(const BlasThreads &) = delete;

  // How many blocks of columns to compute at once, each a one-thread product.
  std::size_t columnBlocks() const { return columnBlocks_; }

 private:
  static constexpr double kMemoryBoundFlopsPerByte = 8.0;
  // Below about this many flops OpenBLAS runs a product on one thread by itself.
  static constexpr double kThreadedFlops = 2.0 * 65536 * 4;
  // From about this much memory read and written a memory-bound product is worth the
  // threads it starts (a few tens of microseconds each).
  static constexpr double kBlockedBytes = 16.0 * 1024 * 1024;
  static int process() {
    static const int count = openblas_get_num_threads();
    return count;
  }
  static std::mutex &mutex() {
    static std::mutex m;
    return m;
  }
  std::unique_lock<std::mutex> lock_;
  int restore_ = 0;
  std::size_t columnBlocks_ = 1;
};

// r(i, j) = a(i) * b(j): each element is one product, as dgemm would round it.
void outerProduct(const double *a, std::size_t m, const double *b, std::size_t n, double *r) {
  for (std::size_t j = 0; j < n; ++j) {
    const double bj = b[j];
    double *column = r + j * m;
    for (std::size_t i = 0; i < m; ++i) column[i] = a[i] * bj;
  }
}

// c = a * b for columns [first, first + count) of b and c.
void dgemmColumns(std::size_t m, std::size_t k, const double *a, const double *b, double *c,
                  std::size_t first, std::size_t count) {
  cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, static_cast<int>(m),
              static_cast<int>(count), static_cast<int>(k), 1.0, a, static_cast<int>(m),
              b + first * k, static_cast<int>(k), 0.0, c + first * m, static_cast<int>(m));
}

void dgemm(std::size_t m, std::size_t n, std::size_t k, const double *a, const double *b,
           double *c) {
  BlasThreads threads(m, n, k);
  const std::size_t blocks = std::min(threads.columnBlocks(), n);
  if (blocks <= 1) {
    dgemmColumns(m, k, a, b, c, 0, n);
    return;
  }
  // Blocks of columns side by side, the first on this thread. A thread that cannot be
  // started leaves its block to this one.
  const std::size_t width = (n + blocks - 1) / blocks;
  std::vector<std::thread> workers;
  std::vector<std::size_t> leftOver;
  for (std::size_t first = width; first < n; first += width) {
    const std::size_t count = std::min(width, n - first);
    try {
      workers.emplace_back(dgemmColumns, m, k, a, b, c, first, count);
    } catch (const std::system_error &) {
      leftOver.push_back(first);
    }
  }
  dgemmColumns(m, k, a, b, c, 0, std::min(width, n));
  for (std::size_t first : leftOver) dgemmColumns(m, k, a, b, c, first, std::min(width, n - first));
  for (std::thread &w : workers) w.join();
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
    BlasThreads threads(m, n, k);
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

extern "C" {

mxArray *mclMtimes(mxArray *a, mxArray *b) {
  if (classedOperands(a, b)) return classedProduct(a, b);
  const bool complex = isComplexArg(a) || isComplexArg(b);
  if (a && b && !a->isUninit() && !b->isUninit() && (a->isScalar() || b->isScalar())) {
    if (complex) return complexArithmetic<ComplexTimes>(a, b, "*");
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
  Owned r(newArrayForOverwrite(mxDOUBLE_CLASS, Dims(m, n)));
  DoubleData da(*A), db(*B);
  if (k == 1) {
    outerProduct(da.data(), m, db.data(), n, r->mutableReals());
  } else {
    dgemm(m, n, k, da.data(), db.data(), r->mutableReals());
  }
  return temp(r.release());
}

}  // extern "C"
