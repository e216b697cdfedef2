// Tests of the linear-algebra operations against closed forms and residuals: solving
// (square, least squares, the warnings of singular systems), inv and det, eig, svd, norm,
// rank, pinv and the constructors eye, diag, trace and kron.
#include "mexrt/linalg.h"

#include <cmath>
#include <complex>
#include <random>
#include <string>
#include <vector>

#include "array_test_support.h"

namespace mexrt::test {
namespace {

using C = std::complex<long double>;
using Values = std::vector<double>;
constexpr long double kEps = 2.220446049250313e-16L;

// An m x n matrix read back with complex elements, column-major.
struct M {
  size_t m = 0, n = 0;
  std::vector<C> z;
  C operator()(size_t i, size_t j) const { return z[i + j * m]; }
};

M read(const mxArray *a) {
  M r{mxGetM(a), mxGetN(a), {}};
  Values re = valuesOf(a), im = imagsOf(a);
  for (size_t k = 0; k < re.size(); ++k) r.z.emplace_back(re[k], im.empty() ? 0.0 : im[k]);
  return r;
}

M product(const M &a, const M &b, bool conjugateA = false) {
  const size_t rows = conjugateA ? a.n : a.m, inner = conjugateA ? a.m : a.n;
  M r{rows, b.n, std::vector<C>(rows * b.n)};
  for (size_t j = 0; j < b.n; ++j)
    for (size_t i = 0; i < rows; ++i)
      for (size_t p = 0; p < inner; ++p)
        r.z[i + j * rows] += (conjugateA ? std::conj(a(p, i)) : a(i, p)) * b(p, j);
  return r;
}

long double fro(const M &a) {
  long double s = 0;
  for (C c : a.z) s += std::norm(c);
  return std::sqrt(s);
}

M minus(M a, const M &b) {
  for (size_t k = 0; k < a.z.size(); ++k) a.z[k] -= b.z[k];
  return a;
}

M identity(size_t n) {
  M r{n, n, std::vector<C>(n * n)};
  for (size_t k = 0; k < n; ++k) r.z[k + k * n] = 1;
  return r;
}

Values randomValues(size_t n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> v(0.0, 1.0);
  Values out(n);
  for (double &x : out) x = v(rng);
  return out;
}

mxArray *randomMatrix(size_t m, size_t n, unsigned seed, bool complex) {
  if (!complex) return matrix({m, n}, randomValues(m * n, seed));
  return complexMatrix({m, n}, randomValues(m * n, seed), randomValues(m * n, seed + 100));
}

TEST(Solve, SquareSystemsHaveSmallResiduals) {
  const struct {
    size_t n, rhs;
    bool complexA, complexB;
  } cases[] = {{2, 1, false, false}, {7, 3, false, false}, {60, 2, false, false},
               {5, 1, true, false},  {5, 2, false, true},  {30, 4, true, true}};
  for (const auto &c : cases) {
    Var a(randomMatrix(c.n, c.n, 1 + c.n, c.complexA)), b(randomMatrix(c.n, c.rhs, 7, c.complexB));
    Var x(mclMldivide(a.get(), b.get()));
    Var y(mclMrdivide(tmp(mlfTranspose(b.get())), tmp(mlfTranspose(a.get()))));
    M ma = read(a.get()), mb = read(b.get()), mx = read(x.get()), my = read(y.get());
    const std::string what = std::to_string(c.n) + "x" + std::to_string(c.n);
    ASSERT_EQ(mx.m, c.n) << what;
    ASSERT_EQ(mx.n, c.rhs) << what;
    // The backward error of LU with partial pivoting: a small multiple of n eps.
    EXPECT_LE(fro(minus(product(ma, mx), mb)), 100 * c.n * kEps * fro(ma) * fro(mx)) << what;
    // B.' / A.' is the transpose of A \ B.
    for (size_t i = 0; i < c.n; ++i)
      for (size_t j = 0; j < c.rhs; ++j)
        EXPECT_LE(std::abs(my(j, i) - mx(i, j)), 1e-12L * (1 + fro(mx))) << what << " /";
  }
}

TEST(Solve, NonSquareSystemsAreSolvedInTheLeastSquaresSense) {
  // A line through (1, 1), (2, 2), (3, 2): intercept 2/3, slope 1/2.
  Var line(mclMldivide(tmp(matrix({3, 2}, {1, 1, 1, 1, 2, 3})), tmp(column({1, 2, 2}))));
  Values got = valuesOf(line.get());
  ASSERT_EQ(got.size(), 2u);
  EXPECT_NEAR(got[0], 2.0 / 3, 1e-14);
  EXPECT_NEAR(got[1], 0.5, 1e-14);
  // Underdetermined: the minimum-norm solution of x1 + x2 = 2 is (1, 1).
  Var wide(mclMldivide(tmp(row({1, 1})), mlfScalar(2)));
  EXPECT_EQ(dimsOf(wide.get()), (std::vector<size_t>{2, 1}));
  for (double v : valuesOf(wide.get())) EXPECT_NEAR(v, 1, 1e-14);
  // A tall random system: the residual is orthogonal to A's columns.
  Var a(randomMatrix(40, 5, 3, true)), b(randomMatrix(40, 1, 4, false));
  Var x(mclMldivide(a.get(), b.get()));
  M ma = read(a.get());
  M r = minus(product(ma, read(x.get())), read(b.get()));
  EXPECT_LE(fro(product(ma, r, true)), 1e-12L * fro(ma) * fro(read(b.get())));
}

TEST(Solve, SingularAndBadlyConditionedSystemsWarn) {
  const struct {
    const char *what;
    Values a;
    const char *warning;
  } cases[] = {
      {"singular", {1, 2, 2, 4}, "Warning: Matrix is singular to working precision.\n"},
      {"zero", {0, 0, 0, 0}, "Warning: Matrix is singular to working precision.\n"},
      {"badly scaled",
       {1, 0, 0, 1e-20},
       "Warning: Matrix is close to singular or badly scaled. Results may be inaccurate. "
       "RCOND = 1.000000e-20.\n"},
      {"NaN",
       {1, NAN, 0, 1},
       "Warning: Matrix is close to singular or badly scaled. Results may be inaccurate. "
       "RCOND = nan.\n"},
      {"well conditioned", {2, 1, 1, 3}, ""},
  };
  for (const auto &c : cases) {
    testing::internal::CaptureStderr();
    Var x(mclMldivide(tmp(matrix({2, 2}, c.a)), tmp(column({1, 1}))));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.warning) << c.what << " \\";
    testing::internal::CaptureStderr();
    Var inv(mlfInv(tmp(matrix({2, 2}, c.a))));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.warning) << c.what << " inv";
  }
}

TEST(Solve, ScalarsAndEmptiesKeepTheirElementwiseMeaning) {
  Var a(mclMldivide(mlfScalar(2), tmp(row({2, 4, -6}))));
  EXPECT_EQ(valuesOf(a.get()), (Values{1, 2, -3}));
  Var b(mclMrdivide(tmp(row({2, 4})), mlfScalar(4)));
  EXPECT_EQ(valuesOf(b.get()), (Values{0.5, 1}));
  Var e(mclMldivide(tmp(matrix({0, 0}, {})), tmp(matrix({0, 3}, {}))));
  EXPECT_EQ(dimsOf(e.get()), (std::vector<size_t>{0, 3}));
  size_t live = mexrtLiveArrayCount();
  EXPECT_EQ(errorOf([] { mlfInv(tmp(matrix({2, 3}, Values(6, 1)))); }), "Matrix must be square.");
  EXPECT_EQ(errorOf([] { mlfDet(tmp(matrix({1, 2}, Values(2, 1)))); }), "Matrix must be square.");
  EXPECT_EQ(errorOf([] {
              mlfEig(nullptr, tmp(matrix({3, 2}, Values(6, 1))));
            }),
            "Matrix must be square.");
  EXPECT_EQ(mexrtLiveArrayCount(), live) << "operands reclaimed on error";
}

TEST(InvDet, ClosedForms) {
  Var inv(mlfInv(tmp(matrix({2, 2}, {4, 2, 7, 6}))));
  const Values want = {0.6, -0.2, -0.7, 0.4};
  Values got = valuesOf(inv.get());
  for (size_t k = 0; k < 4; ++k) EXPECT_NEAR(got[k], want[k], 1e-15) << k;
  Var emptyInv(mlfInv(tmp(matrix({0, 0}, {}))));
  EXPECT_EQ(dimsOf(emptyInv.get()), (std::vector<size_t>{0, 0}));

  const struct {
    const char *what;
    mxArray *a;
    double re, im;
  } dets[] = {
      {"2x2", matrix({2, 2}, {1, 3, 2, 4}), -2, 0},
      {"permutation", matrix({3, 3}, {0, 1, 0, 1, 0, 0, 0, 0, 1}), -1, 0},
      {"triangular", matrix({3, 3}, {2, 0, 0, 5, 3, 0, 7, 8, 4}), 24, 0},
      {"singular", matrix({2, 2}, {1, 2, 2, 4}), 0, 0},
      {"empty", matrix({0, 0}, {}), 1, 0},
      {"i I", complexMatrix({2, 2}, {0, 0, 0, 0}, {1, 0, 0, 1}), -1, 0},
      {"complex", complexMatrix({2, 2}, {1, 0, 0, 1}, {1, 0, 0, 0}), 1, 1},
  };
  for (const auto &c : dets) {
    Var d(mlfDet(tmp(c.a)));
    Values im = imagsOf(d.get());
    EXPECT_NEAR(valuesOf(d.get())[0], c.re, 1e-14) << c.what;
    EXPECT_NEAR(im.empty() ? 0 : im[0], c.im, 1e-14) << c.what;
  }
}

TEST(Eig, EigenpairsSatisfyAVEqualsVD) {
  const struct {
    const char *what;
    mxArray *a;
    bool hermitian;
  } cases[] = {
      {"symmetric", matrix({3, 3}, {2, -1, 0, -1, 2, -1, 0, -1, 2}), true},
      {"general real", randomMatrix(6, 6, 11, false), false},
      {"rotation", matrix({2, 2}, {0, 1, -1, 0}), false},
      {"hermitian", complexMatrix({2, 2}, {2, 1, 1, 3}, {0, -1, 1, 0}), true},
      {"general complex", randomMatrix(5, 5, 12, true), false},
  };
  for (const auto &c : cases) {
    Var a(c.a), v;
    Var d(mlfEig(v.addr(), a.get()));
    M ma = read(a.get()), mv = read(v.get()), md = read(d.get());
    EXPECT_LE(fro(minus(product(ma, mv), product(mv, md))), 1e-13L * fro(ma)) << c.what;
    Var values(mlfEig(nullptr, a.get()));
    M w = read(values.get());
    ASSERT_EQ(w.m, ma.n) << c.what;
    for (size_t k = 0; k < w.m; ++k) EXPECT_LE(std::abs(w(k, 0) - md(k, k)), 1e-13L) << c.what;
    if (!c.hermitian) continue;
    EXPECT_TRUE(imagsOf(values.get()).empty()) << c.what << ": real eigenvalues";
    EXPECT_LE(fro(minus(product(mv, mv, true), identity(ma.n))), 1e-14L) << c.what;
    for (size_t k = 1; k < w.m; ++k) EXPECT_LE(w(k - 1, 0).real(), w(k, 0).real()) << c.what;
  }
  // Closed forms: 2 - sqrt 2, 2, 2 + sqrt 2; and +-i for the rotation.
  Var sym(mlfEig(nullptr, tmp(matrix({3, 3}, {2, -1, 0, -1, 2, -1, 0, -1, 2}))));
  Values s = valuesOf(sym.get());
  EXPECT_NEAR(s[0], 2 - std::sqrt(2.0), 1e-14);
  EXPECT_NEAR(s[2], 2 + std::sqrt(2.0), 1e-14);
  Var rot(mlfEig(nullptr, tmp(matrix({2, 2}, {0, 1, -1, 0}))));
  EXPECT_NEAR(std::fabs(imagsOf(rot.get())[0]), 1, 1e-15);
  EXPECT_EQ(errorOf([] {
              mlfEig(nullptr, tmp(matrix({2, 2}, {1, NAN, 0, 1})));
            }),
            "Input to eig must not contain NaN or Inf.");
}

TEST(Svd, FactorsAreOrthogonalAndReproduceA) {
  const struct {
    size_t m, n;
    bool complex;
    int econ;
  } cases[] = {{4, 3, false, 0}, {4, 3, false, 1}, {3, 5, false, 0},
               {3, 5, true, 1},  {6, 6, true, 0},  {1, 4, false, 0}};
  for (const auto &c : cases) {
    const std::string what = std::to_string(c.m) + "x" + std::to_string(c.n) +
                             (c.complex ? " complex" : "") + (c.econ ? " econ" : "");
    Var a(randomMatrix(c.m, c.n, 21 + c.m, c.complex)), u, v;
    Var s(mlfSvd(u.addr(), v.addr(), a.get(), c.econ));
    M ma = read(a.get()), mu = read(u.get()), ms = read(s.get()), mv = read(v.get());
    const size_t k = std::min(c.m, c.n);
    EXPECT_EQ(mu.n, c.econ ? k : c.m) << what;
    EXPECT_EQ(mv.n, c.econ ? k : c.n) << what;
    M sv{ms.m, mv.m, std::vector<C>(ms.m * mv.m)};
    for (size_t i = 0; i < ms.m; ++i)
      for (size_t j = 0; j < mv.m; ++j)
        for (size_t p = 0; p < ms.n; ++p) sv.z[i + j * ms.m] += ms(i, p) * std::conj(mv(j, p));
    EXPECT_LE(fro(minus(product(mu, sv), ma)), 1e-14L * fro(ma) * 10) << what;
    EXPECT_LE(fro(minus(product(mu, mu, true), identity(mu.n))), 1e-14L * 10) << what;
    EXPECT_LE(fro(minus(product(mv, mv, true), identity(mv.n))), 1e-14L * 10) << what;
  }
  const struct {
    const char *what;
    mxArray *a;
    Values s;
  } closed[] = {
      {"diagonal", matrix({2, 2}, {3, 0, 0, -4}), {4, 3}},
      {"ones", matrix({2, 2}, {1, 1, 1, 1}), {2, 0}},
      {"row", row({3, 4}), {5}},
      {"empty", matrix({0, 3}, {}), {}},
  };
  for (const auto &c : closed) {
    Var s(mlfSvd(nullptr, nullptr, tmp(c.a), 0));
    Values got = valuesOf(s.get());
    ASSERT_EQ(got.size(), c.s.size()) << c.what;
    for (size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(got[k], c.s[k], 1e-14) << c.what;
  }
  EXPECT_EQ(errorOf([] {
              mlfSvd(nullptr, nullptr, tmp(row({1, HUGE_VAL})), 0);
            }),
            "Input to svd must not contain NaN or Inf.");
}

TEST(Norm, VectorAndMatrixNorms) {
  auto text = [](const char *t) { return mxCreateString(t); };
  const struct {
    const char *what;
    mxArray *x;
    mxArray *p;
    double want;
  } cases[] = {
      {"2", row({3, 4}), nullptr, 5},
      {"1", column({3, -4}), mlfScalar(1), 7},
      {"Inf", row({3, -4}), mlfScalar(HUGE_VAL), 4},
      {"-Inf", row({3, -4}), mlfScalar(-HUGE_VAL), 3},
      {"3", row({3, 4}), mlfScalar(3), std::cbrt(91.0)},
      {"fro vector", row({3, 4}), text("fro"), 5},
      {"no overflow", row({3e300, 4e300}), nullptr, 5e300},
      {"no underflow", row({3e-300, 4e-300}), nullptr, 5e-300},
      {"NaN", row({1, NAN}), nullptr, NAN},
      {"complex", complexMatrix({1, 2}, {3, 0}, {4, 12}), nullptr, 13},
      {"empty", matrix({0, 0}, {}), nullptr, 0},
      {"matrix 1", matrix({2, 2}, {1, 3, -2, 4}), mlfScalar(1), 6},
      {"matrix Inf", matrix({2, 2}, {1, 3, -2, 4}), text("inf"), 7},
      {"matrix fro", matrix({2, 2}, {1, 3, -2, 4}), text("fro"), std::sqrt(30.0)},
      // sigma_max^2 = (tr + sqrt(tr^2 - 4 det^2)) / 2 of A'A, tr 30, det 10.
      {"matrix 2", matrix({2, 2}, {1, 3, -2, 4}), nullptr, std::sqrt(15 + std::sqrt(125.0))},
      {"matrix 2 NaN", matrix({2, 2}, {1, NAN, 0, 1}), nullptr, NAN},
  };
  for (const auto &c : cases) {
    Var r(mlfNorm(tmp(c.x), c.p ? tmp(c.p) : nullptr));
    const double got = valuesOf(r.get())[0];
    if (std::isnan(c.want)) {
      EXPECT_TRUE(std::isnan(got)) << c.what;
    } else {
      EXPECT_NEAR(got, c.want, 4e-16 * c.want) << c.what;
    }
  }
  EXPECT_EQ(errorOf([] {
              mlfNorm(tmp(matrix({2, 2}, {1, 2, 3, 4})), mlfScalar(3));
            }),
            "The only matrix norms available are 1, 2, Inf, and 'fro'.");
}

TEST(RankPinv, FromTheSingularValues) {
  const struct {
    const char *what;
    mxArray *a;
    double rank;
  } cases[] = {
      {"rank one", matrix({2, 2}, {1, 2, 2, 4}), 1},
      {"full", matrix({3, 3}, {2, 0, 0, 0, 3, 0, 0, 0, 1e-10}), 3},
      {"zeros", matrix({2, 3}, Values(6, 0)), 0},
      {"tall", randomMatrix(7, 3, 5, true), 3},
      {"empty", matrix({0, 2}, {}), 0},
  };
  for (const auto &c : cases) {
    Var a(c.a);
    Var r(mlfRank(a.get(), nullptr));
    EXPECT_EQ(valuesOf(r.get())[0], c.rank) << c.what;
    // The Moore-Penrose conditions A X A = A and X A X = X.
    Var x(mlfPinv(a.get(), nullptr));
    M ma = read(a.get()), mx = read(x.get());
    ASSERT_EQ(mx.m, ma.n) << c.what;
    ASSERT_EQ(mx.n, ma.m) << c.what;
    if (ma.z.empty()) continue;
    EXPECT_LE(fro(minus(product(product(ma, mx), ma), ma)), 1e-12L * (1 + fro(ma))) << c.what;
    EXPECT_LE(fro(minus(product(product(mx, ma), mx), mx)), 1e-12L * (1 + fro(mx))) << c.what;
  }
  // pinv of the rank-one u u' is u u' / |u|^4: here A / 25.
  Var p(mlfPinv(tmp(matrix({2, 2}, {1, 2, 2, 4})), nullptr));
  Values got = valuesOf(p.get());
  const Values want = {0.04, 0.08, 0.08, 0.16};
  for (size_t k = 0; k < 4; ++k) EXPECT_NEAR(got[k], want[k], 1e-16) << k;
  Var loose(mlfRank(tmp(matrix({2, 2}, {1, 0, 0, 1e-3})), mlfScalar(1e-2)));
  EXPECT_EQ(valuesOf(loose.get())[0], 1) << "a given tolerance";
}

TEST(Construct, EyeDiagTraceKron) {
  const struct {
    const char *what;
    mxArray *got;
    std::vector<size_t> dims;
    Values values;
  } cases[] = {
      {"eye(2)", mlfEye(mlfScalar(2), nullptr), {2, 2}, {1, 0, 0, 1}},
      {"eye(2, 3)", mlfEye(mlfScalar(2), mlfScalar(3), nullptr), {2, 3}, {1, 0, 0, 1, 0, 0}},
      {"eye([3 1])", mlfEye(tmp(row({3, 1})), nullptr), {3, 1}, {1, 0, 0}},
      {"eye()", mlfEye(nullptr), {1, 1}, {1}},
      {"eye(0)", mlfEye(mlfScalar(0), nullptr), {0, 0}, {}},
      {"diag(v)", mlfDiag(tmp(row({1, 2})), nullptr), {2, 2}, {1, 0, 0, 2}},
      {"diag(v, 1)", mlfDiag(tmp(column({5})), mlfScalar(1)), {2, 2}, {0, 0, 5, 0}},
      {"diag(v, -1)", mlfDiag(tmp(row({5})), mlfScalar(-1)), {2, 2}, {0, 5, 0, 0}},
      {"diag(A)", mlfDiag(tmp(matrix({2, 3}, {1, 2, 3, 4, 5, 6})), nullptr), {2, 1}, {1, 4}},
      {"diag(A, 1)",
       mlfDiag(tmp(matrix({2, 3}, {1, 2, 3, 4, 5, 6})), mlfScalar(1)),
       {2, 1},
       {3, 6}},
      {"diag(A, -1)", mlfDiag(tmp(matrix({2, 3}, {1, 2, 3, 4, 5, 6})), mlfScalar(-1)), {1, 1}, {2}},
      {"diag(A, 5)", mlfDiag(tmp(matrix({2, 3}, {1, 2, 3, 4, 5, 6})), mlfScalar(5)), {0, 1}, {}},
      {"diag([])", mlfDiag(tmp(matrix({0, 0}, {})), nullptr), {0, 0}, {}},
      {"trace", mlfTrace(tmp(matrix({2, 2}, {1, 2, 3, 4}))), {1, 1}, {5}},
      {"trace([])", mlfTrace(tmp(matrix({0, 0}, {}))), {1, 1}, {0}},
      {"kron", mlfKron(tmp(row({1, 2})), tmp(column({1, 10}))), {2, 2}, {1, 10, 2, 20}},
      {"kron 2x2",
       mlfKron(tmp(matrix({2, 2}, {1, 0, 0, 2})), tmp(row({1, -1}))),
       {2, 4},
       {1, 0, -1, 0, 0, 2, 0, -2}},
      {"kron empty", mlfKron(tmp(matrix({0, 2}, {})), tmp(row({1, 2}))), {0, 4}, {}},
  };
  for (const auto &c : cases) {
    Var r(c.got);
    EXPECT_EQ(dimsOf(r.get()), c.dims) << c.what;
    EXPECT_EQ(valuesOf(r.get()), c.values) << c.what;
  }
  Var z(mlfDiag(tmp(complexMatrix({1, 2}, {1, 2}, {0, 3})), nullptr));
  EXPECT_EQ(imagsOf(z.get()), (Values{0, 0, 0, 3})) << "complex diag";
  EXPECT_EQ(errorOf([] { mlfTrace(tmp(row({1, 2}))); }), "Matrix must be square.");
}

}  // namespace
}  // namespace mexrt::test
