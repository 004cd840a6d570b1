// The field cipher of the desktop database.
//
// The desktop product stores some enrolment values (the masked card number
// and the card security code of recurring-card enrolments) enciphered as
// upper-case hexadecimal text. The first pair of digits is a random start
// value r; each further pair is one character enciphered with a fixed key of
// 29 characters, chained through the previous enciphered byte:
//   v = ((code + prev) mod 255) xor key[i]      prev = v
// Text is single-byte (Windows-1252): one character is one byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kor {

// Mode "C" enciphers `texto` with a start value drawn from the clock; mode
// "D" deciphers it. Any other mode (the comparison is exact, case included),
// an empty text, or a text that cannot be deciphered (fewer than three
// characters, a pair that is not hexadecimal) gives an empty result.
std::string Criptografia(std::string_view modo, std::string_view texto);

// Enciphers `texto` with the given start value: the same input always gives
// the same output (for generated databases and tests). Empty for an empty text.
std::string CriptografiaComInicio(std::string_view texto, uint8_t inicio);

}  // namespace kor
