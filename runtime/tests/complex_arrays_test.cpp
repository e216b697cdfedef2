// Complex arrays: their two parts through the host API, copy on write and buffer reuse of
// both parts, indexing and assignment, transposes, concatenation, reductions and the matrix
// product.
#include <complex>
#include <limits>
#include <random>

#include "array_test_support.h"

namespace mexrt::test {
namespace {

const double kInf = std::numeric_limits<double>::infinity();

TEST(ComplexStorage, TheHostApiHandsOutBothParts) {
  Var z(mxCreateDoubleMatrix(2, 3, mxCOMPLEX));
  EXPECT_TRUE(mxIsComplex(z.get()));
  ASSERT_NE(mxGetPi(z.get()), nullptr);
  EXPECT_EQ(imagsOf(z.get()), std::vector<double>(6, 0.0)) << "both parts start at zero";
  EXPECT_EQ(valuesOf(z.get()), std::vector<double>(6, 0.0));
  Var x(mxCreateDoubleMatrix(2, 3, mxREAL));
  EXPECT_FALSE(mxIsComplex(x.get()));
  EXPECT_EQ(mxGetPi(x.get()), nullptr);
  size_t dims[3] = {2, 0, 4};
  Var empty(mxCreateNumericArray(3, dims, mxDOUBLE_CLASS, mxCOMPLEX));
  EXPECT_TRUE(mxIsComplex(empty.get())) << "an empty array can be complex";
  EXPECT_EQ(mxGetPi(empty.get()), nullptr);
  size_t nd[3] = {2, 2, 2};
  Var cube(mxCreateNumericArray(3, nd, mxDOUBLE_CLASS, mxCOMPLEX));
  EXPECT_EQ(imagsOf(cube.get()).size(), 8u);
  EXPECT_FALSE(mxIsComplex(nullptr));
  EXPECT_EQ(mxGetPi(nullptr), nullptr);
  EXPECT_EQ(errorOf([] { mxCreateDoubleMatrix(1, 1, static_cast<mxComplexity>(7)); }),
            "mxCreateDoubleMatrix: the complexity must be mxREAL or mxCOMPLEX.");
}

TEST(ComplexStorage, CopiesShareBothPartsUntilOneWrites) {
  Var z(complexMatrix({1, 3}, {1, 2, 3}, {4, 5, 6}));
  mxArray *copy = z.get();
  mclCopyArray(&copy);
  Var owned(copy);
  mxGetPi(owned.get())[0] = -4;
  EXPECT_EQ(imagsOf(z.get()), (std::vector<double>{4, 5, 6})) << "the original's part is its own";
  EXPECT_EQ(imagsOf(owned.get()), (std::vector<double>{-4, 5, 6}));
  mxGetPr(z.get())[2] = 30;
  EXPECT_EQ(valuesOf(owned.get()), (std::vector<double>{1, 2, 3})) << "each part unshares alone";
}

TEST(ComplexStorage, AResultReusesBothBuffersOfATemporaryOperand) {
  mxArray *t = tmp(complexMatrix({1, 3}, {1, 2, 3}, {1, 1, 1}));
  const double *re = mxGetPr(t), *im = mxGetPi(t);
  Var sum(mclPlus(t, tmp(complexScalar(0, 1))));
  EXPECT_EQ(mxGetPr(sum.get()), re) << "the real part was written over the temporary";
  EXPECT_EQ(mxGetPi(sum.get()), im) << "and the imaginary part too";
  EXPECT_EQ(imagsOf(sum.get()), (std::vector<double>{2, 2, 2}));
  mxArray *real = tmp(row({1, 2, 3}));
  const double *buffer = mxGetPr(real);
  Var product(mclTimes(real, tmp(complexScalar(0, 2))));
  EXPECT_EQ(mxGetPr(product.get()), buffer) << "a real temporary lends its buffer to the real part";
  EXPECT_EQ(imagsOf(product.get()), (std::vector<double>{2, 4, 6}));
  Var kept(complexMatrix({1, 2}, {1, 2}, {3, 4}));
  Var r(mlfSqrt(kept.get()));
  EXPECT_NE(mxGetPr(r.get()), mxGetPr(kept.get())) << "a variable's buffers are never taken";
  EXPECT_NE(mxGetPi(r.get()), mxGetPi(kept.get()));
}

TEST(ComplexStorage, ResultsWithZeroImaginaryPartsBecomeReal) {
  size_t live = mexrtLiveArrayCount();
  const struct {
    const char *what;
    mxArray *(*make)();
    bool complex;
  } cases[] = {
      {"(1+2i) - 2i", [] { return mclMinus(tmp(complexScalar(1, 2)), tmp(complexScalar(0, 2))); },
       false},
      {"complex(1, 0) + 0",
       [] { return mclPlus(mlfComplex(mlfScalar(1), mlfScalar(0)), mlfScalar(0)); }, false},
      {"an element with zero imaginary part, indexed",
       [] {
         return mclIntArrayRef1(tmp(complexMatrix({1, 2}, {1, 3}, {2, 0})), 2);
       },
       false},
      {"a column of such elements",
       [] {
         return mclArrayRef2(tmp(complexMatrix({2, 2}, {1, 2, 3, 4}, {5, 6, 0, 0})),
                             mlfCreateColonIndex(), mlfScalar(2));
       },
       false},
      {"its transpose",
       [] {
         return mlfTranspose(mlfComplex(tmp(row({1, 2})), mlfScalar(0)));
       },
       false},
      {"complex(a, 0) itself",
       [] {
         return mlfComplex(tmp(row({1, 2})), mlfScalar(0));
       },
       true},
      {"reshape keeps the array as it is",
       [] {
         return mlfReshape(mlfComplex(tmp(row({1, 2})), mlfScalar(0)), mlfScalar(2), mlfScalar(1),
                           nullptr);
       },
       true},
      {"one non-zero imaginary part keeps it complex",
       [] {
         return mclPlus(tmp(complexMatrix({1, 2}, {1, 2}, {0, 1e-300})), mlfScalar(1));
       },
       true},
  };
  for (const auto &c : cases) {
    Var r(c.make());
    EXPECT_EQ(mxIsComplex(r.get()), c.complex) << c.what;
  }
  EXPECT_EQ(mexrtLiveArrayCount(), live);
}

TEST(ComplexIndexing, ReadsCarryTheImaginaryPart) {
  Var z(complexMatrix({2, 3}, {1, 2, 3, 4, 5, 6}, {-1, -2, -3, -4, -5, -6}));
  Var one(mclIntArrayRef1(z.get(), 4));
  EXPECT_EQ(imagsOf(one.get()), std::vector<double>{-4});
  Var some(mclArrayRef1(z.get(), tmp(row({6, 1}))));
  EXPECT_EQ(valuesOf(some.get()), (std::vector<double>{6, 1}));
  EXPECT_EQ(imagsOf(some.get()), (std::vector<double>{-6, -1}));
  Var all(mclArrayRef1(z.get(), mlfCreateColonIndex()));
  EXPECT_EQ(dimsOf(all.get()), (std::vector<size_t>{6, 1}));
  EXPECT_EQ(mxGetPi(all.get())[5], -6);
  Var block(mclArrayRef2(z.get(), mlfScalar(2), tmp(row({3, 2}))));
  EXPECT_EQ(valuesOf(block.get()), (std::vector<double>{6, 4}));
  EXPECT_EQ(imagsOf(block.get()), (std::vector<double>{-6, -4}));
  Var mask(mclArrayRef1(z.get(), mclGt(tmp(row({0, 1, 0, 0, 0, 1})), mlfScalar(0))));
  EXPECT_EQ(imagsOf(mask.get()), (std::vector<double>{-2, -6}));
  EXPECT_EQ(errorOf([&] { mclArrayRef1(z.get(), tmp(complexScalar(1, 1))); }),
            "Subscript indices must be real positive integers: a complex subscript of size 1x1.");
}

TEST(ComplexIndexing, StoringAComplexValueMakesTheDestinationComplex) {
  const struct {
    const char *what;
    std::vector<double> startRe, startIm;  // startIm empty: a real row
    std::function<void(mxArray **)> store;
    std::vector<double> re, im;  // im empty: the result is real
  } cases[] = {
      {"x(2) = 1i into a real row",
       {1, 2, 3},
       {},
       [](mxArray **d) { mclArrayAssign1(d, tmp(complexScalar(0, 1)), mlfScalar(2)); },
       {1, 0, 3},
       {0, 1, 0}},
      {"x(1, 3) = 2 - 1i through the integer store",
       {1, 2, 3},
       {},
       [](mxArray **d) { mclIntArrayAssign2(d, tmp(complexScalar(2, -1)), 1, 3); },
       {1, 2, 2},
       {0, 0, -1}},
      {"z(1) = 5 keeps z complex with a zero imaginary part",
       {1, 2},
       {3, 4},
       [](mxArray **d) { mclArrayAssign1(d, mlfScalar(5), mlfScalar(1)); },
       {5, 2},
       {0, 4}},
      {"z(:) = 7 stores zeros in the imaginary part",
       {1, 2},
       {3, 4},
       [](mxArray **d) { mclArrayAssign1(d, mlfScalar(7), mlfCreateColonIndex()); },
       {7, 7},
       {0, 0}},
      {"growing: x(5) = 1i",
       {1, 2},
       {},
       [](mxArray **d) { mclArrayAssign1(d, tmp(complexScalar(0, 1)), mlfScalar(5)); },
       {1, 2, 0, 0, 0},
       {0, 0, 0, 0, 1}},
      {"a complex row into a real row",
       {1, 2, 3},
       {},
       [](mxArray **d) {
         mclArrayAssign2(d, tmp(complexMatrix({1, 2}, {8, 9}, {1, -1})), mlfScalar(1),
                         tmp(row({3, 1})));
       },
       {9, 2, 8},
       {-1, 0, 1}},
      {"a real row into a complex row",
       {1, 2, 3},
       {1, 1, 1},
       [](mxArray **d) {
         mclArrayAssign1(d, tmp(row({8, 9})), tmp(row({1, 2})));
       },
       {8, 9, 3},
       {0, 0, 1}},
  };
  size_t live = mexrtLiveArrayCount();
  for (const auto &c : cases) {
    mxArray *d = c.startIm.empty() ? matrix({1, c.startRe.size()}, c.startRe)
                                   : complexMatrix({1, c.startRe.size()}, c.startRe, c.startIm);
    c.store(&d);
    Var kept(d);
    EXPECT_EQ(valuesOf(kept.get()), c.re) << c.what;
    EXPECT_EQ(imagsOf(kept.get()), c.im) << c.what;
  }
  EXPECT_EQ(mexrtLiveArrayCount(), live);
}

TEST(ComplexIndexing, StoresIntoSharedOrSelfAreSafe) {
  Var z(complexMatrix({1, 3}, {1, 2, 3}, {4, 5, 6}));
  mxArray *alias = z.get();
  mclCopyArray(&alias);
  Var copy(alias);
  // z(2:3) = z(1:2): the source is read before the destination changes.
  mxArray *d = z.get();
  EXPECT_EQ(errorOf([&] {
              mclArrayAssign1(&d, z.get(), tmp(row({2, 3})));
            }),
            "Subscripted assignment dimension mismatch: 2 elements selected, 3 given (size 1x3).");
  EXPECT_EQ(imagsOf(z.get()), (std::vector<double>{4, 5, 6})) << "a failed store changes nothing";
  mxArray *firstTwo = mclArrayRef1(z.get(), tmp(row({1, 2})));
  mclArrayAssign1(&d, firstTwo, tmp(row({2, 3})));
  EXPECT_EQ(valuesOf(z.get()), (std::vector<double>{1, 1, 2}));
  EXPECT_EQ(imagsOf(z.get()), (std::vector<double>{4, 4, 5}));
  EXPECT_EQ(imagsOf(copy.get()), (std::vector<double>{4, 5, 6})) << "the copy keeps its values";
}

TEST(ComplexShape, TransposesAndConcatenation) {
  Var z(complexMatrix({2, 2}, {1, 2, 3, 4}, {5, 6, 7, 8}));
  Var ct(mlfCtranspose(z.get()));
  EXPECT_EQ(valuesOf(ct.get()), (std::vector<double>{1, 3, 2, 4}));
  EXPECT_EQ(imagsOf(ct.get()), (std::vector<double>{-5, -7, -6, -8})) << "' conjugates";
  Var t(mlfTranspose(z.get()));
  EXPECT_EQ(imagsOf(t.get()), (std::vector<double>{5, 7, 6, 8})) << ".' does not";
  Var v(complexMatrix({1, 3}, {1, 2, 3}, {1, -1, 0}));
  Var vct(mlfCtranspose(v.get()));
  EXPECT_EQ(dimsOf(vct.get()), (std::vector<size_t>{3, 1}));
  EXPECT_EQ(imagsOf(vct.get()), (std::vector<double>{-1, 1, -0.0}));
  EXPECT_EQ(imagsOf(v.get()), (std::vector<double>{1, -1, 0})) << "the vector shared is untouched";
  Var realT(mlfTranspose(tmp(row({1, 2}))));
  EXPECT_FALSE(mxIsComplex(realT.get()));
  EXPECT_NE(errorOf([] { mlfCtranspose(tmp(complexMatrix({1, 1, 2}, {1, 2}, {1, 2}))); }), "");

  Var h(mlfHorzcat(tmp(complexScalar(1, 2)), mlfScalar(3), tmp(row({4, 5})), nullptr));
  EXPECT_EQ(valuesOf(h.get()), (std::vector<double>{1, 3, 4, 5}));
  EXPECT_EQ(imagsOf(h.get()), (std::vector<double>{2, 0, 0, 0}));
  Var vc(mlfVertcat(tmp(row({1, 2})), tmp(complexMatrix({1, 2}, {3, 4}, {-1, -2})), nullptr));
  EXPECT_EQ(valuesOf(vc.get()), (std::vector<double>{1, 3, 2, 4}));
  EXPECT_EQ(imagsOf(vc.get()), (std::vector<double>{0, -1, 0, -2}));
  Var text(mlfHorzcat(tmp(mxCreateString("a")), tmp(complexScalar(66, 1)), nullptr));
  EXPECT_EQ(mxGetClassID(text.get()), mxCHAR_CLASS) << "text takes the real parts";
  EXPECT_EQ(textOf(text.get()), "aB");
}

TEST(ComplexReductions, MaxAndMinOrderByMagnitudeThenAngle) {
  const struct {
    const char *what;
    std::vector<double> re, im;
    bool max;
    double re0, im0, index;
  } cases[] = {
      {"largest magnitude", {1, 0, -3}, {1, 2, 0}, true, -3, 0, 3},
      {"smallest magnitude", {1, 0, -3}, {1, 2, 0}, false, 1, 1, 1},
      {"equal magnitudes: max takes the larger angle", {1, -1}, {0, 0}, true, -1, 0, 2},
      {"equal magnitudes: min takes the smaller angle", {0, 1}, {-1, 0}, false, 0, -1, 1},
      {"NaN in either part is left out", {NAN, 2, 5}, {0, 0, NAN}, true, 2, 0, 2},
      {"all NaN gives NaN at 1", {NAN, 1}, {0, NAN}, true, NAN, 0, 1},
  };
  for (const auto &c : cases) {
    mxArray *index = nullptr;
    mxArray *x = tmp(complexMatrix({1, c.re.size()}, c.re, c.im));
    Var m(c.max ? mlfMax(&index, x, nullptr, nullptr) : mlfMin(&index, x, nullptr, nullptr));
    Var where(index);
    EXPECT_TRUE(sameDouble(mxGetPr(m.get())[0], c.re0)) << c.what;
    std::vector<double> im = imagsOf(m.get());
    EXPECT_TRUE(sameDouble(im.empty() ? 0.0 : im[0], c.im0)) << c.what;
    EXPECT_EQ(valuesOf(where.get()), std::vector<double>{c.index}) << c.what;
  }
  // Along a dimension of a matrix, and two arrays element by element.
  Var z(complexMatrix({2, 2}, {3, 0, 1, 1}, {0, 4, 0, -1}));
  Var columns(mlfMax(nullptr, z.get(), nullptr, nullptr));
  EXPECT_EQ(valuesOf(columns.get()), (std::vector<double>{0, 1}));
  EXPECT_EQ(imagsOf(columns.get()), (std::vector<double>{4, -1}));
  Var rows(mlfMin(nullptr, z.get(), tmp(mxCreateDoubleMatrix(0, 0, mxREAL)), mlfScalar(2)));
  EXPECT_EQ(valuesOf(rows.get()), (std::vector<double>{1, 1}));
  EXPECT_EQ(imagsOf(rows.get()), (std::vector<double>{0, -1}));
  Var pair(mlfMax(nullptr, tmp(complexMatrix({1, 2}, {0, 1}, {2, 0})), tmp(row({-3, 1})), nullptr));
  EXPECT_EQ(valuesOf(pair.get()), (std::vector<double>{-3, 1}));
}

TEST(ComplexReductions, SumAndFind) {
  Var z(complexMatrix({2, 2, 2}, {1, 2, 3, 4, 5, 6, 7, 8}, {1, 0, -1, 0, 0, 0, 2, 2}));
  Var s(mlfSum(z.get(), nullptr));
  EXPECT_EQ(dimsOf(s.get()), (std::vector<size_t>{1, 2, 2}));
  EXPECT_EQ(valuesOf(s.get()), (std::vector<double>{3, 7, 11, 15}));
  EXPECT_EQ(imagsOf(s.get()), (std::vector<double>{1, -1, 0, 4}));
  Var cancel(mlfSum(tmp(complexMatrix({1, 2}, {1, 2}, {1, -1})), nullptr));
  EXPECT_FALSE(mxIsComplex(cancel.get())) << "a sum whose imaginary part cancels is real";
  EXPECT_EQ(valuesOf(cancel.get()), std::vector<double>{3});
  mxArray *values = nullptr;
  Var at(mlfFind(&values, nullptr, tmp(complexMatrix({1, 4}, {0, 0, 2, 0}, {0, 1, 0, 0}))));
  EXPECT_EQ(valuesOf(at.get()), (std::vector<double>{1, 1})) << "rows of the non-zero elements";
  Var held(values);
  mxArray *third = nullptr;
  Var positions(mlfFind(nullptr, &third, tmp(complexMatrix({1, 4}, {0, 0, 2, 0}, {0, 1, 0, 0}))));
  Var v(third);
  EXPECT_EQ(valuesOf(positions.get()), (std::vector<double>{2, 3})) << "an imaginary part counts";
  EXPECT_EQ(imagsOf(v.get()), (std::vector<double>{1, 0}));
}

// (A B)(i, j) in long double, from the parts of A and B.
std::complex<long double> productAt(const mxArray *a, const mxArray *b, size_t i, size_t j) {
  size_t m = mxGetM(a), k = mxGetN(a);
  std::complex<long double> s = 0;
  const double *ar = mxGetPr(a), *ai = mxGetPi(a), *br = mxGetPr(b), *bi = mxGetPi(b);
  for (size_t q = 0; q < k; ++q) {
    std::complex<long double> x(ar[i + q * m], ai ? ai[i + q * m] : 0);
    std::complex<long double> y(br[q + j * k], bi ? bi[q + j * k] : 0);
    s += x * y;
  }
  return s;
}

TEST(ComplexProduct, ZgemmAndMixedProductsMatchTheDefinition) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> u(-1, 1);
  auto filled = [&](size_t rows, size_t cols, bool complex) {
    std::vector<double> re(rows * cols), im(rows * cols);
    for (double &v : re) v = u(rng);
    for (double &v : im) v = u(rng);
    return complex ? complexMatrix({rows, cols}, re, im) : matrix({rows, cols}, re);
  };
  const struct {
    const char *what;
    bool a, b;
  } kinds[] = {{"complex * complex", true, true},
               {"real * complex", false, true},
               {"complex * real", true, false}};
  for (const auto &kind : kinds) {
    Var a(filled(5, 7, kind.a)), b(filled(7, 4, kind.b));
    Var p(mclMtimes(a.get(), b.get()));
    ASSERT_EQ(dimsOf(p.get()), (std::vector<size_t>{5, 4})) << kind.what;
    ASSERT_TRUE(mxIsComplex(p.get())) << kind.what;
    for (size_t i = 0; i < 5; ++i) {
      for (size_t j = 0; j < 4; ++j) {
        std::complex<long double> want = productAt(a.get(), b.get(), i, j);
        std::complex<long double> got(mxGetPr(p.get())[i + 5 * j], mxGetPi(p.get())[i + 5 * j]);
        // BLAS kernels differ by processor; the error stays within a few ulps of the terms.
        EXPECT_LE(std::abs(got - want), 1e-14L) << kind.what << " at " << i << "," << j;
      }
    }
  }
  Var zero(mclMtimes(tmp(complexMatrix({1, 2}, {0, 1}, {1, 0})),
                     tmp(complexMatrix({2, 1}, {0, 1}, {1, 0}))));
  EXPECT_FALSE(mxIsComplex(zero.get())) << "[1i 1] * [1i; 1] = -1 + 1 is real";
  EXPECT_EQ(valuesOf(zero.get()), std::vector<double>{0});
  // A real factor multiplies each part: 2i * Inf is NaN + Inf i, as 0 * Inf is NaN.
  Var scaled(mclMtimes(tmp(complexScalar(0, 2)), tmp(row({1, kInf}))));
  EXPECT_EQ(valuesOf(scaled.get())[0], 0);
  EXPECT_TRUE(std::isnan(valuesOf(scaled.get())[1]));
  EXPECT_EQ(imagsOf(scaled.get()), (std::vector<double>{2, kInf}));
  Var emptyProduct(
      mclMtimes(tmp(complexMatrix({2, 0}, {}, {})), tmp(complexMatrix({0, 3}, {}, {}))));
  EXPECT_EQ(dimsOf(emptyProduct.get()), (std::vector<size_t>{2, 3}));
  EXPECT_EQ(valuesOf(emptyProduct.get()), std::vector<double>(6, 0.0));
}

}  // namespace
}  // namespace mexrt::test
