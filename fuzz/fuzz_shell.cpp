// Text given to the shell: lexer, parser and evaluator. Every input ends in a result or an
// error and leaks no array. Inputs that could run for long or ask for much memory are skipped
// before they run, so that a loop or a huge array written in the input is not a finding:
// no while, at most one for, and no number of more than four digits or with an exponent.
// Sizes computed from text (a char's code is up to 65535) can still be large, so an array of
// more than 16 MiB is the out-of-memory error here.
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "mexrt/graphics.h"
#include "mexrt/testing.h"
#include "shell/eval.h"
#include "shell/parser.h"
#include "zeta.h"

namespace {

bool bounded(std::string_view text) {
  if (text.find("while") != std::string_view::npos) return false;
  std::size_t loops = 0;
  for (std::size_t p = text.find("for"); p != std::string_view::npos; p = text.find("for", p + 1))
    ++loops;
  if (loops > 1) return false;
  // Functions that read or write files or figures, or wait, are out of scope here.
  for (std::string_view word : {"load", "save", "print", "saveas", "pause", "input", "keyboard",
                                "figure", "plot", "image", "imagesc", "subplot", "audioread"}) {
    if (text.find(word) != std::string_view::npos) return false;
  }
  std::size_t digits = 0;
  for (std::size_t k = 0; k < text.size(); ++k) {
    char c = text[k];
    if (std::isdigit(static_cast<unsigned char>(c))) {
      if (++digits > 4) return false;
    } else {
      if ((c == 'e' || c == 'E') && digits > 0) return false;
      digits = 0;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // Displayed results go nowhere; the fuzzer's own report goes to standard error.
  if (!std::freopen("/dev/null", "w", stdout)) return 1;
  zetaInitialize();
  mexrtLimitAllocation(std::size_t{16} << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 4096) return -1;
  std::string_view text(reinterpret_cast<const char *>(data), size);
  if (!bounded(text)) return -1;
  std::size_t live = mexrtLiveArrayCount();
  {
    shell::Hooks hooks;
    hooks.findFunction = [](std::string_view name) -> MexGatewayFn {
      return name == "db" ? mlxDb : nullptr;
    };
    shell::Evaluator ev(hooks);
    try {
      ev.run(shell::parse(text));
    } catch (const std::exception &) {
    }
  }
  std::fflush(stdout);
  // Figures and axes that the input made (hold, gca, set ...) hold their property values
  // until they are closed; they are closed here, so what is left alive is a leak.
  mexrt::graphics::clearAll();
  if (mexrtLiveArrayCount() != live) std::abort();  // an array leaked
  return 0;
}
