// The host-side array API: the array handle, its classes, and the calls that hosts,
// application programs and tests use to make, read and free arrays.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// One array of the runtime: double (real, or complex with its real and imaginary parts held
// apart), single, a signed or unsigned integer class of 8, 16, 32 or 64 bits, char (16-bit
// codes), logical, cell or struct, of any number of dimensions, or the uninitialised marker.
// Storage is shared between copies until one writes.
typedef struct mxArray_tag mxArray;

// Class identifiers as the host numbers them.
typedef enum {
  mxUNKNOWN_CLASS = 0,  // the uninitialised value
  mxCELL_CLASS = 1,
  mxSTRUCT_CLASS = 2,
  mxLOGICAL_CLASS = 3,
  mxCHAR_CLASS = 4,
  mxDOUBLE_CLASS = 6,
  mxSINGLE_CLASS = 7,
  mxINT8_CLASS = 8,
  mxUINT8_CLASS = 9,
  mxINT16_CLASS = 10,
  mxUINT16_CLASS = 11,
  mxINT32_CLASS = 12,
  mxUINT32_CLASS = 13,
  mxINT64_CLASS = 14,
  mxUINT64_CLASS = 15,
  mxFUNCTION_CLASS = 16  // a function handle: one element, no data (mexrt/function_handle.h)
} mxClassID;

typedef enum { mxREAL = 0, mxCOMPLEX = 1 } mxComplexity;

typedef unsigned char mxLogical;
typedef char16_t mxChar;

#define MEXRT_API __attribute__((visibility("default")))

// Creation. Arrays made here belong to the caller, who frees them with mxDestroyArray.
// mxCOMPLEX gives a complex double whose parts are all zero. mxCreateNumericArray and
// mxCreateNumericMatrix make zeroed arrays of a numeric class (double, single or an integer
// class) or logical; only a double may be complex.
MEXRT_API mxArray *mxCreateDoubleMatrix(size_t rows, size_t cols, mxComplexity complexity);
MEXRT_API mxArray *mxCreateDoubleScalar(double value);
MEXRT_API mxArray *mxCreateNumericArray(size_t ndim, const size_t *dims, mxClassID classid,
                                        mxComplexity complexity);
MEXRT_API mxArray *mxCreateNumericMatrix(size_t rows, size_t cols, mxClassID classid,
                                         mxComplexity complexity);
MEXRT_API mxArray *mxCreateString(const char *utf8);
MEXRT_API mxArray *mxCreateLogicalScalar(bool value);
// A real double array over outside memory: its column-major elements are read at data in
// place, never written (a write copies them first). release(context) is called once, when
// the last array sharing the memory is freed, or before returning when the call fails.
MEXRT_API mxArray *mexrtCreateLentDoubleArray(size_t ndim, const size_t *dims, const double *data,
                                              void (*release)(void *context), void *context);

// Reading. mxGetPr gives the double data of a double array (NULL for other classes), the
// real part of a complex one; mxGetPi the imaginary part of a complex double (NULL for a
// real or empty array). Both unshare that part first, so a write through it is seen by this
// array alone.
MEXRT_API double *mxGetPr(const mxArray *a);
MEXRT_API double *mxGetPi(const mxArray *a);
// A real double 1 x 1 array's value, read without unsharing, and its value replaced
// (unsharing first); both false, doing nothing, for any other array. A host's arithmetic on
// such scalars goes through these rather than an array per operation.
MEXRT_API bool mexrtRealScalar(const mxArray *a, double *value);
MEXRT_API bool mexrtSetRealScalar(mxArray *a, double value);
MEXRT_API bool mxIsComplex(const mxArray *a);
MEXRT_API size_t mxGetM(const mxArray *a);
MEXRT_API size_t mxGetN(const mxArray *a);  // product of all dimensions after the first
MEXRT_API size_t mxGetNumberOfDimensions(const mxArray *a);
MEXRT_API const size_t *mxGetDimensions(const mxArray *a);
MEXRT_API size_t mxGetNumberOfElements(const mxArray *a);
MEXRT_API mxClassID mxGetClassID(const mxArray *a);
// The class's name as class() gives it ("double", "int16", ...; "unknown" for class 0).
MEXRT_API const char *mxGetClassName(const mxArray *a);
// The elements of any class in column-major order, unshared first like mxGetPr (the real
// part of a complex double; NULL for an empty array); mxGetElementSize their size in bytes.
MEXRT_API void *mxGetData(const mxArray *a);
MEXRT_API size_t mxGetElementSize(const mxArray *a);
MEXRT_API bool mxIsDouble(const mxArray *a);
MEXRT_API bool mxIsSingle(const mxArray *a);
MEXRT_API bool mxIsInt8(const mxArray *a);
MEXRT_API bool mxIsUint8(const mxArray *a);
MEXRT_API bool mxIsInt16(const mxArray *a);
MEXRT_API bool mxIsUint16(const mxArray *a);
MEXRT_API bool mxIsInt32(const mxArray *a);
MEXRT_API bool mxIsUint32(const mxArray *a);
MEXRT_API bool mxIsInt64(const mxArray *a);
MEXRT_API bool mxIsUint64(const mxArray *a);
MEXRT_API bool mxIsChar(const mxArray *a);
MEXRT_API bool mxIsLogical(const mxArray *a);
MEXRT_API bool mxIsNumeric(const mxArray *a);  // double, single or an integer class
// The 16-bit codes of a char array in column-major order (NULL for other classes).
MEXRT_API const mxChar *mxGetChars(const mxArray *a);
// A char array's text as newly allocated UTF-8 (free with mxFree); NULL for other classes.
MEXRT_API char *mxArrayToString(const mxArray *a);
MEXRT_API void mxFree(void *p);

// Cell arrays: each element an array the cell owns. mxGetCell gives the element at a linear
// index, owned by the cell (NULL for an element never set, which stands for []); mxSetCell
// frees the old element and takes the new one over (NULL sets []), making the cell's
// elements its own first when they were shared with a copy.
MEXRT_API mxArray *mxCreateCellMatrix(size_t rows, size_t cols);
MEXRT_API mxArray *mxCreateCellArray(size_t ndim, const size_t *dims);
MEXRT_API bool mxIsCell(const mxArray *a);
MEXRT_API mxArray *mxGetCell(const mxArray *cell, size_t index);
MEXRT_API void mxSetCell(mxArray *cell, size_t index, mxArray *value);
// Takes element `index` out of a cell, leaving the empty [] in its place; the caller owns it
// and may give it back with mxSetCell. The cell's elements become this array's own first, so
// an array that shares them keeps its element. NULL when the element is [].
MEXRT_API mxArray *mexrtTakeCell(mxArray *cell, size_t index);

// Struct arrays: every element has the same fields, in order. Field values are owned by the
// struct and read and set as cells are; a field number is its 0-based position, -1 when the
// struct has no such field.
MEXRT_API mxArray *mxCreateStructMatrix(size_t rows, size_t cols, int nfields,
                                        const char **fieldnames);
MEXRT_API mxArray *mxCreateStructArray(size_t ndim, const size_t *dims, int nfields,
                                       const char **fieldnames);
MEXRT_API bool mxIsStruct(const mxArray *a);
MEXRT_API int mxGetNumberOfFields(const mxArray *s);
MEXRT_API const char *mxGetFieldNameByNumber(const mxArray *s, int number);
MEXRT_API int mxGetFieldNumber(const mxArray *s, const char *name);
MEXRT_API mxArray *mxGetField(const mxArray *s, size_t index, const char *name);
MEXRT_API mxArray *mxGetFieldByNumber(const mxArray *s, size_t index, int number);
MEXRT_API void mxSetField(mxArray *s, size_t index, const char *name, mxArray *value);
MEXRT_API void mxSetFieldByNumber(mxArray *s, size_t index, int number, mxArray *value);
// The same as mexrtTakeCell for a field of a struct's element, given back with
// mxSetFieldByNumber.
MEXRT_API mxArray *mexrtTakeFieldByNumber(mxArray *s, size_t index, int number);
// Adds a field (empty in every element) and gives its number; an existing field's number
// when it is there already. -1 for a name that is not a valid field name.
MEXRT_API int mxAddField(mxArray *s, const char *name);
MEXRT_API void mxRemoveField(mxArray *s, int number);

// Frees an array; an absent (NULL) handle is accepted and ignored.
MEXRT_API void mxDestroyArray(mxArray *a);

#ifdef __cplusplus
}
#endif
