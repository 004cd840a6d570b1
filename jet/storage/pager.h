// Page I/O for a Jet 4 file.
//
// The pager owns the open file. It knows the page size (4096 bytes), decodes
// the header page (the RC4-masked region, the password and the page-encoding
// key) and hands out pages by number. Pages of an encoded ("encrypted")
// database are deciphered as they are read, so everything above the pager
// sees plain pages.
//
// Reads go through a small direct-mapped cache of page buffers; a PageRef
// keeps its buffer alive for as long as the caller holds it, even if the
// cache slot is reused meanwhile. Nothing is read until it is asked for, so
// opening a file costs the same whatever its size.
//
// Failure model: every out-of-range page number, short read or I/O error is a
// jet::Error naming the file and the page. The pager is not thread-safe.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace jet {

inline constexpr uint32_t kPageSize = 4096;

using PageBuffer = std::array<uint8_t, kPageSize>;
using PageRef = std::shared_ptr<const PageBuffer>;

// Content that a layer above keeps for some pages in a form of its own (the
// decoded index pages) and writes into the page bytes only when they are
// needed. The pager owns it and tells it when pages change under it.
class PageContentCache {
 public:
  virtual ~PageContentCache() = default;
  // Writes the content held for deferred page `n` into `out` (the page's
  // buffer in the current operation). `committing`: the operation is being
  // committed, so the page changes no more before pageCommitted() or
  // operationEnded().
  virtual void writeDeferred(uint32_t n, PageBuffer& out, bool committing) = 0;
  // Page `n` joins the current operation's changed pages through modify()
  // or append() (not through setDeferred()).
  virtual void pageChanging(uint32_t n) = 0;
  // The current operation committed page `n` with these bytes.
  virtual void pageCommitted(uint32_t n, const PageBuffer& bytes) = 0;
  // The current operation ended (committed, rolled back or failed); no
  // page is deferred any more.
  virtual void operationEnded() = 0;
};

// What the header page says about the file.
struct HeaderInfo {
  uint8_t jetVersion = 0;        // 1 = Jet 4
  uint16_t codePage = 0;
  uint32_t encodingKey = 0;      // 0 = pages stored in the clear
  std::u16string password;       // empty when the file has none
  uint16_t sortOrder = 0;        // default collating order LCID
  uint8_t sortVersion = 0;
  double creationDate = 0;
};

class Pager {
 public:
  // Opens `path`. Throws jet::Error when the file cannot be opened, is not a
  // Jet database, or is a version other than Jet 4.
  static std::unique_ptr<Pager> open(const std::string& path, bool writable);
  ~Pager();

  Pager(const Pager&) = delete;
  Pager& operator=(const Pager&) = delete;

  const std::string& path() const { return path_; }
  const HeaderInfo& header() const { return header_; }
  bool writable() const { return writable_; }
  uint32_t pageCount() const { return pageCount_; }

  // The plain content of page `n`. Throws jet::Error when `n` is past the end
  // of the file or the read fails.
  PageRef page(uint32_t n);

  // Builds the error message for a structural fault on page `n`.
  std::string faultMessage(uint32_t n, const std::string& what) const;

  // --- Writing (writable pagers only) -------------------------------------
  //
  // Changes are grouped into one operation: begin(), any number of modify()
  // and append() calls, then commit() or rollback(). The original image of
  // every changed page goes to the rollback journal beside the file before
  // the page is overwritten; commit() writes the pages, flushes the file and
  // removes the journal, rollback() leaves the file as it was before begin().
  // Opening a file with a leftover journal restores the saved images first.
  // The memory an operation holds is bounded by the spill budget (see
  // spillIfOverBudget); pages beyond it go to the file before the commit,
  // under the journal's cover.

  static constexpr size_t kDefaultSpillBudget = size_t{64} << 20;

  void begin();
  bool inOperation() const;
  // A writable copy of page `n` for the current operation. Later page(n)
  // calls see the modified content.
  PageBuffer& modify(uint32_t n);
  // Appends a zeroed page to the file (in the current operation) and returns
  // its number. The caller must mark it used in the global usage map.
  uint32_t append();
  // Marks page `n` changed in the current operation with its content held
  // by the content cache: the cache's writeDeferred() fills the page the
  // next time it is read or modified, and at commit. With `deferred` false
  // the page stays changed but its buffer is no longer filled by the cache.
  void setDeferred(uint32_t n, bool deferred);
  // True when page `n` is among the current operation's changed pages.
  bool changedInOperation(uint32_t n) const;
  // Makes the operation durable. On failure the operation is undone (the
  // file is as before begin()) and a jet::Error thrown.
  void commit();
  void rollback();

  // Bytes of changed pages an operation holds in memory before it spills
  // them to the file (at least one page).
  void setSpillBudget(size_t bytes);
  size_t spillBudget() const { return spillBudget_; }
  // When the operation holds more changed pages than the budget allows,
  // seals the journal and writes them to the file, keeping none in memory.
  // Call only where no reference from modify() is still in use (the
  // Database calls it as each write call inside a larger operation ends).
  // Throws jet::Error on an I/O error; the caller must then roll back.
  void spillIfOverBudget();
  // Pages written to the file by spills since the pager was opened.
  uint64_t spilledPages() const { return spilledPages_; }
  // Throws jet::Error, before anything is written, when the disk holding the
  // journal has plainly too little free space for an operation that changes
  // `pages` existing pages.
  void checkJournalSpace(uint64_t pages) const;
  // Reads the header page again (after it was changed).
  void reloadHeader() { readHeader(); }

  // The content cache attached to this pager (null when none).
  PageContentCache* contentCache() const { return contentCache_.get(); }
  void setContentCache(std::unique_ptr<PageContentCache> cache) { contentCache_ = std::move(cache); }

  // Test hook: called after the journal is sealed and after each page
  // written by commit() or by a spill, so a fault-injection test can stop at
  // any point.
  void setWriteHook(std::function<void()> hook) { writeHook_ = std::move(hook); }

 private:
  struct Operation;
  struct Changed;

  Pager() = default;
  void readHeader();
  void readRaw(uint32_t n, uint8_t* out) const;
  void decodePage(uint32_t n, uint8_t* data) const;
  std::string journalPath() const;
  Changed& changedEntry(uint32_t n, bool notify);
  void journalOriginal(uint32_t n, const PageBuffer& plain);
  void flushJournal();
  void sealJournal();
  [[noreturn]] void journalFailed();
  static std::vector<uint32_t> heldPages(const Operation& op);
  bool writeHeldPages(const Operation& op, const std::vector<uint32_t>& order);
  void abandon(Operation& op);
  void recoverJournal();
  std::string directory() const;
  void syncDirectory() const;
  void writeDeferredPages();
  void fillDeferred(uint32_t n, bool& deferred, PageBuffer& buffer, bool committing);
  void endOperation();

  std::string path_;
  int fd_ = -1;
  bool writable_ = false;
  uint32_t pageCount_ = 0;
  HeaderInfo header_;

  struct Slot {
    uint32_t page = UINT32_MAX;
    std::shared_ptr<PageBuffer> buffer;
  };
  std::vector<Slot> cache_;
  std::unique_ptr<Operation> op_;
  std::function<void()> writeHook_;
  std::unique_ptr<PageContentCache> contentCache_;
  size_t spillBudget_ = kDefaultSpillBudget;
  uint64_t spilledPages_ = 0;
  std::string broken_;  // set when a rollback could not put the file back
};

// The 128-byte keystream that masks header bytes 0x18..0x97.
extern const std::array<uint8_t, 128> kHeaderMask;

// RC4 with a 4-byte key over `len` bytes in place (page encoding).
void rc4Apply(const uint8_t key[4], uint8_t* data, size_t len);

}  // namespace jet
