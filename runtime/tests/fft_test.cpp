// fft and ifft against a direct O(n^2) transform in long double: every length, vectors and
// each dimension of an N-d array, zero-padding and truncation, round trips, the symmetric
// inverse, and bad arguments.
#include <complex>
#include <numbers>
#include <random>

#include "array_test_support.h"

namespace mexrt::test {
namespace {

using LongComplex = std::complex<long double>;
const size_t kLengths[] = {1, 2, 3, 5, 7, 8, 97, 256, 400, 512, 1000};

// sum_j x(j) exp(-+2 pi i j k / n) for the n points of x (padded with zeros or truncated),
// divided by n for the inverse.
std::vector<LongComplex> directTransform(const std::vector<LongComplex> &x, size_t n,
                                         bool inverse) {
  std::vector<LongComplex> turn(n), out(n);
  const long double sign = inverse ? 1 : -1;
  for (size_t m = 0; m < n; ++m) {
    long double angle = sign * 2 * std::numbers::pi_v<long double> * static_cast<long double>(m) /
                        static_cast<long double>(n);
    turn[m] = {std::cos(angle), std::sin(angle)};
  }
  for (size_t k = 0; k < n; ++k) {
    LongComplex s = 0;
    for (size_t j = 0; j < std::min(n, x.size()); ++j) s += x[j] * turn[(j * k) % n];
    out[k] = inverse ? s / static_cast<long double>(n) : s;
  }
  return out;
}

// Element k of an array as a complex number.
LongComplex at(const mxArray *a, size_t k) {
  const double *pi = mxGetPi(a);
  return {mxGetPr(a)[k], pi ? pi[k] : 0.0};
}

// The error bound of a transform of n points of x: a few ulps times log n, relative to the
// norm of the transform.
long double tolerance(const std::vector<LongComplex> &x, size_t n) {
  long double norm = 0;
  for (const LongComplex &v : x) norm += std::norm(v);
  return 8 * std::numeric_limits<double>::epsilon() * std::log2(2.0L * n) *
         std::sqrt(static_cast<long double>(n) * norm);
}

struct Signal {
  std::vector<double> re, im;
  std::vector<LongComplex> values() const {
    std::vector<LongComplex> v(re.size());
    for (size_t k = 0; k < re.size(); ++k) v[k] = {re[k], im.empty() ? 0.0 : im[k]};
    return v;
  }
};

Signal randomSignal(size_t n, bool complex, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  Signal s;
  for (size_t k = 0; k < n; ++k) s.re.push_back(u(rng));
  if (complex) {
    for (size_t k = 0; k < n; ++k) s.im.push_back(u(rng));
  }
  return s;
}

mxArray *arrayOf(const Signal &s, std::vector<size_t> dims) {
  return s.im.empty() ? matrix(dims, s.re) : complexMatrix(dims, s.re, s.im);
}

TEST(Fft, MatchesTheDirectTransformForEveryLength) {
  size_t live = mexrtLiveArrayCount();
  for (size_t n : kLengths) {
    for (bool complex : {false, true}) {
      Signal s = randomSignal(n, complex, static_cast<unsigned>(n));
      std::vector<LongComplex> x = s.values();
      const std::string what = std::to_string(n) + (complex ? " complex" : " real") + " points";
      // A column for the real signal, a row for the complex one.
      std::vector<size_t> dims = complex ? std::vector<size_t>{1, n} : std::vector<size_t>{n, 1};
      Var in(arrayOf(s, dims));
      Var forward(mlfFft(in.get(), nullptr, nullptr));
      Var inverse(mlfIfft(in.get(), nullptr, nullptr, nullptr));
      ASSERT_EQ(dimsOf(forward.get()), dims) << what;
      std::vector<LongComplex> want = directTransform(x, n, false);
      std::vector<LongComplex> wantInverse = directTransform(x, n, true);
      long double tol = tolerance(x, n);
      for (size_t k = 0; k < n; ++k) {
        ASSERT_LE(std::abs(at(forward.get(), k) - want[k]), tol) << what << ", fft term " << k;
        ASSERT_LE(std::abs(at(inverse.get(), k) - wantInverse[k]), tol / n)
            << what << ", ifft term " << k;
      }
      if (!complex && n > 2) {
        // The spectrum of real data is conjugate symmetric, exactly: X(n - k) = conj(X(k)).
        for (size_t k = 1; k < n; ++k) {
          ASSERT_EQ(at(forward.get(), n - k), std::conj(at(forward.get(), k))) << what << " " << k;
        }
      }
    }
  }
  EXPECT_EQ(mexrtLiveArrayCount(), live);
}

// x as a 3-d array of size d, transformed along dim with n points, against the direct
// transform of every vector along that dimension.
void expectAlongDimension(const Signal &s, const std::vector<size_t> &d, size_t dim, size_t n,
                          bool inverse, const std::string &what) {
  Var x(arrayOf(s, d));
  Var r(inverse ? mlfIfft(x.get(), mlfScalar(static_cast<double>(n)),
                          mlfScalar(static_cast<double>(dim + 1)), nullptr)
                : mlfFft(x.get(), mlfScalar(static_cast<double>(n)),
                         mlfScalar(static_cast<double>(dim + 1))));
  std::vector<size_t> outDims = d;
  outDims[dim] = n;
  while (outDims.size() > 2 && outDims.back() == 1) outDims.pop_back();
  ASSERT_EQ(dimsOf(r.get()), outDims) << what;
  size_t inner = 1, outer = 1;
  for (size_t k = 0; k < dim; ++k) inner *= d[k];
  for (size_t k = dim + 1; k < d.size(); ++k) outer *= d[k];
  std::vector<LongComplex> all = s.values();
  for (size_t o = 0; o < outer; ++o) {
    for (size_t i = 0; i < inner; ++i) {
      std::vector<LongComplex> v;
      for (size_t k = 0; k < d[dim]; ++k) v.push_back(all[o * d[dim] * inner + k * inner + i]);
      std::vector<LongComplex> want = directTransform(v, n, inverse);
      long double tol = tolerance(v, n) + 1e-300L;
      for (size_t k = 0; k < n; ++k) {
        LongComplex got = at(r.get(), o * n * inner + k * inner + i);
        ASSERT_LE(std::abs(got - want[k]), tol)
            << what << ", vector (" << i << ", " << o << "), term " << k;
      }
    }
  }
}

TEST(Fft, WorksAlongEachDimensionWithPaddingAndTruncation) {
  const std::vector<size_t> d = {4, 5, 3};
  for (bool complex : {false, true}) {
    Signal s = randomSignal(60, complex, complex ? 5 : 6);
    for (size_t dim = 0; dim < 3; ++dim) {
      for (bool inverse : {false, true}) {
        for (size_t n : {d[dim], d[dim] + 3, d[dim] - 2}) {
          std::string what = std::string(inverse ? "ifft" : "fft") + " of a " +
                             (complex ? "complex" : "real") + " 4x5x3 array along dimension " +
                             std::to_string(dim + 1) + " with " + std::to_string(n) + " points";
          expectAlongDimension(s, d, dim, n, inverse, what);
        }
      }
    }
  }
  // The 97 points of a long dimension, every vector 400 apart.
  Signal wide = randomSignal(400 * 97, true, 9);
  expectAlongDimension(wide, {400, 97}, 1, 97, false, "fft along the rows of a 400x97 matrix");
}

TEST(Fft, RoundTripsAndTheSymmetricInverse) {
  for (size_t n : kLengths) {
    for (bool complex : {false, true}) {
      Signal s = randomSignal(2 * n, complex, static_cast<unsigned>(3 * n + 1));
      const std::string what = std::to_string(n) + (complex ? " complex" : " real") + " points";
      Var x(arrayOf(s, {n, 2}));
      Var back(mlfIfft(mlfFft(x.get(), nullptr, nullptr), nullptr, nullptr, nullptr));
      long double largest = 0;
      for (size_t k = 0; k < 2 * n; ++k) largest = std::max(largest, std::abs(at(x.get(), k)));
      for (size_t k = 0; k < 2 * n; ++k) {
        ASSERT_LE(std::abs(at(back.get(), k) - at(x.get(), k)), 1e-14 * largest)
            << what << ": ifft(fft(x)) at " << k;
      }
      if (complex) continue;
      Var symmetric(mlfIfft(mlfFft(x.get(), nullptr, nullptr), nullptr, nullptr,
                            tmp(mxCreateString("symmetric"))));
      ASSERT_FALSE(mxIsComplex(symmetric.get())) << what << ": the symmetric inverse is real";
      for (size_t k = 0; k < 2 * n; ++k) {
        ASSERT_NEAR(mxGetPr(symmetric.get())[k], s.re[k], 1e-14 * static_cast<double>(largest))
            << what << " " << k;
      }
    }
  }
  // 'symmetric' reads only the first half: the second half of X makes no difference.
  Var spectrum(complexMatrix({1, 4}, {10, -2, -2, 99}, {0, 2, 7, -99}));
  Var sym(mlfIfft(spectrum.get(), nullptr, nullptr, tmp(mxCreateString("symmetric"))));
  std::vector<double> want = {1, 2, 3, 4};  // ifft of [10, -2+2i, -2, -2-2i]
  for (size_t k = 0; k < 4; ++k) EXPECT_NEAR(valuesOf(sym.get())[k], want[k], 1e-15) << k;
  Var non(mlfIfft(tmp(complexMatrix({1, 2}, {1, 0}, {0, 1})), nullptr, nullptr,
                  tmp(mxCreateString("nonsymmetric"))));
  EXPECT_TRUE(mxIsComplex(non.get()));
}

TEST(Fft, DefaultsFollowTheHost) {
  const struct {
    const char *what;
    std::function<mxArray *()> call;
    std::vector<size_t> dims;
    std::vector<double> re, im;  // im empty: a real result
  } cases[] = {
      {"a row along its length",
       [] {
         return mlfFft(tmp(row({1, 2, 3, 4})), nullptr, nullptr);
       },
       {1, 4},
       {10, -2, -2, -2},
       {0, 2, 0, -2}},
      {"a scalar", [] { return mlfFft(mlfScalar(3), nullptr, nullptr); }, {1, 1}, {3}, {}},
      {"an impulse has a real spectrum",
       [] {
         return mlfFft(tmp(column({1, 0, 0, 0})), nullptr, nullptr);
       },
       {4, 1},
       {1, 1, 1, 1},
       {}},
      {"[] stays []",
       [] {
         return mlfFft(tmp(matrix({0, 0}, {})), nullptr, nullptr);
       },
       {0, 0},
       {},
       {}},
      {"0x3 stays 0x3",
       [] {
         return mlfFft(tmp(matrix({0, 3}, {})), nullptr, nullptr);
       },
       {0, 3},
       {},
       {}},
      {"0x3 padded to 2 points",
       [] {
         return mlfFft(tmp(matrix({0, 3}, {})), mlfScalar(2), nullptr);
       },
       {2, 3},
       {0, 0, 0, 0, 0, 0},
       {}},
      {"0 points",
       [] {
         return mlfFft(tmp(row({1, 2})), mlfScalar(0), nullptr);
       },
       {1, 0},
       {},
       {}},
      {"[] for n takes the length",
       [] {
         return mlfFft(tmp(row({1, 1})), tmp(matrix({0, 0}, {})), nullptr);
       },
       {1, 2},
       {2, 0},
       {}},
      {"truncated to 1 point",
       [] {
         return mlfFft(tmp(row({5, 6, 7})), mlfScalar(1), nullptr);
       },
       {1, 1},
       {5},
       {}},
      {"a dimension beyond the array: each element alone",
       [] {
         return mlfFft(tmp(complexMatrix({1, 2}, {1, 2}, {3, 4})), nullptr, mlfScalar(3));
       },
       {1, 2},
       {1, 2},
       {3, 4}},
      {"text as its codes",
       [] { return mlfFft(tmp(mxCreateString("AB")), nullptr, nullptr); },
       {1, 2},
       {131, -1},
       {}},
      {"ifft scales by 1/n",
       [] {
         return mlfIfft(tmp(row({4, 0})), nullptr, nullptr, nullptr);
       },
       {1, 2},
       {2, 2},
       {}},
  };
  size_t live = mexrtLiveArrayCount();
  for (const auto &c : cases) {
    Var r(c.call());
    EXPECT_EQ(dimsOf(r.get()), c.dims) << c.what;
    EXPECT_EQ(valuesOf(r.get()), c.re) << c.what;
    EXPECT_EQ(imagsOf(r.get()), c.im) << c.what;
  }
  EXPECT_EQ(mexrtLiveArrayCount(), live);
}

TEST(Fft, BadArgumentsAreClearErrors) {
  const struct {
    const char *what;
    std::function<void()> call;
    const char *message;
  } cases[] = {
      {"negative n",
       [] {
         mlfFft(tmp(row({1, 2})), mlfScalar(-1), nullptr);
       },
       "fft: the number of points must be a non-negative integer scalar, not -1."},
      {"fractional n",
       [] {
         mlfFft(tmp(row({1, 2})), mlfScalar(2.5), nullptr);
       },
       "fft: the number of points must be a non-negative integer scalar, not 2.5."},
      {"n a vector",
       [] {
         mlfIfft(tmp(row({1, 2})), tmp(row({1, 2})), nullptr, nullptr);
       },
       "ifft: the number of points must be a non-negative integer scalar, not an array of size "
       "1x2."},
      {"dimension 0",
       [] {
         mlfFft(tmp(row({1, 2})), nullptr, mlfScalar(0));
       },
       "fft: the dimension must be a positive integer scalar, not 0."},
      {"unknown option",
       [] {
         mlfIfft(tmp(row({1, 2})), nullptr, nullptr, tmp(mxCreateString("odd")));
       },
       "ifft: the option must be 'symmetric' or 'nonsymmetric'."},
      {"missing x", [] { mlfFft(nullptr, mlfScalar(2), nullptr); },
       "fft: an operand is missing (an absent array)."},
  };
  size_t live = mexrtLiveArrayCount();
  for (const auto &c : cases) {
    EXPECT_EQ(errorOf(c.call), c.message) << c.what;
    EXPECT_EQ(mexrtLiveArrayCount(), live) << c.what << ": the operands are reclaimed";
  }
}

}  // namespace
}  // namespace mexrt::test
