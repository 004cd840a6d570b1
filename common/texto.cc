#include "common/texto.h"

#include <array>
#include <filesystem>
#include <system_error>

namespace kor {

ConjuntoCaracteres Conjunto(std::string_view chars) {
  ConjuntoCaracteres s;
  for (unsigned char c : chars) s.set(c);
  return s;
}

const ConjuntoCaracteres& Digitos() {
  static const ConjuntoCaracteres digits = Conjunto("0123456789");
  return digits;
}

std::string ManterCaracteres(std::string_view texto, const ConjuntoCaracteres& conjunto) {
  std::string out;
  for (unsigned char c : texto) {
    if (conjunto.test(c)) out.push_back(static_cast<char>(c));
  }
  return out;
}

namespace {

std::string extraiCampo(std::string_view texto, int n) {
  std::string field;
  int hyphens = 0;
  for (char c : texto) {
    if (hyphens == n) field.push_back(c);
    if (c == '-') ++hyphens;
    if (hyphens > n) break;
  }
  return ManterCaracteres(field, Digitos());
}

// The name alphabets, in Windows-1252, position by position.
constexpr std::string_view kOrigem =
    " 0123456789ABCDEFGHIJKLMNOPQRSTUVXYWZ\xC0\xC2\xCA\xD4\xDB\xC3\xD5\xC1\xC9\xCD\xD3\xDA\xC7\xDC\xD1\xDD"
    "-()\\/!#&*,\xA9\xAE.:;<>?@[]{}_+$%=|\xAA\xBA\"";
constexpr std::string_view kDestino =
    " 0123456789ABCDEFGHIJKLMNOPQRSTUVXYWZAAEOUAOAEIOUCUNY"
    " ()\\/!#&*,\xA9\xAE.:;<>?@[]{}_+$%=|\xAA\xBA ";
static_assert(kOrigem.size() == 85 && kDestino.size() == 85);

// Windows-1252 bytes 0x80..0x9F as Unicode (0 where the code page has none).
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

std::string ExtraiCampo1(std::string_view texto) { return extraiCampo(texto, 1); }
std::string ExtraiCampo2(std::string_view texto) { return extraiCampo(texto, 2); }
std::string ExtraiCampo3(std::string_view texto) { return extraiCampo(texto, 3); }

std::string RemoveAcentos(std::string_view texto) {
  static const std::array<int, 256> position = [] {
    std::array<int, 256> p{};
    p.fill(-1);
    for (size_t i = 0; i < kOrigem.size(); ++i) {
      auto c = static_cast<unsigned char>(kOrigem[i]);
      if (p[c] < 0) p[c] = static_cast<int>(i);
    }
    return p;
  }();
  std::string out;
  for (unsigned char c : texto) {
    if (position[c] >= 0) out.push_back(kDestino[static_cast<size_t>(position[c])]);
  }
  return out;
}

std::string RemoveEspacosDuplos(std::string_view texto) {
  std::string out;
  for (char c : texto) {
    if (c == ' ' && !out.empty() && out.back() == ' ') continue;
    out.push_back(c);
  }
  return out;
}

std::string QuebrasPorEspaco(std::string_view texto) {
  std::string out;
  out.reserve(texto.size());
  for (size_t i = 0; i < texto.size(); ++i) {
    const bool quebra = texto[i] == '\r' && i + 1 < texto.size() && texto[i + 1] == '\n';
    out.push_back(quebra ? ' ' : texto[i]);
    if (quebra) ++i;
  }
  return out;
}

std::string Trim(std::string_view texto) {
  size_t ini = 0, fim = texto.size();
  while (ini < fim && static_cast<unsigned char>(texto[ini]) <= ' ') ++ini;
  while (fim > ini && static_cast<unsigned char>(texto[fim - 1]) <= ' ') --fim;
  return std::string(texto.substr(ini, fim - ini));
}

namespace {

// Windows-1252 case pairs: A-Z, the accented letters C0-DE (but the sign D7)
// with E0-FE, and Š Œ Ž Ÿ with š œ ž ÿ.
unsigned char minuscula(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<unsigned char>(c + 0x20);
  if (c == 0x8A || c == 0x8C || c == 0x8E) return static_cast<unsigned char>(c + 0x10);
  if (c == 0x9F) return 0xFF;
  return c;
}

unsigned char maiuscula(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return static_cast<unsigned char>(c - 0x20);
  if (c == 0x9A || c == 0x9C || c == 0x9E) return static_cast<unsigned char>(c - 0x10);
  if (c == 0xFF) return 0x9F;
  return c;
}

}  // namespace

std::string Minusculas(std::string_view texto) {
  std::string out(texto);
  for (char& c : out) c = static_cast<char>(minuscula(static_cast<unsigned char>(c)));
  return out;
}

std::string Maiusculas(std::string_view texto) {
  std::string out(texto);
  for (char& c : out) c = static_cast<char>(maiuscula(static_cast<unsigned char>(c)));
  return out;
}

namespace {

std::string entreAspas(std::string_view texto, char aspa) {
  std::string out(1, aspa);
  for (char c : texto) {
    out.push_back(c);
    if (c == aspa) out.push_back(aspa);
  }
  out.push_back(aspa);
  return out;
}

}  // namespace

std::string AspasDuplas(std::string_view texto) { return entreAspas(texto, '"'); }
std::string AspasSimples(std::string_view texto) { return entreAspas(texto, '\''); }

void ApagaPasta(const std::string& pasta) {
  std::error_code ec;
  // Only a folder is removed: a plain file (or a link) under that name stays.
  if (!std::filesystem::is_directory(std::filesystem::symlink_status(pasta, ec))) return;
  std::filesystem::directory_iterator it(pasta, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const auto& entry = *it;
    std::error_code e2;
    if (entry.is_directory(e2) && !entry.is_symlink(e2)) {
      ApagaPasta(entry.path().string());
    } else {
      std::filesystem::remove(entry.path(), e2);
    }
  }
  std::filesystem::remove(pasta, ec);  // only succeeds when emptied
}

std::string Win1252ParaUtf8(std::string_view win1252) {
  std::string out;
  out.reserve(win1252.size());
  for (unsigned char c : win1252) {
    uint32_t cp = c;
    if (c >= 0x80 && c <= 0x9F) cp = kCp1252High[c - 0x80] ? kCp1252High[c - 0x80] : c;
    appendUtf8(out, cp);
  }
  return out;
}

std::string Utf8ParaWin1252(std::string_view in) {
  std::string out;
  AcrescentaWin1252(out, in);
  return out;
}

void AcrescentaWin1252(std::string& out, std::string_view in) {
  size_t i = 0;
  while (i < in.size() && static_cast<unsigned char>(in[i]) < 0x80) ++i;
  out.append(in.data(), i);  // the plain ASCII start in one piece
  while (i < in.size()) {
    auto c = static_cast<unsigned char>(in[i]);
    uint32_t cp;
    size_t len;
    if (c < 0x80) { cp = c; len = 1; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; len = 2; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; len = 3; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; len = 4; }
    else { out.push_back('?'); ++i; continue; }
    if (i + len > in.size()) { out.push_back('?'); break; }
    for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(in[i + k]) & 0x3F);
    i += len;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    char mapped = '?';
    for (size_t k = 0; k < kCp1252High.size(); ++k) {
      if (kCp1252High[k] == cp) mapped = static_cast<char>(0x80 + k);
    }
    out.push_back(mapped);
  }
}

}  // namespace kor
