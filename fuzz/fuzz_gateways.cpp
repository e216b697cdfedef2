// Random argument lists given to every gateway entry of every module and of zeta: arrays of
// every class (double, logical, char, complex) and shape, NaN, Inf, empty and N-d ones and
// absent (NULL) handles, any nlhs. Every call ends in results or an error and leaks no array.
// The first byte picks the function, the second nlhs and nrhs; each argument takes bytes
// after them.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host/loader.h"
#include "mexrt/graphics.h"
#include "mexrt/matfile.h"
#include "mexrt/mathlib.h"
#include "mexrt/matrix.h"
#include "mexrt/testing.h"
#include "zeta.h"

namespace {

struct Entry {
  MexGatewayFn fn;
  std::string name;
};

host::Loader *g_loader = nullptr;
std::vector<Entry> g_entries;

// Values that stay small, so that a size taken from an argument cannot ask for much memory
// or time, beside the special ones.
double value(uint8_t b) {
  static const double special[] = {NAN, INFINITY, -INFINITY, 0.0, -0.0, 0.5, -1, 1e-300};
  return b >= 248 ? special[b - 248] : static_cast<double>(b % 64) - 8;
}

mxArray *argument(const uint8_t *&p, const uint8_t *end) {
  if (p == end) return nullptr;
  uint8_t kind = *p++;
  std::size_t n = std::min<std::size_t>((kind >> 4) % 9, static_cast<std::size_t>(end - p));
  mxArray *a = nullptr;
  switch (kind & 15) {
    case 0:
      return nullptr;  // absent
    case 1:
      return mxCreateDoubleMatrix(0, 0, mxREAL);
    case 2:
      return mxCreateDoubleMatrix(0, n, mxREAL);
    case 3: {
      std::string s(reinterpret_cast<const char *>(p), n);
      std::replace(s.begin(), s.end(), '\0', ' ');
      a = mxCreateString(s.c_str());
      break;
    }
    case 4:
      a = mxCreateLogicalScalar(n & 1);
      break;
    case 5: {  // complex row
      a = mxCreateDoubleMatrix(1, n, mxCOMPLEX);
      for (std::size_t k = 0; k < n; ++k) {
        mxGetPr(a)[k] = value(p[k]);
        mxGetPi(a)[k] = value(p[k] ^ 0x5a);
      }
      break;
    }
    case 6: {  // N-d
      std::size_t dims[3] = {1 + n % 2, 2, 1 + n / 4};
      a = mxCreateNumericArray(3, dims, mxDOUBLE_CLASS, mxREAL);
      std::size_t count = mxGetNumberOfElements(a);
      for (std::size_t k = 0; k < count; ++k) mxGetPr(a)[k] = k < n ? value(p[k]) : 1;
      break;
    }
    case 7:  // empty text, or logical false
      a = (n & 1) ? mxCreateString("") : mxCreateLogicalScalar(false);
      break;
    case 8:
    case 9: {  // column
      a = mxCreateDoubleMatrix(n, 1, mxREAL);
      for (std::size_t k = 0; k < n; ++k) mxGetPr(a)[k] = value(p[k]);
      break;
    }
    default: {  // scalar or row
      a = mxCreateDoubleMatrix(1, std::max<std::size_t>(n, 1), mxREAL);
      for (std::size_t k = 0; k < std::max<std::size_t>(n, 1); ++k)
        mxGetPr(a)[k] = k < n ? value(p[k]) : value(kind);
      break;
    }
  }
  p += n;
  return a;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  if (!std::freopen("/dev/null", "w", stdout)) return 1;
  zetaInitialize();
  g_entries.push_back({mlxDb, "db"});
  g_loader = new host::Loader;  // kept to the end: unloading runs the destroyers
  g_loader->loadPath({MEXRT_MODULE_DIR});
  for (const host::Module *m : g_loader->modules()) {
    for (const host::FunctionInfo &f : m->functions()) g_entries.push_back({f.entry, f.name});
  }
  mexrt::matfile::setLoadPath({MEXRT_MODULE_DIR});
  // A filterbank of many channels and a long frame asks for gigabytes, which the modules
  // rightly try to allocate; bounded here, that is the out-of-memory error, not a finding.
  mexrtLimitAllocation(std::size_t{64} << 20);
  std::fprintf(stderr, "fuzz_gateways: %zu gateway entries\n", g_entries.size());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2 || size > 512) return -1;
  const Entry &e = g_entries[data[0] % g_entries.size()];
  int nlhs = (data[1] & 3) % 3;
  int nrhs = (data[1] >> 2) % 6;
  const uint8_t *p = data + 2, *end = data + size;
  std::size_t live = mexrtLiveArrayCount();
  mxArray *prhs[6] = {};
  for (int k = 0; k < nrhs; ++k) prhs[k] = argument(p, end);
  mxArray *plhs[3] = {};
  try {
    e.fn(nlhs, plhs, nrhs, prhs);
  } catch (const std::exception &) {
  }
  for (mxArray *a : plhs) mxDestroyArray(a);
  for (mxArray *a : prhs) mxDestroyArray(a);
  mexrt::graphics::clearAll();
  std::fflush(stdout);
  if (mexrtLiveArrayCount() != live) {
    std::fprintf(stderr, "%s leaked %zu arrays\n", e.name.c_str(), mexrtLiveArrayCount() - live);
    std::abort();
  }
  return 0;
}
