// The shell's evaluator in-process: precedence, literals, ranges, subscripts, control flow,
// display, multiple results, errors, and that a failed statement leaks no array.
#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "mexrt/error.h"
#include "shell/builtins/builtins.h"
#include "shell_run.h"

namespace {

// \ and / solve with a matrix, the linear-algebra built-ins give several results, and
// sizes that do not fit are the operators' errors.
TEST_F(Shell, LinearAlgebraThroughOperatorsAndBuiltins) {
  expectAll({
      {"A = [2 0; 0 4]; disp(A \\ [2; 8])", "     1\n     2\n"},
      {"disp([2 8] / [2 0; 0 4])", "     1     2\n"},
      {"disp(2 \\ [4 6])", "     2     3\n"},
      {"disp(1 \\ 2 * 3)", "     6\n"},  // \ binds as * does, left to right
      {"[V, D] = eig([2 0; 0 3]); disp(V * D / V)", "     2     0\n     0     3\n"},
      {"[U, S, V] = svd([0 2; 3 0]); disp(diag(S)')", "     3     2\n"},
      {"s = svd([1 2; 3 4; 5 6], 'econ'); disp(size(s))", "     2     1\n"},
      {"[U, S] = svd(ones(3, 2), 0); disp(size(U))", "     3     2\n"},
      {"disp(det(eye(3) * 2) + trace(kron([1 1], [1; 1])))", "    10\n"},
      {"disp(norm([3 4]) + rank(ones(3)) + norm(inv([]), 'fro'))", "     6\n"},
      {"x = [1 2; 3 4] \\ [1 2 3]", "error: Matrix dimensions must agree: 2x2 \\ 1x3."},
      {"x = inv([1 2 3])", "error: Matrix must be square."},
  });
}

TEST_F(Shell, PrecedenceAndAssociativity) {
  expectAll({
      {"disp(1 + 2 * 3)", "     7\n"},
      {"disp((1 + 2) * 3)", "     9\n"},
      {"disp(-2 ^ 2)", "    -4\n"},
      {"disp(2 ^ -1)", "    0.5000\n"},
      {"disp(2 ^ 3 ^ 2)", "    64\n"},  // left-associative: (2^3)^2
      {"disp(8 / 4 / 2)", "     1\n"},
      {"disp(10 - 4 - 3)", "     3\n"},
      {"disp(1 + 2 == 3)", "     1\n"},
      {"disp(~0 == 1)", "     1\n"},                    // ~ binds tighter than ==
      {"disp(1 | 0 & 0)", "     1\n"},                  // & binds tighter than |
      {"disp(1:3 + 1)", "     1     2     3     4\n"},  // + binds tighter than :
      {"disp(1 < 2 < 3)", "     1\n"},
      {"disp(-[1 2]')", "    -1\n    -2\n"},
      {"x = [1 2; 3 4]; disp(x .^ [1 0; 1 0]')", "     1     2\n     1     1\n"},  // ' first
      {"disp(0 && undefined_name)", "     0\n"},                                   // short circuit
      {"disp(1 || undefined_name)", "     1\n"},
  });
}

TEST_F(Shell, MatrixLiterals) {
  expectAll({
      {"disp([1, 2 3])", "     1     2     3\n"},
      {"disp([1 -2])", "     1    -2\n"},
      {"disp([1 - 2])", "    -1\n"},
      {"disp([1 2; 3 4])", "     1     2\n     3     4\n"},
      {"disp([1 2\n3 4])", "     1     2\n     3     4\n"},
      {"disp([1, 2;\n 3, 4;])", "     1     2\n     3     4\n"},
      {"x = [1 2]; disp([x' x'])", "     1     1\n     2     2\n"},
      {"disp(['ab' 'cd'])", "abcd\n"},
      {"disp(size([]))", "     0     0\n"},
      {"disp([1 ...\n 2])", "     1     2\n"},
      {"disp([1 2 % a comment\n 3 4])", "     1     2\n     3     4\n"},
  });
}

TEST_F(Shell, RangesAndSubscripts) {
  expectAll({
      {"disp(1:4)", "     1     2     3     4\n"},
      {"disp(5:-2:1)", "     5     3     1\n"},
      {"disp(size(3:1))", "     1     0\n"},
      {"x = 10:10:50; disp(x(end))", "    50\n"},
      {"x = 10:10:50; disp(x(end - 1))", "    40\n"},
      {"x = 10:10:50; disp(x(2:end))", "    20    30    40    50\n"},
      {"x = [1 2; 3 4]; disp(x(end, 1))", "     3\n"},
      {"x = [1 2; 3 4]; disp(x(:)')", "     1     3     2     4\n"},
      {"x = [1 2; 3 4]; disp(x(2, :))", "     3     4\n"},
      {"x = [1 2; 3 4]; disp(x([1 end]))", "     1     4\n"},
      {"x = []; x(3) = 7; disp(x)", "     0     0     7\n"},
      {"x = 1:3; x(end + 1) = 9; disp(x)", "     1     2     3     9\n"},
      {"x = zeros(2); x(2, :) = [5 6]; disp(x)", "     0     0\n     5     6\n"},
  });
}

TEST_F(Shell, ControlFlow) {
  expectAll({
      {"s = 0; for k = 1:4, s = s + k; end, disp(s)", "    10\n"},
      {"for k = [1 2; 3 4], disp(k'), end", "     1     3\n     2     4\n"},
      {"for k = [], disp(k), end, disp(0)", "     0\n"},
      {"n = 0; while n < 3\n n = n + 1;\nend\ndisp(n)", "     3\n"},
      {"x = 2; if x > 3, disp(1), elseif x > 1, disp(2), else, disp(3), end", "     2\n"},
      {"if [], disp(1), else, disp(0), end", "     0\n"},
      {"for k = 1:5, if k == 3, break, end, disp(k), end", "     1\n     2\n"},
      {"for k = 1:3, if k == 2, continue, end, disp(k), end", "     1\n     3\n"},
      {"k = 0; while true, k = k + 1; if k >= 2, break; end; end; disp(k)", "     2\n"},
  });
}

TEST_F(Shell, Display) {
  expectAll({
      {"x = 5", "x =\n\n     5\n\n"},
      {"x = 5;", ""},
      {"3", "ans =\n\n     3\n\n"},
      {"x = 4; x", "x =\n\n     4\n\n"},
      {"x = []", "x =\n\n     []\n\n"},
      {"s = 'hi'", "s =\n\nhi\n\n"},
      {"x = [1.5 2]", "x =\n\n    1.5000    2.0000\n\n"},
      {"x = 1e-4", "x =\n\n   1.0000e-04\n\n"},
      {"x = [1 1000000]", "x =\n\n           1     1000000\n\n"},
      {"x = 1 == 1", "x =\n\n     1\n\n"},
      {"db(100)", "ans =\n\n    40\n\n"},
      {"2; disp(ans)", "     2\n"},
      {"[m, n] = size(zeros(2, 3))", "m =\n\n     2\n\nn =\n\n     3\n\n"},
      {"[v, i] = max([3 9 4]); disp([v i])", "     9     2\n"},
      {"[r, c] = find([0 1; 1 0]); disp([r c])", "     2     1\n     1     2\n"},
      {"fprintf('%d-%d\\n', 1, 2)", "1-2\n"},
      {"fprintf(1, 'x%s\\n', 'y')", "xy\n"},
      {"disp(numel(ones(2, 3)) + sum([1 2 3]) + abs(-1) + min([4 2]))", "    15\n"},
      {"disp(reshape(1:4, 2, 2))", "     1     3\n     2     4\n"},
      {"disp(round(pi * 100))", "   314\n"},
      {"disp([isempty([]) isempty(1)])", "     1     0\n"},
      {"disp(Inf), disp(-Inf), disp(NaN)", "   Inf\n  -Inf\n   NaN\n"},
  });
}

TEST_F(Shell, ComplexNumbers) {
  expectAll({
      {"z = 3 + 4i", "z =\n\n   3.0000 + 4.0000i\n\n"},
      {"z = log(-1)", "z =\n\n   0.0000 + 3.1416i\n\n"},
      {"disp(sqrt(-4))", "   0.0000 + 2.0000i\n"},
      {"disp(i * j)", "    -1\n"},
      {"i = 2; disp(i * 3)", "     6\n"},  // a variable named i hides the constant
      {"disp((1+2i)')", "   1.0000 - 2.0000i\n"},
      {"disp((1+2i).')", "   1.0000 + 2.0000i\n"},
      {"disp([1+2i 3].')", "   1.0000 + 2.0000i\n   3.0000 + 0.0000i\n"},
      {"disp([1 -2i])", "   1.0000 + 0.0000i   0.0000 - 2.0000i\n"},
      {"x = (1 + 2i) - 2i", "x =\n\n     1\n\n"},  // the imaginary part cancels: real
      {"x = [1 2 3]; x(2) = 1i",
       "x =\n\n   1.0000 + 0.0000i   0.0000 + 1.0000i   3.0000 + 0.0000i\n\n"},
      {"x = [1+1i 2]; disp(x(2))", "     2\n"},
      {"disp([real(3-4i) imag(3-4i) abs(3-4i)])", "     3    -4     5\n"},
      {"disp(conj(3-4i))", "   3.0000 + 4.0000i\n"},
      {"disp(angle(-1))", "    3.1416\n"},
      {"disp(isreal(complex(1, 0)))", "     0\n"},
      {"disp(isreal(complex(1, 0) + 0))", "     1\n"},
      {"if 1i, disp('yes'), end", "yes\n"},
      {"if 0i, disp('yes'), else, disp('no'), end", "no\n"},
      {"disp(1i == 1i), disp(1 + 1i > 2)", "     1\n     0\n"},
      {"fprintf('%g\\n', 2.5 - 1i)", "2.5\n"},
      {"db(-1)", "ans =\n\n   0.0000 +27.2875i\n\n"},
  });
}

TEST_F(Shell, FourierTransforms) {
  expectAll({
      {"X = fft([1 2 3 4])",
       "X =\n\n  10.0000 + 0.0000i  -2.0000 + 2.0000i  -2.0000 + 0.0000i  -2.0000 - 2.0000i"
       "\n\n"},
      {"disp(ifft(fft([1 2 3 4])))", "     1     2     3     4\n"},
      {"disp(size(fft(ones(3, 2), 8)))", "     8     2\n"},
      {"disp(size(fft(ones(3, 2), [], 2)))", "     3     2\n"},
      {"disp(abs(fft([1 0 0 0], 2, 2)))", "     1     1\n"},
      {"x = ifft([10, -2+2i, -2, -2-2i], 'symmetric')", "x =\n\n     1     2     3     4\n\n"},
      {"disp(ifft([4 0], 2, 2, 'symmetric'))", "     2     2\n"},
      {"fft()", "error: Not enough input arguments for 'fft'."},
      {"ifft(1, 2, 3, 4, 5)", "error: Too many input arguments for 'ifft'."},
      {"ifft(1, 2, 3, 4)", "error: Too many input arguments for 'ifft'."},
      {"ifft([1 2], 'other')", "error: ifft: the option must be 'symmetric' or 'nonsymmetric'."},
  });
}

TEST_F(Shell, ErrorsAreClearAndLeakNothing) {
  expectAll({
      {"foo", "error: Undefined function or variable 'foo'."},
      {"x = foo(1) + 2", "error: Undefined function or variable 'foo'."},
      {"disp(1, 2)", "error: Too many input arguments for 'disp'."},
      {"[a, b] = db(1)",
       "error: Run-time Error: File: db Line: 1 Column: 1 The function "
       "\"db\" was called with more than the declared number of outputs (1)."},
      {"db()", "error: Input argument \"x\" is undefined."},
      {"disp(end)", "error: 'end' is only valid inside a subscript of a variable."},
      {"for k = 1:3, disp(k), error('stop here'), end", "     1\nerror: stop here"},
      {"x = disp(1)", "error: Too many output arguments for 'disp'."},
      {"break", "error: 'break' and 'continue' are only valid inside a loop."},
  });
}

// @name and @(params) body: called with f(args) and feval, capturing the variables their
// body names when they are made, shown as they are written.
TEST_F(Shell, FunctionHandles) {
  expectAll({
      {"a = 2; f = @(x) a * x + 1; a = 10; disp(f(3))", "     7\n"},
      {"a = [1 2 3]; f = @(k) a(k); clear('a'); disp(f(2))", "     2\n"},
      {"f = @(x, y) x - y; disp(f(5, 2)), disp(feval(f, 1, 4))", "     3\n    -3\n"},
      {"g = @cos; disp(g(0)), disp(feval(g, pi)), disp(feval('sqrt', 16))",
       "     1\n    -1\n     4\n"},
      {"m = @max; [v, i] = m([3 9 2]); disp([v i])", "     9     2\n"},
      {"m = @(v) max(v); [v, i] = m([3 9 2]); disp([v i])", "     9     2\n"},
      {"k = @() disp('called'); k()", "called\n"},
      {"f = @(x) x; y = f(4); clear('f'); disp(y)", "     4\n"},
      {"add = @(n) @(x) x + n; inc = add(1); disp(inc(41))", "    42\n"},
      {"f = @(x) x .^ 2 - (x + 1) * -x'", "f =\n\n    @(x) x .^ 2 - (x + 1) * -x'\n\n"},
      {"f = @(s) [s, 'it''s']; disp(f('ok: '))", "ok: it's\n"},
      {"disp(@(x) 2.5 * x(end):-1), g = @sin", "@(x) 2.5 * x(end):-1\ng =\n\n    @sin\n\n"},
      {"disp(func2str(@(x) (1 + x) / 2)), disp(func2str(@db))", "@(x) (1 + x) / 2\ndb\n"},
      {"c = {1, 'a'}; s.w = 2; f = @(x) {c{1}(1), x; s.w, s.('w')}; disp(func2str(f)); "
       "g = f(3); disp(g{2, 2})",
       "@(x) {c{1}(1), x; s.w, s.('w')}\n     2\n"},
      {"f = str2func('db'); disp(f(10))", "    20\n"},
      {"f = @(x) x + 1; f + 1", "error: +: a function handle is not an operand of this operation."},
      {"f = @(x) x + 1; [f f]",
       "error: horzcat: a function handle is not an operand of this operation."},
      {"f = @(x) x; if f, end",
       "error: if: a function handle is not an operand of this operation."},
      {"f = @(x) x; f(1, 2)", "error: Too many input arguments for @(x) x."},
      {"f = @(x, y) x + y; f(1)", "error: Undefined function or variable 'y'."},
      {"f = @nothing; f(1)", "error: Undefined function or variable 'nothing'."},
      {"f = @(x) x; db(f)", "error: The module function 'db' takes arrays, not function handles."},
      {"feval(3)", "error: Expected a function handle or a function's name."},
      {"func2str(1)", "error: func2str: the argument must be a function handle."},
      {"str2func('a b')", "error: str2func: 'a b' is not a function name."},
  });
}

// bsxfun repeats singleton dimensions to the common size, also of N-d arrays, for the
// operators' functions and for any element-wise handle.
TEST_F(Shell, Bsxfun) {
  expectAll({
      {"disp(bsxfun(@plus, [1; 2], [10 20 30]))", "    11    21    31\n    12    22    32\n"},
      {"disp(bsxfun(@minus, [1 2; 3 4], [1 2]))", "     0     0\n     2     2\n"},
      {"disp(bsxfun(@(u, v) u .* v, [1 2 3], [1; 2]))", "     1     2     3\n     2     4     6\n"},
      {"disp(bsxfun(@times, 2, [1 2]))", "     2     4\n"},
      {"disp(bsxfun(@rdivide, [2 4], [2; 1])), disp(bsxfun(@ldivide, 2, [2 4]))",
       "     1     2\n     2     4\n     1     2\n"},
      {"disp(bsxfun(@eq, [1 2 3], [1; 3])), disp(bsxfun(@max, [1 5], [3; 4]))",
       "     1     0     0\n     0     0     1\n     3     5\n     4     5\n"},
      {"disp(size(bsxfun(@plus, ones(2, 1, 3), ones(1, 4))))", "     2     4     3\n"},
      {"s = bsxfun(@plus, reshape(1:2, 1, 1, 2), [0; 10]); disp(s(:)')",
       "     1    11     2    12\n"},
      {"disp(size(bsxfun(@plus, zeros(0, 3), [1 2 3])))", "     0     3\n"},
      {"bsxfun(@plus, [1 2], [1 2 3])",
       "error: bsxfun: the sizes of the operands do not agree in dimension 2 (2 and 3)."},
      {"bsxfun(@(u, v) sum(u), [1 2], [1; 2])",
       "error: bsxfun: the function must give one array of its operands' common size."},
      {"bsxfun('plus', 1, 2)", "error: bsxfun: the first argument must be a function handle."},
      {"bsxfun(@plus, 1)", "error: Not enough input arguments for 'bsxfun'."},
  });
}

TEST_F(Shell, RuntimeErrorsKeepTheirMessages) {
  for (const char *s : {"x = 1; disp(x(5))", "x = [1 2] + [1 2 3]", "x = [1 2; 3]"}) {
    std::string out = run(s);
    EXPECT_EQ(out.rfind("error: ", 0), 0u) << s;
    EXPECT_GT(out.size(), 10u) << s << ": an empty message";
  }
}

TEST_F(Shell, ErrorNamesTheLineOfTheFailingStatement) {
  shell::Evaluator ev;
  testing::internal::CaptureStdout();
  EXPECT_THROW(ev.run(shell::parse("x = 1;\nfor k = 1:2\n  y = k;\n  z = nothing;\nend\n")),
               mexrt::Error);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(ev.line(), 4);
  ASSERT_NE(ev.variable("y"), nullptr);  // the statements before the error have run
  EXPECT_EQ(ev.variable("z"), nullptr);
}

}  // namespace

namespace {

// The families join into one table: no name twice, and every built-in found by its name
// with a one-line description that starts with its own name.
TEST(Builtins, EachFamilyMemberIsFoundByNameAndDescribed) {
  std::vector<const shell::Builtin *> all = shell::allBuiltins();
  ASSERT_GT(all.size(), 20u);
  for (const shell::Builtin *b : all) {
    EXPECT_EQ(shell::findBuiltin(b->name), b) << b->name;
    EXPECT_EQ(b->help.rfind(b->name, 0), 0u) << b->name << ": " << b->help;
    EXPECT_EQ(b->help.find('\n'), std::string_view::npos) << b->name << ": one line";
  }
  EXPECT_EQ(shell::findBuiltin("no_such_builtin"), nullptr);
}

// A script with its n-th allocation made to fail, for n from 1 until it succeeds: every
// failure is the "Out of memory" error, leaks nothing, and the script then runs as before.
TEST_F(Shell, EveryFailedAllocationIsOutOfMemory) {
  const std::string script =
      "x = [1 2; 3 4]; y = x * x' + 1; s = 0;\n"
      "for k = 1:3, s = s + sum(y(:, 1)) * k; end\n"
      "fprintf('%d,%s\\n', s, 'ab'); w = [x; 5 6]; z = w(2:end, :); disp(db([1 10 100])); disp(z)";
  const std::string expected = run(script);
  ASSERT_EQ(expected.find("error"), std::string::npos) << expected;
  size_t failAt = 1;
  for (;; ++failAt) {
    mexrtFailAllocation(failAt);
    std::string got = run(script);
    mexrtFailAllocation(0);
    EXPECT_EQ(mexrtLiveArrayCount(), live_) << "failing at allocation " << failAt;
    if (got == expected) break;
    EXPECT_NE(got.find("error: Out of memory"), std::string::npos)
        << "failing at allocation " << failAt << ": " << got;
    EXPECT_EQ(run(script), expected) << "after a failure at allocation " << failAt;
    ASSERT_LT(failAt, 100000u);
  }
  std::cout << "script: " << failAt - 1 << " failure points\n";
}

// The fuzzer's bound on element buffers: a size computed from char codes (46 * 65533 and up)
// is the out-of-memory error naming its bytes, leaks nothing, and a small array still works.
TEST_F(Shell, BoundedAllocationsRefuseHugeArraysFromText) {
  mexrtLimitAllocation(std::size_t{16} << 20);
  std::string big = run("x = 1:('.' * char(65533)) * 100;");
  std::string small = run("y = numel(1:('.' * 'z'))");
  mexrtLimitAllocation(0);
  EXPECT_NE(big.find("error: Out of memory: cannot allocate"), std::string::npos) << big;
  EXPECT_NE(small.find("5612"), std::string::npos) << small;
  EXPECT_EQ(mexrtLiveArrayCount(), live_);
}

}  // namespace

namespace {

// The arguments of the last call of `probe`, as text joined by "|" ("#" for a non-text one).
// Like a module's gateway, it takes its arguments over.
std::string probed;

void probe(int32_t, mxArray *[], int32_t nrhs, mxArray *prhs[]) {
  probed.clear();
  for (int32_t k = 0; k < nrhs; ++k) {
    char *text = mxGetClassID(prhs[k]) == mxCHAR_CLASS ? mxArrayToString(prhs[k]) : nullptr;
    probed += (k ? "|" : "") + std::string(text ? text : "#");
    mxFree(text);
    shell::discard(prhs[k]);
  }
}

// Runs the statements with `probe` served by a module; what they print, what probe received
// in its last call ("-" for no call), or the error.
std::string runProbed(const std::string &statements) {
  shell::Hooks hooks;
  hooks.findFunction = [](std::string_view name) -> MexGatewayFn {
    return name == "probe" ? probe : nullptr;
  };
  probed = "-";
  std::string out = run(statements, std::move(hooks));
  std::size_t error = out.find("error: ");
  if (error == std::string::npos) error = out.size();
  return out.substr(0, error) + "[" + probed + "]" + out.substr(error);
}

// Command syntax applies to any name that is not a variable: the words arrive as text; the
// same text is an expression when the name is a variable, and an unknown name is the
// undefined-function error.
TEST_F(Shell, CommandSyntaxForAnyNameNotAVariable) {
  const struct {
    const char *statements;
    const char *expected;  // output, [the probe's arguments], error
  } cases[] = {
      {"probe on", "[on]"},
      {"probe long g", "[long|g]"},
      {"probe tight;", "[tight]"},
      {"probe -1", "[-1]"},
      {"probe 'two words' x", "[two words|x]"},
      {"probe a=b", "[a=b]"},
      {"probe ==b", "[==b]"},
      {"x = 1; probe x, probe y", "[y]"},
      {"if true, probe on, end", "[on]"},
      {"probe(1, 'on')", "[#|on]"},
      {"nosuchname - 1", "[-]error: Undefined function or variable 'nosuchname'."},
      {"probe = 3; probe -1; disp(ans)", "     2\n[-]"},
      {"x = 5; x -1; disp(ans)", "     4\n[-]"},
      {"x = [1 2]; x .^2; disp(ans)", "     1     4\n[-]"},
      {"a = 3; b = 1; a - b; disp(ans)", "     2\n[-]"},
      {"a = [7 8]; a(2); disp(ans)", "     8\n[-]"},
      {"x = 5; x hello", "[-]error: 'x' is a variable: the text after it is no expression."},
      {"disp hello", "hello\n[-]"},
      {"disp -1", "-1\n[-]"},
      {"nosuchname hello", "[-]error: Undefined function or variable 'nosuchname'."},
  };
  for (const auto &c : cases) EXPECT_EQ(runProbed(c.statements), c.expected) << c.statements;
}

}  // namespace

namespace {

// Arithmetic on real double scalars, computed without arrays and written into the variable in
// place, gives what the operators give and never changes an array that shares the variable.
TEST_F(Shell, ScalarArithmeticInPlace) {
  expectAll({
      {"s = 0; for k = 1:4, s = s + k * 2; end; disp(s)", "    20\n"},
      {"s = 1; t = s; s = s + 1; disp([s t])", "     2     1\n"},
      {"s = 1; c = {s}; s = -s; disp([s c{1}])", "    -1     1\n"},
      {"s = 2; f = @() s; s = s * 10; disp([s f()])", "    20     2\n"},
      {"for k = 1:3, y = k; end; disp([k y])", "     3     3\n"},
      {"for k = 1:3, r(k) = k; end; disp(r)", "     1     2     3\n"},
      {"for k = [1 2; 3 4], disp(k'), end", "     1     3\n     2     4\n"},
      {"k = 'a'; for k = [5 6], end; disp(k)", "     6\n"},
      {"s = int8(100); s = s + 100; disp(s)", "   127\n"},
      {"s = single(1); s = s / 3; disp(class(s))", "single\n"},
      {"s = 1; s = s + 1i; disp(s)", "   1.0000 + 1.0000i\n"},
      {"s = true; s = s + 1; disp(class(s))", "double\n"},
      {"s = [1 2]; s = s * 2; disp(s)", "     2     4\n"},
      {"s = 4; s = 2 \\ s; disp(s)", "     2\n"},
      {"s = 1; s = s / 0; disp(s)", "   Inf\n"},
      {"s = 3; s = -s + 1; disp(s)", "    -2\n"},
      {"s = 2; s = s ^ 3; disp(s)", "     8\n"},
      {"s = 2; s = s == 2; disp(class(s))", "logical\n"},
      {"s = 5; s = s - undefined_name", "error: Undefined function or variable 'undefined_name'."},
  });
}

}  // namespace
