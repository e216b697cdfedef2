// The frame's behaviour through the units of the test module: count checks and messages,
// requested output counts, reads of missing and uninitialised inputs, output validation,
// nested calls, and the pairing of builders and destroyers.
#include "frame/frame.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "array_test_support.h"
#include "frame/module.h"
#include "testmodule/units.h"

extern "C" ModuleInfo *mexLibrary(void);

namespace {

using mexrt::test::errorOf;

template <std::size_t N>
std::string text(const std::array<mxChar, N> &codes) {
  return std::string(codes.begin(), codes.end());
}

std::string countMessage(const std::string &name, const char *what, int count) {
  return "Run-time Error: File: " + name + " Line: 1 Column: 1 The function \"" + name +
         "\" was called with more than the declared number of " + what + " (" +
         std::to_string(count) + ").";
}

// Counts the arrays freed while it lives, and keeps what each one held.
class DestroyLog {
 public:
  DestroyLog() {
    current = this;
    mexrtSetDestroyObserver(&record);
  }
  ~DestroyLog() {
    mexrtSetDestroyObserver(nullptr);
    current = nullptr;
  }
  std::vector<std::string> seen;
  std::set<const mxArray *> handles;

 private:
  static void record(const mxArray *a) {
    current->handles.insert(a);
    if (char *s = mxArrayToString(a)) {
      current->seen.emplace_back(s);
      mxFree(s);
    } else if (mxGetClassID(a) == mxDOUBLE_CLASS && mxGetNumberOfElements(a) == 1) {
      current->seen.push_back(std::to_string(static_cast<int>(mxGetPr(a)[0])));
    } else {
      current->seen.emplace_back("?");
    }
  }
  static inline DestroyLog *current = nullptr;
};

void buildAll() {
  const ModuleInfo *info = mexLibrary();
  for (int k = 0; k < info->module_count; ++k) info->init_term_table[k].initialize();
}
void destroyAll() {
  const ModuleInfo *info = mexLibrary();
  for (int k = info->module_count; k-- > 0;) info->init_term_table[k].terminate();
}

TEST(CountMessages, AreTheFixedTextsOfEachFunction) {
  struct Case {
    std::string name, outputs, inputs;
  };
  const Case cases[] = {
      {"db", text(frame::Function<"db", 1, 1>::outputsMessage),
       text(frame::Function<"db", 1, 1>::inputsMessage)},
      {"bandsetup", text(frame::Function<"bandsetup", 3, 1>::outputsMessage),
       text(frame::Function<"bandsetup", 3, 1>::inputsMessage)},
      {"assert", text(frame::Function<"assert", 2, 0>::outputsMessage),
       text(frame::Function<"assert", 2, 0>::inputsMessage)},
      {"mel", text(frame::Function<"mel", 1, 1>::outputsMessage),
       text(frame::Function<"mel", 1, 1>::inputsMessage)},
      {"chan2qf", text(frame::Function<"chan2qf", 2, 1>::outputsMessage),
       text(frame::Function<"chan2qf", 2, 1>::inputsMessage)},
      {"quefwind", text(frame::Function<"quefwind", 2, 1>::outputsMessage),
       text(frame::Function<"quefwind", 2, 1>::inputsMessage)},
      {"tonegrid", text(frame::Function<"tonegrid", 0, 1>::outputsMessage),
       text(frame::Function<"tonegrid", 0, 1>::inputsMessage)},
  };
  const char *literal[] = {
      "Run-time Error: File: db Line: 1 Column: 1 The function \"db\" was called with more than "
      "the declared number of outputs (1).",
      "Run-time Error: File: db Line: 1 Column: 1 The function \"db\" was called with more than "
      "the declared number of inputs (1).",
      "Run-time Error: File: bandsetup Line: 1 Column: 1 The function \"bandsetup\" was called "
      "with more than the declared number of outputs (1).",
      "Run-time Error: File: bandsetup Line: 1 Column: 1 The function \"bandsetup\" was called "
      "with more than the declared number of inputs (3).",
      "Run-time Error: File: assert Line: 1 Column: 1 The function \"assert\" was called with more "
      "than the declared number of outputs (0).",
      "Run-time Error: File: assert Line: 1 Column: 1 The function \"assert\" was called with more "
      "than the declared number of inputs (2).",
      "Run-time Error: File: mel Line: 1 Column: 1 The function \"mel\" was called with more than "
      "the declared number of outputs (1).",
      "Run-time Error: File: mel Line: 1 Column: 1 The function \"mel\" was called with more than "
      "the declared number of inputs (1).",
      "Run-time Error: File: chan2qf Line: 1 Column: 1 The function \"chan2qf\" was called with "
      "more than the declared number of outputs (1).",
      "Run-time Error: File: chan2qf Line: 1 Column: 1 The function \"chan2qf\" was called with "
      "more than the declared number of inputs (2).",
      "Run-time Error: File: quefwind Line: 1 Column: 1 The function \"quefwind\" was called with "
      "more than the declared number of outputs (1).",
      "Run-time Error: File: quefwind Line: 1 Column: 1 The function \"quefwind\" was called with "
      "more than the declared number of inputs (2).",
      "Run-time Error: File: tonegrid Line: 1 Column: 1 The function \"tonegrid\" was called with "
      "more than the declared number of outputs (1).",
      "Run-time Error: File: tonegrid Line: 1 Column: 1 The function \"tonegrid\" was called with "
      "more than the declared number of inputs (0).",
  };
  for (std::size_t k = 0; k < std::size(cases); ++k) {
    const Case &c = cases[k];
    EXPECT_EQ(c.outputs, literal[2 * k]) << c.name << " outputs";
    EXPECT_EQ(c.inputs, literal[2 * k + 1]) << c.name << " inputs";
    EXPECT_EQ(c.outputs.size(), 118 + 2 * c.name.size()) << c.name;
    EXPECT_EQ(c.inputs.size(), c.outputs.size() - 1) << c.name;
  }
}

// Calls with the test module's constants built, the current table a sentinel of the test's.
class Frame : public ::testing::Test {
 protected:
  void SetUp() override {
    buildAll();
    saved_ = mclSetCurrentLocalFunctionTable(&sentinel_);
    live_ = mexrtLiveArrayCount();
  }
  void TearDown() override {
    EXPECT_EQ(mclGetCurrentLocalFunctionTable(), &sentinel_) << "the caller's table is back";
    EXPECT_EQ(mexrtLiveArrayCount(), live_) << "nothing leaks";
    mclSetCurrentLocalFunctionTable(saved_);
    destroyAll();
  }
  static double valueOf(mxArray *a) { return mxGetPr(a)[0]; }

  LocalFunctionTable sentinel_ = {0, nullptr};
  LocalFunctionTable *saved_ = nullptr;
  size_t live_ = 0;
};

TEST_F(Frame, TooManyArgumentsAreRefusedBeforeAnyBodyRuns) {
  mxArray *one = mxCreateDoubleScalar(1);
  mxArray *prhs[3] = {one, one, one};
  const ModuleInfo *info = mexLibrary();
  for (int row = 0; row < info->function_count; ++row) {
    const FunctionTableEntry &f = info->function_table[row];
    const struct {
      int nlhs, nrhs;
      const char *what;
    } counts[] = {
        {f.declared_outputs + 1, f.declared_inputs + 1, "outputs"},
        {f.declared_outputs + 1, 0, "outputs"},
        {f.declared_outputs, f.declared_inputs + 1, "inputs"},
    };
    for (const auto &c : counts) {
      std::string where = std::string(f.name) + " nlhs " + std::to_string(c.nlhs) + " nrhs " +
                          std::to_string(c.nrhs);
      mxArray *plhs[2] = {nullptr, nullptr};
      DestroyLog log;
      testing::internal::CaptureStdout();
      std::string error = errorOf([&] { f.mlx_entry(c.nlhs, plhs, c.nrhs, prhs); });
      EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << where;
      int declared = std::string(c.what) == "outputs" ? f.declared_outputs : f.declared_inputs;
      EXPECT_EQ(error, countMessage(f.name, c.what, declared)) << where;
      EXPECT_TRUE(log.seen.empty()) << where << ": a body made and freed arrays";
      EXPECT_EQ(plhs[0], nullptr) << where;
    }
  }
  mxDestroyArray(one);
}

TEST_F(Frame, BodySeesTheRequestedCountAndValidatesItsOutput) {
  const char *unassigned =
      "Warning: Output argument \"y\" was not assigned during the call to \"probe\".\n";
  const struct {
    const char *name;
    bool gateway;
    int nlhs;
    double x;
    double nargout;  // what the body saw, or -1 when y stays unassigned
    const char *warning;
  } cases[] = {
      {"gateway, no output requested", true, 0, 1, 0, ""},
      {"gateway, one output", true, 1, 1, 1, ""},
      {"direct", false, 1, 1, 1, ""},
      {"gateway, no output requested, y unassigned", true, 0, 0, -1, ""},
      {"gateway, one output, y unassigned", true, 1, 0, -1, unassigned},
      {"direct, y unassigned", false, 1, 0, -1, unassigned},
  };
  for (const auto &c : cases) {
    mxArray *x = mxCreateDoubleScalar(c.x);
    mxArray *y = nullptr;
    testing::internal::CaptureStderr();
    if (c.gateway) {
      mxArray *plhs[1] = {nullptr};
      mlxProbe(c.nlhs, plhs, 1, &x);
      y = plhs[0];
    } else {
      mlfAssign(&y, mlfProbe(x));
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.warning) << c.name;
    ASSERT_NE(y, nullptr) << c.name << ": the first slot is filled";
    if (c.nargout < 0) {
      EXPECT_EQ(mxGetClassID(y), mxUNKNOWN_CLASS) << c.name;
    } else {
      EXPECT_EQ(valueOf(y), c.nargout) << c.name;
    }
    mxDestroyArray(y);
    mxDestroyArray(x);
  }
}

TEST_F(Frame, MissingInputRaisesAtItsFirstRead) {
  mxArray *five = mxCreateDoubleScalar(5);
  const struct {
    const char *name;
    std::function<void()> call;
    const char *error;
    bool printsFirst;  // the statements before the read ran
  } cases[] = {
      {"note(5) through the gateway", [&] { mlxNote(0, nullptr, 1, &five); },
       "Input argument \"b\" is undefined.", true},
      {"note([], 5) direct", [&] { mlfNote(nullptr, five); }, "Input argument \"a\" is undefined.",
       false},
      {"twice() direct", [&] { mlfTwice(nullptr); }, "Input argument \"x\" is undefined.", false},
      {"nest(5) through the gateway",
       [&] {
         mxArray *plhs[1] = {nullptr};
         mlxNest(1, plhs, 1, &five);
       },
       "Input argument \"b\" is undefined.", false},
  };
  for (const auto &c : cases) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(errorOf(c.call), c.error) << c.name;
    std::fflush(stdout);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed.find('5') != std::string::npos, c.printsFirst) << c.name << ": " << printed;
    EXPECT_EQ(mclGetCurrentLocalFunctionTable(), &sentinel_) << c.name;
    EXPECT_EQ(mexrtLiveArrayCount(), live_ + 1) << c.name << ": nothing leaks";
  }
  mxDestroyArray(five);
}

TEST_F(Frame, UninitialisedInputDrawsTheWarningNamingIt) {
  mxArray *one = mxCreateDoubleScalar(1);
  mxArray *marker = nullptr;
  mlfAssign(&marker, mclGetUninitializedArray());
  const struct {
    const char *name;
    std::function<void()> call;
    const char *warning;
  } cases[] = {
      {"twice",
       [&] {
         mxArray *y = nullptr;
         mlfAssign(&y, mlfTwice(marker));
         EXPECT_EQ(mxGetNumberOfElements(y), 0u) << "an empty array stands in";
         mxDestroyArray(y);
       },
       "Warning: Variable \"x\" may be used before it is defined.\n"},
      {"note, second input", [&] { mlfNote(one, marker); },
       "Warning: Variable \"b\" may be used before it is defined.\n"},
  };
  for (const auto &c : cases) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    c.call();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.warning) << c.name;
    testing::internal::GetCapturedStdout();
  }
  mxDestroyArray(marker);
  mxDestroyArray(one);
}

TEST_F(Frame, NestedCallsRestoreTheCurrentTable) {
  mxArray *x = mxCreateDoubleMatrix(1, 2, mxREAL);
  mxArray *three = mxCreateDoubleMatrix(1, 3, mxREAL);
  mxArray *one = mxCreateDoubleScalar(1);
  mxGetPr(x)[0] = 1;
  mxGetPr(x)[1] = 2;

  testing::internal::CaptureStdout();
  mxArray *y = nullptr;
  mlfAssign(&y, mlfNest(x, one));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(mclGetCurrentLocalFunctionTable(), &sentinel_) << "after a nested call";
  ASSERT_EQ(mxGetNumberOfElements(y), 2u);
  EXPECT_EQ(mxGetPr(y)[1], 4.0);
  mxDestroyArray(y);

  // note(twice(x), b) fails inside the inner body: both bodies give their tables back.
  testing::internal::CaptureStdout();
  std::string error = errorOf([&] { mlfNest(x, three); });
  testing::internal::GetCapturedStdout();
  EXPECT_NE(error.find("Matrix dimensions must agree"), std::string::npos) << error;
  EXPECT_EQ(mclGetCurrentLocalFunctionTable(), &sentinel_) << "after an error in a nested call";
  EXPECT_EQ(mexrtLiveArrayCount(), live_ + 3) << "nothing leaks";
  mxDestroyArray(one);
  mxDestroyArray(three);
  mxDestroyArray(x);
}

TEST(FrameLifecycle, DestroyersFreeEachConstantOnceInReverseOrder) {
  size_t before = mexrtLiveArrayCount();
  buildAll();
  EXPECT_EQ(mexrtLiveArrayCount(), before + 9) << "twice 3, note 2, probe 2, nest 2";
  DestroyLog log;
  destroyAll();
  std::vector<std::string> expected;
  for (const char *unit : {"nest", "probe", "note"}) {
    int inputs = std::string(unit) == "probe" ? 1 : 2;
    int outputs = std::string(unit) == "note" ? 0 : 1;
    expected.push_back(countMessage(unit, "inputs", inputs));
    expected.push_back(countMessage(unit, "outputs", outputs));
  }
  expected.insert(expected.end(),
                  {"2", countMessage("twice", "inputs", 1), countMessage("twice", "outputs", 1)});
  EXPECT_EQ(log.seen, expected);
  EXPECT_EQ(log.handles.size(), 9u) << "each constant freed once";
  EXPECT_EQ(mexrtLiveArrayCount(), before);
}

}  // namespace
