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
  // An error with an identifier such as "mel:badInput", as a catch reads it.
  Error(std::string message, std::string identifier)
      : message_(std::move(message)), identifier_(std::move(identifier)) {}
  ~Error() override;
  const char *what() const noexcept override { return message_.c_str(); }
  const std::string &message() const noexcept { return message_; }
  const std::string &identifier() const noexcept { return identifier_; }

 private:
  std::string message_;
  std::string identifier_;
};

}  // namespace mexrt
