// Opening a built module for a benchmark: the module from the build tree's mex/ folder (next
// to bin/, where the benchmark runs from), its builders run, its gateway entry by name.
#pragma once

#include <dlfcn.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "mexrt/records.h"

class BenchModule {
 public:
  explicit BenchModule(const std::string &name) {
    auto exe = std::filesystem::read_symlink("/proc/self/exe");
    auto file = exe.parent_path().parent_path() / "mex" / (name + ".mexa64");
    handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) throw std::runtime_error("cannot open " + file.string() + ": " + dlerror());
    auto mexLibrary = reinterpret_cast<ModuleInfo *(*)()>(dlsym(handle_, "mexLibrary"));
    if (!mexLibrary) throw std::runtime_error(file.string() + " has no mexLibrary");
    info_ = mexLibrary();
    for (int k = 0; k < info_->module_count; ++k) info_->init_term_table[k].initialize();
    for (int k = 0; k < info_->function_count; ++k) {
      if (name == info_->function_table[k].name) entry_ = info_->function_table[k].mlx_entry;
    }
    if (!entry_) throw std::runtime_error(file.string() + " does not serve " + name);
  }
  ~BenchModule() {
    for (int k = info_->module_count; k-- > 0;) info_->init_term_table[k].terminate();
    dlclose(handle_);
  }
  BenchModule(const BenchModule &) = delete;
  BenchModule &operator=(const BenchModule &) = delete;

  // One call with one requested output; the caller owns the result.
  mxArray *call(mxArray *a, mxArray *b) const {
    mxArray *plhs[1] = {nullptr};
    mxArray *prhs[2] = {a, b};
    entry_(1, plhs, 2, prhs);
    return plhs[0];
  }

 private:
  void *handle_ = nullptr;
  ModuleInfo *info_ = nullptr;
  MexGatewayFn entry_ = nullptr;
};
