// The numbers family: sizes, construction, reductions, element-wise functions and the parts
// of complex numbers.
#include <array>

#include "shell/builtins/support.h"

namespace shell::builtins {

namespace {

Results size(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 2);
  if (nargout <= 1) return one(mlfSize(nullptr, a[0], a.size() == 2 ? a[1] : nullptr));
  if (a.size() == 2) raise("size(x, dim) has one output.");
  if (nargout > 16) raise("Too many output arguments for 'size'.");
  std::vector<mxArray *> slots(static_cast<std::size_t>(nargout), nullptr);
  mlfVarargoutList list{};
  list.count = nargout;
  for (int k = 0; k < nargout; ++k) list.slots[k] = &slots[k];
  try {
    mlfSize(&list, a[0], nullptr);
  } catch (...) {
    for (mxArray *s : slots) mxDestroyArray(s);
    throw;
  }
  Results r;
  for (mxArray *s : slots) r.push_back(mlfReturnValue(s));
  return r;
}

template <mxArray *(*Op)(mxArray *, ...)>
Results listed(Evaluator &, const char *name, Args &a, int nargout) {
  outputs(name, nargout, 1);
  return one(callListed(Op, a, name));
}

Results reshape(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 2, kMaxListed + 1);
  outputs(name, nargout, 1);
  std::array<mxArray *, kMaxListed + 1> d{};
  for (std::size_t k = 1; k < a.size(); ++k) d[k - 1] = a[k];
  return one(mlfReshape(a[0], d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], d[8], d[9], d[10],
                        d[11], d[12], d[13], d[14], d[15]));
}

Results find(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1);
  outputs(name, nargout, 3);
  mxArray *second = nullptr, *third = nullptr;
  mxArray *first = mlfFind(nargout >= 2 ? &second : nullptr, nargout >= 3 ? &third : nullptr, a[0]);
  return slotted(first, {second, third}, nargout);
}

template <bool Max>
Results extreme(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 3);
  outputs(name, nargout, 2);
  mxArray *where = nullptr;
  mxArray *y = a.size() >= 2 ? a[1] : nullptr;
  mxArray *dim = a.size() == 3 ? a[2] : nullptr;
  mxArray **index = nargout >= 2 ? &where : nullptr;
  mxArray *m = Max ? mlfMax(index, a[0], y, dim) : mlfMin(index, a[0], y, dim);
  return slotted(m, {where}, nargout);
}

// var(x), var(x, w), var(x, w, dim) and the same for std.
template <mxArray *(*Op)(mxArray *, mxArray *, mxArray *)>
Results spread(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 3);
  outputs(name, nargout, 1);
  return one(Op(a[0], a.size() >= 2 ? a[1] : nullptr, a.size() == 3 ? a[2] : nullptr));
}

// sort(x), sort(x, dim), sort(x, mode), sort(x, dim, mode), [s, i] = sort(...).
Results sort(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 3);
  outputs(name, nargout, 2);
  mxArray *dim = nullptr, *mode = nullptr;
  if (a.size() == 2) (isText(a[1]) ? mode : dim) = a[1];
  if (a.size() == 3) {
    dim = a[1];
    mode = a[2];
  }
  mxArray *where = nullptr;
  mxArray *s = mlfSort(nargout >= 2 ? &where : nullptr, a[0], dim, mode);
  return slotted(s, {where}, nargout);
}

// length(x): 0 for an empty array, else its longest dimension.
Results length(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1);
  outputs(name, nargout, 1);
  if (a[0] && mxGetNumberOfElements(a[0]) == 0) {
    discard(a[0]);
    return one(mlfScalar(0));
  }
  return one(mlfMax(nullptr, mlfSize(nullptr, a[0], nullptr), nullptr, nullptr));
}

Results linspace(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 2, 3);
  outputs(name, nargout, 1);
  return one(mlfLinspace(a[0], a[1], a.size() == 3 ? a[2] : nullptr));
}

// rng(seed) and rng('default'), which is rng(0).
Results rng(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1);
  outputs(name, nargout, 0);
  if (isText(a[0])) {
    if (takeText(a[0], name) != "default") raise("rng: the only named setting is 'default'.");
    mlfRng(mlfScalar(0));
    return {};
  }
  mlfRng(a[0]);
  return {};
}

// diff(x), diff(x, n), diff(x, n, dim).
Results diff(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 3);
  outputs(name, nargout, 1);
  return one(mlfDiff(a[0], a.size() > 1 ? a[1] : nullptr, a.size() > 2 ? a[2] : nullptr));
}

}  // namespace

std::span<const Builtin> numbersFamily() {
  static const Builtin kTable[] = {
      {"size", size, "size(x), size(x, dim), [m, n] = size(x): the dimensions of an array"},
      {"zeros", listed<mlfZeros>, "zeros(n), zeros(m, n, ...): an array of zeros"},
      {"ones", listed<mlfOnes>, "ones(n), ones(m, n, ...): an array of ones"},
      {"reshape", reshape, "reshape(x, m, n, ...): the elements of x in a new shape"},
      {"horzcat", listed<mlfHorzcat>, "horzcat(a, b, ...): [a, b, ...], side by side"},
      {"vertcat", listed<mlfVertcat>, "vertcat(a, b, ...): [a; b; ...], one above the other"},
      {"cat", listed<mlfCat>, "cat(dim, a, b, ...): the arrays joined along dimension dim"},
      {"repmat", listed<mlfRepmat>,
       "repmat(x, n), repmat(x, m, n, ...), repmat(x, [m n ...]): x tiled m by n by ... times"},
      {"find", find, "find(x), [r, c, v] = find(x): the positions of the non-zero elements"},
      {"max", extreme<true>,
       "max(x), max(x, y), max(x, [], dim), [m, i] = max(x): the largest elements"},
      {"min", extreme<false>,
       "min(x), min(x, y), min(x, [], dim), [m, i] = min(x): the smallest elements"},
      {"sum", secondOptional<mlfSum>,
       "sum(x), sum(x, dim): the sum along the first non-singleton dimension or dim"},
      {"prod", secondOptional<mlfProd>,
       "prod(x), prod(x, dim): the product along the first non-singleton dimension or dim"},
      {"mean", secondOptional<mlfMean>,
       "mean(x), mean(x, dim): the average along the first non-singleton dimension or dim"},
      {"median", secondOptional<mlfMedian>,
       "median(x), median(x, dim): the middle value (the mean of the two middle ones)"},
      {"var", spread<mlfVar>,
       "var(x), var(x, w, dim): the variance, over n - 1 (w = 0) or n (w = 1)"},
      {"std", spread<mlfStd>,
       "std(x), std(x, w, dim): the standard deviation, sqrt(var(x, w, dim))"},
      {"any", secondOptional<mlfAny>,
       "any(x), any(x, dim): true where a slice has a non-zero element"},
      {"all", secondOptional<mlfAll>,
       "all(x), all(x, dim): true where every element of a slice is non-zero"},
      {"cumsum", secondOptional<mlfCumsum>,
       "cumsum(x), cumsum(x, dim): the running sums along a dimension"},
      {"cumprod", secondOptional<mlfCumprod>,
       "cumprod(x), cumprod(x, dim): the running products along a dimension"},
      {"diff", diff,
       "diff(x), diff(x, n), diff(x, n, dim): differences of neighbours, n times over"},
      {"sort", sort,
       "sort(x, dim, 'descend'), [s, i] = sort(x): ascending (NaN last) or descending; complex by "
       "abs, then angle"},
      {"ndims", oneArgument<mlfNdims>, "ndims(x): the number of dimensions, at least 2"},
      {"numel", oneArgument<mlfNumel>, "numel(x): the number of elements"},
      {"length", length, "length(x): the longest dimension, 0 for an empty array"},
      {"ceil", oneArgument<mlfCeil>, "ceil(x): rounded towards +Inf"},
      {"floor", oneArgument<mlfFloor>, "floor(x): rounded towards -Inf"},
      {"fix", oneArgument<mlfFix>, "fix(x): rounded towards 0"},
      {"sign", oneArgument<mlfSign>,
       "sign(x): -1, 0 or 1 by the sign of x; z / abs(z) for complex z"},
      {"mod", twoArguments<mlfMod>,
       "mod(x, y): x - floor(x ./ y) .* y, with the sign of y; x where y is 0"},
      {"rem", twoArguments<mlfRem>,
       "rem(x, y): x - fix(x ./ y) .* y, with the sign of x; x where y is 0"},
      {"isnan", oneArgument<mlfIsnan>,
       "isnan(x): true where x (either part of a complex x) is NaN"},
      {"isinf", oneArgument<mlfIsinf>,
       "isinf(x): true where x (either part of a complex x) is infinite"},
      {"linspace", linspace, "linspace(a, b, n): 1 x n evenly spaced points from a to b (n = 100)"},
      {"rand", listed<mlfRand>,
       "rand(n), rand(m, n, ...): uniform numbers in (0, 1) from the generator rng seeds"},
      {"randn", listed<mlfRandn>,
       "randn(n), randn(m, n, ...): standard normal numbers (Box-Muller on rand's generator)"},
      {"rng", rng,
       "rng(seed), rng('default'): restarts rand and randn; the generator is xoshiro256** "
       "seeded by splitmix64, (top 53 bits + 0.5) / 2^53 for rand, Box-Muller pairs (cosine "
       "first) for randn"},
      {"round", oneArgument<mlfRound>,
       "round(x): rounded to the nearest whole number, halves away from 0"},
      {"abs", oneArgument<mlfAbs>, "abs(x): the absolute value"},
      {"exp", oneArgument<mlfExp>, "exp(x): e to the power x"},
      {"log", oneArgument<mlfLog>, "log(x): the natural logarithm"},
      {"log10", oneArgument<mlfLog10>, "log10(x): the base-10 logarithm"},
      {"sqrt", oneArgument<mlfSqrt>, "sqrt(x): the square root"},
      {"sin", oneArgument<mlfSin>, "sin(x): the sine, x in radians"},
      {"cos", oneArgument<mlfCos>, "cos(x): the cosine, x in radians"},
      {"isempty", oneArgument<mlfIsempty>, "isempty(x): true when x has no elements"},
      {"transpose", oneArgument<mlfTranspose>, "transpose(x): x.', rows and columns exchanged"},
      {"ctranspose", oneArgument<mlfCtranspose>,
       "ctranspose(x): x', rows and columns exchanged and complex values conjugated"},
      {"real", oneArgument<mlfReal>, "real(z): the real part"},
      {"imag", oneArgument<mlfImag>, "imag(z): the imaginary part (0 for a real number)"},
      {"conj", oneArgument<mlfConj>, "conj(z): the complex conjugate, real(z) - imag(z) i"},
      {"angle", oneArgument<mlfAngle>, "angle(z): the phase angle in radians, atan2(imag, real)"},
      {"complex", secondOptional<mlfComplex>,
       "complex(a, b): a + bi, complex even where b is 0; complex(a) is a + 0i"},
      {"isreal", oneArgument<mlfIsreal>, "isreal(x): true when x has no imaginary part"},
  };
  return kTable;
}

}  // namespace shell::builtins
