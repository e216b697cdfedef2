// The decibel function: per-call cost on a scalar, and throughput on a large vector
// against a hand-written 20*log10 loop into a new buffer, measured in the same run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "zeta.h"

namespace {

constexpr std::size_t kLarge = 10'000'000;

// The library initialised for the length of one benchmark.
struct Library {
  Library() { zetaInitialize(); }
  ~Library() { zetaTerminate(); }
};

void BM_mlfDb_scalar(benchmark::State &state) {
  Library lib;
  mxArray *x = mxCreateDoubleScalar(31.6);
  for (auto _ : state) {
    mxArray *y = mlfDb(x);
    benchmark::DoNotOptimize(y);
    mxDestroyArray(y);
  }
  mxDestroyArray(x);
}
BENCHMARK(BM_mlfDb_scalar);

mxArray *largeInput() {
  mxArray *x = mxCreateDoubleMatrix(kLarge, 1, mxREAL);
  double *p = mxGetPr(x);
  for (std::size_t k = 0; k < kLarge; ++k) p[k] = 1.0 + static_cast<double>(k % 1000);
  return x;
}

void BM_mlfDb_1e7(benchmark::State &state) {
  Library lib;
  mxArray *x = largeInput();
  for (auto _ : state) {
    mxArray *y = mlfDb(x);
    benchmark::DoNotOptimize(mxGetPr(y));
    mxDestroyArray(y);
  }
  state.SetItemsProcessed(state.iterations() * kLarge);
  mxDestroyArray(x);
}
BENCHMARK(BM_mlfDb_1e7)->Unit(benchmark::kMillisecond);

void BM_handLoop_1e7(benchmark::State &state) {
  mxArray *x = largeInput();
  const double *in = mxGetPr(x);
  for (auto _ : state) {
    std::unique_ptr<double[]> out(new double[kLarge]);  // a fresh buffer, as mlfDb makes
    for (std::size_t k = 0; k < kLarge; ++k) out[k] = 20.0 * std::log10(in[k]);
    benchmark::DoNotOptimize(out.get());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kLarge);
  mxDestroyArray(x);
}
BENCHMARK(BM_handLoop_1e7)->Unit(benchmark::kMillisecond);

}  // namespace
