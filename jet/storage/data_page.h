// Data pages: the slot table and the rows it addresses.
//
// A data page holds a 14-byte header (type 0x01, free space, owning table
// definition page, row count) and a slot table of 2-byte row offsets; rows sit
// at the end of the page in slot order, slot 0 last. Slot flag 0x8000 marks a
// deleted row (always written with 0x4000 too, as 0xC000) or the relocated
// copy of a row (0x8000 alone); 0x4000 alone marks a row that holds a pointer
// to its relocated copy.
//
// Row numbers never change: other structures (index entries, relocation and
// long-value pointers) address rows by (page, slot).
#pragma once

#include <cstdint>
#include <vector>

#include "jet/storage/pager.h"

namespace jet {

inline constexpr unsigned kDataHeader = 14;
inline constexpr unsigned kMaxRowsPerPage = 255;
inline constexpr unsigned kMaxRowSize = 4060;
inline constexpr uint16_t kSlotDeleted = 0xC000;
inline constexpr uint16_t kSlotRelocatedCopy = 0x8000;
inline constexpr uint16_t kSlotPointer = 0x4000;

// Initialises `p` as an empty data page of the table at `tdefPage` (or, for
// long-value pages, with the "LVAL" marker when `lval` is set).
void initDataPage(PageBuffer& p, uint32_t tdefPage, bool lval);

unsigned pageRowCount(const PageBuffer& p);
unsigned pageFreeSpace(const PageBuffer& p);
// True when a row of `size` bytes can be appended as a new slot.
bool pageHasRoom(const PageBuffer& p, size_t size);

// Appends a row in a new slot and returns the slot number. The caller checks
// pageHasRoom first.
unsigned pageAppendRow(PageBuffer& p, const uint8_t* row, size_t size, uint16_t flags = 0);

struct SlotImage {
  uint16_t flags = 0;
  std::vector<uint8_t> bytes;
};
// The flags and bytes of every slot (empty bytes for a slot of length 0).
std::vector<SlotImage> pageSlots(const PageBuffer& p);

// Where the bytes of one slot lie on the page: [start, end), empty (start =
// end) for a slot of length 0 or whose offsets make no sense, exactly as
// pageSlots() sees them.
struct SlotBounds {
  uint16_t flags = 0;
  unsigned start = 0;
  unsigned end = 0;
  size_t size() const { return end - start; }
};
// The bounds of slot `i` (which must be below pageRowCount(p)).
SlotBounds pageSlot(const PageBuffer& p, unsigned i);
// Rewrites the page from `slots`, packing the rows at the end of the page in
// slot order. Returns false (and leaves the page as it was) when they do not fit.
bool pageRewrite(PageBuffer& p, const std::vector<SlotImage>& slots);

}  // namespace jet
