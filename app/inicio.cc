#include "app/inicio.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "common/texto.h"
#include "db/bd.h"

namespace kor {

namespace fs = std::filesystem;

namespace {

// Flushes a file or folder to the disk; false when that fails.
bool sincroniza(const fs::path& caminho, int modo) {
  int fd = ::open(caminho.c_str(), modo | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

}  // namespace

std::string CaminhoBanco(const std::string& instalacao) { return (fs::path(instalacao) / "dados.mdb").string(); }

std::string CaminhoBackup(const std::string& instalacao) {
  return (fs::path(instalacao) / "Backup" / "dadosMigracaoOnline.mdb").string();
}

std::string StringConexao(const std::string& instalacao) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + CaminhoBanco(instalacao) +
         ";Jet OLEDB:Database Password= \"lumpa\"";
}

bool FazBackup(const std::string& instalacao, Mensagens& mensagens) {
  const fs::path banco = CaminhoBanco(instalacao);
  const fs::path backup = CaminhoBackup(instalacao);
  std::error_code ec;
  // The first backup ever made is kept. Only a file passes for it: anything
  // else under its name (a folder) leaves the copy to fail below.
  if (fs::is_regular_file(backup, ec)) return true;
  if (!fs::exists(banco, ec)) return true;
  const fs::path temporario = backup.string() + ".tmp";
  fs::create_directories(backup.parent_path(), ec);
  bool ok = !ec;
  if (ok) {
    fs::remove(temporario, ec);
    ok = fs::copy_file(banco, temporario, fs::copy_options::overwrite_existing, ec) && !ec;
  }
  // The copy reaches the disk before it takes the backup's name, and the
  // name before the database is touched: a crash never leaves a backup name
  // on a partial copy.
  if (ok) ok = sincroniza(temporario, O_RDONLY);
  if (ok) {
    fs::rename(temporario, backup, ec);
    ok = !ec && sincroniza(backup.parent_path(), O_RDONLY | O_DIRECTORY);
  }
  if (!ok) {
    fs::remove(temporario, ec);
    mensagens.msg_atencao(Utf8ParaWin1252("Não foi possível criar a cópia de segurança do banco de dados em " +
                                          backup.string() +
                                          ".\r\rO programa será encerrado sem alterar o banco de dados."));
  }
  return ok;
}

bool ConectaBanco(const std::string& instalacao, Mensagens& mensagens) {
  TConexao& conexao = BD().Conexao;
  conexao.Close();
  conexao.ConnectionString = StringConexao(instalacao);
  try {
    conexao.Open();
    return true;
  } catch (const ErroBanco&) {
    mensagens.msg_atencao("Falha ao conectar ao banco de dados!\r\rVerifique o caminho " + CaminhoBanco(instalacao));
    return false;
  }
}

bool PreparaInicio(const std::string& instalacao, Mensagens& mensagens, const ObservadorPreparacao& observador) {
  if (!FazBackup(instalacao, mensagens)) return false;
  if (!ConectaBanco(instalacao, mensagens)) return false;
  AtualizaBanco(observador);
  ConverteModalidades(observador);
  return true;
}

}  // namespace kor
