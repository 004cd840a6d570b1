// The field cipher: the stored format, round trips over every byte value and
// start value, and the texts that decipher to nothing.
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "common/criptografia.h"

namespace {

using kor::Criptografia;
using kor::CriptografiaComInicio;

// Every byte value from 1 to 254, in order: longer than the key, so the key
// wraps several times.
std::string todosOsBytes() {
  std::string s;
  for (int c = 1; c <= 254; ++c) s.push_back(static_cast<char>(c));
  return s;
}

bool hexMaiusculo(const std::string& s) {
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c)) && !(c >= 'A' && c <= 'F')) return false;
  }
  return true;
}

TEST(Criptografia, KnownTextsEncipherToTheStoredForm) {
  // Worked by hand: "A" (65) after start 0 with key "K" (75): (65+0) mod 255
  // xor 75 = 10. "AB" after start F0: (65+240) mod 255 = 50, xor 75 = 121 (79);
  // then (66+121) mod 255 = 187, xor "X" (88) = 227 (E3).
  EXPECT_EQ(CriptografiaComInicio("A", 0x00), "000A");
  EXPECT_EQ(CriptografiaComInicio("AB", 0xF0), "F079E3");
  EXPECT_EQ(Criptografia("D", "000A"), "A");
  EXPECT_EQ(Criptografia("D", "f079e3"), "AB");  // hexadecimal read in either case
  EXPECT_EQ(CriptografiaComInicio("", 7), "");
}

TEST(Criptografia, EveryByteFrom1To254RoundTripsUnderEveryStartValue) {
  const std::string texto = todosOsBytes();
  for (int r = 0; r <= 255; ++r) {
    const std::string cifrado = CriptografiaComInicio(texto, static_cast<uint8_t>(r));
    ASSERT_EQ(cifrado.size(), 2 + 2 * texto.size()) << "start " << r;
    ASSERT_TRUE(hexMaiusculo(cifrado)) << cifrado;
    ASSERT_EQ(Criptografia("D", cifrado), texto) << "start " << r;
  }
  // Each byte alone too, where the chaining starts from the start value.
  for (int c = 1; c <= 254; ++c) {
    for (int r : {0, 1, 127, 254, 255}) {
      const std::string one(1, static_cast<char>(c));
      ASSERT_EQ(Criptografia("D", CriptografiaComInicio(one, static_cast<uint8_t>(r))), one)
          << "byte " << c << " start " << r;
    }
  }
}

TEST(Criptografia, ModeCDrawsItsStartValueAnewAndAlwaysDeciphers) {
  const std::string texto = "4111 XXXX XXXX 1111 - CART\xC3O";  // \xC3 = Ã
  std::set<std::string> saidas;
  for (int i = 0; i < 40; ++i) {
    const std::string c = Criptografia("C", texto);
    ASSERT_EQ(c.size(), 2 + 2 * texto.size());
    ASSERT_TRUE(hexMaiusculo(c)) << c;
    ASSERT_EQ(Criptografia("D", c), texto);
    saidas.insert(c);
  }
  EXPECT_GT(saidas.size(), 1u) << "forty encipherings gave one output";
}

TEST(Criptografia, TextsThatDecipherToNothingAndShortTails) {
  const std::string ok = CriptografiaComInicio("XY", 0x3C);  // 6 digits
  struct Case {
    std::string modo, texto, out;
  };
  for (const auto& c : std::vector<Case>{
           {"D", "", ""},
           {"C", "", ""},
           {"c", "ABC", ""},   // the mode is compared exactly
           {"d", ok, ""},
           {"", ok, ""},
           {"CD", "ABC", ""},
           {"D", "0", ""},
           {"D", "00", ""},    // no pair after the start value
           {"D", "0G0A", ""},  // a start value that is not hexadecimal
           {"D", "00ZZ", ""},  // a pair that is not hexadecimal
           {"D", ok.substr(0, 4) + "G1", ""},  // a bad pair anywhere spoils all
           {"D", "00 A", ""},
           // Three digits: the only pair after the first has one digit.
           {"D", "00A", "A"},
           // Five digits: the fifth is ignored.
           {"D", ok.substr(0, 4) + "7", "X"},
           {"D", ok + "F", "XY"},
       }) {
    EXPECT_EQ(Criptografia(c.modo, c.texto), c.out) << "mode '" << c.modo << "' text '" << c.texto << "'";
  }
}

}  // namespace
