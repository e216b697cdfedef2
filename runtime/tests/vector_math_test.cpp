// Tests of the vectorised element-wise functions log, log10, exp, sin, cos and sqrt at every
// SIMD width this processor runs: special arguments as the C library gives them, accuracy
// against long-double references, and results that do not depend on an element's place.
#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "array_test_support.h"

namespace mexrt::test {
namespace {

using Fn = mxArray *(*)(mxArray *);

struct Function {
  const char *name;
  Fn f;
  double (*libm)(double);
  long double (*exact)(long double);
  double maxUlps;  // the bound stated in the kernels' comment
  // The value at a negative argument, outside the real domain (log, log10, sqrt): complex,
  // from the C library's function of -x; nullptr where every real argument is in the domain.
  std::complex<double> (*negative)(double) = nullptr;
};

const Function kFunctions[] = {
    {"log", mlfLog, [](double x) { return std::log(x); }, [](long double x) { return logl(x); },
     1.0, [](double x) { return std::complex<double>(std::log(-x), M_PI); }},
    {"log10", mlfLog10, [](double x) { return std::log10(x); },
     [](long double x) { return log10l(x); }, 1.0,
     [](double x) { return std::complex<double>(std::log10(-x), M_PI / M_LN10); }},
    {"exp", mlfExp, [](double x) { return std::exp(x); }, [](long double x) { return expl(x); },
     1.0},
    {"sin", mlfSin, [](double x) { return std::sin(x); }, [](long double x) { return sinl(x); },
     1.0},
    {"cos", mlfCos, [](double x) { return std::cos(x); }, [](long double x) { return cosl(x); },
     1.0},
    {"sqrt", mlfSqrt, [](double x) { return std::sqrt(x); }, [](long double x) { return sqrtl(x); },
     0.5, [](double x) { return std::complex<double>(0, std::sqrt(-x)); }},
};

// The widths this processor runs: 2 always, 4 and 8 where it has AVX and AVX-512F.
std::vector<size_t> widths() {
  std::vector<size_t> out;
  for (size_t lanes : {2, 4, 8}) {
    if (mexrtUseVectorWidth(lanes) == lanes) out.push_back(lanes);
  }
  mexrtUseVectorWidth(0);
  return out;
}

// Restores the widest width when a test ends, whatever it chose.
struct WidestAfter {
  ~WidestAfter() { mexrtUseVectorWidth(0); }
};

std::vector<double> results(Fn f, const std::vector<double> &x,
                            std::vector<double> *imags = nullptr) {
  Var r(f(tmp(matrix({1, x.size()}, x))));
  if (imags) *imags = imagsOf(r.get());
  return valuesOf(r.get());
}

bool sameBits(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b && std::signbit(a) == std::signbit(b);  // tells -0 from 0
}

// The error of got in units of the last place of the double nearest to the exact value.
double ulps(double got, long double exact) {
  const double nearest = static_cast<double>(exact);
  if (std::isinf(nearest)) return got == nearest ? 0 : HUGE_VAL;
  const double ulp = std::nextafter(std::fabs(nearest), HUGE_VAL) - std::fabs(nearest);
  return static_cast<double>(std::fabs(static_cast<long double>(got) - exact) / ulp);
}

TEST(VectorMath, EveryProcessorRunsTheNarrowestWidth) {
  WidestAfter restore;
  EXPECT_EQ(mexrtUseVectorWidth(2), 2u);
  EXPECT_EQ(mexrtUseVectorWidth(1), 2u) << "nothing narrower than two doubles";
  const size_t widest = mexrtUseVectorWidth(0);
  EXPECT_TRUE(widest == 2 || widest == 4 || widest == 8) << widest;
  EXPECT_EQ(widths().back(), widest);
}

TEST(VectorMath, SpecialArgumentsGiveWhatTheCLibraryGives) {
  WidestAfter restore;
  const double special[] = {0.0,    -0.0,     1.0,       -1.0,     HUGE_VAL, -HUGE_VAL, NAN,
                            -NAN,   4.9e-324, -4.9e-324, 2.2e-308, 1e308,    -1e308,    709.8,
                            -745.2, -740.0,   1e22,      -1e22,    0.5,      9.0,       1e-300};
  // Each argument at every place of a run: in the body of the vector loop and in its tail.
  std::vector<double> run;
  for (double x : special) run.insert(run.end(), 11, x);
  for (size_t lanes : widths()) {
    mexrtUseVectorWidth(lanes);
    for (const Function &fn : kFunctions) {
      std::vector<double> imags;
      std::vector<double> got = results(fn.f, run, &imags);
      for (size_t k = 0; k < run.size(); ++k) {
        if (fn.negative && run[k] < 0) {
          std::complex<double> want = fn.negative(run[k]);
          ASSERT_EQ(imags.size(), run.size())
              << fn.name << ": a negative argument, a complex result";
          EXPECT_TRUE(sameBits(got[k], want.real()) && sameBits(imags[k], want.imag()))
              << fn.name << "(" << run[k] << ") at width " << lanes << ", place " << k << ": got "
              << got[k] << " + " << imags[k] << "i, the C library gives " << want.real() << " + "
              << want.imag() << "i";
          continue;
        }
        EXPECT_TRUE(sameBits(got[k], fn.libm(run[k])))
            << fn.name << "(" << run[k] << ") at width " << lanes << ", place " << k << ": got "
            << got[k] << ", the C library gives " << fn.libm(run[k]);
      }
    }
  }
}

// Arguments spread over what each function meets: logarithms and square roots over the whole
// positive range, exp up to overflow and underflow, sin and cos where their reduction works
// hardest (large arguments, near multiples of pi/2).
std::vector<double> argumentsFor(const std::string &name, std::mt19937_64 &rng) {
  std::vector<double> x;
  std::uniform_real_distribution<double> unit(0, 1);
  for (int k = 0; k < 20000; ++k) {
    double u = unit(rng);
    if (name == "exp") {
      x.push_back(-745 + 1454 * u);
      x.push_back(-2 + 4 * u);
    } else if (name == "sin" || name == "cos") {
      x.push_back(std::ldexp(u - 0.5, static_cast<int>(k % 60)));
      x.push_back(std::round(u * 1e4) * 1.5707963267948966 + (u - 0.5) * 1e-6);
    } else {
      x.push_back(std::exp2(-1074 + 2097 * u));
      x.push_back(0.5 + u);  // near 1, where the logarithm is small
    }
  }
  return x;
}

TEST(VectorMath, AccuracyAgainstLongDoubleReferences) {
  WidestAfter restore;
  for (size_t lanes : widths()) {
    mexrtUseVectorWidth(lanes);
    for (const Function &fn : kFunctions) {
      std::mt19937_64 rng(1234);
      std::vector<double> x = argumentsFor(fn.name, rng);
      std::vector<double> got = results(fn.f, x);
      double worst = 0;
      size_t at = 0;
      for (size_t k = 0; k < x.size(); ++k) {
        double e = ulps(got[k], fn.exact(x[k]));
        if (e > worst) worst = e, at = k;
      }
      // The long-double reference carries about a thousandth of an ULP of its own error.
      EXPECT_LE(worst, fn.maxUlps + 1e-3)
          << fn.name << " at width " << lanes << ": " << worst << " ULP at x = " << x[at];
    }
  }
}

TEST(VectorMath, AnElementsResultDoesNotDependOnItsPlace) {
  WidestAfter restore;
  std::mt19937_64 rng(99);
  std::uniform_real_distribution<double> value(0.01, 50);
  std::vector<double> x(37);
  for (double &v : x) v = value(rng);
  for (size_t lanes : widths()) {
    mexrtUseVectorWidth(lanes);
    for (const Function &fn : kFunctions) {
      std::vector<double> whole = results(fn.f, x);
      for (size_t n : {size_t{1}, size_t{3}, size_t{9}}) {
        for (size_t k = 0; k + n <= x.size(); k += n) {
          std::vector<double> part(x.data() + k, x.data() + k + n);
          part = results(fn.f, part);
          for (size_t j = 0; j < n; ++j) {
            ASSERT_TRUE(sameBits(part[j], whole[k + j]))
                << fn.name << " at width " << lanes << ": element " << k + j
                << " alone in a run of " << n;
          }
        }
      }
    }
  }
}

TEST(VectorMath, ResultsWrittenOverATemporaryAndIntoANewArray) {
  std::vector<double> x = {1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024};
  Var kept(matrix({1, x.size()}, x));
  Var fresh(mlfLog(kept.get()));
  EXPECT_EQ(valuesOf(kept.get()), x) << "a variable's elements are untouched";
  mxArray *t = tmp(matrix({1, x.size()}, x));
  const double *buffer = mxGetPr(t);
  Var inPlace(mlfLog(t));
  EXPECT_EQ(mxGetPr(inPlace.get()), buffer) << "the temporary's buffer was reused";
  EXPECT_EQ(valuesOf(inPlace.get()), valuesOf(fresh.get()));
}

}  // namespace
}  // namespace mexrt::test
