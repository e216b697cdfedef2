// Tests of indexing: a(i), a(i,j), stores with growth and copy on write, colon ranges and
// the integer bounds of for loops, through the C API.
#include <climits>
#include <cmath>
#include <limits>

#include "array_test_support.h"

namespace mexrt::test {
namespace {

using Dims = std::vector<size_t>;
using Values = std::vector<double>;
using Make = std::function<mxArray *()>;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// 2x3 matrix [1 3 5; 2 4 6].
mxArray *m23() { return matrix({2, 3}, {1, 2, 3, 4, 5, 6}); }

struct RefCase {
  const char *name;
  Make source, index;
  Dims dims;
  Values values;
  mxClassID cls = mxDOUBLE_CLASS;
};

TEST(Index, LinearReadShapesAndClasses) {
  const RefCase cases[] = {
      {"scalar of matrix", m23, [] { return mlfScalar(4); }, {1, 1}, {4}},
      {"row by row",
       [] {
         return row({10, 20, 30});
       },
       [] {
         return row({3, 1});
       },
       {1, 2},
       {30, 10}},
      {"row by column keeps row",
       [] {
         return row({10, 20, 30});
       },
       [] {
         return column({2, 2, 3});
       },
       {1, 3},
       {20, 20, 30}},
      {"column by row keeps column",
       [] {
         return column({10, 20, 30});
       },
       [] {
         return row({3, 1});
       },
       {2, 1},
       {30, 10}},
      {"matrix by row gives row",
       m23,
       [] {
         return row({6, 1});
       },
       {1, 2},
       {6, 1}},
      {"vector by matrix gives matrix",
       [] {
         return row({10, 20, 30});
       },
       [] {
         return matrix({2, 2}, {1, 2, 3, 1});
       },
       {2, 2},
       {10, 20, 30, 10}},
      {"scalar by column gives column",
       [] { return mxCreateDoubleScalar(7); },
       [] {
         return column({1, 1});
       },
       {2, 1},
       {7, 7}},
      {"colon gives column", m23, mlfCreateColonIndex, {6, 1}, {1, 2, 3, 4, 5, 6}},
      {"mask on matrix gives column",
       m23,
       [] { return mclGt(tmp(m23()), mlfScalar(3)); },
       {3, 1},
       {4, 5, 6}},
      {"mask on row gives row",
       [] {
         return row({10, 20, 30});
       },
       [] {
         return logicalRow({1, 0, 1});
       },
       {1, 2},
       {10, 30}},
      {"empty index", m23, [] { return mxCreateDoubleMatrix(0, 0, mxREAL); }, {0, 0}, {}},
      {"char stays char",
       [] { return mxCreateString("abc"); },
       [] {
         return row({3, 2});
       },
       {1, 2},
       {'c', 'b'},
       mxCHAR_CLASS},
      {"logical stays logical",
       [] {
         return logicalRow({1, 0, 1});
       },
       [] { return mlfScalar(2); },
       {1, 1},
       {0},
       mxLOGICAL_CLASS},
      {"char subscript ':' is the colon",
       [] {
         return row({4, 5});
       },
       [] { return mxCreateString(":"); },
       {2, 1},
       {4, 5}},
  };
  for (const RefCase &c : cases) {
    SCOPED_TRACE(c.name);
    Var a(c.source()), i(c.index());
    Var r(mclArrayRef1(a.get(), i.get()));
    EXPECT_EQ(dimsOf(r.get()), c.dims);
    EXPECT_EQ(valuesOf(r.get()), c.values);
    EXPECT_EQ(mxGetClassID(r.get()), c.cls);
  }
}

// An index matrix that frames a signal, and runs of consecutive positions, on complex
// sources too: each part moves with its positions, and a result whose imaginary parts are
// all zero is real.
TEST(Index, FramesRunsAndComplexSources) {
  Var signal(complexMatrix({6, 1}, {1, 2, 3, 4, 5, 6}, {-1, -2, -3, -4, -5, -6}));
  Var frames(mclArrayRef1(signal.get(), tmp(matrix({3, 2}, {1, 2, 3, 3, 4, 5}))));
  EXPECT_EQ(dimsOf(frames.get()), (Dims{3, 2}));
  EXPECT_EQ(valuesOf(frames.get()), (Values{1, 2, 3, 3, 4, 5}));
  EXPECT_EQ(imagsOf(frames.get()), (Values{-1, -2, -3, -3, -4, -5}));
  Var run(mclArrayRef2(signal.get(), tmp(column({2, 3, 4})), mlfScalar(1)));
  EXPECT_EQ(valuesOf(run.get()), (Values{2, 3, 4}));
  EXPECT_EQ(imagsOf(run.get()), (Values{-2, -3, -4}));
  Var halfReal(complexMatrix({2, 2}, {1, 2, 3, 4}, {0, 5, 0, 6}));
  Var top(mclArrayRef2(halfReal.get(), mlfScalar(1), mlfCreateColonIndex()));
  EXPECT_FALSE(mxIsComplex(top.get()));
  EXPECT_EQ(valuesOf(top.get()), (Values{1, 3}));
  Var m33(matrix({3, 3}, {1, 2, 3, 4, 5, 6, 7, 8, 9}));
  Var rows(mclArrayRef2(m33.get(), tmp(row({2, 3})), mlfCreateColonIndex()));
  EXPECT_EQ(valuesOf(rows.get()), (Values{2, 3, 5, 6, 8, 9}));
  Var whole(mclArrayRef2(m33.get(), tmp(row({1, 2, 3})), tmp(row({2, 3}))));
  EXPECT_EQ(valuesOf(whole.get()), (Values{4, 5, 6, 7, 8, 9}));
  Var column1(mclArrayRef2(signal.get(), mlfCreateColonIndex(), mlfScalar(1)));
  EXPECT_EQ(imagsOf(column1.get()), imagsOf(signal.get()));
  mxGetPr(column1.get())[0] = 100;  // a(:, 1) of a column shares a's storage until written
  EXPECT_EQ(valuesOf(signal.get()), (Values{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(valuesOf(column1.get()), (Values{100, 2, 3, 4, 5, 6}));
  Var chars(mclArrayRef1(tmp(mxCreateString("abcd")), tmp(matrix({2, 2}, {1, 2, 2, 3}))));
  EXPECT_EQ(mxGetClassID(chars.get()), mxCHAR_CLASS);
  EXPECT_EQ(valuesOf(chars.get()), (Values{'a', 'b', 'b', 'c'}));
}

TEST(Index, PlaneRead) {
  struct Case {
    const char *name;
    Make source, i, j;
    Dims dims;
    Values values;
  };
  auto colon = mlfCreateColonIndex;
  const Case cases[] = {
      {"element", m23, [] { return mlfScalar(2); }, [] { return mlfScalar(3); }, {1, 1}, {6}},
      {"column", m23, colon, [] { return mlfScalar(2); }, {2, 1}, {3, 4}},
      {"row", m23, [] { return mlfScalar(1); }, colon, {1, 3}, {1, 3, 5}},
      {"all", m23, colon, colon, {2, 3}, {1, 2, 3, 4, 5, 6}},
      {"picked and repeated",
       m23,
       [] {
         return row({2, 1});
       },
       [] {
         return row({3, 3});
       },
       {2, 2},
       {6, 5, 6, 5}},
      {"mask in a dimension",
       m23,
       [] {
         return logicalRow({0, 1});
       },
       colon,
       {1, 3},
       {2, 4, 6}},
      {"N-d folds trailing dimensions",
       [] {
         return matrix({2, 2, 2}, {1, 2, 3, 4, 5, 6, 7, 8});
       },
       [] { return mlfScalar(1); },
       colon,
       {1, 4},
       {1, 3, 5, 7}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Var a(c.source()), i(c.i()), j(c.j());
    Var r(mclArrayRef2(a.get(), i.get(), j.get()));
    EXPECT_EQ(dimsOf(r.get()), c.dims);
    EXPECT_EQ(valuesOf(r.get()), c.values);
  }
  Var a(m23());
  Var r(mclIntArrayRef1(a.get(), 5));
  EXPECT_EQ(valuesOf(r.get()), Values{5});
}

// Every failed read names the problem, frees its temporary operands and leaves the
// variable alone.
TEST(Index, ReadErrorsReclaimTemporaries) {
  struct Case {
    const char *name;
    std::function<void(mxArray *)> read;  // given the 2x3 variable
    const char *message;
  };
  const Case cases[] = {
      {"beyond numel", [](mxArray *a) { mclArrayRef1(a, mlfScalar(7)); },
       "Index exceeds matrix dimensions: index 7, size 2x3."},
      {"zero", [](mxArray *a) { mclArrayRef1(a, mlfScalar(0)); },
       "Subscript indices must be real positive integers: 0."},
      {"negative in a vector",
       [](mxArray *a) {
         mclArrayRef1(a, tmp(row({1, -2})));
       },
       "Subscript indices must be real positive integers: -2."},
      {"fraction", [](mxArray *a) { mclArrayRef1(a, mlfScalar(1.5)); },
       "Subscript indices must be real positive integers: 1.5."},
      {"NaN", [](mxArray *a) { mclArrayRef1(a, mlfScalar(kNaN)); },
       "Subscript indices must be real positive integers: NaN."},
      {"Inf", [](mxArray *a) { mclArrayRef1(a, mlfScalar(kInf)); },
       "Subscript indices must be real positive integers: Inf."},
      {"mask longer with a true beyond",
       [](mxArray *a) {
         mclArrayRef1(a, logicalRow({0, 0, 0, 0, 0, 0, 1}));
       },
       "Index exceeds matrix dimensions: index 7, size 2x3."},
      {"row beyond", [](mxArray *a) { mclArrayRef2(a, mlfScalar(3), mlfScalar(1)); },
       "Index exceeds matrix dimensions: index 3 in dimension 1, size 2x3."},
      {"column beyond", [](mxArray *a) { mclArrayRef2(a, mlfCreateColonIndex(), mlfScalar(4)); },
       "Index exceeds matrix dimensions: index 4 in dimension 2, size 2x3."},
      {"integer zero", [](mxArray *a) { mclIntArrayRef1(a, 0); },
       "Subscript indices must be real positive integers: 0."},
      {"absent index", [](mxArray *a) { mclArrayRef2(a, nullptr, mlfScalar(1)); }, "missing"},
      {"absent source", [](mxArray *) { mclArrayRef1(nullptr, mlfScalar(1)); }, "missing"},
      {"uninitialised source",
       [](mxArray *) { mclArrayRef2(mclGetUninitializedArray(), mlfScalar(1), mlfScalar(1)); },
       "uninitialised"},
      {"temporary source out of range", [](mxArray *) { mclArrayRef1(tmp(m23()), mlfScalar(9)); },
       "index 9"},
      {"several beyond: the largest is named",
       [](mxArray *a) {
         mclArrayRef1(a, tmp(matrix({2, 2}, {7, 2, 9, 8})));
       },
       "Index exceeds matrix dimensions: index 9, size 2x3."},
      {"a fraction after one beyond",
       [](mxArray *a) {
         mclArrayRef1(a, tmp(row({8, 1.5})));
       },
       "Subscript indices must be real positive integers: 1.5."},
      {"-Inf in a vector",
       [](mxArray *a) {
         mclArrayRef1(a, tmp(row({1, -kInf})));
       },
       "Subscript indices must be real positive integers: -Inf."},
      {"NaN in a vector",
       [](mxArray *a) {
         mclArrayRef1(a, tmp(row({2, kNaN})));
       },
       "Subscript indices must be real positive integers: NaN."},
      {"beyond 2^53 in a vector",
       [](mxArray *a) {
         mclArrayRef1(a, tmp(row({1, 1e300})));
       },
       "Index exceeds matrix dimensions: index 9007199254740992, size 2x3."},
  };
  Var a(m23());
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    size_t live = mexrtLiveArrayCount();
    std::string message = errorOf([&] { c.read(a.get()); });
    EXPECT_NE(message, "");
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
    EXPECT_EQ(mexrtLiveArrayCount(), live);
    EXPECT_EQ(valuesOf(a.get()), (Values{1, 2, 3, 4, 5, 6}));
  }
}

TEST(Index, ReadsReclaimTemporariesAndKeepVariables) {
  Var a(m23()), i(row({1, 2}));
  size_t live = mexrtLiveArrayCount();
  mxDestroyArray(mclArrayRef1(a.get(), i.get()));
  mxDestroyArray(mclArrayRef1(tmp(m23()), tmp(row({1, 2}))));
  mxDestroyArray(mclArrayRef2(tmp(m23()), mlfCreateColonIndex(), mlfScalar(1)));
  mxDestroyArray(mclArrayRef1(tmp(m23()), mlfCreateColonIndex()));
  EXPECT_EQ(mexrtLiveArrayCount(), live);
  EXPECT_EQ(valuesOf(i.get()), (Values{1, 2}));
}

struct StoreCase {
  const char *name;
  Make initial;  // may return NULL (absent destination)
  std::function<void(mxArray **)> store;
  Dims dims;
  Values values;
  mxClassID cls = mxDOUBLE_CLASS;
};

void checkStores(const std::vector<StoreCase> &cases) {
  for (const StoreCase &c : cases) {
    SCOPED_TRACE(c.name);
    Var d(c.initial());
    size_t live = mexrtLiveArrayCount() + (d.get() ? 0 : 1);
    c.store(d.addr());
    ASSERT_NE(d.get(), nullptr);
    EXPECT_EQ(mexrtLiveArrayCount(), live) << "temporaries left behind";
    EXPECT_EQ(dimsOf(d.get()), c.dims);
    EXPECT_EQ(valuesOf(d.get()), c.values);
    EXPECT_EQ(mxGetClassID(d.get()), c.cls);
  }
}

TEST(Index, LinearStores) {
  auto none = []() -> mxArray * { return nullptr; };
  auto empty = [] { return mxCreateDoubleMatrix(0, 0, mxREAL); };
  auto uninit = [] {
    mxArray *u = nullptr;
    mlfAssign(&u, mclGetUninitializedArray());
    return u;
  };
  checkStores({
      {"in range",
       m23,
       [](mxArray **d) { mclArrayAssign1(d, mlfScalar(9), mlfScalar(4)); },
       {2, 3},
       {1, 2, 3, 9, 5, 6}},
      {"scalar expanded",
       m23,
       [](mxArray **d) {
         mclArrayAssign1(d, mlfScalar(0), tmp(row({1, 6})));
       },
       {2, 3},
       {0, 2, 3, 4, 5, 0}},
      {"array by mask",
       m23,
       [](mxArray **d) {
         mclArrayAssign1(d, tmp(row({7, 8})), mclGt(tmp(m23()), mlfScalar(4)));
       },
       {2, 3},
       {1, 2, 3, 4, 7, 8}},
      {"colon fills",
       m23,
       [](mxArray **d) { mclArrayAssign1(d, mlfScalar(1), mlfCreateColonIndex()); },
       {2, 3},
       {1, 1, 1, 1, 1, 1}},
      {"row grows as row",
       [] {
         return row({1, 2});
       },
       [](mxArray **d) { mclArrayAssign1(d, mlfScalar(5), mlfScalar(4)); },
       {1, 4},
       {1, 2, 0, 5}},
      {"column grows as column",
       [] {
         return column({1, 2});
       },
       [](mxArray **d) { mclArrayAssign1(d, mlfScalar(5), mlfScalar(3)); },
       {3, 1},
       {1, 2, 5}},
      {"scalar grows as row",
       [] { return mxCreateDoubleScalar(1); },
       [](mxArray **d) { mclArrayAssign1(d, mlfScalar(3), mlfScalar(3)); },
       {1, 3},
       {1, 0, 3}},
      {"absent grows from empty",
       none,
       [](mxArray **d) { mclArrayAssign1(d, mlfScalar(2), mlfScalar(2)); },
       {1, 2},
       {0, 2}},
      {"uninitialised grows from empty",
       uninit,
       [](mxArray **d) {
         mclArrayAssign1(d, tmp(row({1, 2})), tmp(row({1, 2})));
       },
       {1, 2},
       {1, 2}},
      {"empty takes the source class",
       empty,
       [](mxArray **d) { mclArrayAssign1(d, tmp(mxCreateString("a")), mlfScalar(2)); },
       {1, 2},
       {0, 'a'},
       mxCHAR_CLASS},
      {"char into char stays char",
       [] { return mxCreateString("abc"); },
       [](mxArray **d) { mclArrayAssign1(d, tmp(mxCreateString("X")), mlfScalar(2)); },
       {1, 3},
       {'a', 'X', 'c'},
       mxCHAR_CLASS},
      {"double into char stays char",
       [] { return mxCreateString("ab"); },
       [](mxArray **d) { mclArrayAssign1(d, mlfScalar(65.4), mlfScalar(1)); },
       {1, 2},
       {'A', 'b'},
       mxCHAR_CLASS},
      {"double into logical becomes double",
       [] {
         return logicalRow({1, 0});
       },
       [](mxArray **d) { mclArrayAssign1(d, mlfScalar(5), mlfScalar(3)); },
       {1, 3},
       {1, 0, 5}},
      {"logical into logical stays logical",
       [] {
         return logicalRow({1, 0});
       },
       [](mxArray **d) { mclArrayAssign1(d, logicalRow({1}), mlfScalar(2)); },
       {1, 2},
       {1, 1},
       mxLOGICAL_CLASS},
      {"nothing selected",
       m23,
       [](mxArray **d) {
         mclArrayAssign1(d, tmp(mxCreateDoubleMatrix(0, 0, mxREAL)),
                         tmp(mxCreateDoubleMatrix(1, 0, mxREAL)));
       },
       {2, 3},
       {1, 2, 3, 4, 5, 6}},
      {"self, permuted",
       [] {
         return row({1, 2, 3});
       },
       [](mxArray **d) {
         mclArrayAssign1(d, *d, tmp(row({3, 2, 1})));
       },
       {1, 3},
       {3, 2, 1}},
      {"self, grown",
       [] { return mxCreateDoubleScalar(4); },
       [](mxArray **d) { mclArrayAssign1(d, *d, mlfScalar(3)); },
       {1, 3},
       {4, 0, 4}},
  });
}

TEST(Index, PlaneStores) {
  auto colon = mlfCreateColonIndex;
  auto none = []() -> mxArray * { return nullptr; };
  checkStores({
      {"element",
       m23,
       [](mxArray **d) { mclIntArrayAssign2(d, mlfScalar(0), 2, 3); },
       {2, 3},
       {1, 2, 3, 4, 5, 0}},
      {"grows both ways",
       m23,
       [](mxArray **d) { mclIntArrayAssign2(d, mlfScalar(9), 3, 4); },
       {3, 4},
       {1, 2, 0, 3, 4, 0, 5, 6, 0, 0, 0, 9}},
      {"row into a row of a matrix",
       m23,
       [&](mxArray **d) {
         mclArrayAssign2(d, tmp(row({7, 8, 9})), mlfScalar(2), colon());
       },
       {2, 3},
       {1, 7, 3, 8, 5, 9}},
      {"column given as row (same count)",
       m23,
       [&](mxArray **d) {
         mclArrayAssign2(d, tmp(row({7, 8})), colon(), mlfScalar(1));
       },
       {2, 3},
       {7, 8, 3, 4, 5, 6}},
      {"column into absent",
       none,
       [&](mxArray **d) {
         mclArrayAssign2(d, tmp(column({1, 2, 3})), colon(), mlfScalar(2));
       },
       {3, 2},
       {0, 0, 0, 1, 2, 3}},
      {"block",
       m23,
       [&](mxArray **d) {
         mclArrayAssign2(d, tmp(matrix({2, 2}, {7, 8, 9, 10})), colon(), tmp(row({3, 1})));
       },
       {2, 3},
       {9, 10, 3, 4, 7, 8}},
      {"absent grows from empty",
       none,
       [](mxArray **d) { mclIntArrayAssign2(d, mlfScalar(1), 2, 2); },
       {2, 2},
       {0, 0, 0, 1}},
      {"N-d in range",
       [] {
         return matrix({1, 2, 2}, {1, 2, 3, 4});
       },
       [](mxArray **d) { mclIntArrayAssign2(d, mlfScalar(0), 1, 4); },
       {1, 2, 2},
       {1, 2, 3, 0}},
  });
}

TEST(Index, StoreErrorsLeaveDestinationAndReclaim) {
  struct Case {
    const char *name;
    std::function<void(mxArray **)> store;
    const char *message;
  };
  const Case cases[] = {
      {"count mismatch",
       [](mxArray **d) {
         mclArrayAssign1(d, tmp(row({1, 2, 3})), tmp(row({1, 2})));
       },
       "Subscripted assignment dimension mismatch: 2 elements selected, 3 given"},
      {"matrix grown by linear index",
       [](mxArray **d) { mclArrayAssign1(d, mlfScalar(1), mlfScalar(7)); },
       "ambiguous dimension: index 7, size 2x3"},
      {"shape mismatch",
       [](mxArray **d) {
         mclArrayAssign2(d, tmp(matrix({3, 2}, {1, 2, 3, 4, 5, 6})), mlfCreateColonIndex(),
                         tmp(row({1, 2, 3})));
       },
       "2x3 selected, 3x2 given"},
      {"zero subscript", [](mxArray **d) { mclIntArrayAssign2(d, mlfScalar(1), 0, 1); },
       "Subscript indices must be real positive integers: 0."},
      {"NaN subscript", [](mxArray **d) { mclArrayAssign1(d, mlfScalar(1), mlfScalar(kNaN)); },
       "NaN"},
      {"absent source", [](mxArray **d) { mclArrayAssign1(d, nullptr, mlfScalar(1)); }, "missing"},
      {"uninitialised source",
       [](mxArray **d) { mclArrayAssign1(d, mclGetUninitializedArray(), mlfScalar(1)); },
       "uninitialised"},
      {"no destination", [](mxArray **) { mclArrayAssign1(nullptr, mlfScalar(1), mlfScalar(1)); },
       "destination is missing"},
      {"three subscripts, two elements for one",
       [](mxArray **d) {
         mxArray *more[] = {mlfScalar(1), mlfScalar(1), mlfScalar(1)};
         mclArrayAssignN(d, tmp(row({1, 2})), 3, more);
       },
       "1x1 selected, 1x2 given"},
      {"deletion beyond the end",
       [](mxArray **d) {
         mxArray *subs[] = {tmp(row({2, 7}))};
         mclArrayDelete(d, 1, subs);
       },
       "out of range for deletion: index 7"},
      {"deletion of a block",
       [](mxArray **d) {
         mxArray *subs[] = {mlfScalar(1), mlfScalar(2)};
         mclArrayDelete(d, 2, subs);
       },
       "only one non-colon index"},
      {"cell subscript",
       [](mxArray **d) {
         mxArray *subs[] = {tmp(mxCreateCellMatrix(1, 1))};
         mclArrayDelete(d, 1, subs);
       },
       "'subsindex' is not defined for values of class 'cell'"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Var d(m23());
    size_t live = mexrtLiveArrayCount();
    std::string message = errorOf([&] { c.store(d.addr()); });
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
    EXPECT_EQ(mexrtLiveArrayCount(), live);
    EXPECT_EQ(dimsOf(d.get()), (Dims{2, 3}));
    EXPECT_EQ(valuesOf(d.get()), (Values{1, 2, 3, 4, 5, 6}));
  }
}

// b = a shares storage; a store into either one leaves the other as it was, and a store into
// an unshared variable writes where it stands.
TEST(Index, StoresCopyOnWriteAndWriteInPlace) {
  for (bool intoCopy : {true, false}) {
    SCOPED_TRACE(intoCopy ? "store into the copy" : "store into the original");
    Var a(row({1, 2, 3}));
    Var b;
    b.keep(a.get());  // b = a: a second header on the same storage
    mxArray **target = intoCopy ? b.addr() : a.addr();
    mclArrayAssign1(target, mlfScalar(9), mlfScalar(2));
    EXPECT_EQ(valuesOf(intoCopy ? a.get() : b.get()), (Values{1, 2, 3}));
    EXPECT_EQ(valuesOf(*target), (Values{1, 9, 3}));
  }
  Var a(row({1, 2, 3}));
  const double *before = mxGetPr(a.get());
  mxArray *header = a.get();
  mclArrayAssign1(a.addr(), mlfScalar(7), mlfScalar(1));
  mclIntArrayAssign2(a.addr(), mlfScalar(8), 1, 3);
  EXPECT_EQ(a.get(), header);
  EXPECT_EQ(mxGetPr(a.get()), before) << "an unshared store reallocated";
  EXPECT_EQ(valuesOf(a.get()), (Values{7, 2, 8}));
  // Through the entry for any count of subscripts: one, three, and five (more than the
  // positions kept inline) into a 2x2x2 array, the last subscript folding what follows it.
  Var c(matrix({2, 2, 2}, {1, 2, 3, 4, 5, 6, 7, 8}));
  const double *cBefore = mxGetPr(c.get());
  mxArray *one[] = {mlfScalar(8)};
  mclArrayAssignN(c.addr(), mlfScalar(0), 1, one);
  mxArray *three[] = {mlfScalar(1), mlfScalar(2), mlfScalar(2)};
  mclArrayAssignN(c.addr(), mlfScalar(-1), 3, three);
  mxArray *two[] = {mlfScalar(2), mlfScalar(3)};
  mclArrayAssignN(c.addr(), mlfScalar(60), 2, two);
  mxArray *five[] = {mlfScalar(1), mlfScalar(1), mlfScalar(2), mlfScalar(1), mlfScalar(1)};
  mclArrayAssignN(c.addr(), mlfScalar(50), 5, five);
  EXPECT_EQ(mxGetPr(c.get()), cBefore) << "an unshared store through the N entry reallocated";
  EXPECT_EQ(valuesOf(c.get()), (Values{1, 2, 3, 4, 50, 60, -1, 0}));
}

TEST(Index, ColonRanges) {
  struct Case {
    const char *name;
    Make a, s, b;  // s null: a:b
    Dims dims;
    Values values;
  };
  auto num = [](double v) { return [v] { return mlfScalar(v); }; };
  const Case cases[] = {
      {"a:b", num(1), nullptr, num(4), {1, 4}, {1, 2, 3, 4}},
      {"fractional end", num(1), nullptr, num(2.5), {1, 2}, {1, 2}},
      {"fractional start", num(0.5), nullptr, num(2), {1, 2}, {0.5, 1.5}},
      {"negative step", num(5), num(-2), num(1), {1, 3}, {5, 3, 1}},
      {"empty range", num(3), nullptr, num(1), {1, 0}, {}},
      {"wrong-way step", num(1), num(-1), num(3), {1, 0}, {}},
      {"zero step", num(1), num(0), num(3), {1, 0}, {}},
      {"single", num(2), nullptr, num(2), {1, 1}, {2}},
      {"tenths reach the end", num(0), num(0.1), num(0.3), {1, 4}, {0, 0.1, 0.2, 0.3}},
      {"infinite step gives the start", num(1), num(kInf), num(5), {1, 1}, {1}},
      {"empty operand",
       [] { return tmp(mxCreateDoubleMatrix(0, 0, mxREAL)); },
       nullptr,
       num(3),
       {1, 0},
       {}},
      {"first element of an array",
       [] {
         return tmp(row({2, 9}));
       },
       nullptr,
       num(3),
       {1, 2},
       {2, 3}},
      {"empty range to -Inf", num(1), nullptr, num(-kInf), {1, 0}, {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    size_t live = mexrtLiveArrayCount();
    Var r(c.s ? mlfColon(c.a(), c.s(), c.b()) : mlfColon(c.a(), c.b(), nullptr));
    EXPECT_EQ(mexrtLiveArrayCount(), live + 1);
    EXPECT_EQ(dimsOf(r.get()), c.dims);
    Values got = valuesOf(r.get());
    ASSERT_EQ(got.size(), c.values.size());
    for (size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(got[k], c.values[k], 1e-12) << k;
  }
  Var tenths(mlfColon(mlfScalar(0), mlfScalar(0.1), mlfScalar(1)));
  ASSERT_EQ(mxGetNumberOfElements(tenths.get()), 11u);
  EXPECT_EQ(mxGetPr(tenths.get())[10], 1.0);
  Var nan(mlfColon(mlfScalar(1), mlfScalar(kNaN), nullptr));
  ASSERT_EQ(dimsOf(nan.get()), (Dims{1, 1}));
  EXPECT_TRUE(std::isnan(mxGetPr(nan.get())[0]));
  Var letters(mlfColon(tmp(mxCreateString("a")), tmp(mxCreateString("e")), nullptr));
  EXPECT_EQ(textOf(letters.get()), "abcde");
}

TEST(Index, ColonRangeErrors) {
  struct Case {
    const char *name;
    double a, s, b;
    const char *message;
  };
  const Case cases[] = {
      {"to Inf", 1, 1, kInf, "infinitely many"},
      {"from -Inf", -kInf, 1, 0, "infinitely many"},
      {"beyond 2^31 elements", 0, 1, 3e9, "too long"},
      {"tiny step", 0, 1e-300, 1, "too long"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    size_t live = mexrtLiveArrayCount();
    std::string message =
        errorOf([&] { mlfColon(mlfScalar(c.a), mlfScalar(c.s), mlfScalar(c.b)); });
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
    EXPECT_EQ(mexrtLiveArrayCount(), live);
  }
}

TEST(Index, ForLoopBounds) {
  struct Case {
    const char *name;
    Make end;
    int expected;
  };
  auto num = [](double v) { return [v] { return mlfScalar(v); }; };
  const Case cases[] = {
      {"whole", num(5), 5},
      {"fraction floors", num(5.7), 5},
      {"negative fraction floors", num(-2.5), -3},
      {"first element",
       [] {
         return tmp(row({3, 9}));
       },
       3},
      {"empty makes no pass", [] { return mclCreateEmptyArray(); }, INT_MIN},
      {"NaN makes no pass", num(kNaN), INT_MIN},
      {"-Inf makes no pass", num(-kInf), INT_MIN},
      {"large clamps below INT_MAX", num(1e20), INT_MAX - 1},
      {"INT_MAX clamps", num(INT_MAX), INT_MAX - 1},
      {"very negative clamps", num(-1e20), INT_MIN},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    size_t live = mexrtLiveArrayCount();
    EXPECT_EQ(mclForIntEnd(c.end()), c.expected);
    EXPECT_EQ(mexrtLiveArrayCount(), live);
  }
  EXPECT_EQ(mclForIntStart(-4), -4);
  size_t live = mexrtLiveArrayCount();
  EXPECT_NE(errorOf([] { mclForIntEnd(mlfScalar(kInf)); }).find("for loop bound too large"),
            std::string::npos);
  EXPECT_NE(errorOf([] { mclForIntEnd(nullptr); }), "");
  EXPECT_EQ(mexrtLiveArrayCount(), live);
}

}  // namespace
}  // namespace mexrt::test
