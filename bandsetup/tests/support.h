// Helpers for the module's unit tests: the three units built for a test, owned arrays,
// and a call run with its standard output and error message captured.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "assertion.h"
#include "bandsetup.h"
#include "mel.h"
#include "mexrt/error.h"
#include "mexrt/testing.h"

namespace bandsetup_test {

// Builds the module constants of all three units for one test, destroys them after it.
class Units : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeModule_bandsetup();
    InitializeModule_assert();
    InitializeModule_mel();
  }
  void TearDown() override {
    TerminateModule_mel();
    TerminateModule_assert();
    TerminateModule_bandsetup();
  }
};

// An array made by the test and freed at the end of the scope.
class Owned {
 public:
  explicit Owned(mxArray *a = nullptr) : a_(a) {}
  Owned(const Owned &) = delete;
  Owned &operator=(const Owned &) = delete;
  Owned(Owned &&o) noexcept : a_(o.a_) { o.a_ = nullptr; }
  ~Owned() { mxDestroyArray(a_); }
  mxArray *get() const { return a_; }

 private:
  mxArray *a_;
};

inline mxArray *matrix(std::vector<size_t> dims, const std::vector<double> &values) {
  mxArray *a = mxCreateNumericArray(dims.size(), dims.data(), mxDOUBLE_CLASS, mxREAL);
  for (size_t k = 0; k < values.size(); ++k) mxGetPr(a)[k] = values[k];
  return a;
}
inline mxArray *row(const std::vector<double> &v) { return matrix({1, v.size()}, v); }

inline std::vector<size_t> dimsOf(const mxArray *a) {
  const size_t *d = mxGetDimensions(a);
  return {d, d + mxGetNumberOfDimensions(a)};
}
inline std::vector<double> valuesOf(const mxArray *a) {
  const double *p = mxGetPr(a);
  return {p, p + mxGetNumberOfElements(a)};
}

// What a call left behind: its standard output, its error (empty if none), its result.
struct Outcome {
  std::string out;
  std::string error;
  std::vector<size_t> dims;
  std::vector<double> values;
  std::vector<double> imags;  // the imaginary parts of a complex result
  bool leaked = false;  // arrays alive after the call that were not alive before
};

// Runs call (which returns a temporary or nullptr), keeps its result long enough to read it,
// and checks that everything the call made is freed again.
inline Outcome run(const std::function<mxArray *()> &call) {
  Outcome o;
  size_t live = mexrtLiveArrayCount();
  testing::internal::CaptureStdout();
  mxArray *result = nullptr;
  try {
    if (mxArray *r = call()) mlfAssign(&result, r);
  } catch (const mexrt::Error &e) {
    o.error = e.what();
  }
  o.out = testing::internal::GetCapturedStdout();
  if (result) {
    if (mxGetClassID(result) == mxDOUBLE_CLASS) o.values = valuesOf(result);
    if (const double *pi = mxGetPi(result)) o.imags.assign(pi, pi + mxGetNumberOfElements(result));
    o.dims = dimsOf(result);
    mxDestroyArray(result);
  }
  o.leaked = mexrtLiveArrayCount() != live;
  return o;
}

}  // namespace bandsetup_test
