// make_tonegrid_mat: writes tonegrid's data file, mat0 to mat5: a colour map, a pointer
// shape, a colour order, frequencies 0 to 8000 Hz, their mels and the control's caption.
// Options leave variables out or add extra ones, for the tests' variants of the file.
#include <matio.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

struct Matrix {
  std::size_t rows, cols;
  std::vector<double> v;  // column-major
};

// 64 colours from dark blue to pale yellow.
Matrix colormap() {
  Matrix m{64, 3, std::vector<double>(192)};
  for (std::size_t k = 0; k < 64; ++k) {
    double t = static_cast<double>(k) / 63.0;
    m.v[k] = t;
    m.v[64 + k] = 0.2 + 0.75 * t;
    m.v[128 + k] = 0.5 + 0.5 * std::sin(3.0 * t);
  }
  for (double &x : m.v) x = std::fmin(1.0, std::fmax(0.0, x));
  return m;
}

// A 16 x 16 cross-hair: 1 black, 2 white, NaN see-through.
Matrix pointerShape() {
  Matrix m{16, 16, std::vector<double>(256, std::nan(""))};
  for (std::size_t k = 0; k < 16; ++k) {
    m.v[7 * 16 + k] = 1;  // column 8
    m.v[k * 16 + 7] = 1;  // row 8
  }
  m.v[7 * 16 + 7] = 2;
  return m;
}

Matrix colorOrder() {
  return {7, 3, {0, 0,    1,    0, 0.75, 0.75, 0.25, 0,    0.5, 0,   0.75,
                 0, 0.75, 0.25, 1, 0,    0,    0.75, 0.75, 0,   0.25}};
}

// Frequencies 0, 20, ..., 8000 Hz and their mels, 1127 ln(1 + f/700).
Matrix frequencies() {
  Matrix m{1, 401, std::vector<double>(401)};
  for (std::size_t k = 0; k < 401; ++k) m.v[k] = 20.0 * static_cast<double>(k);
  return m;
}
Matrix mels(const Matrix &f) {
  Matrix m = f;
  for (double &x : m.v) x = 1127.0 * std::log(1.0 + x / 700.0);
  return m;
}

const char *kCaption =
    "The mel scale follows perceived pitch: equal steps in mels sound equally far apart. "
    "mel = 1127 ln(1 + f/700) is close to linear below 1 kHz and logarithmic above.";

bool writeMatrix(mat_t *mat, const char *name, Matrix m) {
  size_t dims[2] = {m.rows, m.cols};
  matvar_t *v = Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, m.v.data(), 0);
  if (!v) return false;
  bool ok = Mat_VarWrite(mat, v, MAT_COMPRESSION_ZLIB) == 0;
  Mat_VarFree(v);
  return ok;
}

bool writeText(mat_t *mat, const char *name, const std::string &text) {
  std::vector<mat_uint16_t> codes(text.begin(), text.end());
  size_t dims[2] = {1, codes.size()};
  matvar_t *v = Mat_VarCreate(name, MAT_C_CHAR, MAT_T_UINT16, 2, dims, codes.data(), 0);
  if (!v) return false;
  bool ok = Mat_VarWrite(mat, v, MAT_COMPRESSION_ZLIB) == 0;
  Mat_VarFree(v);
  return ok;
}

int usage() {
  std::fprintf(stderr, "usage: make_tonegrid_mat OUT.mat [--omit NAME]... [--extra]\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) return usage();
  std::set<std::string> omit;
  bool extra = false;
  for (int k = 2; k < argc; ++k) {
    if (std::strcmp(argv[k], "--omit") == 0 && k + 1 < argc)
      omit.insert(argv[++k]);
    else if (std::strcmp(argv[k], "--extra") == 0)
      extra = true;
    else
      return usage();
  }
  mat_t *mat = Mat_CreateVer(argv[1], "tonegrid data file", MAT_FT_MAT5);
  if (!mat) {
    std::fprintf(stderr, "make_tonegrid_mat: cannot create %s\n", argv[1]);
    return 1;
  }
  Matrix f = frequencies();
  bool ok = true;
  auto put = [&](const char *name, const Matrix &m) {
    if (!omit.count(name)) ok = ok && writeMatrix(mat, name, m);
  };
  put("mat0", colormap());
  put("mat1", pointerShape());
  put("mat2", colorOrder());
  put("mat3", f);
  put("mat4", mels(f));
  if (!omit.count("mat5")) ok = ok && writeText(mat, "mat5", kCaption);
  if (extra) {
    // Variables the body assigns before reading, or never reads: they change nothing.
    for (const char *name : {"fig", "h0", "h1", "h2", "ans", "tonegrid"}) {
      ok = ok && writeMatrix(mat, name, Matrix{1, 1, {-42}});
    }
  }
  Mat_Close(mat);
  if (!ok) {
    std::fprintf(stderr, "make_tonegrid_mat: cannot write %s\n", argv[1]);
    std::remove(argv[1]);
    return 1;
  }
  return 0;
}
