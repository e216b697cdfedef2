// The built-in families through the shell: results, the bad arguments each one refuses with
// a message naming it, and that no failed call leaks an array.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "mexrt/testing.h"
#include "shell_run.h"

namespace {

namespace fs = std::filesystem;

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

// The generator's fixed values, computed apart from this code from the published xoshiro256**
// and splitmix64 definitions.
TEST_F(Builtins, RngGivesTheDocumentedSequence) {
  expectAll({
      {"rng(42); fprintf('%.12f ', rand(1, 3))", "0.083862971060 0.378980250663 0.680043411028 "},
      {"rng(42); fprintf('%.12f ', randn(2, 1))", "-1.613223751385 1.534487323533 "},
      {"rng(42); a = rand(2); rng(42); b = rand(2); disp(sum(sum(a ~= b)))", "     0\n"},
      {"rng('default'); fprintf('%.12f ', rand(1, 2))", "0.601262999418 0.747774092547 "},
      {"rng(1); disp(size(rand(2, 3, 4))), disp(size(randn(0, 3))), disp(size(rand))",
       "     2     3     4\n     0     3\n     1     1\n"},
      {"rng(-1)", "error: rng: the seed must be a non-negative whole number."},
      {"rng(1.5)", "error: rng: the seed must be a non-negative whole number."},
      {"rng('other')", "error: rng: the only named setting is 'default'."},
      {"rng()", "error: Not enough input arguments for 'rng'."},
  });
}

TEST_F(Builtins, Rounding) {
  expectAll({
      {"disp([floor(-2.5) fix(-2.5) sign(-2.5) floor(2.5) fix(2.5) sign(0)])",
       "    -3    -2    -1     2     2     0\n"},
      {"disp(floor(1.5 - 2.5i))", "   1.0000 - 3.0000i\n"},
      {"disp(sign(3 + 4i))", "   0.6000 + 0.8000i\n"},
      {"disp([mod(-7, 3) rem(-7, 3) mod(7, -3) rem(7, -3) mod(5, 0) rem(5, 0)])",
       "     2    -1    -2     1     5     5\n"},
      {"disp(mod([1 2 3 4], 3))", "     1     2     0     1\n"},
      {"disp(mod(5, Inf)), disp(mod(-5, Inf))", "     5\n   Inf\n"},
      {"mod(1i, 2)", "error: mod: the arguments must be real."},
      {"mod(1)", "error: Not enough input arguments for 'mod'."},
      {"disp(isnan([1 NaN Inf complex(NaN, 0) complex(0, NaN)]))",
       "     0     1     0     1     1\n"},
      {"disp(isinf([1 NaN -Inf 1i*Inf]))", "     0     0     1     1\n"},
      {"disp(size(isnan(zeros(0, 3))))", "     0     3\n"},
      {"disp(size(floor(zeros(2, 0, 3))))", "     2     0     3\n"},
  });
}

TEST_F(Builtins, Linspace) {
  expectAll({
      {"disp(linspace(0, 1, 5))", "         0    0.2500    0.5000    0.7500    1.0000\n"},
      {"disp(size(linspace(0, 1))), disp(size(linspace(0, 1, 0)))", "     1   100\n     1     0\n"},
      {"disp(linspace(3, 7, 1))", "     7\n"},
      {"x = linspace(0, 0.3, 7); disp(x(7) == 0.3)", "     1\n"},
      {"linspace(1, [2 3])", "error: linspace: the end must be a real scalar."},
      {"linspace(1)", "error: Not enough input arguments for 'linspace'."},
  });
}

// Impulse responses against their closed forms: an FIR filter gives b, a one-pole filter
// 1 / (1 - p z^-1) gives p^n.
TEST_F(Builtins, Filter) {
  expectAll({
      {"disp(filter([1 2 3], 1, [1 0 0 0 0]))", "     1     2     3     0     0\n"},
      {"y = filter(1, [1 -0.5], [1 0 0 0 0]); disp(max(abs(y - 0.5 .^ (0:4))) < 1e-15)",
       "     1\n"},
      {"y = filter(2, [2 -1], [1; 0; 0; 0]); disp(y')",
       "    1.0000    0.5000    0.2500    0.1250\n"},
      {"y = filter([1 1], [1 0 -0.25], [1 0 0 0 0 0]);"
       " e = [1 1 0.25 0.25 0.0625 0.0625]; disp(max(abs(y - e)) < 1e-15)",
       "     1\n"},
      {"y = filter(1, [1 -1], [1 2; 3 4; 5 6]); disp(y)",
       "     1     2\n     4     6\n     9    12\n"},
      {"y = filter(1, [1 -1], [1 1i 1]); disp(y)",
       "   1.0000 + 0.0000i   1.0000 + 1.0000i   2.0000 + 1.0000i\n"},
      {"disp(size(filter(1, 1, zeros(0, 3))))", "     0     3\n"},
      {"filter(1, [0 1], [1 2])", "error: filter: the first coefficient of a must be non-zero."},
      {"filter([], 1, [1 2])", "error: filter: b must be a non-empty real vector of coefficients."},
      {"filter(1, [1 1i], [1 2])",
       "error: filter: a must be a non-empty real vector of coefficients."},
      {"filter(1, 1)", "error: Not enough input arguments for 'filter'."},
  });
}

TEST_F(Builtins, Windows) {
  expectAll({
      {"disp(hamming(3)')", "    0.0800    1.0000    0.0800\n"},
      {"disp(hamming(4, 'periodic')')", "    0.0800    0.5400    1.0000    0.5400\n"},
      {"disp(hann(3)')", "     0     1     0\n"},
      {"disp(hann(4, 'periodic')')", "         0    0.5000    1.0000    0.5000\n"},
      {"disp(hann(4, 'symmetric')')", "         0    0.7500    0.7500         0\n"},
      {"disp(hamming(1)), disp(size(hann(0)))", "     1\n     0     1\n"},
      {"hann(2.5)", "error: hann: the length must be a non-negative whole number."},
      {"hamming(-1)", "error: hamming: the length must be a non-negative whole number."},
      {"hann(4, 'other')", "error: hann: the option must be 'symmetric' or 'periodic'."},
      {"hann()", "error: Not enough input arguments for 'hann'."},
  });
}

TEST_F(Builtins, Stopwatch) {
  expectAll({
      {"tic; t = toc; disp(t >= 0 && t < 5)", "     1\n"},
      {"t0 = tic; s = toc(t0); disp(s >= 0 && s < 5)", "     1\n"},
      {"tic(1)", "error: Too many input arguments for 'tic'."},
  });
}

TEST_F(Builtins, Reductions) {
  expectAll({
      {"disp(prod([1 2; 3 4])), disp(prod([1 2; 3 4], 2)')", "     3     8\n     2    12\n"},
      {"disp(prod([])), disp(size(prod(zeros(0, 3))))", "     1\n     1     3\n"},
      {"disp(prod([1i 1i]))", "    -1\n"},
      {"disp(mean([1 2; 3 5])), disp(mean([1 2 3 6], 2))", "    2.0000    3.5000\n     3\n"},
      {"disp(mean([1+1i 3+3i]))", "   2.0000 + 2.0000i\n"},
      {"disp(mean([]))", "   NaN\n"},
      {"disp(median([3 1 2])), disp(median([4 1 3 2])), disp(median([1 NaN 2]))",
       "     2\n    2.5000\n   NaN\n"},
      {"disp(var([1 2 3 4])), disp(var([1 2 3 4], 1)), disp(std([2 4 4 4 5 5 7 9], 1))",
       "    1.6667\n    1.2500\n     2\n"},
      {"disp(var([1i -1i])), disp(isreal(std([1+1i 2])))", "     2\n     1\n"},
      {"disp(var(5)), disp(var([1 2; 3 5], 0, 2)')", "     0\n    0.5000    2.0000\n"},
      {"var([1 2], 2)", "error: var: the weight must be 0 or 1."},
      {"disp(any([0 0 1])), disp(all([1 1 0])), disp(any([])), disp(all([]))",
       "     1\n     0\n     0\n     1\n"},
      {"disp(any([0 1; 0 0], 2)'), disp(all([1 1; 0 1])), disp(any(0i)), disp(any(NaN))",
       "     1     0\n     0     1\n     0\n     1\n"},
      {"disp(cumsum([1 2 3])), disp(cumsum([1 2; 3 4])), disp(cumsum([1 2; 3 4], 2))",
       "     1     3     6\n     1     2\n     4     6\n     1     3\n     3     7\n"},
      {"disp(cumsum([1i 2]))", "   0.0000 + 1.0000i   2.0000 + 1.0000i\n"},
      {"disp(sum([1 2; 3 4], 2)'), disp(sum(ones(2, 3, 4), 3))",
       "     3     7\n     4     4     4\n     4     4     4\n"},
      {"disp(ndims(ones(2, 3, 4))), disp(ndims(5))", "     3\n     2\n"},
      {"mean(1, 0)", "error: mean: the dimension must be a positive integer scalar, not 0."},
      {"cumsum()", "error: Not enough input arguments for 'cumsum'."},
  });
}

TEST_F(Builtins, Sort) {
  expectAll({
      {"[s, i] = sort([3 1 NaN 2]); disp(s), disp(i)",
       "     1     2     3   NaN\n     2     4     1     3\n"},
      {"[s, i] = sort([3 1 NaN 2], 'descend'); disp(s), disp(i)",
       "   NaN     3     2     1\n     3     1     4     2\n"},
      {"disp(sort([3 1; 2 4])), disp(sort([3 1; 2 4], 2))",
       "     2     1\n     3     4\n     1     3\n     2     4\n"},
      {"[s, i] = sort([1 1 1]); disp(i)", "     1     2     3\n"},
      {"disp(sort([-2 1i 1 -1]))",
       "   1.0000 + 0.0000i   0.0000 + 1.0000i  -1.0000 + 0.0000i  -2.0000 + 0.0000i\n"},
      {"disp(sort('hello'))", "ehllo\n"},
      {"disp(size(sort(zeros(0, 3))))", "     0     3\n"},
      {"sort([1 2], 'up')", "error: sort: the mode must be 'ascend' or 'descend'."},
  });
}

TEST_F(Builtins, Text) {
  expectAll({
      {"s = sprintf('%d-%s', 5, 'ab'); disp(s), disp(size(s))", "5-ab\n     1     4\n"},
      {"disp(size(sprintf('')))", "     1     0\n"},
      {"disp(num2str(pi)), disp(num2str(42)), disp(num2str(-0.5)), disp(num2str(pi, 8))",
       "3.1416\n42\n-0.5\n3.1415927\n"},
      {"disp(num2str([1 2 3])), disp(num2str(1+2i)), disp(num2str(1-0.5i))",
       "1  2  3\n1+2i\n1-0.5i\n"},
      {"disp(num2str([1 10; 100 2])), disp(num2str(3, '%5.2f'))", "  1  10\n100   2\n 3.00\n"},
      {"disp(num2str(NaN)), disp(num2str(-Inf)), disp(num2str('ab'))", "NaN\n-Inf\nab\n"},
      {"disp(strcmp('ab', 'ab')), disp(strcmp('ab', 'abc')), disp(strcmp('1', 49))",
       "     1\n     0\n     0\n"},
      {"disp(['[' strcat('a ', 'b  ', 'c') ']'])", "[abc]\n"},
      {"disp(upper('Hello, World')), disp(lower('ÄBÇ')), disp(upper('äöü')), disp(upper(5))",
       "HELLO, WORLD\näbç\nÄÖÜ\n     5\n"},
      {"disp(isempty('')), disp(isempty('a')), disp(['ab', 'cd'; 'ef', 'gh'])",
       "     1\n     0\nabcd\nefgh\n"},
      {"strcat('a', 5)", "error: strcat: the arguments must be text."},
      {"sprintf(5)", "error: sprintf: the format must be text."},
      {"num2str(1, 0)",
       "error: num2str: the precision must be a positive whole number or a format."},
      {"strcmp('a')", "error: Not enough input arguments for 'strcmp'."},
  });
}

TEST_F(Builtins, SaveAndLoad) {
  expectAll({
      {"a = [1 2; 3 4]; z = [1+2i 3]; s = 'text'; b = [true false]; n = ones(2, 3, 2); "
       "e = zeros(0, 2); save('d.mat', 'a', 'z', 's', 'b', 'n', 'e'); clear_all_ = 1; "
       "load('d.mat'); disp(a), disp(z), disp(s), disp(b), disp(size(n)), disp(size(e))",
       "     1     2\n     3     4\n   1.0000 + 2.0000i   3.0000 + 0.0000i\ntext\n"
       "     1     0\n     2     3     2\n     0     2\n"},
      {"x = 5; y = 'w'; save('all'); load('all.mat', 'y'); disp(y)", "w\n"},
      {"x = 1; save('keep.mat', 'x'); x = 2; save('keep.mat', 'x', 'nothing')",
       "error: save: there is no variable \"nothing\"."},
      {"x = 1; save('keep.mat', 'x'); x = 2; save('no/such/folder/k.mat', 'x')",
       "error: save: cannot write \"no/such/folder/k.mat\": No such file or directory."},
      {"save(5)", "error: save: the file name must be text."},
      {"x = 1; save('f.mat', 5)", "error: save: variable names must be text."},
      {"save()", "error: Not enough input arguments for 'save'."},
      {"load('absent.mat')",
       "error: load: cannot find \"absent.mat\" in the current directory or on the module path."},
  });
  // The failed saves left the good file as it was.
  EXPECT_EQ(run("load('keep.mat'); disp(x)"), "     1\n");
  std::size_t hidden = 0;
  for (auto &entry : fs::directory_iterator(dir_))
    hidden += entry.path().filename().string()[0] == '.';
  EXPECT_EQ(hidden, 0u) << "no temporary file left";
}

// S = load(...) gives the variables as the fields of one struct, in the file's order;
// save(file, '-struct', 'S', ...) writes fields as variables.
TEST_F(Builtins, LoadIntoAStructAndSaveItsFields) {
  expectAll({
      {"b = int16([1 -2]); a = 'txt'; save('v.mat', 'b', 'a'); clear all; S = load('v.mat'); "
       "disp(fieldnames(S)'), disp(class(S.b)), disp(S.b), who",
       "    'b'    'a'\nint16\n    1   -2\nYour variables are:\n\nS  \n\n"},
      {"x = 1; y = [2 3]; save('w.mat'); T = load('w.mat', 'y'); disp(T.y), disp(isfield(T, 'x'))",
       "     2     3\n     0\n"},
      {"e = 1; save('e1.mat', 'e'); U = load('e1.mat', 'gone'); disp(isstruct(U)), "
       "disp(numel(fieldnames(U)))",
       "     1\n     0\n"},
      {"s.p = single(2.5); s.q = 'q'; s.r = [1 2; 3 4]; save('f.mat', '-struct', 's'); "
       "clear all; load('f.mat'); disp(class(p)), disp(q), disp(r)",
       "single\nq\n     1     2\n     3     4\n"},
      {"s.p = 1; s.q = 2; save('g.mat', '-struct', 's', 'q'); clear all; G = load('g.mat'); "
       "disp(fieldnames(G))",
       "    'q'\n"},
      {"s.p = 1; save g2.mat -struct s; clear s; load g2.mat; disp(p)", "     1\n"},
      {"b = 1; a = 2; save('v.mat', 'b', 'a'); S = load('v.mat'); save('h.mat', '-struct', 'S'); "
       "clear all; load h.mat; disp([a b])",
       "     2     1\n"},
      {"s.p = 1; save('g.mat', '-struct', 's', 'nope')",
       "error: save: the struct has no field \"nope\"."},
      {"s(2).p = 1; save('g.mat', '-struct', 's')",
       "error: save: the variable after '-struct' must be a scalar struct."},
      {"s = 1; save('g.mat', '-struct', 's')",
       "error: save: the variable after '-struct' must be a scalar struct."},
      {"save('g.mat', '-struct', 'none')", "error: save: there is no variable \"none\"."},
      {"save('g.mat', '-struct')", "error: save: '-struct' needs the name of a struct variable."},
      {"x = 1; save('g.mat', '-ascii', 'x')", "error: save: unknown option '-ascii'."},
      {"[a, b] = load('v.mat')", "error: Too many output arguments for 'load'."},
  });
}

}  // namespace

namespace {

// error and warning: a lone message as written, a format with values as sprintf makes it,
// an identifier before the format dropped, an empty message no error at all.
TEST_F(Builtins, ErrorAndWarningFormatTheirMessage) {
  expectAll({
      {"error('plain %d\\n')", "error: plain %d\\n"},
      {"error('x = %d, s = %s', 5, 'ab')", "error: x = 5, s = ab"},
      {"error('mfcc:badOption', 'unknown option ''%s''', 'liftre')",
       "error: unknown option 'liftre'"},
      {"error('mfcc:bad')", "error: mfcc:bad"},
      {"error('a: b', 1)", "error: a: b"},
      {"error('%d%% done', 50)", "error: 50% done"},
      {"error(''), disp(1)", "     1\n"},
      {"error(5)", "error: error: the message must be text."},
      {"error('id:x', 5)", "error: error: the format must be text."},
      {"error()", "error: Not enough input arguments for 'error'."},
      {"x = error('a')", "error: Too many output arguments for 'error'."},
  });
  for (const auto &[statement, expected] : std::vector<std::pair<std::string, std::string>>{
           {"warning('plain %d')", "Warning: plain %d\n"},
           {"warning('%s = %g', 'x', 1.5)", "Warning: x = 1.5\n"},
           {"warning('my:id', 'n = %d', 2)", "Warning: n = 2\n"},
           {"warning('')", ""},
       }) {
    testing::internal::CaptureStderr();
    std::string out = run(statement);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), expected) << statement;
    EXPECT_EQ(out, "") << statement;
  }
}

}  // namespace

namespace {

// The workspace in commands: who, whos, clear all, format, help, and save/load by command.
TEST_F(Builtins, WorkspaceCommands) {
  expectAll({
      {"b = 1; a = 'xy'; who", "Your variables are:\n\na  b  \n\n"},
      {"who", ""},
      {"a = 1; z = [1i 2]; t = true; f = @sin; whos",
       "  Name    Size         Bytes  Class\n\n"
       "  a       1x1              8  double\n"
       "  f       1x1              0  function_handle\n"
       "  t       1x1              1  logical\n"
       "  z       1x2             32  double (complex)\n\n"},
      {"x = ones(2, 3, 4); s = 'abc'; whos",
       "  Name    Size          Bytes  Class\n\n"
       "  s       1x3               6  char\n"
       "  x       2x3x4           192  double\n\n"},
      {"a = int16([1 2 3]); b = single(1); c = uint64(7); whos",
       "  Name    Size         Bytes  Class\n\n"
       "  a       1x3              6  int16\n"
       "  b       1x1              4  single\n"
       "  c       1x1              8  uint64\n\n"},
      {"a = 1; b = 2; clear a, who", "Your variables are:\n\nb  \n\n"},
      {"a = 1; b = 2; clear all, who", ""},
      {"format long, disp(pi), x = [1/3 -2], format short, disp(pi)",
       "    3.141592653589793\nx =\n\n    0.333333333333333   -2.000000000000000\n\n    3.1416\n"},
      {"format long, disp(1e-5), disp(1 + 2i), format, disp(1/3)",
       "   1.000000000000000e-05\n   1.000000000000000 + 2.000000000000000i\n    0.3333\n"},
      {"format long; disp(7), format", "     7\n"},
      {"help linspace", "linspace(a, b, n): 1 x n evenly spaced points from a to b (n = 100)\n"},
      {"help nothing_of_this_name", "error: help: there is no function 'nothing_of_this_name'."},
      {"x = 5; save saved.mat x; clear x; load saved.mat; disp(x)", "     5\n"},
      {"x = 1; y = 2; save 'two words.mat' y; clear all; load('two words.mat'); who",
       "Your variables are:\n\ny  \n\n"},
      {"who x", "error: Too many input arguments for 'who'."},
  });
}

// format in each of its forms, by command and by call, in any case; each display after it in
// that form until the next format, and whole numbers as integers but in the e forms.
TEST_F(Builtins, DisplayFormats) {
  expectAll({
      {"format short g, disp(pi), disp([1 1e10 -1e-5]), disp([1 2]), format",
       "       3.1416\n            1        1e+10       -1e-05\n     1     2\n"},
      {"format long g, disp(pi), disp(0.1), format",
       "       3.14159265358979\n                    0.1\n"},
      {"format long G, disp(single(pi)), format", "       3.1415927\n"},
      {"format short e, disp(pi), disp([1 -2]), disp(1 - 2i), format",
       "   3.1416e+00\n   1.0000e+00  -2.0000e+00\n   1.0000e+00 - 2.0000e+00i\n"},
      {"format longE, disp(1/3), format", "   3.333333333333333e-01\n"},
      {"format('long', 'g'), disp(2/3), format short, disp(2/3)",
       "      0.666666666666667\n    0.6667\n"},
      {"format short g, disp([1+2i 3.5-1e6i]), format", "     1 +     2i   3.5 - 1e+06i\n"},
      {"format short g, format, disp(pi)", "    3.1416\n"},
      {"format medium",
       "error: format: the formats are short, long, short e, long e, short g and long g, not "
       "'medium'."},
      {"format long x",
       "error: format: the formats are short, long, short e, long e, short g "
       "and long g, not 'long x'."},
  });
}

}  // namespace

namespace {

// repmat tiles every class, complex and N-d arrays; cat joins along any dimension,
// beyond the arrays' own as well.
TEST_F(Builtins, RepmatAndCat) {
  expectAll({
      {"disp(repmat([1 2; 3 4], 1, 2)), disp(repmat([1; 2], 2))",
       "     1     2     1     2\n     3     4     3     4\n     1     1\n     2     2\n"
       "     1     1\n     2     2\n"},
      {"disp(repmat('ab', 1, 3)), t = repmat(true, 1, 2); whos",
       "ababab\n  Name    Size         Bytes  Class\n\n  t       1x2              2  logical\n\n"},
      {"x = repmat([1; 2], [1 1 2]); disp(size(x)), disp(x(:)')",
       "     2     1     2\n     1     2     1     2\n"},
      {"disp(repmat([1i 2], 1, 2))",
       "   0.0000 + 1.0000i   2.0000 + 0.0000i   0.0000 + 1.0000i   2.0000 + 0.0000i\n"},
      {"disp(size(repmat(zeros(0, 2), 3, 2))), disp(size(repmat(5, 0, 3)))",
       "     0     4\n     0     3\n"},
      {"y = cat(3, [1 2], [3 4]); disp(size(y)), disp(y(:)')",
       "     1     2     2\n     1     2     3     4\n"},
      {"disp(cat(1, 'ab', 'cd')), disp(cat(2, [1 2], [], 3)), disp(size(cat(4, 1, 2)))",
       "ab\ncd\n     1     2     3\n     1     1     1     2\n"},
      {"disp(size(cat(2)))", "     0     0\n"},
      {"repmat(1)", "error: repmat: the number of repetitions is missing."},
      {"repmat(1, 1.5)", "error: repmat: size arguments must be whole numbers, not 1.5."},
      {"repmat(1, [1 2], 3)", "error: repmat: size argument 1 must be a scalar, not of size 1x2."},
      {"cat(0, 1, 2)", "error: cat: the dimension must be a positive integer scalar, not 0."},
      {"cat(1, [1 2], [1 2 3])",
       "error: cat: dimensions of arrays being concatenated are not consistent: 1x2 and 1x3."},
  });
}

}  // namespace

namespace {

// Reductions, mod and rem, colon ranges and zeros/ones/eye keep an integer or single class as
// arithmetic does: integers saturated, indices double, mean of integers double.
TEST_F(Builtins, ReductionsAndRangesKeepTheClass) {
  expectAll({
      {"disp(class(sum(int16([1 2])))), disp(sum(int8([100 100]))), disp(class(sum(single(1))))",
       "int16\n   127\nsingle\n"},
      {"disp(sum(int64([4611686018427387904 4611686018427387904])))", "   9223372036854775807\n"},
      {"disp(prod(int16([200 300]))), disp(class(cumsum(uint8([200 100])))), "
       "disp(cumsum(uint8([200 100])))",
       "   32767\nuint8\n   200   255\n"},
      {"disp(class(mean(int16([2 3])))), disp(mean(int16([2 3]))), disp(class(mean(single(2))))",
       "double\n    2.5000\nsingle\n"},
      {"disp(median(int8([1 2]))), disp(class(sort(int16([3 1])))), disp(any(int16([0 1])))",
       "   2\nint16\n     1\n"},
      {"[m, i] = max(int8([1 5 2])); disp(class(m)), disp(class(i)), disp(i)",
       "int8\ndouble\n     2\n"},
      {"disp(max(int8(5), 300)), disp(class(min(single(2), 3)))", "   127\nsingle\n"},
      {"disp(mod(int16(-7), 3)), disp(class(mod(int16(7), 3))), disp(class(rem(single(7), 3)))",
       "   2\nint16\nsingle\n"},
      {"x = int16(1):int16(3); disp(class(x)), disp(class(single(1):3)), disp(class(1:uint8(2)))",
       "int16\nsingle\nuint8\n"},
      {"disp(class(zeros(2, 'int16'))), disp(size(ones(2, 3, 'single'))), "
       "disp(class(ones(2, 3, 'single'))), disp(eye(2, 'uint8'))",
       "int16\n     2     3\nsingle\n   1   0\n   0   1\n"},
      {"disp(class(zeros(1, 'like', single(1)))), disp(class(ones(2, 'like', int8(1))))",
       "single\nint8\n"},
      {"disp(class(std(single([1 2])))), var(int16([1 2]))",
       "single\nerror: var: the input must be double or single, not int16."},
      {"zeros(2, 'char')",
       "error: zeros: the class must be double, single or an integer class, not 'char'."},
      {"int8(1):int16(3)",
       "error: Integers can only be combined with integers of the same class, or scalar "
       "doubles."},
      {"mod(int8(1), int16(2))",
       "error: Integers can only be combined with integers of the same class, or scalar "
       "doubles."},
  });
}

}  // namespace

namespace {

// Running products, differences, cells of elements, the norm of a single, integer ranges with
// a fractional step, and mod, rem and prod of 64-bit integers beyond 2^53.
TEST_F(Builtins, CumprodDiffNum2cellAndExactIntegers) {
  expectAll({
      {"disp(cumprod([1 2 3 4]))", "     1     2     6    24\n"},
      {"disp(cumprod([1 2; 3 4]))", "     1     2\n     3     8\n"},
      {"disp(cumprod([1 2; 3 4], 2))", "     1     2\n     3    12\n"},
      {"disp(cumprod([Inf 2]))", "   Inf   Inf\n"},
      {"disp(cumprod(int8([100 2])))", "   100   127\n"},
      {"disp(diff([1 4 9 16]))", "     3     5     7\n"},
      {"disp(diff([1 4 9 16], 2))", "     2     2\n"},
      {"disp(diff([1 2; 4 8]))", "     3     6\n"},
      {"disp(diff([1 2; 4 8], 1, 2))", "     1\n     4\n"},
      {"disp(size(diff([1 2 3], 5)))", "     1     0\n"},
      {"disp(diff([1+2i 3]))", "   2.0000 - 2.0000i\n"},
      {"diff([1 2], -1)", "error: diff: the order must be a non-negative whole number."},
      {"c = num2cell([1 2; 3 4]); disp(size(c)); disp(c{2, 1})", "     2     2\n     3\n"},
      {"c = num2cell('ab'); disp(class(c{2})); disp(c{2})", "char\nb\n"},
      {"c = num2cell({1, 'x'}); disp(class(c{2}))", "cell\n"},
      {"x = norm(single([3 4])); disp(class(x)); disp(x)", "single\n     5\n"},
      {"x = int8(1):0.4:3; disp(x); disp(class(x))", "   1   1   2   2   3   3\nint8\n"},
      {"x = intmax('uint64'); disp(mod(x, uint64(10)))", "   5\n"},
      {"x = intmax('int64') - 6; disp(rem(x, 10)); disp(mod(-x, 10))", "   1\n   9\n"},
      {"disp(mod(intmin('int64'), int64(-1)))", "   0\n"},
      {"disp(mod(int64(7), int64(0))); disp(rem(int64(7), 0))", "   7\n   0\n"},
      {"disp(prod(int64([3037000499 3037000499])))", "   9223372030926249001\n"},
      {"disp(prod(int64([-2^62 4])))", "   -9223372036854775808\n"},
      {"disp(prod(uint64([1 2; 3 4]), 2))", "    2\n   12\n"},
      {"x = prod(int64([])); disp(class(x)); disp(size(prod(int64(zeros(0, 3)))))",
       "int64\n     1     3\n"},
  });
}

}  // namespace
