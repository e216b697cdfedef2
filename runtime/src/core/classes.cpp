// The numeric classes: element sizes, names, the class of mixed arithmetic and conversions.
#include "core/classes.h"

#include <array>
#include <utility>

#include "core/element_type.h"

namespace mexrt::detail {

namespace {

constexpr std::array<std::pair<mxClassID, const char *>, 15> kNames{{
    {mxDOUBLE_CLASS, "double"},
    {mxSINGLE_CLASS, "single"},
    {mxINT8_CLASS, "int8"},
    {mxUINT8_CLASS, "uint8"},
    {mxINT16_CLASS, "int16"},
    {mxUINT16_CLASS, "uint16"},
    {mxINT32_CLASS, "int32"},
    {mxUINT32_CLASS, "uint32"},
    {mxINT64_CLASS, "int64"},
    {mxUINT64_CLASS, "uint64"},
    {mxLOGICAL_CLASS, "logical"},
    {mxCHAR_CLASS, "char"},
    {mxCELL_CLASS, "cell"},
    {mxSTRUCT_CLASS, "struct"},
    {mxFUNCTION_CLASS, "function_handle"},
}};

// Every element of x into out, as To.
template <class To>
void convertInto(const Array &x, To *out) {
  const std::size_t n = x.numel();
  byClass(x.cls, [&](auto tag) {
    using From = decltype(tag);
    const From *in = elementsOf<From>(x);
    for (std::size_t k = 0; k < n; ++k) out[k] = elementCast<To>(in[k]);
  });
}

}  // namespace

std::size_t elementSize(mxClassID cls) {
  if (cls == mxUNKNOWN_CLASS ||
      (!isNumericClass(cls) && cls != mxCHAR_CLASS && cls != mxLOGICAL_CLASS)) {
    return 0;
  }
  return byClass(cls, [](auto tag) { return sizeof(tag); });
}

const char *className(mxClassID c) {
  for (const auto &[cls, name] : kNames) {
    if (cls == c) return name;
  }
  return "unknown";
}

std::optional<mxClassID> classNamed(std::string_view name) {
  for (const auto &[cls, n] : kNames) {
    if (name == n) return cls;
  }
  return std::nullopt;
}

mxClassID arithmeticClass(mxClassID a, mxClassID b) {
  if (isIntegerClass(a) && isIntegerClass(b) && a != b) {
    raise("Integers can only be combined with integers of the same class, or scalar doubles.");
  }
  if (isIntegerClass(a)) return a;
  if (isIntegerClass(b)) return b;
  return mxSINGLE_CLASS;
}

Array *converted(const Array &x, mxClassID to, const char *fn) {
  if (x.cls == to) return shareOf(&x);
  if (x.isComplex() && to != mxDOUBLE_CLASS) {
    raise(std::string(fn) + ": complex values cannot be converted to " + className(to) +
          "; take real(x) or abs(x) first.");
  }
  Owned r(newArrayForOverwrite(to, x.dims));
  const std::size_t n = x.numel();
  if (n == 0) return r.release();
  if (to == mxLOGICAL_CLASS) {
    mxLogical *out = r->mutableLogicals();
    for (std::size_t k = 0; k < n; ++k) {
      const double v = x.number(k);
      if (std::isnan(v)) raise("NaN's cannot be converted to logicals.");
      out[k] = v != 0;
    }
    return r.release();
  }
  byClass(to, [&](auto tag) { convertInto(x, mutableElementsOf<decltype(tag)>(*r)); });
  return r.release();
}

}  // namespace mexrt::detail
