// The built module quefwind.mexa64 as the host sees it: record, tables, version mark, export
// set, the count messages, and a call by name.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/loader.h"
#include "mexrt/error.h"
#include "mexrt/mathlib.h"
#include "mexrt/testing.h"

namespace {

const std::filesystem::path kModule = MEXRT_QUEFWIND_MODULE;

std::string message(const char *kind, int count) {
  return std::string(
             "Run-time Error: File: quefwind Line: 1 Column: 1 The function \"quefwind\" "
             "was called with more than the declared number of ") +
         kind + " (" + std::to_string(count) + ").";
}

TEST(QuefwindModule, RecordTablesAndVersionMark) {
  host::Loader loader;
  const host::Module &m = loader.load(kModule);
  const ModuleInfo &r = m.record();
  EXPECT_EQ(r.record_version, 1);
  ASSERT_EQ(r.function_count, 1);
  ASSERT_EQ(r.module_count, 1);
  EXPECT_EQ(r.reserved1 | r.reserved2 | r.reserved3 | r.reserved4, 0);
  const FunctionTableEntry &row = r.function_table[0];
  EXPECT_STREQ(row.name, "quefwind");
  EXPECT_EQ(row.declared_inputs, 2);
  EXPECT_EQ(row.declared_outputs, 1);
  ASSERT_NE(row.local_table, nullptr);
  EXPECT_EQ(row.local_table->entry_count, 0);
  EXPECT_EQ(row.local_table->entries, nullptr);
  EXPECT_NE(r.init_term_table[0].initialize, nullptr);
  EXPECT_NE(r.init_term_table[0].terminate, nullptr);
  const host::FunctionInfo *f = loader.find("quefwind");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->entry, row.mlx_entry);

  EXPECT_EQ(m.version(), "MATLAB R11 native");
  auto strings = host::readVersionNote(kModule);
  ASSERT_TRUE(strings);
  ASSERT_EQ(strings->size(), 16u);
  for (int id = 96; id < 112; ++id) {
    const char *expected = id == 100 ? "MATLAB R11 native" : id == 101 ? "not inlined" : "";
    EXPECT_EQ((*strings)[id - 96], expected) << "string " << id;
  }
}

TEST(QuefwindModule, ExportsExactlyMexLibrary) {
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
  EXPECT_EQ(names, std::set<std::string>{"mexLibrary"});
}

TEST(QuefwindModule, CountsAboveTheDeclaredOnesRaiseItsMessages) {
  host::Loader loader;
  loader.load(kModule);
  const struct {
    int nlhs, nrhs;
    std::string expected;
  } cases[] = {
      {2, 2, message("outputs", 1)},
      {1, 3, message("inputs", 2)},
      {2, 3, message("outputs", 1)},
      {5, 0, message("outputs", 1)},
  };
  mxArray *x = mxCreateDoubleScalar(3);
  for (const auto &c : cases) {
    mxArray *plhs[5] = {};
    mxArray *prhs[3] = {x, x, x};
    size_t live = mexrtLiveArrayCount();
    std::string raised;
    try {
      host::Loader::call(*loader.find("quefwind"), c.nlhs, plhs, c.nrhs, prhs);
    } catch (const mexrt::Error &e) {
      raised = e.what();
    }
    EXPECT_EQ(raised, c.expected) << c.nlhs << " outputs, " << c.nrhs << " inputs";
    EXPECT_EQ(plhs[0], nullptr) << c.nlhs << "/" << c.nrhs << ": no body ran";
    EXPECT_EQ(mexrtLiveArrayCount(), live) << c.nlhs << "/" << c.nrhs;
  }
  mxDestroyArray(x);
}

TEST(QuefwindModule, AnswersByName) {
  host::Loader loader;
  loader.load(kModule);
  const host::FunctionInfo &f = *loader.find("quefwind");
  mxArray *x = mxCreateDoubleMatrix(3, 1, mxREAL);
  for (int k = 0; k < 3; ++k) mxGetPr(x)[k] = 5;
  mxArray *L = mxCreateDoubleScalar(2);
  mxArray *prhs[2] = {x, L};
  const double expected[3] = {10, 5, 0};  // weights 2, 1, 0
  for (int nlhs : {1, 0}) {  // the first slot is filled also when no output is requested
    mxArray *plhs[1] = {nullptr};
    host::Loader::call(f, nlhs, plhs, 2, prhs);
    ASSERT_NE(plhs[0], nullptr) << "nlhs " << nlhs;
    ASSERT_EQ(mxGetNumberOfElements(plhs[0]), 3u);
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(mxGetPr(plhs[0])[k], expected[k], 1e-14) << "nlhs " << nlhs << ", row " << k + 1;
    }
    mxDestroyArray(plhs[0]);
  }
  mxArray *plhs[1] = {nullptr};
  try {
    host::Loader::call(f, 1, plhs, 1, prhs);
    ADD_FAILURE() << "one input accepted";
  } catch (const mexrt::Error &e) {
    EXPECT_STREQ(e.what(), "Input argument \"lifterl\" is undefined.");
  }
  mxDestroyArray(L);
  mxDestroyArray(x);
}

TEST(QuefwindModule, UnloadingDestroysItsSixConstants) {
  size_t before = mexrtLiveArrayCount();
  {
    host::Loader loader;
    loader.load(kModule);
    EXPECT_EQ(mexrtLiveArrayCount(), before + 6);
  }
  EXPECT_EQ(mexrtLiveArrayCount(), before);
}

}  // namespace
