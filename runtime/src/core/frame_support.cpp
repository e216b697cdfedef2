// What the call frame of a compiled function needs from the library: module constants,
// contexts, variables and their assignment, scalars, the bounds of for loops, errors,
// warnings and library initialisation.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <vector>

#include "core/array.h"
#include "core/utf8.h"
#include "mexrt/mathlib.h"

namespace mexrt::detail {
extern mexrtTextSink warningSink;  // set by mexrtSetTextSinks (printops.cpp)
extern void *sinkContext;
}  // namespace mexrt::detail

using namespace mexrt::detail;

namespace {

// Each thread runs its own calls: the table of the function running and the contexts entered
// are the thread's.
thread_local LocalFunctionTable *t_currentTable __attribute__((tls_model("initial-exec"))) =
    nullptr;

std::string textOf(const Array *a) {
  if (!a || !a->isChar()) return {};
  return toUtf8({a->chars(), a->numel()});
}

}  // namespace

extern "C" {

// --- Module constants ---

mxArray *mclInitializeString(int count, const mxChar *codes) {
  if (count < 0 || (count > 0 && !codes)) raise("mclInitializeString: bad character data.");
  return newString({codes, static_cast<std::size_t>(count)});
}

mxArray *mclInitializeDouble(double value) { return newScalar(value); }

mxArray *mclInitializeDoubleVector(int rows, int cols, const double *values) {
  if (rows < 0 || cols < 0) raise("mclInitializeDoubleVector: negative size.");
  Array *a = newDouble(static_cast<std::size_t>(rows), static_cast<std::size_t>(cols));
  std::size_t n = a->numel();
  if (n) {
    if (!values) {
      destroy(a);
      raise("mclInitializeDoubleVector: the values are missing.");
    }
    std::memcpy(a->mutableReals(), values, n * sizeof(double));
  }
  return a;
}

mxArray *mclInitializeCharVector(int rows, int cols, const mxChar *codes) {
  if (rows < 0 || cols < 0) raise("mclInitializeCharVector: negative size.");
  Array *a =
      newArray(mxCHAR_CLASS, Dims(static_cast<std::size_t>(rows), static_cast<std::size_t>(cols)));
  std::size_t n = a->numel();
  if (n) {
    if (!codes) {
      destroy(a);
      raise("mclInitializeCharVector: the characters are missing.");
    }
    std::memcpy(a->mutableChars(), codes, n * sizeof(mxChar));
  }
  return a;
}

// --- Contexts ---

// A call's temporaries are reclaimed on an error from the mark the caller takes
// (mclTempMark); entering keeps nothing of its own.
void mlfEnterNewContext(int /*nout*/, int /*nin*/, ...) {}

void mlfRestorePreviousContext(int /*nout*/, int nin, ...) {
  // Inputs handed over as temporaries were the caller's results passed straight in:
  // the call has used them (the body works on copies), so they are reclaimed here.
  std::va_list ap;
  va_start(ap, nin);
  mxArray *seen[16];
  int nseen = 0;
  for (int k = 0; k < nin; ++k) {
    mxArray *a = va_arg(ap, mxArray *);
    if (!a || !a->temporary) continue;
    bool again = false;
    for (int s = 0; s < nseen; ++s) again = again || seen[s] == a;
    if (again) continue;
    if (nseen < 16) seen[nseen++] = a;
    destroy(a);
  }
  va_end(ap);
}

mxArray *mlfReturnValue(mxArray *a) { return temp(a); }

LocalFunctionTable *mclSetCurrentLocalFunctionTable(LocalFunctionTable *table) {
  LocalFunctionTable *previous = t_currentTable;
  t_currentTable = table;
  return previous;
}

LocalFunctionTable *mclGetCurrentLocalFunctionTable(void) { return t_currentTable; }

// --- Variables ---

mxArray *mclGetUninitializedArray(void) { return temp(newArray(mxUNKNOWN_CLASS, Dims(0, 0))); }

void mclCopyArray(mxArray **a) {
  if (a && *a) *a = shareOf(*a);
}

mxArray *mclCreateEmptyArray(void) { return temp(newDouble(0, 0)); }

mxArray *mlfScalar(double value) { return temp(newScalar(value)); }

void mlfAssign(mxArray **var, mxArray *a) {
  if (!var) raise("mlfAssign: no variable to assign to.");
  mxArray *old = *var;
  mxArray *kept = nullptr;
  if (a) {
    if (a->temporary) {
      untemp(a);
      kept = a;
    } else {
      kept = shareOf(a);
    }
  }
  *var = kept;
  if (old != kept) destroy(old);
}

void mclAssignAns(mxArray **ans, mxArray *a) {
  if (a) mlfAssign(ans, a);
}

int mclNargin(int count, ...) {
  std::va_list ap;
  va_start(ap, count);
  int present = 0;
  for (int k = 0; k < count; ++k) present += va_arg(ap, mxArray *) != nullptr;
  va_end(ap);
  return present;
}

mxArray *mclVe(mxArray *a) { return a; }

uint64_t mclTempMark(void) { return tempMark(); }

void mclReleaseTempsSince(uint64_t mark) { releaseTempsSince(mark); }

mxArray *mclInitialize(mxArray *a) {
  if (!a) return nullptr;
  if (a->temporary) {
    untemp(a);
    return a;
  }
  return shareOf(a);
}

// --- Loops ---

int mclForIntStart(int start) { return start; }

int mclForIntEnd(mxArray *end) {
  Operand e(end, "for loop bound");
  if (e->isEmpty()) return INT_MIN;
  double v = e->number(0);
  if (std::isnan(v) || v == -std::numeric_limits<double>::infinity()) return INT_MIN;
  if (v == std::numeric_limits<double>::infinity()) raise("for loop bound too large: Inf.");
  // The loop variable steps past its bound once, so the bound stays below INT_MAX.
  double f = std::floor(v);
  if (f >= static_cast<double>(INT_MAX) - 1) return INT_MAX - 1;
  if (f <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(f);
}

// --- Errors and warnings ---

void mlfError(mxArray *message) {
  std::string text = textOf(message);
  if (message && !message->isChar() && !message->isUninit()) text = "Error message is not text.";
  if (message && message->temporary) destroy(message);
  throw mexrt::Error(std::move(text));
}

mxArray *mclValidateError(int kind, const char *name) {
  std::string n = name ? name : "?";
  if (kind == 0) throw mexrt::Error("Input argument \"" + n + "\" is undefined.");
  throw mexrt::Error("Variable \"" + n + "\" is undefined.");
}

int mclUninitWarning(const char *name) {
  std::string text =
      std::string("Variable \"") + (name ? name : "?") + "\" may be used before it is defined.";
  mclWarning(text.c_str());
  return 1;
}

void mclValidateOutputWarning(const char *output, const char *function) {
  std::string text = std::string("Output argument \"") + (output ? output : "?") +
                     "\" was not assigned during the call to \"" + (function ? function : "?") +
                     "\".";
  mclWarning(text.c_str());
}

void mclWarning(const char *utf8) {
  if (mexrt::detail::warningSink) {
    const char *text = utf8 ? utf8 : "";
    mexrt::detail::warningSink(mexrt::detail::sinkContext, text, std::strlen(text));
    return;
  }
  std::fflush(stdout);  // keep the warning in its place among printed lines
  std::fprintf(stderr, "Warning: %s\n", utf8 ? utf8 : "");
  std::fflush(stderr);
}

// --- Library initialisation ---

namespace {

// The libraries initialised and not yet terminated, for hosts to serve.
struct Libraries {
  std::mutex mutex;
  std::vector<ModuleInfo *> records;
};
Libraries &libraries() {
  static Libraries *l = new Libraries;  // never destroyed: libraries may end at exit
  return *l;
}

}  // namespace

void mclLibInit(int32_t *reference_count, ModuleInfo *info) {
  if (!reference_count || !info) raise("mclLibInit: missing reference count or record.");
  if (info->record_version != MEXRT_RECORD_VERSION) {
    raise("mclLibInit: the library's record has version " + std::to_string(info->record_version) +
          "; this runtime reads version 1.");
  }
  if ((*reference_count)++ > 0) return;  // nested initialise: count only
  int built = 0;
  try {
    for (; built < info->module_count; ++built) {
      if (info->init_term_table[built].initialize) info->init_term_table[built].initialize();
    }
  } catch (...) {
    // Undo what was built, so a failed initialise leaves nothing behind.
    while (built-- > 0) {
      if (info->init_term_table[built].terminate) info->init_term_table[built].terminate();
    }
    *reference_count = 0;
    throw;
  }
  std::lock_guard<std::mutex> lock(libraries().mutex);
  libraries().records.push_back(info);
}

namespace {
std::mutex g_openModulesLock;
std::map<const ModuleInfo *, int> g_openModules;
}  // namespace

int mexrtModuleOpen(const ModuleInfo *info) {
  std::lock_guard lock(g_openModulesLock);
  return ++g_openModules[info];
}

int mexrtModuleClose(const ModuleInfo *info) {
  std::lock_guard lock(g_openModulesLock);
  auto at = g_openModules.find(info);
  if (at == g_openModules.end()) return 0;
  int left = --at->second;
  if (left <= 0) g_openModules.erase(at);
  return left;
}

void mclLibTerm(int32_t *reference_count, ModuleInfo *info) {
  if (!reference_count || !info || *reference_count <= 0) return;  // never initialised
  if (--*reference_count > 0) return;
  {
    std::lock_guard<std::mutex> lock(libraries().mutex);
    std::erase(libraries().records, info);
  }
  for (int k = info->module_count; k-- > 0;) {
    if (info->init_term_table[k].terminate) info->init_term_table[k].terminate();
  }
}

size_t mexrtInitializedLibraries(ModuleInfo **out, size_t max) {
  std::lock_guard<std::mutex> lock(libraries().mutex);
  const std::vector<ModuleInfo *> &r = libraries().records;
  if (out) std::copy_n(r.begin(), std::min(max, r.size()), out);
  return r.size();
}

}  // extern "C"
