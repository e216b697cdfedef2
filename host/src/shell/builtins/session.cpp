// The session family: errors, warnings and the workspace.
#include <string>

#include "shell/builtins/support.h"

namespace shell::builtins {

namespace {

Results error(Evaluator &, const char *name, Args &a, int) {
  arity(name, a, 1, 1);
  mlfError(a[0]);
}

Results warning(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1);
  outputs(name, nargout, 0);
  mclWarning(takeText(a[0], "warning").c_str());
  return {};
}

// clear, clear('x', 'y'): removes variables from the workspace.
Results clear(Evaluator &ev, const char *name, Args &a, int nargout) {
  outputs(name, nargout, 0);
  std::vector<std::string> names;
  for (mxArray *x : a) names.push_back(takeText(x, "clear"));
  if (!a.empty() && names.empty()) return {};
  ev.clearVariables(names);
  return {};
}

}  // namespace

std::span<const Builtin> sessionFamily() {
  static const Builtin kTable[] = {
      {"error", error, "error(message): stops with the message"},
      {"warning", warning, "warning(message): prints the message after \"Warning: \" and goes on"},
      {"clear", clear, "clear, clear('x', ...): removes variables from the workspace"},
  };
  return kTable;
}

}  // namespace shell::builtins
