#include "common/criptografia.h"

#include <chrono>
#include <random>

namespace kor {
namespace {

constexpr std::string_view kChave = "KXRA42HTQWN8LLBVMZSJD55YFOOTE";

void appendHex(std::string& out, unsigned v) {
  static const char digits[] = "0123456789ABCDEF";
  out += digits[(v >> 4) & 0xF];
  out += digits[v & 0xF];
}

// Reads one or two hexadecimal digits (either case); false on anything else.
bool readHex(std::string_view s, unsigned& v) {
  if (s.empty()) return false;
  v = 0;
  for (char c : s) {
    unsigned d;
    if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
    else if (c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
    else return false;
    v = v * 16 + d;
  }
  return true;
}

std::string decifra(std::string_view texto) {
  unsigned prev;
  if (texto.size() < 3 || !readHex(texto.substr(0, 2), prev)) return {};
  std::string out;
  size_t key = 0;
  size_t pos = 2;  // zero-based: the first pair after the start value
  do {
    unsigned b;
    if (!readHex(texto.substr(pos, 2), b)) return {};
    unsigned k = static_cast<unsigned char>(kChave[key]);
    key = (key + 1) % kChave.size();
    unsigned t = k ^ b;
    unsigned code = prev < t ? t - prev : t + 255 - prev;
    out += static_cast<char>(static_cast<unsigned char>(code));
    prev = b;
    pos += 2;
  } while (texto.size() > pos + 1);  // another pair, or a lone digit, starts at pos
  return out;
}

}  // namespace

std::string CriptografiaComInicio(std::string_view texto, uint8_t inicio) {
  if (texto.empty()) return {};
  std::string out;
  out.reserve(2 + 2 * texto.size());
  appendHex(out, inicio);
  unsigned prev = inicio;
  size_t key = 0;
  for (char ch : texto) {
    unsigned c = static_cast<unsigned char>(ch);
    unsigned k = static_cast<unsigned char>(kChave[key]);
    key = (key + 1) % kChave.size();
    unsigned v = ((c + prev) % 255) ^ k;
    appendHex(out, v);
    prev = v;
  }
  return out;
}

std::string Criptografia(std::string_view modo, std::string_view texto) {
  if (texto.empty()) return {};
  if (modo == "C") {
    static std::minstd_rand gerador(
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    return CriptografiaComInicio(texto, static_cast<uint8_t>(gerador() % 256));
  }
  if (modo == "D") return decifra(texto);
  return {};
}

}  // namespace kor
