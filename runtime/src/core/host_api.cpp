// The host-side array API: making, reading and freeing arrays from hosts, application
// programs and tests.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "core/array.h"
#include "core/operands.h"

extern "C" {

namespace {

void checkComplexity(mxComplexity complexity, const char *fn) {
  if (complexity != mxREAL && complexity != mxCOMPLEX) {
    mexrt::detail::raise(std::string(fn) + ": the complexity must be mxREAL or mxCOMPLEX.");
  }
}

mxArray *withComplexity(mxArray *a, mxComplexity complexity) {
  if (complexity == mxCOMPLEX) {
    mexrt::detail::Owned owned(a);
    mexrt::detail::addImaginaryPart(*owned);
    return owned.release();
  }
  return a;
}

// Gives lent memory back through the host's callback.
struct CallbackLender final : mexrt::detail::Lender {
  CallbackLender(void (*release)(void *), void *context) : release(release), context(context) {}
  ~CallbackLender() override {
    if (release) release(context);
  }
  void (*release)(void *);
  void *context;
};

}  // namespace

mxArray *mxCreateDoubleMatrix(size_t rows, size_t cols, mxComplexity complexity) {
  checkComplexity(complexity, "mxCreateDoubleMatrix");
  return withComplexity(mexrt::detail::newDouble(rows, cols), complexity);
}

mxArray *mxCreateDoubleScalar(double value) { return mexrt::detail::newScalar(value); }

mxArray *mxCreateNumericArray(size_t ndim, const size_t *dims, mxClassID classid,
                              mxComplexity complexity) {
  if (classid != mxDOUBLE_CLASS)
    mexrt::detail::raise("mxCreateNumericArray: only double arrays are supported.");
  checkComplexity(complexity, "mxCreateNumericArray");
  if (ndim && !dims) mexrt::detail::raise("mxCreateNumericArray: the dimensions are missing.");
  return withComplexity(mexrt::detail::newArray(mxDOUBLE_CLASS, mexrt::detail::Dims({dims, ndim})),
                        complexity);
}

mxArray *mxCreateString(const char *utf8) {
  return mexrt::detail::newString(mexrt::detail::fromUtf8(utf8 ? utf8 : ""));
}

mxArray *mxCreateLogicalScalar(bool value) { return mexrt::detail::newLogicalScalar(value); }

mxArray *mexrtCreateLentDoubleArray(size_t ndim, const size_t *dims, const double *data,
                                    void (*release)(void *context), void *context) {
  auto lender = std::make_unique<CallbackLender>(release, context);
  if (ndim && !dims)
    mexrt::detail::raise("mexrtCreateLentDoubleArray: the dimensions are missing.");
  mexrt::detail::Dims shape({dims, ndim});
  std::optional<std::size_t> n = mexrt::detail::checkedProduct(shape.span());
  if (!n || *n > SIZE_MAX / sizeof(double))
    mexrt::detail::raise("Out of memory: an array of size " + shape.str() + " is too large.");
  mexrt::detail::Owned a(mexrt::detail::newArray(mxDOUBLE_CLASS, mexrt::detail::Dims(0, 0)));
  a->dims = shape;
  if (*n) a->store = mexrt::detail::Storage::lend(data, *n * sizeof(double), std::move(lender));
  return a.release();
}

double *mxGetPr(const mxArray *a) {
  if (!a || !a->isDouble()) return nullptr;
  return const_cast<mxArray *>(a)->mutableReals();
}

double *mxGetPi(const mxArray *a) {
  if (!a || !a->isComplex()) return nullptr;
  return const_cast<mxArray *>(a)->mutableImags();
}

bool mxIsComplex(const mxArray *a) { return a && a->isComplex(); }

size_t mxGetM(const mxArray *a) { return a ? a->dims.rows() : 0; }
size_t mxGetN(const mxArray *a) { return a ? a->dims.cols() : 0; }
size_t mxGetNumberOfDimensions(const mxArray *a) { return a ? a->dims.size() : 0; }
const size_t *mxGetDimensions(const mxArray *a) { return a ? a->dims.data() : nullptr; }
size_t mxGetNumberOfElements(const mxArray *a) { return a ? a->numel() : 0; }
mxClassID mxGetClassID(const mxArray *a) { return a ? a->cls : mxUNKNOWN_CLASS; }

const mxChar *mxGetChars(const mxArray *a) { return a && a->isChar() ? a->chars() : nullptr; }

char *mxArrayToString(const mxArray *a) {
  if (!a || !a->isChar()) return nullptr;
  std::string s = mexrt::detail::toUtf8({a->chars(), a->numel()});
  char *out = static_cast<char *>(std::malloc(s.size() + 1));
  if (!out) return nullptr;
  std::memcpy(out, s.c_str(), s.size() + 1);
  return out;
}

void mxFree(void *p) { std::free(p); }

void mxDestroyArray(mxArray *a) { mexrt::detail::destroy(a); }

}  // extern "C"

namespace mexrt {

mxArray *createFunctionHandle(std::shared_ptr<const FunctionTarget> target) {
  if (!target) detail::raise("createFunctionHandle: the target is missing.");
  mxArray *a = detail::newArray(mxFUNCTION_CLASS, detail::Dims(1, 1));
  a->function = std::move(target);
  return a;
}

const FunctionTarget *functionTarget(const mxArray *a) {
  return a && a->cls == mxFUNCTION_CLASS ? a->function.get() : nullptr;
}

}  // namespace mexrt
