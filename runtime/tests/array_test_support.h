// Helpers for tests that drive the runtime through its C API, shared by the tests of every
// folder: building arrays, reading them back, owning them for the length of a test case, and
// a fixture for the tests of a module's units.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "mexrt/error.h"
#include "mexrt/mathlib.h"
#include "mexrt/testing.h"

namespace mexrt::test {

// An owned array, freed at the end of the scope.
class Var {
 public:
  Var() = default;
  // Takes a over: a temporary is kept (no longer reclaimable by an operation), an owned
  // array is held as it is.
  explicit Var(mxArray *a) : a_(mclInitialize(a)) {
    if (a_ != a) mxDestroyArray(a);
  }
  Var(const Var &) = delete;
  Var &operator=(const Var &) = delete;
  ~Var() { mxDestroyArray(a_); }
  mxArray *get() const { return a_; }
  mxArray **addr() { return &a_; }
  // Keeps a (usually an operation's temporary result) as this variable's value.
  void keep(mxArray *a) { mlfAssign(&a_, a); }

 private:
  mxArray *a_ = nullptr;
};

// An owned double array of the given size with the given elements in column-major order.
inline mxArray *matrix(std::vector<size_t> dims, std::vector<double> values) {
  mxArray *a = mxCreateNumericArray(dims.size(), dims.data(), mxDOUBLE_CLASS, mxREAL);
  double *p = mxGetPr(a);
  for (size_t k = 0; k < values.size(); ++k) p[k] = values[k];
  return a;
}

inline mxArray *row(const std::vector<double> &v) { return matrix({1, v.size()}, v); }
inline mxArray *column(const std::vector<double> &v) { return matrix({v.size(), 1}, v); }

// A temporary, as an operation's result would be.
inline mxArray *tmp(mxArray *owned) { return mlfReturnValue(owned); }

// A 1 x n logical array, built through a comparison with 0.
inline mxArray *logicalRow(std::initializer_list<double> v) {
  return mclNe(tmp(row(v)), mlfScalar(0));
}

inline std::vector<size_t> dimsOf(const mxArray *a) {
  const size_t *d = mxGetDimensions(a);
  return {d, d + mxGetNumberOfDimensions(a)};
}

// The elements as doubles, whatever the class.
inline std::vector<double> valuesOf(const mxArray *a) {
  std::vector<double> out;
  if (mxGetClassID(a) == mxDOUBLE_CLASS) {
    const double *p = mxGetPr(a);
    out.assign(p, p + mxGetNumberOfElements(a));
    return out;
  }
  // Other classes read through a conversion to double.
  Var d(mlfCast(const_cast<mxArray *>(a), mlfReturnValue(mxCreateString("double"))));
  const double *p = mxGetPr(d.get());
  out.assign(p, p + mxGetNumberOfElements(d.get()));
  return out;
}

// An owned complex double array with the given parts in column-major order.
inline mxArray *complexMatrix(std::vector<size_t> dims, std::vector<double> re,
                              std::vector<double> im) {
  mxArray *a = mxCreateNumericArray(dims.size(), dims.data(), mxDOUBLE_CLASS, mxCOMPLEX);
  double *pr = mxGetPr(a), *pi = mxGetPi(a);
  for (size_t k = 0; k < re.size(); ++k) pr[k] = re[k];
  for (size_t k = 0; k < im.size(); ++k) pi[k] = im[k];
  return a;
}
inline mxArray *complexScalar(double re, double im) { return complexMatrix({1, 1}, {re}, {im}); }

// The imaginary parts, empty for a real array.
inline std::vector<double> imagsOf(const mxArray *a) {
  const double *p = mxGetPi(a);
  if (!p) return {};
  return {p, p + mxGetNumberOfElements(a)};
}

// The same double: equal, with the same sign for zeros, or both NaN.
inline bool sameDouble(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b && std::signbit(a) == std::signbit(b);
}

inline std::string textOf(const mxArray *a) {
  char *s = mxArrayToString(a);
  std::string out = s ? s : "";
  mxFree(s);
  return out;
}

// The message of the mexrt::Error that f raises, or "" when it raises none.
inline std::string errorOf(const std::function<void()> &f) {
  try {
    f();
  } catch (const mexrt::Error &e) {
    return e.what();
  }
  return "";
}

// The tests of a unit called through its entries: the unit's module constants built before
// each test and destroyed after it, and every array the test made freed again.
template <void (*Initialize)(), void (*Terminate)()>
class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Initialize();
    live_ = mexrtLiveArrayCount();
  }
  void TearDown() override {
    EXPECT_EQ(mexrtLiveArrayCount(), live_) << "every array of the test is freed";
    Terminate();
  }

  size_t live_ = 0;  // arrays alive when the test began
};

}  // namespace mexrt::test
