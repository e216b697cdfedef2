// How cells and structs show: a cell as its elements in columns, each summed up in one
// short text ([1], 'abc', [2x3 double], {1x2 cell}); a single struct as its fields, names
// aligned on the colon; a struct array as its size and field names.
#include <algorithm>
#include <string>
#include <vector>

#include "core/array.h"
#include "text/print.h"

namespace mexrt::detail {

namespace {

std::string sizeWord(const Array &a, const char *kind) { return a.dims.str() + " " + kind; }

// A number as the short format writes it alone, without its field's blanks.
std::string scalarText(const Array &a) {
  std::string s = displayValue(a.view());
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  std::size_t first = s.find_first_not_of(' ');
  return first == std::string::npos ? s : s.substr(first);
}

// An element in one short text; `bare` leaves a number without its brackets, as a field
// value shows it.
std::string summary(const Array *a, bool bare) {
  if (!a || (a->isDouble() && a->dims == Dims(0, 0))) return "[]";
  switch (a->cls) {
    case mxCHAR_CLASS:
      if (a->dims == Dims(0, 0)) return "''";
      if (a->dims.size() == 2 && a->dims[0] == 1) {
        return "'" + toUtf8({a->chars(), a->numel()}) + "'";
      }
      return "[" + sizeWord(*a, "char") + "]";
    case mxCELL_CLASS:
      if (a->dims == Dims(0, 0)) return "{}";
      return "{" + sizeWord(*a, "cell") + "}";
    case mxSTRUCT_CLASS:
      return "[" + sizeWord(*a, "struct") + "]";
    case mxDOUBLE_CLASS:
    case mxLOGICAL_CLASS:
      if (a->isScalar()) return bare ? scalarText(*a) : "[" + scalarText(*a) + "]";
      return "[" + sizeWord(*a, className(a->cls)) + "]";
    default:
      return "[" + sizeWord(*a, className(a->cls)) + "]";
  }
}

std::string dimsWords(const Dims &d) {
  std::string out;
  for (std::size_t k = 0; k < d.size(); ++k) out += (k ? "-by-" : "") + std::to_string(d[k]);
  return out;
}

// The rows of a cell: columns 4 blanks apart, each as wide as its widest element; a number's
// brackets stretch to the column's width, other elements are padded after.
std::string cellBody(const Array &c) {
  std::size_t rows = c.dims.rows(), cols = c.dims.cols();
  const std::vector<Array *> &items = c.composite->items;
  std::vector<std::string> text(items.size());
  std::vector<std::size_t> width(cols, 0);
  for (std::size_t k = 0; k < items.size(); ++k) {
    text[k] = summary(items[k], false);
    width[k / rows] = std::max(width[k / rows], text[k].size());
  }
  std::string out;
  for (std::size_t r = 0; r < rows; ++r) {
    std::string line;
    for (std::size_t q = 0; q < cols; ++q) {
      const std::string &t = text[q * rows + r];
      const Array *item = items[q * rows + r];
      std::size_t pad = width[q] - t.size();
      bool number = item && (item->isDouble() || item->isLogical()) && item->isScalar();
      line += "    ";
      if (number) {
        line += "[" + std::string(pad, ' ') + t.substr(1);
      } else {
        line += t + std::string(pad, ' ');
      }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  return out;
}

std::string structBody(const Array &s) {
  const std::vector<std::string> &fields = s.composite->fields;
  if (s.numel() != 1) {
    std::string out = s.dims.str() + " struct array with ";
    if (fields.empty()) return out + "no fields.\n";
    out += "fields:\n\n";
    for (const std::string &f : fields) out += "    " + f + "\n";
    return out;
  }
  if (fields.empty()) return "1x1 struct array with no fields.\n";
  std::size_t width = 0;
  for (const std::string &f : fields) width = std::max(width, f.size());
  std::string out;
  for (std::size_t k = 0; k < fields.size(); ++k) {
    out += std::string(4 + width - fields[k].size(), ' ') + fields[k] + ": " +
           summary(s.composite->items[k], true) + "\n";
  }
  return out;
}

}  // namespace

std::string displayComposite(const Array &a) {
  if (a.isStruct()) return structBody(a);
  if (a.dims == Dims(0, 0)) return "     {}\n";
  if (a.isEmpty()) return "   Empty cell array: " + dimsWords(a.dims) + "\n";
  if (a.dims.size() > 2) {
    // Pages one after another, as c(:,:,k) would show.
    std::string out;
    std::size_t rows = a.dims[0], cols = a.dims[1], page = rows * cols;
    for (std::size_t p = 0; p * page < a.numel(); ++p) {
      Owned slice(newCell(Dims(rows, cols)));
      std::vector<Array *> &items = slice->mutableItems();
      for (std::size_t k = 0; k < page; ++k) {
        const Array *item = a.composite->items[p * page + k];
        items[k] = item ? shareOf(item) : nullptr;
      }
      out += "(:,:," + std::to_string(p + 1) + ")\n" + cellBody(*slice);
    }
    return out;
  }
  return cellBody(a);
}

}  // namespace mexrt::detail
