// Tests of the array functions: size, zeros, ones, reshape, concatenation, find, max, min,
// sum, numel, transpose and isempty, through the C API.
#include <cmath>
#include <limits>

#include "array_test_support.h"

namespace mexrt::test {
namespace {

using Dims = std::vector<size_t>;
using Values = std::vector<double>;
using Make = std::function<mxArray *()>;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

mxArray *m23() { return matrix({2, 3}, {1, 2, 3, 4, 5, 6}); }  // [1 3 5; 2 4 6]
mxArray *num(double v) { return mlfScalar(v); }
mxArray *empty() { return mxCreateDoubleMatrix(0, 0, mxREAL); }

// Same values, NaN equal to NaN.
void expectValues(const Values &got, const Values &want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t k = 0; k < got.size(); ++k) {
    if (std::isnan(want[k]))
      EXPECT_TRUE(std::isnan(got[k])) << "element " << k;
    else
      EXPECT_EQ(got[k], want[k]) << "element " << k;
  }
}

// A case whose operation returns one temporary result: dims, values and class checked, and
// the live count shows every operand temporary was reclaimed.
struct ResultCase {
  const char *name;
  Make run;
  Dims dims;
  Values values;
  mxClassID cls = mxDOUBLE_CLASS;
};

void checkResults(const std::vector<ResultCase> &cases) {
  for (const ResultCase &c : cases) {
    SCOPED_TRACE(c.name);
    size_t live = mexrtLiveArrayCount();
    Var r(c.run());
    EXPECT_EQ(mexrtLiveArrayCount(), live + 1) << "operands not reclaimed";
    EXPECT_EQ(dimsOf(r.get()), c.dims);
    expectValues(valuesOf(r.get()), c.values);
    EXPECT_EQ(mxGetClassID(r.get()), c.cls);
  }
}

struct ErrorCase {
  const char *name;
  std::function<void()> run;
  const char *message;
};

void checkErrors(const std::vector<ErrorCase> &cases) {
  for (const ErrorCase &c : cases) {
    SCOPED_TRACE(c.name);
    size_t live = mexrtLiveArrayCount();
    std::string message = errorOf(c.run);
    EXPECT_NE(message, "") << "no error";
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
    EXPECT_EQ(mexrtLiveArrayCount(), live) << "an error path leaked";
  }
}

mxArray *nd234() {
  Values v(24);
  for (size_t k = 0; k < v.size(); ++k) v[k] = static_cast<double>(k + 1);
  return matrix({2, 3, 4}, v);
}

TEST(Functions, SizeAsResult) {
  checkResults({
      {"matrix", [] { return mlfSize(nullptr, tmp(m23()), nullptr); }, {1, 2}, {2, 3}},
      {"N-d", [] { return mlfSize(nullptr, tmp(nd234()), nullptr); }, {1, 3}, {2, 3, 4}},
      {"empty", [] { return mlfSize(nullptr, tmp(empty()), nullptr); }, {1, 2}, {0, 0}},
      {"dim 2", [] { return mlfSize(nullptr, tmp(m23()), num(2)); }, {1, 1}, {3}},
      {"dim beyond ndims", [] { return mlfSize(nullptr, tmp(m23()), num(5)); }, {1, 1}, {1}},
  });
}

TEST(Functions, SizeIntoSlots) {
  struct Case {
    const char *name;
    int slots;
    Values expected;
  };
  const Case cases[] = {
      {"one slot takes the product", 1, {24}},
      {"two slots fold the rest", 2, {2, 12}},
      {"three slots", 3, {2, 3, 4}},
      {"slots beyond ndims get 1", 5, {2, 3, 4, 1, 1}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Var> outs(5);
    for (Var &v : outs) v.keep(mlfScalar(-1));  // old values, freed by the assignment
    mxArray **p[5];
    for (int k = 0; k < 5; ++k) p[k] = k < c.slots ? outs[k].addr() : nullptr;
    mlfVarargoutList list = mlfVarargout(p[0], p[1], p[2], p[3], p[4], nullptr);
    ASSERT_EQ(list.count, c.slots);
    size_t live = mexrtLiveArrayCount();
    EXPECT_EQ(mlfSize(&list, tmp(nd234()), nullptr), nullptr);
    EXPECT_EQ(mexrtLiveArrayCount(), live);
    for (int k = 0; k < c.slots; ++k) expectValues(valuesOf(outs[k].get()), {c.expected[k]});
  }
  // [n] = size(n): the variable measured is also the slot written.
  Var x(m23());
  mlfVarargoutList self = mlfVarargout(x.addr(), nullptr);
  mlfSize(&self, x.get(), nullptr);
  expectValues(valuesOf(x.get()), {6});
}

TEST(Functions, SizeErrors) {
  static mxArray *slot = nullptr;
  checkErrors({
      {"dim 0", [] { mlfSize(nullptr, tmp(m23()), num(0)); }, "positive integer"},
      {"dim fraction", [] { mlfSize(nullptr, tmp(m23()), num(1.5)); }, "positive integer"},
      {"absent x", [] { mlfSize(nullptr, nullptr, num(1)); }, "missing"},
      {"NULL slot",
       [] {
         mlfVarargoutList l = mlfVarargout(&slot, nullptr);
         l.slots[l.count++] = nullptr;
         mlfSize(&l, tmp(m23()), nullptr);
       },
       "slot 2 is missing"},
      {"more than 16 slots",
       [] {
         mxArray **s = &slot;
         mlfVarargout(s, s, s, s, s, s, s, s, s, s, s, s, s, s, s, s, s, nullptr);
       },
       "at most 16"},
  });
}

TEST(Functions, ZerosAndOnes) {
  checkResults({
      {"no arguments", [] { return mlfZeros(nullptr); }, {1, 1}, {0}},
      {"n is n x n", [] { return mlfOnes(num(2), nullptr); }, {2, 2}, {1, 1, 1, 1}},
      {"m, n", [] { return mlfZeros(num(1), num(3), nullptr); }, {1, 3}, {0, 0, 0}},
      {"size vector",
       [] {
         return mlfOnes(tmp(row({2, 1, 2})), nullptr);
       },
       {2, 1, 2},
       {1, 1, 1, 1}},
      {"trailing 1 dropped",
       [] { return mlfZeros(num(2), num(2), num(1), nullptr); },
       {2, 2},
       {0, 0, 0, 0}},
      {"negative is 0", [] { return mlfZeros(num(-3), nullptr); }, {0, 0}, {}},
      {"negative in a list", [] { return mlfOnes(num(2), num(-1), nullptr); }, {2, 0}, {}},
      {"empty size vector", [] { return mlfZeros(tmp(empty()), nullptr); }, {0, 0}, {}},
  });
  checkErrors({
      {"fraction", [] { mlfZeros(num(1.5), nullptr); }, "whole numbers, not 1.5"},
      {"NaN", [] { mlfOnes(num(2), num(kNaN), nullptr); }, "not NaN"},
      {"Inf", [] { mlfZeros(num(INFINITY), nullptr); }, "not Inf"},
      {"huge", [] { mlfZeros(num(1e12), num(1e12), nullptr); }, "Out of memory"},
      {"huge N-d",
       [] {
         mlfOnes(tmp(row({1e6, 1e6, 1e6, 1e6})), nullptr);
       },
       "Out of memory"},
      {"non-scalar in a list",
       [] {
         mlfZeros(num(2), tmp(row({1, 2})), nullptr);
       },
       "must be a scalar"},
      {"uninitialised later argument",
       [] { mlfZeros(num(2), mclGetUninitializedArray(), num(3), nullptr); }, "uninitialised"},
  });
}

TEST(Functions, Reshape) {
  checkResults({
      {"m, n",
       [] { return mlfReshape(tmp(m23()), num(3), num(2), nullptr); },
       {3, 2},
       {1, 2, 3, 4, 5, 6}},
      {"size vector",
       [] {
         return mlfReshape(tmp(m23()), tmp(row({1, 6})), nullptr);
       },
       {1, 6},
       {1, 2, 3, 4, 5, 6}},
      {"computed dimension",
       [] { return mlfReshape(tmp(nd234()), tmp(empty()), num(4), nullptr); },
       {6, 4},
       Values{1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
              13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}},
      {"to N-d",
       [] {
         return mlfReshape(tmp(row({1, 2, 3, 4, 5, 6, 7, 8})), num(2), num(2), num(2), nullptr);
       },
       {2, 2, 2},
       {1, 2, 3, 4, 5, 6, 7, 8}},
      {"char stays char",
       [] { return mlfReshape(tmp(mxCreateString("abcd")), num(2), num(2), nullptr); },
       {2, 2},
       {'a', 'b', 'c', 'd'},
       mxCHAR_CLASS},
  });
  checkErrors({
      {"count mismatch", [] { mlfReshape(tmp(m23()), num(4), num(2), nullptr); },
       "size 2x3 (6 elements) to size 4x2"},
      {"not divisible", [] { mlfReshape(tmp(m23()), tmp(empty()), num(4), nullptr); },
       "to size []x4"},
      {"two unknowns", [] { mlfReshape(tmp(m23()), tmp(empty()), tmp(empty()), nullptr); },
       "only one size"},
      {"negative", [] { mlfReshape(tmp(m23()), num(-2), num(-3), nullptr); }, "non-negative"},
      {"no size", [] { mlfReshape(tmp(m23()), nullptr); }, "missing"},
  });
  // The variable reshaped is untouched.
  Var a(m23());
  Var r(mlfReshape(a.get(), num(6), num(1), nullptr));
  EXPECT_EQ(dimsOf(a.get()), (Dims{2, 3}));
}

TEST(Functions, Concatenation) {
  checkResults({
      {"horzcat scalars",
       [] { return mlfHorzcat(num(1), num(2), num(3), nullptr); },
       {1, 3},
       {1, 2, 3}},
      {"horzcat matrices",
       [] {
         return mlfHorzcat(tmp(m23()), tmp(column({7, 8})), nullptr);
       },
       {2, 4},
       {1, 2, 3, 4, 5, 6, 7, 8}},
      {"vertcat rows",
       [] {
         return mlfVertcat(tmp(row({1, 2})), tmp(row({3, 4})), nullptr);
       },
       {2, 2},
       {1, 3, 2, 4}},
      {"vertcat interleaves columns",
       [] {
         return mlfVertcat(tmp(m23()), tmp(row({7, 8, 9})), nullptr);
       },
       {3, 3},
       {1, 2, 7, 3, 4, 8, 5, 6, 9}},
      {"0x0 ignored",
       [] { return mlfHorzcat(tmp(empty()), num(5), tmp(empty()), nullptr); },
       {1, 1},
       {5}},
      {"1x0 joins a row",
       [] { return mlfHorzcat(tmp(mxCreateDoubleMatrix(1, 0, mxREAL)), num(5), nullptr); },
       {1, 1},
       {5}},
      {"none gives 0x0", [] { return mlfHorzcat(nullptr); }, {0, 0}, {}},
      {"all empty", [] { return mlfVertcat(tmp(empty()), tmp(empty()), nullptr); }, {0, 0}, {}},
      {"char wins",
       [] { return mlfHorzcat(tmp(mxCreateString("a")), num(66), nullptr); },
       {1, 2},
       {'a', 'B'},
       mxCHAR_CLASS},
      {"all logical stays logical",
       [] {
         return mlfHorzcat(logicalRow({1}), logicalRow({0, 1}), nullptr);
       },
       {1, 3},
       {1, 0, 1},
       mxLOGICAL_CLASS},
      {"empty char still makes char",
       [] { return mlfHorzcat(tmp(mxCreateString("")), num(65), nullptr); },
       {1, 1},
       {'A'},
       mxCHAR_CLASS},
      {"logical with double is double",
       [] { return mlfVertcat(logicalRow({1}), num(2), nullptr); },
       {2, 1},
       {1, 2}},
      {"N-d horzcat",
       [] {
         return mlfHorzcat(tmp(matrix({1, 1, 2}, {1, 2})), tmp(matrix({1, 1, 2}, {3, 4})), nullptr);
       },
       {1, 2, 2},
       {1, 3, 2, 4}},
      {"same operand twice",
       [] {
         mxArray *t = tmp(row({1, 2}));
         return mlfVertcat(t, t, nullptr);
       },
       {2, 2},
       {1, 1, 2, 2}},
  });
  checkErrors({
      {"horzcat rows differ",
       [] {
         mlfHorzcat(tmp(m23()), tmp(row({1, 2})), nullptr);
       },
       "not consistent: 2x3 and 1x2"},
      {"vertcat columns differ",
       [] {
         mlfVertcat(tmp(row({1, 2})), tmp(row({1, 2, 3})), nullptr);
       },
       "not consistent: 1x2 and 1x3"},
      {"uninitialised operand",
       [] { mlfHorzcat(num(1), mclGetUninitializedArray(), num(2), nullptr); }, "uninitialised"},
  });
}

TEST(Functions, Find) {
  checkResults({
      {"row gives row",
       [] {
         return mlfFind(nullptr, nullptr, tmp(row({0, 3, 0, 4})));
       },
       {1, 2},
       {2, 4}},
      {"column gives column",
       [] {
         return mlfFind(nullptr, nullptr, tmp(column({1, 0, 1})));
       },
       {2, 1},
       {1, 3}},
      {"matrix gives column",
       [] {
         return mlfFind(nullptr, nullptr, tmp(matrix({2, 2}, {0, 1, 1, 0})));
       },
       {2, 1},
       {2, 3}},
      {"NaN is non-zero",
       [] {
         return mlfFind(nullptr, nullptr, tmp(row({kNaN, 0})));
       },
       {1, 1},
       {1}},
      {"none in a row is 1x0",
       [] {
         return mlfFind(nullptr, nullptr, tmp(row({0, 0})));
       },
       {1, 0},
       {}},
      {"zero scalar is 1x0", [] { return mlfFind(nullptr, nullptr, num(0)); }, {1, 0}, {}},
      {"none in a matrix is 0x1",
       [] {
         return mlfFind(nullptr, nullptr, tmp(matrix({2, 2}, {0, 0, 0, 0})));
       },
       {0, 1},
       {}},
      {"0x0 is 0x0", [] { return mlfFind(nullptr, nullptr, tmp(empty())); }, {0, 0}, {}},
      {"logical mask",
       [] {
         return mlfFind(nullptr, nullptr, logicalRow({1, 0, 1}));
       },
       {1, 2},
       {1, 3}},
  });
  Var c, v;
  c.keep(mlfScalar(-1));
  size_t live = mexrtLiveArrayCount();
  Var r(mlfFind(c.addr(), v.addr(), tmp(matrix({2, 3}, {0, 5, 0, 0, 7, 0}))));
  EXPECT_EQ(mexrtLiveArrayCount(), live + 2);  // r and v are new; c's old value was freed
  expectValues(valuesOf(r.get()), {2, 1});
  expectValues(valuesOf(c.get()), {1, 3});
  expectValues(valuesOf(v.get()), {5, 7});
}

TEST(Functions, MaxAndMin) {
  auto max1 = [](mxArray *x) { return mlfMax(nullptr, x, nullptr, nullptr); };
  checkResults({
      {"vector",
       [&] {
         return max1(tmp(row({3, 9, 2})));
       },
       {1, 1},
       {9}},
      {"matrix by columns", [&] { return max1(tmp(m23())); }, {1, 3}, {2, 4, 6}},
      {"NaN ignored",
       [&] {
         return max1(tmp(row({kNaN, 1, kNaN, 4})));
       },
       {1, 1},
       {4}},
      {"all NaN",
       [&] {
         return max1(tmp(column({kNaN, kNaN})));
       },
       {1, 1},
       {kNaN}},
      {"empty", [&] { return max1(tmp(empty())); }, {0, 0}, {}},
      {"min of rows",
       [] { return mlfMin(nullptr, tmp(m23()), tmp(empty()), num(2)); },
       {2, 1},
       {1, 2}},
      {"dim beyond ndims",
       [] { return mlfMax(nullptr, tmp(m23()), tmp(empty()), num(3)); },
       {2, 3},
       {1, 2, 3, 4, 5, 6}},
      {"N-d along 3",
       [] { return mlfMax(nullptr, tmp(nd234()), tmp(empty()), num(3)); },
       {2, 3},
       {19, 20, 21, 22, 23, 24}},
      {"pair with scalar",
       [] {
         return mlfMax(nullptr, tmp(row({1, 5, kNaN})), num(3), nullptr);
       },
       {1, 3},
       {3, 5, 3}},
      {"min pair",
       [] {
         return mlfMin(nullptr, tmp(row({1, 5})), tmp(row({2, kNaN})), nullptr);
       },
       {1, 2},
       {1, 5}},
      {"char becomes double", [&] { return max1(tmp(mxCreateString("az"))); }, {1, 1}, {'z'}},
  });
  struct IndexCase {
    const char *name;
    Make x;
    bool isMax;
    Values value, index;
  };
  const IndexCase cases[] = {
      {"first of ties",
       [] {
         return tmp(row({2, 7, 7}));
       },
       true,
       {7},
       {2}},
      {"after NaN",
       [] {
         return tmp(row({kNaN, 3, 1}));
       },
       false,
       {1},
       {3}},
      {"all NaN gives 1",
       [] {
         return tmp(row({kNaN, kNaN}));
       },
       true,
       {kNaN},
       {1}},
      {"per column",
       [] {
         return tmp(matrix({2, 2}, {4, 1, 0, 8}));
       },
       true,
       {4, 8},
       {1, 2}},
  };
  for (const IndexCase &c : cases) {
    SCOPED_TRACE(c.name);
    Var i;
    i.keep(mlfScalar(0));
    Var v(c.isMax ? mlfMax(i.addr(), c.x(), nullptr, nullptr)
                  : mlfMin(i.addr(), c.x(), nullptr, nullptr));
    expectValues(valuesOf(v.get()), c.value);
    expectValues(valuesOf(i.get()), c.index);
  }
  checkErrors({
      {"pair sizes differ",
       [] {
         mlfMax(nullptr, tmp(row({1, 2})), tmp(row({1, 2, 3})), nullptr);
       },
       "1x2 and 1x3"},
      {"index of a pair",
       [] {
         mxArray *i = nullptr;
         mlfMax(&i, tmp(row({1, 2})), num(1), nullptr);
       },
       "no index"},
      {"dim with a second array", [] { mlfMin(nullptr, tmp(m23()), num(1), num(1)); },
       "must be []"},
      {"dim 0", [] { mlfMax(nullptr, tmp(m23()), tmp(empty()), num(0)); }, "positive integer"},
      {"absent x", [] { mlfMax(nullptr, nullptr, nullptr, nullptr); }, "missing"},
  });
}

TEST(Functions, Sum) {
  checkResults({
      {"vector",
       [] {
         return mlfSum(tmp(row({1, 2, 3.5})), nullptr);
       },
       {1, 1},
       {6.5}},
      {"column sums", [] { return mlfSum(tmp(m23()), nullptr); }, {1, 3}, {3, 7, 11}},
      {"row sums", [] { return mlfSum(tmp(m23()), num(2)); }, {2, 1}, {9, 12}},
      {"N-d along 2",
       [] { return mlfSum(tmp(nd234()), num(2)); },
       {2, 1, 4},
       {9, 12, 27, 30, 45, 48, 63, 66}},
      {"dim beyond ndims", [] { return mlfSum(tmp(m23()), num(4)); }, {2, 3}, {1, 2, 3, 4, 5, 6}},
      {"dim far beyond ndims",
       [] {
         return mlfSum(tmp(row({1, 2})), num(1e12));
       },
       {1, 2},
       {1, 2}},
      {"[] is 0", [] { return mlfSum(tmp(empty()), nullptr); }, {1, 1}, {0}},
      {"0x3 gives zeros",
       [] { return mlfSum(tmp(mxCreateDoubleMatrix(0, 3, mxREAL)), nullptr); },
       {1, 3},
       {0, 0, 0}},
      {"NaN propagates",
       [] {
         return mlfSum(tmp(row({1, kNaN})), nullptr);
       },
       {1, 1},
       {kNaN}},
      {"logical counts",
       [] {
         return mlfSum(logicalRow({1, 0, 1}), nullptr);
       },
       {1, 1},
       {2}},
  });
}

TEST(Functions, TransposeNumelIsempty) {
  checkResults({
      {"matrix", [] { return mlfCtranspose(tmp(m23())); }, {3, 2}, {1, 3, 5, 2, 4, 6}},
      {"row to column",
       [] {
         return mlfCtranspose(tmp(row({1, 2})));
       },
       {2, 1},
       {1, 2}},
      {"char kept",
       [] { return mlfCtranspose(tmp(mxCreateString("ab"))); },
       {2, 1},
       {'a', 'b'},
       mxCHAR_CLASS},
      {"empty", [] { return mlfCtranspose(tmp(mxCreateDoubleMatrix(0, 3, mxREAL))); }, {3, 0}, {}},
      {"numel of N-d", [] { return mlfNumel(tmp(nd234())); }, {1, 1}, {24}},
      {"isempty of 0x3",
       [] { return mlfIsempty(tmp(mxCreateDoubleMatrix(0, 3, mxREAL))); },
       {1, 1},
       {1},
       mxLOGICAL_CLASS},
      {"isempty of a scalar", [] { return mlfIsempty(num(0)); }, {1, 1}, {0}, mxLOGICAL_CLASS},
  });
  // Larger than one block in both directions, with ragged edges.
  const size_t rows = 70, cols = 45;
  Values v(rows * cols);
  for (size_t k = 0; k < v.size(); ++k) v[k] = static_cast<double>(k);
  Var t(mlfCtranspose(tmp(matrix({rows, cols}, v))));
  ASSERT_EQ(dimsOf(t.get()), (Dims{cols, rows}));
  const double *p = mxGetPr(t.get());
  for (size_t r = 0; r < rows; ++r) {
    for (size_t c = 0; c < cols; ++c) ASSERT_EQ(p[r * cols + c], v[c * rows + r]) << r << "," << c;
  }
  checkErrors({
      {"N-d transpose", [] { mlfCtranspose(tmp(nd234())); }, "N-D"},
      {"isempty of the uninitialised value", [] { mlfIsempty(mclGetUninitializedArray()); },
       "uninitialised"},
      {"numel of nothing", [] { mlfNumel(nullptr); }, "missing"},
  });
}

}  // namespace
}  // namespace mexrt::test
