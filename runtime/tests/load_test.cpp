// load from MAT-files: classes and their conversion, which slots change, how a name is
// found, and files that are missing, truncated, damaged or built to mislead.
#include <gtest/gtest.h>
#include <matio.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "mexrt/error.h"
#include "mexrt/matfile.h"
#include "mexrt/mathlib.h"
#include "mexrt/testing.h"

namespace {

namespace fs = std::filesystem;

// A scratch folder, current while the test runs, removed afterwards.
class Load : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("load_test_" + std::to_string(::getpid()));
    fs::create_directories(dir_ / "path1");
    fs::create_directories(dir_ / "path2");
    old_ = fs::current_path();
    fs::current_path(dir_);
    mexrt::matfile::setLoadPath({});
    live_ = mexrtLiveArrayCount();
  }
  void TearDown() override {
    EXPECT_EQ(mexrtLiveArrayCount(), live_) << "no array leaks";
    fs::current_path(old_);
    fs::remove_all(dir_);
    mexrt::matfile::setLoadPath({});
  }

  // Writes a MAT-file through matio with the variables that `add` creates.
  void write(const fs::path &file, const std::function<void(mat_t *)> &add) {
    mat_t *mat = Mat_CreateVer(file.c_str(), nullptr, MAT_FT_MAT5);
    ASSERT_NE(mat, nullptr);
    add(mat);
    Mat_Close(mat);
  }
  static void put(mat_t *mat, const char *name, matio_classes cls, matio_types type,
                  std::vector<size_t> dims, const void *data, bool compress, int opt = 0) {
    matvar_t *v = Mat_VarCreate(name, cls, type, static_cast<int>(dims.size()), dims.data(),
                                const_cast<void *>(data), opt);
    ASSERT_NE(v, nullptr) << name;
    Mat_VarWrite(mat, v, compress ? MAT_COMPRESSION_ZLIB : MAT_COMPRESSION_NONE);
    Mat_VarFree(v);
  }
  static void putDouble(mat_t *mat, const char *name, std::vector<double> v, bool compress = true) {
    put(mat, name, MAT_C_DOUBLE, MAT_T_DOUBLE, {1, v.size()}, v.data(), compress);
  }

  fs::path dir_, old_;
  std::size_t live_ = 0;
};

// Loads one variable into a slot that starts with `start`; returns the slot (owned).
mxArray *loadOne(const char *file, const char *name, mxArray *start = nullptr) {
  mxArray *f = mxCreateString(file);
  mxArray *slot = start;
  try {
    mclLoadConditional(f, name, &slot, nullptr);
  } catch (...) {
    mxDestroyArray(f);
    mxDestroyArray(slot);
    throw;
  }
  mxDestroyArray(f);
  return slot;
}

std::string errorOf(const std::function<void()> &f) {
  try {
    f();
  } catch (const mexrt::Error &e) {
    return e.what();
  }
  return "(no error)";
}

TEST_F(Load, ClassesArriveAsTheFileHoldsThem) {
  const double d[] = {1, 2, 3, 4, 5, 6};
  const float s[] = {0.5f, -1.5f};
  const int8_t i8[] = {-128, 127};
  const uint16_t u16[] = {65535, 1};
  const int32_t i32[] = {-7, 7};
  const uint64_t u64[] = {uint64_t{1} << 40, 3};
  const uint8_t lg[] = {1, 0, 1};
  const uint16_t chars16[] = {'h', 'i', 0x00e9};
  const char chars8[] = {'o', 'k'};
  for (bool compress : {false, true}) {
    write("c.mat", [&](mat_t *m) {
      put(m, "d", MAT_C_DOUBLE, MAT_T_DOUBLE, {2, 3}, d, compress);
      put(m, "nd", MAT_C_DOUBLE, MAT_T_DOUBLE, {1, 2, 3}, d, compress);
      put(m, "s", MAT_C_SINGLE, MAT_T_SINGLE, {1, 2}, s, compress);
      put(m, "i8", MAT_C_INT8, MAT_T_INT8, {1, 2}, i8, compress);
      put(m, "u16", MAT_C_UINT16, MAT_T_UINT16, {2, 1}, u16, compress);
      put(m, "i32", MAT_C_INT32, MAT_T_INT32, {1, 2}, i32, compress);
      put(m, "u64", MAT_C_UINT64, MAT_T_UINT64, {1, 2}, u64, compress);
      put(m, "lg", MAT_C_UINT8, MAT_T_UINT8, {1, 3}, lg, compress, MAT_F_LOGICAL);
      put(m, "c16", MAT_C_CHAR, MAT_T_UINT16, {1, 3}, chars16, compress);
      put(m, "c8", MAT_C_CHAR, MAT_T_UINT8, {1, 2}, chars8, compress);
      put(m, "e", MAT_C_DOUBLE, MAT_T_DOUBLE, {0, 0}, nullptr, compress);
    });
    const struct {
      const char *name;
      mxClassID cls;
      std::vector<size_t> dims;
      std::vector<double> values;
    } cases[] = {
        {"d", mxDOUBLE_CLASS, {2, 3}, {1, 2, 3, 4, 5, 6}},
        {"nd", mxDOUBLE_CLASS, {1, 2, 3}, {1, 2, 3, 4, 5, 6}},
        {"s", mxSINGLE_CLASS, {1, 2}, {0.5, -1.5}},
        {"i8", mxINT8_CLASS, {1, 2}, {-128, 127}},
        {"u16", mxUINT16_CLASS, {2, 1}, {65535, 1}},
        {"i32", mxINT32_CLASS, {1, 2}, {-7, 7}},
        {"u64", mxUINT64_CLASS, {1, 2}, {1099511627776.0, 3}},
        {"lg", mxLOGICAL_CLASS, {1, 3}, {1, 0, 1}},
        {"c16", mxCHAR_CLASS, {1, 3}, {'h', 'i', 0x00e9}},
        {"c8", mxCHAR_CLASS, {1, 2}, {'o', 'k'}},
        {"e", mxDOUBLE_CLASS, {0, 0}, {}},
    };
    for (const auto &c : cases) {
      std::string what = std::string(c.name) + (compress ? " compressed" : "");
      mxArray *a = loadOne("c", c.name);
      ASSERT_NE(a, nullptr) << what;
      EXPECT_EQ(mxGetClassID(a), c.cls) << what;
      std::vector<size_t> dims(mxGetDimensions(a), mxGetDimensions(a) + mxGetNumberOfDimensions(a));
      EXPECT_EQ(dims, c.dims) << what;
      mxArray *asDouble =
          mlfCast(a, mlfReturnValue(mxCreateString("double")));  // any class read back as numbers
      std::vector<double> got(mxGetPr(asDouble),
                              mxGetPr(asDouble) + mxGetNumberOfElements(asDouble));
      EXPECT_EQ(got, c.values) << what;
      mxDestroyArray(asDouble);
      mxDestroyArray(a);
    }
  }
}

TEST_F(Load, OnlyTheSlotsTheFileHoldsChange) {
  write("v.mat", [&](mat_t *m) {
    putDouble(m, "a", {1});
    putDouble(m, "b", {2});
    putDouble(m, "a", {99});  // a second variable of the same name: the first one counts
  });
  mxArray *f = mxCreateString("v.mat");
  mxArray *a = mxCreateDoubleScalar(-1), *b = nullptr, *c = mxCreateDoubleScalar(-3), *d = nullptr;
  mclLoadConditional(f, "a", &a, "b", &b, "c", &c, "d", &d, nullptr);
  EXPECT_EQ(mxGetPr(a)[0], 1) << "the old value is replaced (and freed)";
  EXPECT_EQ(mxGetPr(b)[0], 2) << "an absent slot is filled";
  EXPECT_EQ(mxGetPr(c)[0], -3) << "a name the file lacks keeps its value";
  EXPECT_EQ(d, nullptr) << "and an absent slot stays absent";
  for (mxArray *x : {f, a, b, c}) mxDestroyArray(x);
}

TEST_F(Load, NamesAreFoundHereThenOnThePath) {
  write("path1/x.mat", [&](mat_t *m) { putDouble(m, "v", {1}); });
  write("path2/x.mat", [&](mat_t *m) { putDouble(m, "v", {2}); });
  write("path2/y.dat", [&](mat_t *m) { putDouble(m, "v", {3}); });
  mexrt::matfile::setLoadPath({(dir_ / "path1").string(), (dir_ / "path2").string()});
  const struct {
    const char *name;
    double expected;
  } cases[] = {{"x", 1}, {"x.mat", 1}, {"y.dat", 3}, {"path2/x", 2}};
  for (const auto &c : cases) {
    mxArray *v = loadOne(c.name, "v");
    ASSERT_NE(v, nullptr) << c.name;
    EXPECT_EQ(mxGetPr(v)[0], c.expected) << c.name;
    mxDestroyArray(v);
  }
  write("x.mat", [&](mat_t *m) { putDouble(m, "v", {0}); });
  mxArray *v = loadOne("x", "v");
  EXPECT_EQ(mxGetPr(v)[0], 0) << "the current directory comes first";
  mxDestroyArray(v);
  EXPECT_EQ(errorOf([] { loadOne("nowhere", "v"); }),
            "load: cannot find \"nowhere.mat\" in the current directory or on the module path.");
  mxArray *number = mxCreateDoubleScalar(1);
  mxArray *slot = nullptr;
  EXPECT_NE(errorOf([&] {
              mclLoadConditional(number, "v", &slot, nullptr);
            }).find("file name must be a row of text"),
            std::string::npos);
  mxDestroyArray(number);
}

// matio writes a complex variable from parts that stay the caller's.
constexpr int kComplex = MAT_F_COMPLEX | MAT_F_DONT_COPY_DATA;

TEST_F(Load, ComplexVariablesKeepBothParts) {
  const double re[] = {1, 2, 3, 4}, im[] = {-1, 0, 0.5, -0.0};
  mat_complex_split_t z = {const_cast<double *>(re), const_cast<double *>(im)};
  const int16_t ire[] = {-3, 7}, iim[] = {5, -32768};
  mat_complex_split_t iz = {const_cast<int16_t *>(ire), const_cast<int16_t *>(iim)};
  const float fre[] = {0.25f}, fim[] = {-2.5f};
  mat_complex_split_t fz = {const_cast<float *>(fre), const_cast<float *>(fim)};
  mat_complex_split_t none = {nullptr, nullptr};
  for (bool compress : {false, true}) {
    write("z.mat", [&](mat_t *m) {
      put(m, "z", MAT_C_DOUBLE, MAT_T_DOUBLE, {2, 2}, &z, compress, kComplex);
      put(m, "iz", MAT_C_INT16, MAT_T_INT16, {1, 2}, &iz, compress, kComplex);
      put(m, "fz", MAT_C_SINGLE, MAT_T_SINGLE, {1, 1}, &fz, compress, kComplex);
      put(m, "ez", MAT_C_DOUBLE, MAT_T_DOUBLE, {0, 3}, &none, compress, kComplex);
    });
    const struct {
      const char *name;
      std::vector<size_t> dims;
      std::vector<double> re, im;
    } cases[] = {
        {"z", {2, 2}, {1, 2, 3, 4}, {-1, 0, 0.5, -0.0}},
        {"iz", {1, 2}, {-3, 7}, {5, -32768}},
        {"fz", {1, 1}, {0.25}, {-2.5}},
        {"ez", {0, 3}, {}, {}},
    };
    for (const auto &c : cases) {
      std::string what = std::string(c.name) + (compress ? " compressed" : "");
      mxArray *a = loadOne("z", c.name);
      ASSERT_NE(a, nullptr) << what;
      EXPECT_TRUE(mxIsComplex(a)) << what;
      std::vector<size_t> dims(mxGetDimensions(a), mxGetDimensions(a) + mxGetNumberOfDimensions(a));
      EXPECT_EQ(dims, c.dims) << what;
      size_t n = mxGetNumberOfElements(a);
      ASSERT_EQ(n, c.re.size()) << what;
      for (size_t k = 0; k < n; ++k) {
        EXPECT_EQ(mxGetPr(a)[k], c.re[k]) << what << " element " << k;
        EXPECT_EQ(mxGetPi(a)[k], c.im[k]) << what << " element " << k;
        EXPECT_EQ(std::signbit(mxGetPi(a)[k]), std::signbit(c.im[k])) << what << " element " << k;
      }
      mxDestroyArray(a);
    }
  }
}

TEST_F(Load, ClassesThatCannotBeHeldAreRefusedByName) {
  const struct {
    const char *what, *expected;
    std::function<void(mat_t *)> add;
  } cases[] = {
      {"struct", "variable \"s\" in \"bad.mat\" is of class struct",
       [&](mat_t *m) {
         size_t dims[2] = {1, 1};
         const char *fields[] = {"f"};
         matvar_t *s = Mat_VarCreateStruct("s", 2, dims, fields, 1);
         Mat_VarWrite(m, s, MAT_COMPRESSION_NONE);
         Mat_VarFree(s);
       }},
      {"cell", "variable \"c\" in \"bad.mat\" is of class cell",
       [&](mat_t *m) {
         size_t dims[2] = {0, 0};
         matvar_t *cell = Mat_VarCreate("c", MAT_C_CELL, MAT_T_CELL, 2, dims, nullptr, 0);
         Mat_VarWrite(m, cell, MAT_COMPRESSION_ZLIB);
         Mat_VarFree(cell);
       }},
  };
  for (const auto &c : cases) {
    write("bad.mat", c.add);
    mxArray *keep = mxCreateDoubleScalar(5);
    mxArray *f = mxCreateString("bad");
    std::string e =
        errorOf([&] { mclLoadConditional(f, "z", &keep, "s", &keep, "c", &keep, nullptr); });
    mxDestroyArray(f);
    EXPECT_NE(e.find(c.expected), std::string::npos) << c.what << ": " << e;
    EXPECT_EQ(mxGetPr(keep)[0], 5) << c.what << ": the slot is untouched";
    mxDestroyArray(keep);
  }
}

// A level-5 file assembled by hand, for the damage matio itself would never write.
struct Raw {
  std::vector<unsigned char> b = std::vector<unsigned char>(128, ' ');
  Raw() {
    b[124] = 0x00;
    b[125] = 0x01;
    b[126] = 'I';
    b[127] = 'M';
  }
  static void u32(std::vector<unsigned char> &v, uint32_t x) {
    for (int k = 0; k < 4; ++k) v.push_back(static_cast<unsigned char>(x >> (8 * k)));
  }
  static void element(std::vector<unsigned char> &v, uint32_t type,
                      const std::vector<unsigned char> &data) {
    u32(v, type);
    u32(v, static_cast<uint32_t>(data.size()));
    v.insert(v.end(), data.begin(), data.end());
    while (v.size() % 8) v.push_back(0);
  }
  // A double variable with the given dimensions, name and data bytes; a complex one when
  // `imaginary` holds the size of its imaginary part (kNoPart: marked complex, but without it).
  static constexpr std::size_t kReal = SIZE_MAX, kNoPart = SIZE_MAX - 1;
  static std::vector<unsigned char> matrix(std::vector<int32_t> dims, const std::string &name,
                                           std::size_t dataBytes, uint32_t cls = 6,
                                           uint32_t dataType = 9, std::size_t imaginary = kReal) {
    std::vector<unsigned char> m, flags, d, n(name.begin(), name.end());
    u32(flags, cls | (imaginary == kReal ? 0 : 0x0800));
    u32(flags, 0);
    for (int32_t x : dims) u32(d, static_cast<uint32_t>(x));
    element(m, 6, flags);
    element(m, 5, d);
    element(m, 1, n);
    element(m, dataType, std::vector<unsigned char>(dataBytes, 0));
    if (imaginary < kNoPart) element(m, dataType, std::vector<unsigned char>(imaginary, 0));
    return m;
  }
  void add(const std::vector<unsigned char> &matrixBody) { element(b, 14, matrixBody); }
  void save(const fs::path &p) const {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char *>(b.data()), static_cast<std::streamsize>(b.size()));
  }
};

TEST_F(Load, DamagedAndHostileFilesAreClearErrors) {
  const struct {
    const char *what;
    std::function<Raw()> make;
  } cases[] = {
      {"empty file",
       [] {
         Raw r;
         r.b.clear();
         return r;
       }},
      {"no level 5 mark",
       [] {
         Raw r;
         r.b[126] = 'X';
         return r;
       }},
      {"other version",
       [] {
         Raw r;
         r.b[125] = 0x02;
         return r;
       }},
      {"huge dimensions",
       [] {
         Raw r;
         r.add(Raw::matrix({0x7fffffff, 0x7fffffff, 0x7fffffff}, "v", 8));
         return r;
       }},
      {"negative dimension",
       [] {
         Raw r;
         r.add(Raw::matrix({-1, 2}, "v", 0));
         return r;
       }},
      {"data shorter than dims",
       [] {
         Raw r;
         r.add(Raw::matrix({4, 4}, "v", 8));
         return r;
       }},
      {"data longer than dims",
       [] {
         Raw r;
         r.add(Raw::matrix({1, 1}, "v", 64));
         return r;
       }},
      {"one dimension",
       [] {
         Raw r;
         r.add(Raw::matrix({3}, "v", 24));
         return r;
       }},
      {"bad name",
       [] {
         Raw r;
         r.add(Raw::matrix({1, 1}, "v w", 8));
         return r;
       }},
      {"unknown class",
       [] {
         Raw r;
         r.add(Raw::matrix({1, 1}, "v", 8, 99));
         return r;
       }},
      {"unknown data type",
       [] {
         Raw r;
         r.add(Raw::matrix({1, 1}, "v", 8, 6, 42));
         return r;
       }},
      {"complex without its imaginary part",
       [] {
         Raw r;
         r.add(Raw::matrix({1, 2}, "v", 16, 6, 9, Raw::kNoPart));
         return r;
       }},
      {"an imaginary part of another length",
       [] {
         Raw r;
         r.add(Raw::matrix({1, 2}, "v", 16, 6, 9, 8));
         return r;
       }},
      {"complex text",
       [] {
         Raw r;
         r.add(Raw::matrix({1, 2}, "v", 4, 4, 4, 4));
         return r;
       }},
      {"element past the end",
       [] {
         Raw r;
         Raw::u32(r.b, 14);
         Raw::u32(r.b, 0x7ffffff0);
         return r;
       }},
      {"not a variable",
       [] {
         Raw r;
         Raw::element(r.b, 9, std::vector<unsigned char>(8, 0));
         return r;
       }},
      {"compressed garbage",
       [] {
         Raw r;
         Raw::element(r.b, 15, {0x78, 0x9c, 1, 2, 3, 4, 5, 6, 7});
         return r;
       }},
  };
  for (const auto &c : cases) {
    c.make().save("h.mat");
    mxArray *keep = mxCreateDoubleScalar(5);
    mxArray *f = mxCreateString("h");
    std::string e = errorOf([&] { mclLoadConditional(f, "v", &keep, nullptr); });
    mxDestroyArray(f);
    EXPECT_EQ(e.rfind("load: ", 0), 0u) << c.what << ": " << e;
    EXPECT_NE(e.find("h.mat"), std::string::npos) << c.what << ": names the file: " << e;
    EXPECT_EQ(mxGetPr(keep)[0], 5) << c.what;
    mxDestroyArray(keep);
  }
}

TEST_F(Load, EveryTruncationAndRandomDamageIsSurvived) {
  for (bool compress : {false, true}) {
    write("t.mat", [&](mat_t *m) {
      putDouble(m, "a", {1, 2, 3}, compress);
      const uint16_t text[] = {'a', 'b'};
      put(m, "b", MAT_C_CHAR, MAT_T_UINT16, {1, 2}, text, compress);
      const double re[] = {1, 2}, im[] = {3, 4};
      mat_complex_split_t z = {const_cast<double *>(re), const_cast<double *>(im)};
      put(m, "z", MAT_C_DOUBLE, MAT_T_DOUBLE, {1, 2}, &z, compress, kComplex);
    });
    std::ifstream in("t.mat", std::ios::binary);
    std::vector<char> whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::mt19937 rng(compress ? 7 : 11);
    for (std::size_t n = 0; n < whole.size() + 300; ++n) {
      std::vector<char> bytes = whole;
      std::string what;
      if (n < whole.size()) {
        bytes.resize(n);
        what = "cut at " + std::to_string(n);
      } else {
        // Random bytes over the data after the header.
        std::size_t at = 128 + rng() % (whole.size() - 128);
        bytes[at] = static_cast<char>(rng());
        bytes[128 + rng() % (whole.size() - 128)] = static_cast<char>(rng());
        what = "damage near " + std::to_string(at);
      }
      {
        std::ofstream out("t2.mat", std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      }
      mxArray *f = mxCreateString("t2");
      mxArray *a = nullptr, *b = nullptr, *z = nullptr;
      try {
        mclLoadConditional(f, "a", &a, "b", &b, "z", &z, nullptr);
      } catch (const mexrt::Error &e) {
        EXPECT_EQ(std::string(e.what()).rfind("load: ", 0), 0u) << what << ": " << e.what();
        EXPECT_EQ(a, nullptr) << what << ": a failed load fills no slot";
      }
      for (mxArray *x : {f, a, b, z}) mxDestroyArray(x);
    }
  }
}

}  // namespace
