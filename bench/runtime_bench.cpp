// Runtime costs: copy on write, a chained element-wise expression, the matrix product
// against a direct dgemm, and one scalar operation.
#include <benchmark/benchmark.h>
#include <cblas.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "mexrt/mathlib.h"

namespace {

mxArray *filled(size_t rows, size_t cols, double lo = 0.5, double hi = 2.0) {
  mxArray *a = mxCreateDoubleMatrix(rows, cols, mxREAL);
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> u(lo, hi);
  double *p = mxGetPr(a);
  for (size_t k = 0; k < rows * cols; ++k) p[k] = u(rng);
  return a;
}

// mclCopyArray of a large and of a small array: the same cost, since nothing is copied.
void BM_CopyArray(benchmark::State &state) {
  mxArray *x = filled(1, static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    mxArray *copy = x;
    mclCopyArray(&copy);
    benchmark::DoNotOptimize(copy);
    mxDestroyArray(copy);
  }
  mxDestroyArray(x);
}
BENCHMARK(BM_CopyArray)->Arg(10)->Arg(1000000);

constexpr size_t kDbElements = 10000000;

// 20 * log10(x) through the runtime: the log's temporary buffer is reused by the product.
void BM_TimesLog10(benchmark::State &state) {
  mxArray *x = filled(1, kDbElements);
  mxArray *c = mclInitializeDouble(20);
  for (auto _ : state) {
    mxArray *y = mclTimes(c, mlfLog10(x));
    benchmark::DoNotOptimize(mxGetPr(y));
    mxDestroyArray(y);
  }
  mxDestroyArray(c);
  mxDestroyArray(x);
}
BENCHMARK(BM_TimesLog10)->Unit(benchmark::kMillisecond);

// The same by hand, into a new buffer.
void BM_HandLoopLog10(benchmark::State &state) {
  mxArray *x = filled(1, kDbElements);
  const double *in = mxGetPr(x);
  for (auto _ : state) {
    std::unique_ptr<double[]> out(new double[kDbElements]);
    for (size_t k = 0; k < kDbElements; ++k) out[k] = 20.0 * std::log10(in[k]);
    benchmark::DoNotOptimize(out.get());
  }
  mxDestroyArray(x);
}
BENCHMARK(BM_HandLoopLog10)->Unit(benchmark::kMillisecond);

constexpr size_t kM = 13, kK = 26, kN = 100000;

void BM_Mtimes(benchmark::State &state) {
  mxArray *a = filled(kM, kK), *b = filled(kK, kN);
  for (auto _ : state) {
    mxArray *r = mclMtimes(a, b);
    benchmark::DoNotOptimize(mxGetPr(r));
    mxDestroyArray(r);
  }
  mxDestroyArray(a);
  mxDestroyArray(b);
}
BENCHMARK(BM_Mtimes)->Unit(benchmark::kMicrosecond);

void BM_DirectDgemm(benchmark::State &state) {
  mxArray *a = filled(kM, kK), *b = filled(kK, kN);
  for (auto _ : state) {
    std::unique_ptr<double[]> out(new double[kM * kN]);
    cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, kM, kN, kK, 1.0, mxGetPr(a), kM,
                mxGetPr(b), kK, 0.0, out.get(), kM);
    benchmark::DoNotOptimize(out.get());
  }
  mxDestroyArray(a);
  mxDestroyArray(b);
}
BENCHMARK(BM_DirectDgemm)->Unit(benchmark::kMicrosecond);

// One scalar addition, its result destroyed.
void BM_ScalarPlus(benchmark::State &state) {
  mxArray *a = mxCreateDoubleScalar(1), *b = mxCreateDoubleScalar(2);
  for (auto _ : state) {
    mxArray *r = mclPlus(a, b);
    benchmark::DoNotOptimize(r);
    mxDestroyArray(r);
  }
  mxDestroyArray(a);
  mxDestroyArray(b);
}
BENCHMARK(BM_ScalarPlus);

}  // namespace

BENCHMARK_MAIN();
