// Streaming benchmark: time and peak memory of reading the receivables of a
// large academy, each statement in a process of its own so that its peak
// resident memory (getrusage of the child) is its own.
//
//   bench_stream FILE [--password PW] [--jetsql PATH]
//
// For each statement it runs `jetsql FILE --tsv -c SQL` (output discarded),
// and the same walk through the system's query object (TConsulta: Open,
// RecordCount, every field of every row read as text), then `jetsql FILE
// dump Recebimentos` for comparison. Prints rows, seconds and peak MB.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "db/conexao.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
  bool ok = false;
  double seconds = 0;
  double peakMb = 0;
};

// Runs `child` in a forked process; its exit status 0 means success.
template <class F>
Figures inChild(F child) {
  std::fflush(stdout);
  auto t0 = Clock::now();
  pid_t pid = fork();
  if (pid == 0) _exit(child());
  int status = 0;
  rusage ru{};
  wait4(pid, &status, 0, &ru);
  Figures f;
  f.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  f.peakMb = static_cast<double>(ru.ru_maxrss) / 1024.0;
  f.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return f;
}

int runJetsql(const std::string& jetsql, const std::vector<std::string>& args) {
  if (!std::freopen("/dev/null", "w", stdout)) return 126;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(jetsql.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(jetsql.c_str(), argv.data());
  return 127;
}

// Open, RecordCount, and every field of every row as text; writes the row
// count to `countFd`.
int walkQuery(const std::string& file, const std::string& password, const std::string& sql, int countFd) {
  try {
    kor::TConexao conexao;
    conexao.ConnectionString = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file +
                               ";Jet OLEDB:Database Password=\"" + password + "\"";
    conexao.Open();
    kor::TConsulta q(conexao);
    q.ParamCheck = false;
    q.SetText(sql);
    q.Open();
    long count = q.RecordCount();
    size_t bytes = 0;
    long walked = 0;
    for (q.First(); !q.Eof(); q.Next()) {
      ++walked;
      for (size_t i = 0; i < q.FieldCount(); ++i) bytes += q.Fields(i).AsString().size();
    }
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "%ld %ld\n", count, walked);
    if (write(countFd, buf, static_cast<size_t>(n)) != n) return 1;
    return bytes > 0 || walked == 0 ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_stream: %s\n", e.what());
    return 1;
  }
}

void print(const char* what, const Figures& f, const std::string& rows) {
  if (!f.ok) {
    std::printf("  %-9s failed\n", what);
    return;
  }
  std::printf("  %-9s %8.2f s  %7.1f MB peak  %s\n", what, f.seconds, f.peakMb, rows.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "uso: bench_stream ARQUIVO [--password SENHA] [--jetsql CAMINHO]\n");
    return 2;
  }
  std::string file = argv[1];
  std::string password = "lumpa";
  std::string jetsql =
      (std::filesystem::path(argv[0]).parent_path() / ".." / "jet" / "tools" / "jetsql").lexically_normal().string();
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--password") password = argv[i + 1];
    if (a == "--jetsql") jetsql = argv[i + 1];
  }
  const char* statements[] = {
      "SELECT * FROM Recebimentos",
      "SELECT * FROM Recebimentos WHERE recebID > 0",
      "SELECT * FROM Recebimentos ORDER BY recebID",
      "SELECT * FROM Recebimentos ORDER BY recebDtVencimento DESC",
  };
  std::printf("file %s\n", file.c_str());
  for (const char* sql : statements) {
    std::printf("%s\n", sql);
    print("jetsql", inChild([&] { return runJetsql(jetsql, {file, "--password", password, "--tsv", "-c", sql}); }), "");
    int fds[2];
    if (pipe(fds) != 0) return 1;
    Figures f = inChild([&] {
      close(fds[0]);
      return walkQuery(file, password, sql, fds[1]);
    });
    close(fds[1]);
    char buf[64] = {};
    ssize_t n = read(fds[0], buf, sizeof buf - 1);
    close(fds[0]);
    long count = 0, walked = 0;
    if (n > 0) std::sscanf(buf, "%ld %ld", &count, &walked);
    print("TConsulta", f, "RecordCount " + std::to_string(count) + ", rows walked " + std::to_string(walked));
  }
  std::printf("jetsql dump Recebimentos\n");
  print("jetsql", inChild([&] { return runJetsql(jetsql, {file, "--password", password, "dump", "Recebimentos"}); }),
        "");
  return 0;
}
