// Opening a built module for a benchmark: the module from the build tree's mex/ folder (next
// to bin/, where the benchmark runs from), its builders run, a function's gateway entry by name.
#pragma once

#include <dlfcn.h>

#include <concepts>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "mexrt/records.h"

class BenchModule {
 public:
  // The module NAME.mexa64 and its function FUNCTION (by default the one of the same name).
  explicit BenchModule(const std::string &name, std::string function = {}) {
    if (function.empty()) function = name;
    auto exe = std::filesystem::read_symlink("/proc/self/exe");
    auto file = exe.parent_path().parent_path() / "mex" / (name + ".mexa64");
    handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) throw std::runtime_error("cannot open " + file.string() + ": " + dlerror());
    auto mexLibrary = reinterpret_cast<ModuleInfo *(*)()>(dlsym(handle_, "mexLibrary"));
    if (!mexLibrary) throw std::runtime_error(file.string() + " has no mexLibrary");
    info_ = mexLibrary();
    for (int k = 0; k < info_->module_count; ++k) info_->init_term_table[k].initialize();
    for (int k = 0; k < info_->function_count; ++k) {
      if (function == info_->function_table[k].name) entry_ = info_->function_table[k].mlx_entry;
    }
    if (!entry_) throw std::runtime_error(file.string() + " does not serve " + function);
  }
  ~BenchModule() {
    for (int k = info_->module_count; k-- > 0;) info_->init_term_table[k].terminate();
    dlclose(handle_);
  }
  BenchModule(const BenchModule &) = delete;
  BenchModule &operator=(const BenchModule &) = delete;

  // One call with these inputs and one requested output; the caller owns the result.
  template <std::same_as<mxArray *>... A>
  mxArray *call(A... inputs) const {
    mxArray *plhs[1] = {nullptr};
    mxArray *prhs[sizeof...(A) + 1] = {inputs..., nullptr};  // + 1: an array also for none
    entry_(1, plhs, static_cast<int>(sizeof...(A)), prhs);
    return plhs[0];
  }
  // One call with these inputs and no output requested, for a function that declares none.
  template <std::same_as<mxArray *>... A>
  void callForEffect(A... inputs) const {
    mxArray *prhs[sizeof...(A) + 1] = {inputs..., nullptr};
    entry_(0, nullptr, static_cast<int>(sizeof...(A)), prhs);
  }

 private:
  void *handle_ = nullptr;
  ModuleInfo *info_ = nullptr;
  MexGatewayFn entry_ = nullptr;
};
