// quefwind with L = 22 on 12 x 10^6 coefficients against a hand loop that multiplies each row
// by its weight, and the pass-through on 12 x 10 and 12 x 10^6 (nothing is copied).
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>

#include "mexrt/mathlib.h"
#include "module_bench.h"

namespace {

constexpr int kCeps = 12;

mxArray *cepstra(std::size_t frames) {
  mxArray *m = mxCreateDoubleMatrix(kCeps, frames, mxREAL);
  std::mt19937_64 rng(11);
  std::normal_distribution<double> v(0.0, 5.0);
  double *p = mxGetPr(m);
  for (std::size_t k = 0; k < kCeps * frames; ++k) p[k] = v(rng);
  return m;
}

void BM_Quefwind(benchmark::State &state) {
  BenchModule module("quefwind");
  mxArray *x = cepstra(static_cast<std::size_t>(state.range(0)));
  mxArray *L = mxCreateDoubleScalar(static_cast<double>(state.range(1)));
  for (auto _ : state) {
    mxArray *c = module.call(x, L);
    benchmark::DoNotOptimize(c);
    mxDestroyArray(c);
  }
  mxDestroyArray(L);
  mxDestroyArray(x);
}
BENCHMARK(BM_Quefwind)
    ->ArgNames({"frames", "L"})
    ->Args({1000000, 22})
    ->Args({10, 0})
    ->Args({1000000, 0})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

void BM_QuefwindHandLoop(benchmark::State &state) {
  const std::size_t frames = static_cast<std::size_t>(state.range(0));
  const double L = 22;
  double w[kCeps];
  for (int n = 1; n <= kCeps; ++n) w[n - 1] = 1 + L / 2 * std::sin(std::numbers::pi / L * n);
  mxArray *x = cepstra(frames);
  const double *in = mxGetPr(x);
  for (auto _ : state) {
    mxArray *c = mxCreateDoubleMatrix(kCeps, frames, mxREAL);
    double *out = mxGetPr(c);
    for (std::size_t j = 0; j < frames; ++j) {
      for (int n = 0; n < kCeps; ++n) out[n + j * kCeps] = in[n + j * kCeps] * w[n];
    }
    benchmark::DoNotOptimize(out);
    mxDestroyArray(c);
  }
  mxDestroyArray(x);
}
BENCHMARK(BM_QuefwindHandLoop)
    ->ArgName("frames")
    ->Arg(1000000)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace
