// Text routines: the examples the system's users rely on, as tables of cases.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/mensagens.h"
#include "common/texto.h"

namespace {

using namespace kor;

TEST(ExtraiCampo, DigitsOfTheFieldAfterTheNthHyphen) {
  struct Case {
    std::string text;
    std::string one, two, three;
  };
  for (const auto& c : std::vector<Case>{
           {"MENSAL-1-0", "1", "0", ""},
           {"A-12-3-4", "12", "3", "4"},
           {"A-1x2-3", "12", "3", ""},
           {"", "", "", ""},
           {"SEM HIFEN", "", "", ""},
           {"X--7", "", "7", ""},
       }) {
    EXPECT_EQ(ExtraiCampo1(c.text), c.one) << c.text;
    EXPECT_EQ(ExtraiCampo2(c.text), c.two) << c.text;
    EXPECT_EQ(ExtraiCampo3(c.text), c.three) << c.text;
  }
}

TEST(RemoveAcentos, MapsTheNameAlphabetAndDropsTheRest) {
  // Windows-1252: \xC1 = Á, \xC7 = Ç, \xC3 = Ã, \xE1 = á.
  struct Case {
    std::string in, out;
  };
  for (const auto& c : std::vector<Case>{
           {"HIDRO D'\xC1GUA", "HIDRO DAGUA"},
           {"A\xC7\xC3O-1", "ACAO 1"},
           {"minusculas", ""},
           {"\"JUDO\" \xE1", " JUDO  "},
           {"PLANO (2X) 50%", "PLANO (2X) 50%"},
       }) {
    EXPECT_EQ(RemoveAcentos(c.in), c.out) << c.in;
  }
}

TEST(RemoveEspacosDuplos, CollapsesRunsOfBlanksOnly) {
  EXPECT_EQ(RemoveEspacosDuplos("  A   B "), " A B ");
  EXPECT_EQ(RemoveEspacosDuplos("A\t\tB"), "A\t\tB");
  EXPECT_EQ(ManterCaracteres("(11) 98765-4321", Digitos()), "11987654321");
}

TEST(ApagaPasta, RemovesTheTreeAndIgnoresAMissingFolder) {
  namespace fs = std::filesystem;
  fs::path root = fs::temp_directory_path() / ("kor-apaga-" + std::to_string(::getpid()));
  fs::create_directories(root / "a" / "b");
  std::ofstream(root / "x.txt") << "x";
  std::ofstream(root / "a" / "b" / "y.txt") << "y";
  ApagaPasta(root.string());
  EXPECT_FALSE(fs::exists(root));
  ApagaPasta(root.string());  // missing: nothing happens
}

TEST(Codepage, Windows1252RoundTripsThroughUtf8) {
  std::string all;
  for (int c = 1; c < 256; ++c) {
    if (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D) continue;  // undefined in 1252
    all.push_back(static_cast<char>(c));
  }
  EXPECT_EQ(Utf8ParaWin1252(Win1252ParaUtf8(all)), all);
  EXPECT_EQ(Win1252ParaUtf8("\x80"), "\xE2\x82\xAC");
  EXPECT_EQ(Utf8ParaWin1252("\xD0\x96"), "?");  // Cyrillic has no place in 1252
}

TEST(MensagensRoteiro, RecordsTextsAndAnswersQuestionsInOrder) {
  MensagensRoteiro m;
  m.responder({kRespostaNao});
  EXPECT_EQ(m.msg_sn("Continuar?"), 7);
  EXPECT_EQ(m.msg_sn("De novo?"), 6);
  EXPECT_EQ(m.msg_atencao("Falhou."), 1);
  EXPECT_EQ(m.textos("msg_sn"), (std::vector<std::string>{"Continuar?", "De novo?"}));
  EXPECT_EQ(m.textos("msg_atencao"), std::vector<std::string>{"Falhou."});
}

}  // namespace
