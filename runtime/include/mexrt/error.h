// The one exception type of the runtime: every error raised by an operation, the frame or the host.
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "mexrt/matrix.h"

namespace mexrt {

// An error raised through the array library. what() is the message as UTF-8, exactly as
// the raising operation wrote it (mlfError passes its array's text through unchanged).
// Its type information lives in libmexrt alone, so modules and hosts catch the same type.
class MEXRT_API Error : public std::exception {
 public:
  explicit Error(std::string message) : message_(std::move(message)) {}
  ~Error() override;
  const char *what() const noexcept override { return message_.c_str(); }
  const std::string &message() const noexcept { return message_; }

 private:
  std::string message_;
};

}  // namespace mexrt
