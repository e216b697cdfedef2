// Writes MAT-file seeds for fuzz_load into the folder given: a double matrix, text, a
// compressed matrix, integers, a logical, a complex value and an N-d array.
#include <matio.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

void write(const std::string &file, const char *name, matio_classes c, matio_types t, int rank,
           size_t *dims, void *data, matio_compression z, int flags = 0) {
  mat_t *mat = Mat_CreateVer(file.c_str(), nullptr, MAT_FT_MAT5);
  if (!mat) return;
  matvar_t *v = Mat_VarCreate(name, c, t, rank, dims, data, flags);
  Mat_VarWrite(mat, v, z);
  Mat_VarFree(v);
  Mat_Close(mat);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) return 2;
  std::string dir = argv[1];
  double m[6] = {1, 2, 3, 4, 5, 6};
  size_t d23[2] = {2, 3};
  write(dir + "/double.mat", "x", MAT_C_DOUBLE, MAT_T_DOUBLE, 2, d23, m, MAT_COMPRESSION_NONE);
  write(dir + "/zipped.mat", "y", MAT_C_DOUBLE, MAT_T_DOUBLE, 2, d23, m, MAT_COMPRESSION_ZLIB);
  char text[] = "hi";
  size_t d12[2] = {1, 2};
  write(dir + "/text.mat", "s", MAT_C_CHAR, MAT_T_UINT8, 2, d12, text, MAT_COMPRESSION_NONE);
  int16_t ints[6] = {-3, 0, 7, 1, 2, 3};
  write(dir + "/int16.mat", "x", MAT_C_INT16, MAT_T_INT16, 2, d23, ints, MAT_COMPRESSION_NONE);
  uint8_t bits[2] = {1, 0};
  write(dir + "/logical.mat", "x", MAT_C_UINT8, MAT_T_UINT8, 2, d12, bits, MAT_COMPRESSION_NONE,
        MAT_F_LOGICAL);
  double re[2] = {1, 2}, im[2] = {-1, 0.5};
  mat_complex_split_t z = {re, im};
  write(dir + "/complex.mat", "x", MAT_C_DOUBLE, MAT_T_DOUBLE, 2, d12, &z, MAT_COMPRESSION_NONE,
        MAT_F_COMPLEX);
  size_t d3[3] = {1, 2, 3};
  write(dir + "/nd.mat", "y", MAT_C_DOUBLE, MAT_T_DOUBLE, 3, d3, m, MAT_COMPRESSION_ZLIB);
  return 0;
}
