// The shell's built-in functions and named constants. Built-ins come in families (numbers,
// signals, text, files, figures, the session), one file each, and every built-in carries a
// one-line description for help.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "shell/eval.h"

namespace shell {

// A built-in gets its evaluated arguments (temporaries it hands on to the runtime, or
// variables it only reads) and the requested output count; it returns its results as
// temporaries.
using BuiltinFn = std::vector<mxArray *> (*)(Evaluator &ev, const char *name,
                                             std::vector<mxArray *> &args, int nargout);

struct Builtin {
  std::string_view name;
  BuiltinFn fn;
  std::string_view help;  // one line: what it computes, as `help name` shows it
};

const Builtin *findBuiltin(std::string_view name);
// Every built-in, in name order.
std::vector<const Builtin *> allBuiltins();

// pi, Inf, NaN, eps, i and j (the imaginary unit), true and false as new temporaries;
// nullptr for another name.
mxArray *namedConstant(std::string_view name);

// Calls a runtime operation that takes a NULL-ended list, with the list's handles.
mxArray *callListed(mxArray *(*op)(mxArray *, ...), const std::vector<mxArray *> &list,
                    const char *name);

}  // namespace shell
