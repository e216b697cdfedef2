// Subscripts in the shell: any number of them in reads and stores (with end, colons and
// growth), linear indexing of N-d arrays, deletion with x(i) = [], the class a store
// keeps, and the errors of bad subscripts.
#include <gtest/gtest.h>

#include "shell_run.h"

namespace {

TEST_F(Shell, SeveralSubscriptsReadAndStore) {
  expectAll({
      {"x = zeros(2,2,2); x(1,2,2) = 5; disp(x(:)')",
       "     0     0     0     0     0     0     5     0\n"},
      {"x = reshape(1:24, 2, 3, 4); disp(x(2, 3, 4))", "    24\n"},
      {"x = reshape(1:24, 2, 3, 4); disp(x(end, end, end))", "    24\n"},
      {"x = reshape(1:24, 2, 3, 4); disp(x(1, end))", "    23\n"},  // end over 3x4 folded
      {"x = reshape(1:24, 2, 3, 4); disp(size(x(:, :, 2)))", "     2     3\n"},
      {"x = reshape(1:24, 2, 3, 4); disp(size(x(:, 2, :)))", "     2     1     4\n"},
      {"x = reshape(1:24, 2, 3, 4); disp(x(:, 2, 3)')", "    15    16\n"},
      {"x = reshape(1:24, 2, 3, 4); disp(x(14))", "    14\n"},  // linear
      {"x = reshape(1:24, 2, 3, 4); disp(x(end))", "    24\n"},
      {"x = reshape(1:8, 2, 2, 2); disp(x(2, 3))", "     6\n"},  // 2 subscripts fold 2x2 pages
      {"x = 1:3; disp(x(1, 2, 1))", "     2\n"},  // trailing 1s beyond the dimensions
      {"x = reshape(1:8, 2, 2, 2); x(:, :, 2) = [0 0; 0 0]; disp(sum(x(:)))", "    10\n"},
      {"x = []; x(2, 2, 2) = 1; disp(size(x))", "     2     2     2\n"},
      {"x = ones(2); x(3, 1, 2) = 7; disp(size(x)); disp(x(3, 1, 2) + x(3, 2, 1))",
       "     3     2     2\n     7\n"},
      {"x = reshape(1:24, 2, 3, 4); x(3, 1) = 9; disp(size(x))", "     3     3     4\n"},
      {"x = []; x(:, :, 2) = [1 2; 3 4]; disp(size(x))", "     2     2     2\n"},
      {"x = zeros(2, 2, 2); x(:, 1, :) = 1; disp(x(:)')",
       "     1     1     0     0     1     1     0     0\n"},
  });
}

TEST_F(Shell, DeletionWithEmptyBrackets) {
  expectAll({
      {"x = 1:5; x(2) = []; disp(x)", "     1     3     4     5\n"},
      {"x = (1:5)'; x([1 end]) = []; disp(size(x))", "     3     1\n"},
      {"x = [8 1 6; 3 5 7; 4 9 2]; x([1 2]) = []; disp(size(x))", "     1     7\n"},
      {"x = [8 1 6; 3 5 7; 4 9 2]; x(:, 2) = []; disp(x)",
       "     8     6\n     3     7\n     4     2\n"},
      {"x = [8 1 6; 3 5 7; 4 9 2]; x(2, :) = []; disp(size(x))", "     2     3\n"},
      {"x = [8 1 6; 3 5 7; 4 9 2]; x(:) = []; disp(size(x))", "     0     0\n"},
      {"x = [8 1 6; 3 5 7; 4 9 2]; x(:, :) = []; disp(size(x))", "     0     3\n"},
      {"x = [8 1 6; 3 5 7; 4 9 2]; x(1:end, 1) = []; disp(size(x))", "     3     2\n"},
      {"x = 7; x(1) = []; disp(size(x))", "     1     0\n"},
      {"x = 1:4; x([1 0 1 0] > 0) = []; disp(x)", "     2     4\n"},
      {"x = 1:4; x([]) = []; disp(x)", "     1     2     3     4\n"},
      {"x = reshape(1:8, 2, 2, 2); x(:, :, 1) = []; disp(size(x)); disp(x(:)')",
       "     2     2\n     5     6     7     8\n"},
      {"x = 'hello'; x([1 5]) = []; disp(x)", "ell\n"},
      {"x = [1+2i 3 4i]; x(2) = []; disp(imag(x))", "     2     4\n"},
      {"x = 1:5; e = []; x(1) = e; disp(x)", "     2     3     4     5\n"},
      {"x = 1:3; x(5) = []",
       "error: Matrix index is out of range for deletion: index 5, size 1x3."},
      {"x = [8 1 6; 3 5 7; 4 9 2]; x(1, 2) = []",
       "error: A null assignment can have only one non-colon index."},
      {"x = [8 1 6; 3 5 7; 4 9 2]; x(0) = []",
       "error: Subscript indices must be real positive integers: 0."},
  });
}

// Numbers stored into a char array keep it char; into a logical array they make it double.
TEST_F(Shell, StoresKeepTheClassOfTheTarget) {
  expectAll({
      {"s = 'abc'; s(1) = 65", "s =\n\nAbc\n\n"},
      {"s = 'abc'; s(2:3) = [120 121]; disp(s)", "axy\n"},
      {"s = 'ab'; s(4) = 'd'; disp(s + 0)", "    97    98     0   100\n"},
      {"l = [true false]; l(2) = 5; disp(l)", "     1     5\n"},
      {"l = [true false]; l(2) = 0.5; disp(l)", "    1.0000    0.5000\n"},
      {"x = []; x(2) = 'c'; y = x(2)", "y =\n\nc\n\n"},
      {"s = 'ab'; s(1) = 1i", "error: Complex values cannot be stored in a char array."},
  });
}

TEST_F(Shell, BadSubscriptsAreTheHostsErrors) {
  expectAll({
      {"x = 1:3; y = x(4)", "error: Index exceeds matrix dimensions: index 4, size 1x3."},
      {"x = ones(2, 3, 4); y = x(1, 4, 1)",
       "error: Index exceeds matrix dimensions: index 4 in dimension 2, size 2x3x4."},
      {"x = ones(2, 3, 4); y = x(1, 1, 5)",
       "error: Index exceeds matrix dimensions: index 5 in dimension 3, size 2x3x4."},
      {"x = 1:3; y = x(1.5)", "error: Subscript indices must be real positive integers: 1.5."},
      {"x = 1:3; y = x(-1)", "error: Subscript indices must be real positive integers: -1."},
      {"x = ones(2, 2, 2); x(5, 9) = 1",
       "error: Attempt to grow array along ambiguous dimension: index (5,9), size 2x2x2."},
      {"x = ones(2, 3); x(:, :, 2) = ones(3)",
       "error: Subscripted assignment dimension mismatch: 2x3 selected, 3x3 given."},
      {"x = 1:3; x(1, 2, 3) = [1 2]",
       "error: Subscripted assignment dimension mismatch: 1x1 selected, 1x2 given."},
  });
}

}  // namespace
