// The figure renderer: draws a figure of the graphics store, with everything in it, into a
// PNG, SVG or PDF file.
#pragma once

#include <filesystem>
#include <vector>

namespace host {

// Draws the figure with this handle into the file, as PNG, SVG or PDF by the file's
// extension (in any case). The image is the figure's size in pixels on the store's screen
// (points for SVG and PDF), scaled by resolution / 96 for PNG; images inside are resampled
// to that resolution. Throws mexrt::Error for a handle that is no figure, another extension,
// a figure of no usable size, or a file that cannot be written.
void renderFigure(double figureHandle, const std::filesystem::path &out, double resolution = 96);

// Draws every figure of the store into the folder (made if missing) as figureN.png, N the
// figure's handle; returns the files written, in the order of the figures' creation.
std::vector<std::filesystem::path> renderAllFigures(const std::filesystem::path &dir);

}  // namespace host
