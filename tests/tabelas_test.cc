// The extraction queries of the package: which rows reach each file, the end
// dates of deleted enrolments, the account e-mail's rows, a table the
// database lacks and a preparation that fails.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "apoio.h"
#include "apoio_exportacao.h"
#include "common/globais.h"
#include "common/mensagens.h"
#include "export/arquivo.h"
#include "export/tabelas.h"

namespace {

using namespace kor;
using kor::teste::PastaTemporaria;

class TabelasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    teste::criaBancoExportacao(pasta_.path() / "dados.mdb");
    teste::conecta(pasta_.path() / "dados.mdb");
    vEmailConta = "conta@academia.com";
    vVerificouFuncionarios = 0;
  }
  void TearDown() override {
    teste::desconecta();
    vEmailConta.clear();
  }

  // A small academy: each row says whether it is exported.
  static void academia() {
    teste::executaTodas({
        "INSERT INTO Alunos (alunoID, alunoMatricula, alunoNome, alunoEmail, alunoExcluido, alunoTemCartao, "
        "alunoCartao) VALUES (1, 501, 'Ana', 'conta@academia.com', False, True, '0042')",
        "INSERT INTO Alunos (alunoID, alunoMatricula, alunoNome, alunoEmail, alunoExcluido) VALUES (2, 502, 'Bia', "
        "'o\"brien@academia.com', False)",
        "INSERT INTO Alunos (alunoID, alunoMatricula, alunoNome, alunoEmail, alunoExcluido) VALUES (3, 503, 'Caio', "
        "'CONTA@academia.com', True)",
        "INSERT INTO Modalidades (modalidadeID, modalidadeNome, CodigoPlanoValor) VALUES (1, 'MUSCULACAO', 5)",
        // Enrolments: 10 active (exported); 11 deleted without receivables
        // (not); 12 and 13 deleted with an open receivable (exported, the end
        // date set); 14 of a student that does not exist, 15 of a modality
        // that does not exist, 16 deleted with an exempted receivable (not).
        "INSERT INTO Matricula (matriculaID, alunoID, modalidadeID, matriculaSituacao, matriculaForma, "
        "matriculaValor, matriculaDesconto, matriculaDiaVencimento, matriculaDtInicio, matriculaExcluida) VALUES "
        "(10, 1, 1, 'ATIVA', 'MENSAL', 90, 10, 10, #01/05/2024#, False)",
        "INSERT INTO Matricula (matriculaID, alunoID, modalidadeID, matriculaSituacao, matriculaForma, "
        "matriculaValor, matriculaDesconto, matriculaDiaVencimento, matriculaExcluida) VALUES (11, 1, 1, 'ATIVA', "
        "'MENSAL', 90, 0, 10, True)",
        "INSERT INTO Matricula (matriculaID, alunoID, modalidadeID, matriculaSituacao, matriculaForma, "
        "matriculaValor, matriculaDesconto, matriculaDiaVencimento, matriculaDtFim, matriculaDtEncerramento, "
        "matriculaDtBloqueio, matriculaExcluida) VALUES (12, 1, 1, 'ATIVA', 'MENSAL', 90, 0, 10, #12/31/2024#, "
        "#03/03/2024#, #05/01/2024#, True)",
        "INSERT INTO Matricula (matriculaID, alunoID, modalidadeID, matriculaSituacao, matriculaForma, "
        "matriculaValor, matriculaDesconto, matriculaDiaVencimento, matriculaDtFim, matriculaExcluida) VALUES (13, 1, "
        "1, 'ATIVA', 'MENSAL', 90, 0, 15, #12/31/2024#, True)",
        "INSERT INTO Matricula (matriculaID, alunoID, modalidadeID, matriculaSituacao, matriculaForma, "
        "matriculaValor, matriculaDiaVencimento, matriculaExcluida) VALUES (14, 99, 1, 'ATIVA', 'MENSAL', 90, 10, "
        "False)",
        "INSERT INTO Matricula (matriculaID, alunoID, modalidadeID, matriculaSituacao, matriculaForma, "
        "matriculaValor, matriculaDiaVencimento, matriculaExcluida) VALUES (15, 1, 7, 'ATIVA', 'MENSAL', 90, 10, "
        "False)",
        "INSERT INTO Matricula (matriculaID, alunoID, modalidadeID, matriculaSituacao, matriculaForma, "
        "matriculaValor, matriculaDiaVencimento, matriculaExcluida) VALUES (16, 1, 1, 'ATIVA', 'MENSAL', 90, 10, "
        "True)",
        "INSERT INTO Vendas (vendaID) VALUES (500)",
        "INSERT INTO VendasItens (vendaID) VALUES (500)",
        "INSERT INTO Vendas (vendaID) VALUES (501)",
        "INSERT INTO VendasItens (vendaID) VALUES (502)",
        // Receivables: exported are 100, 101, 102, 104 (no student) and 106
        // (a sale with items), in recebID order.
        recebimento(100, 1, 1, 10),
        recebimento(101, 1, 1, 12),
        recebimento(102, 1, 1, 13, "#03/10/2024#"),
        recebimento(103, 1, 1, 16, "Null", 5),
        recebimento(104, 0, 3, 0),
        recebimento(105, 99, 3, 0),
        recebimento(106, 1, 2, 500),
        recebimento(107, 1, 2, 501),
        recebimento(108, 1, 2, 502),
        recebimento(109, 1, 1, 10, "Null", 0, true),
        recebimento(110, 1, 1, 999),
        // Receipts: 200 exported; 201 cancelled; 202 linked to no exported
        // receivable.
        "INSERT INTO Recibos (reciboID, reciboData, reciboCancelado, CieloChamada) VALUES (200, #04/01/2024#, False, "
        "1)",
        "INSERT INTO Recibos (reciboID, reciboData, reciboCancelado) VALUES (201, #04/01/2024#, True)",
        "INSERT INTO Recibos (reciboID, reciboData, reciboCancelado) VALUES (202, #04/01/2024#, False)",
        "INSERT INTO RecibosRecebimentos (recebID, reciboID) VALUES (100, 200)",
        "INSERT INTO RecibosRecebimentos (recebID, reciboID) VALUES (104, 201)",
        "INSERT INTO RecibosRecebimentos (recebID, reciboID) VALUES (105, 202)",
        "INSERT INTO CieloChamadas (Id, recebID, identificacao) VALUES (1, 100, '12345678901234567890')",
        "INSERT INTO CieloChamadas (Id, recebID, identificacao) VALUES (2, 105, 'x')",
        "INSERT INTO CieloChamadasRecebimentos (CieloChamada, recebID) VALUES (1, 100)",
        "INSERT INTO CieloChamadasRecebimentos (CieloChamada, recebID) VALUES (2, 105)",
        "INSERT INTO CartaoParcelas (Id, reciboID, cartaoID) VALUES (300, 200, 2)",
        "INSERT INTO CartaoParcelas (Id, reciboID, cartaoID) VALUES (301, 201, 1)",
        "INSERT INTO CartaoParcelas (Id, reciboID, cartaoID) VALUES (302, 202, 1)",
        "INSERT INTO CartaoParcelas (Id, reciboID, cartaoID) VALUES (303, 200, 99)",
        "INSERT INTO ChequesRecebidos (chequeID, reciboID, chequeBanco, chequeExcluido) VALUES (400, 200, 1, False)",
        "INSERT INTO ChequesRecebidos (chequeID, reciboID, chequeBanco, chequeExcluido) VALUES (401, 201, 1, False)",
        "INSERT INTO ChequesRecebidos (chequeID, reciboID, chequeBanco, chequeExcluido) VALUES (402, 200, 1, True)",
        "INSERT INTO RecebimentosBoletos (boletoID, recebID) VALUES (600, 106)",
        "INSERT INTO RecebimentosBoletos (boletoID, recebID) VALUES (601, 107)",
        "INSERT INTO AlunosCreditos (CreditoID, reciboID, CreditoDescontado) VALUES (700, 200, False)",
        "INSERT INTO AlunosCreditos (CreditoID, reciboID, CreditoDescontado) VALUES (701, 200, True)",
        "INSERT INTO AlunosCreditos (CreditoID, reciboID, CreditoDescontado) VALUES (702, 201, False)",
        "INSERT INTO MatriculaTrancamentos (ID, matriculaID) VALUES (800, 10)",
        "INSERT INTO MatriculaTrancamentos (ID, matriculaID) VALUES (801, 11)",
        "INSERT INTO MatriculaTrancamentos (ID, matriculaID) VALUES (802, 12)",
        "INSERT INTO MatriculaTrancamentos (ID, matriculaID) VALUES (803, 14)",
        "INSERT INTO MatriculaTrancamentos (ID, matriculaID) VALUES (804, 15)",
    });
  }
  static std::string recebimento(int id, int aluno, int plano, int relaciona, const char* vencimento = "Null",
                                 int isentou = 0, bool excluido = false) {
    return "INSERT INTO Recebimentos (recebID, alunoID, planoID, idRelaciona, recebDtVencimento, recebFuncIdIsentou, "
           "recebExcluido) VALUES (" +
           std::to_string(id) + ", " + std::to_string(aluno) + ", " + std::to_string(plano) + ", " +
           std::to_string(relaciona) + ", " + vencimento + ", " + std::to_string(isentou) + ", " +
           (excluido ? "True" : "False") + ")";
  }

  // Writes every package table in order, as the run does; the lines of each.
  std::map<std::string, std::vector<std::string>> exporta() {
    std::map<std::string, std::vector<std::string>> out;
    TConsulta qrLista(BD().Conexao);
    for (const char* t : kTabelasExportacao) {
      if (!PreparaTabela(t, qrLista)) continue;
      const teste::fs::path arquivo = pasta_.path() / (std::string(t) + ".txt");
      GeraArquivo(qrLista, arquivo.string(), t, '\t', mensagens_);
      out[t] = teste::linhasDoArquivo(arquivo);
    }
    return out;
  }

  PastaTemporaria pasta_{"tabelas"};
  MensagensRoteiro mensagens_;
};

// The first value of each row after the header.
std::vector<std::string> chaves(const std::vector<std::string>& linhas) {
  std::vector<std::string> out;
  for (size_t i = 1; i < linhas.size(); ++i) out.push_back(teste::campos(linhas[i])[0]);
  return out;
}

using Chaves = std::vector<std::string>;

TEST_F(TabelasTest, EachFileHoldsTheRowsItsRulesSelect) {
  academia();
  auto arquivos = exporta();
  EXPECT_EQ(arquivos.size(), 26u);
  EXPECT_EQ(chaves(arquivos["Recebimentos"]), (Chaves{"100", "101", "102", "104", "106"}));
  EXPECT_EQ(chaves(arquivos["RecibosRecebimentos"]), Chaves{"100"});
  EXPECT_EQ(chaves(arquivos["Recibos"]), Chaves{"200"});
  EXPECT_EQ(chaves(arquivos["CartaoParcelas"]), (Chaves{"300", "303"}));
  EXPECT_EQ(chaves(arquivos["ChequesRecebidos"]), Chaves{"400"});
  EXPECT_EQ(chaves(arquivos["CieloChamadas"]), Chaves{"1"});
  EXPECT_EQ(arquivos["CieloChamadasRecebimentos"].size(), 2u);
  EXPECT_EQ(chaves(arquivos["RecebimentosBoletos"]), Chaves{"600"});
  EXPECT_EQ(chaves(arquivos["AlunosCreditos"]), Chaves{"700"});
  EXPECT_EQ(chaves(arquivos["Matricula"]), (Chaves{"10", "12", "13"}));
  EXPECT_EQ(chaves(arquivos["MatriculaTrancamentos"]), (Chaves{"800", "802", "804"}));
  EXPECT_EQ(chaves(arquivos["Vendas"]), Chaves{"500"});
  EXPECT_EQ(chaves(arquivos["VendasItens"]).size(), 1u);
  EXPECT_EQ(chaves(arquivos["Alunos"]), (Chaves{"1", "2", "3"}));
  // Only the receivable and receipt codes were recorded on the way.
  EXPECT_EQ(teste::linhas("SELECT recebID, reciboID FROM Online_RecibosRecebimentos"),
            (Chaves{"100\t", "101\t", "102\t", "104\t", "106\t", "\t200"}));

  // The columns the queries build: the card name, the bank code's form, the
  // card-machine return, the value with its discount, the online price.
  EXPECT_EQ(teste::campos(arquivos["CartaoParcelas"][0]).back(), "forma");
  EXPECT_EQ(teste::campos(arquivos["CartaoParcelas"][1]).back(), "Master");
  EXPECT_EQ(teste::campos(arquivos["ChequesRecebidos"][1])[4], "001");
  EXPECT_EQ(teste::campos(arquivos["Recibos"][0])[13], "CieloRetorno");
  EXPECT_EQ(teste::campos(arquivos["Recibos"][1])[13], "2");
  const auto matricula10 = teste::campos(arquivos["Matricula"][1]);
  ASSERT_EQ(matricula10.size(), 31u);
  EXPECT_EQ(matricula10[8], "100");
  EXPECT_EQ(matricula10[30], "5");
}

TEST_F(TabelasTest, DeletedEnrolmentsEndOnTheirBlockDateOrTheirNextBilling) {
  academia();
  auto arquivos = exporta();
  std::map<std::string, std::vector<std::string>> linha;
  for (size_t i = 1; i < arquivos["Matricula"].size(); ++i) {
    auto c = teste::campos(arquivos["Matricula"][i]);
    linha[c[0]] = c;
  }
  // 12: its block date, though it had an end and a closing date.
  EXPECT_EQ(linha["12"][6], "01/05/2024");
  // 13, without a block date: its next billing, the 15th after its latest
  // receivable of 10 March.
  EXPECT_EQ(linha["13"][29], "15/04/2024");
  EXPECT_EQ(linha["13"][6], "15/04/2024");
  // 10 is not deleted: its end date stays empty.
  EXPECT_EQ(linha["10"][6], "");
}

TEST_F(TabelasTest, TheAccountRowsAreTheActiveStudentsWithThatAddress) {
  academia();
  TConsulta q(BD().Conexao);
  for (auto [email, esperado] : std::vector<std::pair<std::string, Chaves>>{
           {"conta@academia.com", {"1\t501\tTrue\t0042\tconta@academia.com"}},
           {"o\"brien@academia.com", {"2\t502\tFalse\t\to\"brien@academia.com"}},
           {"\" or \"\"=\"", {}},
           {"nobody@academia.com", {}},
       }) {
    SCOPED_TRACE(email);
    vEmailConta = email;
    ASSERT_TRUE(PreparaTabela("Configuracao", q));
    const auto arquivo = pasta_.path() / "Configuracao.txt";
    GeraArquivo(q, arquivo.string(), "Configuracao", '\t', mensagens_);
    esperado.insert(esperado.begin(), "alunoID\talunoMatricula\talunoTemCartao\talunoCartao\talunoEmail");
    EXPECT_EQ(teste::linhasDoArquivo(arquivo), esperado);
  }
}

TEST_F(TabelasTest, ATableTheDatabaseLacksIsLeftOutAndAFailingStepIsAnError) {
  TConsulta q(BD().Conexao);
  ASSERT_EQ(ExecutaSQL("DROP TABLE CieloChamadasRecebimentos"), "OK");
  q.SetText("SELECT * FROM Alunos");
  q.Open();
  EXPECT_FALSE(PreparaTabela("CieloChamadasRecebimentos", q));
  EXPECT_FALSE(q.Active());
  // Recibos exists, but the table its query joins does not.
  ASSERT_EQ(ExecutaSQL("DROP TABLE CieloChamadas"), "OK");
  EXPECT_THROW(PreparaTabela("Recibos", q), ErroBanco);
  // An enrolment whose billing date needs a due day it does not have.
  teste::executaTodas({"INSERT INTO Matricula (matriculaID, alunoID, modalidadeID, matriculaSituacao, "
                       "matriculaForma, matriculaValor, matriculaDiaVencimento, matriculaExcluida) VALUES (1, 1, 1, "
                       "'ATIVA', 'MENSAL', 0, 0, False)"});
  EXPECT_THROW(PreparaTabela("Matricula", q), ErroBanco);
  EXPECT_FALSE(q.Active());
  EXPECT_THROW(PreparaTabela("Configuracoes", q), std::invalid_argument);
}

}  // namespace
