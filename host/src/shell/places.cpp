// The shell's places inside variables: cell contents c{i}, fields s.name and s.(expr) and
// subscripts after them, read as comma lists and assigned to at any depth; cell literals;
// try/catch and the error struct a catch receives.
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

#include "builtins/builtins.h"
#include "eval.h"
#include "eval_support.h"
#include "mexrt/error.h"
#include "mexrt/mathlib.h"

namespace shell {

using namespace detail;

namespace {

// The subscripts of a level: a call's arguments, or those after an indexed value.
std::span<const ExprPtr> subscriptExprs(const Expr &level) {
  std::span<const ExprPtr> all(level.args);
  return level.kind == Expr::Kind::Call ? all : all.subspan(1);
}

// The levels of a place from its variable outwards: x(i) c{i} s.name s.(expr), then (i).
std::vector<const Expr *> levelsOf(const Expr &place) {
  std::vector<const Expr *> levels;
  const Expr *e = &place;
  while (e->kind == Expr::Kind::Index || e->kind == Expr::Kind::CellIndex ||
         e->kind == Expr::Kind::Field) {
    levels.push_back(e);
    e = e->args[0].get();
  }
  if (e->kind == Expr::Kind::Call) levels.push_back(e);
  std::reverse(levels.begin(), levels.end());
  return levels;
}

bool isList(const Expr &e) {
  return e.kind == Expr::Kind::CellIndex || e.kind == Expr::Kind::Field;
}

// Whether e may read the variable `name`: by its name, or through an anonymous function.
bool mayRead(const Expr &e, const std::string &name) {
  if (e.kind == Expr::Kind::Lambda) return true;
  if ((e.kind == Expr::Kind::Name || e.kind == Expr::Kind::Call || e.kind == Expr::Kind::Handle) &&
      e.text == name) {
    return true;
  }
  for (const auto &a : e.args) {
    if (mayRead(*a, name)) return true;
  }
  for (const auto &row : e.rows) {
    for (const auto &x : row) {
      if (mayRead(*x, name)) return true;
    }
  }
  return false;
}

// The linear index that real scalar subscripts name inside a's elements, or nullopt when
// any is not a whole number in range (the store then grows a, or fails).
std::optional<std::size_t> linearIndex(const mxArray *a, const std::vector<mxArray *> &subs) {
  const std::size_t *dims = mxGetDimensions(a);
  std::size_t rank = mxGetNumberOfDimensions(a), stride = 1, at = 0;
  for (std::size_t d = 0; d < subs.size(); ++d) {
    double x;
    if (!mexrtRealScalar(subs[d], &x) || x < 1 || x != static_cast<double>(std::size_t(x))) {
      return std::nullopt;
    }
    std::size_t extent = 1;  // the last subscript spans the dimensions from it on
    for (std::size_t k = d; k < (d + 1 == subs.size() ? rank : d + 1); ++k) {
      extent *= k < rank ? dims[k] : 1;
    }
    if (static_cast<std::size_t>(x) > extent) return std::nullopt;
    at += (static_cast<std::size_t>(x) - 1) * stride;
    stride *= extent;
  }
  return at;
}

}  // namespace

std::string Evaluator::fieldName(const Expr &e) {
  if (e.args.size() == 1) return e.text;
  OwnedArray name(mclInitialize(value(*e.args[1])));
  if (mxGetClassID(name.get()) != mxCHAR_CLASS || mxGetM(name.get()) > 1) {
    raise("A dynamic field name s.(name) must be text.");
  }
  std::unique_ptr<char, void (*)(void *)> text(mxArrayToString(name.get()), mxFree);
  return text.get();
}

std::vector<mxArray *> Evaluator::list(const Expr &e) {
  if (e.kind == Expr::Kind::CellIndex) {
    OwnedArray base(mclInitialize(value(*e.args[0])));
    std::vector<mxArray *> subs = subscripts(subscriptExprs(e), base.get());
    if (!mxIsCell(base.get())) raise("Cell contents reference from a non-cell array object.");
    if (subs.empty()) raise("A cell's contents c{...} need at least one subscript.");
    OwnedArray selected(
        mclInitialize(mclArrayRefN(base.get(), static_cast<int>(subs.size()), subs.data())));
    std::vector<mxArray *> out;
    for (std::size_t k = 0, n = mxGetNumberOfElements(selected.get()); k < n; ++k) {
      out.push_back(mclCellContent(selected.get(), k));
    }
    return out;
  }
  if (e.kind == Expr::Kind::Field) {
    OwnedArray base(mclInitialize(value(*e.args[0])));
    std::string name = fieldName(e);
    if (!mxIsStruct(base.get())) raise("Attempt to reference field of non-structure array.");
    if (mxGetFieldNumber(base.get(), name.c_str()) < 0) {
      raise("Reference to non-existent field '" + name + "'.");
    }
    std::vector<mxArray *> out;
    for (std::size_t k = 0, n = mxGetNumberOfElements(base.get()); k < n; ++k) {
      out.push_back(mclFieldRef(base.get(), name.c_str(), k));
    }
    return out;
  }
  if (e.kind == Expr::Kind::Index) {
    OwnedArray base(mclInitialize(value(*e.args[0])));
    return {index(base.get(), subscripts(subscriptExprs(e), base.get()), e)};
  }
  return {value(e)};
}

void Evaluator::appendValues(std::vector<mxArray *> &out, const Expr &e) {
  if (!isList(e)) {
    out.push_back(value(e));
    return;
  }
  for (mxArray *v : list(e)) out.push_back(v);
}

mxArray *Evaluator::listValue(const Expr &e) {
  std::vector<mxArray *> r = list(e);
  if (r.empty()) raise("The expression gives no value to use here (an empty list).");
  for (std::size_t k = 1; k < r.size(); ++k) discard(r[k]);
  return r[0];
}

mxArray *Evaluator::cellLiteral(const Expr &e) {
  if (e.rows.empty()) return mlfReturnValue(mxCreateCellMatrix(0, 0));
  std::vector<mxArray *> rows;
  for (const auto &r : e.rows) {
    std::vector<mxArray *> elements;
    for (const auto &x : r) appendValues(elements, *x);
    mxArray *row = mlfReturnValue(mxCreateCellMatrix(1, elements.size()));
    for (std::size_t k = 0; k < elements.size(); ++k) mxSetCell(row, k, mclInitialize(elements[k]));
    rows.push_back(row);
  }
  return rows.size() == 1 ? rows[0] : callListed(mlfVertcat, rows, "vertcat");
}

// --- assignment to a place ---

void Evaluator::assignPlace(const Stmt::Target &t, mxArray *v) {
  std::vector<const Expr *> levels = levelsOf(*t.place);
  auto it = vars_.find(t.name);
  mxArray *current = it == vars_.end() ? nullptr : it->second;
  storeAt(current, levels, 0, v, t.name);
  vars_[t.name] = current;
}

// Stores v at levels[i...] inside base (owned; nullptr when there is none yet), the variable
// `name` or an element inside it. A deeper level is reached through the element it lies in:
// taken out of a cell or a 1 x 1 struct, changed in place and given back (so that an array
// nothing else shares is not copied), or else through a copy that is stored back. An error
// leaves base as it was.
void Evaluator::storeAt(mxArray *&base, const std::vector<const Expr *> &levels, std::size_t i,
                        mxArray *v, const std::string &name) {
  const Expr &level = *levels[i];
  std::vector<OwnedArray> held;
  std::vector<mxArray *> subs;
  std::string field;
  if (level.kind == Expr::Kind::Field) {
    field = fieldName(level);
  } else {
    for (mxArray *s : subscripts(subscriptExprs(level), base)) {
      held.emplace_back(mclInitialize(s));
      subs.push_back(held.back().get());
    }
    if (subs.empty()) raise("An indexed assignment needs at least one subscript.");
  }
  int n = static_cast<int>(subs.size());
  auto put = [&](mxArray *x) {
    if (level.kind == Expr::Kind::Field) {
      mclFieldAssign(&base, field.c_str(), x);
    } else if (level.kind == Expr::Kind::CellIndex) {
      mclCellAssign(&base, x, n, subs.data());
    } else if (isDeletion(x)) {
      discard(x);
      mclArrayDelete(&base, n, subs.data());
    } else {
      mclArrayAssignN(&base, x, n, subs.data());
    }
  };
  if (i + 1 == levels.size()) {
    put(v);
    return;
  }
  // While the element is out, the subscripts of the deeper levels must not read the variable.
  bool deeperMayRead = false;
  for (std::size_t k = i + 1; k < levels.size(); ++k) {
    const Expr &deeper = *levels[k];
    if (deeper.kind == Expr::Kind::Field) {
      deeperMayRead = deeperMayRead || (deeper.args.size() > 1 && mayRead(*deeper.args[1], name));
      continue;
    }
    for (const ExprPtr &sub : subscriptExprs(deeper)) {
      deeperMayRead = deeperMayRead || mayRead(*sub, name);
    }
  }
  if (!deeperMayRead) {
    if (level.kind == Expr::Kind::Field && mxIsStruct(base) && mxGetNumberOfElements(base) == 1) {
      int number = mxGetFieldNumber(base, field.c_str());
      if (number >= 0) {
        return storeInside(mexrtTakeFieldByNumber(base, 0, number), levels, i, v, name,
                           [&](mxArray *x) { mxSetFieldByNumber(base, 0, number, x); });
      }
    }
    if (level.kind == Expr::Kind::CellIndex && mxIsCell(base)) {
      if (std::optional<std::size_t> at = linearIndex(base, subs)) {
        return storeInside(mexrtTakeCell(base, *at), levels, i, v, name,
                           [&](mxArray *x) { mxSetCell(base, *at, x); });
      }
    }
  }
  mxArray *child = nullptr;
  if (level.kind == Expr::Kind::Field) {
    if (mxIsStruct(base) && mxGetNumberOfElements(base) == 1 &&
        mxGetFieldNumber(base, field.c_str()) >= 0) {
      child = mclInitialize(mclFieldRef(base, field.c_str(), 0));
    }
  } else {
    if (level.kind == Expr::Kind::CellIndex && base && !mxIsCell(base) &&
        mxGetNumberOfElements(base) != 0) {
      raise("Cell contents assignment to a non-cell array object.");
    }
    OwnedArray element(mclInitialize(mclArrayRefForStore(base, n, subs.data())));
    if (level.kind != Expr::Kind::CellIndex) {
      child = element.release();
    } else if (mxIsCell(element.get())) {
      child = mclInitialize(mclCellContent(element.get(), 0));
    }
  }
  OwnedArray inner(child);
  storeAt(child, levels, i + 1, v, name);
  inner.release();
  inner.reset(child);
  put(inner.get());
}

// Stores v at levels[i + 1...] inside child, an element taken out of base, and gives the
// element back with giveBack, also when the store fails (unchanged then).
void Evaluator::storeInside(mxArray *child, const std::vector<const Expr *> &levels, std::size_t i,
                            mxArray *v, const std::string &name,
                            const std::function<void(mxArray *)> &giveBack) {
  try {
    storeAt(child, levels, i + 1, v, name);
  } catch (...) {
    giveBack(child);
    throw;
  }
  giveBack(child);
}

// --- try / catch ---

Evaluator::Flow Evaluator::execTry(const Stmt &s) {
  std::size_t depth = subscripts_.size(), traced = trace_.size();
  try {
    return execBlock(s.blocks[0]);
  } catch (const mexrt::Error &e) {
    subscripts_.resize(depth);
    trace_.resize(traced);
    lastError_ = e.message();
    const std::string &name = s.targets[0].name;
    if (!name.empty()) {
      const char *fields[] = {"message", "identifier"};
      mxArray *err = mxCreateStructMatrix(1, 1, 2, fields);
      mxSetField(err, 0, "message", mxCreateString(e.message().c_str()));
      mxSetField(err, 0, "identifier", mxCreateString(e.identifier().c_str()));
      setVariable(name, mlfReturnValue(err));
    }
  }
  return execBlock(s.blocks[1]);
}

}  // namespace shell
