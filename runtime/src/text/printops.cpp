// disp and fprintf: the bridge from arrays to the print engine and the standard streams.
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "core/array.h"
#include "core/operands.h"
#include "mexrt/mathlib.h"
#include "text/print.h"

using namespace mexrt::detail;

namespace mexrt::detail {
mexrtTextSink outputSink = nullptr;
mexrtTextSink warningSink = nullptr;
void *sinkContext = nullptr;
}  // namespace mexrt::detail

namespace {

thread_local mexrtTextSink t_outputSink = nullptr;
thread_local void *t_outputContext = nullptr;

void writeAll(std::FILE *stream, const std::string &text) {
  if (stream == stdout && t_outputSink) {
    if (!text.empty()) t_outputSink(t_outputContext, text.data(), text.size());
    return;
  }
  if (stream == stdout && outputSink) {
    if (!text.empty()) outputSink(sinkContext, text.data(), text.size());
    return;
  }
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace

extern "C" {

void mexrtSetTextSinks(mexrtTextSink output, mexrtTextSink warning, void *context) {
  outputSink = output;
  warningSink = warning;
  sinkContext = context;
}

void mexrtSetThreadOutputSink(mexrtTextSink output, void *context) {
  t_outputSink = output;
  t_outputContext = output ? context : nullptr;
}

void mlfDisp(mxArray *x) {
  Operand X(x, "disp", true);
  writeAll(stdout, X->isComposite() ? displayComposite(*X) : displayValue(X->view()));
}

mxArray *mlfNFprintf(int nargout, mxArray *fid, mxArray *format, ...) {
  // Every argument is taken as an operand first, so temporaries are reclaimed on any error.
  std::va_list ap;
  va_start(ap, format);
  std::vector<Array *> list = gatherList(va_arg(ap, mxArray *), ap);
  va_end(ap);
  OperandList args(list, "fprintf");
  Operand Fid(fid, "fprintf"), Format(format, "fprintf");
  if (!Fid->isScalar() || !(Fid->number(0) == 1 || Fid->number(0) == 2)) {
    raise(
        "fprintf: invalid file identifier; only 1 (standard output) and 2 (standard error) "
        "can be written.");
  }
  if (!Format->isChar() && !Format->isEmpty()) raise("fprintf: the format must be text.");
  std::vector<ValueView> views;
  views.reserve(args.size());
  for (std::size_t k = 0; k < args.size(); ++k) views.push_back(args[k].view());
  std::string text = formatPrintf({Format->chars(), Format->numel()}, views);
  writeAll(Fid->number(0) == 1 ? stdout : stderr, text);
  return nargout > 0 ? temp(newScalar(static_cast<double>(text.size()))) : nullptr;
}

}  // extern "C"
