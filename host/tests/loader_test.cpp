// The module loader: refusals, builders and destroyers, finding and calling by name,
// loading twice, shadowing along the module path, and the version note read from the file.
#include "host/loader.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>

#include "mexrt/error.h"
#include "mexrt/mathlib.h"
#include "mexrt/testing.h"

namespace fs = std::filesystem;

namespace {

const fs::path kModule = MEXRT_TEST_MODULE;
const fs::path kBad = MEXRT_BAD_MODULE_DIR;

// A fresh folder for copies of module files, removed afterwards.
class TempDir {
 public:
  TempDir() {
    path_ = fs::temp_directory_path() / ("loader_test_" + std::to_string(getpid()) + "_" +
                                         std::to_string(std::random_device{}()));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path &path() const { return path_; }

 private:
  fs::path path_;
};

std::string bytesOf(const fs::path &file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void write(const fs::path &file, const std::string &bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}
bool isOpen(const fs::path &file) {
  void *h = dlopen(fs::canonical(file).c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (h) dlclose(h);
  return h != nullptr;
}

TEST(Loader, RefusesWhatIsNotAModule) {
  const struct {
    fs::path file;
    const char *reason;
  } cases[] = {
      {kBad / "x.mexa64", "is not a shared object"},
      {kBad / "no_library.mexa64", "defines no mexLibrary"},
      {MEXRT_ZETA_LIBRARY, "defines no mexLibrary"},
      {kBad / "version2.mexa64", "has record_version 2"},
      {kBad / "negative_count.mexa64", "function_count is -1"},
      {kBad / "null_table.mexa64", "function_table is null"},
      {kBad / "missing.mexa64", "cannot be opened"},
  };
  for (const auto &c : cases) {
    host::Loader loader;
    size_t live = mexrtLiveArrayCount();
    try {
      loader.load(c.file);
      ADD_FAILURE() << c.file << " loaded";
    } catch (const mexrt::Error &e) {
      std::string message = e.what();
      EXPECT_NE(message.find(c.reason), std::string::npos) << c.file << ": " << message;
      EXPECT_NE(message.find(c.file.filename().string()), std::string::npos) << message;
    }
    EXPECT_TRUE(loader.modules().empty()) << c.file;
    EXPECT_EQ(mexrtLiveArrayCount(), live) << c.file;
  }
  EXPECT_FALSE(isOpen(kBad / "version2.mexa64")) << "a refused module is unloaded";
}

TEST(Loader, FailingBuilderUndoesTheOthersAndUnloads) {
  host::Loader loader;
  size_t live = mexrtLiveArrayCount();
  fs::path file = kBad / "throwing_builder.mexa64";
  try {
    loader.load(file);
    FAIL() << "loaded";
  } catch (const mexrt::Error &e) {
    EXPECT_STREQ(e.what(), "the second builder fails");
  }
  EXPECT_EQ(mexrtLiveArrayCount(), live) << "the first builder's constant is destroyed";
  EXPECT_TRUE(loader.modules().empty());
  EXPECT_FALSE(isOpen(file));
}

TEST(Loader, LoadsFindsCallsAndUnloads) {
  size_t live = mexrtLiveArrayCount();
  host::Loader loader;
  const host::Module &m = loader.load(kModule);
  EXPECT_EQ(m.record().record_version, 1);
  EXPECT_EQ(m.version(), "MATLAB R11 native");
  EXPECT_EQ(mexrtLiveArrayCount(), live + 9) << "every builder ran";

  const struct {
    const char *name;
    int inputs, outputs;
  } rows[] = {{"twice", 1, 1}, {"note", 2, 0}, {"probe", 1, 1}, {"nest", 2, 1}};
  ASSERT_EQ(m.functions().size(), std::size(rows));
  for (const auto &r : rows) {
    const host::FunctionInfo *f = loader.find(r.name);
    ASSERT_NE(f, nullptr) << r.name;
    EXPECT_EQ(f->inputs, r.inputs) << r.name;
    EXPECT_EQ(f->outputs, r.outputs) << r.name;
    EXPECT_EQ(f->module, &m) << r.name;
  }
  EXPECT_EQ(loader.find("db"), nullptr);

  mxArray *x = mxCreateDoubleScalar(21);
  mxArray *plhs[2] = {nullptr, nullptr};
  host::Loader::call(*loader.find("twice"), 1, plhs, 1, &x);
  ASSERT_NE(plhs[0], nullptr);
  EXPECT_EQ(mxGetPr(plhs[0])[0], 42.0);
  mxDestroyArray(plhs[0]);
  plhs[0] = nullptr;
  EXPECT_THROW(host::Loader::call(*loader.find("twice"), 2, plhs, 1, &x), mexrt::Error)
      << "the entry checks the counts";
  mxDestroyArray(x);

  loader.unloadAll();
  EXPECT_EQ(mexrtLiveArrayCount(), live) << "every destroyer ran";
  EXPECT_EQ(loader.find("twice"), nullptr);
  EXPECT_FALSE(isOpen(kModule));
}

// A library of this test program, initialised through the runtime as zetaInitialize does.
int g_libraryTerms = 0;
void halve(int32_t, mxArray *plhs[], int32_t, mxArray *prhs[]) {
  plhs[0] = mxCreateDoubleScalar(mxGetPr(prhs[0])[0] / 2);
}
void countTerm() { ++g_libraryTerms; }
LocalFunctionTable g_halveLocals = {0, nullptr};
FunctionTableEntry g_libraryFunctions[] = {{"halve", halve, 1, 1, &g_halveLocals}};
InitTermEntry g_libraryInitTerm[] = {{nullptr, countTerm}};
ModuleInfo g_library = {1, 1, g_libraryFunctions, 0, 0, 0, 0, 1, g_libraryInitTerm};

// A library the runtime has initialised is served like a module, named by its file, once;
// unloading leaves its destroyers to its own terminate, and a terminated one is not served.
TEST(Loader, ServesTheLibrariesTheRuntimeInitialised) {
  int32_t count = 0;
  mclLibInit(&count, &g_library);
  {
    host::Loader loader;
    loader.addInitializedLibraries();
    loader.addInitializedLibraries();
    const host::FunctionInfo *f = loader.find("halve");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->inputs, 1);
    EXPECT_EQ(fs::canonical(f->module->path()), fs::canonical("/proc/self/exe"));
    EXPECT_EQ(loader.modules().size(), 1u) << "served once";
    mxArray *x = mxCreateDoubleScalar(9);
    mxArray *y = nullptr;
    host::Loader::call(*f, 1, &y, 1, &x);
    EXPECT_EQ(mxGetPr(y)[0], 4.5);
    mxDestroyArray(x);
    mxDestroyArray(y);
  }
  EXPECT_EQ(g_libraryTerms, 0) << "the loader ran no destroyer of the library";
  mclLibTerm(&count, &g_library);
  EXPECT_EQ(g_libraryTerms, 1);
  host::Loader after;
  after.addInitializedLibraries();
  EXPECT_EQ(after.find("halve"), nullptr);
}

TEST(Loader, SameFileTwiceGivesTheLoadedModule) {
  TempDir dir;
  std::vector<fs::path> paths = {kModule, dir.path() / "link.mexa64"};
  fs::create_symlink(kModule, paths.back());
  std::error_code ec;  // a hard link needs the same file system; tried where it works
  fs::create_hard_link(kModule, dir.path() / "hard.mexa64", ec);
  if (!ec) paths.push_back(dir.path() / "hard.mexa64");
  host::Loader loader;
  const host::Module &first = loader.load(kModule);
  size_t live = mexrtLiveArrayCount();
  for (const fs::path &again : paths) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(&loader.load(again), &first) << again;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << again << ": no shadowing";
  }
  EXPECT_EQ(loader.modules().size(), 1u);
  EXPECT_EQ(mexrtLiveArrayCount(), live) << "the builders ran once";
}

TEST(Loader, FirstModuleOnThePathServesAndTheShadowedFileIsNamed) {
  TempDir a, b;
  fs::copy_file(kModule, a.path() / "testmodule.mexa64");
  fs::copy_file(kModule, b.path() / "other.mexa64");
  fs::copy_file(kBad / "x.mexa64", b.path() / "x.mexa64");
  write(b.path() / "readme.txt", "not a module");
  host::Loader loader;
  testing::internal::CaptureStderr();
  loader.loadPath({a.path(), a.path() / "absent", b.path()});
  std::string warnings = testing::internal::GetCapturedStderr();

  ASSERT_EQ(loader.modules().size(), 2u);
  fs::path served = fs::canonical(a.path() / "testmodule.mexa64");
  fs::path shadowed = fs::canonical(b.path() / "other.mexa64");
  EXPECT_EQ(loader.find("twice")->module->path(), served);
  std::string expected = "Warning: The function \"twice\" of " + shadowed.string() +
                         " is shadowed by " + served.string() + ".\n";
  EXPECT_NE(warnings.find(expected), std::string::npos) << warnings;
  EXPECT_NE(warnings.find("x.mexa64\" is not a shared object"), std::string::npos)
      << "a bad file on the path is skipped with a warning: " << warnings;
  EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), 5) << warnings;
}

TEST(VersionNote, ReadsTheStringsOfTheBlock) {
  auto strings = host::readVersionNote(kModule);
  ASSERT_TRUE(strings);
  ASSERT_EQ(strings->size(), 16u);
  for (int id = 96; id < 112; ++id) {
    std::string expected = id == 100 ? "MATLAB R11 native" : id == 101 ? "not inlined" : "";
    EXPECT_EQ((*strings)[id - 96], expected) << "string " << id;
  }
  EXPECT_FALSE(host::readVersionNote(kBad / "no_library.mexa64")) << "no note";
  EXPECT_THROW(host::readVersionNote(kBad / "x.mexa64"), mexrt::Error);
}

TEST(VersionNote, DamagedFilesGiveErrorsNotCrashes) {
  const std::string good = bytesOf(kModule);
  std::size_t note = good.find(std::string("MEX\0", 4));
  ASSERT_NE(note, std::string::npos);
  note -= 12;  // the note header: name size, descriptor size, type
  auto patched = [&](std::size_t at, std::string bytes) {
    std::string s = good;
    s.replace(at, bytes.size(), bytes);
    return s;
  };
  const std::string ff(4, '\xff');
  const struct {
    const char *name;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"magic only", good.substr(0, 4)},
      {"header cut", good.substr(0, 40)},
      {"half", good.substr(0, good.size() / 2)},
      {"last byte cut", good.substr(0, good.size() - 1)},
      {"section table far away", patched(0x28, std::string(7, '\x7f'))},
      {"65535 sections", patched(0x3c, "\xff\xff")},
      {"names section out of range", patched(0x3e, "\xfe\xff")},
      {"huge name size", patched(note, ff)},
      {"huge descriptor", patched(note + 4, ff)},
      {"string longer than the note", patched(note + 24, "\xff\xff")},
  };
  TempDir dir;
  for (const auto &c : cases) {
    fs::path file = dir.path() / "damaged.mexa64";
    write(file, c.bytes);
    EXPECT_THROW(host::readVersionNote(file), mexrt::Error) << c.name;
    host::Loader loader;
    EXPECT_THROW(loader.load(file), mexrt::Error) << c.name << ": refused before dlopen";
  }
}

}  // namespace
