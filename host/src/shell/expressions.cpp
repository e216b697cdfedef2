// The shell's expressions: each node one runtime operation whose temporaries flow straight
// into the next, with a fast path for arithmetic on real double scalars; subscripts, `end`,
// and what a name means (a variable, a constant or a call).
#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>

#include "builtins/builtins.h"
#include "eval.h"
#include "mexrt/display.h"
#include "mexrt/error.h"
#include "mexrt/linalg.h"
#include "mexrt/mathlib.h"
#include "shell/eval_support.h"
#include "shell/handles.h"
#include "shell/parser.h"

namespace shell {

using namespace detail;

namespace {

// op on two real double scalars as the runtime's operator computes it, or nullopt for an
// operator whose result is not such a scalar (comparisons give logicals, powers may give
// complex results).
std::optional<double> scalarArithmetic(Op op, double a, double b) {
  switch (op) {
    case Op::Plus:
      return a + b;
    case Op::Minus:
      return a - b;
    case Op::Mtimes:
    case Op::Times:
      return a * b;
    case Op::Mrdivide:
    case Op::Rdivide:
      return a / b;
    case Op::Mldivide:
    case Op::Ldivide:
      return b / a;
    default:
      return std::nullopt;
  }
}

}  // namespace

// --- expressions ---

mxArray *Evaluator::value(const Expr &e) {
  switch (e.kind) {
    case Expr::Kind::Number:
      if (e.imaginary) return mlfComplex(mlfScalar(0), mlfScalar(e.number));
      return mlfScalar(e.number);
    case Expr::Kind::String:
      return stringTemp(e.text);
    case Expr::Kind::End:
      return end();
    case Expr::Kind::Colon:
      return mlfCreateColonIndex();
    case Expr::Kind::Binary:
      return binary(e);
    case Expr::Kind::Unary:
      return unary(e);
    case Expr::Kind::Transpose:
      if (e.op == Op::Transpose) return mlfTranspose(value(*e.args[0]));
      return mlfCtranspose(value(*e.args[0]));
    case Expr::Kind::Range: {
      mxArray *a = value(*e.args[0]);
      mxArray *b = value(*e.args[1]);
      return mlfColon(a, b, e.args.size() == 3 ? value(*e.args[2]) : nullptr);
    }
    case Expr::Kind::Matrix:
      return matrix(e);
    case Expr::Kind::Cell:
      return cellLiteral(e);
    case Expr::Kind::Index:
    case Expr::Kind::CellIndex:
    case Expr::Kind::Field:
      return listValue(e);
    case Expr::Kind::Handle:
    case Expr::Kind::Lambda:
      return makeHandle(e);
    case Expr::Kind::Name:
    case Expr::Kind::Call: {
      std::vector<mxArray *> r = values(e, 1);
      if (r.empty()) raise("'" + e.text + "' gives no value to use here.");
      for (std::size_t k = 1; k < r.size(); ++k) discard(r[k]);
      return r[0];
    }
  }
  raise("Unknown expression.");
}

// A number, or a variable holding a real double scalar: read without making an array.
std::optional<double> Evaluator::scalarLeaf(const Expr &e) {
  if (e.kind == Expr::Kind::Number && !e.imaginary) return e.number;
  if (e.kind != Expr::Kind::Name) return std::nullopt;
  mxArray **v = slot(&e, e.text);
  double x;
  if (!v || !mexrtRealScalar(*v, &x)) return std::nullopt;
  return x;
}

std::optional<double> Evaluator::scalarValue(const Expr &e) {
  if (e.kind == Expr::Kind::Binary) {
    std::optional<double> a = scalarValue(*e.args[0]);
    if (!a) return std::nullopt;
    std::optional<double> b = scalarValue(*e.args[1]);
    if (!b) return std::nullopt;
    return scalarArithmetic(e.op, *a, *b);
  }
  if (e.kind == Expr::Kind::Unary && e.op != Op::Not) {
    std::optional<double> a = scalarValue(*e.args[0]);
    if (a && e.op == Op::Minus) return -*a;
    return a;
  }
  return scalarLeaf(e);
}

// One side of an operator: its array, or, for a number or a variable holding a real double
// scalar, only the value until an array is needed.
struct Evaluator::Side {
  mxArray *array = nullptr;
  std::optional<double> scalar;
  mxArray *take() { return array ? array : mlfScalar(*scalar); }
};

Evaluator::Side Evaluator::side(const Expr &e) {
  Side s;
  s.scalar = scalarLeaf(e);
  if (s.scalar) return s;
  s.array = value(e);
  if (double x; mexrtRealScalar(s.array, &x)) s.scalar = x;
  return s;
}

mxArray *Evaluator::binary(const Expr &e) {
  if (e.op == Op::AndAnd || e.op == Op::OrOr) return shortCircuit(e);
  Side a = side(*e.args[0]);
  Side b = side(*e.args[1]);
  if (a.scalar && b.scalar) {
    if (std::optional<double> r = scalarArithmetic(e.op, *a.scalar, *b.scalar)) {
      if (a.array) discard(a.array);
      if (b.array) discard(b.array);
      return mlfScalar(*r);
    }
  }
  return apply(e.op, a.take(), b.take());
}

mxArray *Evaluator::apply(Op op, mxArray *a, mxArray *b) {
  switch (op) {
    case Op::Plus:
      return mclPlus(a, b);
    case Op::Minus:
      return mclMinus(a, b);
    case Op::Mtimes:
      return mclMtimes(a, b);
    case Op::Times:
      return mclTimes(a, b);
    case Op::Mrdivide:
      return mclMrdivide(a, b);
    case Op::Mldivide:
      return mclMldivide(a, b);
    case Op::Rdivide:
      return mclRdivide(a, b);
    case Op::Mpower:
      return mclMpower(a, b);
    case Op::Power:
      return mclPower(a, b);
    case Op::Eq:
      return mclEq(a, b);
    case Op::Ne:
      return mclNe(a, b);
    case Op::Lt:
      return mclLt(a, b);
    case Op::Le:
      return mclLe(a, b);
    case Op::Gt:
      return mclGt(a, b);
    case Op::Ge:
      return mclGe(a, b);
    case Op::And:
      return mclAnd(a, b);
    case Op::Or:
      return mclOr(a, b);
    default:
      discard(a);
      discard(b);
      raise("The operator '" + std::string(opText(op)) + "' is not supported.");
  }
}

mxArray *Evaluator::shortCircuit(const Expr &e) {
  bool left = mlfTobool(value(*e.args[0]));
  if (e.op == Op::AndAnd && !left) return logicalTemp(false);
  if (e.op == Op::OrOr && left) return logicalTemp(true);
  return logicalTemp(mlfTobool(value(*e.args[1])));
}

mxArray *Evaluator::unary(const Expr &e) {
  mxArray *a = value(*e.args[0]);
  if (e.op == Op::Minus) return mclUminus(a);
  if (e.op == Op::Not) return mclNot(a);
  return a;  // unary plus
}

mxArray *Evaluator::matrix(const Expr &e) {
  if (e.rows.empty()) return mclCreateEmptyArray();
  std::vector<mxArray *> rows;
  for (const auto &r : e.rows) {
    std::vector<mxArray *> elements;
    elements.reserve(r.size());
    for (const auto &x : r) appendValues(elements, *x);
    rows.push_back(callListed(mlfHorzcat, elements, "horzcat"));
  }
  return rows.size() == 1 ? rows[0] : callListed(mlfVertcat, rows, "vertcat");
}

// `end` in subscript k of n: the extent of dimension k, or for the last subscript the
// product of the dimensions from k on.
mxArray *Evaluator::end() const {
  if (subscripts_.empty()) raise("'end' is only valid inside a subscript of a variable.");
  const Subscript &s = subscripts_.back();
  if (!s.array) return mlfScalar(0);
  const std::size_t *dims = mxGetDimensions(s.array);
  std::size_t rank = mxGetNumberOfDimensions(s.array);
  double n = 1;
  if (s.position + 1 < s.count) {
    n = s.position < rank ? static_cast<double>(dims[s.position]) : 1;
  } else {
    for (std::size_t d = s.position; d < rank; ++d) n *= static_cast<double>(dims[d]);
  }
  return mlfScalar(n);
}

std::vector<mxArray *> Evaluator::subscripts(std::span<const ExprPtr> args, const mxArray *array) {
  std::vector<mxArray *> subs;
  for (std::size_t k = 0; k < args.size(); ++k) {
    subscripts_.push_back({array, k, args.size()});
    try {
      subs.push_back(value(*args[k]));
    } catch (...) {
      subscripts_.pop_back();
      throw;
    }
    subscripts_.pop_back();
  }
  return subs;
}

mxArray *Evaluator::index(mxArray *array, std::vector<mxArray *> subs, const Expr &) {
  if (subs.empty()) {
    mxArray *copy = nullptr;  // x() is x itself
    mlfAssign(&copy, array);
    return mlfReturnValue(copy);
  }
  return mclArrayRefN(array, static_cast<int>(subs.size()), subs.data());
}

// A name is a variable (indexed), a constant, a built-in or a function that a module
// serves, in that order.
std::vector<mxArray *> Evaluator::values(const Expr &e, int nargout) {
  static const std::vector<ExprPtr> kNoArgs;
  const std::vector<ExprPtr> &args = e.kind == Expr::Kind::Call ? e.args : kNoArgs;
  auto it = vars_.find(e.text);
  if (it != vars_.end()) {
    if (e.kind == Expr::Kind::Name) return {it->second};
    if (mexrt::functionTarget(it->second)) {
      // The call holds the handle: its body may clear the variable that names it.
      Held handle(it->second);
      std::vector<mxArray *> in;
      for (const auto &a : args) in.push_back(value(*a));
      return callHandle(*shellFunction(handle.get()), in, nargout);
    }
    if (nargout > 1)
      raise("Indexing '" + e.text + "' gives one result, not " + std::to_string(nargout) + ".");
    return {index(it->second, subscripts(args, it->second), e)};
  }
  if (e.kind == Expr::Kind::Name) {
    if (!frames_.empty() && (e.text == "nargin" || e.text == "nargout")) {
      const CallFrame &f = frames_.back();
      return {mlfScalar(e.text == "nargin" ? f.nargin : f.nargout)};
    }
    if (mxArray *c = namedConstant(e.text)) return {c};
  }
  return call(e.text, args, nargout);
}

}  // namespace shell
