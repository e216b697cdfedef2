// The shell's places inside variables: cell contents c{i}, fields s.name and s.(expr) and
// subscripts after them, read as comma lists and assigned to at any depth; cell literals;
// try/catch and the error struct a catch receives.
#include <algorithm>
#include <memory>

#include "builtins/builtins.h"
#include "eval.h"
#include "mexrt/error.h"
#include "mexrt/mathlib.h"

namespace shell {

namespace {

[[noreturn]] void raise(const std::string &message) { throw mexrt::Error(message); }

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
  storeAt(current, levels, 0, v);
  vars_[t.name] = current;
}

// Stores v at levels[i...] inside base (owned; nullptr when there is none yet). A deeper
// level is reached through a copy of the element it lies in, which is stored back.
void Evaluator::storeAt(mxArray *&base, const std::vector<const Expr *> &levels, std::size_t i,
                        mxArray *v) {
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
  storeAt(child, levels, i + 1, v);
  inner.release();
  inner.reset(child);
  put(inner.get());
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
