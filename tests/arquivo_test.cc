// The package file writer: the layout of a file, the character filter, the
// fix-up of every table and column, the rows recorded in
// Online_RecibosRecebimentos, and the failures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apoio.h"
#include "apoio_exportacao.h"
#include "common/criptografia.h"
#include "common/globais.h"
#include "common/mensagens.h"
#include "common/texto.h"
#include "export/arquivo.h"
#include "export/porta.h"

namespace {

using namespace kor;
using kor::teste::PastaTemporaria;

const std::string kInvalidos = Utf8ParaWin1252("Atenção! Contém dados inválidos para exportação!");

class ArquivoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    teste::criaBancoExportacao(pasta_.path() / "dados.mdb");
    teste::conecta(pasta_.path() / "dados.mdb");
    teste::executaTodas({
        "CREATE TABLE Um (n Long)",
        "INSERT INTO Um (n) VALUES (1)",
        "CREATE TABLE Pessoas (id Long, nome Text(50), valor Currency, peso Double, nascimento Date, ativo YesNo, "
        "obs Memo)",
        // Windows-1252: \xE3 = ã, \xF1 = ñ.
        "INSERT INTO Pessoas VALUES (1, \"  O'Brien\r\nS\xE3o Jo\xE3o\tMu\xF1oz\r \", 1234.5, 72.25, "
        "#07/14/2004 10:30:00#, True, Null)",
        "INSERT INTO Pessoas VALUES (2, Null, 0, -0.5, #12/30/1899#, False, \"x\ny\rz\")",
    });
    vVerificouFuncionarios = 0;
  }
  void TearDown() override {
    teste::desconecta();
    vVerificouFuncionarios = 0;
  }

  // Writes the query's rows under `tabela` and returns the file's lines.
  std::vector<std::string> gera(const std::string& sql, const std::string& tabela, int64_t* linhas = nullptr) {
    TConsulta q(BD().Conexao);
    q.SetText(sql);
    q.Open();
    int64_t n = GeraArquivo(q, arquivo_.string(), tabela, '\t', mensagens_);
    if (linhas) *linhas = n;
    EXPECT_TRUE(mensagens_.exibidas().empty());
    return teste::linhasDoArquivo(arquivo_);
  }

  PastaTemporaria pasta_{"arquivo"};
  teste::fs::path arquivo_ = pasta_.path() / "Tabela.txt";
  MensagensRoteiro mensagens_;
};

TEST_F(ArquivoTest, HeaderRowsAndTheTextFormOfEveryKind) {
  int64_t n = 0;
  // Trimmed, CR LF as a blank, apostrophe and TAB dropped, ñ plain, ã kept; a
  // lone CR or LF dropped; numbers with a decimal comma; the zero date empty
  // in any column but the last; Null empty.
  EXPECT_EQ(teste::leArquivo(arquivo_), "");
  gera("SELECT * FROM Pessoas ORDER BY id", "Pessoas", &n);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(teste::leArquivo(arquivo_),
            "id\tnome\tvalor\tpeso\tnascimento\tativo\tobs\r\n"
            "1\tOBrien S\xE3o Jo\xE3oMunoz\t1234,5\t72,25\t14/07/2004 10:30:00\tTrue\t\r\n"
            "2\t\t0\t-0,5\t\tFalse\txyz\r\n");
}

TEST_F(ArquivoTest, TheLastColumnKeepsTheZeroDateAndAnEmptyResultIsTheHeaderAlone) {
  EXPECT_EQ(gera("SELECT id, nascimento AS quando FROM Pessoas ORDER BY id", "Pessoas"),
            (std::vector<std::string>{"id\tquando", "1\t14/07/2004 10:30:00", "2\t30/12/1899"}));
  int64_t n = -1;
  EXPECT_EQ(gera("SELECT id, nome FROM Pessoas WHERE id = 0", "Pessoas", &n), std::vector<std::string>{"id\tnome"});
  EXPECT_EQ(n, 0);
}

TEST_F(ArquivoTest, ASingleColumnHasNoSeparatorAndTakesTheLastColumnFixUps) {
  vVerificouFuncionarios = 1;
  EXPECT_EQ(gera("SELECT nome FROM Pessoas ORDER BY id", "Funcionarios"),
            (std::vector<std::string>{"nome", "OBrien S\xE3o Jo\xE3oMunoz",
                                      Utf8ParaWin1252("Acesse o cadastro do funcionário e defina o e-mail")}));
}

TEST(FiltraCaracteres, KeepsMapsAndDrops) {
  struct Caso {
    const char* entrada;
    const char* saida;
  } casos[] = {
      {"Az 09 !\"#$%&()*+,-./:;<=>?@[\\]_{|}", "Az 09 !\"#$%&()*+,-./:;<=>?@[\\]_{|}"},
      {"'`^~\t\r\n\x01\x7F", ""},
      // Portuguese letters and the ordinal and power signs stay.
      {"\xC0\xC1\xC2\xC3\xC4\xC7\xC9\xCD\xD3\xD5\xDA\xDC\xE0\xE3\xE7\xE9\xF5\xFA\xFD\xFF\xAA\xBA\xB2\xB3\xB9",
       "\xC0\xC1\xC2\xC3\xC4\xC7\xC9\xCD\xD3\xD5\xDA\xDC\xE0\xE3\xE7\xE9\xF5\xFA\xFD\xFF\xAA\xBA\xB2\xB3\xB9"},
      // Foreign letters made plain, the thorns crossed.
      {"\x8A\x83\x8E\x9A\x9E\x9F\xC5\xD0\xD1\xDD\xE5\xF1\xF8\xFE\xD8\xDE\xDF\xB5\xA9\xAE", "SfZszYADNYanoPOpBuCR"},
      // Euro sign, quotes, dashes, ×, ÷, Æ, æ, the no-break blank.
      {"\x80\x91\x92\x93\x96\x97\xD7\xF7\xC6\xE6\xA0", ""},
  };
  for (const Caso& c : casos) EXPECT_EQ(FiltraCaracteres(c.entrada), c.saida) << c.entrada;

  std::string todos;
  for (int c = 1; c < 256; ++c) todos += static_cast<char>(c);
  const std::string filtrado = FiltraCaracteres(todos);
  EXPECT_EQ(filtrado.size(), 164u);  // every character the filter knows, once
  EXPECT_EQ(FiltraCaracteres(filtrado), filtrado);
}

// One fix-up case: a row of `colunas` values, all "v" but the one at `coluna`,
// which is the SQL expression; written under `tabela`. (The other columns
// take their own fix-ups: a "v" in a phone column loses its letter.)
struct Ajuste {
  std::string tabela;
  int colunas;
  int coluna;
  std::string expressao;
  std::string esperado;
  int verificou = 0;  // vVerificouFuncionarios
};

TEST_F(ArquivoTest, TheFixUpOfEachTableAndColumn) {
  const std::string cartao = CriptografiaComInicio("4111 **** **** 1111", 0x3C);
  const std::string codigo = CriptografiaComInicio("123", 0x07);
  const std::string comControles = CriptografiaComInicio("1\t2\r\n3", 0x11);
  const std::string instrucao = Utf8ParaWin1252("Acesse o cadastro do funcionário e defina o e-mail");
  const std::string zero = "#12/30/1899#";
  const Ajuste casos[] = {
      // Phone numbers: digits only, in Alunos columns 8 and 9 only.
      {"Alunos", 12, 8, "\"(11) 98765-4321\"", "11987654321"},
      {"Alunos", 12, 9, "\" 3333 - 44 \"", "333344"},
      {"Alunos", 12, 7, "\"(11) 3333\"", "(11) 3333"},
      {"Alunos", 10, 9, "\"(11) 3333\"", "(11) 3333"},  // the last column
      // Card columns deciphered, the separator and line ends dropped.
      {"Matricula", 31, 26, "\" " + cartao + " \"", "4111 **** **** 1111"},
      {"Matricula", 31, 28, '"' + codigo + '"', "123"},
      {"Matricula", 31, 28, '"' + comControles + '"', "123"},
      {"Matricula", 31, 28, "\"XYZ\"", ""},
      {"Matricula", 31, 25, '"' + codigo + '"', codigo},
      // Receipts: the zero date, the time of day, the card-machine return.
      {"Recibos", 15, 3, zero, "14/07/2004"},
      {"Recibos", 15, 5, zero, ""},
      {"Recibos", 15, 4, "Null", "30/12/1899 12:00:00"},
      {"Recibos", 15, 4, zero, "30/12/1899 12:00:00"},
      {"Recibos", 15, 4, "#07/14/2004 09:05:00#", "14/07/2004 09:05:00"},
      {"Recibos", 15, 13, "\"123456789012345\"", "123456789012345"},
      {"Recibos", 15, 13, "\"1234567890123456\"", "2"},
      {"Recibos", 15, 13, "\"12345678901234567890\"", "2"},
      {"Recibos", 15, 13, "\"123456789012345678901234\"", "2"},
      {"Recibos", 15, 13, "\"1234567890123456789012345\"", "1234567890123456789012345"},
      {"Recibos", 15, 13, "\"  123456789012345'' \"", "123456789012345"},  // counted after the filter
      // Receivables: the due date and the description.
      {"Recebimentos", 17, 5, zero, "14/07/2004"},
      {"Recebimentos", 17, 4, zero, ""},
      {"Recebimentos", 17, 9, "Null", "-"},
      {"Recebimentos", 17, 9, "\" '' \"", "-"},
      {"Recebimentos", 17, 8, "Null", ""},
      // Card instalments: the card name, in the last column.
      {"CartaoParcelas", 16, 15, "Null", "Master"},
      {"CartaoParcelas", 16, 15, "\"Visa\"", "Visa"},
      {"CartaoParcelas", 16, 14, "Null", ""},
      // Employees: the instruction, only while the e-mail check has run once.
      {"Funcionarios", 3, 2, "\"\"", instrucao, 1},
      {"Funcionarios", 3, 2, "\"\"", "", 0},
      {"Funcionarios", 3, 2, "\"\"", "", 2},
      {"Funcionarios", 3, 1, "\"\"", "", 1},
      // The zero date in other tables, and names compared exactly.
      {"Vendas", 6, 4, zero, ""},
      {"Vendas", 6, 5, zero, "30/12/1899"},
      {"Vendas", 10, 9, "Null", ""},
      {"recebimentos", 17, 9, "Null", ""},
      {"RECIBOS", 15, 3, zero, ""},
  };
  for (const Ajuste& c : casos) {
    SCOPED_TRACE(c.tabela + " column " + std::to_string(c.coluna) + ": " + c.expressao);
    std::string sql = "SELECT ";
    for (int i = 0; i < c.colunas; ++i) {
      if (i) sql += ", ";
      sql += (i == c.coluna ? c.expressao : "\"v\"") + " AS c" + std::to_string(i);
    }
    vVerificouFuncionarios = c.verificou;
    const std::vector<std::string> linhas = gera(sql + " FROM Um", c.tabela);
    ASSERT_EQ(linhas.size(), 2u);
    const std::vector<std::string> valores = teste::campos(linhas[1]);
    ASSERT_EQ(valores.size(), static_cast<size_t>(c.colunas));
    EXPECT_EQ(valores[static_cast<size_t>(c.coluna)], c.esperado);
    EXPECT_EQ(valores[0], c.coluna == 0 ? c.esperado : "v");
  }
}

TEST_F(ArquivoTest, ReceivablesAndReceiptLinksAreRecordedAsWritten) {
  teste::executaTodas({"CREATE TABLE Tres (n Long)", "INSERT INTO Tres VALUES (7)", "INSERT INTO Tres VALUES (8)",
                       "INSERT INTO Tres VALUES (9)"});
  // The second receivable's code filters to nothing: its row alone is not
  // recorded, as its insert statement fails.
  EXPECT_EQ(gera("SELECT iif(n = 8, \"'\", n) AS recebID, n AS outro FROM Tres ORDER BY n", "Recebimentos"),
            (std::vector<std::string>{"recebID\toutro", "7\t7", "\t8", "9\t9"}));
  EXPECT_EQ(teste::linhas("SELECT recebID, reciboID FROM Online_RecibosRecebimentos ORDER BY recebID"),
            (std::vector<std::string>{"7\t", "9\t"}));
  gera("SELECT n AS recebID, n * 10 AS reciboID FROM Tres ORDER BY n", "RecibosRecebimentos");
  EXPECT_EQ(teste::linhas("SELECT recebID, reciboID FROM Online_RecibosRecebimentos WHERE recebID is null ORDER BY "
                          "reciboID"),
            (std::vector<std::string>{"\t70", "\t80", "\t90"}));
  // Other tables record nothing.
  gera("SELECT n AS recebID, n AS reciboID FROM Tres", "Recibos");
  EXPECT_EQ(teste::codigos("SELECT COUNT(*) FROM Online_RecibosRecebimentos"), std::vector<int32_t>{5});
}

TEST_F(ArquivoTest, AFileOfThatNameIsReplaced) {
  {
    std::ofstream antigo(arquivo_, std::ios::binary);
    antigo << "an older and longer file\r\nwith two lines\r\n";
  }
  EXPECT_EQ(gera("SELECT id FROM Pessoas WHERE id = 1", "Pessoas"), (std::vector<std::string>{"id", "1"}));
  EXPECT_FALSE(teste::fs::exists(arquivo_.string() + ".tmp"));
}

TEST_F(ArquivoTest, AFileThatCannotBeWrittenStopsTheRunAfterOneMessage) {
  for (const teste::fs::path& caminho : {pasta_.path() / "sem-pasta" / "Pessoas.txt", pasta_.path() / "umaPasta"}) {
    SCOPED_TRACE(caminho.string());
    teste::fs::create_directory(pasta_.path() / "umaPasta");
    mensagens_.limpar();
    TConsulta q(BD().Conexao);
    q.SetText("SELECT * FROM Pessoas");
    q.Open();
    EXPECT_THROW(GeraArquivo(q, caminho.string(), "Pessoas", '\t', mensagens_), AbortoSilencioso);
    EXPECT_EQ(mensagens_.textos("msg_atencao"), std::vector<std::string>{kInvalidos});
    EXPECT_EQ(mensagens_.exibidas().size(), 1u);
    EXPECT_FALSE(teste::fs::exists(caminho.string() + ".tmp"));
  }
  EXPECT_TRUE(teste::fs::is_directory(pasta_.path() / "umaPasta"));
}

}  // namespace
