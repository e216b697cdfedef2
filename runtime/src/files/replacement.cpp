#include "files/replacement.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace mexrt::detail {

namespace {

mode_t modeForNewFile() {
  mode_t mask = umask(0);  // umask can only be read by setting it
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

Replacement createReplacement(const std::filesystem::path &target) {
  namespace fs = std::filesystem;
  fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  Replacement r;
  r.fd = mkstemp(name.data());
  if (r.fd < 0) return r;
  r.name = name.data();
  struct stat old {};
  mode_t mode = stat(target.c_str(), &old) == 0 ? old.st_mode & 07777 : modeForNewFile();
  if (fchmod(r.fd, mode) != 0) {
    int saved = errno;
    close(r.fd);
    unlink(r.name.c_str());
    errno = saved;
    r.fd = -1;
  }
  return r;
}

}  // namespace mexrt::detail
