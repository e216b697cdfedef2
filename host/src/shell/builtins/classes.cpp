// The classes family: conversions between the numeric classes, char and logical, the class
// of a value and its tests, and the limits of each class.
#include "shell/builtins/support.h"

namespace shell::builtins {

namespace {

mxArray *nameText(const char *name) { return mlfReturnValue(mxCreateString(name)); }

// int8(x) ... uint64(x), single(x), double(x), logical(x), char(x): cast to the class the
// built-in is named after.
Results conversion(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1);
  outputs(name, nargout, 1);
  return one(mlfCast(a[0], nameText(name)));
}

// isnumeric(x), isfloat(x), isinteger(x), islogical(x), ischar(x): isa with the group or the
// class the name gives after "is".
Results classTest(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1);
  outputs(name, nargout, 1);
  return one(mlfIsa(a[0], nameText(name + 2)));
}

template <mxArray *(*Op)(mxArray *)>
Results optionalName(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 0, 1);
  outputs(name, nargout, 1);
  return one(Op(a.empty() ? nullptr : a[0]));
}

}  // namespace

std::span<const Builtin> classesFamily() {
  static const Builtin kTable[] = {
      {"double", conversion, "double(x): x as double values"},
      {"single", conversion, "single(x): x rounded to single precision"},
      {"int8", conversion, "int8(x): x rounded to nearest and saturated to -128..127"},
      {"uint8", conversion, "uint8(x): x rounded to nearest and saturated to 0..255"},
      {"int16", conversion, "int16(x): x rounded to nearest and saturated to -32768..32767"},
      {"uint16", conversion, "uint16(x): x rounded to nearest and saturated to 0..65535"},
      {"int32", conversion, "int32(x): x rounded to nearest and saturated to the 32-bit range"},
      {"uint32", conversion, "uint32(x): x rounded to nearest and saturated to 0..2^32-1"},
      {"int64", conversion, "int64(x): x rounded to nearest and saturated to the 64-bit range"},
      {"uint64", conversion, "uint64(x): x rounded to nearest and saturated to 0..2^64-1"},
      {"logical", conversion, "logical(x): true where x is not 0 (NaN is an error)"},
      {"char", conversion, "char(x): character codes, rounded and held within 0..65535"},
      {"cast", twoArguments<mlfCast>, "cast(x, name): x converted to the class named"},
      {"class", oneArgument<mlfClass>, "class(x): the name of x's class, such as 'int16'"},
      {"isa", twoArguments<mlfIsa>,
       "isa(x, name): x is of the class named, or of 'numeric', 'float' or 'integer'"},
      {"isnumeric", classTest, "isnumeric(x): x is double, single or of an integer class"},
      {"isfloat", classTest, "isfloat(x): x is double or single"},
      {"isinteger", classTest, "isinteger(x): x is of an integer class"},
      {"islogical", classTest, "islogical(x): x is logical"},
      {"ischar", classTest, "ischar(x): x is a char array"},
      {"intmax", optionalName<mlfIntmax>,
       "intmax, intmax(name): the largest value of an integer class (int32 by default)"},
      {"intmin", optionalName<mlfIntmin>,
       "intmin, intmin(name): the smallest value of an integer class (int32 by default)"},
      {"realmax", optionalName<mlfRealmax>,
       "realmax, realmax(name): the largest finite double or single"},
      {"realmin", optionalName<mlfRealmin>,
       "realmin, realmin(name): the smallest normal double or single"},
      {"eps", optionalName<mlfEps>,
       "eps, eps(name), eps(x): the spacing at 1 of double or single, or at each element of x"},
  };
  return kTable;
}

}  // namespace shell::builtins
