// The project's side of bench/compare_numpy.py: a process that loads the script's input
// arrays, runs the named work items on request and reports their times, so that both sides
// run alternately on the same data in one run. Commands, one a line on standard input:
//   load NAME ROWS COLS FILE   a ROWS x COLS double array from raw column-major doubles
//   time ITEM CALLS            runs ITEM CALLS times back to back; replies "ok SECONDS" per call
//   save ITEM FILE             runs ITEM once and writes its result as raw column-major doubles
//   quit
// Every reply is one line ("ok ..." or "error MESSAGE"). What the modules print goes to
// /dev/null: the replies have a descriptor of their own.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "../module_bench.h"
#include "mexrt/error.h"
#include "mexrt/mathlib.h"
#include "zeta.h"

namespace {

using Owned = std::unique_ptr<mxArray, decltype(&mxDestroyArray)>;
Owned owned(mxArray *a) { return {a, &mxDestroyArray}; }

struct Item {
  std::function<mxArray *()> run;
  bool readData = true;  // whether the timing includes the caller's first read of the data
};

class Worker {
 public:
  Worker() : chan2qf_("chan2qf"), quefwind_("quefwind"), bandsetup_("bandsetup") {
    zetaInitialize();
    scalar("numceps12", 12);
    scalar("L22", 22);
    scalar("L0", 0);
    scalar("framelen", 65536);
    scalar("numchans", 128);
    scalar("fsamp", 48000);
    scalar("x1", 31.6);
    scalar("n512", 512);
    // Each work item is one call as a user makes it; its result is freed inside the timing.
    items_["chan2qf"] = {[this] { return chan2qf_.call(in("logfbout"), in("numceps12")); }};
    items_["quefwind"] = {[this] { return quefwind_.call(in("cepstra"), in("L22")); }};
    // The pass-through result shares the input's data; taking a writable pointer would copy.
    items_["quefwind_pass"] = {[this] { return quefwind_.call(in("cepstra"), in("L0")); }, false};
    items_["quefwind_pass_small"] = {
        [this] { return quefwind_.call(in("cepstra_small"), in("L0")); }, false};
    items_["db"] = {[this] { return keep(mlfDb(in("magnitudes"))); }};
    items_["db_scalar"] = {[this] { return keep(mlfDb(in("x1"))); }};
    // The spectra of frames (columns), zero-padded to 512 points; the real parts are saved.
    items_["fft512"] = {[this] { return keep(mlfFft(in("frames"), in("n512"), nullptr)); }};
    items_["fft512_one"] = {[this] { return keep(mlfFft(in("frame"), in("n512"), nullptr)); }};
    items_["bandsetup"] = {
        [this] { return bandsetup_.call(in("framelen"), in("numchans"), in("fsamp")); }};
  }
  ~Worker() {
    inputs_.clear();
    zetaTerminate();
  }
  Worker(const Worker &) = delete;
  Worker &operator=(const Worker &) = delete;

  std::string handle(const std::string &line) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command == "load") {
      std::string name, file;
      std::size_t rows = 0, cols = 0;
      words >> name >> rows >> cols >> file;
      return load(name, rows, cols, file);
    }
    std::string item;
    words >> item;
    auto found = items_.find(item);
    if (found == items_.end()) return "error no work item " + item;
    if (command == "time") {
      long calls = 1;
      words >> calls;
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%.6e", secondsPerCall(found->second, calls));
      return std::string("ok ") + seconds;
    }
    if (command == "save") {
      std::string file;
      words >> file;
      return save(found->second, file);
    }
    return "error unknown command " + command;
  }

 private:
  void scalar(const std::string &name, double v) {
    inputs_.insert_or_assign(name, owned(mxCreateDoubleScalar(v)));
  }
  mxArray *in(const std::string &name) {
    auto it = inputs_.find(name);
    if (it == inputs_.end()) throw mexrt::Error("no input " + name);
    return it->second.get();
  }
  // A direct entry's temporary, kept as the caller's own array.
  static mxArray *keep(mxArray *temporary) {
    mxArray *kept = nullptr;
    mlfAssign(&kept, temporary);
    return kept;
  }

  std::string load(const std::string &name, std::size_t rows, std::size_t cols,
                   const std::string &file) {
    Owned a = owned(mxCreateDoubleMatrix(rows, cols, mxREAL));
    std::ifstream f(file, std::ios::binary);
    const auto bytes = static_cast<std::streamsize>(rows * cols * sizeof(double));
    if (!f.read(reinterpret_cast<char *>(mxGetPr(a.get())), bytes))
      return "error cannot read " + file;
    inputs_.insert_or_assign(name, std::move(a));
    return "ok";
  }

  static double secondsPerCall(const Item &item, long calls) {
    volatile double sink = 0;
    const auto start = std::chrono::steady_clock::now();
    for (long k = 0; k < calls; ++k) {
      mxArray *r = item.run();
      if (item.readData) {
        const double *p = mxGetPr(r);  // the caller's first read of the data
        if (p) sink = sink + p[0];
      }
      mxDestroyArray(r);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / static_cast<double>(calls);
  }

  static std::string save(const Item &item, const std::string &file) {
    Owned r = owned(item.run());
    std::ofstream f(file, std::ios::binary);
    const auto bytes =
        static_cast<std::streamsize>(mxGetNumberOfElements(r.get()) * sizeof(double));
    f.write(reinterpret_cast<const char *>(mxGetPr(r.get())), bytes);
    return f ? "ok " + std::to_string(mxGetM(r.get())) + " " + std::to_string(mxGetN(r.get()))
             : "error cannot write " + file;
  }

  BenchModule chan2qf_, quefwind_, bandsetup_;
  std::map<std::string, Owned> inputs_;
  std::map<std::string, Item> items_;
};

}  // namespace

int main() try {
  // Replies on a descriptor of their own; standard output (the modules' prints) to /dev/null.
  const int replies = dup(STDOUT_FILENO);
  const int null = open("/dev/null", O_WRONLY);
  dup2(null, STDOUT_FILENO);
  close(null);
  FILE *out = fdopen(replies, "w");
  Worker worker;
  std::string line;
  while (std::getline(std::cin, line) && line != "quit") {
    std::string reply;
    try {
      reply = worker.handle(line);
    } catch (const std::exception &e) {
      reply = std::string("error ") + e.what();
    }
    std::fprintf(out, "%s\n", reply.c_str());
    std::fflush(out);
  }
  return 0;
} catch (const std::exception &e) {
  std::fprintf(stderr, "bench_compare_worker: %s\n", e.what());
  return 1;
}
