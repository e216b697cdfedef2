// Calls of every module function and of zeta's db from eight threads at once, 10^4 calls on
// each thread: every result, and every text a call displays, equals what the same call gives
// on one thread alone. The modules are loaded (their constants built) once, before the threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "host/loader.h"
#include "mexrt/error.h"
#include "mexrt/graphics.h"
#include "mexrt/matfile.h"
#include "mexrt/mathlib.h"
#include "mexrt/testing.h"
#include "zeta.h"

namespace fs = std::filesystem;

namespace {

constexpr int kThreads = 8;
// AddressSanitizer's build runs a tenth of the calls, to stay within the suite's time limit on
// a small machine; the plain and the ThreadSanitizer builds run them all.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kCallsPerThread = 1'000;
#else
constexpr int kCallsPerThread = 10'000;
#endif

// One sample call: the function and its inputs, each a column (a scalar when it has one value).
struct Call {
  const char *name;
  int nlhs;
  std::vector<std::vector<double>> args;
};

std::vector<double> ramp(std::size_t n, double from, double step) {
  std::vector<double> v(n);
  for (std::size_t k = 0; k < n; ++k) v[k] = from + step * static_cast<double>(k);
  return v;
}

const std::vector<Call> &calls() {
  static const std::vector<Call> c = {
      {"bandsetup", 1, {{8}, {2}, {800}}},
      {"bandsetup", 1, {{400}, {23}, {16000}}},
      {"assert", 0, {{0}}},
      {"assert", 0, {{1}}},
      {"mel", 1, {{700}}},
      {"mel", 1, {ramp(64, 0, 125)}},
      {"chan2qf", 1, {{1, 0}, {2}}},
      {"chan2qf", 1, {ramp(23, 0.5, 0.25), {13}}},
      {"quefwind", 1, {{5, 5, 5}, {2}}},
      {"quefwind", 1, {ramp(13, 1, 1), {22}}},
      {"tonegrid", 1, {}},
      {"db", 1, {{31.6}}},
      {"db", 1, {ramp(100, 0.01, 0.5)}},
      {"mel", 1, {}},  // an error, the same on every thread
  };
  return c;
}

// What a call gave: its displayed text, its error, and its first output's class, size and
// elements (as doubles).
struct Outcome {
  std::string displayed, error;
  mxClassID cls = mxUNKNOWN_CLASS;
  std::vector<std::size_t> dims;
  std::vector<double> elements;
};

// Each thread collects what its calls display.
thread_local std::string t_displayed;
void collect(void *, const char *text, std::size_t length) { t_displayed.append(text, length); }

mxArray *column(const std::vector<double> &values) {
  mxArray *a = mxCreateDoubleMatrix(values.size(), 1, mxREAL);
  std::copy(values.begin(), values.end(), mxGetPr(a));
  return a;
}

struct Entry {
  MexGatewayFn fn;
  const Call *call;
};

Outcome run(const Entry &e, const std::vector<mxArray *> &prhs) {
  Outcome o;
  t_displayed.clear();
  mxArray *plhs[1] = {nullptr};
  try {
    e.fn(e.call->nlhs, plhs, static_cast<int>(prhs.size()), const_cast<mxArray **>(prhs.data()));
  } catch (const mexrt::Error &err) {
    o.error = err.what();
  }
  o.displayed = t_displayed;
  if (mxArray *r = plhs[0]) {
    o.cls = mxGetClassID(r);
    o.dims.assign(mxGetDimensions(r), mxGetDimensions(r) + mxGetNumberOfDimensions(r));
    std::size_t n = mxGetNumberOfElements(r);
    if (const double *p = mxGetPr(r)) {
      o.elements.assign(p, p + n);
    } else if (const mxChar *c = mxGetChars(r)) {
      o.elements.assign(c, c + n);
    }
    mxDestroyArray(r);
  }
  mexrt::graphics::clearAll();  // this thread's figures (tonegrid makes one each call)
  return o;
}

// The same outcome; elements from BLAS and the vector kernels within a few rounding steps.
std::string difference(const Outcome &want, const Outcome &got) {
  if (got.error != want.error) return "error \"" + got.error + "\"";
  if (got.displayed != want.displayed) return "displayed \"" + got.displayed + "\"";
  if (got.cls != want.cls || got.dims != want.dims) return "class or size";
  for (std::size_t k = 0; k < want.elements.size(); ++k) {
    double w = want.elements[k], g = got.elements[k];
    if (std::isnan(w) ? !std::isnan(g) : std::abs(g - w) > 1e-13 * std::max(1.0, std::abs(w))) {
      return "element " + std::to_string(k + 1);
    }
  }
  return "";
}

TEST(Threads, EveryFunctionFromEightThreadsGivesItsSingleThreadedResult) {
  zetaInitialize();
  host::Loader loader;
  for (const char *file : {MEXRT_BANDSETUP_MODULE, MEXRT_CHAN2QF_MODULE, MEXRT_QUEFWIND_MODULE,
                           MEXRT_TONEGRID_MODULE}) {
    loader.load(file);
  }
  mexrt::matfile::setLoadPath({fs::path(MEXRT_TONEGRID_MODULE).parent_path().string()});
  mexrtSetTextSinks(collect, collect, nullptr);
  const std::size_t live = mexrtLiveArrayCount();

  std::vector<Entry> entries;
  std::vector<std::vector<mxArray *>> inputs;
  for (const Call &c : calls()) {
    MexGatewayFn fn = std::strcmp(c.name, "db") == 0 ? mlxDb : loader.find(c.name)->entry;
    entries.push_back({fn, &c});
    inputs.emplace_back();
    for (const auto &a : c.args) inputs.back().push_back(column(a));
  }
  std::vector<Outcome> expected;
  for (std::size_t k = 0; k < entries.size(); ++k) expected.push_back(run(entries[k], inputs[k]));
  ASSERT_EQ(expected.back().error.empty(), false) << "the last call is the failing one";

  std::atomic<int> mismatches{0};
  std::vector<std::string> firstMismatch(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int n = 0; n < kCallsPerThread; ++n) {
        // Each thread walks the calls from its own start, so different functions overlap.
        std::size_t k = (static_cast<std::size_t>(n) + 5 * t) % entries.size();
        std::string d = difference(expected[k], run(entries[k], inputs[k]));
        if (!d.empty() && mismatches++ == 0) {
          firstMismatch[t] = std::string(entries[k].call->name) + ": " + d;
        }
      }
    });
  }
  for (std::thread &th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(firstMismatch[t], "") << "thread " << t;
  EXPECT_EQ(mismatches.load(), 0) << "calls that differ from the single-threaded ones";

  // The inputs are shared by all threads (read only); the module constants are shared too.
  for (auto &in : inputs) {
    for (mxArray *a : in) mxDestroyArray(a);
  }
  EXPECT_EQ(mexrtLiveArrayCount(), live) << "arrays left by the threads";
  mexrtSetTextSinks(nullptr, nullptr, nullptr);
  mexrt::matfile::setLoadPath({});
  zetaTerminate();
}

}  // namespace
