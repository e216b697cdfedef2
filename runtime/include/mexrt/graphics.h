// Graphics objects (figure, axes, line, text, uicontrol) in the runtime's object store,
// and the load operation; the C operations that compiled functions call, and the read
// side that the host's renderer and tests use.
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

// load(file) into named slots: the file's name (char array), then pairs of a variable
// name (NUL-terminated) and a slot (mxArray **), ended by NULL. Only the slots whose names
// the file holds are filled (the old value freed); the others keep what they held.
MEXRT_API void mclLoadConditional(mxArray *file, ...);

#ifdef __cplusplus
}

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace mexrt::graphics {

enum class Type { Figure, Axes, Line, Text, Uicontrol };

// Handles of the figures in creation order.
MEXRT_API std::vector<double> figures();
MEXRT_API bool isObject(double handle);
MEXRT_API Type typeOf(double handle);  // throws mexrt::Error for a handle that is no object
MEXRT_API std::string typeName(double handle);  // "figure", "axes", ...
MEXRT_API double parentOf(double handle);       // 0 for a figure (the root)
MEXRT_API std::vector<double> childrenOf(double handle);  // in creation order
// A property's value (set or default) as a new array the caller frees with
// mxDestroyArray; the name is matched case-insensitively. Throws for an unknown property.
// XLim, YLim and ZLim hold [0 1] until set; while their XLimMode ... is "auto" the renderer
// chooses the limits from the data. An axes' Title, XLabel, YLabel and ZLabel are the handle
// of a text among its children, or empty. Children lists the newest first, as get does.
MEXRT_API mxArray *property(double handle, std::string_view name);
// The rectangle [left bottom width height] in pixels of a figure (on the 1280 x 1024 screen)
// or of an axes or control (within its figure), whatever its Units. Throws for a line or text.
MEXRT_API std::array<double, 4> pixelPosition(double handle);
// Removes every object (the store is empty again); for hosts and tests.
MEXRT_API void clearAll();

// The folders that load searches after the current directory (the host's module path).
MEXRT_API void setLoadPath(const std::vector<std::string> &folders);

}  // namespace mexrt::graphics
#endif
