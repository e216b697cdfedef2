// What the figures family's files share: a call's arguments held for the call, property
// lists for the graphics store, and the current figure and axes.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mexrt/graphics.h"
#include "shell/builtins/support.h"

namespace shell::builtins::figures {

namespace g = mexrt::graphics;

// The arguments of one call, kept (no longer temporaries) until the call returns, so that
// they can be read, sliced and handed to the store as often as needed.
class Held {
 public:
  explicit Held(Args &args);
  ~Held();
  Held(const Held &) = delete;
  Held &operator=(const Held &) = delete;
  std::size_t size() const { return a_.size(); }
  mxArray *operator[](std::size_t k) const { return a_[k]; }
  std::span<mxArray *const> from(std::size_t k) const {
    return std::span<mxArray *const>(a_).subspan(std::min(k, a_.size()));
  }

 private:
  std::vector<mxArray *> a_;
};

// Property names and values for a store call; the arrays it makes are freed with it, the
// ones it is lent (a call's held arguments) are the store's to share.
class Pairs {
 public:
  Pairs() = default;
  ~Pairs();
  Pairs(const Pairs &) = delete;
  Pairs &operator=(const Pairs &) = delete;
  Pairs &add(const char *name, mxArray *lent);
  Pairs &add(const char *name, double v);
  Pairs &add(const char *name, const std::vector<double> &row);
  Pairs &add(const char *name, const char *text);
  Pairs &addTaken(const char *name, mxArray *temporary);  // a result the store reclaims
  // A call's trailing name/value pairs, checked to come in pairs of a name and a value.
  Pairs &addAll(std::span<mxArray *const> pairs, const char *fn);
  const std::vector<mxArray *> &list() const { return list_; }

 private:
  mxArray *made(mxArray *a);
  std::vector<mxArray *> list_, made_;
};

// Reading the store.
std::vector<double> numbers(double h, std::string_view name);
double number(double h, std::string_view name);
std::string word(double h, std::string_view name);  // a text property as stored

bool isNumeric(const mxArray *a);  // double or logical
// A scalar naming an object of the type (any type when none is given).
bool isHandleOf(const mxArray *a, std::optional<g::Type> type = std::nullopt);
// The elements of a numeric array as doubles.
std::vector<double> valuesOf(const mxArray *a);
mxArray *handlesResult(const std::vector<double> &handles);  // a column, as a temporary

// The current figure, made when there is none; its current axes, likewise.
double currentFigure();
double currentAxes();
// An axes named by the call's first argument (taking it), else the current axes.
double axesArgument(const Held &in, std::size_t &next);

// Readies an axes for new plotted objects as its NextPlot says: "replace" empties it and
// sets its properties back to their defaults (keeping its place), "replacechildren" only
// empties it, "add" keeps everything. Returns true when it was emptied.
bool newPlot(double axes);
// Removes the axes' children (all of them, or all but its title and labels) and its legend.
void emptyAxes(double axes, bool keepLabels);

// The figure's size in pixels.
std::pair<double, double> figureSize(double figure);
// Sets an object's rectangle given in pixels within its figure, in the object's own units.
void placeInPixels(double h, const std::array<double, 4> &px);

}  // namespace shell::builtins::figures
