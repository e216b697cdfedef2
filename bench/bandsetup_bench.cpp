// bandsetup through its module: 128 channels at 48 kHz for frame lengths 2^10 to 2^16, the
// time per design and its growth with the number of bins (one loop pass per bin).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "mexrt/mathlib.h"
#include "module_bench.h"

namespace {

// Standard output sent to /dev/null for the life of the object: each design prints two lines.
class QuietStdout {
 public:
  QuietStdout() : saved_(dup(STDOUT_FILENO)) {
    std::fflush(stdout);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    close(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }
  QuietStdout(const QuietStdout &) = delete;
  QuietStdout &operator=(const QuietStdout &) = delete;

 private:
  int saved_;
};

void BM_Bandsetup(benchmark::State &state) {
  BenchModule module("bandsetup");
  mxArray *framelen = mxCreateDoubleScalar(static_cast<double>(state.range(0)));
  mxArray *numchans = mxCreateDoubleScalar(128);
  mxArray *fsamp = mxCreateDoubleScalar(48000);
  {
    QuietStdout quiet;
    for (auto _ : state) {
      mxArray *fbank = module.call(framelen, numchans, fsamp);
      benchmark::DoNotOptimize(mxGetPr(fbank));
      mxDestroyArray(fbank);
    }
  }
  state.SetComplexityN(state.range(0));
  mxDestroyArray(fsamp);
  mxDestroyArray(numchans);
  mxDestroyArray(framelen);
}
BENCHMARK(BM_Bandsetup)
    ->RangeMultiplier(4)
    ->Range(1 << 10, 1 << 16)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity();

}  // namespace
