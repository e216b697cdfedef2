// Every built module as the host sees it: its record and tables, its version mark, the count
// messages of its functions, one call of each by name, and the constants it builds and frees.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "host/loader.h"
#include "mexrt/error.h"
#include "mexrt/graphics.h"
#include "mexrt/matfile.h"
#include "mexrt/mathlib.h"
#include "mexrt/testing.h"

namespace fs = std::filesystem;

namespace {

// The first output slot after a call.
struct Slot {
  bool filled = true;              // false: the slot is left empty
  mxClassID cls = mxDOUBLE_CLASS;  // mxUNKNOWN_CLASS: the unassigned value
  std::vector<size_t> dims;        // checked when given
  std::vector<double> leading;     // the first elements in storage order
};
const Slot kEmpty{false, mxUNKNOWN_CLASS, {}, {}};
const Slot kUnassigned{true, mxUNKNOWN_CLASS, {}, {}};

// One row of a module's function table and a sample call of it.
struct Function {
  const char *name;
  int inputs, outputs;
  std::vector<std::vector<double>> args;  // each a column, a scalar when it has one value
  std::string displayed;                  // what the call writes to standard output
  Slot withOne, withNone;                 // the first slot after nlhs 1 (if declared) and 0
  std::string withoutLast;                // the error when the last input is left out, if any
};

struct ModuleCase {
  fs::path file;
  const char *version;  // the version mark
  bool note;            // marked by its version note; otherwise by mexVersion and no note
  std::vector<Function> functions;
  size_t constants;  // arrays its builders make
};

std::string report(int numchans, int fftN, int framelen) {
  return "Designing a mel-spaced filterbank with " + std::to_string(numchans) +
         " channels.\nFrame length will be " + std::to_string(fftN) + " (zero padded up from " +
         std::to_string(framelen) + ").\n";
}

std::string undefined(const char *input) {
  return "Input argument \"" + std::string(input) + "\" is undefined.";
}

const std::vector<ModuleCase> &modules() {
  static const double q = std::log(11.0 / 7);
  static const Slot fbank{true, mxDOUBLE_CLASS, {2, 4}, {0, 0, 3 * std::log(8.0 / 7) / q}};
  static const Slot mels{true, mxDOUBLE_CLASS, {1, 1}, {1127 * std::log(2.0)}};
  static const Slot cepstra{true, mxDOUBLE_CLASS, {2, 1}, {std::sqrt(2.0) / 2, 0}};
  static const Slot liftered{true, mxDOUBLE_CLASS, {3, 1}, {10, 5, 0}};  // weights 2, 1, 0
  static const Slot figure{true, mxDOUBLE_CLASS, {1, 1}, {1}};
  static const std::vector<ModuleCase> cases = {
      {MEXRT_BANDSETUP_MODULE,
       "MATLAB R12 native",
       false,
       {{"bandsetup", 3, 1, {{8}, {2}, {800}}, report(2, 8, 8), fbank, fbank, undefined("fsamp")},
        {"assert", 2, 0, {{0}}, "Assert Failure.\n", kEmpty, kEmpty, ""},
        {"mel", 1, 1, {{700}}, "", mels, mels, undefined("freq")}},
       8 + 4 + 5},  // bandsetup, assert, mel
      {MEXRT_CHAN2QF_MODULE,
       "MATLAB R11 native",
       true,
       {{"chan2qf", 2, 1, {{1, 0}, {2}}, "", cepstra, cepstra, undefined("numceps")}},
       7},
      {MEXRT_QUEFWIND_MODULE,
       "MATLAB R11 native",
       true,
       {{"quefwind", 2, 1, {{5, 5, 5}, {2}}, "", liftered, liftered, undefined("lifterl")}},
       6},
      {MEXRT_TONEGRID_MODULE,
       "MATLAB R11 native",
       true,
       {{"tonegrid", 0, 1, {}, "", figure, kUnassigned, ""}},
       70},
  };
  return cases;
}

std::string countMessage(const std::string &name, const char *kind, int count) {
  return "Run-time Error: File: " + name + " Line: 1 Column: 1 The function \"" + name +
         "\" was called with more than the declared number of " + kind + " (" +
         std::to_string(count) + ").";
}

mxArray *column(const std::vector<double> &values) {
  mxArray *a = mxCreateDoubleMatrix(values.size(), 1, mxREAL);
  for (size_t k = 0; k < values.size(); ++k) mxGetPr(a)[k] = values[k];
  return a;
}

std::vector<size_t> dimsOf(const mxArray *a) {
  const size_t *d = mxGetDimensions(a);
  return {d, d + mxGetNumberOfDimensions(a)};
}

void expectSlot(const mxArray *got, const Slot &want, const std::string &what) {
  if (!want.filled) {
    EXPECT_EQ(got, nullptr) << what;
    return;
  }
  ASSERT_NE(got, nullptr) << what;
  ASSERT_EQ(mxGetClassID(got), want.cls) << what;
  if (!want.dims.empty()) {
    ASSERT_EQ(dimsOf(got), want.dims) << what;
  }
  for (size_t k = 0; k < want.leading.size(); ++k) {
    const double tolerance = 1e-15 * std::max(1.0, std::abs(want.leading[k]));
    EXPECT_NEAR(mxGetPr(got)[k], want.leading[k], tolerance) << what << ", element " << k + 1;
  }
}

// A call that leaves out the last input names it, and the failed call leaks nothing.
void expectMissingLast(const host::FunctionInfo &f, std::vector<mxArray *> &prhs,
                       const std::string &expected) {
  mxArray *plhs[1] = {nullptr};
  size_t live = mexrtLiveArrayCount();
  std::string raised;
  testing::internal::CaptureStdout();  // what the body shows before it fails
  try {
    host::Loader::call(f, 1, plhs, static_cast<int>(prhs.size()) - 1, prhs.data());
  } catch (const mexrt::Error &e) {
    raised = e.what();
  }
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(raised, expected) << f.name;
  EXPECT_EQ(plhs[0], nullptr) << f.name;
  EXPECT_EQ(mexrtLiveArrayCount(), live) << f.name;
}

TEST(Modules, RecordsAndTables) {
  for (const ModuleCase &c : modules()) {
    const std::string file = c.file.filename().string();
    host::Loader loader;
    const host::Module &m = loader.load(c.file);
    const ModuleInfo &r = m.record();
    EXPECT_EQ(r.record_version, 1) << file;
    EXPECT_EQ(r.reserved1 | r.reserved2 | r.reserved3 | r.reserved4, 0) << file;
    const int count = static_cast<int>(c.functions.size());
    ASSERT_EQ(r.function_count, count) << file;
    ASSERT_EQ(r.module_count, count) << file;
    for (int k = 0; k < count; ++k) {
      const Function &want = c.functions[k];
      const FunctionTableEntry &row = r.function_table[k];
      EXPECT_STREQ(row.name, want.name) << file << " row " << k + 1;
      EXPECT_EQ(row.declared_inputs, want.inputs) << want.name;
      EXPECT_EQ(row.declared_outputs, want.outputs) << want.name;
      ASSERT_NE(row.local_table, nullptr) << want.name;
      EXPECT_EQ(row.local_table->entry_count, 0) << want.name;
      EXPECT_EQ(row.local_table->entries, nullptr) << want.name;
      EXPECT_NE(r.init_term_table[k].initialize, nullptr) << want.name;
      EXPECT_NE(r.init_term_table[k].terminate, nullptr) << want.name;
      const host::FunctionInfo *f = loader.find(want.name);
      ASSERT_NE(f, nullptr) << want.name;
      EXPECT_EQ(f->entry, row.mlx_entry) << want.name;
    }

    // The loader's copy of the file is the one mexLibrary answers from, every call alike.
    void *so = dlopen(fs::canonical(c.file).c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(so, nullptr) << file;
    auto mexLibrary = reinterpret_cast<ModuleInfo *(*)()>(dlsym(so, "mexLibrary"));
    ASSERT_NE(mexLibrary, nullptr) << file;
    ModuleInfo *first = mexLibrary();
    EXPECT_EQ(first, &r) << file;
    EXPECT_EQ(mexLibrary(), first) << file;
    dlclose(so);
  }
}

TEST(Modules, VersionMarks) {
  for (const ModuleCase &c : modules()) {
    const std::string file = c.file.filename().string();
    host::Loader loader;
    EXPECT_EQ(loader.load(c.file).version(), c.version) << file;
    auto strings = host::readVersionNote(c.file);
    if (!c.note) {
      EXPECT_FALSE(strings) << file << " carries a note";
      continue;
    }
    ASSERT_TRUE(strings) << file;
    ASSERT_EQ(strings->size(), 16u) << file;
    for (int id = 96; id < 112; ++id) {
      const char *expected = id == 100 ? c.version : id == 101 ? "not inlined" : "";
      EXPECT_EQ((*strings)[id - 96], expected) << file << " string " << id;
    }
  }
}

TEST(Modules, CountsAboveTheDeclaredOnesRaiseTheFunctionsMessages) {
  mxArray *x = mxCreateDoubleScalar(8);
  for (const ModuleCase &c : modules()) {
    host::Loader loader;
    loader.load(c.file);
    for (const Function &fn : c.functions) {
      const std::string outputs = countMessage(fn.name, "outputs", fn.outputs);
      const std::string inputs = countMessage(fn.name, "inputs", fn.inputs);
      const struct {
        int nlhs, nrhs;
        const std::string &expected;
      } cases[] = {
          {fn.outputs + 1, fn.inputs, outputs},
          {fn.outputs, fn.inputs + 1, inputs},
          {fn.outputs + 1, fn.inputs + 1, outputs},  // outputs are checked first
          {fn.outputs + 4, 0, outputs},
      };
      for (const auto &k : cases) {
        const std::string what =
            std::string(fn.name) + " " + std::to_string(k.nlhs) + "/" + std::to_string(k.nrhs);
        mxArray *plhs[5] = {};
        mxArray *prhs[4] = {x, x, x, x};
        size_t live = mexrtLiveArrayCount();
        testing::internal::CaptureStdout();
        std::string raised;
        try {
          host::Loader::call(*loader.find(fn.name), k.nlhs, plhs, k.nrhs, prhs);
        } catch (const mexrt::Error &e) {
          raised = e.what();
        }
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << what << ": the body ran";
        EXPECT_EQ(raised, k.expected) << what;
        for (mxArray *slot : plhs) EXPECT_EQ(slot, nullptr) << what << ": a slot filled";
        EXPECT_EQ(mexrtLiveArrayCount(), live) << what;
      }
    }
  }
  mxDestroyArray(x);
}

TEST(Modules, EachFunctionAnswersByName) {
  for (const ModuleCase &c : modules()) {
    host::Loader loader;
    loader.load(c.file);
    mexrt::matfile::setLoadPath({c.file.parent_path().string()});  // data files beside it
    for (const Function &fn : c.functions) {
      std::vector<mxArray *> prhs;
      for (const auto &a : fn.args) prhs.push_back(column(a));
      for (int nlhs = std::min(fn.outputs, 1); nlhs >= 0; --nlhs) {
        const std::string what = std::string(fn.name) + " with nlhs " + std::to_string(nlhs);
        mexrt::graphics::clearAll();
        mxArray *plhs[1] = {nullptr};
        testing::internal::CaptureStdout();
        host::Loader::call(*loader.find(fn.name), nlhs, fn.outputs ? plhs : nullptr,
                           static_cast<int>(prhs.size()), prhs.data());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), fn.displayed) << what;
        expectSlot(plhs[0], nlhs ? fn.withOne : fn.withNone, what);
        mxDestroyArray(plhs[0]);
      }
      if (!fn.withoutLast.empty()) expectMissingLast(*loader.find(fn.name), prhs, fn.withoutLast);
      for (mxArray *a : prhs) mxDestroyArray(a);
    }
    mexrt::graphics::clearAll();
    mexrt::matfile::setLoadPath({});
  }
}

// Each function with its n-th allocation made to fail, for n from 1 until the call succeeds:
// every failure is the "Out of memory" error, leaks nothing, and the next call succeeds.
TEST(Modules, EveryFailedAllocationIsOutOfMemory) {
  for (const ModuleCase &c : modules()) {
    host::Loader loader;
    loader.load(c.file);
    mexrt::matfile::setLoadPath({c.file.parent_path().string()});
    for (const Function &fn : c.functions) {
      std::vector<mxArray *> prhs;
      for (const auto &a : fn.args) prhs.push_back(column(a));
      const host::FunctionInfo &f = *loader.find(fn.name);
      auto call = [&](size_t failAt) {
        mexrt::graphics::clearAll();
        size_t live = mexrtLiveArrayCount();
        mxArray *plhs[1] = {nullptr};
        std::string raised;
        testing::internal::CaptureStdout();
        mexrtFailAllocation(failAt);
        try {
          host::Loader::call(f, std::min(fn.outputs, 1), fn.outputs ? plhs : nullptr,
                             static_cast<int>(prhs.size()), prhs.data());
        } catch (const mexrt::Error &e) {
          raised = e.what();
        }
        mexrtFailAllocation(0);
        testing::internal::GetCapturedStdout();
        mxDestroyArray(plhs[0]);
        mexrt::graphics::clearAll();
        EXPECT_EQ(mexrtLiveArrayCount(), live) << fn.name << " failing at allocation " << failAt;
        return raised;
      };
      size_t failAt = 1;
      for (std::string raised; !(raised = call(failAt)).empty(); ++failAt) {
        EXPECT_NE(raised.find("Out of memory"), std::string::npos)
            << fn.name << " failing at allocation " << failAt << ": " << raised;
        EXPECT_EQ(call(0), "") << fn.name << " after a failure at allocation " << failAt;
        ASSERT_LT(failAt, 100000u) << fn.name;
      }
      std::cout << fn.name << ": " << failAt - 1 << " failure points\n";
      for (mxArray *a : prhs) mxDestroyArray(a);
    }
    mexrt::matfile::setLoadPath({});
  }
}

// bandsetup asked for 2^22 channels of a 1024-point filterbank needs 16 GiB; under the
// fuzzer's bound on element buffers that is the out-of-memory error, with nothing leaked.
TEST(Modules, AFilterbankBeyondTheAllocationBoundIsOutOfMemory) {
  const ModuleCase &c = modules().front();
  ASSERT_EQ(c.functions.front().name, std::string("bandsetup"));
  host::Loader loader;
  loader.load(c.file);
  std::vector<mxArray *> prhs = {column({1000}), column({4194304}), column({16000})};
  size_t live = mexrtLiveArrayCount();
  mxArray *plhs[1] = {nullptr};
  std::string raised;
  mexrtLimitAllocation(std::size_t{64} << 20);
  testing::internal::CaptureStdout();
  try {
    host::Loader::call(*loader.find("bandsetup"), 1, plhs, 3, prhs.data());
  } catch (const mexrt::Error &e) {
    raised = e.what();
  }
  testing::internal::GetCapturedStdout();
  mexrtLimitAllocation(0);
  EXPECT_NE(raised.find("Out of memory: cannot allocate"), std::string::npos) << raised;
  EXPECT_EQ(plhs[0], nullptr);
  EXPECT_EQ(mexrtLiveArrayCount(), live);
  for (mxArray *a : prhs) mxDestroyArray(a);
}

TEST(Modules, UnloadingDestroysExactlyTheConstants) {
  for (const ModuleCase &c : modules()) {
    const std::string file = c.file.filename().string();
    size_t before = mexrtLiveArrayCount();
    {
      host::Loader loader;
      loader.load(c.file);
      EXPECT_EQ(mexrtLiveArrayCount(), before + c.constants) << file;
    }
    EXPECT_EQ(mexrtLiveArrayCount(), before) << file;
  }
}

}  // namespace
