#include "export/exportacao.h"

#include <chrono>
#include <filesystem>
#include <system_error>

#include "common/globais.h"
#include "common/texto.h"
#include "db/bd.h"
#include "db/uglobal.h"
#include "export/arquivamento.h"
#include "export/arquivo.h"
#include "export/emails.h"
#include "export/tabelas.h"
#include "export/trancamentos.h"
#include "export/verificacoes.h"

namespace kor {

namespace fs = std::filesystem;

const std::vector<std::string>& TabelasVerificacaoEmail() {
  static const std::vector<std::string> tabelas = {"Alunos", "Funcionarios"};
  return tabelas;
}

std::string TokenEmpresa(const std::string& nomeFantasia) {
  static const ConjuntoCaracteres letrasEDigitos =
      Conjunto("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789");
  std::string token = Maiusculas(ManterCaracteres(Trim(nomeFantasia), letrasEDigitos));
  if (token.size() > 16) token.resize(16);
  return token;
}

std::string PastaExportacao(const std::string& instalacao, const std::string& token) {
  return (fs::path(instalacao) / ("migracao_" + token + "_sistema")).string();
}

bool LimpaPasta(const std::string& pasta) {
  std::error_code ec;
  fs::directory_iterator it(pasta, ec), fim;
  for (; !ec && it != fim; it.increment(ec)) {
    std::error_code e2;
    // A link is removed itself, never what it points to.
    if (it->is_directory(e2) && !it->is_symlink(e2)) continue;
    if (!fs::remove(it->path(), e2) || e2) return false;
  }
  return !ec;
}

void PreparaPasta() {
  std::error_code ec;
  // Only a real folder is emptied: a link under the folder's name is left
  // alone, and writing the files then fails.
  if (fs::is_directory(fs::symlink_status(vPastaExportacao, ec))) {
    LimpaPasta(vPastaExportacao);
  } else {
    fs::create_directory(vPastaExportacao, ec);
  }
}

namespace {

using Relogio = std::chrono::steady_clock;

double segundosDesde(Relogio::time_point inicio) {
  return std::chrono::duration<double>(Relogio::now() - inicio).count();
}

std::string nomeFantasia() {
  TConsulta qrEmpresa(BD().Conexao);
  qrEmpresa.SetText("Select empresaNomeFantasia from Empresa");
  qrEmpresa.Open();
  std::string nome;
  if (!qrEmpresa.Eof()) nome = qrEmpresa.FieldByName("empresaNomeFantasia").AsString();
  qrEmpresa.Close();
  return nome;
}

// Online_RecibosRecebimentos is filled while the receivables are written and
// dropped after packing: every run starts it empty (and creates it again
// when an earlier run in the same program life dropped it).
void esvaziaRecibosRecebimentos() {
  ExecutaSQL("DROP TABLE Online_RecibosRecebimentos");
  ExecutaSQL("CREATE TABLE Online_RecibosRecebimentos (recebID Number, reciboID Number)");
}

void exporta(PortaExportacao& porta, const std::string& instalacao) {
  Mensagens& mensagens = porta.mensagens();

  vNomeEmpresa = TokenEmpresa(nomeFantasia());
  if (vNomeEmpresa.empty()) {
    mensagens.msg_atencao(Utf8ParaWin1252("É necessário definir a Razão Social nas configurações do sistema."));
    throw AbortoSilencioso();
  }
  vPastaExportacao = PastaExportacao(instalacao, vNomeEmpresa);

  vDuplicados = 0;
  vVerificouFuncionarios = 0;
  vExportou = 0;  // no archive of this run yet, whatever an earlier run left
  PreparaPasta();
  auto inicio = Relogio::now();
  for (const std::string& tabela : TabelasVerificacaoEmail()) {
    if (!VerificaEmails(tabela, mensagens)) ++vDuplicados;
  }
  porta.etapaConcluida("e-mails duplicados", segundosDesde(inicio));
  if (vDuplicados > 0) {
    porta.mostraResultado(ResultadoAtual());
    porta.abrePasta(vPastaExportacao + "/");
    throw AbortoSilencioso();
  }
  vDuplicados = 0;

  inicio = Relogio::now();
  VerificaConsistencia(mensagens);
  PerguntaContasEmAberto(mensagens);
  porta.etapaConcluida("verificações de consistência", segundosDesde(inicio));

  porta.progresso(0);
  porta.progressoMaximo(static_cast<int>(kTabelasExportacao.size()));
  inicio = Relogio::now();
  GravaTrancamentos();
  porta.progresso(1);
  ReabreTrancamentos();
  porta.etapaConcluida("histórico de trancamentos", segundosDesde(inicio));

  PreparaPasta();
  esvaziaRecibosRecebimentos();
  Compactador compactador;  // deflates each file as soon as it is written
  int posicao = 1;
  TConsulta qrLista(BD().Conexao);
  for (const std::string tabela : kTabelasExportacao) {
    inicio = Relogio::now();
    bool existe = false;
    try {
      existe = PreparaTabela(tabela, qrLista);
    } catch (const std::exception& e) {
      // A table the database has must reach the package: one that cannot be
      // read stops the run rather than vanish from a package called complete.
      mensagens.msg_atencao(Utf8ParaWin1252("Atenção! Não foi possível exportar a tabela \"") + tabela + "\": " +
                            e.what());
      throw AbortoSilencioso();
    }
    int64_t linhas = -1;
    if (existe) {
      const std::string arquivo = tabela + ".txt";
      linhas = GeraArquivo(qrLista, vPastaExportacao + "/" + arquivo, tabela, '\t', mensagens);
      compactador.Adiciona(arquivo);
    }
    porta.progresso(++posicao);
    porta.repinta();
    porta.tabelaExportada(tabela, linhas, segundosDesde(inicio));
  }
  qrLista.Close();
  porta.repinta();

  vExportou = 0;
  inicio = Relogio::now();
  std::string erro;
  if (!compactador.Conclui(erro)) {
    // The files stay in the export folder and the result form is not shown:
    // there is no package to report.
    mensagens.msg_atencao(Utf8ParaWin1252("Atenção! Não foi possível gravar o arquivo para migração " +
                                          vPastaExportacao + ".kor: " + erro));
    throw AbortoSilencioso();
  }
  porta.etapaConcluida("compactação", segundosDesde(inicio));
  inicio = Relogio::now();
  LimpaExportacao();
  porta.etapaConcluida("limpeza", segundosDesde(inicio));

  porta.mostraResultado(ResultadoAtual());
  porta.abrePasta((fs::path(instalacao) / "").string());
}

}  // namespace

bool btExportarClick(PortaExportacao& porta, const std::string& instalacao) {
  try {
    exporta(porta, instalacao);
    return true;
  } catch (const AbortoSilencioso&) {
    return false;
  } catch (const std::exception& e) {
    porta.mensagens().msg_atencao(e.what());
    return false;
  }
}

}  // namespace kor
