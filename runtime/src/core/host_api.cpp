// The host-side array API: making, reading and freeing arrays from hosts, application
// programs and tests.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "core/array.h"
#include "core/classes.h"
#include "core/utf8.h"

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

namespace {

mxArray *createNumeric(const mexrt::detail::Dims &dims, mxClassID classid, mxComplexity complexity,
                       const char *fn) {
  using namespace mexrt::detail;
  if (!isNumericClass(classid) && classid != mxLOGICAL_CLASS) {
    raise(std::string(fn) + ": class " + std::to_string(static_cast<int>(classid)) +
          " is not a numeric or logical class.");
  }
  checkComplexity(complexity, fn);
  if (complexity == mxCOMPLEX && classid != mxDOUBLE_CLASS) {
    raise(std::string(fn) + ": only a double array may be complex, not " + className(classid) +
          ".");
  }
  return withComplexity(newArray(classid, dims), complexity);
}

}  // namespace

mxArray *mxCreateNumericArray(size_t ndim, const size_t *dims, mxClassID classid,
                              mxComplexity complexity) {
  if (ndim && !dims) mexrt::detail::raise("mxCreateNumericArray: the dimensions are missing.");
  return createNumeric(mexrt::detail::Dims({dims, ndim}), classid, complexity,
                       "mxCreateNumericArray");
}

mxArray *mxCreateNumericMatrix(size_t rows, size_t cols, mxClassID classid,
                               mxComplexity complexity) {
  return createNumeric(mexrt::detail::Dims(rows, cols), classid, complexity,
                       "mxCreateNumericMatrix");
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

namespace {
bool isRealScalar(const mxArray *a) {
  return a && a->cls == mxDOUBLE_CLASS && !a->complex && a->dims.size() == 2 &&
         a->dims.rows() == 1 && a->dims[1] == 1;
}
}  // namespace

bool mexrtRealScalar(const mxArray *a, double *value) {
  if (!isRealScalar(a)) return false;
  *value = a->reals()[0];
  return true;
}

bool mexrtSetRealScalar(mxArray *a, double value) {
  if (!isRealScalar(a)) return false;
  a->mutableReals()[0] = value;
  return true;
}

bool mxIsComplex(const mxArray *a) { return a && a->isComplex(); }

size_t mxGetM(const mxArray *a) { return a ? a->dims.rows() : 0; }
size_t mxGetN(const mxArray *a) { return a ? a->dims.cols() : 0; }
size_t mxGetNumberOfDimensions(const mxArray *a) { return a ? a->dims.size() : 0; }
const size_t *mxGetDimensions(const mxArray *a) { return a ? a->dims.data() : nullptr; }
size_t mxGetNumberOfElements(const mxArray *a) { return a ? a->numel() : 0; }
mxClassID mxGetClassID(const mxArray *a) { return a ? a->cls : mxUNKNOWN_CLASS; }

const char *mxGetClassName(const mxArray *a) {
  return mexrt::detail::className(a ? a->cls : mxUNKNOWN_CLASS);
}

void *mxGetData(const mxArray *a) {
  if (!a || a->isUninit()) return nullptr;
  return const_cast<mxArray *>(a)->mutableData();
}

size_t mxGetElementSize(const mxArray *a) { return a ? mexrt::detail::elementSize(a->cls) : 0; }

bool mxIsDouble(const mxArray *a) { return a && a->cls == mxDOUBLE_CLASS; }
bool mxIsSingle(const mxArray *a) { return a && a->cls == mxSINGLE_CLASS; }
bool mxIsInt8(const mxArray *a) { return a && a->cls == mxINT8_CLASS; }
bool mxIsUint8(const mxArray *a) { return a && a->cls == mxUINT8_CLASS; }
bool mxIsInt16(const mxArray *a) { return a && a->cls == mxINT16_CLASS; }
bool mxIsUint16(const mxArray *a) { return a && a->cls == mxUINT16_CLASS; }
bool mxIsInt32(const mxArray *a) { return a && a->cls == mxINT32_CLASS; }
bool mxIsUint32(const mxArray *a) { return a && a->cls == mxUINT32_CLASS; }
bool mxIsInt64(const mxArray *a) { return a && a->cls == mxINT64_CLASS; }
bool mxIsUint64(const mxArray *a) { return a && a->cls == mxUINT64_CLASS; }
bool mxIsChar(const mxArray *a) { return a && a->cls == mxCHAR_CLASS; }
bool mxIsLogical(const mxArray *a) { return a && a->cls == mxLOGICAL_CLASS; }
bool mxIsNumeric(const mxArray *a) { return a && mexrt::detail::isNumericClass(a->cls); }

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

// --- Cells and structs ---

namespace {

using mexrt::detail::Array;

Array &compositeOf(const mxArray *a, bool wantStruct, const char *fn) {
  if (!a || (wantStruct ? !a->isStruct() : !a->isCell())) {
    mexrt::detail::raise(std::string(fn) + ": the array is not a " +
                         (wantStruct ? "struct." : "cell."));
  }
  return const_cast<Array &>(*a);
}

void checkIndex(const Array &a, std::size_t index, const char *fn) {
  if (index >= a.numel()) {
    mexrt::detail::raise(std::string(fn) + ": index " + std::to_string(index) + " is beyond the " +
                         std::to_string(a.numel()) + " elements.");
  }
}

void checkField(const Array &s, int number, const char *fn) {
  if (number < 0 || static_cast<std::size_t>(number) >= s.composite->fields.size()) {
    mexrt::detail::raise(std::string(fn) + ": no field number " + std::to_string(number) + ".");
  }
}

// Replaces the element handle at slot with value, taken over.
void setItem(Array &a, std::size_t slot, mxArray *value) {
  Array *v = value;
  if (v && v->temporary) mexrt::detail::untemp(v);
  Array *&item = a.mutableItems()[slot];
  if (item == v) return;
  mexrt::detail::destroy(item);
  item = v;
}

std::vector<std::string> fieldList(int nfields, const char **names, const char *fn) {
  std::vector<std::string> fields;
  for (int k = 0; k < nfields; ++k) {
    if (!names || !names[k]) mexrt::detail::raise(std::string(fn) + ": a field name is missing.");
    if (std::find(fields.begin(), fields.end(), names[k]) != fields.end()) {
      mexrt::detail::raise(std::string(fn) + ": the field '" + names[k] + "' is given twice.");
    }
    fields.emplace_back(names[k]);
  }
  return fields;
}

}  // namespace

mxArray *mxCreateCellMatrix(size_t rows, size_t cols) {
  return mexrt::detail::newCell(mexrt::detail::Dims(rows, cols));
}

mxArray *mxCreateCellArray(size_t ndim, const size_t *dims) {
  if (ndim && !dims) mexrt::detail::raise("mxCreateCellArray: the dimensions are missing.");
  return mexrt::detail::newCell(mexrt::detail::Dims({dims, ndim}));
}

bool mxIsCell(const mxArray *a) { return a && a->isCell(); }

mxArray *mxGetCell(const mxArray *cell, size_t index) {
  const Array &c = compositeOf(cell, false, "mxGetCell");
  checkIndex(c, index, "mxGetCell");
  return c.composite->items[index];
}

void mxSetCell(mxArray *cell, size_t index, mxArray *value) {
  Array &c = compositeOf(cell, false, "mxSetCell");
  checkIndex(c, index, "mxSetCell");
  setItem(c, index, value);
}

mxArray *mexrtTakeCell(mxArray *cell, size_t index) {
  Array &c = compositeOf(cell, false, "mexrtTakeCell");
  checkIndex(c, index, "mexrtTakeCell");
  return std::exchange(c.mutableItems()[index], nullptr);
}

mxArray *mxCreateStructMatrix(size_t rows, size_t cols, int nfields, const char **fieldnames) {
  return mexrt::detail::newStruct(mexrt::detail::Dims(rows, cols),
                                  fieldList(nfields, fieldnames, "mxCreateStructMatrix"));
}

mxArray *mxCreateStructArray(size_t ndim, const size_t *dims, int nfields,
                             const char **fieldnames) {
  if (ndim && !dims) mexrt::detail::raise("mxCreateStructArray: the dimensions are missing.");
  return mexrt::detail::newStruct(mexrt::detail::Dims({dims, ndim}),
                                  fieldList(nfields, fieldnames, "mxCreateStructArray"));
}

bool mxIsStruct(const mxArray *a) { return a && a->isStruct(); }

int mxGetNumberOfFields(const mxArray *s) {
  return s && s->isStruct() ? static_cast<int>(s->composite->fields.size()) : 0;
}

const char *mxGetFieldNameByNumber(const mxArray *s, int number) {
  if (!s || !s->isStruct() || number < 0 ||
      static_cast<std::size_t>(number) >= s->composite->fields.size()) {
    return nullptr;
  }
  return s->composite->fields[static_cast<std::size_t>(number)].c_str();
}

int mxGetFieldNumber(const mxArray *s, const char *name) {
  if (!s || !s->isStruct() || !name) return -1;
  return static_cast<int>(s->composite->field(name));
}

mxArray *mxGetFieldByNumber(const mxArray *s, size_t index, int number) {
  const Array &a = compositeOf(s, true, "mxGetFieldByNumber");
  checkIndex(a, index, "mxGetFieldByNumber");
  checkField(a, number, "mxGetFieldByNumber");
  return a.composite->items[static_cast<std::size_t>(number) * a.numel() + index];
}

mxArray *mxGetField(const mxArray *s, size_t index, const char *name) {
  int number = mxGetFieldNumber(s, name);
  return number < 0 ? nullptr : mxGetFieldByNumber(s, index, number);
}

void mxSetFieldByNumber(mxArray *s, size_t index, int number, mxArray *value) {
  Array &a = compositeOf(s, true, "mxSetFieldByNumber");
  checkIndex(a, index, "mxSetFieldByNumber");
  checkField(a, number, "mxSetFieldByNumber");
  setItem(a, static_cast<std::size_t>(number) * a.numel() + index, value);
}

mxArray *mexrtTakeFieldByNumber(mxArray *s, size_t index, int number) {
  Array &a = compositeOf(s, true, "mexrtTakeFieldByNumber");
  checkIndex(a, index, "mexrtTakeFieldByNumber");
  checkField(a, number, "mexrtTakeFieldByNumber");
  return std::exchange(a.mutableItems()[static_cast<std::size_t>(number) * a.numel() + index],
                       nullptr);
}

void mxSetField(mxArray *s, size_t index, const char *name, mxArray *value) {
  int number = mxGetFieldNumber(s, name);
  if (number < 0) {
    mexrt::detail::raise(std::string("mxSetField: no field '") + (name ? name : "") + "'.");
  }
  mxSetFieldByNumber(s, index, number, value);
}

int mxAddField(mxArray *s, const char *name) {
  Array &a = compositeOf(s, true, "mxAddField");
  if (!name || !mexrt::detail::isFieldName(name)) return -1;
  std::ptrdiff_t k = a.composite->field(name);
  if (k >= 0) return static_cast<int>(k);
  std::vector<Array *> &items = a.mutableItems();
  items.resize(items.size() + a.numel(), nullptr);
  a.composite->fields.emplace_back(name);
  return static_cast<int>(a.composite->fields.size() - 1);
}

void mxRemoveField(mxArray *s, int number) {
  Array &a = compositeOf(s, true, "mxRemoveField");
  checkField(a, number, "mxRemoveField");
  std::vector<Array *> &items = a.mutableItems();
  auto first =
      items.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(number) * a.numel());
  auto last = first + static_cast<std::ptrdiff_t>(a.numel());
  for (auto it = first; it != last; ++it) mexrt::detail::destroy(*it);
  items.erase(first, last);
  a.composite->fields.erase(a.composite->fields.begin() + number);
}

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
