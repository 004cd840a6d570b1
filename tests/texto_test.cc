// Text routines: the examples the system's users rely on, as tables of cases.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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

TEST(RemoveAcentos, EveryCharacterOfTheNameAlphabetHasItsPlace) {
  // The two alphabets, written out here on their own (Windows-1252).
  const std::string source =
      " 0123456789ABCDEFGHIJKLMNOPQRSTUVXYWZ\xC0\xC2\xCA\xD4\xDB\xC3\xD5\xC1\xC9\xCD\xD3\xDA\xC7\xDC\xD1\xDD"
      "-()\\/!#&*,\xA9\xAE.:;<>?@[]{}_+$%=|\xAA\xBA\"";
  const std::string target =
      " 0123456789ABCDEFGHIJKLMNOPQRSTUVXYWZAAEOUAOAEIOUCUNY ()\\/!#&*,\xA9\xAE.:;<>?@[]{}_+$%=|\xAA\xBA ";
  ASSERT_EQ(source.size(), 85u);
  ASSERT_EQ(target.size(), 85u);
  EXPECT_EQ(RemoveAcentos(source), target);
  // Every other byte value is dropped, wherever it stands.
  for (int c = 0; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    const size_t at = source.find(ch);
    std::string expected = "AB";
    if (at != std::string::npos) expected.insert(expected.begin() + 1, target[at]);
    std::string in = "AB";
    in.insert(in.begin() + 1, ch);
    EXPECT_EQ(RemoveAcentos(in), expected) << "byte " << c;
  }
}

TEST(ManterCaracteres, KeepsTheMembersOfTheSetInTheirOrder) {
  struct Case {
    std::string text;
    ConjuntoCaracteres set;
    std::string out;
  };
  for (const auto& c : std::vector<Case>{
           {"(11) 98765-4321", Digitos(), "11987654321"},
           {"", Digitos(), ""},
           {"SEM DIGITOS", Digitos(), ""},
           {"18 MESES", Digitos(), "18"},
           {"2X 10 MESES", Digitos(), "210"},
           {"qualquer", Conjunto(""), ""},
           // Bytes above 127 and the NUL byte are members like any other.
           {"A\xC1" "B\xFF\x01", Conjunto("\xC1\xFF"), "\xC1\xFF"},
           {std::string("a\0b\0", 4), Conjunto(std::string_view("\0", 1)), std::string("\0\0", 2)},
       }) {
    EXPECT_EQ(ManterCaracteres(c.text, c.set), c.out) << c.text;
  }
}

TEST(RemoveEspacosDuplos, CollapsesRunsOfBlanksOnly) {
  struct Case {
    std::string in, out;
  };
  for (const auto& c : std::vector<Case>{
           {"  A   B ", " A B "},
           {"A\t\tB", "A\t\tB"},
           {"A \t  B", "A \t B"},
           {"    ", " "},
           {"", ""},
           {"A B", "A B"},
           {"A\xA0\xA0" "B", "A\xA0\xA0" "B"},  // the no-break space is not a blank
       }) {
    EXPECT_EQ(RemoveEspacosDuplos(c.in), c.out) << c.in;
  }
}

TEST(Trim, DropsBlanksAndControlsAtTheEndsOnly) {
  struct Case {
    std::string in, out;
  };
  for (const auto& c : std::vector<Case>{
           {"  a b \t\r\n", "a b"},
           {"\x01x\x1f", "x"},
           {" \t ", ""},
           {"\xA0x\xA0", "\xA0x\xA0"},  // the no-break space stays
       }) {
    EXPECT_EQ(Trim(c.in), c.out) << c.in;
  }
}

TEST(Minusculas, MapsWindows1252CasePairs) {
  EXPECT_EQ(Minusculas("JO\xC3O \xC7\xC9\x8A\x9F\xD7@X.COM"), "jo\xE3o \xE7\xE9\x9A\xFF\xD7@x.com");
  EXPECT_EQ(Maiusculas("jo\xE3o \xE7\xE9\x9A\xFF\xF7\xDF"), "JO\xC3O \xC7\xC9\x8A\x9F\xF7\xDF");
}

TEST(QuebrasPorEspaco, ReplacesEachCrLfPairOnly) {
  EXPECT_EQ(QuebrasPorEspaco("a\r\nb\r\n\r\nc"), "a b  c");
  EXPECT_EQ(QuebrasPorEspaco("a\rb\nc\n\r"), "a\rb\nc\n\r");
}

TEST(AspasDuplas, DoublesInnerQuotes) {
  EXPECT_EQ(AspasDuplas(""), "\"\"");
  EXPECT_EQ(AspasDuplas("a\"b'c"), "\"a\"\"b'c\"");
  EXPECT_EQ(AspasSimples("d'estudos\""), "'d''estudos\"'");
}

TEST(ApagaPasta, RemovesTheTreeAndIgnoresAMissingFolder) {
  namespace fs = std::filesystem;
  fs::path root = fs::temp_directory_path() / ("kor-apaga-" + std::to_string(::getpid()));
  fs::create_directories(root / "a" / "b");
  std::ofstream(root / "x.txt") << "x";
  std::ofstream(root / "a" / "b" / "y.txt") << "y";
  std::ofstream(root / "a" / ".oculto") << "h";
  fs::create_directories(root / "vazia");
  ApagaPasta(root.string());
  EXPECT_FALSE(fs::exists(root));
  ApagaPasta(root.string());  // missing: nothing happens
}

TEST(ApagaPasta, NeverReachesThroughALinkNorRemovesAPlainFile) {
  namespace fs = std::filesystem;
  fs::path base = fs::temp_directory_path() / ("kor-apaga-link-" + std::to_string(::getpid()));
  fs::remove_all(base);
  fs::create_directories(base / "fora");
  std::ofstream(base / "fora" / "guardado.txt") << "g";
  fs::create_directories(base / "pasta");
  fs::create_directory_symlink(base / "fora", base / "pasta" / "atalho");
  std::ofstream(base / "arquivo.txt") << "a";

  ApagaPasta((base / "pasta").string());
  EXPECT_FALSE(fs::exists(base / "pasta"));
  EXPECT_TRUE(fs::exists(base / "fora" / "guardado.txt"));  // the link went, not what it points to

  ApagaPasta((base / "arquivo.txt").string());  // a file is no folder to remove
  EXPECT_TRUE(fs::exists(base / "arquivo.txt"));
  fs::remove_all(base);
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
