// save: variables into a compressed level 5 MAT-file through matio, written to a temporary
// file in the target's folder and renamed over the target only once matio has closed it.
#include <matio.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/array.h"
#include "core/classes.h"
#include "files/replacement.h"
#include "mexrt/matfile.h"

namespace mexrt::matfile {
namespace {

namespace fs = std::filesystem;
using detail::Array;

struct MatClose {
  void operator()(mat_t *m) const { Mat_Close(m); }
};
struct VarFree {
  void operator()(matvar_t *v) const { Mat_VarFree(v); }
};

[[noreturn]] void fail(const std::string &file, const std::string &reason) {
  detail::raise("save: cannot write \"" + file + "\": " + reason + ".");
}

bool validName(const std::string &n) {
  if (n.empty() || n.size() > 63 || !std::isalpha(static_cast<unsigned char>(n[0]))) return false;
  for (unsigned char c : n) {
    if (!std::isalnum(c) && c != '_') return false;
  }
  return true;
}

// The element type matio writes for a numeric class.
matio_types matioType(mxClassID cls) {
  switch (cls) {
    case mxSINGLE_CLASS:
      return MAT_T_SINGLE;
    case mxINT8_CLASS:
      return MAT_T_INT8;
    case mxUINT8_CLASS:
      return MAT_T_UINT8;
    case mxINT16_CLASS:
      return MAT_T_INT16;
    case mxUINT16_CLASS:
      return MAT_T_UINT16;
    case mxINT32_CLASS:
      return MAT_T_INT32;
    case mxUINT32_CLASS:
      return MAT_T_UINT32;
    case mxINT64_CLASS:
      return MAT_T_INT64;
    case mxUINT64_CLASS:
      return MAT_T_UINT64;
    default:
      return MAT_T_DOUBLE;
  }
}

// The matio variable for one array; its data stays the array's (MAT_F_DONT_COPY_DATA).
matvar_t *variableOf(const std::string &file, const std::string &name, const Array &a,
                     mat_complex_split_t &split, std::vector<std::uint16_t> &chars,
                     std::vector<std::uint8_t> &bools) {
  std::vector<std::size_t> dims(a.dims.span().begin(), a.dims.span().end());
  static double none = 0;
  if (a.isDouble()) {
    if (a.isComplex()) {
      split.Re = const_cast<double *>(a.reals() ? a.reals() : &none);
      split.Im = const_cast<double *>(a.imags() ? a.imags() : &none);
      return Mat_VarCreate(name.c_str(), MAT_C_DOUBLE, MAT_T_DOUBLE, static_cast<int>(dims.size()),
                           dims.data(), &split, MAT_F_COMPLEX | MAT_F_DONT_COPY_DATA);
    }
    return Mat_VarCreate(name.c_str(), MAT_C_DOUBLE, MAT_T_DOUBLE, static_cast<int>(dims.size()),
                         dims.data(), const_cast<double *>(a.reals() ? a.reals() : &none),
                         MAT_F_DONT_COPY_DATA);
  }
  if (a.isChar()) {
    chars.assign(a.chars(), a.chars() + a.numel());
    if (chars.empty()) chars.push_back(0);
    return Mat_VarCreate(name.c_str(), MAT_C_CHAR, MAT_T_UINT16, static_cast<int>(dims.size()),
                         dims.data(), chars.data(), MAT_F_DONT_COPY_DATA);
  }
  if (a.isLogical()) {
    bools.assign(a.logicals(), a.logicals() + a.numel());
    if (bools.empty()) bools.push_back(0);
    return Mat_VarCreate(name.c_str(), MAT_C_UINT8, MAT_T_UINT8, static_cast<int>(dims.size()),
                         dims.data(), bools.data(), MAT_F_LOGICAL | MAT_F_DONT_COPY_DATA);
  }
  if (detail::isNumericClass(a.cls)) {
    // single and the integer classes: matio's class numbers are the host's.
    static std::uint64_t noData = 0;
    const auto cls = static_cast<matio_classes>(a.cls);
    return Mat_VarCreate(
        name.c_str(), cls, matioType(a.cls), static_cast<int>(dims.size()), dims.data(),
        const_cast<unsigned char *>(a.rawData() ? a.rawData()
                                                : reinterpret_cast<unsigned char *>(&noData)),
        MAT_F_DONT_COPY_DATA);
  }
  fail(file, "variable \"" + name + "\" is of a class that cannot be saved");
}

}  // namespace

void save(const std::string &name,
          const std::vector<std::pair<std::string, const mxArray *>> &variables) {
  fs::path target(name);
  if (!target.has_extension()) target += ".mat";
  const std::string file = target.string();
  for (const auto &[n, a] : variables) {
    if (!validName(n)) fail(file, "\"" + n + "\" is not a variable name");
    if (!a) fail(file, "variable \"" + n + "\" is not defined");
  }
  detail::Replacement replacement = detail::createReplacement(target);
  if (replacement.fd < 0) fail(file, std::strerror(errno));
  close(replacement.fd);
  const std::string temp = replacement.name;
  try {
    {
      std::unique_ptr<mat_t, MatClose> mat(Mat_CreateVer(temp.c_str(), nullptr, MAT_FT_MAT5));
      if (!mat) fail(file, "matio cannot create it");
      for (const auto &[n, a] : variables) {
        mat_complex_split_t split{};
        std::vector<std::uint16_t> chars;
        std::vector<std::uint8_t> bools;
        std::unique_ptr<matvar_t, VarFree> v(variableOf(file, n, *a, split, chars, bools));
        if (!v) fail(file, "matio cannot hold variable \"" + n + "\"");
        if (Mat_VarWrite(mat.get(), v.get(), MAT_COMPRESSION_ZLIB) != 0) {
          fail(file, "writing variable \"" + n + "\" failed");
        }
      }
    }
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) fail(file, ec.message());
  } catch (...) {
    std::remove(temp.c_str());
    throw;
  }
}

}  // namespace mexrt::matfile
