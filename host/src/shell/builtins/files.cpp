// The files family: data files into the workspace.
#include <array>
#include <string>

#include "mexrt/graphics.h"
#include "shell/builtins/support.h"

namespace shell::builtins {

namespace {

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

}  // namespace

std::span<const Builtin> filesFamily() {
  static const Builtin kTable[] = {
      {"load", load, "load(file, 'name', ...): variables of a MAT-file into the workspace"},
  };
  return kTable;
}

}  // namespace shell::builtins
