// The preparation of the desktop database: every repair on a dirty sample
// academy (its rows and only its rows changed), the start-up's tables and
// columns, a second start that changes nothing, the job "OUTROS", and the
// conversion of legacy modalities.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "apoio.h"
#include "app/inicio.h"
#include "common/mensagens.h"
#include "common/texto.h"
#include "db/bd.h"
#include "db/uglobal.h"
#include "jet/storage/check.h"
#include "prepare/preparacao.h"

namespace {

using namespace kor;
using kor::teste::fs::path;
using kor::teste::PastaTemporaria;

// A dirty sample academy, written once per test program and copied for
// every test that changes it.
class Preparacao : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    amostra_ = new PastaTemporaria("preparacao_amostra");
    teste::geraAcademia(amostra_->path() / "dados.mdb", 150, /*suja=*/true);
  }
  static void TearDownTestSuite() {
    delete amostra_;
    amostra_ = nullptr;
  }
  void SetUp() override {
    banco_ = pasta_.path() / "dados.mdb";
    teste::fs::copy_file(amostra_->path() / "dados.mdb", banco_);
    teste::conecta(banco_);
  }
  void TearDown() override { teste::desconecta(); }

  static PastaTemporaria* amostra_;
  PastaTemporaria pasta_{"preparacao"};
  path banco_;
};
PastaTemporaria* Preparacao::amostra_ = nullptr;

// --- The repairs --------------------------------------------------------------------

struct Tabela {
  const char* nome;
  const char* chave;
};
const Tabela kTabelas[] = {
    {"Alunos", "alunoID"},          {"CartaoParcelas", "Id"},     {"Matricula", "matriculaID"},
    {"Recebimentos", "recebID"},    {"CieloChamadas", "Id"},      {"ChequesRecebidos", "chequeID"},
    {"Recibos", "reciboID"},        {"Vendas", "vendaID"},        {"Funcionarios", "funcID"},
    {"FuncionariosFuncoes", "funcaoID"}, {"Modalidades", "modalidadeID"},
};

const char* chaveDe(const std::string& tabela) {
  for (const Tabela& t : kTabelas) {
    if (tabela == t.nome) return t.chave;
  }
  return nullptr;
}

// One repair: the rows with the defect (before), the column it changes and
// the condition those rows meet afterwards.
struct Reparo {
  const char* tabela;
  const char* coluna;
  const char* defeito;
  const char* reparado;
};

const Reparo kReparos[] = {
    {"Alunos", "alunoSexo", "alunoSexo is null", "alunoSexo = 0"},
    {"Alunos", "alunoEstadoCivil",
     "alunoEstadoCivil <> \"SOLTEIRO\" and alunoEstadoCivil <> \"CASADO\" and alunoEstadoCivil <> \"SEPARADO\" and "
     "alunoEstadoCivil <> \"DIVORCIADO\" and alunoEstadoCivil <> \"VI\xDAVO\"",
     "alunoEstadoCivil is null"},
    {"Alunos", "funcID", "funcID is null", "funcID = 0"},
    {"Alunos", "alunoDataNascimento", "Year(alunoDataNascimento) < 1899 or Year(alunoDataNascimento) > Year(Now)",
     "alunoDataNascimento = #30/12/1899#"},
    {"Alunos", "alunoCEP", "IsNumeric(alunoCEP) = False and alunoCEP <> \"\"", "alunoCEP is null"},
    {"CartaoParcelas", "cartaoID", "cartaoID = 0 or cartaoID is null", "cartaoID = 1"},
    {"Matricula", "matriculaDtFim",
     "matriculaSituacao = \"ENCERRADA\" and (matriculaDtFim is null or matriculaDtFim <> matriculaDtEncerramento)",
     "matriculaDtFim = matriculaDtEncerramento"},
    {"Recebimentos", "recebExcluido",
     "recebPago = True and recebFuncIdIsentou = 0 and recebExcluido = False and recebID not in (Select recebID "
     "from RecibosRecebimentos)",
     "recebExcluido = True"},
    {"CieloChamadas", "Hora", "Hora = #30/12/1899#", "Hora = #30/12/1899 23:59:00#"},
    {"ChequesRecebidos", "chequeCompensado", "chequeBomPara <= Now and chequeCompensado = False",
     "chequeCompensado = True"},
    {"ChequesRecebidos", "chequeDtCompensacao",
     "chequeDtCompensacao is null and (chequeCompensado = True or chequeBomPara <= Now)",
     "chequeDtCompensacao = chequeBomPara"},
    {"Recibos", "formaID", "formaID is null", "formaID = 1"},
    {"Recibos", "reciboData", "reciboData is null or reciboData >= #12/6/9999# or Year(reciboData) < 2000",
     "reciboData = #14/07/2004#"},
    {"Recibos", "reciboHora", "reciboHora = #30/12/1899#", "reciboHora = #30/12/1899 23:59:00#"},
    {"Recibos", "reciboValorPagar",
     "(reciboValorPagar is null and reciboValorPago is not null) or (reciboValorPagar = 0 and reciboValorPago <> 0)",
     "reciboValorPagar = reciboValorPago"},
    // A receipt with nothing paid and no amount due ends with both Null: the
    // amount due takes the missing amount paid first.
    {"Recibos", "reciboValorPagar", "reciboValorPagar = 0 and reciboValorPago is null",
     "reciboValorPagar is null and reciboValorPago is null"},
    {"Recibos", "reciboValorPago", "reciboValorPago is null and reciboValorPagar <> 0",
     "reciboValorPago = reciboValorPagar"},
    {"Recibos", "reciboDesconto", "reciboDesconto is null", "reciboDesconto = 0"},
    {"Recibos", "reciboHistorico", "reciboHistorico is null", "reciboHistorico = \"PAGAMENTO\""},
    {"Matricula", "matriculaDtInicio",
     "matriculaDtInicio is null or matriculaDtInicio >= #12/6/9999# or Year(matriculaDtInicio) < 2000",
     "matriculaDtInicio = #14/07/2004#"},
    {"Recebimentos", "recebDtVencimento",
     "recebDtVencimento is null or recebDtVencimento >= #12/6/9999# or Year(recebDtVencimento) < 2000",
     "recebDtVencimento = #14/07/2004#"},
    // The issue date takes the due date as repaired just before.
    {"Recebimentos", "recebDtEmissao",
     "recebDtEmissao is null or recebDtEmissao >= #12/6/9999# or Year(recebDtEmissao) < 2000",
     "recebDtEmissao = recebDtVencimento and Year(recebDtEmissao) >= 2000"},
    {"Recebimentos", "recebMulta", "recebMulta is null", "recebMulta = 0"},
    {"Vendas", "vendaData", "vendaData is null or vendaData >= #12/6/9999# or Year(vendaData) < 2000",
     "vendaData = #14/07/2004#"},
    {"Vendas", "vendaHora", "vendaHora = #30/12/1899#", "vendaHora = #30/12/1899 23:59:00#"},
    {"Vendas", "funcID", "funcID = 0 or funcID is null", "funcID = 1"},
    {"Vendas", "funcVendedor", "funcVendedor = 0 or funcVendedor is null", "funcVendedor = funcID and funcID <> 0"},
    {"Funcionarios", "funcaoID",
     "funcaoID is null or funcaoID = 0 or funcaoID not in (Select funcaoID from FuncionariosFuncoes)",
     "funcaoID in (Select funcaoID from FuncionariosFuncoes Where funcaoDescricao = \"OUTROS\")"},
};

// Table -> key -> column -> text of the value.
using Foto = std::map<std::string, std::map<int32_t, std::map<std::string, std::string>>>;

Foto fotografa() {
  Foto foto;
  for (const Tabela& t : kTabelas) {
    TConsulta q(BD().Conexao);
    q.ParamCheck = false;
    q.SetText(std::string("Select * from ") + t.nome);
    q.Open();
    auto& linhas = foto[t.nome];
    for (q.First(); !q.Eof(); q.Next()) {
      auto& linha = linhas[q.FieldByName(t.chave).AsInteger()];
      for (size_t i = 0; i < q.FieldCount(); ++i) linha[q.Fields(i).FieldName()] = q.Fields(i).AsString();
    }
  }
  return foto;
}

TEST_F(Preparacao, EveryRepairChangesItsRowsAndNothingElse) {
  // Defects the sample lacks at this size: a receivable whose two dates are
  // both impossible, a sale without a date, an empty postal code (which stays).
  for (const char* sql : {
           "UPDATE Recebimentos set recebDtVencimento = Null, recebDtEmissao = #1/1/1970# Where recebID = 1",
           "UPDATE Vendas set vendaData = Null Where vendaID = 1",
           "UPDATE Alunos set alunoCEP = \"\" Where alunoID = 2",
       }) {
    ASSERT_EQ(ExecutaSQL(sql), "OK") << sql;
  }
  std::map<const Reparo*, std::vector<int32_t>> defeituosas;
  for (const Reparo& r : kReparos) {
    defeituosas[&r] = teste::codigos(std::string("Select ") + chaveDe(r.tabela) + " from " + r.tabela + " Where " +
                                     r.defeito);
    EXPECT_FALSE(defeituosas[&r].empty()) << "the sample has no row for: " << r.defeito;
  }
  const Foto antes = fotografa();

  std::vector<std::string> longa;
  AtualizaBanco({}, [&] { longa.push_back("hourglass"); });
  EXPECT_EQ(longa.size(), 1u);

  for (const Reparo& r : kReparos) {
    const std::string prefixo = std::string("Select Count(*) as Total from ") + r.tabela + " Where ";
    EXPECT_EQ(RetornaTotal(prefixo + "(" + r.defeito + ")"), 0) << r.defeito;
    const std::vector<int32_t>& ids = defeituosas[&r];
    EXPECT_EQ(RetornaTotal(prefixo + chaveDe(r.tabela) + " in (" + teste::lista(ids) + ") and (" + r.reparado + ")"),
              static_cast<int32_t>(ids.size()))
        << r.reparado;
  }
  // The receivable with both dates impossible has the fallback date in both.
  EXPECT_EQ(teste::linhas("Select recebDtVencimento, recebDtEmissao from Recebimentos Where recebID = 1"),
            std::vector<std::string>{"14/07/2004\t14/07/2004"});

  // Outside the repaired rows and columns nothing changed, and only the job
  // OUTROS was added.
  std::set<std::tuple<std::string, int32_t, std::string>> permitidas;
  for (const Reparo& r : kReparos) {
    for (int32_t id : defeituosas[&r]) permitidas.insert({r.tabela, id, r.coluna});
  }
  const Foto depois = fotografa();
  for (const auto& [tabela, linhas] : antes) {
    const auto& novas = depois.at(tabela);
    for (const auto& [chave, colunas] : linhas) {
      auto it = novas.find(chave);
      ASSERT_NE(it, novas.end()) << tabela << " lost row " << chave;
      for (const auto& [coluna, valor] : colunas) {
        if (it->second.at(coluna) != valor) {
          EXPECT_TRUE(permitidas.count({tabela, chave, coluna}))
              << tabela << " " << chave << " " << coluna << ": " << valor << " -> " << it->second.at(coluna);
        }
      }
    }
    size_t acrescidas = novas.size() - linhas.size();
    EXPECT_EQ(acrescidas, tabela == "FuncionariosFuncoes" ? 1u : 0u) << tabela;
  }
}

TEST_F(Preparacao, CreatesTheCatalogueTablesAndTheNewColumnsEmpty) {
  AtualizaBanco();
  for (const char* sql : {
           "Select CodigoModalidade, Modalidade from Online_Modalidades",
           "Select CodigoPlano, Plano, Tipo, Situacao from Online_Planos",
           "Select CodigoPlano, CodigoModalidade from Online_PlanosModalidades",
           "Select CodigoPlanoValor, CodigoPlano, Meses, Valor, Situacao from Online_PlanosValores",
           "Select recebID, reciboID from Online_RecibosRecebimentos",
           "Select ProximaGeracaoCobranca from Matricula Where ProximaGeracaoCobranca is not null",
           "Select CodigoPlanoValor from Modalidades Where CodigoPlanoValor <> 0 or CodigoPlanoValor is null",
       }) {
    EXPECT_EQ(teste::linhas(sql), std::vector<std::string>{}) << sql;
  }
  // The auto-numbered keys work: a first catalogue row gets code 1.
  ASSERT_EQ(ExecutaSQL("INSERT INTO Online_Planos (Plano, Tipo, Situacao) VALUES (\"PLANO\", \"M\", \"A\")"), "OK");
  EXPECT_EQ(BuscaCodigoPlano("PLANO"), 1);
  ASSERT_EQ(ExecutaSQL("INSERT INTO Online_PlanosModalidades VALUES (1, 1)"), "OK");
  EXPECT_NE(ExecutaSQL("INSERT INTO Online_PlanosModalidades VALUES (1, 1)"), "OK");  // the pair is the key
}

TEST_F(Preparacao, ASecondStartChangesNothingAndKeepsTheCatalogue) {
  MensagensRoteiro mensagens;
  teste::desconecta();
  const std::string pasta = pasta_.str();
  ASSERT_TRUE(PreparaInicio(pasta, mensagens));
  teste::desconecta();
  const auto primeira = teste::conteudo(banco_);
  ASSERT_TRUE(PreparaInicio(pasta, mensagens));
  teste::desconecta();
  EXPECT_TRUE(primeira == teste::conteudo(banco_)) << "the second start changed the database";

  // The catalogue the user built stays; the export's table is emptied.
  ASSERT_TRUE(PreparaInicio(pasta, mensagens));
  ASSERT_EQ(ExecutaSQL("INSERT INTO Online_Modalidades (Modalidade) VALUES (\"JUDO\")"), "OK");
  ASSERT_EQ(ExecutaSQL("INSERT INTO Online_RecibosRecebimentos VALUES (1, 1)"), "OK");
  ASSERT_EQ(ExecutaSQL("UPDATE Modalidades set CodigoPlanoValor = 5 Where modalidadeID = 1"), "OK");
  ASSERT_TRUE(PreparaInicio(pasta, mensagens));
  EXPECT_EQ(BuscaCodigoModalidade("JUDO"), 1);
  EXPECT_EQ(RetornaTotal("Select Count(*) as Total from Online_RecibosRecebimentos"), 0);
  EXPECT_EQ(RetornaTotal("Select CodigoPlanoValor as Total from Modalidades Where modalidadeID = 1"), 5);
  EXPECT_EQ(mensagens.exibidas().size(), 0u);
}

TEST_F(Preparacao, TheJobOutrosIsCreatedOnlyWhenNeededAndOnce) {
  struct Caso {
    const char* nome;
    std::vector<std::string> antes;  // statements on the fresh copy
    int outrosDepois;                // jobs OUTROS afterwards
    bool criado;                     // a job row was added
  };
  const std::vector<Caso> casos = {
      {"nobody lacks a job", {"UPDATE Funcionarios set funcaoID = 1"}, 0, false},
      {"jobless employees, no job OUTROS", {}, 1, true},
      {"two jobs OUTROS already",
       {"INSERT INTO FuncionariosFuncoes (funcaoDescricao) VALUES (\"OUTROS\")",
        "INSERT INTO FuncionariosFuncoes (funcaoDescricao) VALUES (\"OUTROS\")"},
       2, false},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    teste::desconecta();
    teste::fs::remove(banco_);
    teste::fs::copy_file(amostra_->path() / "dados.mdb", banco_);
    teste::conecta(banco_);
    for (const std::string& sql : c.antes) ASSERT_EQ(ExecutaSQL(sql), "OK") << sql;
    const int32_t funcoes = RetornaTotal("Select Count(*) as Total from FuncionariosFuncoes");
    const std::vector<int32_t> semFuncao = teste::codigos(
        "Select funcID from Funcionarios Where funcaoID is null or funcaoID = 0 or funcaoID not in (Select funcaoID "
        "from FuncionariosFuncoes)");

    AtualizaBanco();
    EXPECT_EQ(RetornaTotal("Select Count(*) as Total from FuncionariosFuncoes Where funcaoDescricao = \"OUTROS\""),
              c.outrosDepois);
    EXPECT_EQ(RetornaTotal("Select Count(*) as Total from FuncionariosFuncoes"), funcoes + (c.criado ? 1 : 0));
    const int32_t outros =
        RetornaTotal("Select Max(funcaoID) as Total from FuncionariosFuncoes Where funcaoDescricao = \"OUTROS\"");
    EXPECT_EQ(RetornaTotal("Select Count(*) as Total from Funcionarios Where funcID in (" +
                           teste::lista(semFuncao) + ") and funcaoID = " + std::to_string(outros)),
              static_cast<int32_t>(semFuncao.size()));
    EXPECT_EQ(RetornaTotal("Select Count(*) as Total from Funcionarios Where funcaoID = 0 or funcaoID is null"), 0);

    // Another employee loses the job: the next start reuses the same OUTROS.
    if (outros > 0) {
      ASSERT_EQ(ExecutaSQL("UPDATE Funcionarios set funcaoID = Null Where funcID = 1"), "OK");
      AtualizaBanco();
      EXPECT_EQ(RetornaTotal("Select Count(*) as Total from FuncionariosFuncoes"), funcoes + (c.criado ? 1 : 0));
      EXPECT_EQ(RetornaTotal("Select funcaoID as Total from Funcionarios Where funcID = 1"), outros);
    }
  }
}

// --- The conversion of legacy modalities ----------------------------------------------

TEST_F(Preparacao, ConvertsTheSamplesLegacyModalities) {
  AtualizaBanco();
  // Enrolments per pair of legacy modality and form.
  const auto pares = teste::linhas(
      "Select modalidadeID, matriculaForma, Count(*) from Matricula Where modalidadeID in (Select modalidadeID from "
      "Modalidades Where modalidadePlano = 0) Group by modalidadeID, matriculaForma Order by modalidadeID");
  ASSERT_EQ(pares.size(), 6u);
  const auto legadasAntes = teste::linhas("Select * from Modalidades Where modalidadePlano = 0 Order by modalidadeID");

  ConverteModalidades();

  // Windows-1252: \xC1 = Á, \xC3 = Ã, \xC7 = Ç.
  EXPECT_EQ(teste::linhas("Select modalidadeID, modalidadeNome, modalidadeMensal, modalidadeExcluida, "
                          "modalidadePlano, modalidadeMeses, CodigoPlanoValor from Modalidades Where modalidadeID > "
                          "17 Order by modalidadeID"),
            (std::vector<std::string>{
                "18\t[0011] HIDROGIN\xC1STICA - 3 MESES\t360\tTrue\t7\t3\t0",
                "19\t[0011] HIDROGIN\xC1STICA - MENSAL\t130\tTrue\t1\t0\t0",
                "20\t[0012] NATA\xC7\xC3O INFANTIL - ANUAL\t1300\tTrue\t6\t0\t0",
                "21\t[0012] NATA\xC7\xC3O INFANTIL - MENSAL\t120\tTrue\t1\t0\t0",
                "22\t[0013] JIU-JITSU - 18 MESES\t2200\tTrue\t7\t18\t0",
                "23\t[0013] JIU-JITSU - MENSAL\t140\tTrue\t1\t0\t0",
            }));
  // Every group of enrolments moved whole to its new modality, in the order
  // of the pairs; the legacy modalities stay as they were, without enrolments.
  const auto movidas = teste::linhas(
      "Select Count(*) from Matricula Where modalidadeID > 17 Group by modalidadeID Order by modalidadeID");
  ASSERT_EQ(movidas.size(), pares.size());
  for (size_t i = 0; i < pares.size(); ++i) {
    EXPECT_EQ(movidas[i], pares[i].substr(pares[i].rfind('\t') + 1)) << pares[i];
  }
  EXPECT_EQ(RetornaTotal("Select Count(*) as Total from Matricula Where modalidadeID in (11, 12, 13)"), 0);
  EXPECT_EQ(teste::linhas("Select * from Modalidades Where modalidadePlano = 0 Order by modalidadeID"), legadasAntes);

  // Nothing is left to convert.
  ConverteModalidades();
  EXPECT_EQ(RetornaTotal("Select Count(*) as Total from Modalidades"), 23);
}

// A small desktop database of legacy modalities made for the edge cases.
class Conversao : public ::testing::Test {
 protected:
  void SetUp() override {
    banco_ = pasta_.path() / "dados.mdb";
    teste::criaBancoDesktop(banco_);
    teste::conecta(banco_);
    AtualizaBanco();
  }
  void TearDown() override { teste::desconecta(); }

  static void modalidade(int id, const std::string& nome, int plano = 0) {
    ASSERT_EQ(ExecutaSQL("INSERT INTO Modalidades (modalidadeID, modalidadeNome, modalidadeMensal, modalidadePlano, "
                         "modalidadeMeses, modalidadeExcluida, CodigoPlanoValor) VALUES (" +
                         std::to_string(id) + ", " + AspasSimples(nome) + ", 50, " + std::to_string(plano) +
                         ", 0, False, 0)"),
              "OK");
  }
  // An enrolment; a form or an amount given as "Null" is stored Null.
  static void matricula(int modalidadeID, const std::string& forma, const std::string& valor = "100",
                        const std::string& desconto = "0") {
    const std::string f = forma == "Null" ? forma : AspasSimples(forma);
    ASSERT_EQ(ExecutaSQL("INSERT INTO Matricula (alunoID, modalidadeID, matriculaValor, matriculaDesconto, "
                         "matriculaForma, matriculaSituacao) VALUES (1, " +
                         std::to_string(modalidadeID) + ", " + valor + ", " + desconto + ", " + f + ", 'ATIVA')"),
              "OK");
  }

  PastaTemporaria pasta_{"conversao"};
  path banco_;
};

TEST_F(Conversao, FormsNamesPricesAndCodesOfEveryKind) {
  modalidade(7, "NATACAO");
  modalidade(12345, "PILATES SOLO");
  modalidade(12346, "TREINAMENTO FUNCIONAL EM GRUPO PARA INICIANTES");  // 46 characters
  modalidade(12347, "SEM MATRICULAS");
  modalidade(12348, "MUSCULACAO", 1);  // not legacy
  matricula(7, "MENSAL", "12.5", "0");  // 12.5 rounds to 12
  matricula(7, "3 MESES", "12.5", "1");  // 13.5 rounds to 14
  matricula(7, "3 MESES", "99", "0");    // a later enrolment of the pair: not its price
  matricula(7, "BIMESTRAL", "100", "Null");  // a Null amount gives price 0
  matricula(7, "QUADRIMESTRAL");
  matricula(7, "SEMESTRAL");
  matricula(7, "TRIMESTRAL");
  matricula(7, "ANUAL");
  matricula(12345, "trimestral");      // a name in another case: one group with its upper-case form
  matricula(12345, "TRIMESTRAL");
  matricula(12345, "SEMESTRAL ");      // a trailing blank: not a name either
  matricula(12345, "2X 10 MESES");     // every digit counts: 210 months
  matricula(12345, "D'\xC1GUA 6");     // a quote in the form
  matricula(12346, "MENSAL");
  matricula(12348, "3 MESES");

  ConverteModalidades();

  auto novas = teste::linhas(
      "Select modalidadeNome, modalidadeMensal, modalidadePlano, modalidadeMeses, modalidadeExcluida, "
      "CodigoPlanoValor from Modalidades Where modalidadeID > 12348");
  std::sort(novas.begin(), novas.end());
  EXPECT_EQ(novas, (std::vector<std::string>{
                       "[0007] NATACAO - 3 MESES\t14\t7\t3\tTrue\t0",
                       "[0007] NATACAO - ANUAL\t100\t6\t0\tTrue\t0",
                       "[0007] NATACAO - BIMESTRAL\t0\t2\t0\tTrue\t0",
                       "[0007] NATACAO - MENSAL\t12\t1\t0\tTrue\t0",
                       "[0007] NATACAO - QUADRIMESTRAL\t100\t4\t0\tTrue\t0",
                       "[0007] NATACAO - SEMESTRAL\t100\t5\t0\tTrue\t0",
                       "[0007] NATACAO - TRIMESTRAL\t100\t3\t0\tTrue\t0",
                       "[12345] PILATES SOLO - 2X 10 MESES\t100\t7\t210\tTrue\t0",
                       "[12345] PILATES SOLO - D'\xC1GUA 6\t100\t7\t6\tTrue\t0",
                       "[12345] PILATES SOLO - SEMESTRAL \t100\t1\t0\tTrue\t0",
                       "[12345] PILATES SOLO - trimestral\t100\t3\t0\tTrue\t0",
                       // "[12346] " + 46 characters + " - MENSAL", cut to 50.
                       "[12346] TREINAMENTO FUNCIONAL EM GRUPO PARA INICIA\t100\t1\t0\tTrue\t0",
                   }));
  // Every enrolment of a legacy modality moved to the new modality of its form.
  EXPECT_EQ(RetornaTotal("Select Count(*) as Total from Matricula Where modalidadeID in (7, 12345, 12346)"), 0);
  auto movidas = teste::linhas(
      "Select d.modalidadeNome, m.matriculaForma, Count(*) from Matricula as m INNER JOIN Modalidades as d ON "
      "m.modalidadeID = d.modalidadeID Where d.modalidadeID > 12348 Group by d.modalidadeNome, m.matriculaForma");
  std::sort(movidas.begin(), movidas.end());
  EXPECT_EQ(movidas, (std::vector<std::string>{
                         "[0007] NATACAO - 3 MESES\t3 MESES\t2",
                         "[0007] NATACAO - ANUAL\tANUAL\t1",
                         "[0007] NATACAO - BIMESTRAL\tBIMESTRAL\t1",
                         "[0007] NATACAO - MENSAL\tMENSAL\t1",
                         "[0007] NATACAO - QUADRIMESTRAL\tQUADRIMESTRAL\t1",
                         "[0007] NATACAO - SEMESTRAL\tSEMESTRAL\t1",
                         "[0007] NATACAO - TRIMESTRAL\tTRIMESTRAL\t1",
                         "[12345] PILATES SOLO - 2X 10 MESES\t2X 10 MESES\t1",
                         "[12345] PILATES SOLO - D'\xC1GUA 6\tD'\xC1GUA 6\t1",
                         "[12345] PILATES SOLO - SEMESTRAL \tSEMESTRAL \t1",
                         "[12345] PILATES SOLO - trimestral\ttrimestral\t2",  // both spellings
                         "[12346] TREINAMENTO FUNCIONAL EM GRUPO PARA INICIA\tMENSAL\t1",
                     }));
  EXPECT_EQ(RetornaTotal("Select Count(*) as Total from Matricula Where modalidadeID = 12348"), 1);  // untouched
  ConverteModalidades();
  EXPECT_EQ(RetornaTotal("Select Count(*) as Total from Modalidades"), 5 + 12);
}

TEST_F(Conversao, EmptyAndNullFormsEndUnderOneMonthlyModality) {
  modalidade(20, "BOXE");
  matricula(20, "");
  matricula(20, "Null");
  matricula(20, "Null");
  matricula(20, "MENSAL");

  ConverteModalidades();

  // The empty form and the missing one are the same unknown form: one new
  // modality of periodicity 1 takes all three enrolments, and the legacy
  // modality keeps none (so the next start has nothing to do).
  auto novas = teste::linhas(
      "Select modalidadeNome, modalidadePlano, modalidadeMeses from Modalidades Where modalidadeID > 20");
  std::sort(novas.begin(), novas.end());
  EXPECT_EQ(novas, (std::vector<std::string>{"[0020] BOXE - \t1\t0", "[0020] BOXE - MENSAL\t1\t0"}));
  EXPECT_EQ(RetornaTotal("Select Count(*) as Total from Matricula Where modalidadeID = 20"), 0);
  EXPECT_EQ(RetornaTotal("Select Count(*) as Total from Matricula Where modalidadeID = (Select modalidadeID from "
                         "Modalidades Where modalidadeNome = '[0020] BOXE - ')"),
            3);
  EXPECT_EQ(RetornaTotal("Select Count(*) as Total from Modalidades Where modalidadePlano = 0 and modalidadeID in "
                         "(Select modalidadeID from Matricula)"),
            0);
  ConverteModalidades();
  EXPECT_EQ(RetornaTotal("Select Count(*) as Total from Modalidades"), 3);
}

TEST_F(Conversao, EnrolmentsStayWhenTheirNewModalityCannotBeWritten) {
  // Names unique, and the name the MENSAL pair would get already taken.
  ASSERT_EQ(ExecutaSQL("CREATE UNIQUE INDEX idxNomeUnico ON Modalidades (modalidadeNome)"), "OK");
  modalidade(7, "NATACAO");
  modalidade(30, "[0007] NATACAO - MENSAL", 1);
  modalidade(40, "MUSCULACAO", 1);
  matricula(7, "MENSAL");
  matricula(7, "ANUAL");

  ConverteModalidades();

  EXPECT_EQ(teste::linhas("Select modalidadeID, matriculaForma from Matricula Order by matriculaForma"),
            (std::vector<std::string>{"41\tANUAL", "7\tMENSAL"}));
  EXPECT_EQ(RetornaTotal("Select Count(*) as Total from Matricula Where modalidadeID in (30, 40)"), 0);
}

TEST_F(Conversao, AnEngineErrorOfItsQueriesReachesTheCaller) {
  ASSERT_EQ(ExecutaSQL("DROP TABLE Matricula"), "OK");
  EXPECT_THROW(ConverteModalidades(), ErroBanco);
}

}  // namespace
