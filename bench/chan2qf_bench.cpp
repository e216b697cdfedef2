// chan2qf on 26 x 10^6 log filterbank outputs with 12 coefficients, against one direct dgemm
// of the same 12 x 26 cosine matrix with the same data, the scale folded into alpha.
#include <benchmark/benchmark.h>
#include <cblas.h>

#include <cmath>
#include <numbers>
#include <random>

#include "mexrt/mathlib.h"
#include "module_bench.h"

namespace {

constexpr int kChannels = 26;
constexpr int kCeps = 12;
constexpr int kFrames = 1000000;

mxArray *logFilterbank() {
  static mxArray *a = [] {
    mxArray *m = mxCreateDoubleMatrix(kChannels, kFrames, mxREAL);
    std::mt19937_64 rng(7);
    std::normal_distribution<double> v(2.0, 3.0);
    double *p = mxGetPr(m);
    for (std::size_t k = 0; k < std::size_t{kChannels} * kFrames; ++k) p[k] = v(rng);
    return m;
  }();
  return a;
}

void BM_Chan2qf(benchmark::State &state) {
  BenchModule module("chan2qf");
  mxArray *x = logFilterbank();
  mxArray *n = mxCreateDoubleScalar(kCeps);
  for (auto _ : state) {
    mxArray *c = module.call(x, n);
    benchmark::DoNotOptimize(mxGetPr(c));
    mxDestroyArray(c);
  }
  mxDestroyArray(n);
}
BENCHMARK(BM_Chan2qf)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Chan2qfDirectDgemm(benchmark::State &state) {
  double cosines[kCeps * kChannels];
  for (int k = 0; k < kChannels; ++k) {
    for (int n = 1; n <= kCeps; ++n) {
      cosines[(n - 1) + k * kCeps] = std::cos(n * (std::numbers::pi / kChannels) * (k + 0.5));
    }
  }
  const double scalef = std::sqrt(2.0 / kChannels);
  const double *x = mxGetPr(logFilterbank());
  for (auto _ : state) {
    mxArray *c = mxCreateDoubleMatrix(kCeps, kFrames, mxREAL);
    cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, kCeps, kFrames, kChannels, scalef,
                cosines, kCeps, x, kChannels, 0.0, mxGetPr(c), kCeps);
    benchmark::DoNotOptimize(mxGetPr(c));
    mxDestroyArray(c);
  }
}
BENCHMARK(BM_Chan2qfDirectDgemm)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
