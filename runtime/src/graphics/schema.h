// The classes of graphics objects and their properties: what each property accepts, its
// default, and the class of an object's parent.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/array.h"
#include "mexrt/graphics.h"

namespace mexrt::graphics::internal {

using detail::Array;
using detail::Owned;
using detail::raise;

// What a property accepts.
enum class Kind {
  Color,         // 1x3, each in [0, 1]
  ColorTable,    // m x 3, m >= 1, each in [0, 1]
  Rect,          // 1x4 finite, width and height not negative
  Point,         // 1x2 or 1x3 finite
  Vector3,       // 1x3 finite, not all zero
  Limits,        // 1x2 finite, increasing
  Number,        // finite scalar
  Size,          // positive finite scalar
  Choice,        // one word of a list, any case; stored as the list spells it
  Text,          // a char array, or an empty array for no text
  Data,          // a numeric vector, or empty
  Matrix,        // a numeric matrix (2-D), or empty
  Handles,       // a numeric vector of handles, or empty
  AxesRef,       // handle of an axes, or empty
  PointerShape,  // 16x16 or 32x32 numbers
  Parent,        // handle of an object of the parent's type
  Label,         // handle of a text object, or empty
  Any,           // anything (UserData)
  ReadOnly,      // Type, Children
};

struct Prop {
  std::string name;
  Kind kind;
  std::vector<std::string> choices;  // Choice: the accepted words, the default first
  std::vector<double> value;         // numeric default, column-major
  std::size_t rows = 1;              // rows of the numeric default
  std::string text;                  // Text default
};

// The properties of a class, in the order of its table.
const std::vector<Prop> &propsOf(Type t);
const char *nameOf(Type t);  // "figure", "axes", ...
// Two names equal but for case.
bool sameWord(std::string_view a, std::string_view b);
// The property of that name (in any case), or nullptr; propOrRaise raises for none.
const Prop *findProp(Type t, std::string_view name);
const Prop &propOrRaise(Type t, std::string_view name);
// The class of an object's parent; nothing for a figure, whose parent is the root.
std::optional<Type> parentTypeOf(Type t);
// Whether the class's Position is a rectangle in its own Units.
bool hasRectUnits(Type t);

}  // namespace mexrt::graphics::internal
