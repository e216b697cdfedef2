// Cell arrays, structs and try/catch in the shell: making and indexing them, comma lists
// from c{:} and s.name, nested stores, their display, cellfun and struct's built-ins, the
// error struct a catch receives, and the host's errors for each misuse.
#include <gtest/gtest.h>

#include "shell_run.h"

namespace {

TEST_F(Shell, CellArraysAreMadeReadAndStored) {
  expectAll({
      {"c = {1, 'a'; [1 2 3], {}}; disp(size(c)); disp(iscell(c))", "     2     2\n     1\n"},
      {"c = {1, 'abc'}; x = c{2}", "x =\n\nabc\n\n"},
      {"c = {1, 'abc'}; d = c(2); disp(iscell(d)); disp(d{1})", "     1\nabc\n"},
      {"c = {}; c{3} = 5; disp(size(c)); disp(isempty(c{1}))", "     1     3\n     1\n"},
      {"c = cell(2, 3); disp(size(c)); disp(numel(c))", "     2     3\n     6\n"},
      {"c = cell(2); c{2, 2} = 'x'; disp(c{end})", "x\n"},
      {"c = {1, 2, 3}; c(2) = []; disp(numel(c)); disp(c{2})", "     2\n     3\n"},
      {"c = {1, 2}; c(2) = {7}; disp(c{2})", "     7\n"},
      {"c = {1, 2}; c{2} = []; disp(numel(c))", "     2\n"},
      {"c = {[1 2 3]}; c{1}(2) = 9; disp(c{1})", "     1     9     3\n"},
      {"c = {}; c{2}(3) = 1; disp(c{2})", "     0     0     1\n"},
      {"a = {1}; b = a; b{1} = 2; disp(a{1})", "     1\n"},  // copies stay apart
      {"c = {1, 2}; c{1} = c; disp(iscell(c{1})); disp(numel(c{1}))", "     1\n     2\n"},
      {"c = [{1}, {2, 3}]; disp(size(c))", "     1     3\n"},
      {"c = [{1}; {2}]; disp(size(c))", "     2     1\n"},
      {"c = {1, 2}; c = [c, {'x'}]; disp(c{3})", "x\n"},
  });
}

// A transpose moves a cell's items and a struct array's elements as it moves numbers.
TEST_F(Shell, CellsAndStructArraysTranspose) {
  expectAll({
      {"c = {1, 'a'; [2 3], {4}}; d = c'; disp(size(d)), disp(d{1, 2}), disp(d{2, 1})",
       "     2     2\n     2     3\na\n"},
      {"c = {1, 2, 3}.'; disp(size(c)), disp(c{3})", "     3     1\n     3\n"},
      {"s(1).a = 1; s(2).a = 2; s(3).a = 'x'; s(1).b = 5; u = [s; s]'; disp(size(u)), "
       "disp(u(3, 2).a), disp(u(1, 2).b), disp(isempty(u(2, 1).b))",
       "     3     2\nx\n     5\n     1\n"},
      {"disp(size({}')), disp(size(cell(2, 0)'))", "     0     0\n     0     2\n"},
      {"c = {1, 2; 3, 4}; d = c'; d{1, 2} = 9; disp(c{2, 1})", "     3\n"},  // copies stay apart
      {"c = cell(2, 2, 2); c'", "error: Transpose on N-D arrays is not defined: size 2x2x2."},
  });
}

TEST_F(Shell, CommaListsFromCellsAndStructArrays) {
  expectAll({
      {"c = {1, 2, 3}; disp([c{:}])", "     1     2     3\n"},
      {"c = {3, 4}; disp(max(c{:}))", "     4\n"},
      {"c = {'a', 'b'}; d = {c{:}, 'c'}; disp(numel(d))", "     3\n"},
      {"c = {[1 2], [3 4]}; x = vertcat(c{:})", "x =\n\n     1     2\n     3     4\n\n"},
      {"s(1).a = 1; s(2).a = 5; disp([s.a])", "     1     5\n"},
      {"c = {}; disp(size([c{:}]))", "     0     0\n"},
      {"c = {1, 2}; x = c{:}", "x =\n\n     1\n\n"},
  });
}

TEST_F(Shell, StructsAreMadeReadAndStored) {
  expectAll({
      {"s.a = 1; s.b = 'x'; disp(s.a); disp(s.b)", "     1\nx\n"},
      {"s.a.b.c = 4; disp(s.a.b.c)", "     4\n"},
      {"s.v = [1 2 3]; s.v(2) = 0; disp(s.v)", "     1     0     3\n"},
      {"name = 'w'; s.(name) = 2; disp(s.w); disp(s.('w') + 1)", "     2\n     3\n"},
      {"s(2).a = 5; disp(size(s)); disp(isempty(s(1).a))", "     1     2\n     1\n"},
      {"s.a = 1; s(2).b = 2; disp(isempty(s(2).a)); disp(s(2).b)", "     1\n     2\n"},
      {"s = struct('a', 1, 'b', 'two'); disp(s.b)", "two\n"},
      {"s = struct('a', {1, 2, 3}); disp(size(s)); disp(s(3).a)", "     1     3\n     3\n"},
      {"s = struct('c', {{1, 2}}); disp(iscell(s.c))", "     1\n"},
      {"s = struct(); disp(isstruct(s)); disp(numel(fieldnames(s)))", "     1\n     0\n"},
      {"s.a = 1; s.b = 2; f = fieldnames(s); disp(f{2})", "b\n"},
      {"s.a = 1; disp(isfield(s, 'a')); disp(isfield(s, {'a', 'z'}))", "     1\n     1     0\n"},
      {"s.a = 1; s.b = 2; t = rmfield(s, 'a'); disp(isfield(t, 'a')); disp(isfield(s, 'a'))",
       "     0\n     1\n"},
      {"c{2}.x = 3; disp(c{2}.x)", "     3\n"},
      {"s.c = {1, 'q'}; disp(s.c{2})", "q\n"},
      {"s(1).a = 1; s(2).a = 2; s(1) = []; disp(s.a)", "     2\n"},
      {"s.a = 1; t.a = 2; u = [s, t]; disp(size(u))", "     1     2\n"},
  });
}

TEST_F(Shell, CellsAndStructsDisplayAsTheHostShowsThem) {
  expectAll({
      {"c = {1, 'abc', [1 2 3]}", "c =\n\n    [1]    'abc'    [1x3 double]\n\n"},
      {"c = {1; [1 2 3]}", "c =\n\n    [         1]\n    [1x3 double]\n\n"},
      {"c = {{1}, true, 2.5}", "c =\n\n    {1x1 cell}    [1]    [2.5000]\n\n"},
      {"c = {}", "c =\n\n     {}\n\n"},
      {"c = cell(1, 0)", "c =\n\n   Empty cell array: 1-by-0\n\n"},
      {"c = {[], ''}", "c =\n\n    []    ''\n\n"},
      {"s.a = 1; s.name = 'abc'; s.m = ones(2); s",
       "s =\n\n       a: 1\n    name: 'abc'\n       m: [2x2 double]\n\n"},
      {"s.c = {1}; s.t.x = 1; s", "s =\n\n    c: {1x1 cell}\n    t: [1x1 struct]\n\n"},
      {"s = struct('a', {1, 2})", "s =\n\n1x2 struct array with fields:\n\n    a\n\n"},
      {"s = struct()", "s =\n\n1x1 struct array with no fields.\n\n"},
      {"c = {1, 2}; disp(c)", "    [1]    [2]\n"},
  });
}

TEST_F(Shell, CellfunWithUniformAndCellOutput) {
  expectAll({
      {"disp(cellfun(@numel, {1, [1 2], 'abc'}))", "     1     2     3\n"},
      {"disp(cellfun('isempty', {1, [], ''}))", "     0     1     1\n"},
      {"c = cellfun(@(x) x * 2, {1, [1 2]}, 'UniformOutput', false); disp(c{2})", "     2     4\n"},
      {"disp(cellfun(@(a, b) a + b, {1, 2}, {10, 20}))", "    11    22\n"},
      {"[m, i] = cellfun(@max, {[1 5 2], [7 3]}); disp([m; i])", "     5     7\n     2     1\n"},
      {"x = cellfun(@numel, {}); disp(size(x))", "     0     0\n"},
      {"x = cellfun(@(x) [x x], {1, 2})",
       "error: cellfun: a non-scalar result at index 1; set 'UniformOutput' to false."},
      {"x = cellfun(@numel, {1}, {1, 2})",
       "error: cellfun: all of the input arguments must be of the same size and shape."},
  });
}

TEST_F(Shell, TryCatchGivesTheErrorAsAStruct) {
  expectAll({
      {"try\n  x = [1 2];\n  y = x(3);\ncatch err\n  disp(err.message)\nend",
       "Index exceeds matrix dimensions: index 3, size 1x2.\n"},
      {"try, y = undefined_thing + 1; catch err, disp(err.message); end",
       "Undefined function or variable 'undefined_thing'.\n"},
      {"try, x = 1:3; y = x(5); catch e, disp(isempty(e.identifier)); end", "     1\n"},
      {"try, error('boom'); catch, disp('caught'); end; disp('after')", "caught\nafter\n"},
      {"try, disp('fine'); catch e, disp('never'); end", "fine\n"},
      {"for k = 1:3, try, if k == 2, error('two'); end, disp(k), catch e, disp(e.message), end, "
       "end",
       "     1\ntwo\n     3\n"},
      {"try, error('inner'); catch e, s = e; end; disp(s.message)", "inner\n"},
  });
}

// A catch receives error's identifier; rethrow raises the same error again, lasterr gives the
// last caught message, and error(s) takes an error struct.
TEST_F(Shell, ErrorIdentifiersRethrowAndLasterr) {
  expectAll({
      {"try, error('mfcc:badOption', 'unknown %s', 'x'); catch e, disp(e.identifier), "
       "disp(e.message), end",
       "mfcc:badOption\nunknown x\n"},
      {"try, error('a:b'); catch e, disp(isempty(e.identifier)), disp(e.message), end",
       "     1\na:b\n"},  // a lone argument is the message
      {"try, error('not an id', 'x'); catch e, disp(isempty(e.identifier)), disp(e.message), end",
       "     1\nnot an id\n"},
      {"try, try, error('m:n', 'inner'); catch e, rethrow(e); end, catch f, "
       "disp([f.identifier ' ' f.message]), end",
       "m:n inner\n"},
      {"try, x = [1 2]; x(3), catch e, end; try, rethrow(e), catch f, disp(f.message), end",
       "Index exceeds matrix dimensions: index 3, size 1x2.\n"},
      {"disp(isempty(lasterr)); try, error('first'); catch, end; try, error('second'); catch, "
       "end; disp(lasterr)",
       "     1\nsecond\n"},
      {"s.message = 'from a struct'; s.identifier = 'p:q'; try, error(s); catch g, "
       "disp([g.identifier ' ' g.message]), end",
       "p:q from a struct\n"},
      {"s.message = 'no id'; try, error(s); catch g, disp(isempty(g.identifier)), end", "     1\n"},
      {"error(struct('message', '', 'identifier', 'x:y')); disp('goes on')", "goes on\n"},
      {"s.message = 'raised'; s.identifier = 'a:b'; rethrow(s)", "error: raised"},
      {"rethrow(5)",
       "error: rethrow: expects an error struct with the fields message and identifier."},
      {"s.message = 'm'; rethrow(s)",
       "error: rethrow: expects an error struct with the fields message and identifier."},
      {"s.message = 5; error(s)", "error: error: the field 'message' must be a row of text."},
      {"error(struct('message', {'a', 'b'}))",
       "error: error: the error struct must be a scalar struct."},
  });
}

TEST_F(Shell, MisusedCellsAndStructsGiveTheHostsErrors) {
  expectAll({
      {"x = 5; y = x{1}", "error: Cell contents reference from a non-cell array object."},
      {"x = 5; x{1} = 2", "error: Cell contents assignment to a non-cell array object."},
      {"c = {1, 2}; c(1) = 5", "error: Conversion to cell from double is not possible."},
      {"x = [1 2]; x(1) = {3}", "error: Conversion to double from cell is not possible."},
      {"c = {1, 2}; y = c{3}", "error: Index exceeds matrix dimensions: index 3, size 1x2."},
      {"x = 5; y = x.a", "error: Attempt to reference field of non-structure array."},
      {"s.a = 1; y = s.b", "error: Reference to non-existent field 'b'."},
      {"x = 5; x.a = 1", "error: Field assignment to a non-structure array object."},
      {"c = {1}; y = c + 1",
       "error: +: an operand is a cell array, which this operation does not take."},
      {"c = {1}; y = c(c)",
       "error: Function 'subsindex' is not defined for values of class 'cell'."},
      {"s.a = 1; t = rmfield(s, 'z')", "error: Reference to non-existent field 'z'."},
      {"c = {1, 2}; c{1:2} = 3",
       "error: The right hand side of this assignment has too few values to satisfy the left hand "
       "side: 2 cells selected."},
      {"s = struct('a', {1, 2}); s.a = 3",
       "error: A field assignment s.a = x needs a single struct, not one of size 1x2."},
  });
}

}  // namespace

namespace {

// Stores at any depth: the results, including when another variable shares the container or
// a deeper subscript reads the variable itself while its element is out.
TEST_F(Shell, NestedStoresAtAnyDepth) {
  expectAll({
      {"c = {zeros(1, 3)}; for j = 1:3, c{1}(j) = j; end; disp(c{1})", "     1     2     3\n"},
      {"s.a.b = [1 2]; s.a.b(2) = 7; disp(s.a.b)", "     1     7\n"},
      {"c = {{[1 2]}}; c{1}{1}(1) = 5; disp(c{1}{1})", "     5     2\n"},
      {"s.c = {[1 2]}; s.c{1}(2) = 4; disp(s.c{1})", "     1     4\n"},
      {"c = {1, [1 2]}; c{2, 1}(3) = 6; disp(size(c)); disp(c{2, 1})",
       "     2     2\n     0     0     6\n"},
      {"c = {[1 2]}; d = c; c{1}(1) = 9; disp([c{1}; d{1}])", "     9     2\n     1     2\n"},
      {"s.a.b = 1; t = s; s.a.b(2) = 3; disp(t.a.b); disp(s.a.b)", "     1\n     1     3\n"},
      {"x = [1 2]; c = {x}; c{1}(2) = 0; disp(x)", "     1     2\n"},
      {"c = {[1 2 3]}; c{1}(numel(c{1})) = 0; disp(c{1})", "     1     2     0\n"},
      {"s.a = [4 5]; s.n = 2; s.a(s.n) = 1; disp(s.a)", "     4     1\n"},
      {"c = {[1 2 3]}; c{1}(end) = 8; disp(c{1})", "     1     2     8\n"},
      {"c = {[1 2 3]}; c{1}(2) = []; disp(c{1})", "     1     3\n"},
      {"c = {}; c{2}.a(2) = 1; disp(c{2}.a)", "     0     1\n"},
  });
}

// A store that fails at the innermost level leaves every container as it was.
TEST_F(Shell, AFailedNestedStoreLeavesTheContainer) {
  const char *keep = "; catch, end; disp(c{1}); disp(s.a.b)";
  const char *before = "c = {[1 2 3]}; s.a.b = [4 5]; try, ";
  const std::string unchanged = "     1     2     3\n     4     5\n";
  for (const char *store : {"c{1}(0) = 1", "c{1}(2, :) = [1 2]", "s.a.b(1.5) = 1", "s.a.b(1) = {2}",
                            "c{1}(1) = undefined_name", "s.a.b(:, 3) = [1; 2]"}) {
    EXPECT_EQ(run(std::string(before) + store + keep), unchanged) << store;
  }
}

// The inner array is changed where it lies: with element buffers above 1 KiB refused, stores
// into arrays of 8000 bytes inside a cell and a struct succeed, so none copies its array.
TEST_F(Shell, NestedStoresChangeAnUnsharedArrayInPlace) {
  shell::Evaluator ev;
  ev.run(shell::parse("c = {zeros(1, 1000)}; s.a.b = zeros(1, 1000);"));
  const double *cell = mxGetPr(mxGetCell(ev.variable("c"), 0));
  mexrtLimitAllocation(1024);
  std::string error;
  try {
    ev.run(shell::parse("for j = 1:100, c{1}(10 * j) = j; s.a.b(10 * j) = -j; end"));
  } catch (const std::exception &e) {
    error = e.what();
  }
  mexrtLimitAllocation(0);
  EXPECT_EQ(error, "");
  EXPECT_EQ(mxGetPr(mxGetCell(ev.variable("c"), 0)), cell) << "c{1} moved";
  EXPECT_EQ(mxGetPr(mxGetCell(ev.variable("c"), 0))[999], 100);
  EXPECT_EQ(mxGetPr(mxGetField(mxGetField(ev.variable("s"), 0, "a"), 0, "b"))[999], -100);
}

}  // namespace
