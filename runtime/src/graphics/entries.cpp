// The graphics operations compiled functions call: figure, axes, line, text and uicontrol
// from name/value pairs, get and set.
#include <cstdarg>
#include <string>

#include "graphics/store.h"
#include "graphics/values.h"

namespace mexrt::graphics::internal {
namespace {

mxArray *createFrom(Type t, const std::vector<Array *> &args) {
  detail::OperandList ops(args, nameOf(t));
  return detail::temp(detail::newScalar(create(t, ops)));
}

mxArray *getFrom(const std::vector<Array *> &args) {
  detail::OperandList ops(args, "get");
  double h = handleValue(ops[0], "get");
  const Object &o = objectOrRaise(h);
  if (ops.size() != 2) {
    raise("get: give one property name (" + std::to_string(ops.size() - 1) + " given).");
  }
  const Array &name = ops[1];
  if (!name.isChar() || name.dims[0] > 1) {
    raise("get: a property name must be text, not " + describe(name) + ".");
  }
  return detail::temp(valueOrDefault(h, o, propOrRaise(o.type, textOf(name))).release());
}

mxArray *setFrom(int nargout, const std::vector<Array *> &args) {
  detail::OperandList ops(args, "set");
  set(handleValue(ops[0], "set"), ops);
  return nargout > 0 ? detail::temp(detail::newDouble(0, 0)) : nullptr;
}

}  // namespace
}  // namespace mexrt::graphics::internal

// --- The operations compiled functions call ---

using mexrt::detail::gatherList;
using mexrt::graphics::Type;

#define MEXRT_CREATE(fn, type)                                           \
  mxArray *fn(int nargout, ...) {                                        \
    va_list ap;                                                          \
    va_start(ap, nargout);                                               \
    std::vector<mxArray *> args = gatherList(va_arg(ap, mxArray *), ap); \
    va_end(ap);                                                          \
    return mexrt::graphics::internal::createFrom(type, args);            \
  }

extern "C" {

MEXRT_CREATE(mlfNFigure, Type::Figure)
MEXRT_CREATE(mlfNAxes, Type::Axes)
MEXRT_CREATE(mlfNLine, Type::Line)
MEXRT_CREATE(mlfNText, Type::Text)
MEXRT_CREATE(mlfNUicontrol, Type::Uicontrol)

mxArray *mlfNGet(int /*nargout*/, mxArray *handle, ...) {
  va_list ap;
  va_start(ap, handle);
  std::vector<mxArray *> args = gatherList(va_arg(ap, mxArray *), ap);
  va_end(ap);
  args.insert(args.begin(), handle);
  return mexrt::graphics::internal::getFrom(args);
}

mxArray *mlfNSet(int nargout, mxArray *handle, ...) {
  va_list ap;
  va_start(ap, handle);
  std::vector<mxArray *> args = gatherList(va_arg(ap, mxArray *), ap);
  va_end(ap);
  args.insert(args.begin(), handle);
  return mexrt::graphics::internal::setFrom(nargout, args);
}

}  // extern "C"
