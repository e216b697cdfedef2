// The operands of one operation taken together: a fixed number of them or a NULL-terminated
// list, each taken once however often it is given, and reclaimed when the operation ends.
#pragma once

#include <array>
#include <cstdarg>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/array.h"

namespace mexrt::detail {

// The handles of a NULL-terminated argument list, gathered before anything can fail.
inline std::vector<Array *> gatherList(Array *first, va_list ap) {
  std::vector<Array *> v;
  for (Array *a = first; a; a = va_arg(ap, Array *)) v.push_back(a);
  return v;
}

// Frees the temporaries among arrays[from..] that no earlier entry names, so that an
// array given twice is freed once.
inline void reclaimRest(std::span<Array *const> arrays, std::size_t from) {
  for (std::size_t k = from; k < arrays.size(); ++k) {
    Array *a = arrays[k];
    if (!a || !a->temporary) continue;
    bool seen = false;
    for (std::size_t e = 0; e < k && !seen; ++e) seen = arrays[e] == a;
    if (!seen) destroy(a);
  }
}

// The operands of one operation. An entry may be absent (NULL) only where its bit is set
// in `optional`, and a cell or struct only where its bit is set in `composites`. When one entry is
// missing or uninitialised, the temporaries among the others are reclaimed before the error leaves,
// so an error never leaks an operand.
template <class Slots>
class OperandsBase {
 public:
  OperandsBase(const OperandsBase &) = delete;
  OperandsBase &operator=(const OperandsBase &) = delete;

  bool has(std::size_t k) const { return slots_[alias_[k]].has_value(); }
  const Array &operator[](std::size_t k) const { return **slots_[alias_[k]]; }
  const Array *get(std::size_t k) const { return has(k) ? slots_[alias_[k]]->get() : nullptr; }
  Operand &operand(std::size_t k) { return *slots_[alias_[k]]; }
  // Whether entry k may hand over its storage: a temporary given once.
  bool stealable(std::size_t k) const {
    return has(k) && uses_[alias_[k]] == 1 && slots_[alias_[k]]->stealableStorage();
  }

 protected:
  OperandsBase() = default;
  void take(std::span<Array *const> arrays, const char *op, std::uint32_t optional,
            std::uint32_t composites = 0) {
    std::size_t k = 0;
    try {
      for (; k < arrays.size(); ++k) {
        alias_[k] = k;
        uses_[k] = 1;
        for (std::size_t e = 0; e < k; ++e) {
          if (arrays[e] && arrays[e] == arrays[k]) {
            alias_[k] = alias_[e];
            ++uses_[alias_[e]];
            break;
          }
        }
        if (alias_[k] != k) continue;
        if (!arrays[k] && k < 32 && ((optional >> k) & 1U)) continue;
        slots_[k].emplace(arrays[k], op, k < 32 && ((composites >> k) & 1U));
      }
    } catch (...) {
      reclaimRest(arrays, k + 1);
      throw;
    }
  }

  Slots slots_{};
  std::vector<std::size_t> aliasStore_;
  std::size_t *alias_ = nullptr;
  std::size_t *uses_ = nullptr;
};

// A fixed number of operands (no allocation beyond the operation's own).
template <std::size_t N>
class Operands : public OperandsBase<std::array<std::optional<Operand>, N>> {
 public:
  Operands(std::array<Array *, N> arrays, const char *op, std::uint32_t optional = 0,
           std::uint32_t composites = 0) {
    this->alias_ = aliasInl_.data();
    this->uses_ = usesInl_.data();
    this->take(arrays, op, optional, composites);
  }

 private:
  std::array<std::size_t, N> aliasInl_{};
  std::array<std::size_t, N> usesInl_{};
};

// The operands of a NULL-terminated list, already gathered.
class OperandList : public OperandsBase<std::vector<std::optional<Operand>>> {
 public:
  OperandList(const std::vector<Array *> &arrays, const char *op, bool composites = false) {
    slots_ = std::vector<std::optional<Operand>>(arrays.size());
    aliasStore_.assign(2 * arrays.size(), 0);
    alias_ = aliasStore_.data();
    uses_ = aliasStore_.data() + arrays.size();
    take(arrays, op, 0, composites ? ~0U : 0U);
  }
  std::size_t size() const { return slots_.size(); }
};

}  // namespace mexrt::detail
