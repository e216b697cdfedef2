// The session family: errors, warnings and the workspace.
#include <array>
#include <cctype>
#include <string>

#include "shell/builtins/support.h"

namespace shell::builtins {

namespace {

// An identifier such as 'mfcc:badOption': words of letters, digits and underscores (the
// first a letter) joined by colons.
bool isIdentifier(const mxArray *a) {
  if (!isText(a) || mxGetM(a) != 1) return false;
  std::string t = textOf(a);
  bool atStart = true, colon = false;
  for (char c : t) {
    if (c == ':') {
      if (atStart) return false;
      atStart = colon = true;
    } else if (atStart ? std::isalpha(static_cast<unsigned char>(c)) != 0
                       : std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_') {
      atStart = false;
    } else {
      return false;
    }
  }
  return colon && !atStart;
}

// The message of error and warning: a lone argument as it is written; otherwise a format
// and its values as sprintf makes them, after an optional identifier, which is dropped.
std::string message(const char *name, Args &a) {
  arity(name, a, 1, kMaxListed + 2);
  if (a.size() == 1) {
    if (!isText(a[0])) raise(std::string(name) + ": the message must be text.");
    return takeText(a[0], name);
  }
  std::size_t first = 0;
  if (isIdentifier(a[0])) {
    discard(a[0]);
    first = 1;
  }
  if (!isText(a[first])) raise(std::string(name) + ": the format must be text.");
  std::array<mxArray *, kMaxListed + 1> rest{};
  for (std::size_t k = first + 1; k < a.size(); ++k) rest[k - first - 1] = a[k];
  mxArray *text =
      mlfSprintf(a[first], rest[0], rest[1], rest[2], rest[3], rest[4], rest[5], rest[6], rest[7],
                 rest[8], rest[9], rest[10], rest[11], rest[12], rest[13], rest[14], rest[15]);
  return takeText(text, name);
}

// error(message), error(format, values...), error(identifier, format, values...): stops
// with the message; an empty message stops nothing.
Results error(Evaluator &, const char *name, Args &a, int nargout) {
  outputs(name, nargout, 0);
  std::string text = message(name, a);
  if (text.empty()) return {};
  throw mexrt::Error(text);
}

Results warning(Evaluator &, const char *name, Args &a, int nargout) {
  outputs(name, nargout, 0);
  std::string text = message(name, a);
  if (!text.empty()) mclWarning(text.c_str());
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
      {"error", error,
       "error(message), error([identifier,] format, values...): stops with the message, "
       "formatted as sprintf does when values or an identifier follow"},
      {"warning", warning,
       "warning(message), warning([identifier,] format, values...): prints the message "
       "after \"Warning: \" and goes on"},
      {"clear", clear, "clear, clear('x', ...): removes variables from the workspace"},
  };
  return kTable;
}

}  // namespace shell::builtins
