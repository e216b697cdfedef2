// The built module bandsetup.mexa64 as the host sees it: its record and tables, its version,
// its export set, and every function called by name through the loader.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "host/loader.h"
#include "mexrt/error.h"
#include "mexrt/mathlib.h"
#include "mexrt/testing.h"

namespace {

const std::filesystem::path kModule = MEXRT_BANDSETUP_MODULE;

std::string message(const std::string &name, const char *kind, int count) {
  return "Run-time Error: File: " + name + " Line: 1 Column: 1 The function \"" + name +
         "\" was called with more than the declared number of " + kind + " (" +
         std::to_string(count) + ").";
}

TEST(Module, RecordAndTables) {
  host::Loader loader;
  const host::Module &m = loader.load(kModule);
  const ModuleInfo &r = m.record();
  EXPECT_EQ(r.record_version, 1);
  EXPECT_EQ(r.function_count, 3);
  EXPECT_EQ(r.module_count, 3);
  EXPECT_EQ(r.reserved1 | r.reserved2 | r.reserved3 | r.reserved4, 0);
  const struct {
    const char *name;
    int inputs, outputs;
  } rows[] = {{"bandsetup", 3, 1}, {"assert", 2, 0}, {"mel", 1, 1}};
  for (int k = 0; k < 3; ++k) {
    const FunctionTableEntry &row = r.function_table[k];
    EXPECT_STREQ(row.name, rows[k].name) << "row " << k + 1;
    EXPECT_EQ(row.declared_inputs, rows[k].inputs) << rows[k].name;
    EXPECT_EQ(row.declared_outputs, rows[k].outputs) << rows[k].name;
    ASSERT_NE(row.local_table, nullptr) << rows[k].name;
    EXPECT_EQ(row.local_table->entry_count, 0) << rows[k].name;
    EXPECT_EQ(row.local_table->entries, nullptr) << rows[k].name;
    EXPECT_NE(r.init_term_table[k].initialize, nullptr) << rows[k].name;
    EXPECT_NE(r.init_term_table[k].terminate, nullptr) << rows[k].name;
    const host::FunctionInfo *f = loader.find(rows[k].name);
    ASSERT_NE(f, nullptr) << rows[k].name;
    EXPECT_EQ(f->entry, row.mlx_entry) << rows[k].name;
  }
  EXPECT_EQ(m.version(), "MATLAB R12 native");
}

TEST(Module, ExportsExactlyMexLibraryAndMexVersion) {
  std::string command = "nm -D --defined-only --format=posix '" + kModule.string() + "'";
  std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen(command.c_str(), "r"), pclose);
  ASSERT_TRUE(pipe);
  std::set<std::string> names;
  char line[512];
  while (std::fgets(line, sizeof line, pipe.get())) {
    std::istringstream fields(line);
    std::string name;
    if (fields >> name) names.insert(name);
  }
  EXPECT_EQ(names, (std::set<std::string>{"mexLibrary", "mexVersion"}));
}

TEST(Module, CountsAboveTheDeclaredOnesRaiseTheFunctionsMessages) {
  host::Loader loader;
  loader.load(kModule);
  const struct {
    const char *name;
    int nlhs, nrhs;
    std::string expected;
  } cases[] = {
      {"bandsetup", 2, 3, message("bandsetup", "outputs", 1)},
      {"bandsetup", 1, 4, message("bandsetup", "inputs", 3)},
      {"bandsetup", 2, 4, message("bandsetup", "outputs", 1)},
      {"assert", 1, 1, message("assert", "outputs", 0)},
      {"assert", 0, 3, message("assert", "inputs", 2)},
      {"assert", 1, 3, message("assert", "outputs", 0)},
      {"mel", 2, 1, message("mel", "outputs", 1)},
      {"mel", 1, 2, message("mel", "inputs", 1)},
      {"mel", 2, 2, message("mel", "outputs", 1)},
  };
  mxArray *x = mxCreateDoubleScalar(8);
  for (const auto &c : cases) {
    const host::FunctionInfo *f = loader.find(c.name);
    ASSERT_NE(f, nullptr) << c.name;
    mxArray *plhs[2] = {nullptr, nullptr};
    mxArray *prhs[4] = {x, x, x, x};
    size_t live = mexrtLiveArrayCount();
    testing::internal::CaptureStdout();
    std::string raised;
    try {
      host::Loader::call(*f, c.nlhs, plhs, c.nrhs, prhs);
    } catch (const mexrt::Error &e) {
      raised = e.what();
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << c.name << " ran its body";
    EXPECT_EQ(raised, c.expected) << c.name << " " << c.nlhs << "/" << c.nrhs;
    EXPECT_EQ(plhs[0], nullptr) << c.name;
    EXPECT_EQ(mexrtLiveArrayCount(), live) << c.name;
  }
  mxDestroyArray(x);
}

TEST(Module, EachFunctionAnswersByName) {
  host::Loader loader;
  loader.load(kModule);
  mxArray *framelen = mxCreateDoubleScalar(8), *numchans = mxCreateDoubleScalar(2),
          *fsamp = mxCreateDoubleScalar(800), *zero = mxCreateDoubleScalar(0),
          *hz = mxCreateDoubleScalar(700);

  mxArray *out[1] = {nullptr};
  mxArray *designArgs[3] = {framelen, numchans, fsamp};
  testing::internal::CaptureStdout();
  host::Loader::call(*loader.find("bandsetup"), 1, out, 3, designArgs);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Designing a mel-spaced filterbank with 2 channels.\n"
            "Frame length will be 8 (zero padded up from 8).\n");
  ASSERT_NE(out[0], nullptr);
  EXPECT_EQ(mxGetM(out[0]), 2u);
  EXPECT_EQ(mxGetN(out[0]), 4u);
  mxDestroyArray(out[0]);

  mxArray *melArgs[1] = {hz};
  host::Loader::call(*loader.find("mel"), 0, out, 1, melArgs);  // slot filled with nlhs 0
  ASSERT_NE(out[0], nullptr);
  EXPECT_NEAR(mxGetPr(out[0])[0], 1127 * std::log(2.0), 1e-9);
  mxDestroyArray(out[0]);

  mxArray *assertArgs[1] = {zero};
  testing::internal::CaptureStdout();
  host::Loader::call(*loader.find("assert"), 0, nullptr, 1, assertArgs);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Assert Failure.\n");

  for (mxArray *a : {framelen, numchans, fsamp, zero, hz}) mxDestroyArray(a);
}

TEST(Module, UnloadingDestroysEveryConstant) {
  size_t before = mexrtLiveArrayCount();
  {
    host::Loader loader;
    loader.load(kModule);
    EXPECT_EQ(mexrtLiveArrayCount(), before + 8 + 4 + 5) << "constants of the three units";
  }
  EXPECT_EQ(mexrtLiveArrayCount(), before);
}

}  // namespace
