// The built-in families through the shell: results, the bad arguments each one refuses with
// a message naming it, and that no failed call leaks an array.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "mexrt/testing.h"
#include "shell/eval.h"
#include "shell/parser.h"

namespace {

namespace fs = std::filesystem;

struct Case {
  const char *statements;
  const char *expected;  // standard output, or "error: MESSAGE" after it
};

std::string run(const std::string &statements) {
  shell::Evaluator ev;
  testing::internal::CaptureStdout();
  std::string error;
  try {
    ev.run(shell::parse(statements));
  } catch (const std::exception &e) {
    error = std::string("error: ") + e.what();
  }
  return testing::internal::GetCapturedStdout() + error;
}

// Each test runs in a scratch folder of its own.
class Builtins : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("shell_builtins_test_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    old_ = fs::current_path();
    fs::current_path(dir_);
    live_ = mexrtLiveArrayCount();
  }
  void TearDown() override {
    EXPECT_EQ(mexrtLiveArrayCount(), live_) << "arrays leaked";
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  void expectAll(const std::vector<Case> &cases) {
    for (const auto &c : cases) EXPECT_EQ(run(c.statements), c.expected) << c.statements;
  }
  fs::path dir_, old_;
  std::size_t live_ = 0;
};

TEST_F(Builtins, Audio) {
  expectAll({
      {"audiowrite('a.wav', [0 0.5 -0.5 1]', 8000); [y, fs] = audioread('a.wav'); "
       "disp(size(y)), disp(fs), disp(y(2:3)')",
       "     4     1\n        8000\n    0.5000   -0.5000\n"},
      {"audiowrite('s.wav', [0 0.25; 0.5 -0.25; 1 0], 44100); y = audioread('s.wav', [2 3]); "
       "disp(y)",
       "    0.5000   -0.2500\n    1.0000         0\n"},
      {"audiowrite('r.wav', [0 0.5 0.25], 8000); disp(size(audioread('r.wav')))", "     3     1\n"},
      {"y = audioread('missing.wav')",
       "error: audioread: cannot read \"missing.wav\": no such file."},
      {"audiowrite('r.wav', [0 0.5 0.25], 8000); y = audioread('r.wav', [2 9])",
       "error: audioread: cannot read \"r.wav\": the range 2..9 lies outside its 3 frames."},
      {"y = audioread('r.wav', [0 1])",
       "error: audioread: the range must be [first last] with 1 <= first and first <= last + 1."},
      {"y = audioread('r.wav', 5)",
       "error: audioread: the range must be [first last], two whole numbers."},
      {"y = audioread(5)", "error: audioread: the file name must be text."},
      {"y = audioread()", "error: Not enough input arguments for 'audioread'."},
      {"[a, b, c] = audioread('r.wav')", "error: Too many output arguments for 'audioread'."},
      {"audiowrite('x.wav', [1 2], 0)",
       "error: audiowrite: cannot write \"x.wav\": the sample rate must be a whole number of "
       "hertz, 1 or more."},
      {"audiowrite('x.wav', [1i 2], 8000)",
       "error: audiowrite: the samples must be a real double matrix, one column per channel."},
      {"audiowrite('x.wav', [], 8000)", "error: audiowrite: the samples are empty."},
      {"audiowrite('x.wav', [1 2])", "error: Not enough input arguments for 'audiowrite'."},
  });
}

}  // namespace
