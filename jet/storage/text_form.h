// The canonical text form of values, shared by every tool that prints rows.
//
// Null is \N; Boolean 1/0; integers in decimal; Currency with exactly four
// decimals; Single and Double in the shortest form that reads back to the same
// value; Date/Time as YYYY-MM-DD HH:MM:SS (.fff only when there are
// milliseconds); Text as UTF-8 with backslash, TAB, CR and LF escaped; Binary
// as lower-case hex; GUID as {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
#pragma once

#include <string>

#include "jet/storage/value.h"

namespace jet {

std::string canonicalText(const Value& v);
// Appends the canonical text of `v` to `out` (no allocation besides the
// growth of `out`).
void appendCanonicalText(std::string& out, const Value& v);

// Text written to a file descriptor in large pieces: append to text() and
// call maybeFlush() after each line. Throws jet::Error when a write fails.
class OutputBuffer {
 public:
  explicit OutputBuffer(int fd, size_t size = 1 << 16) : fd_(fd), size_(size) { text_.reserve(size + 4096); }
  ~OutputBuffer();
  OutputBuffer(const OutputBuffer&) = delete;
  OutputBuffer& operator=(const OutputBuffer&) = delete;

  std::string& text() { return text_; }
  void maybeFlush() {
    if (text_.size() >= size_) flush();
  }
  void flush();

 private:
  int fd_;
  size_t size_;
  std::string text_;
};

// Calendar fields of an OLE Automation date.
struct CivilDateTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};
CivilDateTime toCivil(double oleDate);
// The OLE Automation date of a calendar date and time (no range checks).
double fromCivil(const CivilDateTime& c);

}  // namespace jet
