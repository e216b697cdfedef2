// The toolbox's modules, loaded once per process from the folder installed beside this
// library (lib/mex, or mex/ beside lib/ in the build tree; MELCEPS_MODULE_PATH first).
#include "toolbox.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>

#include "frames.h"
#include "host/loader.h"
#include "melceps/features.h"
#include "mexrt/error.h"
#include "mexrt/mathlib.h"
#include "mexrt/matrix.h"

namespace melceps::toolbox {
namespace fs = std::filesystem;
namespace {

std::vector<fs::path> moduleFolders() {
  std::vector<fs::path> folders;
  if (const char *extra = std::getenv("MELCEPS_MODULE_PATH")) {
    std::string list(extra);
    for (size_t at = 0; at <= list.size();) {
      size_t end = list.find(':', at);
      if (end == std::string::npos) end = list.size();
      if (end > at) folders.emplace_back(list.substr(at, end - at));
      at = end + 1;
    }
  }
  Dl_info info{};
  if (dladdr(reinterpret_cast<void *>(&moduleFolders), &info) && info.dli_fname) {
    fs::path here = fs::path(info.dli_fname).parent_path();
    folders.push_back(here / "mex");                // installed: lib/mex beside lib/libmelceps.so
    folders.push_back(here.parent_path() / "mex");  // build tree: build/mex beside build/lib
  }
  return folders;
}

std::mutex g_lock;
host::Loader *g_loader = nullptr;  // lives as long as the process: its modules stay loaded

void dropText(void *, const char *, size_t) {}

// Frees the arrays of one call, and silences the thread's printed text while it runs.
struct Call {
  std::vector<mxArray *> args;
  mxArray *result = nullptr;
  uint64_t mark = mclTempMark();
  Call() { mexrtSetThreadOutputSink(dropText, nullptr); }
  ~Call() {
    mexrtSetThreadOutputSink(nullptr, nullptr);
    for (mxArray *a : args) mxDestroyArray(a);
    mxDestroyArray(result);
  }
};

// Calls a toolbox function by name for one result, as a numbers x columns matrix.
std::vector<double> callFunction(const char *name, Call &call, size_t rows, size_t cols) {
  std::lock_guard lock(g_lock);
  if (!g_loader) {
    // Only the modules the front end calls, each from the first folder that has it.
    auto *loader = new host::Loader();
    const std::vector<fs::path> folders = moduleFolders();
    for (const char *module : {"bandsetup", "chan2qf", "quefwind"}) {
      for (const fs::path &folder : folders) {
        std::error_code ec;
        const fs::path file = folder / (std::string(module) + ".mexa64");
        if (!fs::is_regular_file(file, ec)) continue;
        uint64_t mark = mclTempMark();
        try {
          loader->load(file);
          break;
        } catch (const std::exception &) {
          mclReleaseTempsSince(mark);  // an unloadable file: the next folder may have one
        }
      }
    }
    g_loader = loader;
  }
  const host::FunctionInfo *f = g_loader->find(name);
  if (!f) {
    throw Error(std::string("The toolbox's function ") + name +
                " was not found: its module is not installed beside libmelceps "
                "(set MELCEPS_MODULE_PATH to the folder of the .mexa64 files).");
  }
  try {
    host::Loader::call(*f, 1, &call.result, static_cast<int>(call.args.size()), call.args.data());
  } catch (const std::exception &e) {
    mclReleaseTempsSince(call.mark);
    throw Error(std::string(name) + ": " + e.what());
  }
  if (!call.result || mxGetClassID(call.result) != mxDOUBLE_CLASS || mxIsComplex(call.result) ||
      mxGetM(call.result) != rows || mxGetN(call.result) != cols) {
    throw Error(std::string("The toolbox's function ") + name + " gave a result of another shape.");
  }
  // Column-major to row-major.
  std::vector<double> out(rows * cols);
  const double *p = mxGetPr(call.result);
  for (size_t c = 0; c < cols; ++c) {
    for (size_t r = 0; r < rows; ++r) out[r * cols + c] = p[c * rows + r];
  }
  return out;
}

}  // namespace

std::vector<double> bandsetup(int64_t framelen, int64_t numchans, double fs) {
  Call call;
  call.args = {mxCreateDoubleScalar(static_cast<double>(framelen)),
               mxCreateDoubleScalar(static_cast<double>(numchans)), mxCreateDoubleScalar(fs)};
  return callFunction("bandsetup", call, numchans, nextPowerOfTwo(framelen) / 2);
}

std::vector<double> mel(std::span<const double> hz) {
  Call call;
  call.args = {mxCreateDoubleMatrix(1, hz.size(), mxREAL)};
  std::copy(hz.begin(), hz.end(), mxGetPr(call.args[0]));
  return callFunction("mel", call, 1, hz.size());
}

std::vector<double> cosineTransform(int64_t numchans, int64_t numceps) {
  Call call;
  call.args = {mxCreateDoubleMatrix(numchans, numchans, mxREAL),
               mxCreateDoubleScalar(static_cast<double>(numceps))};
  double *eye = mxGetPr(call.args[0]);
  for (int64_t k = 0; k < numchans; ++k) eye[k * numchans + k] = 1.0;
  return callFunction("chan2qf", call, numceps, numchans);
}

std::vector<double> lifterWeights(int64_t numceps, double L) {
  Call call;
  call.args = {mxCreateDoubleMatrix(numceps, 1, mxREAL), mxCreateDoubleScalar(L)};
  std::fill_n(mxGetPr(call.args[0]), numceps, 1.0);
  return callFunction("quefwind", call, numceps, 1);
}

}  // namespace melceps::toolbox
