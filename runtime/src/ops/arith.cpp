// The arithmetic operators: + - .* ./ .^ and unary minus element by element with scalar
// expansion, ^ of scalars, and division by a scalar, which linear algebra's / falls back on;
// real and complex operands.
#include "ops/arith.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <numbers>

#include "core/array.h"
#include "mexrt/mathlib.h"
#include "ops/classed.h"
#include "ops/elementwise.h"
#include "ops/elementwise_complex.h"

using namespace mexrt::detail;

namespace {

// The complex operations of each operator. A real operand has no imaginary part to add to
// the other's: x - (u + vi) is (x - u) - vi, x * (u + vi) is xu + xvi.
struct Plus {
  static Complex cc(Complex a, Complex b) { return a + b; }
  static Complex cr(Complex a, double y) { return {a.real() + y, a.imag()}; }
  static Complex rc(double x, Complex b) { return {x + b.real(), b.imag()}; }
  static Complex rr(double x, double y) { return x + y; }
};

struct Minus {
  static Complex cc(Complex a, Complex b) { return a - b; }
  static Complex cr(Complex a, double y) { return {a.real() - y, a.imag()}; }
  static Complex rc(double x, Complex b) { return {x - b.real(), -b.imag()}; }
  static Complex rr(double x, double y) { return x - y; }
};

struct Divide {
  static Complex cc(Complex a, Complex b) { return complexDivide(a, b); }
  static Complex cr(Complex a, double y) { return {a.real() / y, a.imag() / y}; }
  static Complex rc(double x, Complex b) {
    if (b.imag() == 0) return x / b.real();  // a real over a real: 1 / (0 + 0i) is Inf
    return complexDivide({x, 0.0}, b);
  }
  static Complex rr(double x, double y) { return x / y; }
};

// Whole exponents up to this size are taken by repeated squaring, exactly as repeated
// products give them (i^2 is -1, not -1 + 1.2e-16i); larger ones through exp and log.
constexpr double kLargestSquaredExponent = 1 << 20;

bool isWhole(double v) { return std::isfinite(v) && v == std::trunc(v); }

struct Power {
  // z^w = exp(w log z). 0^w is 0 for Re w > 0, 1 for w = 0 and Inf for a real w < 0.
  static Complex general(Complex z, Complex w) {
    if (z == Complex(0, 0)) {
      if (w.real() > 0) return 0.0;
      if (w == Complex(0, 0)) return 1.0;
      if (w.imag() == 0) return INFINITY;
      return {NAN, NAN};
    }
    return std::exp(complexTimes(w, std::log(z)));
  }
  static Complex cc(Complex z, Complex w) {
    if (w.imag() == 0) return cr(z, w.real());
    return general(z, w);
  }
  static Complex cr(Complex z, double y) {
    if (!isWhole(y) || std::fabs(y) > kLargestSquaredExponent) return general(z, y);
    auto m = static_cast<long>(std::fabs(y));
    Complex result = 1.0, square = z;
    for (; m; m >>= 1) {
      if (m & 1) result = complexTimes(result, square);
      if (m > 1) square = complexTimes(square, square);
    }
    return y < 0 ? complexDivide(1.0, result) : result;
  }
  static Complex rc(double x, Complex w) { return cc({x, 0.0}, w); }
  // A negative base to a fractional power: |x|^y (cos(pi y) + i sin(pi y)).
  static Complex rr(double x, double y) {
    if (!(x < 0) || isWhole(y) || !std::isfinite(y)) return std::pow(x, y);
    const double magnitude = std::pow(-x, y), angle = std::numbers::pi * y;
    return {magnitude * std::cos(angle), magnitude * std::sin(angle)};
  }
};

// Whether a real power has complex elements: a negative base with a finite fractional exponent.
// A scalar exponent decides it at once when it is whole or not finite, and a scalar base when
// it is not negative, so the common x .^ 2 reads no element.
bool powerIsComplex(const Array *a, const Array *b) {
  if (!a || !b || a->isUninit() || b->isUninit()) return false;
  if (a->isComplex() || b->isComplex()) return true;
  if (!(a->isScalar() || b->isScalar() || a->dims == b->dims)) return false;  // the size error
  const auto fractional = [](double y) { return std::isfinite(y) && y != std::trunc(y); };
  if (b->isScalar() && !fractional(b->number(0))) return false;
  if (a->isScalar() && !(a->number(0) < 0)) return false;
  const std::size_t n = a->isScalar() ? b->numel() : a->numel();
  const std::size_t sa = a->isScalar() ? 0 : 1, sb = b->isScalar() ? 0 : 1;
  DoubleData da(*a), db(*b);
  for (std::size_t k = 0; k < n; ++k) {
    if (da[k * sa] < 0 && fractional(db[k * sb])) return true;
  }
  return false;
}

// Whether b is the real scalar 2: x .^ 2 is then x * x, the correctly rounded square, which
// pow gives too but at many times the cost.
bool isSquare(const Array *b) {
  return b && !b->isUninit() && !b->isComplex() && b->isScalar() && b->number(0) == 2.0;
}

bool eitherComplex(const Array *a, const Array *b) { return isComplexArg(a) || isComplexArg(b); }

}  // namespace

namespace mexrt::detail {

mxArray *divideByScalar(mxArray *a, mxArray *b) {
  if (classedOperands(a, b)) return classedArithmetic(a, b, ClassedOp::Divide, "/");
  if (eitherComplex(a, b)) return complexArithmetic<Divide>(a, b, "/");
  return arithmetic(a, b, "/", [](double x, double y) { return x / y; });
}

}  // namespace mexrt::detail

extern "C" {

mxArray *mclPlus(mxArray *a, mxArray *b) {
  if (classedOperands(a, b)) return classedArithmetic(a, b, ClassedOp::Plus, "+");
  if (eitherComplex(a, b)) return complexArithmetic<Plus>(a, b, "+");
  return arithmetic(a, b, "+", [](double x, double y) { return x + y; });
}

mxArray *mclMinus(mxArray *a, mxArray *b) {
  if (classedOperands(a, b)) return classedArithmetic(a, b, ClassedOp::Minus, "-");
  if (eitherComplex(a, b)) return complexArithmetic<Minus>(a, b, "-");
  return arithmetic(a, b, "-", [](double x, double y) { return x - y; });
}

mxArray *mclTimes(mxArray *a, mxArray *b) {
  if (classedOperands(a, b)) return classedArithmetic(a, b, ClassedOp::Times, ".*");
  if (eitherComplex(a, b)) return complexArithmetic<ComplexTimes>(a, b, ".*");
  return arithmetic(a, b, ".*", [](double x, double y) { return x * y; });
}

mxArray *mclRdivide(mxArray *a, mxArray *b) {
  if (classedOperands(a, b)) return classedArithmetic(a, b, ClassedOp::Divide, "./");
  if (eitherComplex(a, b)) return complexArithmetic<Divide>(a, b, "./");
  return arithmetic(a, b, "./", [](double x, double y) { return x / y; });
}

mxArray *mclPower(mxArray *a, mxArray *b) {
  if (classedOperands(a, b)) return classedArithmetic(a, b, ClassedOp::Power, ".^");
  if (powerIsComplex(a, b)) return complexArithmetic<Power>(a, b, ".^");
  if (isSquare(b)) return arithmetic(a, b, ".^", [](double x, double) { return x * x; });
  return arithmetic(a, b, ".^", [](double x, double y) { return std::pow(x, y); });
}

mxArray *mclUminus(mxArray *a) {
  if (classedOperands(a)) return classedNegation(a);
  if (isComplexArg(a)) return complexElementwise(a, "-", [](Complex z) { return -z; });
  return elementwise(a, "-", [](double x) { return -x; });
}

mxArray *mclMpower(mxArray *a, mxArray *b) {
  if (a && b && !a->isUninit() && !b->isUninit() && (!a->isScalar() || !b->isScalar())) {
    Operand A(a, "^"), B(b, "^");
    raise("The power operator ^ takes scalars: " + sizeText(*A) + " ^ " + sizeText(*B) +
          ". Use .^ for element-wise powers.");
  }
  if (classedOperands(a, b)) return classedArithmetic(a, b, ClassedOp::Power, "^");
  if (powerIsComplex(a, b)) return complexArithmetic<Power>(a, b, "^");
  return arithmetic(a, b, "^", [](double x, double y) { return std::pow(x, y); });
}

}  // extern "C"
