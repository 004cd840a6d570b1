// Time and peak memory of the heaviest work on a large academy, each run as a
// child process so its peak resident size (getrusage) is its own:
//
//   1. UPDATE Recebimentos SET recebMulta = 1 WHERE recebMulta = 0 (jetsql -c);
//   2. exporta-kor --prepare-only: the backup copy and the start-up's repairs;
//   3. jetsql FILE check on the result.
//
//   bench_memory ACADEMY WORKDIR [--bin DIR] [--keep]
//
// ACADEMY is a desktop database from gera-academia (password "lumpa"); it is
// copied to WORKDIR/bench_memory/dados.mdb and never changed. The tools are
// the ones built with this benchmark, or those in DIR (jetsql and
// exporta-kor), to compare builds. The folder is removed at the end unless
// --keep. Prints its figures; never fails a test run.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Figures {
  double seconds = 0;
  double cpuSeconds = 0;  // user and system: what the machine's other load changes least
  long peakKb = 0;
  int status = -1;
};

// Runs `args` with its output appended to `log`, and measures it.
Figures measure(const std::vector<std::string>& args, const std::string& log) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) return {};
  if (pid == 0) {
    const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  Figures f;
  f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  f.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  f.peakKb = usage.ru_maxrss;
  f.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "uso: bench_memory ACADEMIA PASTA [--bin PASTA] [--keep]\n");
    return 2;
  }
  const fs::path academy = argv[1];
  const fs::path folder = fs::path(argv[2]) / "bench_memory";
  std::string jetsql = JETSQL_PATH, exporta = EXPORTA_KOR_PATH;
  bool keep = false;
  for (int i = 3; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--bin" && i + 1 < argc) {
      const fs::path dir = argv[++i];
      jetsql = (dir / "jetsql").string();
      exporta = (dir / "exporta-kor").string();
    } else if (a == "--keep") {
      keep = true;
    }
  }
  std::error_code ec;
  fs::remove_all(folder, ec);
  fs::create_directories(folder, ec);
  const std::string db = (folder / "dados.mdb").string();
  const std::string log = (folder / "bench_memory.log").string();
  if (!fs::copy_file(academy, db, ec)) {
    std::fprintf(stderr, "não foi possível copiar %s: %s\n", academy.c_str(), ec.message().c_str());
    return 1;
  }
  std::printf("academy %s, %.0f MB\n", academy.c_str(), static_cast<double>(fs::file_size(db)) / 1e6);
  struct Work {
    const char* name;
    std::vector<std::string> args;
  };
  const std::vector<Work> works = {
      {"UPDATE Recebimentos SET recebMulta = 1 WHERE recebMulta = 0",
       {jetsql, db, "--password", "lumpa", "-c", "UPDATE Recebimentos SET recebMulta = 1 WHERE recebMulta = 0"}},
      {"exporta-kor --prepare-only", {exporta, "--folder", folder.string(), "--prepare-only"}},
      {"jetsql FILE check", {jetsql, db, "--password", "lumpa", "check"}},
  };
  std::printf("%-62s %9s %9s %11s %6s\n", "work", "time (s)", "cpu (s)", "peak (MB)", "exit");
  for (const Work& w : works) {
    const Figures f = measure(w.args, log);
    std::printf("%-62s %9.1f %9.1f %11.1f %6d\n", w.name, f.seconds, f.cpuSeconds,
                static_cast<double>(f.peakKb) / 1024, f.status);
    std::fflush(stdout);
  }
  if (!keep) fs::remove_all(folder, ec);
  else std::printf("kept: %s\n", folder.c_str());
  return 0;
}
