// The public face of the short display format: an array's view handed to the engine.
#include "core/array.h"
#include "mexrt/display.h"
#include "text/print.h"

namespace mexrt {

std::string displayNamed(const mxArray *a, std::string_view name) {
  if (!a || a->isUninit()) {
    std::size_t none[2] = {0, 0};
    detail::ValueView empty;
    empty.dims = none;
    return detail::displayNamed(name, empty);
  }
  if (const FunctionTarget *f = functionTarget(a)) {
    return std::string(name) + " =\n\n    " + f->text() + "\n\n";
  }
  if (a->isComposite()) return std::string(name) + " =\n\n" + detail::displayComposite(*a) + "\n";
  return detail::displayNamed(name, a->view());
}

}  // namespace mexrt
