// Little-endian field access with bounds checks, for parsing on-disk structures.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "jet/storage/error.h"

namespace jet {

inline uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t le24(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16); }
inline uint32_t le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void putLe16(uint8_t* p, uint16_t v) { p[0] = v & 0xFF; p[1] = v >> 8; }
inline void putLe24(uint8_t* p, uint32_t v) { p[0] = v & 0xFF; p[1] = (v >> 8) & 0xFF; p[2] = (v >> 16) & 0xFF; }
inline void putLe32(uint8_t* p, uint32_t v) {
  p[0] = v & 0xFF; p[1] = (v >> 8) & 0xFF; p[2] = (v >> 16) & 0xFF; p[3] = v >> 24;
}

// A read-only view of a byte buffer whose every access is checked; a read past
// the end throws jet::Error with the message given at construction.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size, std::string faultMessage)
      : data_(data), size_(size), fault_(std::move(faultMessage)) {}

  size_t size() const { return size_; }
  const uint8_t* at(size_t offset, size_t len) const {
    if (offset > size_ || len > size_ - offset) throw Error(fault_);
    return data_ + offset;
  }
  uint8_t u8(size_t off) const { return *at(off, 1); }
  uint16_t u16(size_t off) const { return le16(at(off, 2)); }
  uint32_t u24(size_t off) const { return le24(at(off, 3)); }
  uint32_t u32(size_t off) const { return le32(at(off, 4)); }
  [[noreturn]] void fail() const { throw Error(fault_); }

 private:
  const uint8_t* data_;
  size_t size_;
  std::string fault_;
};

}  // namespace jet
