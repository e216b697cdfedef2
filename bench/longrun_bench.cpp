// Long runs: each function called 10^6 times on small inputs (tonegrid 10^5) and 10^3 times
// on inputs of 10^6 elements, with the resident set sampled after a warm-up of a tenth of the calls
// and at the end. The counter rss_growth_KiB is the growth between the two samples: within 1 MiB
// for the small inputs, within the large-buffer cache's bound (1 GiB) for the large.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "mexrt/graphics.h"
#include "mexrt/matfile.h"
#include "mexrt/mathlib.h"
#include "module_bench.h"
#include "zeta.h"

namespace {

// The resident set in KiB, from /proc/self/statm.
double residentKiB() {
  long pages = 0, resident = 0;
  if (FILE *f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1024;
}

mxArray *ramp(std::size_t rows, std::size_t cols, double scale) {
  mxArray *m = mxCreateDoubleMatrix(rows, cols, mxREAL);
  double *p = mxGetPr(m);
  for (std::size_t k = 0; k < rows * cols; ++k) p[k] = 1 + scale * static_cast<double>(k % 997);
  return m;
}

using Call = std::function<mxArray *()>;

void runLong(benchmark::State &state, const Call &call) {
  const std::int64_t calls = state.max_iterations;
  const std::int64_t warmup = calls / 10;
  std::int64_t done = 0;
  double after = 0;
  for (auto _ : state) {
    mxArray *r = call();
    // One element read, as a caller reads the result.
    if (r && mxIsDouble(r) && mxGetNumberOfElements(r) > 0) benchmark::DoNotOptimize(*mxGetPr(r));
    benchmark::DoNotOptimize(r);
    mxDestroyArray(r);
    if (++done == warmup) after = residentKiB();
  }
  state.counters["rss_growth_KiB"] = residentKiB() - after;
  state.counters["rss_KiB"] = residentKiB();
}

struct Modules {
  Modules() {
    // The bandsetup report would fill the terminal; the figures are the counters.
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    zetaInitialize();
    // tonegrid reads its data file from beside the modules.
    auto exe = std::filesystem::read_symlink("/proc/self/exe");
    mexrt::matfile::setLoadPath({(exe.parent_path().parent_path() / "mex").string()});
  }
  BenchModule bandsetup{"bandsetup"}, mel{"bandsetup", "mel"}, chan2qf{"chan2qf"},
      quefwind{"quefwind"}, tonegrid{"tonegrid"}, assert_{"bandsetup", "assert"};
};
Modules &modules() {
  static Modules *m = new Modules;
  return *m;
}

void BM_LongSmall(benchmark::State &state, const std::string &name) {
  Modules &m = modules();
  std::unique_ptr<mxArray, decltype(&mxDestroyArray)> a(nullptr, mxDestroyArray),
      b(nullptr, mxDestroyArray), c(nullptr, mxDestroyArray);
  Call call;
  if (name == "db") {
    a.reset(ramp(1, 10, 1));
    call = [&] { return mlfDb(a.get()); };
  } else if (name == "bandsetup") {
    a.reset(mxCreateDoubleScalar(8));
    b.reset(mxCreateDoubleScalar(2));
    c.reset(mxCreateDoubleScalar(800));
    call = [&] { return m.bandsetup.call(a.get(), b.get(), c.get()); };
  } else if (name == "mel") {
    a.reset(ramp(1, 10, 100));
    call = [&] { return m.mel.call(a.get()); };
  } else if (name == "chan2qf") {
    a.reset(ramp(4, 3, 0.5));
    b.reset(mxCreateDoubleScalar(3));
    call = [&] { return m.chan2qf.call(a.get(), b.get()); };
  } else if (name == "assert") {
    a.reset(mxCreateDoubleScalar(1));
    call = [&]() -> mxArray * {
      m.assert_.callForEffect(a.get());
      return nullptr;
    };
  } else if (name == "tonegrid") {
    call = [&] {
      mxArray *figure = m.tonegrid.call();
      mexrt::graphics::clearAll();  // each call draws a new figure
      return figure;
    };
  } else {
    a.reset(ramp(12, 3, 0.5));
    b.reset(mxCreateDoubleScalar(22));
    call = [&] { return m.quefwind.call(a.get(), b.get()); };
  }
  runLong(state, call);
}

void BM_LongLarge(benchmark::State &state, const std::string &name) {
  Modules &m = modules();
  std::unique_ptr<mxArray, decltype(&mxDestroyArray)> a(nullptr, mxDestroyArray),
      b(nullptr, mxDestroyArray);
  Call call;
  if (name == "db") {
    a.reset(ramp(1, 1000000, 1));
    call = [&] { return mlfDb(a.get()); };
  } else if (name == "mel") {
    a.reset(ramp(1, 1000000, 10));
    call = [&] { return m.mel.call(a.get()); };
  } else if (name == "chan2qf") {
    a.reset(ramp(20, 50000, 0.5));
    b.reset(mxCreateDoubleScalar(12));
    call = [&] { return m.chan2qf.call(a.get(), b.get()); };
  } else {
    a.reset(ramp(12, 83334, 0.5));
    b.reset(mxCreateDoubleScalar(22));
    call = [&] { return m.quefwind.call(a.get(), b.get()); };
  }
  runLong(state, call);
}

}  // namespace

BENCHMARK_CAPTURE(BM_LongSmall, db, std::string("db"))->Iterations(1000000);
BENCHMARK_CAPTURE(BM_LongSmall, bandsetup, std::string("bandsetup"))->Iterations(1000000);
BENCHMARK_CAPTURE(BM_LongSmall, assert, std::string("assert"))->Iterations(1000000);
BENCHMARK_CAPTURE(BM_LongSmall, mel, std::string("mel"))->Iterations(1000000);
BENCHMARK_CAPTURE(BM_LongSmall, chan2qf, std::string("chan2qf"))->Iterations(1000000);
BENCHMARK_CAPTURE(BM_LongSmall, quefwind, std::string("quefwind"))->Iterations(1000000);
// tonegrid reads a MAT-file and draws a figure each call: 10^5 calls keep the run short.
BENCHMARK_CAPTURE(BM_LongSmall, tonegrid, std::string("tonegrid"))->Iterations(100000);
BENCHMARK_CAPTURE(BM_LongLarge, db, std::string("db"))
    ->Iterations(1000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LongLarge, mel, std::string("mel"))
    ->Iterations(1000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LongLarge, chan2qf, std::string("chan2qf"))
    ->Iterations(1000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LongLarge, quefwind, std::string("quefwind"))
    ->Iterations(1000)
    ->Unit(benchmark::kMillisecond);
