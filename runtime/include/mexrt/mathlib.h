// The operations that compiled functions call: constants, the call frame's support,
// operators, indexing and functions of the host language, printing and library start-up.
//
// Ownership: every array an operation returns is a new temporary. An operation reclaims
// (frees, or reuses the buffer of) each temporary operand it is given; it never frees a
// variable (an array kept with mlfAssign), a module constant or an array the caller made
// with mxCreate*. Variable-length argument lists end with a NULL handle.
#pragma once

#include <stdbool.h>
#include <stdint.h>

#include "mexrt/matrix.h"
#include "mexrt/records.h"

#ifdef __cplusplus
extern "C" {
#endif

// --- Module constants (owned by their unit; never temporaries) ---
MEXRT_API mxArray *mclInitializeString(int count, const mxChar *codes);  // 1 x count char
MEXRT_API mxArray *mclInitializeDouble(double value);
MEXRT_API mxArray *mclInitializeDoubleVector(int rows, int cols, const double *values);
MEXRT_API mxArray *mclInitializeCharVector(int rows, int cols, const mxChar *codes);

// --- Call frame ---
// Mark the start and end of a call; the lists are the call's input handles. The restore
// reclaims inputs that were temporaries, so a result passed straight into a call is freed.
MEXRT_API void mlfEnterNewContext(int nout, int nin, ...);
MEXRT_API void mlfRestorePreviousContext(int nout, int nin, ...);
MEXRT_API mxArray *mlfReturnValue(mxArray *a);  // hands a body's output on as a temporary
MEXRT_API LocalFunctionTable *mclSetCurrentLocalFunctionTable(LocalFunctionTable *table);
MEXRT_API LocalFunctionTable *mclGetCurrentLocalFunctionTable(void);
MEXRT_API mxArray *mclGetUninitializedArray(void);    // a new marker of class 0
MEXRT_API void mclCopyArray(mxArray **a);             // *a becomes an owned copy; NULL stays NULL
MEXRT_API mxArray *mclCreateEmptyArray(void);         // a new 0x0 double
MEXRT_API mxArray *mlfScalar(double value);           // a new 1x1 double
// Bounds of `for v = start:end` counted in native integers: the loop runs while v <= end.
MEXRT_API int mclForIntStart(int start);
MEXRT_API int mclForIntEnd(mxArray *end);
MEXRT_API void mlfAssign(mxArray **var, mxArray *a);  // *var takes a over; old value freed
MEXRT_API void mclAssignAns(mxArray **ans, mxArray *a);  // as mlfAssign; a NULL result is ignored
MEXRT_API int mclNargin(int count, ...);       // how many of the count handles are present
MEXRT_API mxArray *mclVe(mxArray *a);          // a call's result used as an operand
MEXRT_API mxArray *mclInitialize(mxArray *a);  // keeps a temporary as an owned array
// Recovery from an error: the temporaries made since a mark was taken, and not yet
// reclaimed by an operation, are freed. Every temporary is freed exactly once.
MEXRT_API uint64_t mclTempMark(void);
MEXRT_API void mclReleaseTempsSince(uint64_t mark);

// --- Errors and warnings ---
MEXRT_API __attribute__((noreturn)) void mlfError(mxArray *message);  // raises exactly its text
// Raises the undefined-input error (kind 0) or the undefined-variable error (kind 1).
MEXRT_API __attribute__((noreturn)) mxArray *mclValidateError(int kind, const char *name);
// Warns that a variable is read before it is set; non-zero: use an empty array instead.
MEXRT_API int mclUninitWarning(const char *name);
MEXRT_API void mclValidateOutputWarning(const char *output, const char *function);
// Prints "Warning: " and the text on standard error, as one line.
MEXRT_API void mclWarning(const char *utf8);
// Where printed text (disp, fprintf to 1) and warnings go instead of the standard streams:
// `output` receives the printed bytes, `warning` a warning's text without "Warning: ". A
// null sink restores its standard stream. Hosts embedding the runtime (Python) set these.
typedef void (*mexrtTextSink)(void *context, const char *text, size_t length);
MEXRT_API void mexrtSetTextSinks(mexrtTextSink output, mexrtTextSink warning, void *context);
// The calling thread's printed text goes to `output` instead, ahead of the sinks above (a
// library that calls a module for its result, not for its report lines); null undoes it.
MEXRT_API void mexrtSetThreadOutputSink(mexrtTextSink output, void *context);

// --- Library initialisation, counted: the first init builds, the last term destroys ---
MEXRT_API void mclLibInit(int32_t *reference_count, ModuleInfo *info);
MEXRT_API void mclLibTerm(int32_t *reference_count, ModuleInfo *info);
// A module opened by several loaders of one process (the shell's, the front end's) keeps one
// set of constants: the first open builds them (the result is 1), the last close destroys
// them (the result is 0). Counts per record, safe from any thread.
MEXRT_API int mexrtModuleOpen(const ModuleInfo *info);
MEXRT_API int mexrtModuleClose(const ModuleInfo *info);
// The records of the libraries that mclLibInit has initialised and mclLibTerm not yet
// terminated, in the order of their initialisation: up to max of them into out. Returns how
// many there are. Hosts serve these libraries' functions as they serve modules'.
MEXRT_API size_t mexrtInitializedLibraries(ModuleInfo **out, size_t max);

// --- Operators (element by element with scalar expansion, unless said otherwise) ---
// Real and complex operands alike; a result whose imaginary parts are all zero is real.
MEXRT_API mxArray *mclPlus(mxArray *a, mxArray *b);
MEXRT_API mxArray *mclMinus(mxArray *a, mxArray *b);
MEXRT_API mxArray *mclUminus(mxArray *a);
MEXRT_API mxArray *mclTimes(mxArray *a, mxArray *b);    // .*
MEXRT_API mxArray *mclMtimes(mxArray *a, mxArray *b);   // * (matrix product: dgemm, zgemm)
MEXRT_API mxArray *mclRdivide(mxArray *a, mxArray *b);  // ./
// / : by a scalar element by element; B / A with a matrix A solves x A = B (as (A.' \ B.').')
MEXRT_API mxArray *mclMrdivide(mxArray *a, mxArray *b);
MEXRT_API mxArray *mclPower(mxArray *a, mxArray *b);   // .^
MEXRT_API mxArray *mclMpower(mxArray *a, mxArray *b);  // ^ of scalars
// Comparisons give logical arrays: == and ~= compare both parts of complex values, the
// others their real parts.
MEXRT_API mxArray *mclEq(mxArray *a, mxArray *b);
MEXRT_API mxArray *mclNe(mxArray *a, mxArray *b);
MEXRT_API mxArray *mclLt(mxArray *a, mxArray *b);
MEXRT_API mxArray *mclLe(mxArray *a, mxArray *b);
MEXRT_API mxArray *mclGt(mxArray *a, mxArray *b);
MEXRT_API mxArray *mclGe(mxArray *a, mxArray *b);
MEXRT_API mxArray *mclAnd(mxArray *a, mxArray *b);
MEXRT_API mxArray *mclOr(mxArray *a, mxArray *b);
MEXRT_API mxArray *mclNot(mxArray *a);
// Truth values. An array is true when it is non-empty and all its elements are non-zero (a
// complex element is zero when both its parts are).
MEXRT_API bool mlfTobool(mxArray *a);
MEXRT_API int mclNotBool(mxArray *a);  // true when non-empty and all elements are zero
MEXRT_API int mclEqBool(mxArray *a, mxArray *b);
MEXRT_API int mclGtBool(mxArray *a, mxArray *b);

// --- Indexing (1-based, column-major) ---
MEXRT_API mxArray *mclArrayRef1(mxArray *a, mxArray *i);
MEXRT_API mxArray *mclArrayRef2(mxArray *a, mxArray *i, mxArray *j);
MEXRT_API mxArray *mclIntArrayRef1(mxArray *a, int i);
// Stores src at the subscripts of *dst, growing *dst with zeros when they lie beyond it.
MEXRT_API void mclArrayAssign1(mxArray **dst, mxArray *src, mxArray *i);
MEXRT_API void mclArrayAssign2(mxArray **dst, mxArray *src, mxArray *i, mxArray *j);
MEXRT_API void mclIntArrayAssign2(mxArray **dst, mxArray *src, int i, int j);
// a(i1, ..., in) and a(i1, ..., in) = x with any number n >= 1 of subscripts: the last one
// reaches over the dimensions from the n-th on, `:` stands for a whole dimension. A cell or
// struct a gives or takes a cell or struct of the selected elements.
MEXRT_API mxArray *mclArrayRefN(mxArray *a, int count, mxArray **subscripts);
MEXRT_API void mclArrayAssignN(mxArray **dst, mxArray *src, int count, mxArray **subscripts);
// a(i) = [] and a(:, j, ...) = []: removes the selected elements (one subscript) or slices
// (one subscript that is not a colon, the others colons).
MEXRT_API void mclArrayDelete(mxArray **dst, int count, mxArray **subscripts);
// c{i, ...} = x: the one selected cell of *dst (a cell, or absent or [] to become one) takes
// x, growing *dst as a(i) = x does.
MEXRT_API void mclCellAssign(mxArray **dst, mxArray *src, int count, mxArray **subscripts);
// The element a nested store such as a(i).f = x or c{i}(j) = x starts from: a(i) itself
// when it lies inside a, else an empty one of its kind (a struct with a's fields, a cell,
// or []). The subscripts must select one element.
MEXRT_API mxArray *mclArrayRefForStore(mxArray *a, int count, mxArray **subscripts);
// s.name = x on a single struct; an absent or [] destination becomes a 1x1 struct. A new
// field is added at the end.
MEXRT_API void mclFieldAssign(mxArray **dst, const char *name, mxArray *src);
// The value of field `name` of s(index + 1), and the contents of c{index + 1}, as
// temporaries; s and c are operands (reclaimed when temporaries).
MEXRT_API mxArray *mclFieldRef(mxArray *s, const char *name, size_t index);
MEXRT_API mxArray *mclCellContent(mxArray *c, size_t index);
MEXRT_API mxArray *mlfCreateColonIndex(void);  // the subscript ":"
// a:b when step_or_end is the end and end is NULL; a:step:end otherwise.
MEXRT_API mxArray *mlfColon(mxArray *start, mxArray *step_or_end, mxArray *end);

// --- Functions ---
// The output slots of a call with several results, ended by NULL (at most 16).
typedef struct {
  int count;
  mxArray **slots[16];
} mlfVarargoutList;
MEXRT_API mlfVarargoutList mlfVarargout(mxArray **first, ...);
// size(x) or size(x, dim) as a result when varargout is NULL; otherwise each slot of the
// list receives one dimension, the last slot the product of the remaining ones, and the
// result is NULL.
MEXRT_API mxArray *mlfSize(mlfVarargoutList *varargout, mxArray *x, mxArray *dim);
MEXRT_API mxArray *mlfZeros(mxArray *first, ...);  // zeros(n), zeros(m, n, ...), zeros([m n])
MEXRT_API mxArray *mlfOnes(mxArray *first, ...);
// rand and randn take the sizes zeros takes. Their generator is xoshiro256** seeded through
// splitmix64 (rng(seed), seed a whole number; rng(0) before the first call); rand gives
// (top 53 bits + 0.5) / 2^53, randn Box-Muller pairs of two such uniforms, cosine value first.
MEXRT_API mxArray *mlfRand(mxArray *first, ...);
MEXRT_API mxArray *mlfRandn(mxArray *first, ...);
MEXRT_API void mlfRng(mxArray *seed);
// linspace(a, b, n): 1 x n from a to b (n NULL: 100 points).
MEXRT_API mxArray *mlfLinspace(mxArray *a, mxArray *b, mxArray *n);
MEXRT_API mxArray *mlfReshape(mxArray *x, ...);  // reshape(x, m, n, ...) or reshape(x, [m n])
MEXRT_API mxArray *mlfHorzcat(mxArray *first, ...);
MEXRT_API mxArray *mlfVertcat(mxArray *first, ...);
MEXRT_API mxArray *mlfCat(mxArray *dim, ...);   // cat(dim, a, b, ...) along dimension dim
MEXRT_API mxArray *mlfRepmat(mxArray *x, ...);  // repmat(x, n), (x, m, n, ...), (x, [m n ...])
// find(x): the linear indices of the non-zero elements. A row gives a row, anything else a
// column. row and value, when not NULL, receive find's second and third results instead.
MEXRT_API mxArray *mlfFind(mxArray **row_or_value, mxArray **value, mxArray *x);
// max(x), max(x, y), max(x, [], dim); index, when not NULL, receives the position. Complex
// values are ordered by magnitude, then by angle.
MEXRT_API mxArray *mlfMax(mxArray **index, mxArray *x, mxArray *y, mxArray *dim);
MEXRT_API mxArray *mlfMin(mxArray **index, mxArray *x, mxArray *y, mxArray *dim);
MEXRT_API mxArray *mlfSum(mxArray *x, mxArray *dim);
// Along the first non-singleton dimension, or dim (NULL for the default); complex-aware.
// prod([]) is 1, mean, median, var and std of [] NaN, any([]) false, all([]) true.
MEXRT_API mxArray *mlfProd(mxArray *x, mxArray *dim);
MEXRT_API mxArray *mlfMean(mxArray *x, mxArray *dim);
MEXRT_API mxArray *mlfMedian(mxArray *x, mxArray *dim);  // NaN where a slice holds NaN
// var(x, w, dim), std(x, w, dim): w 0 (NULL or []) divides by n - 1, w 1 by n; real results.
MEXRT_API mxArray *mlfVar(mxArray *x, mxArray *w, mxArray *dim);
MEXRT_API mxArray *mlfStd(mxArray *x, mxArray *w, mxArray *dim);
MEXRT_API mxArray *mlfAny(mxArray *x, mxArray *dim);
MEXRT_API mxArray *mlfAll(mxArray *x, mxArray *dim);
MEXRT_API mxArray *mlfCumsum(mxArray *x, mxArray *dim);
MEXRT_API mxArray *mlfCumprod(mxArray *x, mxArray *dim);
// diff(x, n, dim): the differences of neighbours along dim (the first dimension longer than 1
// when dim is NULL), n times over (once when n is NULL).
MEXRT_API mxArray *mlfDiff(mxArray *x, mxArray *n, mxArray *dim);
// sort(x, dim, mode): ascending (NaN last) or 'descend' (NaN first), stable; complex values
// by magnitude, then angle. index, when not NULL, receives the positions within each slice.
MEXRT_API mxArray *mlfSort(mxArray **index, mxArray *x, mxArray *dim, mxArray *mode);
MEXRT_API mxArray *mlfNdims(mxArray *x);
MEXRT_API mxArray *mlfNumel(mxArray *x);
MEXRT_API mxArray *mlfCeil(mxArray *x);
MEXRT_API mxArray *mlfFloor(mxArray *x);
MEXRT_API mxArray *mlfFix(mxArray *x);   // rounded towards 0
MEXRT_API mxArray *mlfSign(mxArray *x);  // -1, 0, 1; z / abs(z) for complex z
// mod(x, y) has y's sign, rem(x, y) x's; both x where y is 0; real arguments only.
MEXRT_API mxArray *mlfMod(mxArray *x, mxArray *y);
MEXRT_API mxArray *mlfRem(mxArray *x, mxArray *y);
MEXRT_API mxArray *mlfIsnan(mxArray *x);  // logical; a complex element where either part is
MEXRT_API mxArray *mlfIsinf(mxArray *x);
MEXRT_API mxArray *mlfRound(mxArray *x);
MEXRT_API mxArray *mlfAbs(mxArray *x);
MEXRT_API mxArray *mlfExp(mxArray *x);
MEXRT_API mxArray *mlfLog(mxArray *x);    // complex for negative elements: log(-1) = pi i
MEXRT_API mxArray *mlfLog10(mxArray *x);  // complex for negative elements
MEXRT_API mxArray *mlfSqrt(mxArray *x);   // complex for negative elements: sqrt(-4) = 2i
MEXRT_API mxArray *mlfSin(mxArray *x);
MEXRT_API mxArray *mlfCos(mxArray *x);
MEXRT_API mxArray *mlfCtranspose(mxArray *x);  // x': rows and columns exchanged, conjugated
MEXRT_API mxArray *mlfTranspose(mxArray *x);   // x.': rows and columns exchanged
MEXRT_API mxArray *mlfIsempty(mxArray *x);

// --- Complex numbers ---
MEXRT_API mxArray *mlfReal(mxArray *x);
MEXRT_API mxArray *mlfImag(mxArray *x);
MEXRT_API mxArray *mlfConj(mxArray *x);
MEXRT_API mxArray *mlfAngle(mxArray *x);  // atan2(imag(x), real(x))
// complex(a, b) = a + bi of real a and b, complex even where b is 0; complex(a) when b is NULL.
MEXRT_API mxArray *mlfComplex(mxArray *a, mxArray *b);
MEXRT_API mxArray *mlfIsreal(mxArray *x);  // a logical scalar: x has no imaginary part

// --- Numeric classes ---
// A class name is text: "double", "single", "int8" ... "uint64", "logical" or "char".
// cast(x, name): x's values in that class. Integers are rounded to nearest (halves away from
// 0) and saturated at the class's limits, NaN becomes 0; single rounds to float; logical
// refuses NaN; char rounds and holds codes within 0..65535.
MEXRT_API mxArray *mlfCast(mxArray *x, mxArray *classname);
MEXRT_API mxArray *mlfClass(mxArray *x);  // class(x) as text
// isa(x, name): x is of that class, or of a group: "numeric", "float" or "integer".
MEXRT_API mxArray *mlfIsa(mxArray *x, mxArray *classname);
// intmax(name), intmin(name) of an integer class (NULL: int32), in that class; realmax(name),
// realmin(name) of double or single (NULL: double); eps(x) is the spacing of doubles at 1
// for NULL, of the class named, or at each element of a double or single x.
MEXRT_API mxArray *mlfIntmax(mxArray *classname);
MEXRT_API mxArray *mlfIntmin(mxArray *classname);
MEXRT_API mxArray *mlfRealmax(mxArray *classname);
MEXRT_API mxArray *mlfRealmin(mxArray *classname);
MEXRT_API mxArray *mlfEps(mxArray *x);

// --- Transforms ---
// fft(x), fft(x, n), fft(x, n, dim): the discrete Fourier transform along the first
// non-singleton dimension or dim, zero-padded or truncated to n points; n or dim NULL (or n
// empty) for the defaults.
// filter(b, a, x): direct form II transposed along the first non-singleton dimension, from
// zero state; b and a real vectors, a(1) non-zero.
MEXRT_API mxArray *mlfFilter(mxArray *b, mxArray *a, mxArray *x);
// hamming(n) and hann(n) as n x 1 columns; option NULL, 'symmetric' or 'periodic'.
MEXRT_API mxArray *mlfHamming(mxArray *n, mxArray *option);
MEXRT_API mxArray *mlfHann(mxArray *n, mxArray *option);
MEXRT_API mxArray *mlfFft(mxArray *x, mxArray *n, mxArray *dim);
// ifft(x, n, dim, option): the inverse transform, scaled by 1/n. option NULL or
// "nonsymmetric", or "symmetric": x is taken as conjugate symmetric and the result is real.
MEXRT_API mxArray *mlfIfft(mxArray *x, mxArray *n, mxArray *dim, mxArray *option);

// --- Printing ---
MEXRT_API void mlfDisp(mxArray *x);
// fprintf(fid, format, args...): fid 1 is standard output, 2 standard error. The result is
// the number of bytes written when nargout > 0, else NULL. Numeric conversions print the
// real part of a complex argument, as the host language does.
// sprintf(format, args..., NULL): fprintf's text as a 1 x n char array.
MEXRT_API mxArray *mlfSprintf(mxArray *format, ...);
// num2str(x), num2str(x, precision), num2str(x, format): numbers as text, one row per row
// of x, columns two spaces apart; complex numbers as a+bi.
MEXRT_API mxArray *mlfNum2str(mxArray *x, mxArray *option);
MEXRT_API mxArray *mlfStrcmp(mxArray *a, mxArray *b);  // logical: same class char, size, text
MEXRT_API mxArray *mlfStrcat(mxArray *first, ...);     // char rows joined, trailing blanks cut
MEXRT_API mxArray *mlfUpper(mxArray *s);               // non-char arrays come back unchanged
MEXRT_API mxArray *mlfLower(mxArray *s);
MEXRT_API mxArray *mlfNFprintf(int nargout, mxArray *fid, mxArray *format, ...);

#ifdef __cplusplus
}
#endif
