// The linear-algebra family: solving and factoring matrices (inv, det, eig, svd, pinv,
// rank), their measures (norm, trace) and the matrices built from others (eye, diag, kron).
#include "mexrt/linalg.h"

#include "shell/builtins/support.h"

namespace shell::builtins {

namespace {

Results eye(Evaluator &, const char *name, Args &a, int nargout) {
  outputs(name, nargout, 1);
  return one(callListed(mlfEye, a, name));
}

// e = eig(A); [V, D] = eig(A).
Results eig(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1);
  outputs(name, nargout, 2);
  if (nargout < 2) return one(mlfEig(nullptr, a[0]));
  mxArray *vectors = nullptr;
  mxArray *values = mlfEig(&vectors, a[0]);
  return {mlfReturnValue(vectors), values};
}

// s = svd(A); [U, S, V] = svd(A); svd(A, 'econ') and svd(A, 0) (economy when A is tall).
Results svd(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 2);
  outputs(name, nargout, 3);
  int econ = 0;
  if (a.size() == 2) {
    if (isText(a[1])) {
      if (takeText(a[1], name) != "econ") raise("svd: the option must be 'econ' or 0.");
      econ = 1;
    } else {
      if (takeNumber(a[1], name) != 0) raise("svd: the option must be 'econ' or 0.");
      econ = mxGetM(a[0]) > mxGetN(a[0]);
    }
  }
  if (nargout < 2) return one(mlfSvd(nullptr, nullptr, a[0], econ));
  mxArray *u = nullptr, *v = nullptr;
  mxArray *s = mlfSvd(&u, &v, a[0], econ);
  Results r{mlfReturnValue(u), s};
  if (nargout == 3) {
    r.push_back(mlfReturnValue(v));
  } else {
    mxDestroyArray(v);
  }
  return r;
}

}  // namespace

std::span<const Builtin> linalgFamily() {
  static const Builtin kTable[] = {
      {"det", oneArgument<mlfDet>,
       "det(A): the determinant of a square matrix, from its LU factors"},
      {"diag", secondOptional<mlfDiag>,
       "diag(v, k): a vector on the k-th diagonal of a square matrix; diag(A, k): a matrix's "
       "k-th diagonal as a column"},
      {"eig", eig, "eig(A), [V, D] = eig(A): eigenvalues, and eigenvectors with A V = V D"},
      {"eye", eye, "eye(n), eye(m, n), eye([m n]): the identity matrix"},
      {"inv", oneArgument<mlfInv>, "inv(A): the inverse of a square matrix"},
      {"kron", twoArguments<mlfKron>, "kron(A, B): the Kronecker product, blocks A(i, j) * B"},
      {"norm", secondOptional<mlfNorm>,
       "norm(x, p): the 2-norm, or p = 1, Inf, -Inf, any p for vectors, or 'fro'"},
      {"pinv", secondOptional<mlfPinv>,
       "pinv(A, tol): the pseudo-inverse from the singular values above tol"},
      {"rank", secondOptional<mlfRank>, "rank(A, tol): the number of singular values above tol"},
      {"svd", svd,
       "svd(A), [U, S, V] = svd(A), svd(A, 'econ'): the singular values, or the "
       "decomposition A = U S V'"},
      {"trace", oneArgument<mlfTrace>, "trace(A): the sum of a square matrix's diagonal"},
  };
  return kTable;
}

}  // namespace shell::builtins
