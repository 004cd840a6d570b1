// Start-up: the one-time backup and its failures, the connection failures,
// the prepared database read back by the structure check and by mdbtools,
// and the headless command exporta-kor --prepare-only.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "apoio.h"
#include "app/inicio.h"
#include "common/mensagens.h"
#include "db/bd.h"
#include "db/uglobal.h"
#include "jet/storage/check.h"

namespace {

using namespace kor;
using kor::teste::fs::path;
using kor::teste::PastaTemporaria;
namespace fs = kor::teste::fs;

std::string leArquivo(const path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string mensagemConexao(const std::string& instalacao) {
  return "Falha ao conectar ao banco de dados!\r\rVerifique o caminho " + CaminhoBanco(instalacao);
}

// An installation folder holding a small dirty academy, written once per
// test program and copied for each test.
class Inicio : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    amostra_ = new PastaTemporaria("inicio_amostra");
    teste::geraAcademia(amostra_->path() / "dados.mdb", 100, /*suja=*/true);
  }
  static void TearDownTestSuite() {
    delete amostra_;
    amostra_ = nullptr;
  }
  void SetUp() override {
    fs::copy_file(amostra_->path() / "dados.mdb", banco());
    original_ = leArquivo(banco());
  }
  void TearDown() override { teste::desconecta(); }

  std::string pasta() const { return pasta_.str(); }
  path banco() const { return CaminhoBanco(pasta()); }
  path backup() const { return CaminhoBackup(pasta()); }
  // Whether the start-up's first change (the catalogue tables) reached the file.
  bool preparado() {
    teste::desconecta();
    auto db = jet::Database::open(banco().string(), {.password = teste::kSenha});
    return db->hasTable("Online_Modalidades");
  }

  static PastaTemporaria* amostra_;
  PastaTemporaria pasta_{"inicio"};
  std::string original_;
  MensagensRoteiro mensagens_;
};
PastaTemporaria* Inicio::amostra_ = nullptr;

TEST_F(Inicio, TheFirstStartMakesTheBackupOfTheUntouchedDatabaseAndLaterStartsKeepIt) {
  ASSERT_FALSE(fs::exists(backup().parent_path()));
  ASSERT_TRUE(PreparaInicio(pasta(), mensagens_));
  EXPECT_TRUE(mensagens_.exibidas().empty());
  ASSERT_TRUE(fs::is_regular_file(backup()));  // the Backup folder was created for it
  EXPECT_TRUE(leArquivo(backup()) == original_) << "the backup is not the database as it was";
  EXPECT_EQ(std::vector<path>(fs::directory_iterator(backup().parent_path()), fs::directory_iterator()),
            std::vector<path>{backup()});  // no temporary copy left beside it
  EXPECT_TRUE(preparado());

  // The database changes; the next start leaves the first backup as it is.
  ASSERT_TRUE(PreparaInicio(pasta(), mensagens_));
  ASSERT_EQ(ExecutaSQL("INSERT INTO Online_Modalidades (Modalidade) VALUES (\"JUDO\")"), "OK");
  teste::desconecta();
  ASSERT_TRUE(PreparaInicio(pasta(), mensagens_));
  EXPECT_TRUE(leArquivo(backup()) == original_);
}

TEST_F(Inicio, AnInterruptedCopyNeverPassesForTheBackup) {
  // What a copy cut short leaves: the temporary file, part of the database.
  fs::create_directories(backup().parent_path());
  const path temporario = backup().string() + ".tmp";
  { std::ofstream(temporario, std::ios::binary) << original_.substr(0, 4096); }
  ASSERT_TRUE(PreparaInicio(pasta(), mensagens_));
  EXPECT_TRUE(leArquivo(backup()) == original_);
  EXPECT_FALSE(fs::exists(temporario));
}

TEST_F(Inicio, WithoutABackupTheProgramEndsBeforeChangingTheDatabase) {
  struct Caso {
    const char* nome;
    void (*bloqueia)(const path& backup);
  };
  const Caso casos[] = {
      {"a file named Backup",
       [](const path& b) { std::ofstream(b.parent_path(), std::ios::binary) << "x"; }},
      {"a folder under the backup's name",
       [](const path& b) { fs::create_directories(b / "dentro"); }},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    fs::remove_all(backup().parent_path());
    c.bloqueia(backup());
    mensagens_.limpar();
    EXPECT_FALSE(PreparaInicio(pasta(), mensagens_));
    ASSERT_EQ(mensagens_.exibidas().size(), 1u);
    EXPECT_EQ(mensagens_.exibidas()[0].dialogo, "msg_atencao");
    const std::string& texto = mensagens_.exibidas()[0].texto;
    EXPECT_NE(texto.find("c\xF3pia de seguran\xE7" "a"), std::string::npos) << texto;  // "cópia de segurança"
    EXPECT_NE(texto.find(backup().string()), std::string::npos) << texto;
    EXPECT_FALSE(BD().Conexao.Connected());
    EXPECT_TRUE(leArquivo(banco()) == original_) << "the database changed";
    EXPECT_FALSE(fs::exists(backup().string() + ".tmp"));
  }
}

TEST_F(Inicio, AWrongPasswordOrAMissingFileShowsTheConnectionMessageOnce) {
  // Another password: the same academy written under "outra".
  fs::remove(banco());
  kor::amostra::OpcoesAcademia o;
  o.alunos = 10;
  o.suja = true;
  o.senha = "outra";
  kor::amostra::geraAcademia(banco().string(), o);
  const std::string antes = leArquivo(banco());
  EXPECT_FALSE(PreparaInicio(pasta(), mensagens_));
  EXPECT_EQ(mensagens_.textos("msg_atencao"), std::vector<std::string>{mensagemConexao(pasta())});
  EXPECT_EQ(mensagens_.exibidas().size(), 1u);
  EXPECT_FALSE(BD().Conexao.Connected());
  EXPECT_TRUE(leArquivo(banco()) == antes) << "the database changed";

  // Something that is no database under its name: the same message.
  mensagens_.limpar();
  fs::remove(banco());
  fs::remove_all(backup().parent_path());
  { std::ofstream(banco(), std::ios::binary) << std::string(8192, 'x'); }
  EXPECT_FALSE(PreparaInicio(pasta(), mensagens_));
  EXPECT_EQ(mensagens_.textos("msg_atencao"), std::vector<std::string>{mensagemConexao(pasta())});
  EXPECT_EQ(mensagens_.exibidas().size(), 1u);
  EXPECT_EQ(leArquivo(banco()), std::string(8192, 'x'));

  // No database at all: the same message, and no file appears.
  mensagens_.limpar();
  fs::remove(banco());
  fs::remove_all(backup().parent_path());
  EXPECT_FALSE(PreparaInicio(pasta(), mensagens_));
  EXPECT_EQ(mensagens_.textos("msg_atencao"), std::vector<std::string>{mensagemConexao(pasta())});
  EXPECT_EQ(mensagens_.exibidas().size(), 1u);
  EXPECT_FALSE(fs::exists(banco()));
  EXPECT_FALSE(fs::exists(backup()));
}

TEST_F(Inicio, ThePreparedDatabaseIsSoundAndReadsWithMdbtools) {
  ASSERT_TRUE(PreparaInicio(pasta(), mensagens_));
  struct Contagem {
    const char* tabela;
    int32_t linhas;
  };
  std::vector<Contagem> contagens;
  for (const char* t : {"Matricula", "Modalidades", "FuncionariosFuncoes", "Recebimentos", "Online_RecibosRecebimentos"}) {
    contagens.push_back({t, RetornaTotal(std::string("Select Count(*) as Total from ") + t)});
  }
  teste::desconecta();
  {
    auto db = jet::Database::open(banco().string(), {.password = teste::kSenha});
    EXPECT_EQ(jet::checkDatabase(*db), std::vector<std::string>{});
  }
  const std::string tabelas = teste::executa("mdb-tables -1 " + banco().string()).texto;
  for (const char* t : {"Online_Modalidades", "Online_Planos", "Online_PlanosModalidades", "Online_PlanosValores",
                        "Online_RecibosRecebimentos"}) {
    EXPECT_NE(tabelas.find(std::string(t) + "\n"), std::string::npos) << t << " in\n" << tabelas;
  }
  for (const Contagem& c : contagens) {
    const teste::Saida s = teste::executa("mdb-export -H -R '<ROW>' " + banco().string() + " " + c.tabela);
    EXPECT_EQ(s.status, 0) << s.texto;
    int32_t n = 0;
    for (size_t at = s.texto.find("<ROW>"); at != std::string::npos; at = s.texto.find("<ROW>", at + 1)) ++n;
    EXPECT_EQ(n, c.linhas) << c.tabela;
  }
  // The columns the start-up added are there for another reader too.
  const std::string matricula = teste::executa("mdb-export " + banco().string() + " Matricula").texto;
  EXPECT_NE(matricula.substr(0, matricula.find('\n')).find("ProximaGeracaoCobranca"), std::string::npos);
}

// --- exporta-kor --prepare-only -----------------------------------------------------

// Whether `s` is well-formed UTF-8.
bool utf8Valido(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

TEST_F(Inicio, TheHeadlessCommandPreparesAndReportsFailures) {
  // A legacy payment form whose accented letter falls where the command
  // shortens the statement it prints.
  teste::conecta(banco());
  ASSERT_EQ(ExecutaSQL("INSERT INTO Matricula (alunoID, modalidadeID, matriculaValor, matriculaDesconto, "
                       "matriculaForma) VALUES (1, 11, 10, 0, 'PACOTE PROMOCIONAL 3 \xC9POCA')"),
            "OK");
  teste::desconecta();

  const std::string comando = std::string(KOR_EXPORTA_KOR) + " --prepare-only --folder ";
  teste::Saida s = teste::executa(comando + pasta());
  EXPECT_EQ(s.status, 0) << s.texto;
  EXPECT_TRUE(utf8Valido(s.texto)) << s.texto;
  for (const char* linha : {"== Cópia de segurança: ", "== Conexão: ", "== Reparos e estrutura",
                            "Update Alunos set alunoSexo = 0 Where alunoSexo is null",
                            "INSERT INTO FuncionariosFuncoes (funcaoDescricao) VALUES (\"OUTROS\")",
                            "== Conversão de modalidades antigas", "INSERT INTO Modalidades",
                            "== Preparação concluída"}) {
    EXPECT_NE(s.texto.find(linha), std::string::npos) << linha << " in\n" << s.texto;
  }
  EXPECT_TRUE(fs::is_regular_file(backup()));
  EXPECT_TRUE(preparado());

  // Wrong password: the connection message, a failing status, the file as it was.
  fs::remove(banco());
  kor::amostra::OpcoesAcademia o;
  o.alunos = 10;
  o.senha = "outra";
  kor::amostra::geraAcademia(banco().string(), o);
  const std::string antes = leArquivo(banco());
  s = teste::executa(comando + pasta());
  EXPECT_NE(s.status, 0) << s.texto;
  EXPECT_NE(s.texto.find("Falha ao conectar ao banco de dados!"), std::string::npos) << s.texto;
  EXPECT_NE(s.texto.find("Verifique o caminho " + banco().string()), std::string::npos) << s.texto;
  EXPECT_EQ(s.texto.find("== Reparos"), std::string::npos) << s.texto;
  EXPECT_TRUE(leArquivo(banco()) == antes);

  // Missing file.
  fs::remove(banco());
  s = teste::executa(comando + pasta());
  EXPECT_NE(s.status, 0) << s.texto;
  EXPECT_NE(s.texto.find("Falha ao conectar ao banco de dados!"), std::string::npos) << s.texto;
  EXPECT_FALSE(fs::exists(banco()));

  // No way to make the backup.
  fs::copy_file(amostra_->path() / "dados.mdb", banco());
  fs::remove_all(backup().parent_path());
  std::ofstream(backup().parent_path()) << "x";
  s = teste::executa(comando + pasta());
  EXPECT_NE(s.status, 0) << s.texto;
  EXPECT_NE(s.texto.find("cópia de segurança"), std::string::npos) << s.texto;
  EXPECT_EQ(s.texto.find("== Conexão"), std::string::npos) << s.texto;
  EXPECT_TRUE(leArquivo(banco()) == leArquivo(amostra_->path() / "dados.mdb"));

  EXPECT_EQ(teste::executa(std::string(KOR_EXPORTA_KOR) + " --folder " + pasta()).status, 2);  // usage
}

}  // namespace
