#include "jet/storage/data_page.h"

#include <cstring>

#include "jet/storage/bytes.h"

namespace jet {

void initDataPage(PageBuffer& p, uint32_t tdefPage, bool lval) {
  p.fill(0);
  p[0] = 0x01;
  p[1] = 0x01;
  putLe16(p.data() + 2, kPageSize - kDataHeader);
  if (lval) std::memcpy(p.data() + 4, "LVAL", 4);
  else putLe32(p.data() + 4, tdefPage);
}

unsigned pageRowCount(const PageBuffer& p) { return le16(p.data() + 12); }

unsigned pageFreeSpace(const PageBuffer& p) { return le16(p.data() + 2); }

bool pageHasRoom(const PageBuffer& p, size_t size) {
  unsigned count = pageRowCount(p);
  if (count >= kMaxRowsPerPage) return false;
  unsigned lowest = count ? (le16(p.data() + kDataHeader + 2 * (count - 1)) & 0x1FFF) : kPageSize;
  unsigned tableEnd = kDataHeader + 2 * (count + 1);
  return lowest >= tableEnd && lowest - tableEnd >= size;
}

unsigned pageAppendRow(PageBuffer& p, const uint8_t* row, size_t size, uint16_t flags) {
  unsigned count = pageRowCount(p);
  unsigned prev = count ? (le16(p.data() + kDataHeader + 2 * (count - 1)) & 0x1FFF) : kPageSize;
  unsigned start = prev - static_cast<unsigned>(size);
  std::memcpy(p.data() + start, row, size);
  putLe16(p.data() + kDataHeader + 2 * count, static_cast<uint16_t>(start | flags));
  putLe16(p.data() + 12, static_cast<uint16_t>(count + 1));
  // Rows lie in slot order from the end of the page, so the new row is the
  // lowest one and the free space ends at it.
  putLe16(p.data() + 2, static_cast<uint16_t>(start - (kDataHeader + 2 * (count + 1))));
  return count;
}

SlotBounds pageSlot(const PageBuffer& p, unsigned i) {
  SlotBounds b;
  if (kDataHeader + 2 * (i + 1) > kPageSize) return b;  // a row count no page can hold
  uint16_t raw = le16(p.data() + kDataHeader + 2 * i);
  unsigned start = raw & 0x1FFF;
  unsigned end = i == 0 ? kPageSize : (le16(p.data() + kDataHeader + 2 * (i - 1)) & 0x1FFF);
  b.flags = raw & 0xC000;
  if (start < end && end <= kPageSize) {
    b.start = start;
    b.end = end;
  }
  return b;
}

std::vector<SlotImage> pageSlots(const PageBuffer& p) {
  unsigned count = pageRowCount(p);
  std::vector<SlotImage> slots(count);
  for (unsigned i = 0; i < count; ++i) {
    SlotBounds b = pageSlot(p, i);
    slots[i].flags = b.flags;
    if (b.size()) slots[i].bytes.assign(p.begin() + b.start, p.begin() + b.end);
  }
  return slots;
}

bool pageRewrite(PageBuffer& p, const std::vector<SlotImage>& slots) {
  size_t total = kDataHeader + 2 * slots.size();
  for (const auto& s : slots) total += s.bytes.size();
  if (total > kPageSize || slots.size() > kMaxRowsPerPage) return false;
  PageBuffer out{};
  std::memcpy(out.data(), p.data(), 12);  // type, free space (rewritten), owner, unknown
  unsigned pos = kPageSize;
  for (size_t i = 0; i < slots.size(); ++i) {
    pos -= static_cast<unsigned>(slots[i].bytes.size());
    if (!slots[i].bytes.empty()) std::memcpy(out.data() + pos, slots[i].bytes.data(), slots[i].bytes.size());
    putLe16(out.data() + kDataHeader + 2 * i, static_cast<uint16_t>(pos | slots[i].flags));
  }
  putLe16(out.data() + 12, static_cast<uint16_t>(slots.size()));
  putLe16(out.data() + 2, static_cast<uint16_t>(kPageSize - total));
  p = out;
  return true;
}

}  // namespace jet
