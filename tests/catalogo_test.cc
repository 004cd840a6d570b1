// The online catalogue's display forms, name rules, periodicity names, link
// captions and the bulk link statement.
#include <gtest/gtest.h>

#include <string>

#include "catalogue/catalogo.h"
#include "common/texto.h"

namespace {

using namespace kor::catalogo;
using kor::Utf8ParaWin1252;
using kor::Win1252ParaUtf8;

TEST(Catalogo, CodesAndKindsAndSituations) {
  EXPECT_EQ(FormataCodigo(7), "0007");
  EXPECT_EQ(FormataCodigo(12345), "12345");
  EXPECT_EQ(FormataCodigo(0), "0000");
  EXPECT_EQ(NomeTipo("M"), "MENSALIDADE");
  EXPECT_EQ(Win1252ParaUtf8(NomeTipo("D")), "DIÁRIA");
  EXPECT_EQ(NomeTipo("X"), "");
  EXPECT_EQ(IndiceTipo("D"), 2);
  EXPECT_EQ(IndiceTipo(""), 0);
  EXPECT_EQ(TipoDoIndice(1), "M");
  EXPECT_EQ(TipoDoIndice(0), "");
  EXPECT_EQ(NomeSituacao("2"), "INATIVO");
  EXPECT_EQ(Win1252ParaUtf8(NomeAtiva("2")), "NÃO");
  EXPECT_EQ(NomeAtiva("1"), "SIM");
  EXPECT_EQ(NomeAtiva("3"), "");
}

TEST(Catalogo, PeriodicityNames) {
  struct Caso {
    const char* tipo;
    int meses;
    const char* nome;
  };
  const Caso casos[] = {
      {"M", 1, "MENSAL"},  {"M", 5, "QUIMESTRAL"}, {"M", 6, "SEMESTRAL"}, {"M", 7, "7 MESES"},
      {"M", 12, "ANUAL"},  {"M", 13, "13 MESES"},  {"M", 23, "23 MESES"}, {"M", 24, "BIENAL"},
      {"M", 25, ""},       {"M", 0, ""},           {"D", 1, "1 DIÁRIA"},  {"D", 5, "5 DIÁRIAS"},
      {"D", 29, "29 DIÁRIAS"}, {"D", 30, ""},      {"X", 1, ""},          {"", 12, ""},
  };
  for (const Caso& c : casos) {
    EXPECT_EQ(Win1252ParaUtf8(NomePeriodicidade(c.tipo, c.meses)), c.nome) << c.tipo << " " << c.meses;
  }
  // The editor's list: index n is the count n.
  const auto m = ListaPeriodicidades("M");
  ASSERT_EQ(m.size(), 25u);
  EXPECT_EQ(m[0], "");
  EXPECT_EQ(m[12], "ANUAL");
  const auto d = ListaPeriodicidades("D");
  ASSERT_EQ(d.size(), 30u);
  EXPECT_EQ(d[29], "29");
  EXPECT_EQ(ListaPeriodicidades("?"), m);
}

TEST(Catalogo, DesktopPeriodicityNamesAndCaptions) {
  struct Caso {
    PeriodicidadeDesktop p;
    const char* nome;
    const char* codigos;
  };
  const Caso casos[] = {
      {{1, 0.0, 0.0}, "MENSAL", "-1-0"},
      {{5, 10.0, std::nullopt}, "SEMESTRAL", "-5-10"},
      {{6, std::nullopt, std::nullopt}, "ANUAL", "-6-0"},
      {{7, 10.0, std::nullopt}, "10 MESES", "-7-10"},
      {{7, std::nullopt, std::nullopt}, "0 MESES", "-7-0"},
      {{8, 0.0, 1.0}, "1 DIÁRIA", "-8-0"},
      {{8, 0.0, 10.0}, "10 DIÁRIAS", "-8-0"},
      {{8, 0.0, 30.0}, "", "-8-0"},
      {{8, 0.0, std::nullopt}, "", "-8-0"},
  };
  for (const Caso& c : casos) {
    EXPECT_EQ(Win1252ParaUtf8(NomePeriodicidadeDesktop(c.p)), c.nome);
    const std::string legenda = LegendaPeriodicidadeDesktop(c.p);
    EXPECT_EQ(Win1252ParaUtf8(legenda), c.nome + std::string(98, ' ') + c.codigos);
    EXPECT_EQ(kor::ExtraiCampo1(legenda), std::to_string(static_cast<int>(c.p.plano)));
  }
}

TEST(Catalogo, PricesAndTheirCaptions) {
  EXPECT_EQ(FormataValor(12345000), "R$ 1.234,50");
  EXPECT_EQ(FormataValor(0), "R$ 0,00");
  EXPECT_EQ(FormataValor(999999), "R$ 100,00");  // 99,9999 rounds
  EXPECT_EQ(FormataValor(12345678900000), "R$ 1.234.567.890,00");
  const std::string legenda = LegendaPreco("MUSCULACAO", "D", 5, 1500000, 42);
  EXPECT_EQ(Win1252ParaUtf8(legenda), "MUSCULACAO - 5 DIÁRIAS - R$ 150,00" + std::string(88, ' ') + "-42");
  EXPECT_EQ(kor::ExtraiCampo3(legenda), "42");
  EXPECT_EQ(LegendaPreco("P", "X", 3, 0, 1).substr(0, 12), "P -  - R$ 0,");
}

TEST(Catalogo, NameRules) {
  struct Caso {
    const char* digitado;
    const char* limpo;
  };
  const Caso casos[] = {
      {"  HIDRO D'ÁGUA ", "HIDRO DAGUA"},
      {"AÇÃO  PARA   TODOS", "ACAO PARA TODOS"},
      {"YOGA \"", "YOGA"},      // the dropped quote leaves no trailing blank
      {"'", ""},                // nothing left: refused
      {"\"\"", ""},
      {"natação", ""},          // lower case is outside the name alphabet
      {"PILATES Ô", "PILATES O"},
  };
  for (const Caso& c : casos) {
    EXPECT_EQ(Win1252ParaUtf8(LimpaNome(Utf8ParaWin1252(c.digitado))), c.limpo) << c.digitado;
  }
  for (char k : std::string("!,-.;=?")) EXPECT_TRUE(TeclaIgnorada(k)) << k;
  for (char k : std::string("A1 '\"(")) EXPECT_FALSE(TeclaIgnorada(k)) << k;
  EXPECT_EQ(RemoveHifens("A-B--C-"), "ABC");
}

TEST(Catalogo, BulkLinkMatchesAllThreeValuesWithNullHandled) {
  EXPECT_EQ(SqlVinculoEmMassa(9, {8, 0.0, 5.0}),
            "Update Modalidades set CodigoPlanoValor = 9 Where CodigoPlanoValor = 0 AND modalidadePlano = 8 AND "
            "modalidadeMeses = 0 AND modalidadeDias = 5");
  EXPECT_EQ(SqlVinculoEmMassa(3, {7, std::nullopt, 2.5}),
            "Update Modalidades set CodigoPlanoValor = 3 Where CodigoPlanoValor = 0 AND modalidadePlano = 7 AND "
            "modalidadeMeses is null AND modalidadeDias = 2.5");
}

}  // namespace
