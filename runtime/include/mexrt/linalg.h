// Linear algebra of double matrices, real or complex, through LAPACK: solving, inverse and
// determinant, eigenvalues, singular values and the norms and ranks built on them, and the
// constructors eye, diag and kron. Inputs are 2-D numeric, char or logical arrays; results
// are new temporaries, and a result whose imaginary parts are all zero is real. Extra
// results go to the slots given (NULL when not wanted) as owned arrays.
#pragma once

#include "mexrt/matrix.h"

#ifdef __cplusplus
extern "C" {
#endif

// A \ b: a scalar a divides element by element; a square a is solved by LU (with a warning
// when it is singular or badly conditioned), any other a in the least-squares sense.
MEXRT_API mxArray *mclMldivide(mxArray *a, mxArray *b);
MEXRT_API mxArray *mlfInv(mxArray *a);  // with the same warnings as \ for a singular a
MEXRT_API mxArray *mlfDet(mxArray *a);  // det([]) = 1
// eig(A): the eigenvalues as a column; with v, A V = V D and the result is D. A Hermitian A
// gives real eigenvalues in ascending order and orthonormal V.
MEXRT_API mxArray *mlfEig(mxArray **v, mxArray *a);
// svd(A): the singular values, descending, as a column; with u and v, A = U S V' and the
// result is S. econ non-zero: U has min(m, n) columns (the economy size).
MEXRT_API mxArray *mlfSvd(mxArray **u, mxArray **v, mxArray *a, int econ);
MEXRT_API mxArray *mlfPinv(mxArray *a, mxArray *tol);  // tol NULL: max(m,n) * s(1) * eps
MEXRT_API mxArray *mlfRank(mxArray *a, mxArray *tol);
// norm(x, p): p NULL for 2; p a number (vectors: any p, Inf and -Inf; matrices: 1, 2,
// Inf) or the text 'fro'.
MEXRT_API mxArray *mlfNorm(mxArray *x, mxArray *p);
MEXRT_API mxArray *mlfTrace(mxArray *a);
// eye(), eye(n), eye(m, n), eye([m n]): rows and columns NULL-terminated.
MEXRT_API mxArray *mlfEye(mxArray *first, ...);
// diag(v, k): a vector as the k-th diagonal of a square matrix; diag(A, k): a matrix's k-th
// diagonal as a column. k NULL for 0.
MEXRT_API mxArray *mlfDiag(mxArray *x, mxArray *k);
MEXRT_API mxArray *mlfKron(mxArray *a, mxArray *b);

#ifdef __cplusplus
}
#endif
