// The figures family: writing figures to PNG, SVG and PDF files.
#include <cstdlib>
#include <string>

#include "shell/builtins/support.h"

namespace shell::builtins {

namespace {

// The figure a print or saveas names, or the current one.
double figureArg(Evaluator &ev, mxArray *a, const char *name) {
  if (a) return takeNumber(a, name);
  double f = ev.hooks().currentFigure ? ev.hooks().currentFigure() : 0;
  if (f == 0) raise(std::string(name) + ": there is no figure to write.");
  return f;
}

void render(Evaluator &ev, double figure, const std::string &file) {
  if (!ev.hooks().renderFigure) raise("Figures cannot be written here.");
  ev.hooks().renderFigure(figure, file);
}

// print(fig, '-dpng', 'file'), print('-dsvg', 'file'), print('-f2', 'file'): the format
// by the device option or the file's extension, PNG when neither gives one.
Results print(Evaluator &ev, const char *name, Args &a, int nargout) {
  arity(name, a, 1, 3);
  outputs(name, nargout, 0);
  double figure = 0;
  std::string device, file;
  for (mxArray *x : a) {
    if (!isText(x)) {
      figure = takeNumber(x, "print");
      continue;
    }
    std::string s = takeText(x, "print");
    if (s.rfind("-d", 0) == 0) {
      device = s.substr(2);
    } else if (s.rfind("-f", 0) == 0) {
      figure = std::strtod(s.c_str() + 2, nullptr);
    } else {
      file = s;
    }
  }
  if (file.empty()) raise("print: name the file to write.");
  if (device == "svg" || device == "pdf" || device == "png" || device.empty()) {
    bool hasExtension = file.find('.', file.find_last_of('/') + 1) != std::string::npos;
    if (!hasExtension) file += "." + (device.empty() ? std::string("png") : device);
  } else {
    raise("print: unknown device '-d" + device + "'; use -dpng, -dsvg or -dpdf.");
  }
  if (figure == 0) figure = figureArg(ev, nullptr, "print");
  render(ev, figure, file);
  return {};
}

// saveas(fig, 'file.png'): the format by the file's extension.
Results saveas(Evaluator &ev, const char *name, Args &a, int nargout) {
  arity(name, a, 2, 2);
  outputs(name, nargout, 0);
  double figure = figureArg(ev, a[0], "saveas");
  render(ev, figure, takeText(a[1], "saveas"));
  return {};
}

}  // namespace

std::span<const Builtin> figuresFamily() {
  static const Builtin kTable[] = {
      {"print", print,
       "print([fig,] '-dpng', file): writes a figure to PNG, SVG (-dsvg) or PDF (-dpdf)"},
      {"saveas", saveas, "saveas(fig, file): writes a figure, the format by the file's extension"},
  };
  return kTable;
}

}  // namespace shell::builtins
