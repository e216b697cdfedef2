// The table of every built-in, joined from the families, and the plumbing they share.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>

#include "shell/builtins/support.h"

namespace shell {

namespace builtins {

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

namespace {

using Family = std::span<const Builtin> (*)();
constexpr Family kFamilies[] = {numbersFamily,   signalsFamily, textFamily,   filesFamily,
                                figuresFamily,   sessionFamily, linalgFamily, audioFamily,
                                functionsFamily, cellsFamily,   classesFamily, featuresFamily};

const std::unordered_map<std::string_view, const Builtin *> &table() {
  static const auto *t = [] {
    auto *m = new std::unordered_map<std::string_view, const Builtin *>();
    for (Family family : kFamilies) {
      for (const Builtin &b : family()) {
        if (!m->emplace(b.name, &b).second) {
          throw mexrt::Error("The built-in '" + std::string(b.name) + "' is defined twice.");
        }
      }
    }
    return m;
  }();
  return *t;
}

}  // namespace

}  // namespace builtins

const Builtin *findBuiltin(std::string_view name) {
  auto it = builtins::table().find(name);
  return it == builtins::table().end() ? nullptr : it->second;
}

std::vector<const Builtin *> allBuiltins() {
  std::vector<const Builtin *> all;
  for (const auto &entry : builtins::table()) all.push_back(entry.second);
  std::sort(all.begin(), all.end(),
            [](const Builtin *a, const Builtin *b) { return a->name < b->name; });
  return all;
}

mxArray *namedConstant(std::string_view name) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  if (name == "pi") return mlfScalar(M_PI);
  if (name == "Inf" || name == "inf") return mlfScalar(kInf);
  if (name == "NaN" || name == "nan") return mlfScalar(std::numeric_limits<double>::quiet_NaN());
  if (name == "eps") return mlfScalar(std::numeric_limits<double>::epsilon());
  if (name == "i" || name == "j") return mlfComplex(mlfScalar(0), mlfScalar(1));
  if (name == "true" || name == "false") {
    return mlfReturnValue(mxCreateLogicalScalar(name == "true"));
  }
  return nullptr;
}

mxArray *callListed(mxArray *(*op)(mxArray *, ...), const std::vector<mxArray *> &list,
                    const char *name) {
  using builtins::kMaxListed;
  if (list.size() > kMaxListed) {
    // Concatenation is associative: long lists are joined in groups, then the groups.
    if (op != mlfHorzcat && op != mlfVertcat) {
      builtins::raise(std::string("Too many input arguments for '") + name + "'.");
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
