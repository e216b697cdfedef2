// The shell's built-in functions and named constants, each a thin call of the runtime's
// operations.
#pragma once

#include <string_view>
#include <vector>

#include "eval.h"

namespace shell {

// A built-in gets its evaluated arguments (temporaries it hands on to the runtime, or
// variables it only reads) and the requested output count; it returns its results as
// temporaries.
using BuiltinFn = std::vector<mxArray *> (*)(Evaluator &ev, const char *name,
                                             std::vector<mxArray *> &args, int nargout);

const BuiltinFn *findBuiltin(std::string_view name);

// pi, Inf, NaN, eps, true and false as new temporaries; nullptr for another name.
mxArray *namedConstant(std::string_view name);

// Calls a runtime operation that takes a NULL-ended list, with the list's handles.
mxArray *callListed(mxArray *(*op)(mxArray *, ...), const std::vector<mxArray *> &list,
                    const char *name);

}  // namespace shell
