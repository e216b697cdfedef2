// The arithmetic operators: + - .* ./ .^ and unary minus element by element with scalar
// expansion, and / and ^ with the scalar operands they support.
#include <climits>
#include <cmath>
#include <cstring>

#include "core/array.h"
#include "mexrt/mathlib.h"
#include "ops/elementwise.h"
#include "ops/product.h"

using namespace mexrt::detail;

extern "C" {

mxArray *mclPlus(mxArray *a, mxArray *b) {
  return arithmetic(a, b, "+", [](double x, double y) { return x + y; });
}

mxArray *mclMinus(mxArray *a, mxArray *b) {
  return arithmetic(a, b, "-", [](double x, double y) { return x - y; });
}

mxArray *mclTimes(mxArray *a, mxArray *b) {
  if (mxArray *folded = foldIntoProduct(a, b)) return folded;
  return arithmetic(a, b, ".*", [](double x, double y) { return x * y; });
}

mxArray *mclRdivide(mxArray *a, mxArray *b) {
  return arithmetic(a, b, "./", [](double x, double y) { return x / y; });
}

mxArray *mclPower(mxArray *a, mxArray *b) {
  return arithmetic(a, b, ".^", [](double x, double y) { return std::pow(x, y); });
}

mxArray *mclUminus(mxArray *a) {
  return elementwise(a, "-", [](double x) { return -x; });
}

mxArray *mclMrdivide(mxArray *a, mxArray *b) {
  if (b && !b->isUninit() && !b->isScalar()) {
    Operand A(a, "/"), B(b, "/");
    raise("Division by a matrix is not supported: " + sizeText(*A) + " / " + sizeText(*B) +
          ". Divide by a scalar, or use ./ for element-wise division.");
  }
  return arithmetic(a, b, "/", [](double x, double y) { return x / y; });
}

mxArray *mclMpower(mxArray *a, mxArray *b) {
  if (a && b && !a->isUninit() && !b->isUninit() && (!a->isScalar() || !b->isScalar())) {
    Operand A(a, "^"), B(b, "^");
    raise("The power operator ^ takes scalars: " + sizeText(*A) + " ^ " + sizeText(*B) +
          ". Use .^ for element-wise powers.");
  }
  return arithmetic(a, b, "^", [](double x, double y) { return std::pow(x, y); });
}

}  // extern "C"
