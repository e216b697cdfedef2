// The cells and structs family: making them (cell, struct), asking what they are (iscell,
// isstruct, isfield, fieldnames), removing fields and applying a function to every cell.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "shell/builtins/support.h"

namespace shell::builtins {

namespace {

bool sameText(std::string a, std::string_view b) {
  if (a.size() != b.size()) return false;
  return std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

std::vector<std::size_t> dimsOf(const mxArray *a) {
  const std::size_t *d = mxGetDimensions(a);
  return {d, d + mxGetNumberOfDimensions(a)};
}

// A size argument: a whole number >= 0 (negative counts as 0, as zeros takes it).
std::size_t sizeArg(const mxArray *a, const char *name) {
  double v = mxGetNumberOfElements(a) == 1 && mxGetClassID(a) == mxDOUBLE_CLASS && !mxIsComplex(a)
                 ? mxGetPr(a)[0]
                 : NAN;
  if (!(v == std::floor(v)) || !std::isfinite(v)) {
    raise(std::string("'") + name + "' expects whole numbers as sizes.");
  }
  return v < 0 ? 0 : static_cast<std::size_t>(v);
}

// cell(n), cell(m, n, ...), cell([m n ...]): a cell array of [] elements.
// num2cell(x): each element of x alone in the cell at its place.
Results num2cell(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1);
  outputs(name, nargout, 1);
  OwnedArray x(mclInitialize(a[0]));
  a.clear();
  const std::size_t n = mxGetNumberOfElements(x.get());
  if (n > static_cast<std::size_t>(INT_MAX)) raise("num2cell: too many elements.");
  OwnedArray c(mxCreateCellArray(mxGetNumberOfDimensions(x.get()), mxGetDimensions(x.get())));
  for (std::size_t k = 0; k < n; ++k) {
    mxSetCell(c.get(), k, mclInitialize(mclIntArrayRef1(x.get(), static_cast<int>(k + 1))));
  }
  return one(mlfReturnValue(c.release()));
}

Results cell(Evaluator &, const char *name, Args &a, int nargout) {
  outputs(name, nargout, 1);
  std::vector<std::size_t> dims;
  if (a.size() == 1 && mxGetNumberOfElements(a[0]) != 1) {
    if (mxGetClassID(a[0]) != mxDOUBLE_CLASS || mxIsComplex(a[0])) {
      raise("'cell' expects whole numbers as sizes.");
    }
    for (std::size_t k = 0; k < mxGetNumberOfElements(a[0]); ++k) {
      double v = mxGetPr(a[0])[k];
      if (!(v == std::floor(v)) || !std::isfinite(v))
        raise("'cell' expects whole numbers as sizes.");
      dims.push_back(v < 0 ? 0 : static_cast<std::size_t>(v));
    }
  } else {
    for (mxArray *x : a) dims.push_back(sizeArg(x, name));
  }
  if (dims.empty()) dims = {1, 1};
  if (dims.size() == 1) dims.push_back(dims[0]);
  for (mxArray *x : a) discard(x);
  a.clear();
  return one(mlfReturnValue(mxCreateCellArray(dims.size(), dims.data())));
}

template <bool (*Is)(const mxArray *)>
Results isKind(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1);
  outputs(name, nargout, 1);
  bool v = Is(a[0]);
  discard(a[0]);
  return one(mlfReturnValue(mxCreateLogicalScalar(v)));
}

// struct('a', v, 'b', w, ...): a cell value of several elements makes a struct array of its
// size, one element each; a 1x1 cell gives its content; any other value goes to every element.
Results makeStruct(Evaluator &, const char *name, Args &a, int nargout) {
  outputs(name, nargout, 1);
  if (a.size() % 2) raise("struct takes field names and values in pairs.");
  std::vector<std::string> names;
  std::vector<std::size_t> dims{1, 1};
  bool sized = false;
  for (std::size_t k = 0; k < a.size(); k += 2) {
    if (!isText(a[k])) raise("struct expects a field name as text.");
    names.push_back(textOf(a[k]));
    mxArray *v = a[k + 1];
    if (mxIsCell(v) && mxGetNumberOfElements(v) != 1) {
      std::vector<std::size_t> d = dimsOf(v);
      if (sized && d != dims) raise("struct: the cell values have different sizes.");
      dims = d;
      sized = true;
    }
  }
  std::vector<const char *> fields;
  for (const std::string &n : names) fields.push_back(n.c_str());
  mxArray *s = mlfReturnValue(mxCreateStructArray(dims.size(), dims.data(),
                                                  static_cast<int>(fields.size()), fields.data()));
  std::size_t n = mxGetNumberOfElements(s);
  for (std::size_t f = 0; f < names.size(); ++f) {
    mxArray *v = a[2 * f + 1];
    for (std::size_t k = 0; k < n; ++k) {
      mxArray *item = v;
      if (mxIsCell(v)) item = mxGetNumberOfElements(v) == 1 ? mxGetCell(v, 0) : mxGetCell(v, k);
      mxArray *owned = nullptr;
      if (item) mlfAssign(&owned, item);  // a share: v stays the caller's
      mxSetFieldByNumber(s, k, static_cast<int>(f), owned);
    }
  }
  for (mxArray *x : a) discard(x);
  a.clear();
  return one(s);
}

Results fieldnames(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 1);
  outputs(name, nargout, 1);
  if (!mxIsStruct(a[0])) raise("fieldnames expects a struct.");
  int n = mxGetNumberOfFields(a[0]);
  mxArray *c = mlfReturnValue(mxCreateCellMatrix(static_cast<std::size_t>(n), 1));
  for (int k = 0; k < n; ++k) {
    mxSetCell(c, static_cast<std::size_t>(k), mxCreateString(mxGetFieldNameByNumber(a[0], k)));
  }
  discard(a[0]);
  return one(c);
}

// The names a text or a cell of texts gives, in order.
std::vector<std::string> namesOf(const mxArray *a, const char *name) {
  if (isText(a)) return {textOf(a)};
  std::vector<std::string> out;
  if (mxIsCell(a)) {
    for (std::size_t k = 0; k < mxGetNumberOfElements(a); ++k) {
      const mxArray *item = mxGetCell(a, k);
      out.push_back(isText(item) ? textOf(item) : std::string());
    }
    return out;
  }
  raise(std::string("'") + name + "' expects a field name or a cell of them.");
}

Results isfield(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 2, 2);
  outputs(name, nargout, 1);
  std::vector<std::string> names = namesOf(a[1], name);
  mxArray *r = nullptr;
  if (isText(a[1])) {
    r = mxCreateLogicalScalar(mxGetFieldNumber(a[0], names[0].c_str()) >= 0);
  } else {
    r = nullptr;
    for (std::size_t k = 0; k < names.size(); ++k) {
      bool has = isText(mxGetCell(a[1], k)) && mxGetFieldNumber(a[0], names[k].c_str()) >= 0;
      mclArrayAssign1(&r, mlfReturnValue(mxCreateLogicalScalar(has)), mlfScalar(double(k + 1)));
    }
    std::vector<std::size_t> d = dimsOf(a[1]);
    mxArray *shape = mlfReturnValue(mxCreateDoubleMatrix(1, d.size(), mxREAL));
    for (std::size_t k = 0; k < d.size(); ++k) mxGetPr(shape)[k] = static_cast<double>(d[k]);
    if (!r) r = mxCreateDoubleMatrix(0, 0, mxREAL);
    mxArray *shaped = mlfReshape(r, shape, nullptr);
    mxDestroyArray(r);
    r = mclInitialize(shaped);
  }
  for (mxArray *x : a) discard(x);
  a.clear();
  return one(mlfReturnValue(r));
}

Results rmfield(Evaluator &, const char *name, Args &a, int nargout) {
  arity(name, a, 2, 2);
  outputs(name, nargout, 1);
  if (!mxIsStruct(a[0])) raise("rmfield expects a struct.");
  std::vector<std::string> names = namesOf(a[1], name);
  for (const std::string &n : names) {
    if (mxGetFieldNumber(a[0], n.c_str()) < 0)
      raise("Reference to non-existent field '" + n + "'.");
  }
  mxArray *s = nullptr;
  mlfAssign(&s, a[0]);  // a copy: the struct given stays as it is
  s = mlfReturnValue(s);
  for (const std::string &n : names) {
    int k = mxGetFieldNumber(s, n.c_str());
    if (k >= 0) mxRemoveField(s, k);
  }
  for (mxArray *x : a) discard(x);
  a.clear();
  return one(s);
}

// cellfun(f, c, ..., 'UniformOutput', u): f applied to the elements of the cells, k-th with
// k-th; uniform results (scalars) gathered into arrays of the cells' size, else into cells.
Results cellfun(Evaluator &ev, const char *name, Args &a, int nargout) {
  arity(name, a, 2, SIZE_MAX);
  bool uniform = true;
  std::size_t n = a.size();
  while (n >= 4 && isText(a[n - 2])) {
    std::string option = textOf(a[n - 2]);
    if (!sameText(option, "UniformOutput")) raise("cellfun: unknown option '" + option + "'.");
    uniform = mlfTobool(a[n - 1]);
    discard(a[n - 2]);
    n -= 2;
  }
  a.resize(n);
  std::vector<OwnedArray> held;
  for (mxArray *x : a) held.emplace_back(mclInitialize(x));
  a.clear();
  for (std::size_t k = 1; k < held.size(); ++k) {
    if (!mxIsCell(held[k].get())) raise("cellfun: the inputs after the function must be cells.");
    if (dimsOf(held[k].get()) != dimsOf(held[1].get())) {
      raise("cellfun: all of the input arguments must be of the same size and shape.");
    }
  }
  std::size_t count = mxGetNumberOfElements(held[1].get());
  int outs = std::max(nargout, 1);
  std::vector<std::vector<OwnedArray>> results(static_cast<std::size_t>(outs));
  for (std::size_t k = 0; k < count; ++k) {
    Args in;
    for (std::size_t j = 1; j < held.size(); ++j) in.push_back(mclCellContent(held[j].get(), k));
    Results r = ev.callValue(held[0].get(), in, nargout);
    if (r.size() < static_cast<std::size_t>(outs) && !(nargout == 0 && r.empty())) {
      for (mxArray *x : r) discard(x);
      raise("cellfun: the function gave too few results.");
    }
    for (std::size_t o = 0; o < r.size(); ++o) {
      if (o < results.size()) {
        results[o].emplace_back(mclInitialize(r[o]));
      } else {
        discard(r[o]);
      }
    }
  }
  std::vector<std::size_t> dims = dimsOf(held[1].get());
  Results out;
  for (std::size_t o = 0; o < results.size(); ++o) {
    if (results[o].size() != count) {
      if (nargout == 0 && o == 0) return {};
      raise("cellfun: the function gave no value for an output.");
    }
    if (!uniform) {
      mxArray *c = mlfReturnValue(mxCreateCellArray(dims.size(), dims.data()));
      for (std::size_t k = 0; k < count; ++k) mxSetCell(c, k, results[o][k].release());
      out.push_back(c);
      continue;
    }
    mxArray *r = mxCreateNumericArray(dims.size(), dims.data(), mxDOUBLE_CLASS, mxREAL);
    OwnedArray gathered(r);
    for (std::size_t k = 0; k < count; ++k) {
      const mxArray *v = results[o][k].get();
      if (mxGetNumberOfElements(v) != 1 || mxIsCell(v) || mxIsStruct(v)) {
        raise("cellfun: a non-scalar result at index " + std::to_string(k + 1) +
              "; set 'UniformOutput' to false.");
      }
      mxArray *slot = gathered.release();
      // The first result fixes the class (a logical one stays logical), as a store into [] does.
      if (k == 0) {
        mxDestroyArray(slot);
        slot = mxCreateDoubleMatrix(0, 0, mxREAL);
      }
      mclArrayAssign1(&slot, results[o][k].get(), mlfScalar(double(k + 1)));
      gathered.reset(slot);
    }
    if (count) {
      mxArray *shape = mlfReturnValue(mxCreateDoubleMatrix(1, dims.size(), mxREAL));
      for (std::size_t k = 0; k < dims.size(); ++k)
        mxGetPr(shape)[k] = static_cast<double>(dims[k]);
      out.push_back(mlfReshape(gathered.get(), shape, nullptr));
    } else {
      out.push_back(mlfReturnValue(gathered.release()));
    }
  }
  return out;
}

bool isCellArray(const mxArray *a) { return mxIsCell(a); }
bool isStructArray(const mxArray *a) { return mxIsStruct(a); }

const Builtin kCells[] = {
    {"cell", cell, "cell(m, n): an m x n cell array of empty elements"},
    {"num2cell", num2cell, "num2cell(x): a cell array of x's size holding each element of x"},
    {"iscell", isKind<isCellArray>, "iscell(x): true for a cell array"},
    {"isstruct", isKind<isStructArray>, "isstruct(x): true for a struct"},
    {"struct", makeStruct, "struct('name', value, ...): a struct; cell values make a struct array"},
    {"fieldnames", fieldnames, "fieldnames(s): the field names of s as a column cell"},
    {"isfield", isfield, "isfield(s, name): whether s has the field (a cell of names: each)"},
    {"rmfield", rmfield, "rmfield(s, name): s without the field (or the cell of fields)"},
    {"cellfun", cellfun, "cellfun(f, c, ..., 'UniformOutput', u): f of every cell element"},
};

}  // namespace

std::span<const Builtin> cellsFamily() { return kCells; }

}  // namespace shell::builtins
