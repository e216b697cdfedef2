// Running statements in a fresh shell workspace for tests: what they print, or the error that
// stopped them, and a fixture that checks no array outlives a test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "array_test_support.h"
#include "mexrt/testing.h"
#include "shell/eval.h"
#include "shell/parser.h"
#include "zeta.h"

namespace {

struct Case {
  const char *statements;
  const char *expected;  // standard output
};

// What the shell reaches by default in tests: db, served from libzeta.
shell::Hooks zetaHooks() {
  shell::Hooks hooks;
  hooks.findFunction = [](std::string_view name) -> MexGatewayFn {
    return name == "db" ? mlxDb : nullptr;
  };
  return hooks;
}

// Runs the statements in a fresh workspace with the hooks given (db served from libzeta by
// default); the output, or "error: MESSAGE" after what was printed.
std::string run(const std::string &statements, shell::Hooks hooks = zetaHooks()) {
  shell::Evaluator ev(std::move(hooks));
  testing::internal::CaptureStdout();
  std::string error;
  try {
    ev.run(shell::parse(statements));
  } catch (const std::exception &e) {
    error = std::string("error: ") + e.what();
  }
  return testing::internal::GetCapturedStdout() + error;
}

class Shell : public mexrt::test::ModuleTest<zetaInitialize, zetaTerminate> {
 protected:
  void expectAll(const std::vector<Case> &cases) {
    for (const auto &c : cases) EXPECT_EQ(run(c.statements), c.expected) << c.statements;
  }
};

}  // namespace
