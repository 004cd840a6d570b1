// Scan benchmark: opens a database, reads every row of every user table, and
// does the same with mdb-export (mdbtools) and with `jetsql dump` (its text
// output discarded) in the same run, for comparison.
//
//   bench_scan FILE [--password PW] [--repeat N] [--jetsql PATH]
//
// Prints the open time, rows per second for each reader and the ratios to
// mdb-export. jetsql is looked for beside the benchmark's build folder.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "jet/storage/database.h"
#include "jet/storage/error.h"
#include "jet/storage/text_form.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// Runs a program (looked up in PATH), discarding its output; returns false
// if it failed. Adds the processor time it used (user and system) to `cpu`.
bool runQuiet(const std::vector<std::string>& args, double& cpu) {
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    FILE* null = std::freopen("/dev/null", "w", stdout);
    (void)null;
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage ru{};
  wait4(pid, &status, 0, &ru);
  cpu += static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "uso: bench_scan ARQUIVO [--password SENHA] [--repeat N]\n";
    return 2;
  }
  std::string file = argv[1];
  jet::OpenOptions options;
  int repeat = 3;
  std::string jetsql =
      (std::filesystem::path(argv[0]).parent_path() / ".." / "jet" / "tools" / "jetsql").lexically_normal().string();
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--password") options.password = argv[i + 1];
    if (a == "--repeat") repeat = std::max(1, std::atoi(argv[i + 1]));
    if (a == "--jetsql") jetsql = argv[i + 1];
  }
  try {
    double bestOpen = 1e9, bestScan = 1e9;
    uint64_t rows = 0, bytes = 0;
    std::vector<std::string> tables;
    for (int r = 0; r < repeat; ++r) {
      auto t0 = Clock::now();
      auto db = jet::Database::open(file, options);
      auto t1 = Clock::now();
      bestOpen = std::min(bestOpen, seconds(t0, t1));
      tables = db->tableNames();
      rows = bytes = 0;
      // Each value is turned into its canonical text, as a dump would, so the
      // comparison with mdb-export (which formats every value) is fair.
      for (const auto& t : tables) {
        auto scan = db->scan(t);
        while (scan.next()) {
          ++rows;
          for (const auto& v : scan.values()) bytes += jet::canonicalText(v).size();
        }
      }
      bestScan = std::min(bestScan, seconds(t1, Clock::now()));
    }
    std::printf("file           %s\n", file.c_str());
    std::printf("tables         %zu\n", tables.size());
    std::printf("rows           %llu\n", static_cast<unsigned long long>(rows));
    std::printf("open           %.3f ms\n", bestOpen * 1e3);
    std::printf("jet scan       %.3f s   %.0f rows/s\n", bestScan, rows / bestScan);

    // The two programs, one process per table each, timed on the clock and
    // by the processor time they used (which a loaded machine disturbs less).
    double bestExport = 1e9, exportCpu = 1e9;
    bool ok = true;
    for (int r = 0; r < repeat && ok; ++r) {
      double cpu = 0;
      auto t0 = Clock::now();
      for (const auto& t : tables) ok = ok && runQuiet({"mdb-export", file, t}, cpu);
      bestExport = std::min(bestExport, seconds(t0, Clock::now()));
      exportCpu = std::min(exportCpu, cpu);
    }
    if (!ok) {
      std::printf("mdb-export     unavailable or failed\n");
      return 0;
    }
    std::printf("mdb-export     %.3f s   %.0f rows/s   (cpu %.3f s)\n", bestExport, rows / bestExport, exportCpu);
    std::printf("ratio          %.1fx\n", bestExport / bestScan);

    double bestDump = 1e9, dumpCpu = 1e9;
    for (int r = 0; r < repeat && ok; ++r) {
      double cpu = 0;
      auto t0 = Clock::now();
      for (const auto& t : tables) {
        std::vector<std::string> args = {jetsql, file};
        if (!options.password.empty()) args.insert(args.end(), {"--password", options.password});
        args.insert(args.end(), {"dump", t});
        ok = ok && runQuiet(args, cpu);
      }
      bestDump = std::min(bestDump, seconds(t0, Clock::now()));
      dumpCpu = std::min(dumpCpu, cpu);
    }
    if (!ok) {
      std::printf("jetsql dump    unavailable or failed (%s)\n", jetsql.c_str());
      return 0;
    }
    std::printf("jetsql dump    %.3f s   %.0f rows/s   (cpu %.3f s)\n", bestDump, rows / bestDump, dumpCpu);
    std::printf("dump ratio     %.1fx   (cpu %.1fx)\n", bestExport / bestDump, exportCpu / dumpCpu);
  } catch (const jet::Error& e) {
    std::cerr << "bench_scan: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
