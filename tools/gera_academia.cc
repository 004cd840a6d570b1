// gera-academia: writes a sample academy desktop database.
//
//   gera-academia OUTPUT.mdb [--students N] [--seed S] [--dirty] [--ready] [--password PW]
//
// Refuses to overwrite an existing file. Prints the rows written per table
// and, as its last line, "email: ADDRESS", the account e-mail of the data.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "tools/academia.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "uso: gera-academia ARQUIVO.mdb [--students N] [--seed S] [--dirty] [--ready] [--password SENHA]\n");
  return 2;
}

bool numero(const std::string& s, long long& out) {
  if (s.empty()) return false;
  char* end = nullptr;
  out = std::strtoll(s.c_str(), &end, 10);
  return *end == '\0' && out >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  kor::amostra::OpcoesAcademia o;
  std::string saida;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    long long n;
    if (a == "--students" || a == "--seed" || a == "--password") {
      if (i + 1 >= args.size()) return usage();
      const std::string& v = args[++i];
      if (a == "--password") o.senha = v;
      else if (!numero(v, n)) return usage();
      else if (a == "--students") o.alunos = n;
      else o.semente = static_cast<uint64_t>(n);
    } else if (a == "--dirty") {
      o.suja = true;
    } else if (a == "--ready") {
      o.pronta = true;
    } else if (!a.empty() && a[0] != '-' && saida.empty()) {
      saida = a;
    } else {
      return usage();
    }
  }
  if (saida.empty()) return usage();
  bool terminal = isatty(STDERR_FILENO);
  if (o.alunos >= 5000) {
    o.progresso = [terminal](int64_t feitos, int64_t total) {
      std::fprintf(stderr, terminal ? "\r  alunos: %lld de %lld" : "  alunos: %lld de %lld\n",
                   static_cast<long long>(feitos), static_cast<long long>(total));
      if (terminal && feitos == total) std::fputc('\n', stderr);
      std::fflush(stderr);
    };
  }
  auto inicio = std::chrono::steady_clock::now();
  try {
    kor::amostra::ResumoAcademia r = kor::amostra::geraAcademia(saida, o);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count();
    std::printf("%s: %lld alunos, semente %llu%s%s, %.1f s\n", saida.c_str(), static_cast<long long>(o.alunos),
                static_cast<unsigned long long>(o.semente), o.suja ? ", com defeitos" : "",
                o.pronta ? ", catálogo pronto" : "", s);
    for (const auto& [tabela, n] : r.linhas) std::printf("  %-28s %10lld\n", tabela.c_str(), static_cast<long long>(n));
    std::printf("email: %s\n", r.emailConta.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gera-academia: %s\n", e.what());
    return 1;
  }
  return 0;
}
