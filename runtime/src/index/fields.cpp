// Struct fields in expressions: s.name = x on a single struct (made when absent or []), and
// the field values and cell contents an expression reads, each handed out as a temporary.
#include <string>

#include "core/array.h"
#include "mexrt/mathlib.h"

using namespace mexrt::detail;

namespace {

// A share of a cell's or struct's element handle, [] for one never set.
Array *itemShare(const Array *item) { return item ? shareOf(item) : newDouble(0, 0); }

}  // namespace

extern "C" {

void mclFieldAssign(mxArray **dst, const char *name, mxArray *src) {
  Operand x(src, "Assignment s.name = x", true);
  if (!dst) raise("Assignment s.name = x: the destination is missing.");
  std::string field = name ? name : "";
  Array *d = *dst;
  bool fresh = !d || d->isUninit() || (d->isDouble() && d->dims == Dims(0, 0));
  if (!fresh && !d->isStruct()) raise("Field assignment to a non-structure array object.");
  if (!fresh && d->numel() != 1) {
    raise("A field assignment s." + field + " = x needs a single struct, not one of size " +
          sizeText(*d) + ".");
  }
  if (!isFieldName(field)) raise("Invalid field name '" + field + "'.");
  if (fresh) {
    Owned s(newStruct(Dims(1, 1), {field}));
    s->mutableItems()[0] = shareOf(x.get());
    if (d) {
      replaceContents(*d, *s);
    } else {
      *dst = s.release();
    }
    return;
  }
  Owned value(shareOf(x.get()));  // before d changes: x may be d itself
  std::ptrdiff_t k = d->composite->field(field);
  std::vector<Array *> &items = d->mutableItems();
  if (k < 0) {
    d->composite->fields.push_back(field);
    items.push_back(nullptr);
    k = static_cast<std::ptrdiff_t>(items.size()) - 1;
  }
  Array *&slot = items[static_cast<std::size_t>(k)];
  destroy(slot);
  slot = value.release();
}

mxArray *mclFieldRef(mxArray *s, const char *name, size_t index) {
  Operand x(s, "Field reference s.name", true);
  std::string field = name ? name : "";
  if (!x->isStruct()) raise("Attempt to reference field of non-structure array.");
  std::ptrdiff_t k = x->composite->field(field);
  if (k < 0) raise("Reference to non-existent field '" + field + "'.");
  if (index >= x->numel()) raise("Field reference s.name: index beyond the struct array.");
  return temp(itemShare(x->composite->items[static_cast<std::size_t>(k) * x->numel() + index]));
}

mxArray *mclCellContent(mxArray *c, size_t index) {
  Operand x(c, "Cell contents c{i}", true);
  if (!x->isCell()) raise("Cell contents reference from a non-cell array object.");
  if (index >= x->numel()) raise("Cell contents c{i}: index beyond the cell array.");
  return temp(itemShare(x->composite->items[index]));
}

}  // extern "C"
