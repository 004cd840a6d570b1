// Scan benchmark: opens a database, reads every row of every user table, and
// does the same with mdb-export (mdbtools) in the same run, for comparison.
//
//   bench_scan FILE [--password PW] [--repeat N]
//
// Prints the open time, rows per second for both readers and their ratio.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
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

// Runs mdb-export on one table, discarding its output; returns false if it failed.
bool mdbExport(const std::string& file, const std::string& table) {
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    FILE* null = std::freopen("/dev/null", "w", stdout);
    (void)null;
    execlp("mdb-export", "mdb-export", file.c_str(), table.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
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
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--password") options.password = argv[i + 1];
    if (a == "--repeat") repeat = std::max(1, std::atoi(argv[i + 1]));
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

    double bestExport = 1e9;
    bool ok = true;
    for (int r = 0; r < repeat && ok; ++r) {
      auto t0 = Clock::now();
      for (const auto& t : tables) ok = ok && mdbExport(file, t);
      bestExport = std::min(bestExport, seconds(t0, Clock::now()));
    }
    if (!ok) {
      std::printf("mdb-export     unavailable or failed\n");
      return 0;
    }
    std::printf("mdb-export     %.3f s   %.0f rows/s\n", bestExport, rows / bestExport);
    std::printf("ratio          %.1fx\n", bestExport / bestScan);
  } catch (const jet::Error& e) {
    std::cerr << "bench_scan: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
