// mexhost end to end: the built program run on statements, scripts and options, its
// standard output, standard error and exit status compared. A module that is not built
// skips the cases that need it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

struct Result {
  std::string out, err;
  int status = -1;
};

std::string quoted(const std::string &s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string slurp(const fs::path &file) {
  std::ifstream in(file);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs the program with the arguments (each quoted for the shell), in `dir`.
Result mexhost(const std::vector<std::string> &args,
               const fs::path &dir = fs::temp_directory_path(), const std::string &input = "") {
  fs::path errFile = fs::temp_directory_path() / ("mexhost_err_" + std::to_string(getpid()));
  fs::path inFile = fs::temp_directory_path() / ("mexhost_in_" + std::to_string(getpid()));
  std::ofstream(inFile) << input;
  std::string cmd = "cd " + quoted(dir.string()) + " && " + quoted(MEXHOST_PROGRAM);
  for (const auto &a : args) cmd += " " + quoted(a);
  cmd += " <" + quoted(inFile.string()) + " 2>" + quoted(errFile.string());
  Result r;
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.err = slurp(errFile);
  fs::remove(errFile);
  fs::remove(inFile);
  return r;
}

bool built(const char *module) {
  return fs::exists(fs::path(MEXRT_MODULE_DIR) / (std::string(module) + ".mexa64"));
}

#define REQUIRE_MODULE(m) \
  if (!built(m)) GTEST_SKIP() << m << ".mexa64 is not built"

const std::string kCountTail = " Line: 1 Column: 1 The function ";

TEST(Mexhost, BandsetupWorkedExample) {
  REQUIRE_MODULE("bandsetup");
  Result r = mexhost({"-e", "fb = bandsetup(8, 2, 800); disp(size(fb))"});
  EXPECT_EQ(r.out,
            "Designing a mel-spaced filterbank with 2 channels.\n"
            "Frame length will be 8 (zero padded up from 8).\n"
            "     2     4\n");
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(Mexhost, HelpOfAModuleFunctionNamesItsModuleAndCounts) {
  REQUIRE_MODULE("bandsetup");
  Result r = mexhost({"-e", "help bandsetup"});
  EXPECT_EQ(r.out, "bandsetup: a function of the module bandsetup.mexa64 (3 inputs, 1 output)\n");
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(Mexhost, DbFromTheLibrary) {
  Result r = mexhost({"-e", "y = db([1 10 100])"});
  EXPECT_EQ(r.out, "y =\n\n     0    20    40\n\n");
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(Mexhost, CepstraThenLiftering) {
  REQUIRE_MODULE("chan2qf");
  REQUIRE_MODULE("quefwind");
  // Liftering and undoing it gives the cepstra back; a constant log spectrum has none.
  Result r = mexhost({"-e",
                      "c = chan2qf(log([1 2; 3 4; 5 6]), 2);"
                      "back = quefwind(quefwind(c, 22), -22);"
                      "disp(max(abs(back(:) - c(:))) < 1e-12);"
                      "disp(max(abs(chan2qf(zeros(4, 1) + 3, 3))) < 1e-12);"
                      "disp(size(c))"});
  EXPECT_EQ(r.out, "     1\n     1\n     2     2\n");
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(Mexhost, ArgumentCountMessagesAndMissingArguments) {
  const struct {
    const char *module, *statement, *message;
  } cases[] = {
      {nullptr, "db(1, 2)",
       "File: db Line: 1 Column: 1 The function \"db\" was called with "
       "more than the declared number of inputs (1)."},
      {nullptr, "db()", "Input argument \"x\" is undefined."},
      {"bandsetup", "bandsetup(8, 2, 800, 1)",
       "\"bandsetup\" was called with more than the "
       "declared number of inputs (3)."},
      {"bandsetup", "x = assert(1, 'm')",
       "\"assert\" was called with more than the declared "
       "number of outputs (0)."},
      {"bandsetup", "bandsetup(8, 2)", "Input argument \"fsamp\" is undefined."},
      {"chan2qf", "[a, b] = chan2qf(1, 1)",
       "\"chan2qf\" was called with more than the "
       "declared number of outputs (1)."},
      {"quefwind", "quefwind([1; 2])", "Input argument \"lifterl\" is undefined."},
      {"tonegrid", "tonegrid(1)",
       "\"tonegrid\" was called with more than the declared number "
       "of inputs (0)."},
  };
  for (const auto &c : cases) {
    if (c.module && !built(c.module)) continue;
    Result r = mexhost({"-e", c.statement});
    EXPECT_EQ(r.status, 1) << c.statement;
    EXPECT_NE(r.err.find(std::string("Error in -e, line 1: ")), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.statement << ": " << r.err;
  }
}

TEST(Mexhost, ScriptStopsAtItsFirstErrorNamingTheLine) {
  fs::path dir = fs::temp_directory_path() / ("mexhost_script_" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "steps.m") << "disp(1)\n% a comment\nx = undefined_thing + 1;\ndisp(2)\n";
  std::ofstream(dir / "broken.m") << "disp(1)\ny = (2 +\n";
  Result r = mexhost({"steps.m"}, dir);
  EXPECT_EQ(r.out, "     1\n");
  EXPECT_EQ(r.err, "Error in steps.m, line 3: Undefined function or variable 'undefined_thing'.\n");
  EXPECT_EQ(r.status, 1);
  // A syntax error anywhere stops the script before anything runs.
  Result b = mexhost({"broken.m"}, dir);
  EXPECT_EQ(b.out, "");
  EXPECT_EQ(b.err.rfind("Error in broken.m, line 3, column 1: ", 0), 0u) << b.err;
  EXPECT_EQ(b.status, 1);
  Result missing = mexhost({"no_such_script.m"}, dir);
  EXPECT_EQ(missing.status, 1);
  fs::remove_all(dir);
}

TEST(Mexhost, StatementsFromAPipeGoOnAfterAnError) {
  Result r =
      mexhost({}, fs::temp_directory_path(), "x = 2\ny = nope\nfor k = 1:2\n disp(k)\nend\n");
  EXPECT_EQ(r.out, "x =\n\n     2\n\n     1\n     2\n");
  EXPECT_EQ(r.err, "Error in stdin, line 2: Undefined function or variable 'nope'.\n");
  EXPECT_EQ(r.status, 1);
}

TEST(Mexhost, InfoOnEachModule) {
  const struct {
    const char *module, *functions, *version;
    int rows;
  } cases[] = {
      {"bandsetup",
       "  bandsetup  inputs 3  outputs 1\n  assert  inputs 2  outputs 0\n"
       "  mel  inputs 1  outputs 1\n",
       "MATLAB R12 native", 3},
      {"chan2qf", "  chan2qf  inputs 2  outputs 1\n", "MATLAB R11 native", 1},
      {"quefwind", "  quefwind  inputs 2  outputs 1\n", "MATLAB R11 native", 1},
      {"tonegrid", "  tonegrid  inputs 0  outputs 1\n", "MATLAB R11 native", 1},
  };
  int ran = 0;
  for (const auto &c : cases) {
    if (!built(c.module)) continue;
    ++ran;
    Result r = mexhost({"--info", c.module});
    EXPECT_EQ(r.status, 0) << c.module << ": " << r.err;
    EXPECT_NE(r.out.find("Record: record_version 1, function_count " + std::to_string(c.rows) +
                         ", reserved 0 0 0 0, module_count " + std::to_string(c.rows)),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(std::string("Function table:\n") + c.functions), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Init/term table: " + std::to_string(c.rows) + " row"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(std::string("Version mark: \"") + c.version + "\""), std::string::npos)
        << r.out;
  }
  if (ran == 0) GTEST_SKIP() << "no module is built";
  Result none = mexhost({"--info", "no_such_module"});
  EXPECT_EQ(none.status, 1);
}

TEST(Mexhost, FiguresWrittenAtExit) {
  REQUIRE_MODULE("tonegrid");
  fs::path dir = fs::temp_directory_path() / ("mexhost_figures_" + std::to_string(getpid()));
  fs::remove_all(dir);
  Result r = mexhost({"--figures", dir.string(), "-e", "fig = tonegrid;"});
  EXPECT_EQ(r.status, 0) << r.err;
  ASSERT_TRUE(fs::exists(dir / "figure1.png")) << r.err;
  std::string png = slurp(dir / "figure1.png");
  EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
  fs::remove_all(dir);
}

// Figures made by the plotting built-ins are written at exit too, closed ones are not,
// and print writes into the figures folder.
TEST(Mexhost, PlottedFiguresWrittenAtExitAndClosedOnesLeftOut) {
  fs::path dir = fs::temp_directory_path() / ("mexhost_plots_" + std::to_string(getpid()));
  fs::remove_all(dir);
  Result r = mexhost({"--figures", dir.string(), "-e",
                      "plot(1:3); figure; imagesc([1 2; 3 4]); close; figure(3); "
                      "subplot(2, 1, 1); plot(1:2); print('-dsvg', 'three')"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir / "figure1.png")) << r.err;
  EXPECT_FALSE(fs::exists(dir / "figure2.png")) << "a closed figure is not written";
  EXPECT_TRUE(fs::exists(dir / "figure3.png")) << r.err;
  EXPECT_EQ(slurp(dir / "three.svg").substr(0, 5), "<?xml");
  fs::remove_all(dir);
}

TEST(Mexhost, OptionsAndUsage) {
  const struct {
    std::vector<std::string> args;
    int status;
    const char *inOut;
  } cases[] = {
      {{"--help"}, 0, "Usage: mexhost"},
      {{"--version"}, 0, "mexhost "},
      {{"--bogus"}, 2, ""},
      {{"--path"}, 2, ""},
      {{"-e", "1", "x.m"}, 2, ""},
  };
  for (const auto &c : cases) {
    Result r = mexhost(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0];
    EXPECT_NE(r.out.find(c.inOut), std::string::npos) << c.args[0];
  }
}

}  // namespace

// Function files found on the search path: one folder of NAME.m files and a script that
// calls them, with the output and the error text compared.
class FunctionFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("mexhost_functions_" + std::to_string(getpid()));
    fs::create_directories(dir_);
    write("twice.m", "function y = twice(x)\n% twice: doubles x\ny = 2 * x;\n");
    write("minmax.m",
          "function [lo, hi] = minmax(v)\n"
          "lo = smallest(v);\n"
          "if nargout > 1\n  hi = -smallest(-v);\nend\n"
          "function m = smallest(v)\n"
          "m = min(v);\n");
    write("counts.m",
          "function n = counts(a, b, c)\n"
          "n = nargin;\n"
          "if nargin < 2\n  return\nend\n"
          "n = 10 * nargout + nargin;\nend\n");
    write("fact.m",
          "function r = fact(n)\n"
          "if n <= 1\n  r = 1;\nelse\n  r = n * fact(n - 1);\nend\n");
    write("deep.m", "function deep(n)\ndeep(n + 1);\n");
    write("outer.m",
          "function outer(x)\n\ninner(x);\nend\nfunction inner(x)\ny = x + nothing;\nend\n");
    write("noout.m", "function [a, b] = noout()\na = 1;\n");
    // nargin and nargout count varargin's and varargout's elements.
    write("spread.m",
          "function [first, varargout] = spread(a, varargin)\n"
          "fprintf('%d in, %d out, %d extra\\n', nargin, nargout, numel(varargin));\n"
          "first = a;\n"
          "for k = 1:min(nargout - 1, numel(varargin))\n  varargout{k} = varargin{k};\nend\n");
    write("allout.m", "function varargout = allout(n)\nfor k = 1:n, varargout{k} = k; end\n");
    write("badout.m", "function varargout = badout()\nvarargout = 5;\n");
    write("keeps.m", "function keeps()\nx = 5;\n");
    write("helped.m",
          "function y = helped(x)\n% HELPED  Twice x.\n%   y = helped(x)\ny = 2 * x;\n");
    // Handles made in a file see its local functions wherever they are called.
    write("maker.m",
          "function [f, g] = maker(k)\nf = @(x) helper(x) * k;\ng = @helper;\nend\n"
          "function y = helper(x)\ny = x + 1;\nend\n");
  }
  void TearDown() override { fs::remove_all(dir_); }
  void write(const std::string &name, const std::string &text) {
    std::ofstream(dir_ / name) << text;
  }
  Result run(const std::string &statements) {
    write("main.m", statements);
    return mexhost({"main.m"}, dir_);
  }
  fs::path dir_;
};

TEST_F(FunctionFiles, CallsResultsAndCounts) {
  struct Case {
    const char *statements, *out;
  } cases[] = {
      {"disp(twice(3))", "     6\n"},
      {"[a, b] = minmax([4 -2 9]); disp([a b])", "    -2     9\n"},
      {"a = minmax([4 -2 9]); disp(a)", "    -2\n"},
      {"disp(counts(1))", "     1\n"},
      {"disp(counts(1, 2))", "    12\n"},
      {"disp(counts(1, 2, 3))", "    13\n"},
      {"disp(fact(10))", "     3628800\n"},
      {"x = 1; keeps(); disp(x)", "     1\n"},
      {"twice(4)", "ans =\n\n     8\n\n"},
      {"help helped", "HELPED  Twice x.\n  y = helped(x)\n"},
      {"help db", "db: a function of the module libzeta.so.1 (1 input, 1 output)\n"},
      {"[f, g] = maker(3); disp(f(1)), disp(g(1)), disp(feval(g, 2))", "     6\n     2\n     3\n"},
      {"spread(1)", "1 in, 0 out, 0 extra\nans =\n\n     1\n\n"},
      {"[a, b, c] = spread(1, 'x', 3, 4); disp(b), disp(c)", "4 in, 3 out, 3 extra\nx\n     3\n"},
      {"c = {7, 8}; [a, b] = spread(c{:}); disp([a b])", "2 in, 2 out, 1 extra\n     7     8\n"},
      {"[a, b, c] = allout(3); disp([a b c]), allout(0)", "     1     2     3\n"},
      {"f = @(varargin) numel(varargin); disp([f() f(1, 2, 3)])", "     0     3\n"},
      {"f = @(a, varargin) size(varargin); disp(f(1))", "     1     0\n"},
      {"f = @twice; disp(f(5)), disp(bsxfun(@(a, b) twice(a) + b, [1 2], [0; 1]))",
       "    10\n     2     4\n     3     5\n"},
  };
  for (const auto &c : cases) {
    Result r = run(c.statements);
    EXPECT_EQ(r.out, c.out) << c.statements;
    EXPECT_EQ(r.status, 0) << c.statements << "\n" << r.err;
  }
}

// Calls nest 100 deep (the script itself not counted), and the 101st is a clear error.
TEST_F(FunctionFiles, CallsNestToTheirDepthLimitAndNoDeeper) {
  Result at = run("disp(fact(100) > 0)");
  EXPECT_EQ(at.out, "     1\n");
  EXPECT_EQ(at.status, 0) << at.err;
  Result beyond = run("disp(fact(101) > 0)");
  EXPECT_EQ(beyond.err.substr(0, beyond.err.find('\n') + 1),
            "Error in fact.m, line 5: Maximum recursion depth of 100 reached in 'fact'.\n");
  EXPECT_EQ(beyond.status, 1);
}

TEST_F(FunctionFiles, ErrorsNameTheFileTheLineAndTheCallers) {
  struct Case {
    const char *statements, *err;
  } cases[] = {
      {"x = 1;\nouter(2)",
       "Error in outer.m, line 6: Undefined function or variable 'nothing'.\n"
       "  called from outer.m, line 3\n"
       "  called from main.m, line 2\n"},
      {"deep(1)", "Error in deep.m, line 2: Maximum recursion depth of 100 reached in 'deep'.\n"},
      {"twice(1, 2)", "Error in main.m, line 1: Too many input arguments for 'twice'.\n"},
      {"[a, b, c] = minmax(1)",
       "Error in main.m, line 1: Too many output arguments for 'minmax'.\n"},
      {"[a, b] = noout()",
       "Error in noout.m, line 2: The output 'b' of 'noout' was not set.\n"
       "  called from main.m, line 1\n"},
      {"keeps()\nx", "Error in main.m, line 2: Undefined function or variable 'x'.\n"},
      {"[a, b] = spread(1)",
       "Error in spread.m, line 4: The output 'varargout{1}' of 'spread' was not set.\n"
       "  called from main.m, line 1\n"},
      {"[a, b, c, d] = allout(2)",
       "Error in allout.m, line 2: The output 'varargout{3}' of 'allout' was not set.\n"
       "  called from main.m, line 1\n"},
      {"x = badout()",
       "Error in badout.m, line 2: 'varargout' of 'badout' must be a cell array.\n"
       "  called from main.m, line 1\n"},
      {"disp(nargin)", "Error in main.m, line 1: Undefined function or variable 'nargin'.\n"},
  };
  for (const auto &c : cases) {
    Result r = run(c.statements);
    // The recursion error passes through every level: only its first line is compared.
    std::string first = r.err.substr(0, r.err.find('\n') + 1);
    std::string expected = c.err;
    if (std::string(c.statements) == "deep(1)") {
      EXPECT_EQ(first, expected);
    } else {
      EXPECT_EQ(r.err, expected) << c.statements;
    }
    EXPECT_EQ(r.status, 1) << c.statements;
  }
}
