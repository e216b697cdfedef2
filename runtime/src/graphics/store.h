// The object store: each thread's objects with the properties set on them and their links,
// and the values an object shows (set, else its class's default, some of them computed).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/operands.h"
#include "graphics/schema.h"

namespace mexrt::graphics::internal {

struct Value {
  const Prop *prop;
  Owned array;
};

struct Object {
  Type type;
  double parent = 0;
  std::vector<double> children;  // creation order
  std::vector<Value> values;     // the properties set, in the order first set
};

struct Store {
  std::map<double, Object> objects;
  std::vector<double> figures;  // creation order
  double currentFigure = 0;
  std::uint64_t counter = 0;
};

// The calling thread's store.
Store &store();
Object *lookup(double h);  // nullptr when h is no object
Object &objectOrRaise(double h);
// The value set for p, or nullptr.
const Array *valueOf(const std::vector<Value> &values, const Prop &p);
void putValue(std::vector<Value> &values, const Prop &p, Owned a);

// Creation and change from name/value pairs taken as operands (set's first is the handle);
// an error leaves the store as it was.
double create(Type t, const detail::OperandList &ops, double figureHandle = 0);
void set(double handle, const detail::OperandList &ops);

// --- Units and shown values (defaults.cpp) ---

// The object's Units as set, else its class's first.
std::string unitsOf(Type t, const std::vector<Value> &values);
// The pixel size of the area an object's normalized position is taken against.
std::pair<double, double> referenceSize(Type t, double parent);
// A rectangle expressed in `from` units re-expressed in `to` units (pixels or normalized).
std::vector<double> convertRect(const double *r, const std::string &from, const std::string &to,
                                std::pair<double, double> ref);
// A figure's current axes: the one its CurrentAxes names while that is still its child,
// otherwise its newest axes; 0 when it has none.
double currentAxesOf(double figure);
// The value o shows for p: the one set, else the default, computed where the class asks.
Owned valueOrDefault(double handle, const Object &o, const Prop &p);

// --- Data ranges (ranges.cpp) ---

// The range of the CData of an axes' visible scaled images.
Range cdataRange(double axes);

}  // namespace mexrt::graphics::internal
