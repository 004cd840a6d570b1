// Queries that do not hold their rows: the query object on results longer
// than its block (count, locate, going back to the first row, statements run
// while it is open, the connection closed under it), and the rows of the
// receivables of a sample academy, the same through every path (scan,
// condition, ORDER BY through an index, the query object, jetsql).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "apoio.h"
#include "db/bd.h"
#include "db/conexao.h"
#include "jet/storage/check.h"

namespace {

using namespace kor;
using kor::teste::PastaTemporaria;

constexpr int kLinhas = static_cast<int>(TConsulta::kLinhasPorBloco) * 3 + 17;

class ConsultaLongaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    banco_ = pasta_.path() / "dados.mdb";
    teste::criaBancoVazio(banco_);
    teste::conecta(banco_);
    executa("CREATE TABLE D (n LONG)");
    for (int i = 0; i < 10; ++i) executa("INSERT INTO D (n) VALUES (" + std::to_string(i) + ")");
    executa("CREATE TABLE Itens (id AutoIncrement, grupo Long, nome Text(30), PRIMARY KEY (id))");
    // ids 1..kLinhas; grupo = id mod 10; nome "N<id>".
    executa("INSERT INTO Itens (grupo, nome) SELECT 0, 'x' FROM D AS a, D AS b, D AS c WHERE a.n * 100 + b.n * 10 + "
            "c.n < " +
            std::to_string(kLinhas));
    executa("UPDATE Itens SET grupo = id mod 10, nome = 'N' & id");
  }
  void TearDown() override { teste::desconecta(); }

  static int64_t executa(const std::string& sql) {
    TComando c(BD().Conexao);
    c.ParamCheck = false;
    c.CommandText = sql;
    return c.Execute();
  }

  PastaTemporaria pasta_{"consulta_longa"};
  teste::fs::path banco_;
};

TEST_F(ConsultaLongaTest, CountLocateAndFirstOnAResultLongerThanTheBlock) {
  for (const char* sql : {"Select id, nome from Itens", "Select id, nome from Itens Order by id",
                          "Select id, nome from Itens Where grupo >= 0 Order by nome, id"}) {
    SCOPED_TRACE(sql);
    TConsulta q(BD().Conexao);
    q.SetText(sql);
    q.Open();
    EXPECT_FALSE(q.IsEmpty());
    EXPECT_EQ(q.RecordCount(), kLinhas);
    std::vector<int32_t> ids;
    for (q.First(); !q.Eof(); q.Next()) ids.push_back(q.FieldByName("id").AsInteger());
    ASSERT_EQ(ids.size(), static_cast<size_t>(kLinhas));
    EXPECT_FALSE(q.IsEmpty());
    q.Next();
    EXPECT_TRUE(q.Eof());

    // Back to the first row after the walk left the first block.
    q.First();
    ASSERT_FALSE(q.Eof());
    EXPECT_EQ(q.FieldByName("id").AsInteger(), ids[0]);
    q.Next();
    EXPECT_EQ(q.FieldByName("id").AsInteger(), ids[1]);

    // A row in the last block; the walk goes on from it.
    const int32_t alvo = ids[ids.size() - 5];
    ASSERT_TRUE(q.Locate("nome", jet::Value("n" + std::to_string(alvo))));
    EXPECT_EQ(q.FieldByName("id").AsInteger(), alvo);
    q.Next();
    EXPECT_EQ(q.FieldByName("id").AsInteger(), ids[ids.size() - 4]);
    // Not found: the walk stays where it was.
    EXPECT_FALSE(q.Locate("nome", jet::Value("nenhum")));
    EXPECT_EQ(q.FieldByName("id").AsInteger(), ids[ids.size() - 4]);
    EXPECT_EQ(q.RecordCount(), kLinhas);
  }
}

// The export walks a query while it updates rows through other statements.
TEST_F(ConsultaLongaTest, StatementsRunWhileAQueryIsOpen) {
  TConsulta q(BD().Conexao);
  q.SetText("Select id, grupo from Itens Order by id");
  q.Open();
  EXPECT_EQ(q.RecordCount(), kLinhas);
  int vistas = 0;
  for (q.First(); !q.Eof(); q.Next()) {
    const int32_t id = q.FieldByName("id").AsInteger();
    ++vistas;
    EXPECT_EQ(id, vistas);
    // The row in hand (every eighth), and one far ahead of the block in hand.
    if (id % 8 == 0) executa("UPDATE Itens SET grupo = 100 + grupo WHERE id = " + std::to_string(id));
    if (id == 10) executa("UPDATE Itens SET grupo = -1 WHERE id = " + std::to_string(kLinhas - 1));
    if (id == 20) executa("DELETE FROM Itens WHERE id = " + std::to_string(kLinhas));
    if (id == kLinhas - 1) {
      EXPECT_EQ(q.FieldByName("grupo").AsInteger(), -1);  // read after it changed
    }
  }
  EXPECT_EQ(vistas, kLinhas - 1);  // the deleted row is not seen
  // The count follows the statements run since the last one.
  EXPECT_EQ(q.RecordCount(), kLinhas - 1);
  int atualizadas = 0;
  for (int id = 8; id < kLinhas - 1; id += 8) ++atualizadas;
  EXPECT_EQ(teste::codigos("Select Count(*) from Itens Where grupo >= 100").front(), atualizadas);
  q.Close();
  teste::desconecta();
  auto db = jet::Database::open(banco_.string(), {.password = teste::kSenha});
  EXPECT_EQ(jet::checkDatabase(*db), std::vector<std::string>{});
}

TEST_F(ConsultaLongaTest, ClosingTheConnectionEndsTheWalk) {
  TConsulta q(BD().Conexao);
  q.SetText("Select id from Itens");
  q.Open();
  q.Next();
  teste::conecta(banco_);  // closed and opened again
  EXPECT_EQ(q.Fields(0).AsInteger(), 2);  // the row in hand
  EXPECT_THROW(
      {
        for (int i = 0; i < kLinhas; ++i) q.Next();
      },
      ErroBanco);
  EXPECT_THROW(q.RecordCount(), ErroBanco);
  q.Open();  // opened again on the new connection
  EXPECT_EQ(q.RecordCount(), kLinhas);
}

// --- The receivables of a sample academy --------------------------------------

std::string juntas(const std::vector<std::string>& v) {
  std::string s;
  for (const auto& x : v) s += x + "\n";
  return s;
}

class RecebimentosTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    pasta_ = new PastaTemporaria("recebimentos");
    banco_ = new teste::fs::path(pasta_->path() / "dados.mdb");
    teste::geraAcademia(*banco_, 120, false, 5);
  }
  static void TearDownTestSuite() {
    delete banco_;
    delete pasta_;
  }

  // The rows in scan order, as dump prints them and as the query object
  // reads them, with the two sort keys.
  struct Linha {
    std::string canonica, texto;
    int32_t id;
    bool semData;
    double data;
  };
  static std::vector<Linha> varre(std::string& cabecalho) {
    auto db = jet::Database::open(banco_->string(), {.password = teste::kSenha});
    const jet::TableDef& def = db->tableDef("Recebimentos");
    cabecalho.clear();
    for (const auto& c : def.columns) {
      if (!cabecalho.empty()) cabecalho += '\t';
      cabecalho += c.name;
    }
    std::vector<Linha> out;
    auto scan = db->scan("Recebimentos");
    while (scan.next()) {
      const auto& v = scan.values();
      Linha l;
      for (size_t i = 0; i < v.size(); ++i) {
        if (i) {
          l.canonica += '\t';
          l.texto += '\t';
        }
        l.canonica += jet::canonicalText(v[i]);
        l.texto += TextoDoValor(v[i]);
      }
      l.id = v[0].as<int32_t>();
      l.semData = v[5].isNull();
      l.data = l.semData ? 0 : v[5].as<jet::DateTime>().days;
      out.push_back(std::move(l));
    }
    return out;
  }

  static PastaTemporaria* pasta_;
  static teste::fs::path* banco_;
};
PastaTemporaria* RecebimentosTest::pasta_ = nullptr;
teste::fs::path* RecebimentosTest::banco_ = nullptr;

TEST_F(RecebimentosTest, EveryPathGivesTheRowsInTheSameOrder) {
  std::string cabecalho;
  std::vector<Linha> linhas = varre(cabecalho);
  ASSERT_GT(linhas.size(), 4 * TConsulta::kLinhasPorBloco);
  std::vector<Linha> porId = linhas, porVencimento = linhas;
  std::stable_sort(porId.begin(), porId.end(), [](const Linha& a, const Linha& b) { return a.id < b.id; });
  // Descending: Nulls last, ties in scan order.
  std::stable_sort(porVencimento.begin(), porVencimento.end(), [](const Linha& a, const Linha& b) {
    if (a.semData != b.semData) return b.semData;
    return !a.semData && a.data > b.data;
  });
  struct Caso {
    std::string sql;
    const std::vector<Linha>* esperadas;
  };
  const std::vector<Caso> casos = {
      {"SELECT * FROM Recebimentos", &linhas},
      {"SELECT * FROM Recebimentos WHERE recebID > 0", &linhas},
      {"SELECT * FROM Recebimentos ORDER BY recebID", &porId},
      {"SELECT * FROM Recebimentos ORDER BY recebDtVencimento DESC", &porVencimento},
  };
  const std::string jetsql = std::string(KOR_JETSQL) + " " + banco_->string() + " --password " + teste::kSenha;
  teste::Saida dump = teste::executa(jetsql + " dump Recebimentos");
  ASSERT_EQ(dump.status, 0) << dump.texto;
  std::vector<std::string> canonicas;
  for (const auto& l : linhas) canonicas.push_back(l.canonica);
  EXPECT_EQ(dump.texto, cabecalho + "\n" + juntas(canonicas));

  teste::conecta(*banco_);
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.sql);
    std::vector<std::string> canonica, texto;
    for (const auto& l : *caso.esperadas) {
      canonica.push_back(l.canonica);
      texto.push_back(l.texto);
    }
    teste::Saida tsv = teste::executa(jetsql + " --tsv -c \"" + caso.sql + "\"");
    ASSERT_EQ(tsv.status, 0) << tsv.texto;
    EXPECT_EQ(tsv.texto, cabecalho + "\n" + juntas(canonica));
    EXPECT_EQ(teste::linhas(caso.sql), texto);
  }
  teste::desconecta();

  // The table view: a header, a rule, the rows and their count.
  teste::Saida tabela = teste::executa(jetsql + " -c \"SELECT recebID, recebValor FROM Recebimentos\"");
  ASSERT_EQ(tabela.status, 0) << tabela.texto;
  EXPECT_EQ(std::count(tabela.texto.begin(), tabela.texto.end(), '\n'), static_cast<long>(linhas.size()) + 3);
  EXPECT_NE(tabela.texto.find("\n(" + std::to_string(linhas.size()) + " linhas)\n"), std::string::npos);
}

}  // namespace
