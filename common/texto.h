// Text and folder routines of the shared unit (uGlobal).
//
// Text in the system is Windows-1252: std::string of single bytes, one
// character one byte.
#pragma once

#include <bitset>
#include <string>
#include <string_view>

namespace kor {

// A set of byte values.
using ConjuntoCaracteres = std::bitset<256>;

// The set of the characters of `chars`.
ConjuntoCaracteres Conjunto(std::string_view chars);
// The ten digits "0" to "9".
const ConjuntoCaracteres& Digitos();

// The characters of `texto` that belong to `conjunto`, in their order.
std::string ManterCaracteres(std::string_view texto, const ConjuntoCaracteres& conjunto);

// The digits of the field that follows the N-th hyphen of `texto` (up to and
// including the next hyphen, or to the end): empty when the text holds fewer
// than N hyphens or that field holds no digit.
std::string ExtraiCampo1(std::string_view texto);
std::string ExtraiCampo2(std::string_view texto);
std::string ExtraiCampo3(std::string_view texto);

// Maps every character of the name alphabet to its plain form (accented
// capitals to their letter, hyphen and double quote to a blank) and drops every
// character outside it (lower case, apostrophe, other accents, controls).
std::string RemoveAcentos(std::string_view texto);

// Replaces each run of blanks (character 32 only) by one blank.
std::string RemoveEspacosDuplos(std::string_view texto);

// Every CR LF pair replaced by one blank (a lone CR or LF stays).
std::string QuebrasPorEspaco(std::string_view texto);

// The text without the blanks and control characters (codes 0 to 32) at
// either end.
std::string Trim(std::string_view texto);

// Windows-1252 letters in lower / upper case (accented letters included).
std::string Minusculas(std::string_view texto);
std::string Maiusculas(std::string_view texto);

// The text as a Jet SQL literal: in double quotes, every double quote inside
// doubled, so that any text reaches the statement as one value.
std::string AspasDuplas(std::string_view texto);
// The same in single quotes, every single quote inside doubled.
std::string AspasSimples(std::string_view texto);

// Removes the folder `pasta` and everything in it, as far as it can; a file
// that cannot be deleted stays, with its folders. Reports nothing.
void ApagaPasta(const std::string& pasta);

// UTF-8 <-> Windows-1252, for the boundaries of the system (the engine keeps
// UTF-8, files and windows see Windows-1252). A character that Windows-1252
// lacks becomes "?".
std::string Utf8ParaWin1252(std::string_view utf8);
// The same, appended to `destino` (for writers that convert millions of
// values into one buffer).
void AcrescentaWin1252(std::string& destino, std::string_view utf8);
std::string Win1252ParaUtf8(std::string_view win1252);

}  // namespace kor
