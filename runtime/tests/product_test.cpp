// Tests of the matrix product on the paths the modules take: the outer product of a column
// and a row, large products (a memory-bound one computed in blocks of columns side by side),
// and a scalar factor of a product.
#include <cmath>
#include <random>
#include <vector>

#include "array_test_support.h"

namespace mexrt::test {
namespace {

using Values = std::vector<double>;

Values randomValues(size_t n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> v(0.0, 3.0);
  Values out(n);
  for (double &x : out) x = v(rng);
  return out;
}

// The product by its definition in long double, column-major m x n.
std::vector<long double> reference(const Values &a, const Values &b, size_t m, size_t k, size_t n,
                                   long double factor = 1) {
  std::vector<long double> r(m * n);
  for (size_t j = 0; j < n; ++j) {
    for (size_t i = 0; i < m; ++i) {
      long double s = 0;
      for (size_t p = 0; p < k; ++p) s += static_cast<long double>(a[i + p * m]) * b[p + j * k];
      r[i + j * m] = factor * s;
    }
  }
  return r;
}

// Each element within a few rounding steps of the sum's scale (|a| |b| summed).
void expectNear(const Values &got, const std::vector<long double> &want, const Values &a,
                const Values &b, size_t m, size_t k, long double factor, const char *what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  const size_t n = got.size() / m;
  for (size_t j = 0; j < n; ++j) {
    for (size_t i = 0; i < m; ++i) {
      long double scale = 0;
      for (size_t p = 0; p < k; ++p) scale += std::fabs(a[i + p * m] * b[p + j * k]);
      const long double tol = 4 * (k + 1) * 1.2e-16L * scale * std::fabs(factor);
      ASSERT_LE(std::fabs(got[i + j * m] - want[i + j * m]), tol)
          << what << ": element (" << i + 1 << ", " << j + 1 << ")";
    }
  }
}

TEST(Product, AnInnerDimensionOfOneIsTheOuterProductElementByElement) {
  const Values col = {1.5, -2, 0, NAN, HUGE_VAL, 3};
  const struct {
    const char *what;
    size_t n;
  } cases[] = {{"short row", 5}, {"long row", 3000}};
  for (const auto &c : cases) {
    Values rowValues = randomValues(c.n, 5);
    rowValues[0] = 0;
    Var r(mclMtimes(tmp(matrix({col.size(), 1}, col)), tmp(matrix({1, c.n}, rowValues))));
    ASSERT_EQ(dimsOf(r.get()), (std::vector<size_t>{col.size(), c.n})) << c.what;
    const Values got = valuesOf(r.get());
    for (size_t j = 0; j < c.n; ++j) {
      for (size_t i = 0; i < col.size(); ++i) {
        const double want = col[i] * rowValues[j];
        const double have = got[i + j * col.size()];
        if (std::isnan(want)) {
          ASSERT_TRUE(std::isnan(have)) << c.what << " (" << i + 1 << ", " << j + 1 << ")";
        } else {
          ASSERT_EQ(have, want) << c.what << " (" << i + 1 << ", " << j + 1 << ")";
        }
      }
    }
  }
}

TEST(Product, LargeProductsMatchTheDefinition) {
  const struct {
    const char *what;
    size_t m, k, n;
  } cases[] = {
      {"12 x 26 times 26 x 800", 12, 26, 800},
      // About 50 MB read and written at 0.4 flops a byte: with more than one BLAS thread,
      // blocks of columns on threads of their own; an odd count leaves the last block short.
      {"3 x 7 times 7 x 700001", 3, 7, 700001},
  };
  for (const auto &c : cases) {
    const Values a = randomValues(c.m * c.k, 1), b = randomValues(c.k * c.n, 2);
    size_t live = mexrtLiveArrayCount();
    {
      Var r(mclMtimes(tmp(matrix({c.m, c.k}, a)), tmp(matrix({c.k, c.n}, b))));
      EXPECT_EQ(mexrtLiveArrayCount(), live + 1) << c.what << ": the operands are reclaimed";
      expectNear(valuesOf(r.get()), reference(a, b, c.m, c.k, c.n), a, b, c.m, c.k, 1, c.what);
    }
    {
      Var never(mclMtimes(tmp(matrix({c.m, c.k}, a)), tmp(matrix({c.k, c.n}, b))));  // never read
    }
    EXPECT_EQ(mexrtLiveArrayCount(), live) << c.what;
  }
}

TEST(Product, OperandsChangedAfterTheProductDoNotChangeIt) {
  const size_t m = 12, k = 26, n = 800;
  const Values a = randomValues(m * k, 3), b = randomValues(k * n, 4);
  Var A(matrix({m, k}, a)), B(matrix({k, n}, b));
  Var r(mclMtimes(A.get(), B.get()));
  mxGetPr(A.get())[0] = 1e6;  // written before the product is read
  mclArrayAssign2(B.addr(), mlfScalar(-1e6), mlfScalar(1), mlfCreateColonIndex());
  Var r2(mclMtimes(A.get(), B.get()));
  expectNear(valuesOf(r.get()), reference(a, b, m, k, n), a, b, m, k, 1, "the first product");
  Values a2 = a, b2 = valuesOf(B.get());
  a2[0] = 1e6;
  expectNear(valuesOf(r2.get()), reference(a2, b2, m, k, n), a2, b2, m, k, 1, "the second");
}

TEST(Product, AScalarFactorOfAProductRoundsAsAfterwards) {
  const size_t m = 12, k = 26, n = 800;
  const Values a = randomValues(m * k, 5), b = randomValues(k * n, 6);
  const double s = std::sqrt(2.0 / 26);
  using Op = mxArray *(*)(mxArray *, mxArray *);
  const struct {
    const char *what;
    Op op;
    bool scalarFirst;
  } cases[] = {{"s * (A*B)", mclMtimes, true},
               {"(A*B) * s", mclMtimes, false},
               {"s .* (A*B)", mclTimes, true}};
  for (const auto &c : cases) {
    size_t live = mexrtLiveArrayCount();
    {
      mxArray *p = mclMtimes(tmp(matrix({m, k}, a)), tmp(matrix({k, n}, b)));
      Var r(c.scalarFirst ? c.op(mlfScalar(s), p) : c.op(p, mlfScalar(s)));
      EXPECT_EQ(mexrtLiveArrayCount(), live + 1) << c.what << ": operands reclaimed";
      expectNear(valuesOf(r.get()), reference(a, b, m, k, n, s), a, b, m, k, s, c.what);
    }
    EXPECT_EQ(mexrtLiveArrayCount(), live) << c.what;
  }
  // Two factors in a row, and a factor of a product also kept in a variable.
  Var twice(mclMtimes(mlfScalar(3), mclMtimes(mlfScalar(s), mclMtimes(tmp(matrix({m, k}, a)),
                                                                      tmp(matrix({k, n}, b))))));
  expectNear(valuesOf(twice.get()), reference(a, b, m, k, n, 3 * s), a, b, m, k, 3 * s,
             "3 * (s * P)");
  Var kept(mclMtimes(tmp(matrix({m, k}, a)), tmp(matrix({k, n}, b))));
  Var scaled(mclMtimes(mlfScalar(2), kept.get()));
  expectNear(valuesOf(kept.get()), reference(a, b, m, k, n), a, b, m, k, 1, "the kept product");
  expectNear(valuesOf(scaled.get()), reference(a, b, m, k, n, 2), a, b, m, k, 2, "2 * kept");
}

TEST(Product, ZeroAndNonFiniteFactorsKeepTheirElementWiseMeaning) {
  const size_t m = 12, k = 26, n = 800;
  Values a = randomValues(m * k, 7), b = randomValues(k * n, 8);
  a[0] = HUGE_VAL;  // row 1 of the product is +-Inf
  const struct {
    const char *what;
    double s;
    double row1, row2;  // what the element-wise product gives in rows 1 and 2, NaN for NaN
  } cases[] = {
      {"0 * P: 0 * Inf is NaN", 0.0, NAN, 0.0},
      {"NaN * P", NAN, NAN, NAN},
      {"Inf * P", HUGE_VAL, HUGE_VAL, HUGE_VAL},
  };
  for (const auto &c : cases) {
    Var r(mclMtimes(mlfScalar(c.s), mclMtimes(tmp(matrix({m, k}, a)), tmp(matrix({k, n}, b)))));
    const Values got = valuesOf(r.get());
    for (size_t j = 0; j < n; ++j) {
      const double r1 = got[j * m], r2 = got[1 + j * m];
      if (std::isnan(c.row1)) {
        ASSERT_TRUE(std::isnan(r1)) << c.what << ", column " << j + 1;
      } else {
        ASSERT_EQ(std::fabs(r1), c.row1) << c.what << ", column " << j + 1;
      }
      if (std::isnan(c.row2)) {
        ASSERT_TRUE(std::isnan(r2)) << c.what << ", column " << j + 1;
      } else {
        ASSERT_EQ(std::fabs(r2), c.row2) << c.what << ", column " << j + 1;
      }
    }
  }
}

}  // namespace
}  // namespace mexrt::test
