// Graphics objects (figure, axes, line, text, uicontrol, image, legend, colorbar) in the
// runtime's object store: the C operations that compiled functions call, and the read side
// that the host's renderer and tests use.
#pragma once

#include "mexrt/matrix.h"

#ifdef __cplusplus
extern "C" {
#endif

// Creation from property name/value pairs ended by NULL; the result is the new object's
// handle (figures are 1, 2, ...; other objects non-integer doubles) as a temporary.
MEXRT_API mxArray *mlfNFigure(int nargout, ...);
MEXRT_API mxArray *mlfNAxes(int nargout, ...);
MEXRT_API mxArray *mlfNLine(int nargout, ...);
MEXRT_API mxArray *mlfNText(int nargout, ...);
MEXRT_API mxArray *mlfNUicontrol(int nargout, ...);
// get(handle, name) and set(handle, name, value, ...), each list ended by NULL. set's
// result is NULL when nargout is 0.
MEXRT_API mxArray *mlfNGet(int nargout, mxArray *handle, ...);
MEXRT_API mxArray *mlfNSet(int nargout, mxArray *handle, ...);


#ifdef __cplusplus
}

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace mexrt::graphics {

enum class Type { Figure, Axes, Line, Text, Uicontrol, Image, Legend, Colorbar };

// Creation and change from property name/value pairs, as the C operations do it: the
// temporaries among the values are reclaimed, an error leaves the store as it was.
MEXRT_API double create(Type type, const std::vector<mxArray *> &pairs);
// A figure with this handle (a positive whole number that no object has).
MEXRT_API double createFigure(double handle, const std::vector<mxArray *> &pairs);
MEXRT_API void set(double handle, const std::vector<mxArray *> &pairs);
// Removes an object and everything in it; removing an axes also removes the legends and
// colorbars that belong to it. The current figure becomes the newest one left.
MEXRT_API void remove(double handle);
// Forgets every property set on the object but the ones named (default values again).
MEXRT_API void resetProperties(double handle, const std::vector<std::string> &keep);

// The figure new objects go into (0 when there is none), and making one current.
MEXRT_API double currentFigure();
MEXRT_API void setCurrentFigure(double figure);

// Handles of the figures in creation order.
MEXRT_API std::vector<double> figures();
MEXRT_API bool isObject(double handle);
MEXRT_API Type typeOf(double handle);  // throws mexrt::Error for a handle that is no object
MEXRT_API std::string typeName(double handle);            // "figure", "axes", ...
MEXRT_API double parentOf(double handle);                 // 0 for a figure (the root)
MEXRT_API std::vector<double> childrenOf(double handle);  // in creation order
// A property's value (set or default) as a new array the caller frees with
// mxDestroyArray; the name is matched case-insensitively. Throws for an unknown property.
// XLim, YLim and ZLim hold [0 1] until set; while their XLimMode ... is "auto" the renderer
// chooses the limits from the data; CLim in its auto mode is the range of the axes' scaled
// images (the value the colours are drawn with). An axes' Title, XLabel, YLabel and ZLabel are the
// handle of a text among its children, or empty. Children lists the newest first, as get does.
MEXRT_API mxArray *property(double handle, std::string_view name);
// The rectangle [left bottom width height] in pixels of a figure (on the 1280 x 1024 screen)
// or of an axes, control or colorbar (within its figure), whatever its Units. Throws for
// the other types.
MEXRT_API std::array<double, 4> pixelPosition(double handle);
// The names of an object's properties, in the order of its class's table, and the words a
// property accepts (empty for a property that is not a choice among words).
MEXRT_API std::vector<std::string> propertyNames(double handle);
MEXRT_API std::vector<std::string> propertyChoices(double handle, std::string_view name);

// The finite extent of an axes' visible lines and images along x (axis 0) or y (axis 1),
// an image counting to the outer edges of its cells; on a log axis only positive values
// count. lo > hi when nothing has extent.
struct Range {
  double lo, hi;
  bool empty() const { return !(lo <= hi); }
};
MEXRT_API Range dataRange(double axes, int axis, bool positiveOnly);

// A named colour map of m colours (m x 3, by columns): "viridis" (the default, a
// perceptual map from dark blue-violet through teal and green to yellow), "gray", "jet",
// "hot". Throws mexrt::Error for another name.
MEXRT_API std::vector<double> colormap(std::string_view name, std::size_t m);
MEXRT_API std::vector<std::string> colormapNames();

// Removes every object (the store is empty again); for hosts and tests.
MEXRT_API void clearAll();

}  // namespace mexrt::graphics
#endif
