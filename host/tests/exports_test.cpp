// The dynamic symbols each built deliverable and module defines, read from the files.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>

namespace {

// The names `nm -D --defined-only` lists for a file.
std::set<std::string> definedSymbols(const std::string &file) {
  std::string command = "nm -D --defined-only --format=posix '" + file + "' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen(command.c_str(), "r"), pclose);
  std::set<std::string> names;
  if (!pipe) return names;
  char line[512];
  while (std::fgets(line, sizeof line, pipe.get())) {
    std::istringstream fields(line);
    std::string name;
    if (fields >> name) names.insert(name);
  }
  return names;
}

TEST(Exports, EachFileExportsExactlyItsEntries) {
  const struct {
    const char *file;
    std::set<std::string> exports;
  } cases[] = {
      {MEXRT_ZETA_LIBRARY, {"zetaInitialize", "zetaTerminate", "mlfDb", "mlxDb"}},
      {MEXRT_TEST_MODULE, {"mexLibrary"}},
      {MEXRT_BANDSETUP_MODULE, {"mexLibrary", "mexVersion"}},
      {MEXRT_CHAN2QF_MODULE, {"mexLibrary"}},
      {MEXRT_QUEFWIND_MODULE, {"mexLibrary"}},
      {MEXRT_TONEGRID_MODULE, {"mexLibrary"}},
  };
  for (const auto &c : cases) EXPECT_EQ(definedSymbols(c.file), c.exports) << c.file;
}

}  // namespace
