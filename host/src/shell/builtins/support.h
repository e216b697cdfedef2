// What every family of built-ins shares: argument and output count checks, reading text
// and numbers the shell itself uses, and handing results back.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "mexrt/error.h"
#include "mexrt/mathlib.h"
#include "shell/builtins/builtins.h"

namespace shell::builtins {

using Args = std::vector<mxArray *>;
using Results = std::vector<mxArray *>;

[[noreturn]] inline void raise(const std::string &message) { throw mexrt::Error(message); }

// The operations' lists hold at most this many handles before their NULL end.
constexpr std::size_t kMaxListed = 15;

void arity(const char *name, const Args &args, std::size_t least, std::size_t most);
void outputs(const char *name, int nargout, int most);
bool isText(const mxArray *a);
std::string textOf(const mxArray *a);
// A text argument that the shell itself reads (a file or a variable name); the array is
// then freed if it was a temporary.
std::string takeText(mxArray *a, const char *name);
double takeNumber(mxArray *a, const char *name);
inline Results one(mxArray *a) { return {a}; }
// Results that the runtime hands back through slots are owned; they go on as temporaries.
Results slotted(mxArray *first, std::initializer_list<mxArray *> slots, int nargout);

// The shapes of most built-ins: an operation of one argument, of two, or of one with an
// optional second (NULL to the operation when absent), giving one result.
template <mxArray *(*Op)(mxArray *)>
Results oneArgument(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1);
  outputs(name, nargout, 1);
  return one(Op(a[0]));
}

template <mxArray *(*Op)(mxArray *, mxArray *)>
Results twoArguments(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 2, 2);
  outputs(name, nargout, 1);
  return one(Op(a[0], a[1]));
}

template <mxArray *(*Op)(mxArray *, mxArray *)>
Results secondOptional(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 2);
  outputs(name, nargout, 1);
  return one(Op(a[0], a.size() == 2 ? a[1] : nullptr));
}

// Each family's table; registry.cpp joins them.
std::span<const Builtin> numbersFamily();
std::span<const Builtin> signalsFamily();
std::span<const Builtin> textFamily();
std::span<const Builtin> filesFamily();
std::span<const Builtin> figuresFamily();
std::span<const Builtin> sessionFamily();
std::span<const Builtin> linalgFamily();
std::span<const Builtin> audioFamily();
std::span<const Builtin> cellsFamily();
std::span<const Builtin> functionsFamily();
std::span<const Builtin> classesFamily();
std::span<const Builtin> featuresFamily();

}  // namespace shell::builtins
