// The named colour maps: m x 3 tables of RGB rows in [0, 1], stored by columns.
#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "core/array.h"
#include "mexrt/graphics.h"

namespace mexrt::graphics {
namespace {

using Rgb = std::array<double, 3>;

// sRGB <-> Oklab, so that the perceptual map is interpolated where equal steps look equal.
double toLinear(double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); }
double toGamma(double c) {
  return c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
}

Rgb toOklab(Rgb c) {
  double r = toLinear(c[0]), g = toLinear(c[1]), b = toLinear(c[2]);
  double l = std::cbrt(0.4122214708 * r + 0.5363325363 * g + 0.0514459929 * b);
  double m = std::cbrt(0.2119034982 * r + 0.6806995451 * g + 0.1073969566 * b);
  double s = std::cbrt(0.0883024619 * r + 0.2817188376 * g + 0.6299787005 * b);
  return {0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s,
          1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s,
          0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s};
}

Rgb fromOklab(Rgb c) {
  double l = c[0] + 0.3963377774 * c[1] + 0.2158037573 * c[2];
  double m = c[0] - 0.1055613458 * c[1] - 0.0638541728 * c[2];
  double s = c[0] - 0.0894841775 * c[1] - 1.2914855480 * c[2];
  l = l * l * l, m = m * m * m, s = s * s * s;
  Rgb rgb = {4.0767416621 * l - 3.3077115913 * m + 0.2309699292 * s,
             -1.2684380046 * l + 2.6097574011 * m - 0.3413193965 * s,
             -0.0041960863 * l - 0.7034186147 * m + 1.7076147010 * s};
  for (double &x : rgb) x = std::clamp(toGamma(std::clamp(x, 0.0, 1.0)), 0.0, 1.0);
  return rgb;
}

// Dark blue-violet through blue, teal and green to yellow, lightness rising all the way.
Rgb viridis(double t) {
  static const std::array<Rgb, 10> anchors = [] {
    const unsigned hex[] = {0x440154, 0x482878, 0x3e4a89, 0x31688e, 0x26828e,
                            0x1f9e89, 0x35b779, 0x6dcd59, 0xb4de2c, 0xfde725};
    std::array<Rgb, 10> a{};
    for (std::size_t k = 0; k < a.size(); ++k) {
      a[k] = toOklab(
          {((hex[k] >> 16) & 255) / 255.0, ((hex[k] >> 8) & 255) / 255.0, (hex[k] & 255) / 255.0});
    }
    return a;
  }();
  double x = t * static_cast<double>(anchors.size() - 1);
  std::size_t k = std::min(static_cast<std::size_t>(x), anchors.size() - 2);
  double f = x - static_cast<double>(k);
  Rgb lab;
  for (int i = 0; i < 3; ++i) lab[i] = anchors[k][i] + f * (anchors[k + 1][i] - anchors[k][i]);
  return fromOklab(lab);
}

Rgb gray(double t) { return {t, t, t}; }

// Black through red and yellow to white: red rises over the first 3/8, green over the
// next 3/8, blue over the rest.
Rgb hot(double t) {
  auto ramp = [](double x) { return std::clamp(x, 0.0, 1.0); };
  return {ramp(t * 8 / 3), ramp((t - 3.0 / 8) * 8 / 3), ramp((t - 6.0 / 8) * 4)};
}

// Dark blue through blue, cyan, yellow and red to dark red.
Rgb jet(double t) {
  auto ramp = [](double x) { return std::clamp(1.5 - std::fabs(x), 0.0, 1.0); };
  double x = 4.0 * t - 2.0;  // -2 .. 2
  return {ramp(x - 1), ramp(x), ramp(x + 1)};
}

struct Named {
  const char *name;
  Rgb (*at)(double t);  // t in [0, 1]
  bool centred;         // sample at cell centres rather than from end to end
};
constexpr Named kMaps[] = {
    {"viridis", viridis, false}, {"gray", gray, false}, {"jet", jet, true}, {"hot", hot, false}};

}  // namespace

std::vector<double> colormap(std::string_view name, std::size_t m) {
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (lower == "default") lower = "viridis";
  for (const Named &n : kMaps) {
    if (lower != n.name) continue;
    std::vector<double> v(3 * m);
    for (std::size_t k = 0; k < m; ++k) {
      double t = n.centred ? (static_cast<double>(k) + 0.5) / static_cast<double>(m)
                 : m > 1   ? static_cast<double>(k) / static_cast<double>(m - 1)
                           : 1.0;
      Rgb c = n.at(t);
      for (std::size_t i = 0; i < 3; ++i) v[i * m + k] = c[i];
    }
    return v;
  }
  std::string list;
  for (const Named &n : kMaps) list += (list.empty() ? "" : ", ") + std::string(n.name);
  detail::raise("There is no colour map named \"" + std::string(name) + "\" (there are " + list +
                ").");
}

std::vector<std::string> colormapNames() {
  std::vector<std::string> names;
  for (const Named &n : kMaps) names.emplace_back(n.name);
  return names;
}

}  // namespace mexrt::graphics
