// The files family: data files into the workspace.
#include <algorithm>
#include <array>
#include <string>

#include "mexrt/graphics.h"
#include "mexrt/matfile.h"
#include "shell/builtins/support.h"

namespace shell::builtins {

namespace {

// The named variables of the data file into the workspace; the file name's array is
// reclaimed.
void loadNamed(Evaluator &ev, mxArray *file, const std::vector<std::string> &names) {
  std::vector<mxArray *> slots(names.size(), nullptr);
  std::array<const char *, kMaxListed> n{};
  std::array<mxArray **, kMaxListed> s{};
  for (std::size_t k = 0; k < names.size(); ++k) {
    n[k] = names[k].c_str();
    s[k] = &slots[k];
  }
  // Pairs past the last name start with NULL, which ends the list.
  mclLoadConditional(file, n[0], s[0], n[1], s[1], n[2], s[2], n[3], s[3], n[4], s[4], n[5], s[5],
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
}

// load(file): every variable of the data file; load(file, 'name', ...): the named ones.
Results load(Evaluator &ev, const char *name, Args &a, int nargout) {
  arity(name, a, 1, kMaxListed);
  outputs(name, nargout, 0);
  std::vector<std::string> names;
  for (std::size_t k = 1; k < a.size(); ++k) {
    if (!isText(a[k])) raise("load: variable names must be text.");
    names.push_back(textOf(a[k]));
  }
  for (std::size_t k = 1; k < a.size(); ++k) discard(a[k]);
  if (!names.empty()) {
    loadNamed(ev, a[0], names);
    return {};
  }
  if (!isText(a[0])) raise("load: the file name must be a row of text.");
  std::string file = textOf(a[0]);
  std::vector<std::string> all = mexrt::matfile::variableNames(file);
  // Groups of as many names as one call takes, each with its own copy of the file name.
  for (std::size_t k = 0; k < all.size(); k += kMaxListed - 1) {
    std::size_t n = std::min(all.size() - k, kMaxListed - 1);
    loadNamed(ev, mlfReturnValue(mxCreateString(file.c_str())),
              {all.begin() + static_cast<std::ptrdiff_t>(k),
               all.begin() + static_cast<std::ptrdiff_t>(k + n)});
  }
  discard(a[0]);
  return {};
}

// save(file): every variable; save(file, 'name', ...): the named ones, into a MAT-file.
Results save(Evaluator &ev, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1000);
  outputs(name, nargout, 0);
  if (!isText(a[0])) raise("save: the file name must be text.");
  std::vector<std::string> names;
  for (std::size_t k = 1; k < a.size(); ++k) {
    if (!isText(a[k])) raise("save: variable names must be text.");
    names.push_back(textOf(a[k]));
  }
  if (names.empty()) names = ev.variableNames();
  std::vector<std::pair<std::string, const mxArray *>> vars;
  for (const std::string &n : names) {
    const mxArray *v = ev.variable(n);
    if (!v) raise("save: there is no variable \"" + n + "\".");
    vars.emplace_back(n, v);
  }
  mexrt::matfile::save(textOf(a[0]), vars);
  for (mxArray *x : a) discard(x);
  return {};
}

}  // namespace

std::span<const Builtin> filesFamily() {
  static const Builtin kTable[] = {
      {"load", load,
       "load(file), load(file, 'name', ...): all or the named variables of a MAT-file into the "
       "workspace"},
      {"save", save,
       "save(file), save(file, 'name', ...): all or the named variables into a compressed "
       "MAT-file (level 5), replaced only once completely written"},
  };
  return kTable;
}

}  // namespace shell::builtins
