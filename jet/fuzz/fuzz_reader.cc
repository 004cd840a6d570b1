// Fuzzes the reader: the input is a database file. Opening it, listing its
// tables, reading every definition and scanning every row must either work or
// throw jet::Error; anything else (a crash, a hang, a sanitizer report) is a
// fault. Inputs are written to a memory file so no disk is touched.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "jet/storage/database.h"
#include "jet/storage/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int fd = memfd_create("fuzz.mdb", 0);
  static std::string path = "/proc/self/fd/" + std::to_string(fd);
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  try {
    auto db = jet::Database::open(path, {.password = "lumpa"});
    for (const auto& entry : db->catalog()) {
      try {
        auto scan = db->scan(entry.name);
        size_t rows = 0;
        while (scan.next() && ++rows < 100000) {
        }
      } catch (const jet::Error&) {
      }
    }
  } catch (const jet::Error&) {
  }
  return 0;
}
