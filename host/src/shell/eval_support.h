// What the evaluator's files share: its error, small temporaries, and scopes that own
// arrays or reclaim a statement's temporaries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mexrt/error.h"
#include "mexrt/mathlib.h"

namespace shell::detail {

[[noreturn]] inline void raise(const std::string &message) { throw mexrt::Error(message); }

inline mxArray *logicalTemp(bool v) { return mlfReturnValue(mxCreateLogicalScalar(v)); }

inline mxArray *stringTemp(const std::string &text) {
  return mlfReturnValue(mxCreateString(text.c_str()));
}

// Reclaims the temporaries a statement made if it fails, so an error leaks nothing.
class TempScope {
 public:
  TempScope() : mark_(mclTempMark()) {}
  void release() const { mclReleaseTempsSince(mark_); }

 private:
  std::uint64_t mark_;
};

// Owns an array for a scope (a loop's range, a handle being called); freed on every exit.
class Held {
 public:
  explicit Held(mxArray *a) : a_(mclInitialize(a)) {}
  ~Held() { mxDestroyArray(a_); }
  Held(const Held &) = delete;
  Held &operator=(const Held &) = delete;
  mxArray *get() const { return a_; }

 private:
  mxArray *a_;
};

// Whether a function's last parameter is varargin, which takes the arguments beyond the others.
inline bool takesVarargin(const std::vector<std::string> &params) {
  return !params.empty() && params.back() == "varargin";
}

}  // namespace shell::detail
