// Usage maps and page allocation.
//
// A usage map is a row on a data page that records a set of page numbers,
// either inline (a start page and a bitmap) or by reference (pointers to
// bitmap pages of type 0x05, each covering 32736 pages). Tables use them for
// their owned pages and their pages with free space, each index for its pages,
// each Memo/OLE column for its long-value pages. The global map (row 0 of page
// 1) has the opposite sense: a set bit means the page is free; pages past its
// window count as free and pages before it as used.
//
// These functions change maps inside the pager's current operation.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/storage/pager.h"
#include "jet/storage/table_def.h"

namespace jet {

// The pages recorded in a (non-global) usage map, ascending.
std::vector<uint32_t> usageMapPages(Pager& pager, MapRef ref);

// Records `page` in the map (owned / has free space). An inline map whose
// window cannot hold the page moves its window when everything still fits,
// and otherwise becomes a reference map.
void usageMapAdd(Pager& pager, MapRef ref, uint32_t page);
// Removes `page` from the map; a page the map does not hold is ignored.
void usageMapRemove(Pager& pager, MapRef ref, uint32_t page);

// Appends a new zeroed page to the file and marks it used in the global map.
uint32_t allocatePage(Pager& pager);
// Marks `page` free in the global map and clears its page header, so that no
// reader takes it for a live page.
void freePage(Pager& pager, uint32_t page);
// True when the global map says `page` is in use.
bool globalMapUsed(Pager& pager, uint32_t page);

// Usage-map row bytes for a new map: an empty inline map (`start` page, 64
// bitmap bytes) or an empty reference map (17 null pointers).
std::vector<uint8_t> newInlineMap(uint32_t start);
std::vector<uint8_t> newReferenceMap();

}  // namespace jet
