// disp and fprintf: the bridge from arrays to the print engine and the standard streams.
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <vector>

#include "array.h"
#include "mexrt/mathlib.h"

using namespace mexrt::detail;

namespace {

void writeAll(std::FILE *stream, const std::string &text) {
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace

extern "C" {

void mlfDisp(mxArray *x) {
  Operand X(x, "disp");
  writeAll(stdout, displayValue(X->view()));
}

mxArray *mlfNFprintf(int nargout, mxArray *fid, mxArray *format, ...) {
  // Every argument is taken as an operand first, so temporaries are reclaimed on any error.
  std::vector<std::unique_ptr<Operand>> args;
  std::va_list ap;
  va_start(ap, format);
  for (mxArray *a = va_arg(ap, mxArray *); a; a = va_arg(ap, mxArray *)) {
    args.push_back(std::make_unique<Operand>(a, "fprintf"));
  }
  va_end(ap);
  Operand Fid(fid, "fprintf"), Format(format, "fprintf");
  if (!Fid->isScalar() || !(Fid->number(0) == 1 || Fid->number(0) == 2)) {
    raise("fprintf: invalid file identifier; only 1 (standard output) and 2 (standard error) "
          "can be written.");
  }
  if (!Format->isChar() && !Format->isEmpty()) raise("fprintf: the format must be text.");
  std::vector<ValueView> views;
  views.reserve(args.size());
  for (const auto &a : args) views.push_back((*a)->view());
  std::string text = formatPrintf({Format->chars(), Format->numel()}, views);
  writeAll(Fid->number(0) == 1 ? stdout : stderr, text);
  return nargout > 0 ? temp(newScalar(static_cast<double>(text.size()))) : nullptr;
}

}  // extern "C"
