// The text family: display and formatted printing.
#include <array>
#include <cstdio>

#include "mexrt/function_handle.h"
#include "shell/builtins/support.h"

namespace shell::builtins {

namespace {

Results disp(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1);
  outputs(name, nargout, 0);
  if (const mexrt::FunctionTarget *f = mexrt::functionTarget(a[0])) {
    std::printf("%s\n", f->text().c_str());
    std::fflush(stdout);
    discard(a[0]);
    return {};
  }
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

Results sprintfBuiltin(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, kMaxListed + 1);
  outputs(name, nargout, 1);
  std::array<mxArray *, kMaxListed + 1> rest{};
  for (std::size_t k = 1; k < a.size(); ++k) rest[k - 1] = a[k];
  return one(mlfSprintf(a[0], rest[0], rest[1], rest[2], rest[3], rest[4], rest[5], rest[6],
                        rest[7], rest[8], rest[9], rest[10], rest[11], rest[12], rest[13], rest[14],
                        rest[15]));
}

Results strcatBuiltin(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, kMaxListed);
  outputs(name, nargout, 1);
  return one(callListed(mlfStrcat, a, name));
}

}  // namespace

std::span<const Builtin> textFamily() {
  static const Builtin kTable[] = {
      {"disp", disp, "disp(x): shows x without its name"},
      {"fprintf", fprintfBuiltin,
       "fprintf([fid,] format, args...): formatted text to standard output (1) or error (2)"},
      {"sprintf", sprintfBuiltin, "sprintf(format, args...): fprintf's formatted text as a string"},
      {"num2str", secondOptional<mlfNum2str>,
       "num2str(x), num2str(x, digits), num2str(x, format): numbers (complex as a+bi) as text"},
      {"strcmp", twoArguments<mlfStrcmp>, "strcmp(a, b): true when a and b are the same text"},
      {"strcat", strcatBuiltin,
       "strcat(a, b, ...): text joined side by side, each piece's trailing blanks removed"},
      {"upper", oneArgument<mlfUpper>, "upper(s): s in capitals"},
      {"lower", oneArgument<mlfLower>, "lower(s): s in small letters"},
  };
  return kTable;
}

}  // namespace shell::builtins
