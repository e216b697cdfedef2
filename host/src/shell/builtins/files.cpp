// The files family: data files into the workspace.
#include <algorithm>
#include <array>
#include <string>

#include "mexrt/matfile.h"
#include "shell/builtins/support.h"

namespace shell::builtins {

namespace {

// The named variables of the data file, each handed to `put` (which takes it over); a name
// the file does not hold is warned about. The file name's array is reclaimed.
template <class Put>
void loadNamed(mxArray *file, const std::vector<std::string> &names, Put put) {
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
    put(names[k], slots[k]);
  }
}

// load(file): every variable of the data file; load(file, 'name', ...): the named ones. Into
// the workspace, or with an output as the fields of one struct.
Results load(Evaluator &ev, const char *name, Args &a, int nargout) {
  arity(name, a, 1, kMaxListed);
  outputs(name, nargout, 1);
  std::vector<std::string> names;
  for (std::size_t k = 1; k < a.size(); ++k) {
    if (!isText(a[k])) raise("load: variable names must be text.");
    names.push_back(textOf(a[k]));
  }
  if (!isText(a[0])) raise("load: the file name must be a row of text.");
  std::string file = textOf(a[0]);
  for (mxArray *x : a) discard(x);
  a.clear();
  if (names.empty()) names = mexrt::matfile::variableNames(file);
  OwnedArray fields;
  if (nargout == 1) fields.reset(mxCreateStructMatrix(1, 1, 0, nullptr));
  auto put = [&](const std::string &n, mxArray *v) {
    OwnedArray owned(v);
    if (!fields) {
      ev.setVariable(n, v);
      return;
    }
    int number = mxAddField(fields.get(), n.c_str());
    if (number < 0) raise("load: \"" + n + "\" cannot be a field name.");
    mxSetFieldByNumber(fields.get(), 0, number, owned.release());
  };
  // Groups of as many names as one call takes, each with its own copy of the file name.
  for (std::size_t k = 0; k < names.size(); k += kMaxListed - 1) {
    std::size_t n = std::min(names.size() - k, kMaxListed - 1);
    loadNamed(mlfReturnValue(mxCreateString(file.c_str())),
              {names.begin() + static_cast<std::ptrdiff_t>(k),
               names.begin() + static_cast<std::ptrdiff_t>(k + n)},
              put);
  }
  if (!fields) return {};
  return one(mlfReturnValue(fields.release()));
}

// save(file): every variable; save(file, 'name', ...): the named ones, into a MAT-file;
// save(file, '-struct', 'S', 'field', ...): all or the named fields of the scalar struct S as
// variables.
Results save(Evaluator &ev, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1000);
  outputs(name, nargout, 0);
  if (!isText(a[0])) raise("save: the file name must be text.");
  std::vector<std::string> names;
  for (std::size_t k = 1; k < a.size(); ++k) {
    if (!isText(a[k])) raise("save: variable names must be text.");
    names.push_back(textOf(a[k]));
  }
  std::vector<std::pair<std::string, const mxArray *>> vars;
  if (!names.empty() && names[0] == "-struct") {
    if (names.size() < 2) raise("save: '-struct' needs the name of a struct variable.");
    const mxArray *s = ev.variable(names[1]);
    if (!s) raise("save: there is no variable \"" + names[1] + "\".");
    if (!mxIsStruct(s) || mxGetNumberOfElements(s) != 1) {
      raise("save: the variable after '-struct' must be a scalar struct.");
    }
    names.erase(names.begin(), names.begin() + 2);
    if (names.empty()) {
      for (int f = 0; f < mxGetNumberOfFields(s); ++f)
        names.push_back(mxGetFieldNameByNumber(s, f));
    }
    for (const std::string &n : names) {
      if (mxGetFieldNumber(s, n.c_str()) < 0) raise("save: the struct has no field \"" + n + "\".");
      vars.emplace_back(n, mxGetField(s, 0, n.c_str()));
    }
  } else {
    for (const std::string &n : names) {
      if (!n.empty() && n[0] == '-') raise("save: unknown option '" + n + "'.");
    }
    if (names.empty()) names = ev.variableNames();
    for (const std::string &n : names) {
      const mxArray *v = ev.variable(n);
      if (!v) raise("save: there is no variable \"" + n + "\".");
      vars.emplace_back(n, v);
    }
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
       "workspace; S = load(...) gives them as the fields of a struct"},
      {"save", save,
       "save(file), save(file, 'name', ...), save(file, '-struct', 'S', 'field', ...): all or "
       "the named variables, or fields of S, into a compressed MAT-file (level 5), replaced "
       "only once completely written"},
  };
  return kTable;
}

}  // namespace shell::builtins
