// The shell's built-in functions: argument checks, then one runtime operation each.
#include "builtins.h"

#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>

#include "mexrt/error.h"
#include "mexrt/graphics.h"
#include "mexrt/mathlib.h"

namespace shell {

namespace {

using Args = std::vector<mxArray *>;
using Results = std::vector<mxArray *>;

[[noreturn]] void raise(const std::string &message) { throw mexrt::Error(message); }

// The operations' lists hold at most this many handles before their NULL end.
constexpr std::size_t kMaxListed = 15;

void arity(const char *name, const Args &args, std::size_t least, std::size_t most) {
  if (args.size() < least) raise(std::string("Not enough input arguments for '") + name + "'.");
  if (args.size() > most) raise(std::string("Too many input arguments for '") + name + "'.");
}

void outputs(const char *name, int nargout, int most) {
  if (nargout > most) raise(std::string("Too many output arguments for '") + name + "'.");
}

bool isText(const mxArray *a) { return a && mxGetClassID(a) == mxCHAR_CLASS; }

std::string textOf(const mxArray *a) {
  std::unique_ptr<char, void (*)(void *)> s(mxArrayToString(a), mxFree);
  return s ? std::string(s.get()) : std::string();
}

// A text argument that the shell itself reads (a file or a variable name); the array is
// then freed if it was a temporary.
std::string takeText(mxArray *a, const char *name) {
  if (!isText(a)) raise(std::string("'") + name + "' expects text here.");
  std::string s = textOf(a);
  discard(a);
  return s;
}

double takeNumber(mxArray *a, const char *name) {
  if (!a || mxGetNumberOfElements(a) != 1 || mxGetClassID(a) != mxDOUBLE_CLASS) {
    raise(std::string("'") + name + "' expects a number here.");
  }
  double v = mxGetPr(a)[0];
  discard(a);
  return v;
}

Results one(mxArray *a) { return {a}; }

// The element-wise functions of one argument.
template <mxArray *(*Op)(mxArray *)>
Results elementwise(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1);
  outputs(name, nargout, 1);
  return one(Op(a[0]));
}

Results disp(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1);
  outputs(name, nargout, 0);
  mlfDisp(a[0]);
  return {};
}

Results fprintfBuiltin(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, kMaxListed + 2);
  outputs(name, nargout, 1);
  bool hasFid = a.size() >= 2 && !isText(a[0]);
  mxArray *fid = hasFid ? a[0] : mlfScalar(1);
  std::array<mxArray *, kMaxListed + 1> rest{};
  std::size_t first = hasFid ? 2 : 1;
  if (a.size() - first > kMaxListed) raise("Too many input arguments for 'fprintf'.");
  for (std::size_t k = first; k < a.size(); ++k) rest[k - first] = a[k];
  mxArray *r = mlfNFprintf(nargout, fid, a[first - 1], rest[0], rest[1], rest[2], rest[3], rest[4],
                           rest[5], rest[6], rest[7], rest[8], rest[9], rest[10], rest[11],
                           rest[12], rest[13], rest[14], rest[15]);
  return r ? one(r) : Results{};
}

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

// Results that the runtime hands back through slots are owned; they go on as temporaries.
Results slotted(mxArray *first, std::initializer_list<mxArray *> slots, int nargout) {
  Results r{first};
  for (mxArray *s : slots) {
    if (static_cast<int>(r.size()) < nargout) {
      r.push_back(mlfReturnValue(s));
    } else {
      mxDestroyArray(s);
    }
  }
  return r;
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

Results sum(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 2);
  outputs(name, nargout, 1);
  return one(mlfSum(a[0], a.size() == 2 ? a[1] : nullptr));
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

// load(file, 'name', ...): the named variables of the data file into the workspace.
Results load(Evaluator &ev, const char *name, Args &a, int nargout) {
  arity(name, a, 1, kMaxListed);
  outputs(name, nargout, 0);
  if (a.size() == 1) raise("load: name the variables to read, as in load(file, 'name', ...).");
  std::vector<std::string> names;
  for (std::size_t k = 1; k < a.size(); ++k) {
    if (!isText(a[k])) raise("load: variable names must be text.");
    names.push_back(textOf(a[k]));
  }
  for (std::size_t k = 1; k < a.size(); ++k) discard(a[k]);
  std::vector<mxArray *> slots(names.size(), nullptr);
  std::array<const char *, kMaxListed> n{};
  std::array<mxArray **, kMaxListed> s{};
  for (std::size_t k = 0; k < names.size(); ++k) {
    n[k] = names[k].c_str();
    s[k] = &slots[k];
  }
  // Pairs past the last name start with NULL, which ends the list.
  mclLoadConditional(a[0], n[0], s[0], n[1], s[1], n[2], s[2], n[3], s[3], n[4], s[4], n[5], s[5],
                     n[6], s[6], n[7], s[7], n[8], s[8], n[9], s[9], n[10], s[10], n[11], s[11],
                     n[12], s[12], n[13], s[13], nullptr);
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (!slots[k]) {
      mclWarning(("load: the file holds no variable \"" + names[k] + "\".").c_str());
      continue;
    }
    ev.setVariable(names[k], slots[k]);
    mxDestroyArray(slots[k]);
  }
  return {};
}

// The figure a print or saveas names, or the current one.
double figureArg(Evaluator &ev, mxArray *a, const char *name) {
  if (a) return takeNumber(a, name);
  double f = ev.hooks().currentFigure ? ev.hooks().currentFigure() : 0;
  if (f == 0) raise(std::string(name) + ": there is no figure to write.");
  return f;
}

void render(Evaluator &ev, double figure, const std::string &file) {
  if (!ev.hooks().renderFigure) raise("Figures cannot be written here.");
  ev.hooks().renderFigure(figure, file);
}

// print(fig, '-dpng', 'file'), print('-dsvg', 'file'), print('-f2', 'file'): the format
// by the device option or the file's extension, PNG when neither gives one.
Results print(Evaluator &ev, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 3);
  outputs(name, nargout, 0);
  double figure = 0;
  std::string device, file;
  for (mxArray *x : a) {
    if (!isText(x)) {
      figure = takeNumber(x, "print");
      continue;
    }
    std::string s = takeText(x, "print");
    if (s.rfind("-d", 0) == 0) {
      device = s.substr(2);
    } else if (s.rfind("-f", 0) == 0) {
      figure = std::strtod(s.c_str() + 2, nullptr);
    } else {
      file = s;
    }
  }
  if (file.empty()) raise("print: name the file to write.");
  if (device == "svg" || device == "pdf" || device == "png" || device.empty()) {
    bool hasExtension = file.find('.', file.find_last_of('/') + 1) != std::string::npos;
    if (!hasExtension) file += "." + (device.empty() ? std::string("png") : device);
  } else {
    raise("print: unknown device '-d" + device + "'; use -dpng, -dsvg or -dpdf.");
  }
  if (figure == 0) figure = figureArg(ev, nullptr, "print");
  render(ev, figure, file);
  return {};
}

// saveas(fig, 'file.png'): the format by the file's extension.
Results saveas(Evaluator &ev, const char *name, Args &a, int nargout) {
  arity(name, a, 2, 2);
  outputs(name, nargout, 0);
  double figure = figureArg(ev, a[0], "saveas");
  render(ev, figure, takeText(a[1], "saveas"));
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

const std::unordered_map<std::string_view, BuiltinFn> &table() {
  static const std::unordered_map<std::string_view, BuiltinFn> t = {
      {"disp", disp},
      {"fprintf", fprintfBuiltin},
      {"size", size},
      {"zeros", listed<mlfZeros>},
      {"ones", listed<mlfOnes>},
      {"reshape", reshape},
      {"horzcat", listed<mlfHorzcat>},
      {"vertcat", listed<mlfVertcat>},
      {"find", find},
      {"max", extreme<true>},
      {"min", extreme<false>},
      {"sum", sum},
      {"numel", elementwise<mlfNumel>},
      {"length", length},
      {"ceil", elementwise<mlfCeil>},
      {"round", elementwise<mlfRound>},
      {"abs", elementwise<mlfAbs>},
      {"exp", elementwise<mlfExp>},
      {"log", elementwise<mlfLog>},
      {"log10", elementwise<mlfLog10>},
      {"sqrt", elementwise<mlfSqrt>},
      {"sin", elementwise<mlfSin>},
      {"cos", elementwise<mlfCos>},
      {"isempty", elementwise<mlfIsempty>},
      {"transpose", elementwise<mlfCtranspose>},
      {"error", error},
      {"warning", warning},
      {"load", load},
      {"print", print},
      {"saveas", saveas},
      {"clear", clear},
  };
  return t;
}

}  // namespace

const BuiltinFn *findBuiltin(std::string_view name) {
  auto it = table().find(name);
  return it == table().end() ? nullptr : &it->second;
}

mxArray *namedConstant(std::string_view name) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  if (name == "pi") return mlfScalar(M_PI);
  if (name == "Inf" || name == "inf") return mlfScalar(kInf);
  if (name == "NaN" || name == "nan") return mlfScalar(std::numeric_limits<double>::quiet_NaN());
  if (name == "eps") return mlfScalar(std::numeric_limits<double>::epsilon());
  if (name == "true" || name == "false") {
    return mlfReturnValue(mxCreateLogicalScalar(name == "true"));
  }
  return nullptr;
}

mxArray *callListed(mxArray *(*op)(mxArray *, ...), const std::vector<mxArray *> &list,
                    const char *name) {
  if (list.size() > kMaxListed) {
    // Concatenation is associative: long lists are joined in groups, then the groups.
    if (op != mlfHorzcat && op != mlfVertcat) {
      raise(std::string("Too many input arguments for '") + name + "'.");
    }
    std::vector<mxArray *> groups;
    for (std::size_t k = 0; k < list.size(); k += kMaxListed) {
      std::size_t n = std::min(kMaxListed, list.size() - k);
      auto first = list.begin() + static_cast<std::ptrdiff_t>(k);
      groups.push_back(callListed(op, {first, first + static_cast<std::ptrdiff_t>(n)}, name));
    }
    return callListed(op, groups, name);
  }
  std::array<mxArray *, kMaxListed + 1> a{};
  for (std::size_t k = 0; k < list.size(); ++k) a[k] = list[k];
  return op(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10], a[11], a[12], a[13],
            a[14], a[15]);
}

}  // namespace shell
