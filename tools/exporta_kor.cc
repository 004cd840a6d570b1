// exporta-kor: the migration without windows.
//
//   exporta-kor --folder DIR --email ADDRESS [--open-accounts yes|no]
//   exporta-kor --folder DIR --prepare-only
//
// Runs the start-up on DIR/dados.mdb: the one-time backup, the connection,
// the repair and schema statements (printing how many rows each changed) and
// the legacy modality conversion. Then, unless --prepare-only, it checks the
// account e-mail as the wizard's e-mail step does and runs the export with
// the package written into DIR: every message a window would show is
// printed, a line per table tells its rows and time, and the last lines name
// the package and the rows of each file. The question about overdue accounts
// is answered from --open-accounts (default no: the run stops there, as the
// user's "Não" would). Every line is flushed as it is printed. The exit
// status is non-zero when the start-up ends the program, the address is
// refused, or the export stops or fails.
#include <cstdio>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "app/inicio.h"
#include "common/globais.h"
#include "common/mensagens.h"
#include "common/texto.h"
#include "db/conexao.h"
#include "export/conta.h"
#include "export/exportacao.h"

namespace {

std::string paraTerminal(const std::string& win1252) {
  std::string t = kor::Win1252ParaUtf8(win1252);
  for (auto& c : t) {
    if (c == '\r') c = '\n';
  }
  return t;
}

// Prints what the dialogs would show (texts are Windows-1252) and answers
// questions with the answer it was given.
class MensagensConsole : public kor::Mensagens {
 public:
  explicit MensagensConsole(int resposta) : resposta_(resposta) {}
  int msg_info(const std::string& t) override { return show("INFORMAÇÃO", t, kor::kRespostaOk); }
  int msg_sn(const std::string& t) override {
    return show(resposta_ == kor::kRespostaSim ? "PERGUNTA (respondida Sim)" : "PERGUNTA (respondida Não)", t,
                resposta_);
  }
  int msg_atencao(const std::string& t) override { return show("ATENÇÃO", t, kor::kRespostaOk); }
  bool msg_procura(std::string&) override { return false; }

 private:
  int show(const char* kind, const std::string& text, int answer) {
    std::cout << "[" << kind << "] " << paraTerminal(text) << std::endl;
    return answer;
  }
  int resposta_;
};

// The export window as printed lines.
class PortaConsole : public kor::PortaExportacao {
 public:
  explicit PortaConsole(int resposta) : mensagens_(resposta) {}
  kor::Mensagens& mensagens() override { return mensagens_; }
  void progressoMaximo(int) override {}
  void progresso(int) override {}
  void repinta() override {}
  void mostraResultado(const kor::ResultadoExportacao& r) override {
    std::cout << "[RESULTADO] " << paraTerminal(r.mensagem) << std::endl;
    if (r.segundoPainel)
      std::cout << "[RESULTADO] O arquivo para migração foi salvo com o nome " << paraTerminal(r.arquivo) << std::endl;
  }
  void abrePasta(const std::string& caminho) override { std::cout << "[PASTA] " << caminho << std::endl; }
  void tabelaExportada(const std::string& tabela, int64_t linhas, double segundos) override {
    if (linhas < 0) {
      std::printf("  %-28s %10s  %7.2f s  (a base não tem a tabela)\n", tabela.c_str(), "-", segundos);
    } else {
      std::printf("  %-28s %10lld  %7.2f s\n", tabela.c_str(), static_cast<long long>(linhas), segundos);
      arquivos_.emplace_back(tabela + ".txt", linhas);
    }
  }
  void etapaConcluida(const std::string& etapa, double segundos) override {
    std::printf("== %s: %.2f s\n", etapa.c_str(), segundos);
  }
  const std::vector<std::pair<std::string, int64_t>>& arquivos() const { return arquivos_; }

 private:
  MensagensConsole mensagens_;
  std::vector<std::pair<std::string, int64_t>> arquivos_;
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
  std::cerr << "uso: exporta-kor --folder PASTA --email ENDEREÇO [--open-accounts yes|no]\n"
               "     exporta-kor --folder PASTA --prepare-only\n";
  return 2;
}

// The start-up, printed: false when it ends the program.
bool prepara(const std::string& folder, kor::Mensagens& mensagens) {
  std::cout << "== Cópia de segurança: " << kor::CaminhoBackup(folder) << std::endl;
  if (!kor::FazBackup(folder, mensagens)) return false;
  std::cout << "== Conexão: " << kor::CaminhoBanco(folder) << std::endl;
  if (!kor::ConectaBanco(folder, mensagens)) return false;
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
    return false;
  }
  std::cout << "== Preparação concluída" << std::endl;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // One line at a time, also into a pipe or a file.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string folder, email, contas;
  bool prepareOnly = false, temEmail = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if ((a == "--folder" || a == "--email" || a == "--open-accounts") && i + 1 < args.size()) {
      std::string& destino = a == "--folder" ? folder : a == "--email" ? email : contas;
      if (!destino.empty() || (a == "--email" && temEmail)) return usage();  // given twice
      destino = args[++i];
      if (a == "--email") temEmail = true;
    } else if (a == "--prepare-only" && !prepareOnly) {
      prepareOnly = true;
    } else {
      return usage();
    }
  }
  if (folder.empty()) return usage();
  if (prepareOnly ? (temEmail || !contas.empty()) : !temEmail) return usage();
  if (!contas.empty() && contas != "yes" && contas != "no") return usage();
  const int resposta = contas == "yes" ? kor::kRespostaSim : kor::kRespostaNao;

  PortaConsole porta(resposta);
  if (!prepara(folder, porta.mensagens())) return 1;
  if (prepareOnly) return 0;

  std::cout << "== E-mail da conta: " << email << std::endl;
  if (!kor::AceitaEmailConta(kor::Utf8ParaWin1252(email))) {
    porta.mensagens().msg_atencao(kor::kMsgEmailConta);
    return 1;
  }
  std::cout << "== Exportação" << std::endl;
  if (!kor::btExportarClick(porta, folder) || kor::vExportou != 1) {
    std::cout << "== Exportação interrompida" << std::endl;
    return 1;
  }
  std::cout << "== Pacote: " << kor::vPastaExportacao << ".kor" << std::endl;
  for (const auto& [arquivo, linhas] : porta.arquivos())
    std::printf("  %-32s %10lld linhas\n", arquivo.c_str(), static_cast<long long>(linhas));
  return 0;
}
