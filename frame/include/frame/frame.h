// The one shape of a compiled function: its count messages, module constants, gateway and
// direct entries, and the body's prologue, reads and epilogue. Every function unit uses these,
// so a unit holds only its counts, names, constants and statements.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <tuple>
#include <type_traits>

#include "mexrt/error.h"
#include "mexrt/mathlib.h"

#define FRAME_EXPORT __attribute__((visibility("default")))

namespace frame {

// --- Names and messages ---

// A function's name as a template argument: NUL-terminated 8-bit text.
template <std::size_t N>
struct FunctionName {
  char text[N]{};
  constexpr FunctionName(const char (&s)[N]) {  // NOLINT: implicit from a string literal
    for (std::size_t k = 0; k < N; ++k) text[k] = s[k];
  }
  static constexpr std::size_t length = N - 1;
};

// Character codes of a literal, without its terminator, as a unit's `_arrayN_` data.
template <std::size_t N>
constexpr std::array<mxChar, N - 1> codes(const char16_t (&s)[N]) {
  std::array<mxChar, N - 1> out{};
  for (std::size_t k = 0; k + 1 < N; ++k) out[k] = s[k];
  return out;
}

// The argument-count message of a function: the name after "File:" and in quotes after
// "The function", the word "outputs" or "inputs", and the declared count in parentheses.
// With a one-digit count the outputs message has 118 + 2 x (name length) characters.
namespace detail {
inline constexpr char16_t kHead[] = u"Run-time Error: File: ";
inline constexpr char16_t kMiddle[] = u" Line: 1 Column: 1 The function \"";
inline constexpr char16_t kTail[] = u"\" was called with more than the declared number of ";

constexpr std::size_t literalLength(const char16_t *s) {
  std::size_t n = 0;
  while (s[n]) ++n;
  return n;
}
constexpr std::size_t messageLength(std::size_t nameLength, bool outputs) {
  return literalLength(kHead) + literalLength(kMiddle) + literalLength(kTail) + 2 * nameLength +
         (outputs ? 7 : 6) + 5;  // " (k)." around a one-digit count
}
}  // namespace detail

template <FunctionName Name, int Count, bool Outputs>
constexpr auto countMessage() {
  static_assert(Count >= 0 && Count <= 9, "counts are one digit");
  std::array<mxChar, detail::messageLength(Name.length, Outputs)> out{};
  std::size_t at = 0;
  auto put = [&](const char16_t *s) {
    for (std::size_t k = 0; s[k]; ++k) out[at++] = s[k];
  };
  auto putName = [&] {
    for (std::size_t k = 0; k < Name.length; ++k)
      out[at++] = static_cast<unsigned char>(Name.text[k]);
  };
  put(detail::kHead);
  putName();
  put(detail::kMiddle);
  putName();
  put(detail::kTail);
  put(Outputs ? u"outputs" : u"inputs");
  put(u" (");
  out[at++] = static_cast<mxChar>(u'0' + Count);
  put(u").");
  return out;
}

// A function's declared counts and name; its messages follow from them.
template <FunctionName Name, int Inputs, int Outputs>
struct Function {
  static_assert(Outputs == 0 || Outputs == 1, "a function has at most one output");
  static constexpr const char *name = Name.text;
  static constexpr int inputs = Inputs;
  static constexpr int outputs = Outputs;
  static constexpr auto outputsMessage = countMessage<Name, Outputs, true>();
  static constexpr auto inputsMessage = countMessage<Name, Inputs, false>();
};

// --- Module constants ---

// A character-string constant from its codes (mclInitializeString with the count).
template <std::size_t N>
mxArray *string(const std::array<mxChar, N> &codes) {
  return mclInitializeString(static_cast<int>(N), codes.data());
}

// Destroys constants listed in building order, last built first.
inline void destroyInReverse(std::initializer_list<mxArray *> inBuildingOrder) {
  for (auto it = inBuildingOrder.end(); it != inBuildingOrder.begin();) mxDestroyArray(*--it);
}

// --- Calls ---

// Runs call() in the context of one call: entered with the call's inputs and restored on
// every way out. On an error the temporaries made during the call are reclaimed too; the
// error path alone pays for that (no check of pending exceptions on the way out).
template <std::size_t N, class Call>
decltype(auto) inCallContext(const std::array<mxArray *, N> &inputs, Call call) {
  const auto restore = [&inputs] {
    std::apply([](auto... a) { mlfRestorePreviousContext(0, static_cast<int>(N), a...); }, inputs);
  };
  std::apply([](auto... a) { mlfEnterNewContext(0, static_cast<int>(N), a...); }, inputs);
  const std::uint64_t mark = mclTempMark();
  bool restored = false;
  try {
    if constexpr (std::is_void_v<decltype(call())>) {
      call();
      restored = true;
      restore();
    } else {
      decltype(auto) result = call();
      restored = true;
      restore();
      return result;
    }
  } catch (...) {
    if (!restored) restore();
    mclReleaseTempsSince(mark);
    throw;
  }
}

// The gateway entry of a function F with body B: the counts are checked (outputs first),
// the declared input slots filled from the host's inputs (absent beyond nrhs), and the
// body's result stored in the host's first slot, also when nlhs is 0.
template <class F, auto B>
void gateway(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[], mxArray *outputsMessage,
             mxArray *inputsMessage) {
  if (nlhs > F::outputs) mlfError(outputsMessage);
  if (nrhs > F::inputs) mlfError(inputsMessage);
  if ((nrhs > 0 && !prhs) || (F::outputs == 1 && !plhs)) {
    throw mexrt::Error(std::string("The function \"") + F::name +
                       "\" was called without argument or result slots.");
  }
  std::array<mxArray *, F::inputs> in{};
  for (int i = 0; i < F::inputs && i < nrhs; ++i) in[i] = prhs[i];
  if constexpr (F::outputs == 1) {
    plhs[0] =
        inCallContext(in, [&] { return std::apply([&](auto... a) { return B(nlhs, a...); }, in); });
  } else {
    inCallContext(in, [&] { std::apply([](auto... a) { B(a...); }, in); });
  }
}

// The direct entry: the body asked for nargout outputs (1 for mlf entries), its result
// handed on as a temporary through mlfReturnValue.
template <class F, auto B, class... A>
mxArray *direct(int nargout, A... args) {
  static_assert(sizeof...(A) == F::inputs && F::outputs == 1);
  const std::array<mxArray *, F::inputs> in{args...};
  return mlfReturnValue(inCallContext(in, [&] { return B(nargout, args...); }));
}

// The direct entry of a function without outputs.
template <class F, auto B, class... A>
void directVoid(A... args) {
  static_assert(sizeof...(A) == F::inputs && F::outputs == 0);
  inCallContext(std::array<mxArray *, F::inputs>{args...}, [&] { B(args...); });
}

// --- The body ---

// One body variable: its slot, and whether it starts absent instead of uninitialised.
struct Var {
  Var(mxArray **s) : slot(s) {}  // NOLINT: a plain slot starts uninitialised
  mxArray **slot;
  bool startsAbsent = false;
};
inline Var absent(mxArray **slot) {
  Var v(slot);
  v.startsAbsent = true;
  return v;
}

// Prologue and epilogue of a body. The constructor makes the unit's local function table
// current, sets the output and locals (declaration order, output first) and copies the
// inputs; ret() validates the output, destroys locals and copies and restores the table.
// Leaving by an error does the same, the output included, so nothing leaks.
template <class F>
class Body {
 public:
  static constexpr std::size_t kMaxVars = 16;
  static constexpr std::size_t kMaxInputs = 4;

  Body(LocalFunctionTable &table, std::initializer_list<Var> vars,
       std::initializer_list<mxArray **> inputs)
      : saved_(mclSetCurrentLocalFunctionTable(&table)) {
    try {
      for (const Var &v : vars) {
        vars_.at(nvars_++) = v.slot;
        *v.slot = nullptr;
        if (!v.startsAbsent) mlfAssign(v.slot, mclGetUninitializedArray());
      }
      for (mxArray **in : inputs) {
        inputs_.at(ninputs_) = in;
        mclCopyArray(in);
        ++ninputs_;
      }
    } catch (...) {
      release(0);
      mclSetCurrentLocalFunctionTable(saved_);
      throw;
    }
  }
  Body(const Body &) = delete;
  Body &operator=(const Body &) = delete;
  ~Body() {
    if (finished_) return;
    release(0);
    mclSetCurrentLocalFunctionTable(saved_);
  }

  // Epilogue of a one-output body: output validation, then locals (reverse declaration
  // order) and input copies (last input first) destroyed, the table restored.
  mxArray *ret(int nargout, const char *outputName) {
    static_assert(F::outputs == 1);
    mxArray **out = vars_[0];
    if (!*out) {
      mlfAssign(out, mclGetUninitializedArray());
    } else if (nargout >= 1 && mxGetClassID(*out) == mxUNKNOWN_CLASS) {
      mclValidateOutputWarning(outputName, F::name);
    }
    finish(1);
    return *out;
  }

  // Epilogue of a body without outputs.
  void ret() {
    static_assert(F::outputs == 0);
    finish(0);
  }

 private:
  void release(std::size_t firstVar) {
    for (std::size_t k = nvars_; k-- > firstVar;) {
      mxDestroyArray(*vars_[k]);
      *vars_[k] = nullptr;
    }
    for (std::size_t k = ninputs_; k-- > 0;) {
      mxDestroyArray(*inputs_[k]);
      *inputs_[k] = nullptr;
    }
  }
  void finish(std::size_t keep) {
    release(keep);
    mclSetCurrentLocalFunctionTable(saved_);
    finished_ = true;
  }

  LocalFunctionTable *saved_;
  std::array<mxArray **, kMaxVars> vars_{};
  std::array<mxArray **, kMaxInputs> inputs_{};
  std::size_t nvars_ = 0;
  std::size_t ninputs_ = 0;
  bool finished_ = false;
};

}  // namespace frame

// --- Reads of a variable, checked afresh at each use ---

// Value read: absent raises the undefined-input (input) or undefined-variable error; the
// uninitialised value draws the warning and, when the warning says so, an empty array.
inline mxArray *mclValueRead(mxArray *v, int kind, const char *name) {
  if (!v) return mclValidateError(kind, name);
  if (mxGetClassID(v) == mxUNKNOWN_CLASS) {
    return (mclUninitWarning(name) & 0xff) ? mclCreateEmptyArray() : v;
  }
  return v;
}
// Pass-through read: as the value read, but the variable itself is always used.
inline mxArray *mclPassRead(mxArray *v, int kind, const char *name) {
  if (!v) return mclValidateError(kind, name);
  if (mxGetClassID(v) == mxUNKNOWN_CLASS) mclUninitWarning(name);
  return v;
}
inline mxArray *mclVa(mxArray *input, const char *name) { return mclValueRead(input, 0, name); }
inline mxArray *mclVv(mxArray *variable, const char *name) {
  return mclValueRead(variable, 1, name);
}
inline mxArray *mclVsa(mxArray *input, const char *name) { return mclPassRead(input, 0, name); }
inline mxArray *mclVsv(mxArray *variable, const char *name) {
  return mclPassRead(variable, 1, name);
}
