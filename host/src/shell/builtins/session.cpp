// The session family: errors, warnings and the workspace.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <string>

#include "mexrt/display.h"
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
// and its values as sprintf makes them, after an optional identifier (into *identifier).
std::string message(const char *name, Args &a, std::string *identifier = nullptr) {
  arity(name, a, 1, kMaxListed + 2);
  if (a.size() == 1) {
    if (!isText(a[0])) raise(std::string(name) + ": the message must be text.");
    return takeText(a[0], name);
  }
  std::size_t first = 0;
  if (isIdentifier(a[0])) {
    if (identifier) *identifier = textOf(a[0]);
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

// A text field of an error struct ("" when it has none); anything else in it is refused.
std::string errorField(const mxArray *s, const char *field, const char *name) {
  const mxArray *v = mxGetFieldNumber(s, field) < 0 ? nullptr : mxGetField(s, 0, field);
  if (!v || mxGetNumberOfElements(v) == 0) return "";
  if (!isText(v) || mxGetM(v) != 1) {
    raise(std::string(name) + ": the field '" + field + "' must be a row of text.");
  }
  return textOf(v);
}

// error(message), error(format, values...), error(identifier, format, values...),
// error(s) with the fields message and identifier: stops with the message, which a catch
// receives with the identifier; an empty message stops nothing.
Results error(Evaluator &, const char *name, Args &a, int nargout) {
  outputs(name, nargout, 0);
  std::string text, identifier;
  if (a.size() == 1 && mxIsStruct(a[0])) {
    if (mxGetNumberOfElements(a[0]) != 1) raise("error: the error struct must be a scalar struct.");
    text = errorField(a[0], "message", name);
    identifier = errorField(a[0], "identifier", name);
    discard(a[0]);
  } else {
    text = message(name, a, &identifier);
  }
  if (text.empty()) return {};
  throw mexrt::Error(text, identifier);
}

// rethrow(err): raises again the error that a catch received, with its identifier.
Results rethrow(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1);
  outputs(name, nargout, 0);
  const mxArray *s = a[0];
  if (!mxIsStruct(s) || mxGetNumberOfElements(s) != 1 || mxGetFieldNumber(s, "message") < 0 ||
      mxGetFieldNumber(s, "identifier") < 0) {
    raise("rethrow: expects an error struct with the fields message and identifier.");
  }
  std::string text = errorField(s, "message", name), identifier = errorField(s, "identifier", name);
  discard(a[0]);
  throw mexrt::Error(text, identifier);
}

// lasterr: the message of the last error that a try caught ('' before any).
Results lasterr(Evaluator &ev, const char *name, Args &a, int nargout) {
  arity(name, a, 0, 0);
  outputs(name, nargout, 1);
  return one(mlfReturnValue(mxCreateString(ev.lastError().c_str())));
}

Results warning(Evaluator &, const char *name, Args &a, int nargout) {
  outputs(name, nargout, 0);
  std::string text = message(name, a);
  if (!text.empty()) mclWarning(text.c_str());
  return {};
}

// clear, clear('x', 'y'): removes variables from the workspace; clear all, clear
// variables: every one.
Results clear(Evaluator &ev, const char *name, Args &a, int nargout) {
  outputs(name, nargout, 0);
  std::vector<std::string> names;
  for (mxArray *x : a) names.push_back(takeText(x, "clear"));
  for (const char *every : {"all", "-all", "variables", "-variables"}) {
    if (std::find(names.begin(), names.end(), every) != names.end()) names.clear();
  }
  ev.clearVariables(names);  // every variable when no names are left
  return {};
}

// format, format short, format long g, format('longE'), ...: the display format from now on.
// The words are read together and in any case, so "long g", "long G" and "longG" are one.
Results format(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 0, 2);
  outputs(name, nargout, 0);
  static const struct {
    const char *name;
    mexrt::DisplayFormat format;
  } formats[] = {{"short", mexrt::DisplayFormat::Short},   {"long", mexrt::DisplayFormat::Long},
                 {"shorte", mexrt::DisplayFormat::ShortE}, {"longe", mexrt::DisplayFormat::LongE},
                 {"shortg", mexrt::DisplayFormat::ShortG}, {"longg", mexrt::DisplayFormat::LongG}};
  std::string words;
  for (std::size_t k = 0; k < a.size(); ++k) words += (k ? " " : "") + takeText(a[k], name);
  std::string key;
  for (char c : words) {
    if (c != ' ') key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (key.empty()) key = "short";
  for (const auto &f : formats) {
    if (key == f.name) {
      mexrt::setDisplayFormat(f.format);
      return {};
    }
  }
  raise("format: the formats are short, long, short e, long e, short g and long g, not '" + words +
        "'.");
}

std::string sizeText(const mxArray *a) {
  std::string t;
  for (std::size_t d = 0; d < mxGetNumberOfDimensions(a); ++d) {
    t += (d ? "x" : "") + std::to_string(mxGetDimensions(a)[d]);
  }
  return t;
}

// The bytes of the elements (cells and structs: 0, as their parts are not counted here).
std::size_t bytesOf(const mxArray *a) {
  return mxGetNumberOfElements(a) * mxGetElementSize(a) * (mxIsComplex(a) ? 2 : 1);
}

void print(const std::string &text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

// who: the names of the variables; whos: each with its size, bytes and class.
Results who(Evaluator &ev, const char *name, Args &a, int nargout) {
  arity(name, a, 0, 0);
  outputs(name, nargout, 0);
  std::vector<std::string> names = ev.variableNames();
  if (names.empty()) return {};
  std::string line = "Your variables are:\n\n";
  for (const std::string &n : names) line += n + "  ";
  print(line + "\n\n");
  return {};
}

Results whos(Evaluator &ev, const char *name, Args &a, int nargout) {
  arity(name, a, 0, 0);
  outputs(name, nargout, 0);
  std::vector<std::string> names = ev.variableNames();
  if (names.empty()) return {};
  std::size_t nameWidth = 4, sizeWidth = 4;
  for (const std::string &n : names) {
    nameWidth = std::max(nameWidth, n.size());
    sizeWidth = std::max(sizeWidth, sizeText(ev.variable(n)).size());
  }
  auto padded = [](std::string t, std::size_t w) { return t + std::string(w - t.size(), ' '); };
  auto right = [](std::string t, std::size_t w) {
    return std::string(w > t.size() ? w - t.size() : 0, ' ') + t;
  };
  std::string out = "  " + padded("Name", nameWidth) + "    " + padded("Size", sizeWidth) + "    " +
                    right("Bytes", 10) + "  Class\n\n";
  for (const std::string &n : names) {
    const mxArray *v = ev.variable(n);
    out += "  " + padded(n, nameWidth) + "    " + padded(sizeText(v), sizeWidth) + "    " +
           right(std::to_string(bytesOf(v)), 10) + "  " + mxGetClassName(v) +
           (mxIsComplex(v) ? " (complex)" : "") + "\n";
  }
  print(out + "\n");
  return {};
}

// help name: the description of a built-in, a module function or a function file; help
// alone: the built-ins' names.
Results help(Evaluator &ev, const char *name, Args &a, int nargout) {
  arity(name, a, 0, 1);
  outputs(name, nargout, 0);
  if (a.empty()) {
    std::string out = "help NAME describes a function. The built-ins:\n";
    std::string line;
    for (const Builtin *b : allBuiltins()) {
      if (line.size() + b->name.size() + 2 > 78) {
        out += line + "\n";
        line.clear();
      }
      line += "  " + std::string(b->name);
    }
    print(out + line + "\n");
    return {};
  }
  std::string topic = takeText(a[0], name);
  std::string text = ev.describe(topic);
  if (text.empty()) raise("help: there is no function '" + topic + "'.");
  print(text);
  return {};
}

}  // namespace

std::span<const Builtin> sessionFamily() {
  static const Builtin kTable[] = {
      {"error", error,
       "error(message), error([identifier,] format, values...), error(s): stops with the "
       "message, formatted as sprintf does when values or an identifier follow"},
      {"rethrow", rethrow, "rethrow(err): raises again the error a catch received"},
      {"lasterr", lasterr, "lasterr: the message of the last error a try caught"},
      {"warning", warning,
       "warning(message), warning([identifier,] format, values...): prints the message "
       "after \"Warning: \" and goes on"},
      {"clear", clear,
       "clear, clear x y, clear all: removes the named or every variable from the workspace"},
      {"format", format,
       "format short, format long, format short e, format long g, ...: how the displays that "
       "follow write numbers"},
      {"who", who, "who: the names of the workspace's variables"},
      {"whos", whos, "whos: the workspace's variables with their size, bytes and class"},
      {"help", help,
       "help name: what a built-in, module function or function file (its leading comments) "
       "does"},
  };
  return kTable;
}

}  // namespace shell::builtins
