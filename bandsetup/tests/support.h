// Helpers for the module's unit tests beside the shared test support: the three units built
// for a test, and a call run with its standard output and error message captured.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "array_test_support.h"
#include "assertion.h"
#include "bandsetup.h"
#include "mel.h"
#include "mexrt/error.h"

namespace bandsetup_test {

using mexrt::test::dimsOf;
using mexrt::test::matrix;
using mexrt::test::row;
using mexrt::test::valuesOf;
using mexrt::test::Var;

inline void initializeUnits() {
  InitializeModule_bandsetup();
  InitializeModule_assert();
  InitializeModule_mel();
}
inline void terminateUnits() {
  TerminateModule_mel();
  TerminateModule_assert();
  TerminateModule_bandsetup();
}

// The module constants of all three units built for one test, destroyed after it.
class Units : public mexrt::test::ModuleTest<initializeUnits, terminateUnits> {};

// What a call left behind: its standard output, its error (empty if none), its result.
struct Outcome {
  std::string out;
  std::string error;
  std::vector<size_t> dims;
  std::vector<double> values;
  std::vector<double> imags;  // the imaginary parts of a complex result
  bool leaked = false;        // arrays alive after the call that were not alive before
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
