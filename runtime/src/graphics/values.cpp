// Property values: their text, double and char values made for the store, and the checks a
// value passes against what its property accepts.
#include "graphics/values.h"

#include <algorithm>
#include <cmath>

#include "core/utf8.h"

namespace mexrt::graphics::internal {

std::string textOf(const Array &a) {
  if (!a.isChar()) return {};
  return detail::toUtf8({a.chars(), a.numel()});
}

Owned row(const std::vector<double> &v, std::size_t rows) {
  Owned a(detail::newDouble(v.empty() ? 0 : rows, v.empty() ? 0 : v.size() / rows));
  if (!v.empty()) std::copy(v.begin(), v.end(), a->mutableReals());
  return a;
}
Owned string(std::string_view utf8) { return Owned(detail::newString(detail::fromUtf8(utf8))); }

std::string describe(const Array &a) {
  const char *cls = a.isChar()      ? "char"
                    : a.isLogical() ? "logical"
                    : a.isComplex() ? "complex double"
                                    : "double";
  return "a " + detail::sizeText(a) + " " + cls + " array";
}

namespace {

[[noreturn]] void badValue(Type t, const Prop &p, const Array &a, const std::string &expected) {
  raise("Bad value for " + std::string(nameOf(t)) + " property \"" + p.name + "\": expected " +
        expected + ", got " + describe(a) + ".");
}

// Real numbers: a complex value fits no property (a colour, a position, line data).
bool isNumeric(const Array &a) { return (a.isDouble() && !a.isComplex()) || a.isLogical(); }
bool isRow(const Array &a, std::size_t n) {
  return a.dims.size() == 2 && a.dims[0] == 1 && a.dims[1] == n;
}
bool allIn(const Array &a, double lo, double hi) {
  for (std::size_t k = 0; k < a.numel(); ++k) {
    double v = a.number(k);
    if (!(v >= lo && v <= hi)) return false;
  }
  return true;
}
bool allFinite(const Array &a) {
  for (std::size_t k = 0; k < a.numel(); ++k) {
    if (!std::isfinite(a.number(k))) return false;
  }
  return true;
}

// A numeric value as a double array sharing nothing odd: doubles are shared, logicals copied.
Owned asDouble(const Array &a) {
  if (a.isDouble()) return Owned(detail::shareOf(&a));
  Owned d(detail::newArray(mxDOUBLE_CLASS, a.dims));
  double *out = d->mutableReals();
  for (std::size_t k = 0; k < a.numel(); ++k) out[k] = a.number(k);
  return d;
}

}  // namespace

double handleValue(const Array &a, const char *what) {
  if (!a.isDouble() || a.isComplex() || !a.isScalar()) {
    raise(std::string(what) + ": a handle must be a scalar double, not " + describe(a) + ".");
  }
  return a.reals()[0];
}

// Checks a value against its property and gives the array to store.
Owned checked(Type t, const Prop &p, const Array &a) {
  switch (p.kind) {
    case Kind::Color:
      if (!isNumeric(a) || !isRow(a, 3) || !allIn(a, 0, 1))
        badValue(t, p, a, "a 1x3 vector of numbers in [0, 1]");
      return asDouble(a);
    case Kind::ColorTable:
      if (!isNumeric(a) || a.dims.size() != 2 || a.dims[1] != 3 || a.dims[0] == 0 ||
          !allIn(a, 0, 1)) {
        badValue(t, p, a, "an m x 3 matrix of numbers in [0, 1]");
      }
      return asDouble(a);
    case Kind::Rect:
      if (!isNumeric(a) || !isRow(a, 4) || !allFinite(a) || a.number(2) < 0 || a.number(3) < 0) {
        badValue(t, p, a, "a 1x4 vector [left bottom width height] of finite numbers");
      }
      return asDouble(a);
    case Kind::Point:
      if (!isNumeric(a) || !(isRow(a, 2) || isRow(a, 3)) || !allFinite(a)) {
        badValue(t, p, a, "a 1x2 or 1x3 vector of finite numbers");
      }
      return asDouble(a);
    case Kind::Vector3:
      if (!isNumeric(a) || !isRow(a, 3) || !allFinite(a) || allIn(a, 0, 0)) {
        badValue(t, p, a, "a 1x3 vector of finite numbers, not all zero");
      }
      return asDouble(a);
    case Kind::Limits:
      if (!isNumeric(a) || !isRow(a, 2) || !allFinite(a) || !(a.number(0) < a.number(1))) {
        badValue(t, p, a, "a 1x2 vector of increasing finite numbers");
      }
      return asDouble(a);
    case Kind::Number:
    case Kind::Size:
      if (!isNumeric(a) || !a.isScalar() || !std::isfinite(a.number(0)) ||
          (p.kind == Kind::Size && !(a.number(0) > 0))) {
        badValue(t, p, a, p.kind == Kind::Size ? "a positive finite scalar" : "a finite scalar");
      }
      return asDouble(a);
    case Kind::Choice: {
      std::string word = textOf(a);
      bool isWord = a.isChar() && a.dims.size() == 2 && a.dims[0] <= 1;
      for (const std::string &c : p.choices) {
        if (isWord && sameWord(c, word)) return string(c);
      }
      std::string list;
      for (const std::string &c : p.choices) list += (list.empty() ? "\"" : ", \"") + c + "\"";
      if (isWord) {
        raise("Bad value for " + std::string(nameOf(t)) + " property \"" + p.name + "\": \"" +
              word + "\" is not one of " + list + ".");
      }
      badValue(t, p, a, "one of " + list);
    }
    case Kind::Text:
      if (a.isChar() && a.dims.size() == 2) return Owned(detail::shareOf(&a));
      if (a.isEmpty()) return string("");
      badValue(t, p, a, "text (a char array)");
    case Kind::Data:
    case Kind::Handles:
      if (!isNumeric(a) || !(a.isVector() || a.isEmpty()) || a.dims.size() != 2) {
        badValue(t, p, a, "a numeric vector");
      }
      return asDouble(a);
    case Kind::Matrix:
      if (!isNumeric(a) || a.dims.size() != 2) badValue(t, p, a, "a numeric matrix");
      return asDouble(a);
    case Kind::PointerShape:
      if (!isNumeric(a) || a.dims.size() != 2 || a.dims[0] != a.dims[1] ||
          (a.dims[0] != 16 && a.dims[0] != 32)) {
        badValue(t, p, a, "a 16x16 or 32x32 matrix");
      }
      return asDouble(a);
    case Kind::Parent:
    case Kind::Label:
    case Kind::AxesRef:
      if (p.kind != Kind::Parent && a.isEmpty()) return row({});
      handleValue(a, nameOf(t));
      return asDouble(a);
    case Kind::Any:
      return Owned(detail::shareOf(&a));
    case Kind::ReadOnly:
      break;
  }
  raise("The " + std::string(nameOf(t)) + " property \"" + p.name + "\" is read-only.");
}

}  // namespace mexrt::graphics::internal
