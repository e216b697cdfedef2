// bandsetup through its module: 128 channels at 48 kHz for frame lengths 2^10 to 2^16, the
// time per design and its growth with the number of bins (one loop pass per bin).
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "mexrt/mathlib.h"

namespace {

// The module bandsetup.mexa64 of the build tree (mex/ beside bin/), builders run on open,
// destroyers on close; call() runs the gateway entry of one function by name.
class Module {
 public:
  explicit Module(const char *function) {
    auto exe = std::filesystem::read_symlink("/proc/self/exe");
    auto file = exe.parent_path().parent_path() / "mex" / "bandsetup.mexa64";
    handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) throw std::runtime_error("cannot open " + file.string() + ": " + dlerror());
    auto mexLibrary = reinterpret_cast<ModuleInfo *(*)()>(dlsym(handle_, "mexLibrary"));
    if (!mexLibrary) throw std::runtime_error(file.string() + " has no mexLibrary");
    info_ = mexLibrary();
    for (int k = 0; k < info_->module_count; ++k) info_->init_term_table[k].initialize();
    for (int k = 0; k < info_->function_count; ++k) {
      if (std::string(function) == info_->function_table[k].name) {
        entry_ = info_->function_table[k].mlx_entry;
      }
    }
    if (!entry_) throw std::runtime_error(file.string() + " does not serve " + function);
  }
  ~Module() {
    for (int k = info_->module_count; k-- > 0;) info_->init_term_table[k].terminate();
    dlclose(handle_);
  }
  Module(const Module &) = delete;
  Module &operator=(const Module &) = delete;

  mxArray *call(mxArray *a, mxArray *b, mxArray *c) const {
    mxArray *plhs[1] = {nullptr};
    mxArray *prhs[3] = {a, b, c};
    entry_(1, plhs, 3, prhs);
    return plhs[0];
  }

 private:
  void *handle_ = nullptr;
  ModuleInfo *info_ = nullptr;
  MexGatewayFn entry_ = nullptr;
};

// Standard output sent to /dev/null for the life of the object: each design prints two lines.
class QuietStdout {
 public:
  QuietStdout() : saved_(dup(STDOUT_FILENO)) {
    std::fflush(stdout);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    close(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }
  QuietStdout(const QuietStdout &) = delete;
  QuietStdout &operator=(const QuietStdout &) = delete;

 private:
  int saved_;
};

void BM_Bandsetup(benchmark::State &state) {
  Module module("bandsetup");
  mxArray *framelen = mxCreateDoubleScalar(static_cast<double>(state.range(0)));
  mxArray *numchans = mxCreateDoubleScalar(128);
  mxArray *fsamp = mxCreateDoubleScalar(48000);
  {
    QuietStdout quiet;
    for (auto _ : state) {
      mxArray *fbank = module.call(framelen, numchans, fsamp);
      benchmark::DoNotOptimize(mxGetPr(fbank));
      mxDestroyArray(fbank);
    }
  }
  state.SetComplexityN(state.range(0));
  mxDestroyArray(fsamp);
  mxDestroyArray(numchans);
  mxDestroyArray(framelen);
}
BENCHMARK(BM_Bandsetup)
    ->RangeMultiplier(4)
    ->Range(1 << 10, 1 << 16)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity();

}  // namespace
