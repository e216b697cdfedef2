// The functions family: calling function handles (feval, bsxfun), their text, and the
// operators as named functions, so that @plus and the like have something to name.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "mexrt/function_handle.h"
#include "mexrt/linalg.h"
#include "shell/builtins/support.h"
#include "shell/handles.h"

namespace shell::builtins {

namespace {

// feval(f, args...): f a handle or a function's name.
Results feval(Evaluator &ev, const char *name, Args &a, int nargout) {
  arity(name, a, 1, SIZE_MAX);
  mxArray *f = a[0];
  Args rest(a.begin() + 1, a.end());
  a.clear();
  return ev.callValue(f, rest, nargout);
}

// The dimensions of a, at least n of them.
std::vector<std::size_t> dimsOf(const mxArray *x, std::size_t n) {
  const std::size_t *d = mxGetDimensions(x);
  std::vector<std::size_t> dims(d, d + mxGetNumberOfDimensions(x));
  dims.resize(std::max(n, dims.size()), 1);
  return dims;
}

// x repeated along its singleton dimensions to the size `to`, by one linear index.
mxArray *expanded(mxArray *x, const std::vector<std::size_t> &to) {
  std::vector<std::size_t> from = dimsOf(x, to.size());
  if (from == to) return x;
  mxArray *index = mxCreateNumericArray(to.size(), to.data(), mxDOUBLE_CLASS, mxREAL);
  double *out = mxGetPr(index);
  std::size_t n = mxGetNumberOfElements(index);
  std::vector<std::size_t> sub(to.size(), 0);
  for (std::size_t k = 0; k < n; ++k) {
    std::size_t source = 0, stride = 1;
    for (std::size_t d = 0; d < to.size(); ++d) {
      if (from[d] != 1) source += sub[d] * stride;
      stride *= from[d];
    }
    out[k] = static_cast<double>(source + 1);
    for (std::size_t d = 0; d < to.size() && ++sub[d] == to[d]; ++d) sub[d] = 0;
  }
  mxArray *shape = mxCreateDoubleMatrix(1, to.size(), mxREAL);
  std::transform(to.begin(), to.end(), mxGetPr(shape), [](std::size_t v) { return double(v); });
  return mlfReshape(mclArrayRef1(x, mlfReturnValue(index)), mlfReturnValue(shape), nullptr);
}

// bsxfun(f, a, b): f applied to a and b repeated along their singleton dimensions to one
// common size, each dimension of which is one of theirs.
Results bsxfun(Evaluator &ev, const char *name, Args &a, int nargout) {
  arity(name, a, 3, 3);
  outputs(name, nargout, 1);
  if (!mexrt::functionTarget(a[0])) raise("bsxfun: the first argument must be a function handle.");
  for (mxArray *x : {a[1], a[2]}) {
    if (mexrt::functionTarget(x)) raise("bsxfun: the operands must be arrays.");
  }
  std::size_t n = std::max(mxGetNumberOfDimensions(a[1]), mxGetNumberOfDimensions(a[2]));
  std::vector<std::size_t> da = dimsOf(a[1], n), db = dimsOf(a[2], n), to(n);
  for (std::size_t d = 0; d < n; ++d) {
    if (da[d] != db[d] && da[d] != 1 && db[d] != 1) {
      raise("bsxfun: the sizes of the operands do not agree in dimension " + std::to_string(d + 1) +
            " (" + std::to_string(da[d]) + " and " + std::to_string(db[d]) + ").");
    }
    to[d] = da[d] == 1 ? db[d] : da[d];
  }
  Args operands{expanded(a[1], to), nullptr};
  operands[1] = expanded(a[2], to);
  mxArray *f = a[0];
  a.clear();
  Results r = ev.callValue(f, operands, 1);
  if (r.size() != 1 || dimsOf(r[0], n) != to) {
    for (mxArray *x : r) discard(x);
    raise("bsxfun: the function must give one array of its operands' common size.");
  }
  return r;
}

Results ldivide(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 2, 2);
  outputs(name, nargout, 1);
  return one(mclRdivide(a[1], a[0]));
}

Results func2str(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1);
  outputs(name, nargout, 1);
  const mexrt::FunctionTarget *f = mexrt::functionTarget(a[0]);
  if (!f) raise("func2str: the argument must be a function handle.");
  std::string text = f->text();
  if (text.size() > 1 && text[1] != '(') text.erase(0, 1);  // a named handle gives its name
  discard(a[0]);
  return one(mlfReturnValue(mxCreateString(text.c_str())));
}

Results str2func(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1);
  outputs(name, nargout, 1);
  std::string text = takeText(a[0], name);
  bool valid = !text.empty() && (std::isalpha(static_cast<unsigned char>(text[0])) != 0);
  for (char c : text) valid = valid && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
  if (!valid) raise("str2func: '" + text + "' is not a function name.");
  return one(mlfReturnValue(newNamedHandle(text, nullptr)));
}

}  // namespace

std::span<const Builtin> functionsFamily() {
  static const Builtin kTable[] = {
      {"feval", feval, "feval(f, args...): calls the function handle or named function f"},
      {"bsxfun", bsxfun,
       "bsxfun(f, a, b): f(a, b) with a and b repeated along singleton dimensions to one size"},
      {"func2str", func2str, "func2str(f): the text of a function handle, without @ for a name"},
      {"str2func", str2func, "str2func(name): a handle to the function of that name"},
      {"plus", twoArguments<mclPlus>, "plus(a, b): a + b"},
      {"minus", twoArguments<mclMinus>, "minus(a, b): a - b"},
      {"times", twoArguments<mclTimes>, "times(a, b): a .* b, element by element"},
      {"rdivide", twoArguments<mclRdivide>, "rdivide(a, b): a ./ b, element by element"},
      {"ldivide", ldivide, "ldivide(a, b): b ./ a, element by element"},
      {"power", twoArguments<mclPower>, "power(a, b): a .^ b, element by element"},
      {"mtimes", twoArguments<mclMtimes>, "mtimes(a, b): the matrix product a * b"},
      {"mrdivide", twoArguments<mclMrdivide>, "mrdivide(a, b): a / b, the solution of x b = a"},
      {"mldivide", twoArguments<mclMldivide>, "mldivide(a, b): a \\ b, the solution of a x = b"},
      {"mpower", twoArguments<mclMpower>, "mpower(a, b): the matrix power a ^ b"},
      {"eq", twoArguments<mclEq>, "eq(a, b): a == b, element by element"},
      {"ne", twoArguments<mclNe>, "ne(a, b): a ~= b, element by element"},
      {"lt", twoArguments<mclLt>, "lt(a, b): a < b, element by element"},
      {"le", twoArguments<mclLe>, "le(a, b): a <= b, element by element"},
      {"gt", twoArguments<mclGt>, "gt(a, b): a > b, element by element"},
      {"ge", twoArguments<mclGe>, "ge(a, b): a >= b, element by element"},
      {"and", twoArguments<mclAnd>, "and(a, b): a & b, element by element"},
      {"or", twoArguments<mclOr>, "or(a, b): a | b, element by element"},
      {"not", oneArgument<mclNot>, "not(a): ~a, element by element"},
      {"uminus", oneArgument<mclUminus>, "uminus(a): -a"},
  };
  return kTable;
}

}  // namespace shell::builtins
