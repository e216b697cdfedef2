// Operators: element-wise semantics, scalar expansion, size errors, the matrix product,
// comparisons and logic, the truth of conditions, and how operands are reclaimed.
#include <cmath>
#include <limits>

#include "array_test_support.h"
#include "mexrt/linalg.h"

namespace mexrt::test {
namespace {

using Binary = mxArray *(*)(mxArray *, mxArray *);
const double kInf = std::numeric_limits<double>::infinity();

TEST(Operators, ElementWiseWithScalarExpansion) {
  const struct {
    const char *what;
    Binary op;
    std::vector<double> a;  // 1 x n rows (a single value is a scalar)
    std::vector<double> b;
    std::vector<double> expected;
  } cases[] = {
      {"row + row", mclPlus, {1, 2, 3}, {10, 20, 30}, {11, 22, 33}},
      {"scalar + row", mclPlus, {1}, {10, 20}, {11, 21}},
      {"row - scalar", mclMinus, {5, 6}, {1}, {4, 5}},
      {"scalar - row", mclMinus, {1}, {5, 6}, {-4, -5}},
      {".* row", mclTimes, {2, 3}, {4, 5}, {8, 15}},
      {"./ by zero", mclRdivide, {1, -1, 0}, {0}, {kInf, -kInf, NAN}},
      {"/ by scalar", mclMrdivide, {3, 6}, {3}, {1, 2}},
      {"* scalar by row", mclMtimes, {2}, {1, 2}, {2, 4}},
      {"^ scalars", mclMpower, {2}, {10}, {1024}},
      {".^ row", mclPower, {2, 3}, {2}, {4, 9}},
      {".^ 2 as the square", mclPower, {-3, -0.0, NAN, kInf, -kInf, 1e200, 1.5}, {2},
       {9, 0, NAN, kInf, kInf, kInf, 2.25}},
      {".^ 2 of the exponent row", mclPower, {4}, {2, 0.5, -1}, {16, 2, 0.25}},
      {"NaN propagates", mclPlus, {NAN, 1}, {1}, {NAN, 2}},
      {"Inf - Inf", mclMinus, {kInf}, {kInf}, {NAN}},
  };
  for (const auto &c : cases) {
    Var r(c.op(tmp(matrix({1, c.a.size()}, c.a)), tmp(matrix({1, c.b.size()}, c.b))));
    std::vector<double> got = valuesOf(r.get());
    ASSERT_EQ(got.size(), c.expected.size()) << c.what;
    for (size_t k = 0; k < got.size(); ++k) {
      if (std::isnan(c.expected[k])) {
        EXPECT_TRUE(std::isnan(got[k])) << c.what << " element " << k;
      } else {
        EXPECT_EQ(got[k], c.expected[k]) << c.what << " element " << k;
      }
    }
  }
}

TEST(Operators, SizeMismatchNamesTheOperationAndBothSizes) {
  const struct {
    Binary op;
    std::vector<size_t> a, b;
    const char *message;
  } cases[] = {
      {mclPlus, {2, 3}, {3, 2}, "Matrix dimensions must agree: 2x3 + 3x2."},
      {mclTimes, {1, 2}, {1, 3}, "Matrix dimensions must agree: 1x2 .* 1x3."},
      {mclEq, {2, 2, 2}, {2, 2}, "Matrix dimensions must agree: 2x2x2 == 2x2."},
      {mclAnd, {0, 0}, {1, 2}, "Matrix dimensions must agree: 0x0 & 1x2."},
      {mclMtimes, {2, 3}, {2, 3}, "Inner matrix dimensions must agree: 2x3 * 2x3."},
      {mclMrdivide, {2, 2}, {2, 3}, "Matrix dimensions must agree: 2x2 / 2x3."},
      {mclMldivide, {2, 2}, {3, 1}, "Matrix dimensions must agree: 2x2 \\ 3x1."},
      {mclMpower, {2, 2}, {1, 1},
       "The power operator ^ takes scalars: 2x2 ^ 1x1. Use .^ for element-wise powers."},
  };
  size_t live = mexrtLiveArrayCount();
  for (const auto &c : cases) {
    std::vector<double> za(c.a[0] * c.a[1] * (c.a.size() > 2 ? c.a[2] : 1), 1.0);
    std::vector<double> zb(c.b[0] * c.b[1], 1.0);
    std::string message = errorOf([&] { c.op(tmp(matrix(c.a, za)), tmp(matrix(c.b, zb))); });
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(mexrtLiveArrayCount(), live) << "temporary operands reclaimed on error: " << c.message;
  }
}

TEST(Operators, EmptyOperandsGiveEmptyResults) {
  Var e(mxCreateDoubleMatrix(0, 3, mxREAL));
  Var r(mclPlus(e.get(), mlfScalar(1)));
  EXPECT_EQ(dimsOf(r.get()), (std::vector<size_t>{0, 3}));
  Var p(mclMtimes(tmp(matrix({2, 0}, {})), tmp(matrix({0, 3}, {}))));
  EXPECT_EQ(dimsOf(p.get()), (std::vector<size_t>{2, 3}));
  EXPECT_EQ(valuesOf(p.get()), std::vector<double>(6, 0.0)) << "an empty inner dimension sums nothing";
}

TEST(Operators, CharAndLogicalOperandsComputeAsDoubles) {
  Var text(mxCreateString("ab"));
  Var r(mclPlus(text.get(), mlfScalar(1)));
  EXPECT_EQ(mxGetClassID(r.get()), mxDOUBLE_CLASS);
  EXPECT_EQ(valuesOf(r.get()), (std::vector<double>{98, 99}));
  Var l(mclTimes(logicalRow({1, 0, 2}), mlfScalar(5)));
  EXPECT_EQ(mxGetClassID(l.get()), mxDOUBLE_CLASS);
  EXPECT_EQ(valuesOf(l.get()), (std::vector<double>{5, 0, 5}));
}

TEST(Operators, MatrixProductMatchesTheDefinition) {
  // [1 2 3; 4 5 6] * [1 0; 0 1; 1 1] = [4 5; 10 11]
  Var a(matrix({2, 3}, {1, 4, 2, 5, 3, 6}));
  Var b(matrix({3, 2}, {1, 0, 1, 0, 1, 1}));
  Var r(mclMtimes(a.get(), b.get()));
  EXPECT_EQ(dimsOf(r.get()), (std::vector<size_t>{2, 2}));
  EXPECT_EQ(valuesOf(r.get()), (std::vector<double>{4, 10, 5, 11}));
  EXPECT_EQ(valuesOf(a.get()), (std::vector<double>{1, 4, 2, 5, 3, 6})) << "operands untouched";
  EXPECT_EQ(errorOf([] { mclMtimes(tmp(matrix({2, 2, 2}, std::vector<double>(8))), tmp(matrix({2, 2}, {0, 0, 0, 0}))); }),
            "The matrix product is not defined for N-d arrays (2x2x2).");
}

TEST(Operators, ComparisonsAndLogicGiveLogicalArrays) {
  const struct {
    const char *what;
    Binary op;
    std::vector<double> expected;
  } cases[] = {
      {"==", mclEq, {0, 1, 0}}, {"~=", mclNe, {1, 0, 1}}, {"<", mclLt, {1, 0, 0}},
      {"<=", mclLe, {1, 1, 0}}, {">", mclGt, {0, 0, 1}},  {">=", mclGe, {0, 1, 1}},
      {"&", mclAnd, {1, 1, 1}}, {"|", mclOr, {1, 1, 1}},
  };
  for (const auto &c : cases) {
    Var r(c.op(tmp(row({1, 2, 3})), mlfScalar(2)));
    EXPECT_EQ(mxGetClassID(r.get()), mxLOGICAL_CLASS) << c.what;
    EXPECT_EQ(valuesOf(r.get()), c.expected) << c.what;
  }
  Var n(mclNot(tmp(row({0, 3, 0}))));
  EXPECT_EQ(valuesOf(n.get()), (std::vector<double>{1, 0, 1}));
  EXPECT_EQ(errorOf([] { mclAnd(mlfScalar(NAN), mlfScalar(1)); }), "NaN's cannot be converted to logicals.");
  Var nanEq(mclEq(mlfScalar(NAN), mlfScalar(NAN)));
  EXPECT_EQ(valuesOf(nanEq.get()), std::vector<double>{0}) << "NaN equals nothing, itself included";
}

TEST(Truth, ConditionsFollowTheHostsRules) {
  const struct {
    const char *what;
    std::vector<size_t> dims;
    std::vector<double> v;
    bool tobool, notbool;
  } cases[] = {
      {"0", {1, 1}, {0}, false, true},
      {"1", {1, 1}, {1}, true, false},
      {"[1 0]", {1, 2}, {1, 0}, false, false},
      {"[0 0]", {1, 2}, {0, 0}, false, true},
      {"[1 2]", {1, 2}, {1, 2}, true, false},
      {"empty", {0, 0}, {}, false, false},
      {"-Inf", {1, 1}, {-kInf}, true, false},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(mlfTobool(tmp(matrix(c.dims, c.v))), c.tobool) << "if " << c.what;
    EXPECT_EQ(mclNotBool(tmp(matrix(c.dims, c.v))) != 0, c.notbool) << "~" << c.what;
  }
  EXPECT_TRUE(mlfTobool(mlfScalar(NAN))) << "NaN is not zero";
  EXPECT_FALSE(mclNotBool(tmp(row({0, NAN})))) << "a NaN is never all zero";
  EXPECT_TRUE(mclEqBool(mlfScalar(2), mlfScalar(2)));
  EXPECT_FALSE(mclEqBool(tmp(row({2, 3})), mlfScalar(2)));
  EXPECT_TRUE(mclGtBool(mlfScalar(3), mlfScalar(2)));
  EXPECT_FALSE(mclGtBool(tmp(matrix({0, 0}, {})), mlfScalar(2))) << "an empty comparison is false";
}

TEST(Operands, AbsentAndUninitialisedOperandsAreClearErrors) {
  size_t live = mexrtLiveArrayCount();
  EXPECT_EQ(errorOf([] { mclPlus(nullptr, mlfScalar(1)); }), "+: an operand is missing (an absent array).");
  EXPECT_EQ(errorOf([] { mlfLog(mclGetUninitializedArray()); }), "log: an operand is the uninitialised value.");
  EXPECT_EQ(errorOf([] { mlfTobool(nullptr); }), "if: an operand is missing (an absent array).");
  mclReleaseTempsSince(0);  // what a caller's recovery does with temporaries left by an error
  EXPECT_EQ(mexrtLiveArrayCount(), live);
}

TEST(Operands, TemporariesAreReclaimedAndVariablesKept) {
  Var x(row({1, 10, 100}));
  Var c(mclInitializeDouble(20));
  size_t live = mexrtLiveArrayCount();
  {
    Var y(mclTimes(c.get(), mlfLog10(x.get())));  // the log10 temporary is reclaimed
    EXPECT_EQ(mexrtLiveArrayCount(), live + 1) << "only the result is alive";
    EXPECT_EQ(valuesOf(y.get()), (std::vector<double>{0, 20, 40}));
  }
  EXPECT_EQ(mexrtLiveArrayCount(), live);
  EXPECT_EQ(valuesOf(x.get()), (std::vector<double>{1, 10, 100})) << "the variable is untouched";
  EXPECT_EQ(valuesOf(c.get()), std::vector<double>{20}) << "the constant is untouched";
}

TEST(Operands, AResultReusesTheBufferOfATemporaryOperand) {
  mxArray *t = tmp(row({1, 2, 3}));
  const double *buffer = mxGetPr(t);
  Var r(mclTimes(mlfScalar(2), t));
  EXPECT_EQ(mxGetPr(r.get()), buffer) << "the product was written over the temporary";
  EXPECT_EQ(valuesOf(r.get()), (std::vector<double>{2, 4, 6}));
  Var kept(row({1, 2, 3}));
  Var r2(mclTimes(mlfScalar(2), kept.get()));
  EXPECT_NE(mxGetPr(r2.get()), mxGetPr(kept.get())) << "a variable's buffer is never taken";
}

TEST(ElementWise, FunctionsOfEveryElement) {
  const struct {
    const char *what;
    mxArray *(*f)(mxArray *);
    double in, out;
  } cases[] = {
      {"log(-0)", mlfLog, -0.0, -kInf},      {"log(0)", mlfLog, 0, -kInf},
      {"log10(1000)", mlfLog10, 1000, 3},    {"log10(NaN)", mlfLog10, NAN, NAN},
      {"sqrt(-0)", mlfSqrt, -0.0, -0.0},     {"sqrt(9)", mlfSqrt, 9, 3},
      {"ceil(-0.5)", mlfCeil, -0.5, -0.0},   {"round(2.5)", mlfRound, 2.5, 3},
      {"round(-2.5)", mlfRound, -2.5, -3},   {"sin(0)", mlfSin, 0, 0},
      {"cos(0)", mlfCos, 0, 1},              {"abs(-3)", mlfAbs, -3, 3},
      {"exp(0)", mlfExp, 0, 1},              {"round(NaN)", mlfRound, NAN, NAN},
  };
  for (const auto &c : cases) {
    Var r(c.f(mlfScalar(c.in)));
    double got = valuesOf(r.get())[0];
    if (std::isnan(c.out)) {
      EXPECT_TRUE(std::isnan(got)) << c.what;
    } else {
      EXPECT_EQ(got, c.out) << c.what;
    }
  }
  Var nd(mlfSqrt(tmp(matrix({2, 1, 2}, {1, 4, 9, 16}))));
  EXPECT_EQ(dimsOf(nd.get()), (std::vector<size_t>{2, 1, 2})) << "N-d shape kept";
  EXPECT_EQ(valuesOf(nd.get()), (std::vector<double>{1, 2, 3, 4}));
}

}  // namespace
}  // namespace mexrt::test
