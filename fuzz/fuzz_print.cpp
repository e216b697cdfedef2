// Formats and arguments given to fprintf. The input's first byte chooses how many arguments
// follow and of which class; the rest up to a NUL is the format, and the bytes after it fill
// the arguments. Every input ends in printed text or an error, and leaks no array.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "mexrt/mathlib.h"
#include "mexrt/matrix.h"
#include "mexrt/testing.h"

namespace {

// An argument from the bytes at p: its kind from the first byte, its values after it.
mxArray *argument(const uint8_t *&p, const uint8_t *end) {
  if (p == end) return mxCreateDoubleMatrix(0, 0, mxREAL);
  uint8_t kind = *p++;
  std::size_t n = std::min<std::size_t>(kind >> 3, static_cast<std::size_t>(end - p));
  switch (kind & 7) {
    case 0: {  // text
      std::string s(reinterpret_cast<const char *>(p), n);
      p += n;
      s.erase(std::find(s.begin(), s.end(), '\0'), s.end());
      return mxCreateString(s.c_str());
    }
    case 1: {  // special values
      static const double special[] = {std::nan(""), INFINITY, -INFINITY, -0.0, 1e308, 5e-324};
      mxArray *a = mxCreateDoubleMatrix(1, n, mxREAL);
      for (std::size_t k = 0; k < n; ++k) mxGetPr(a)[k] = special[p[k] % 6];
      p += n;
      return a;
    }
    case 2:  // logical
      return mxCreateLogicalScalar(n & 1);
    case 3: {  // complex
      mxArray *a = mxCreateDoubleMatrix(1, n / 2, mxCOMPLEX);
      for (std::size_t k = 0; k < n / 2; ++k) {
        mxGetPr(a)[k] = static_cast<int8_t>(p[2 * k]) / 4.0;
        mxGetPi(a)[k] = static_cast<int8_t>(p[2 * k + 1]);
      }
      p += n;
      return a;
    }
    case 4: {  // 2 x 1 x 2 and empty 0 x 3
      std::size_t dims[3] = {2, 1, 2};
      if (n == 0) return mxCreateDoubleMatrix(0, 3, mxREAL);
      mxArray *a = mxCreateNumericArray(3, dims, mxDOUBLE_CLASS, mxREAL);
      for (std::size_t k = 0; k < 4; ++k) mxGetPr(a)[k] = k < n ? p[k] : 0;
      p += n;
      return a;
    }
    default: {  // doubles of any bits
      std::size_t count = n / 8;
      mxArray *a = mxCreateDoubleMatrix(count, 1, mxREAL);
      if (count) std::memcpy(mxGetPr(a), p, count * 8);
      p += n;
      return a;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  return std::freopen("/dev/null", "w", stdout) ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0 || size > 2048) return -1;
  const uint8_t *p = data + 1, *end = data + size;
  const uint8_t *nul = static_cast<const uint8_t *>(std::memchr(p, 0, end - p));
  if (!nul) nul = end;
  std::string format(reinterpret_cast<const char *>(p), nul - p);
  p = nul == end ? end : nul + 1;
  std::size_t live = mexrtLiveArrayCount();
  mxArray *fid = mxCreateDoubleScalar(1);
  mxArray *fmt = mxCreateString(format.c_str());
  mxArray *args[3] = {nullptr, nullptr, nullptr};
  std::size_t count = data[0] % 4;
  for (std::size_t k = 0; k < count; ++k) args[k] = argument(p, end);
  try {
    mxArray *r = mlfNFprintf(1, fid, fmt, args[0], args[1], args[2], nullptr);
    mxDestroyArray(r);
  } catch (const std::exception &) {
  }
  for (mxArray *a : args) mxDestroyArray(a);
  mxDestroyArray(fmt);
  mxDestroyArray(fid);
  if (mexrtLiveArrayCount() != live) std::abort();  // an array leaked
  return 0;
}
