// The export run on small academies: the folder token, the duplicate e-mail
// paths, the consistency rules, the open-accounts question, the failure paths
// and the whole run checked from outside (unzip, the files' bytes, counts,
// the database afterwards).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "apoio.h"
#include "apoio_exportacao.h"
#include "common/globais.h"
#include "common/texto.h"
#include "db/uglobal.h"
#include "export/arquivamento.h"
#include "export/arquivo.h"
#include "export/conta.h"
#include "export/emails.h"
#include "export/exportacao.h"
#include "export/tabelas.h"
#include "export/verificacoes.h"

namespace {

using namespace kor;
using kor::teste::PastaTemporaria;
namespace fs = std::filesystem;

// The export window, scripted: records what the run shows.
class PortaRoteiro : public PortaExportacao {
 public:
  Mensagens& mensagens() override { return mensagens_; }
  void progressoMaximo(int maximo) override { maximo_ = maximo; }
  void progresso(int posicao) override { posicoes_.push_back(posicao); }
  void repinta() override {}
  void mostraResultado(const ResultadoExportacao& r) override { resultados_.push_back(r); }
  void abrePasta(const std::string& caminho) override { pastas_.push_back(caminho); }
  void tabelaExportada(const std::string& tabela, int64_t linhas, double) override { linhas_[tabela] = linhas; }

  MensagensRoteiro mensagens_;
  int maximo_ = 0;
  std::vector<int> posicoes_;
  std::vector<ResultadoExportacao> resultados_;
  std::vector<std::string> pastas_;
  std::map<std::string, int64_t> linhas_;
};

// A ready sample academy, generated once and copied for each test.
class ExportacaoTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    modelo_ = new PastaTemporaria("exportacao_modelo");
    amostra::OpcoesAcademia o;
    o.alunos = 60;
    o.pronta = true;
    email_ = amostra::geraAcademia((modelo_->path() / "dados.mdb").string(), o).emailConta;
  }
  static void TearDownTestSuite() {
    delete modelo_;
    modelo_ = nullptr;
  }
  void SetUp() override {
    fs::copy_file(modelo_->path() / "dados.mdb", banco());
    teste::conecta(banco());
    LimpaGlobais();
    ASSERT_TRUE(AceitaEmailConta(email_));
  }
  void TearDown() override {
    teste::desconecta();
    LimpaGlobais();
  }
  fs::path banco() const { return pasta_.path() / "dados.mdb"; }
  std::string instalacao() const { return pasta_.str(); }
  static void executa(const std::vector<std::string>& sqls) {
    for (const std::string& sql : sqls) ASSERT_EQ(ExecutaSQL(sql), "OK") << sql;
  }
  std::string token() const { return TokenEmpresa(teste::linhas("Select empresaNomeFantasia from Empresa").at(0)); }
  fs::path pastaExportacao() const { return PastaExportacao(instalacao(), token()); }
  fs::path pacote() const { return pastaExportacao().string() + ".kor"; }
  // Runs the export answering the open-accounts question with `resposta`.
  bool exporta(int resposta = kRespostaSim) {
    porta_.mensagens_.responder({resposta});
    return btExportarClick(porta_, instalacao());
  }
  std::vector<std::string> entradas() const {
    teste::Saida s = teste::executa("unzip -Z1 '" + pacote().string() + "'");
    EXPECT_EQ(s.status, 0) << s.texto;
    std::vector<std::string> out;
    std::istringstream in(s.texto);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
  }
  std::string entrada(const std::string& nome) const {
    return teste::executa("unzip -p '" + pacote().string() + "' '" + nome + "'").texto;
  }

  static PastaTemporaria* modelo_;
  static std::string email_;
  PastaTemporaria pasta_{"exportacao"};
  PortaRoteiro porta_;
};

PastaTemporaria* ExportacaoTest::modelo_ = nullptr;
std::string ExportacaoTest::email_;

TEST(TokenEmpresa, KeepsLettersAndDigitsInUpperCaseUpToSixteen) {
  struct Caso {
    std::string nome, token;
  };
  for (const auto& c : std::vector<Caso>{
           {"Academia Corpo & Forma Ltda.", "ACADEMIACORPOFOR"},
           {"Academia Boa Forma e Saude", "ACADEMIABOAFORMA"},
           {"  fit 24h  ", "FIT24H"},
           {"A\xE7\xE3o Fitness", "AOFITNESS"},  // accented letters are dropped, not mapped
           {" - & * ", ""},
       }) {
    EXPECT_EQ(TokenEmpresa(c.nome), c.token) << c.nome;
  }
}

TEST_F(ExportacaoTest, WithoutATradeNameTheRunStopsBeforeTouchingAnything) {
  for (const char* sql : {"DELETE FROM Empresa", "UPDATE Empresa SET empresaNomeFantasia = ' & - '"}) {
    SCOPED_TRACE(sql);
    if (std::string(sql).rfind("UPDATE", 0) == 0) {
      teste::desconecta();
      fs::remove(banco());
      fs::copy_file(modelo_->path() / "dados.mdb", banco());
      teste::conecta(banco());
    }
    executa({sql});
    porta_.mensagens_.limpar();
    EXPECT_FALSE(exporta());
    EXPECT_EQ(porta_.mensagens_.textos("msg_atencao"),
              std::vector<std::string>{Utf8ParaWin1252("É necessário definir a Razão Social nas configurações do sistema.")});
    EXPECT_TRUE(porta_.mensagens_.textos("msg_sn").empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(pasta_.path()), fs::directory_iterator()), 1);  // dados.mdb only
  }
}

TEST_F(ExportacaoTest, EachConsistencyRuleStopsWithItsOwnMessage) {
  const std::vector<RegraConsistencia>& regras = RegrasConsistencia();
  ASSERT_EQ(regras.size(), 19u);
  struct Caso {
    int regra;  // 1-based; 0: passes
    std::vector<std::string> sqls;
  };
  const std::vector<Caso> casos = {
      {0, {}},  // the clean academy
      {0, {"INSERT INTO CartaoParcelas (parcelaValor, parcelaTaxa, parcelaValorFinal) VALUES (999999, 999999, 0)",
           "INSERT INTO Recibos (reciboValorPagar) VALUES (Null)",  // rule 14 lets a null pass
           "INSERT INTO ChequesRecebidos (chequeValor, chequeBomPara, chequeDataCaixa) VALUES (1, #1/2/2000#, #1/2/2000#)"}},
      {1, {"INSERT INTO CartaoParcelas (parcelaValor, parcelaTaxa, parcelaValorFinal) VALUES (1, 999999.01, 1)"}},
      {2, {"INSERT INTO ChequesEmitidos (chequeValor, chequeBomPara) VALUES (Null, #1/2/2020#)"}},
      {3, {"INSERT INTO ChequesRecebidos (chequeValor, chequeBomPara, chequeDataCaixa) VALUES (Null, #1/2/2020#, #1/2/2020#)"}},
      {4, {"INSERT INTO ChequesRecebidos (chequeValor, chequeBomPara, chequeDataCaixa) VALUES (1, #12/31/1999#, #1/2/2020#)"}},
      {5, {"INSERT INTO ChequesRecebidos (chequeValor, chequeBomPara, chequeDataCaixa, chequeDtCompensacao) VALUES (1, "
           "#1/2/2020#, #1/2/2020#, #6/1/1999#)"}},
      {6, {"INSERT INTO ChequesRecebidos (chequeValor, chequeBomPara, chequeDataCaixa) VALUES (1, #1/2/2020#, Null)"}},
      {7, {"INSERT INTO AlunosCreditos (CreditoValor) VALUES (Null)"}},
      {8, {"INSERT INTO Matricula (matriculaDesconto, matriculaValor) VALUES (0, Null)"}},
      {9, {"INSERT INTO Matricula (matriculaDesconto, matriculaValor, matriculaDtFim) VALUES (0, 1, #1/1/1999#)"}},
      {10, {"INSERT INTO Modalidades (modalidadeNome) VALUES ('DUPLA')", "INSERT INTO Modalidades (modalidadeNome) VALUES ('dupla')"}},
      {11, {"INSERT INTO Modalidades (modalidadeNome) VALUES ('PERSONALIZADO')"}},
      {12, {"INSERT INTO Online_Planos (Plano, Tipo, Situacao) VALUES ('DUPLO', 'M', 'A')",
            "INSERT INTO Online_Planos (Plano, Tipo, Situacao) VALUES ('DUPLO', 'D', 'A')"}},
      {13, {"INSERT INTO Recebimentos (recebValor, RecebDesconto, recebFuncIdIsentou) VALUES (1, 0, Null)"}},
      {14, {"INSERT INTO Recibos (reciboValorPago) VALUES (1000000)"}},
      {15, {"INSERT INTO Produtos (produtoCusto) VALUES (1000000)"}},
      {16, {"INSERT INTO Vendas (vendaValor) VALUES (1000000)"}},
      {17, {"INSERT INTO VendasItens (produtoPrecoCusto) VALUES (1000000)"}},
      {18, {"INSERT INTO MatriculaTrancamentos (matriculaID, DataTrancamento) VALUES (0, #1/1/2100#)"}},
      {19, {"INSERT INTO Matricula (matriculaDesconto, matriculaValor, RecorrenteForma) VALUES (0, 1, 0)"}},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE("regra " + std::to_string(c.regra));
    teste::desconecta();
    fs::remove(banco());
    fs::copy_file(modelo_->path() / "dados.mdb", banco());
    teste::conecta(banco());
    executa(c.sqls);
    MensagensRoteiro m;
    if (c.regra == 0) {
      EXPECT_NO_THROW(VerificaConsistencia(m));
      EXPECT_TRUE(m.exibidas().empty());
    } else {
      EXPECT_THROW(VerificaConsistencia(m), AbortoSilencioso);
      EXPECT_EQ(m.textos("msg_atencao"), std::vector<std::string>{Utf8ParaWin1252(regras[c.regra - 1].mensagem)});
    }
  }
  // The messages themselves, for two of the rules.
  EXPECT_EQ(Win1252ParaUtf8(Utf8ParaWin1252(regras[10].mensagem)), "Atenção! Modalidade \"PERSONALIZADO\" não permitida.");
  EXPECT_STREQ(regras[0].mensagem, "Atenção! Dados incompatíveis em \"CartaoParcelas\".");
}

TEST_F(ExportacaoTest, AMissingTableLetsItsRulePass) {
  executa({"DROP TABLE ChequesEmitidos"});
  MensagensRoteiro m;
  EXPECT_NO_THROW(VerificaConsistencia(m));
}

TEST_F(ExportacaoTest, TheOpenAccountsQuestionStopsOnNaoAndGoesOnOnSim) {
  const int abertas = RetornaTotal(
      "Select Count(*) as Total from Recebimentos Where recebPago = False and recebFuncIdIsentou = 0 and "
      "recebExcluido = False and recebDtVencimento < Now");
  ASSERT_GT(abertas, 0);
  const std::string pergunta =
      Utf8ParaWin1252("A base de dados contém " + std::to_string(abertas) + " contas em aberto. Deseja migrar mesmo assim?");

  EXPECT_FALSE(exporta(kRespostaNao));
  EXPECT_EQ(porta_.mensagens_.textos("msg_sn"), std::vector<std::string>{pergunta});
  EXPECT_FALSE(fs::exists(pacote()));
  EXPECT_TRUE(porta_.resultados_.empty());
  EXPECT_EQ(vExportou, 0);

  porta_.mensagens_.limpar();
  EXPECT_TRUE(exporta(kRespostaSim));
  EXPECT_EQ(porta_.mensagens_.textos("msg_sn"), std::vector<std::string>{pergunta});
  EXPECT_TRUE(fs::exists(pacote()));
  EXPECT_EQ(vExportou, 1);

  // Without overdue receivables nothing is asked.
  executa({"UPDATE Recebimentos SET recebPago = True"});
  porta_.mensagens_.limpar();
  EXPECT_TRUE(exporta(kRespostaNao));
  EXPECT_TRUE(porta_.mensagens_.textos("msg_sn").empty());
}

TEST_F(ExportacaoTest, StudentsSharingAnAddressAreCorrectedAndTheRunGoesOn) {
  // Three students with one address in different cases: the deleted one has
  // the lowest code, but the active one with the lowest code keeps it.
  executa({"UPDATE Alunos SET alunoEmail = 'Caso@Mail.com', alunoExcluido = True WHERE alunoID = 3",
           "UPDATE Alunos SET alunoEmail = 'caso@mail.com', alunoExcluido = False WHERE alunoID = 7",
           "UPDATE Alunos SET alunoEmail = 'CASO@MAIL.COM', alunoExcluido = False WHERE alunoID = 5",
           "UPDATE Alunos SET alunoEmail = '' WHERE alunoID in (8, 9)",  // a shared empty address is no duplicate
           "UPDATE Alunos SET alunoNome = 'Ana D''Avila' WHERE alunoID = 7",
           // Without a registration number its log row cannot be written;
           // the corrections go on all the same.
           "UPDATE Alunos SET alunoMatricula = Null WHERE alunoID = 3"});
  const std::string matricula7 = teste::linhas("Select alunoMatricula from Alunos Where alunoID = 7").at(0);
  EXPECT_TRUE(exporta());
  EXPECT_TRUE(porta_.mensagens_.textos("msg_atencao").empty());
  EXPECT_EQ(teste::linhas("Select alunoID, alunoEmail from Alunos Where alunoID in (3, 5, 7, 8, 9) Order by alunoID"),
            (std::vector<std::string>{"3\t", "5\tCASO@MAIL.COM", "7\t", "8\t", "9\t"}));
  EXPECT_EQ(teste::linhas("Select Matricula, Nome, Email from AlunosEmail Where Email = 'caso@mail.com' Order by Codigo"),
            std::vector<std::string>{matricula7 + "\tAna D'Avila\tcaso@mail.com"});
  EXPECT_TRUE(fs::exists(pacote()));
  // A second run finds nothing more to correct; the log keeps its rows.
  const std::vector<std::string> registro = teste::linhas("Select * from AlunosEmail Order by Codigo");
  EXPECT_TRUE(exporta());
  EXPECT_EQ(teste::linhas("Select * from AlunosEmail Order by Codigo"), registro);
}

TEST_F(ExportacaoTest, EmployeesSharingAnAddressStopTheRunWithTheirReport) {
  // Two active employees with access share an address, two more share an
  // empty one; an inactive, a deleted and one without access share a third
  // (which counts for nobody). A rule is broken too: it must not be reached.
  executa({"UPDATE Funcionarios SET funcSituacao = 'ATIVO', funcAcesso = True, funcExcluido = False, funcEmail = "
           "'dupla@mail.com' WHERE funcID in (2, 3)",
           "UPDATE Funcionarios SET funcSituacao = 'ATIVO', funcAcesso = True, funcExcluido = False, funcEmail = '' "
           "WHERE funcID in (4, 5)",
           "UPDATE Funcionarios SET funcSituacao = 'INATIVO', funcAcesso = True, funcExcluido = False, funcEmail = "
           "'outra@mail.com' WHERE funcID = 6",
           "UPDATE Funcionarios SET funcSituacao = 'ATIVO', funcAcesso = True, funcExcluido = True, funcEmail = "
           "'outra@mail.com' WHERE funcID = 7",
           "UPDATE Funcionarios SET funcSituacao = 'ATIVO', funcAcesso = False, funcExcluido = False, funcEmail = "
           "'outra@mail.com' WHERE funcID = 8",
           "UPDATE Funcionarios SET funcNome = 'Jos\xE9 O''Neil' WHERE funcID = 2",
           "INSERT INTO Modalidades (modalidadeNome) VALUES ('PERSONALIZADO')"});
  EXPECT_FALSE(exporta());
  EXPECT_TRUE(porta_.mensagens_.exibidas().empty());  // no rule, no question
  ASSERT_EQ(porta_.resultados_.size(), 1u);
  EXPECT_EQ(porta_.resultados_[0].mensagem, "Verifique os cadastros antes de continuar!");
  EXPECT_FALSE(porta_.resultados_[0].segundoPainel);
  EXPECT_EQ(porta_.pastas_, std::vector<std::string>{pastaExportacao().string() + "/"});
  EXPECT_FALSE(fs::exists(pacote()));
  EXPECT_EQ(vDuplicados, 1);

  auto nome = [](int id) {
    return FiltraCaracteres(teste::linhas("Select funcNome from Funcionarios Where funcID = " + std::to_string(id)).at(0));
  };
  const std::string instrucao = Utf8ParaWin1252("Acesse o cadastro do funcionário e defina o e-mail");
  const std::vector<std::string> linhas = teste::linhasDoArquivo(pastaExportacao() / "Funcionarios.txt");
  ASSERT_EQ(linhas.size(), 5u);
  EXPECT_EQ(linhas[0], "Codigo\tNome\tEmail");
  // Ordered by address, the empty one first; in any order within one.
  std::vector<std::string> vazios(linhas.begin() + 1, linhas.begin() + 3), duplos(linhas.begin() + 3, linhas.end());
  std::sort(vazios.begin(), vazios.end());
  std::sort(duplos.begin(), duplos.end());
  EXPECT_EQ(vazios, (std::vector<std::string>{"4\t" + nome(4) + "\t" + instrucao, "5\t" + nome(5) + "\t" + instrucao}));
  EXPECT_EQ(duplos, (std::vector<std::string>{"2\tJos\xE9 ONeil\tdupla@mail.com", "3\t" + nome(3) + "\tdupla@mail.com"}));

  // Once corrected, the next run clears the report away and goes on.
  executa({"UPDATE Funcionarios SET funcEmail = 'f' & funcID & '@mail.com' WHERE funcID in (3, 4, 5)",
           "DELETE FROM Modalidades WHERE modalidadeNome = 'PERSONALIZADO'"});
  porta_.resultados_.clear();
  EXPECT_TRUE(exporta());
  EXPECT_EQ(vDuplicados, 0);
  EXPECT_TRUE(porta_.resultados_.at(0).segundoPainel);
}

TEST_F(ExportacaoTest, TheWholeRunWritesThePackageAndCleansUp) {
  EXPECT_TRUE(exporta());
  EXPECT_EQ(vExportou, 1);
  EXPECT_TRUE(porta_.mensagens_.textos("msg_atencao").empty());

  // Progress: 0, then 1 after the locking history, then one step per table.
  EXPECT_EQ(porta_.maximo_, 26);
  ASSERT_EQ(porta_.posicoes_.size(), 28u);
  EXPECT_EQ(porta_.posicoes_.front(), 0);
  EXPECT_EQ(porta_.posicoes_.back(), 27);

  ASSERT_EQ(porta_.resultados_.size(), 1u);
  EXPECT_EQ(Win1252ParaUtf8(porta_.resultados_[0].mensagem), "Exportação Realizada com Sucesso!");
  EXPECT_TRUE(porta_.resultados_[0].segundoPainel);
  EXPECT_EQ(porta_.resultados_[0].arquivo, "\"migracao_" + token() + "_sistema.kor\"");
  EXPECT_EQ(porta_.pastas_, std::vector<std::string>{instalacao() + "/"});

  // The folder and the auxiliary table are gone.
  EXPECT_FALSE(fs::exists(pastaExportacao()));
  EXPECT_EQ(ExecutaSQL("Select * from Online_RecibosRecebimentos").find("OK"), std::string::npos);

  // The archive: the 26 files, deflated, under their bare names, in order.
  std::vector<std::string> esperadas;
  for (const std::string t : kTabelasExportacao) esperadas.push_back(t + ".txt");
  EXPECT_EQ(entradas(), esperadas);
  teste::Saida z = teste::executa("unzip -Zv '" + pacote().string() + "'");
  size_t deflated = 0;
  for (size_t p = z.texto.find("compression method:"); p != std::string::npos;
       p = z.texto.find("compression method:", p + 1)) {
    EXPECT_EQ(z.texto.compare(z.texto.find_first_not_of(' ', p + 19), 8, "deflated"), 0);
    ++deflated;
  }
  EXPECT_EQ(deflated, 26u);
  EXPECT_EQ(teste::executa("unzip -tq '" + pacote().string() + "'").status, 0);

  // Every file: Windows-1252 text (no byte outside the code page, no UTF-8
  // sequences of our own), CR LF after every line, a header line and as many
  // lines as the table's rows.
  for (const std::string t : kTabelasExportacao) {
    SCOPED_TRACE(t);
    const std::string texto = entrada(t + ".txt");
    ASSERT_FALSE(texto.empty());
    ASSERT_EQ(texto.substr(texto.size() - 2), "\r\n");
    size_t linhas = 0;
    for (size_t i = 0; i < texto.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(texto[i]);
      if (c == '\n') {
        ASSERT_GT(i, 0u);
        ASSERT_EQ(texto[i - 1], '\r');
        ++linhas;
      } else if (c == '\r') {
        ASSERT_EQ(texto[i + 1], '\n');
      } else {
        ASSERT_TRUE(c == '\t' || c >= 0x20) << "byte " << int(c);
        ASSERT_TRUE(c != 0x81 && c != 0x8D && c != 0x8F && c != 0x90 && c != 0x9D) << "byte " << int(c);
      }
    }
    EXPECT_EQ(static_cast<int64_t>(linhas) - 1, porta_.linhas_.at(t));
  }

  // Every file's header is its query's column names; tables exported whole
  // have all their rows.
  ASSERT_EQ(ExecutaSQL("CREATE TABLE Online_RecibosRecebimentos (recebID Number, reciboID Number)"), "OK");
  for (const std::string t : kTabelasExportacao) {
    SCOPED_TRACE(t);
    TConsulta q(BD().Conexao);
    q.ParamCheck = false;
    q.SetText(ConsultaDaTabela(t));
    q.Open();
    std::string cabecalho;
    for (size_t i = 0; i < q.FieldCount(); ++i) cabecalho += (i ? "\t" : "") + q.Fields(i).FieldName();
    const std::string texto = entrada(t + ".txt");
    EXPECT_EQ(texto.substr(0, texto.find("\r\n")), cabecalho);
    if (ConsultaDaTabela(t) == "SELECT * FROM " + t) {
      EXPECT_EQ(porta_.linhas_.at(t), q.RecordCount());
    }
  }
  // The selections, counted here in other words.
  const std::string recebimentos =
      "Select recebID from Recebimentos Where recebFuncIdIsentou = 0 and recebExcluido = False and ("
      "(planoID not in (1, 2) and (alunoID = 0 or alunoID in (Select alunoID from Alunos))) or "
      "(planoID = 1 and idRelaciona in (Select matriculaID from Matricula) and alunoID in (Select alunoID from Alunos)) or "
      "(planoID = 2 and idRelaciona in (Select vendaID from Vendas) and idRelaciona in (Select vendaID from VendasItens) "
      "and (alunoID = 0 or alunoID in (Select alunoID from Alunos))))";
  const std::string recibos =
      "Select rr.reciboID from RecibosRecebimentos rr inner join Recibos r on r.reciboID = rr.reciboID Where "
      "r.reciboCancelado = False and rr.recebID in (" + recebimentos + ")";
  struct Contagem {
    const char* tabela;
    std::string sql;
  };
  const std::vector<Contagem> contagens = {
      {"Recebimentos", "Select Count(*) as Total from (" + recebimentos + ")"},
      {"RecibosRecebimentos", "Select Count(*) as Total from (" + recibos + ")"},
      {"Recibos", "Select Count(*) as Total from Recibos Where reciboID in (" + recibos + ")"},
      {"Matricula",
       "Select Count(*) as Total from Matricula m inner join Modalidades d on d.modalidadeID = m.modalidadeID Where "
       "m.alunoID in (Select alunoID from Alunos) and (m.matriculaExcluida = False or Exists (Select * from Recebimentos r "
       "Where r.idRelaciona = m.matriculaID and r.planoID = 1 and r.recebFuncIdIsentou = 0 and r.recebExcluido = False))"},
      {"AlunosCreditos",
       "Select Count(*) as Total from AlunosCreditos c inner join Recibos r on r.reciboID = c.reciboID Where "
       "c.CreditoDescontado = False and r.reciboCancelado = False"},
      {"Configuracao", "Select Count(*) as Total from Alunos Where alunoExcluido = False and alunoEmail = " +
                           AspasSimples(vEmailConta)},
  };
  for (const Contagem& c : contagens) EXPECT_EQ(porta_.linhas_.at(c.tabela), RetornaTotal(c.sql)) << c.tabela;
  EXPECT_GE(porta_.linhas_.at("Configuracao"), 1);

  // The database is still sound, for our checker and for mdbtools.
  teste::desconecta();
  teste::Saida check = teste::executa(std::string(KOR_JETSQL) + " '" + banco().string() + "' --password lumpa check");
  EXPECT_EQ(check.status, 0) << check.texto;
  teste::Saida mdb = teste::executa("mdb-export '" + banco().string() + "' Matricula | wc -l");
  EXPECT_EQ(mdb.status, 0);
  EXPECT_GT(std::stoi(mdb.texto), 1) << mdb.texto;
}

TEST_F(ExportacaoTest, LeftoversOfEarlierRunsDoNotReachThePackage) {
  // The first run moves the end dates of deleted enrolments, which the next
  // billing dates read: runs agree from the second on.
  ASSERT_TRUE(exporta());
  ASSERT_TRUE(exporta());
  std::map<std::string, std::string> primeiro;
  for (const std::string& e : entradas()) primeiro[e] = entrada(e);
  // Leftovers a run must not pick up: rows in the auxiliary table, an old
  // file in the export folder, and an archive with an extra entry.
  executa({"CREATE TABLE Online_RecibosRecebimentos (recebID Number, reciboID Number)",
           "INSERT INTO Online_RecibosRecebimentos (recebID, reciboID) Select recebID, 1 from Recebimentos"});
  fs::create_directory(pastaExportacao());
  std::ofstream(pastaExportacao() / "Velho.txt") << "velho";
  vPastaExportacao = pastaExportacao().string();
  std::string erro;
  ASSERT_TRUE(CompactaPasta({"Velho.txt"}, erro)) << erro;
  ASSERT_EQ(entradas(), std::vector<std::string>{"Velho.txt"});
  ASSERT_TRUE(exporta());
  std::map<std::string, std::string> segundo;
  for (const std::string& e : entradas()) segundo[e] = entrada(e);
  EXPECT_EQ(segundo, primeiro);
}

TEST_F(ExportacaoTest, ATableTheDatabaseLacksIsLeftOutAndOneThatFailsStopsTheRun) {
  executa({"DROP TABLE RecebimentosBoletos"});
  ASSERT_TRUE(exporta());
  EXPECT_EQ(porta_.linhas_.at("RecebimentosBoletos"), -1);
  std::vector<std::string> nomes = entradas();
  EXPECT_EQ(nomes.size(), 25u);
  EXPECT_EQ(std::count(nomes.begin(), nomes.end(), "RecebimentosBoletos.txt"), 0);

  // Monthly enrolments without a due day: their billing dates cannot be
  // computed, and no package is written without the enrolments.
  fs::remove(pacote());
  executa({"UPDATE Matricula SET matriculaDiaVencimento = Null WHERE matriculaForma = 'MENSAL'"});
  porta_.resultados_.clear();
  EXPECT_FALSE(exporta());
  const std::vector<std::string> msgs = porta_.mensagens_.textos("msg_atencao");
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].rfind(Utf8ParaWin1252("Atenção! Não foi possível exportar a tabela \"Matricula\": "), 0), 0u)
      << msgs[0];
  EXPECT_FALSE(fs::exists(pacote()));
  EXPECT_TRUE(porta_.resultados_.empty());
  EXPECT_EQ(vExportou, 0);
}

TEST_F(ExportacaoTest, APackingFailureIsAFailureAndKeepsTheFiles) {
  // An old archive name taken by a folder that is not empty: the archive
  // cannot take its name.
  fs::create_directories(pacote() / "ocupado");
  EXPECT_FALSE(exporta());
  const std::vector<std::string> msgs = porta_.mensagens_.textos("msg_atencao");
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].rfind(Utf8ParaWin1252("Atenção! Não foi possível gravar o arquivo para migração "), 0), 0u)
      << msgs[0];
  EXPECT_TRUE(porta_.resultados_.empty());  // never "Exportação Realizada com Sucesso!"
  EXPECT_EQ(vExportou, 0);
  EXPECT_EQ(std::distance(fs::directory_iterator(pastaExportacao()), fs::directory_iterator()), 26);
  EXPECT_FALSE(fs::exists(pacote().string() + ".tmp"));
  EXPECT_TRUE(fs::is_directory(pacote() / "ocupado"));

  // Freed, the next run packs.
  fs::remove_all(pacote());
  EXPECT_TRUE(exporta());
  EXPECT_EQ(entradas().size(), 26u);
}

TEST_F(ExportacaoTest, TheExportFolderIsClearedWithoutFollowingLinks) {
  PastaTemporaria fora("exportacao_fora");
  std::ofstream(fora.path() / "importante.txt") << "x";
  fs::create_directory(pastaExportacao());
  fs::create_directory_symlink(fora.path(), pastaExportacao() / "atalho");
  fs::create_symlink(fora.path() / "importante.txt", pastaExportacao() / "Alunos.txt");
  EXPECT_TRUE(exporta());
  EXPECT_EQ(teste::leArquivo(fora.path() / "importante.txt"), "x");
  EXPECT_FALSE(fs::exists(pastaExportacao()));
  EXPECT_EQ(entradas().size(), 26u);
}

TEST_F(ExportacaoTest, ExportaKorRunsTheWholeRoadAndSaysHowItEnded) {
  const fs::path arquivo = pacote();
  teste::desconecta();
  const std::string kor = std::string(KOR_EXPORTA_KOR) + " ";
  const std::string pasta = "--folder '" + instalacao() + "' ";
  // A wrong or missing option: the usage, and nothing run (no backup made).
  for (const std::string& opcoes :
       {pasta, pasta + "--email", "--email " + email_, pasta + "--email " + email_ + " --open-accounts talvez",
        pasta + "--prepare-only --email " + email_, pasta + "--email " + email_ + " --email " + email_,
        pasta + "--email " + email_ + " --depressa"}) {
    teste::Saida s = teste::executa(kor + opcoes);
    EXPECT_EQ(s.status, 2) << opcoes << "\n" << s.texto;
    EXPECT_NE(s.texto.find("uso: exporta-kor"), std::string::npos) << s.texto;
  }
  EXPECT_FALSE(fs::exists(pasta_.path() / "Backup"));

  teste::Saida recusado = teste::executa(kor + pasta + "--email ninguem@lugar.nenhum");
  EXPECT_EQ(recusado.status, 1);
  EXPECT_NE(recusado.texto.find("[ATENÇÃO] " + Win1252ParaUtf8(kMsgEmailConta)), std::string::npos) << recusado.texto;

  // The question answered "Não" by default: the run stops, no package.
  teste::Saida nao = teste::executa(kor + pasta + "--email " + email_);
  EXPECT_EQ(nao.status, 1) << nao.texto;
  EXPECT_NE(nao.texto.find("[PERGUNTA (respondida Não)] A base de dados contém "), std::string::npos) << nao.texto;
  EXPECT_FALSE(fs::exists(arquivo));

  teste::Saida sim = teste::executa(kor + pasta + "--email " + email_ + " --open-accounts yes");
  EXPECT_EQ(sim.status, 0) << sim.texto;
  EXPECT_TRUE(fs::exists(arquivo));
  const std::string linhaPacote = "== Pacote: " + arquivo.string() + "\n";
  const size_t fim = sim.texto.find(linhaPacote);
  ASSERT_NE(fim, std::string::npos) << sim.texto;
  // A progress line per table before the end, the rows per file after it.
  for (const std::string t : kTabelasExportacao) {
    EXPECT_NE(sim.texto.find("\n  " + t + " "), std::string::npos) << t;
    EXPECT_NE(sim.texto.find("\n  " + t + ".txt ", fim), std::string::npos) << t;
  }
  EXPECT_NE(sim.texto.find("[RESULTADO] Exportação Realizada com Sucesso!"), std::string::npos) << sim.texto;
}

TEST(LimpaPasta, DeletesTheFilesButNotTheFolders) {
  PastaTemporaria p("limpapasta");
  std::ofstream(p.path() / "a.txt") << "a";
  std::ofstream(p.path() / "b.txt") << "b";
  fs::create_directory(p.path() / "sub");
  std::ofstream(p.path() / "sub" / "c.txt") << "c";
  EXPECT_TRUE(LimpaPasta(p.str() + "/"));
  EXPECT_FALSE(fs::exists(p.path() / "a.txt"));
  EXPECT_TRUE(fs::exists(p.path() / "sub" / "c.txt"));
  EXPECT_TRUE(LimpaPasta(p.str()));  // nothing left: true
}

}  // namespace
