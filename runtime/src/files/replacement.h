// A file written beside its target under a temporary name and renamed over it when complete,
// so that a failure never leaves a damaged file where a good one was.
#pragma once

#include <filesystem>
#include <string>

namespace mexrt::detail {

struct Replacement {
  int fd = -1;       // open for writing; the caller closes it
  std::string name;  // the temporary file's path
};

// Creates the temporary file in the target's folder. It gets the permissions of the file it
// will replace, or of a new file under the process's umask (mkstemp alone would make it
// private to its owner, and so would the renamed result). Returns fd -1 with errno set on
// failure.
Replacement createReplacement(const std::filesystem::path &target);

}  // namespace mexrt::detail
