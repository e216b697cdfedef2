// fft through the runtime: 2 x 10^4 frames of 400 samples zero-padded to 512 (the columns of
// one matrix), one such frame alone (planning must not dominate a single call), and the
// inverse of the spectra.
#include <benchmark/benchmark.h>

#include <random>

#include "mexrt/mathlib.h"

namespace {

constexpr size_t kFrameLength = 400, kPadded = 512;

mxArray *frames(size_t count) {
  mxArray *x = mxCreateDoubleMatrix(kFrameLength, count, mxREAL);
  std::mt19937_64 rng(42);
  std::normal_distribution<double> noise;
  double *p = mxGetPr(x);
  for (size_t k = 0; k < kFrameLength * count; ++k) p[k] = noise(rng);
  return x;
}

void BM_FftFramesPadded(benchmark::State &state) {
  mxArray *x = frames(static_cast<size_t>(state.range(0)));
  mxArray *n = mxCreateDoubleScalar(kPadded);
  for (auto _ : state) {
    mxArray *spectra = mlfFft(x, n, nullptr);
    benchmark::DoNotOptimize(mxGetPi(spectra));
    mxDestroyArray(spectra);
  }
  mxDestroyArray(n);
  mxDestroyArray(x);
}
BENCHMARK(BM_FftFramesPadded)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FftFramesPadded)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_IfftSymmetric(benchmark::State &state) {
  mxArray *x = frames(20000);
  mxArray *n = mxCreateDoubleScalar(kPadded);
  mxArray *spectra = nullptr;
  mlfAssign(&spectra, mlfFft(x, n, nullptr));
  mxArray *option = mxCreateString("symmetric");
  for (auto _ : state) {
    mxArray *back = mlfIfft(spectra, nullptr, nullptr, option);
    benchmark::DoNotOptimize(mxGetPr(back));
    mxDestroyArray(back);
  }
  for (mxArray *a : {option, spectra, n, x}) mxDestroyArray(a);
}
BENCHMARK(BM_IfftSymmetric)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
