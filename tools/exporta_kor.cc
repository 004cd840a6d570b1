// exporta-kor: the migration without windows.
//
//   exporta-kor --folder DIR --prepare-only
//
// Runs the start-up on DIR/dados.mdb: the one-time backup, the connection,
// the repair and schema statements (printing how many rows each changed) and
// the legacy modality conversion. A message a window would show is printed
// instead. The exit status is non-zero when the start-up ends the program.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "app/inicio.h"
#include "common/mensagens.h"
#include "common/texto.h"
#include "db/conexao.h"

namespace {

// Prints what the dialogs would show (texts are Windows-1252) and answers
// questions with "Sim".
class MensagensConsole : public kor::Mensagens {
 public:
  int msg_info(const std::string& t) override { return show("INFORMAÇÃO", t, kor::kRespostaOk); }
  int msg_sn(const std::string& t) override { return show("PERGUNTA (respondida Sim)", t, kor::kRespostaSim); }
  int msg_atencao(const std::string& t) override { return show("ATENÇÃO", t, kor::kRespostaOk); }
  bool msg_procura(std::string&) override { return false; }

 private:
  int show(const char* kind, const std::string& text, int answer) {
    std::string t = kor::Win1252ParaUtf8(text);
    for (auto& c : t) {
      if (c == '\r') c = '\n';
    }
    std::cout << "[" << kind << "] " << t << std::endl;
    return answer;
  }
};

std::string oneLine(const std::string& sql) {
  std::string s = kor::Win1252ParaUtf8(sql);
  if (s.size() > 110) {
    size_t cut = 107;
    while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
    s = s.substr(0, cut) + "...";
  }
  return s;
}

int usage() {
  std::cerr << "uso: exporta-kor --folder PASTA --prepare-only\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string folder;
  bool prepareOnly = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--folder" && i + 1 < args.size()) folder = args[++i];
    else if (args[i] == "--prepare-only") prepareOnly = true;
    else return usage();
  }
  if (folder.empty() || !prepareOnly) return usage();

  MensagensConsole mensagens;
  std::cout << "== Cópia de segurança: " << kor::CaminhoBackup(folder) << std::endl;
  if (!kor::FazBackup(folder, mensagens)) return 1;
  std::cout << "== Conexão: " << kor::CaminhoBanco(folder) << std::endl;
  if (!kor::ConectaBanco(folder, mensagens)) return 1;
  auto observer = [](const std::string& sql, const std::string& status, int64_t rows) {
    if (status == "OK") std::printf("  %8lld  %s\n", static_cast<long long>(rows), oneLine(sql).c_str());
    else std::printf("  %8s  %s\n           -> %s\n", "falhou", oneLine(sql).c_str(), kor::Win1252ParaUtf8(status).c_str());
  };
  std::cout << "== Reparos e estrutura" << std::endl;
  kor::AtualizaBanco(observer);
  std::cout << "== Conversão de modalidades antigas" << std::endl;
  try {
    kor::ConverteModalidades(observer);
  } catch (const kor::ErroBanco& e) {
    std::cout << "[ERRO] " << kor::Win1252ParaUtf8(e.what()) << std::endl;
    return 1;
  }
  std::cout << "== Preparação concluída" << std::endl;
  return 0;
}
