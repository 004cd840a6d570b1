// Page I/O, the header page and the rollback journal.
//
// Reading. Pages are read with pread into 4096-byte buffers held by a
// direct-mapped cache (slot = page number modulo the cache size). A PageRef is
// a shared pointer, so a caller may keep a page while the cache moves on. Page
// 0 is handed out as stored; every other page of an encoded database is
// deciphered with RC4 under the key (encoding key XOR page number).
//
// Writing. Changes are grouped into operations (one SQL statement, one
// public write call of the Database). Inside an operation, modify() gives a
// private copy of a page and append() a new zeroed page; both live in the
// dirty set and are seen by page(). The journal "<file>-journal" holds the
// original image of every page that existed before the operation and that
// the operation changes; an image is added the first time its page joins the
// dirty set, into a buffer that goes to the journal file in chunks.
//
// The journal header (magic, original page count, record count, checksum) is
// written only when the journal is "sealed": its records are flushed, then
// the header is written and flushed. A journal without a valid header is
// incomplete and discarded on open; a sealed journal covers exactly the
// records counted in its header, whatever follows them.
//
// The invariant that makes every failure recoverable: no page of the file
// is overwritten before the journal is sealed with that page's original
// image among its counted records, and the journal is removed only after
// every page of the operation reached the file and the file was flushed.
// Pages past the original page count need no image: recovery cuts the file
// back to its original length.
//
// Memory. The dirty set is bounded by the spill budget (64 MiB unless set).
// When a caller reaches a point where it holds no buffer from modify() or
// append() (the Database calls spillIfOverBudget() after each nested write
// call) and the dirty buffers exceed the budget, the pager "spills": it seals
// the journal, writes every dirty page it holds to the file (without
// flushing the file: the journal covers them) and lets their buffers go; the
// written pages stay in the dirty set, without buffer, so changedInOperation()
// still answers for them, and page() reads them back from the file. A page
// changed again after a spill gets a new buffer but no second journal image:
// the journal must keep the image from before the operation.
//
// commit() seals the journal, writes the pages still held, flushes the file
// and removes the journal. rollback() of an operation that never spilled only
// drops the buffers (and the incomplete journal); once something spilled, it
// copies the journal's images back into the file exactly as an open after a
// crash would, then removes the journal.
//
// A page may also be "deferred": changed in the operation, with its content
// held in decoded form by the content cache attached to the pager (decoded
// index pages). Its buffer is filled from the cache (writeDeferred) the next
// time the page is read or modified, and for every deferred page as commit()
// begins, so everything below sees plain bytes. Deferred pages are not
// spilled (the content cache keeps its own bound and writes pages out when it
// evicts them). The cache hears of every other change (pageChanging), of each
// committed page and of the end of each operation, so it can tell whether its
// decodings still match the pages; a spilled page is not reported committed,
// so the cache drops its decoding at the end of the operation.
//
// Failure model. A kill or crash before the first seal leaves the file
// untouched and at most an incomplete journal. A kill at any later moment
// leaves a sealed journal whose images cover every page written so far: the
// next open copies them back and cuts the file to its original length, so the
// file is exactly as it was before the operation. A journal is never applied
// twice to different data because it is only removed after the file is
// flushed. An I/O error while writing pages puts the file back from the
// journal at once (commit) or when the caller rolls back (spill); if even
// that fails, the pager refuses further work and the journal stays for the
// next open.
//
// The pager is not thread-safe and takes no file lock (the desktop product
// may have the file open at the same time).
#include "jet/storage/pager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>

#include "jet/storage/error.h"

namespace jet {

namespace {

constexpr size_t kCacheSlots = 4096;  // 16 MiB of page buffers at most
// Journal formats: 1 sums whole-page records with FNV-1a, byte by byte; 2
// sums them with recordSum below; 3 (written now) leaves the longest run of
// zero bytes out of each record (see the journal layout in writeJournal) and
// sums the records as stored with recordSum. All three are read back.
constexpr char kJournalMagic1[8] = {'J', 'E', 'T', 'J', 'R', 'N', 'L', '1'};
constexpr char kJournalMagic2[8] = {'J', 'E', 'T', 'J', 'R', 'N', 'L', '2'};
constexpr char kJournalMagic3[8] = {'J', 'E', 'T', 'J', 'R', 'N', 'L', '3'};
constexpr size_t kJournalHeader = 24;
constexpr size_t kJournalRecord = 4 + kPageSize;     // formats 1 and 2
constexpr size_t kJournalRecordHead = 8;             // format 3: page, zero run start and length
constexpr size_t kJournalChunkBytes = 256 * 1024;    // bytes per write

uint32_t get32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void put32(uint8_t* p, uint32_t v) {
  p[0] = v & 0xFF; p[1] = (v >> 8) & 0xFF; p[2] = (v >> 16) & 0xFF; p[3] = v >> 24;
}

uint64_t fnv1a(const uint8_t* data, size_t len, uint64_t h = 1469598103934665603ull) {
  for (size_t i = 0; i < len; ++i) {
    h ^= data[i];
    h *= 1099511628211ull;
  }
  return h;
}

// Checksum of one journal record (format 2): four multiply-xor lanes over
// 8-byte words, folded together with the length.
uint64_t recordSum(const uint8_t* data, size_t len) {
  constexpr uint64_t k = 0x9E3779B97F4A7C15ull;
  uint64_t h[4] = {len, 0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull};
  size_t i = 0;
  for (; i + 32 <= len; i += 32) {
    for (int lane = 0; lane < 4; ++lane) {
      uint64_t w;
      std::memcpy(&w, data + i + 8 * lane, 8);
      h[lane] = (h[lane] ^ w) * k;
      h[lane] ^= h[lane] >> 29;
    }
  }
  for (; i < len; ++i) h[0] = (h[0] ^ data[i]) * k;
  uint64_t r = 0;
  for (uint64_t lane : h) {
    r = (r ^ lane) * k;
    r ^= r >> 32;
  }
  return r;
}

// The checksum of a sequence of records, extended by one record.
uint64_t addRecordSum(uint64_t sum, const uint8_t* record, size_t len = kJournalRecord) {
  sum = (sum ^ recordSum(record, len)) * 0x100000001B3ull;
  return sum ^ (sum >> 31);
}

// The longest run of zero bytes in a page, as [start, start + length):
// found over aligned 8-byte words, then widened byte by byte. Index pages
// end in their free space, data pages have it between the offsets and the
// rows.
std::pair<size_t, size_t> longestZeroRun(const uint8_t* page) {
  size_t bestStart = 0, bestWords = 0, runStart = 0, runWords = 0;
  for (size_t w = 0; w < kPageSize / 8; ++w) {
    uint64_t v;
    std::memcpy(&v, page + 8 * w, 8);
    if (v == 0) {
      if (runWords++ == 0) runStart = w;
      if (runWords > bestWords) {
        bestWords = runWords;
        bestStart = runStart;
      }
    } else {
      runWords = 0;
    }
  }
  if (bestWords == 0) return {0, 0};
  size_t start = bestStart * 8;
  size_t end = (bestStart + bestWords) * 8;
  while (start > 0 && page[start - 1] == 0) --start;
  while (end < kPageSize && page[end] == 0) ++end;
  return {start, end - start};
}

std::string sysError(const std::string& what, const std::string& path) {
  return what + " '" + path + "': " + std::strerror(errno);
}

bool writeAll(int fd, const uint8_t* data, size_t len, off_t offset) {
  while (len > 0) {
    ssize_t n = ::pwrite(fd, data, len, offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    len -= static_cast<size_t>(n);
    offset += n;
  }
  return true;
}

constexpr size_t kWriteRunPages = 64;  // at most IOV_MAX

// Writes whole pages, `pages` one after another from `offset`.
bool writePages(int fd, const std::vector<const uint8_t*>& pages, off_t offset) {
  iovec iov[kWriteRunPages];
  size_t first = 0;   // first page not yet fully written
  size_t done = 0;    // bytes of that page already written
  while (first < pages.size()) {
    const size_t n = std::min(pages.size() - first, kWriteRunPages);
    for (size_t i = 0; i < n; ++i) {
      iov[i].iov_base = const_cast<uint8_t*>(pages[first + i]) + (i == 0 ? done : 0);
      iov[i].iov_len = kPageSize - (i == 0 ? done : 0);
    }
    ssize_t w = ::pwritev(fd, iov, static_cast<int>(n), offset);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    offset += w;
    size_t bytes = done + static_cast<size_t>(w);
    first += bytes / kPageSize;
    done = bytes % kPageSize;
  }
  return true;
}

bool readAll(int fd, uint8_t* data, size_t len, off_t offset) {
  while (len > 0) {
    ssize_t n = ::pread(fd, data, len, offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    data += n;
    len -= static_cast<size_t>(n);
    offset += n;
  }
  return true;
}

// Reads the records of a journal one after another through a window of the
// file, so a journal of any size takes the same memory.
class JournalReader {
 public:
  JournalReader(int fd, int format) : fd_(fd), format_(format), window_(kWindow) {}

  // The next record: its page number and whole image. False when the file
  // ends before the record does or the record is malformed.
  bool next(uint32_t& page, uint8_t* image) {
    pos_ += storedSize_;
    storedSize_ = 0;
    if (format_ < 3) {
      if (!have(kJournalRecord)) return false;
      const uint8_t* r = window_.data() + pos_;
      page = get32(r);
      std::memcpy(image, r + 4, kPageSize);
      storedSize_ = kJournalRecord;
      return true;
    }
    if (!have(kJournalRecordHead)) return false;
    const uint8_t* r = window_.data() + pos_;
    const size_t zeroStart = r[4] | (r[5] << 8);
    const size_t zeroLength = r[6] | (r[7] << 8);
    if (zeroStart + zeroLength > kPageSize) return false;
    const size_t kept = kPageSize - zeroLength;
    if (!have(kJournalRecordHead + kept)) return false;
    r = window_.data() + pos_;
    page = get32(r);
    std::memcpy(image, r + kJournalRecordHead, zeroStart);
    std::memset(image + zeroStart, 0, zeroLength);
    std::memcpy(image + zeroStart + zeroLength, r + kJournalRecordHead + zeroStart,
                kPageSize - zeroStart - zeroLength);
    storedSize_ = kJournalRecordHead + kept;
    return true;
  }

  // The record returned by next() as stored (what the checksum covers).
  const uint8_t* stored() const { return window_.data() + pos_; }
  size_t storedSize() const { return storedSize_; }

 private:
  static constexpr size_t kWindow = 1 << 20;

  // At least `n` bytes from pos_ in the window, reading on when needed.
  bool have(size_t n) {
    if (end_ - pos_ >= n) return true;
    std::memmove(window_.data(), window_.data() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
    while (end_ < n) {
      ssize_t got = ::pread(fd_, window_.data() + end_, window_.size() - end_, offset_);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      end_ += static_cast<size_t>(got);
      offset_ += got;
    }
    return true;
  }

  int fd_;
  int format_;
  std::vector<uint8_t> window_;
  size_t pos_ = 0, end_ = 0;
  size_t storedSize_ = 0;
  off_t offset_ = kJournalHeader;
};

}  // namespace

const std::array<uint8_t, 128> kHeaderMask = {
    0xb5, 0x6f, 0x03, 0x62, 0x61, 0x08, 0xc2, 0x55, 0xeb, 0xa9, 0x67, 0x72, 0x43, 0x3f, 0x00, 0x9c,
    0x7a, 0x9f, 0x90, 0xff, 0x80, 0x9a, 0x31, 0xc5, 0x79, 0xba, 0xed, 0x30, 0xbc, 0xdf, 0xcc, 0x9d,
    0x63, 0xd9, 0xe4, 0xc3, 0x7b, 0x42, 0xfb, 0x8a, 0xbc, 0x4e, 0x86, 0xfb, 0xec, 0x37, 0x5d, 0x44,
    0x9c, 0xfa, 0xc6, 0x5e, 0x28, 0xe6, 0x13, 0xb6, 0x8a, 0x60, 0x54, 0x94, 0x7b, 0x36, 0xf5, 0x72,
    0xdf, 0xb1, 0x77, 0xf4, 0x13, 0x43, 0xcf, 0xaf, 0xb1, 0x33, 0x34, 0x61, 0x79, 0x5b, 0x92, 0xb5,
    0x7c, 0x2a, 0x05, 0xf1, 0x7c, 0x99, 0x01, 0x1b, 0x98, 0xfd, 0x12, 0x4f, 0x4a, 0x94, 0x6c, 0x3e,
    0x60, 0x26, 0x5f, 0x95, 0xf8, 0xd0, 0x89, 0x24, 0x85, 0x67, 0xc6, 0x1f, 0x27, 0x44, 0xd2, 0xee,
    0xcf, 0x65, 0xed, 0xff, 0x07, 0xc7, 0x46, 0xa1, 0x78, 0x16, 0x0c, 0xed, 0xe9, 0x2d, 0x62, 0xd4,
};

void rc4Apply(const uint8_t key[4], uint8_t* data, size_t len) {
  uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = static_cast<uint8_t>(j + s[i] + key[i % 4]);
    std::swap(s[i], s[j]);
  }
  uint8_t a = 0, b = 0;
  for (size_t k = 0; k < len; ++k) {
    a = static_cast<uint8_t>(a + 1);
    b = static_cast<uint8_t>(b + s[a]);
    std::swap(s[a], s[b]);
    data[k] ^= s[static_cast<uint8_t>(s[a] + s[b])];
  }
}

// A page changed in the operation under way.
struct Pager::Changed {
  std::shared_ptr<PageBuffer> buffer;  // null once spilled: the file holds the page
  bool deferred = false;               // the content cache holds the content; the buffer is stale
};

struct Pager::Operation {
  // The journal of the operation: records not yet written wait in `chunk`.
  struct Journal {
    int fd = -1;                      // opened when the first bytes must reach it
    std::vector<uint8_t> chunk;
    off_t end = kJournalHeader;       // where the next chunk goes
    uint32_t count = 0;               // records added
    uint64_t sum = 0;                 // checksum of the records added
    uint32_t sealedCount = 0;         // records counted by the header on disk
    bool sealed = false;              // the header on disk is valid
  };
  uint32_t originalPageCount = 0;
  std::unordered_map<uint32_t, Changed> dirty;
  size_t deferredCount = 0;
  size_t heldPages = 0;  // entries of `dirty` that hold a buffer
  Journal journal;
};

std::unique_ptr<Pager> Pager::open(const std::string& path, bool writable) {
  std::unique_ptr<Pager> p(new Pager());
  p->path_ = path;
  p->writable_ = writable;
  p->fd_ = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (p->fd_ < 0) {
    if (errno == ENOENT) throw Error("Arquivo não encontrado: '" + path + "'.");
    throw Error(sysError("Não foi possível abrir o arquivo", path));
  }
  struct stat st {};
  if (::fstat(p->fd_, &st) != 0) throw Error(sysError("Não foi possível ler o arquivo", path));
  if (!S_ISREG(st.st_mode)) throw Error("Não é um arquivo do Access: '" + path + "'.");

  p->recoverJournal();

  if (::fstat(p->fd_, &st) != 0) throw Error(sysError("Não foi possível ler o arquivo", path));
  if (st.st_size < static_cast<off_t>(kPageSize)) {
    throw Error("Não é um arquivo do Access (arquivo curto demais): '" + path + "'.");
  }
  // A trailing partial page is ignored: pages are whole or absent.
  p->pageCount_ = static_cast<uint32_t>(std::min<off_t>(st.st_size / kPageSize, UINT32_MAX));
  p->readHeader();
  p->cache_.resize(kCacheSlots);
  return p;
}

Pager::~Pager() {
  // An operation left open is undone (a spilled one from the journal).
  if (op_) rollback();
  if (fd_ >= 0) ::close(fd_);
}

void Pager::readHeader() {
  uint8_t h[kPageSize];
  if (!readAll(fd_, h, kPageSize, 0)) throw Error(sysError("Erro de leitura em", path_));
  static const char kEngine[] = "Standard Jet DB";
  if (h[0] != 0x00 || h[1] != 0x01 || h[2] != 0x00 || h[3] != 0x00) {
    throw Error("Não é um arquivo do Access: '" + path_ + "'.");
  }
  if (std::memcmp(h + 4, kEngine, sizeof kEngine) != 0) {
    if (std::memcmp(h + 4, "Standard ACE DB", 15) == 0) {
      throw Error("Versão não suportada (Access 2007 ou posterior): '" + path_ + "'.");
    }
    throw Error("Não é um arquivo do Access: '" + path_ + "'.");
  }
  uint8_t version = h[0x14];
  if (version == 0x00) throw Error("Versão não suportada (Jet 3, Access 97): '" + path_ + "'.");
  if (version != 0x01) throw Error("Versão não suportada (Access 2007 ou posterior): '" + path_ + "'.");

  uint8_t d[128];
  for (size_t i = 0; i < 128; ++i) d[i] = h[0x18 + i] ^ kHeaderMask[i];
  auto at = [&](size_t off) { return d + (off - 0x18); };
  header_.jetVersion = version;
  header_.codePage = static_cast<uint16_t>(at(0x3C)[0] | (at(0x3C)[1] << 8));
  header_.encodingKey = get32(at(0x3E));
  header_.sortOrder = static_cast<uint16_t>(at(0x6E)[0] | (at(0x6E)[1] << 8));
  header_.sortVersion = at(0x71)[0];
  std::memcpy(&header_.creationDate, at(0x72), 8);

  uint8_t mask[4];
  double date = header_.creationDate;
  int32_t seed = (date > -2147483648.0 && date < 2147483647.0) ? static_cast<int32_t>(date) : 0;
  put32(mask, static_cast<uint32_t>(seed));
  uint8_t pw[40];
  bool empty = true;
  for (int i = 0; i < 40; ++i) {
    pw[i] = at(0x42)[i] ^ mask[i % 4];
    if (pw[i]) empty = false;
  }
  header_.password.clear();
  if (!empty) {
    for (int i = 0; i + 1 < 40; i += 2) {
      char16_t c = static_cast<char16_t>(pw[i] | (pw[i + 1] << 8));
      if (c == 0) break;
      header_.password.push_back(c);
    }
  }
}

std::string Pager::faultMessage(uint32_t n, const std::string& what) const {
  return "Arquivo corrompido '" + path_ + "', página " + std::to_string(n) + ": " + what + ".";
}

void Pager::readRaw(uint32_t n, uint8_t* out) const {
  if (!readAll(fd_, out, kPageSize, static_cast<off_t>(n) * kPageSize)) {
    throw Error(faultMessage(n, "leitura incompleta"));
  }
}

void Pager::decodePage(uint32_t n, uint8_t* data) const {
  if (n == 0 || header_.encodingKey == 0) return;
  uint8_t key[4];
  put32(key, header_.encodingKey ^ n);
  rc4Apply(key, data, kPageSize);
}

PageRef Pager::page(uint32_t n) {
  if (op_) {
    auto it = op_->dirty.find(n);
    if (it != op_->dirty.end()) {
      Changed& c = it->second;
      if (c.buffer) {
        if (c.deferred) fillDeferred(n, c.deferred, *c.buffer, false);
        return c.buffer;
      }
    }
  }
  if (n >= pageCount_) {
    throw Error(faultMessage(n, "página fora do arquivo (" + std::to_string(pageCount_) +
                                    " páginas)"));
  }
  Slot& slot = cache_[n % cache_.size()];
  if (slot.page == n && slot.buffer) return slot.buffer;
  if (!broken_.empty()) throw Error(broken_);
  auto buf = std::make_shared<PageBuffer>();
  readRaw(n, buf->data());
  decodePage(n, buf->data());
  slot.page = n;
  slot.buffer = buf;
  return buf;
}

// --- Writing ---------------------------------------------------------------

std::string Pager::journalPath() const { return path_ + "-journal"; }

void Pager::begin() {
  if (!writable_) throw Error("O banco de dados '" + path_ + "' foi aberto somente para leitura.");
  if (!broken_.empty()) throw Error(broken_);
  if (op_) throw Error("Operação de gravação já iniciada.");
  op_ = std::make_unique<Operation>();
  op_->originalPageCount = pageCount_;
}

bool Pager::inOperation() const { return op_ != nullptr; }

void Pager::setSpillBudget(size_t bytes) { spillBudget_ = std::max<size_t>(bytes, kPageSize); }

// The entry of page `n` in the dirty set, created from the page's current
// content (its original image goes to the journal) when it is not there.
// A spilled entry gets its buffer back from the file.
Pager::Changed& Pager::changedEntry(uint32_t n, bool notify) {
  auto it = op_->dirty.find(n);
  if (it == op_->dirty.end()) {
    PageRef current = page(n);
    if (n < op_->originalPageCount) journalOriginal(n, *current);
    if (notify && contentCache_) contentCache_->pageChanging(n);
    it = op_->dirty.emplace(n, Changed{std::make_shared<PageBuffer>(*current), false}).first;
    ++op_->heldPages;
  } else if (!it->second.buffer) {
    auto copy = std::make_shared<PageBuffer>(*page(n));
    it->second.buffer = std::move(copy);
    ++op_->heldPages;
  }
  return it->second;
}

PageBuffer& Pager::modify(uint32_t n) {
  if (!op_) throw Error("Gravação fora de uma operação.");
  Changed& c = changedEntry(n, true);
  if (c.deferred) fillDeferred(n, c.deferred, *c.buffer, false);
  return *c.buffer;
}

uint32_t Pager::append() {
  if (!op_) throw Error("Gravação fora de uma operação.");
  if (pageCount_ >= (0x7FFFFFFFu / kPageSize)) {
    throw Error("O banco de dados '" + path_ + "' atingiu o tamanho máximo de 2 GB.");
  }
  uint32_t n = pageCount_++;
  if (contentCache_) contentCache_->pageChanging(n);
  op_->dirty.emplace(n, Changed{std::make_shared<PageBuffer>(), false});
  ++op_->heldPages;
  return n;
}

void Pager::setDeferred(uint32_t n, bool deferred) {
  if (!op_) throw Error("Gravação fora de uma operação.");
  if (deferred && !contentCache_) throw Error("Página adiada sem cache de conteúdo.");
  if (!deferred && !op_->dirty.count(n)) return;
  Changed& c = changedEntry(n, false);
  if (c.deferred == deferred) return;
  c.deferred = deferred;
  if (deferred) ++op_->deferredCount;
  else --op_->deferredCount;
}

bool Pager::changedInOperation(uint32_t n) const { return op_ && op_->dirty.count(n) != 0; }

// Fills every deferred page of the operation from the content cache, as
// commit() begins.
void Pager::writeDeferredPages() {
  if (!op_ || op_->deferredCount == 0) return;
  for (auto& [n, c] : op_->dirty) {
    if (c.deferred) fillDeferred(n, c.deferred, *c.buffer, true);
  }
}

void Pager::fillDeferred(uint32_t n, bool& deferred, PageBuffer& buffer, bool committing) {
  contentCache_->writeDeferred(n, buffer, committing);
  deferred = false;
  --op_->deferredCount;
}

void Pager::endOperation() {
  if (contentCache_) contentCache_->operationEnded();
}

void Pager::rollback() {
  if (!op_) return;
  std::unique_ptr<Operation> op = std::move(op_);
  abandon(*op);
}

// Ends operation `op` (already taken out of op_) without committing it: the
// file is put back as it was before the operation.
void Pager::abandon(Operation& op) {
  Operation::Journal& j = op.journal;
  if (j.fd >= 0) ::close(j.fd);
  j.fd = -1;
  pageCount_ = op.originalPageCount;
  if (j.sealed) {
    // Pages may have reached the file: the journal puts them back, as an
    // open after a crash would.
    for (auto& slot : cache_) slot = Slot{};
    try {
      recoverJournal();
    } catch (const Error& e) {
      broken_ = "O banco de dados '" + path_ + "' não pôde ser restaurado após uma falha (" + e.what() +
                "); feche-o e abra-o de novo para desfazer a gravação interrompida.";
    }
  } else {
    ::unlink(journalPath().c_str());
  }
  endOperation();
}

// Adds the original image of page `n`, whose plain content is `plain`, to
// the journal.
void Pager::journalOriginal(uint32_t n, const PageBuffer& plain) {
  Operation::Journal& j = op_->journal;
  // The image exactly as stored: the plain page encoded again.
  uint8_t image[kPageSize];
  std::memcpy(image, plain.data(), kPageSize);
  decodePage(n, image);
  const auto [zeroStart, zeroLength] = longestZeroRun(image);
  const size_t at = j.chunk.size();
  j.chunk.resize(at + kJournalRecordHead + kPageSize - zeroLength);
  uint8_t* rec = j.chunk.data() + at;
  put32(rec, n);
  rec[4] = static_cast<uint8_t>(zeroStart);
  rec[5] = static_cast<uint8_t>(zeroStart >> 8);
  rec[6] = static_cast<uint8_t>(zeroLength);
  rec[7] = static_cast<uint8_t>(zeroLength >> 8);
  std::memcpy(rec + kJournalRecordHead, image, zeroStart);
  std::memcpy(rec + kJournalRecordHead + zeroStart, image + zeroStart + zeroLength,
              kPageSize - zeroStart - zeroLength);
  j.sum = addRecordSum(j.sum, rec, j.chunk.size() - at);
  ++j.count;
  if (j.chunk.size() >= kJournalChunkBytes) flushJournal();
}

// Writes the records waiting in the chunk to the journal file (without
// flushing it).
void Pager::flushJournal() {
  Operation::Journal& j = op_->journal;
  if (j.fd < 0) {
    // Layout (format 3):
    //
    //    0   magic "JETJRNL3"
    //    8   original page count
    //   12   record count
    //   16   checksum of the records, as stored
    //   24   the records, one after another: page number (4), start (2) and
    //        length (2) of a run of zero bytes left out of the image, then
    //        the original image as stored without that run.
    //
    // Until the first seal the header is zeros, and the journal is not one.
    j.fd = ::open(journalPath().c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (j.fd < 0) throw Error(sysError("Não foi possível criar o diário de gravação", journalPath()));
  }
  if (j.chunk.empty()) return;
  if (!writeAll(j.fd, j.chunk.data(), j.chunk.size(), j.end)) journalFailed();
  j.end += static_cast<off_t>(j.chunk.size());
  j.chunk.clear();
}

// Makes the journal cover every record added so far: records flushed, then
// the header written and flushed.
void Pager::sealJournal() {
  Operation::Journal& j = op_->journal;
  if (j.sealed && j.sealedCount == j.count) return;
  flushJournal();
  if (::fsync(j.fd) != 0) journalFailed();
  uint8_t h[kJournalHeader] = {};
  std::memcpy(h, kJournalMagic3, 8);
  put32(h + 8, op_->originalPageCount);
  put32(h + 12, j.count);
  std::memcpy(h + 16, &j.sum, 8);
  if (!writeAll(j.fd, h, kJournalHeader, 0) || ::fsync(j.fd) != 0) journalFailed();
  // The journal's name must be on the disk before any page is overwritten.
  if (!j.sealed) syncDirectory();
  j.sealed = true;
  j.sealedCount = j.count;
}

// A write to the journal failed. A journal that was never sealed is removed
// (no page reached the file); a sealed one stays, still valid for the
// records it counted, for the rollback.
void Pager::journalFailed() {
  Operation::Journal& j = op_->journal;
  const std::string message = sysError("Erro ao gravar o diário de gravação", journalPath());
  if (!j.sealed) {
    ::close(j.fd);
    j.fd = -1;
    ::unlink(journalPath().c_str());
  }
  throw Error(message);
}

// The folder that holds the file (and its journal).
std::string Pager::directory() const {
  const size_t slash = path_.find_last_of('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path_.substr(0, slash));
}

void Pager::syncDirectory() const {
  int dfd = ::open(directory().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}

// Writes the buffers of the dirty pages `order` (ascending) to the file,
// without flushing it. Returns false on an I/O error (errno tells which).
bool Pager::writeHeldPages(const Operation& op, const std::vector<uint32_t>& order) {
  auto bytesOf = [&](uint32_t n) { return op.dirty.find(n)->second.buffer->data(); };
  if (header_.encodingKey == 0 && !writeHook_) {
    // Runs of consecutive pages go in one call each.
    std::vector<const uint8_t*> run;
    run.reserve(kWriteRunPages);
    for (size_t i = 0; i < order.size();) {
      run.clear();
      const uint32_t first = order[i];
      while (i < order.size() && order[i] == first + run.size() && run.size() < kWriteRunPages) {
        run.push_back(bytesOf(order[i]));
        ++i;
      }
      if (!writePages(fd_, run, static_cast<off_t>(first) * kPageSize)) return false;
    }
    return true;
  }
  PageBuffer out;
  for (uint32_t n : order) {
    const uint8_t* bytes = bytesOf(n);
    if (header_.encodingKey != 0 && n != 0) {
      std::memcpy(out.data(), bytes, kPageSize);
      decodePage(n, out.data());  // RC4 is its own inverse: this encodes
      bytes = out.data();
    }
    if (!writeAll(fd_, bytes, kPageSize, static_cast<off_t>(n) * kPageSize)) return false;
    if (writeHook_) writeHook_();
  }
  return true;
}

// The dirty pages of the operation that hold a buffer and are not deferred,
// ascending.
std::vector<uint32_t> Pager::heldPages(const Operation& op) {
  std::vector<uint32_t> order;
  order.reserve(op.heldPages);
  for (const auto& [n, c] : op.dirty) {
    if (c.buffer && !c.deferred) order.push_back(n);
  }
  std::sort(order.begin(), order.end());
  return order;
}

void Pager::spillIfOverBudget() {
  if (!op_ || (op_->heldPages - op_->deferredCount) * kPageSize <= spillBudget_) return;
  Operation& op = *op_;
  const std::vector<uint32_t> order = heldPages(op);
  // A failure leaves the operation open: its rollback puts the file back.
  sealJournal();
  if (writeHook_) writeHook_();
  if (!writeHeldPages(op, order)) throw Error(sysError("Erro de gravação em", path_));
  // The written pages are read back through the cache from now on.
  for (uint32_t n : order) {
    Changed& c = op.dirty.find(n)->second;
    Slot& slot = cache_[n % cache_.size()];
    slot.page = n;
    slot.buffer = std::move(c.buffer);
    --op.heldPages;
  }
  spilledPages_ += order.size();
}

void Pager::checkJournalSpace(uint64_t pages) const {
  // "Plainly short": even if every image lost half of its bytes to the run
  // of zeros the journal leaves out.
  const uint64_t need = pages * (kPageSize / 2);
  struct statvfs st {};
  if (::statvfs(directory().c_str(), &st) != 0) return;  // nothing to tell: the writes will say
  const uint64_t free = static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
  if (free >= need) return;
  auto mb = [](uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20); };
  throw Error("Não há espaço em disco para o diário de gravação '" + journalPath() + "': a operação altera " +
              std::to_string(pages) + " páginas e precisa de pelo menos " + mb(need) + " MB, mas há " +
              mb(free) + " MB livres. Nada foi alterado.");
}

void Pager::commit() {
  if (!op_) return;
  std::vector<uint32_t> order;
  try {
    writeDeferredPages();
    if (!op_->dirty.empty()) {
      order = heldPages(*op_);
      sealJournal();
    }
  } catch (...) {
    // The operation is undone (from the journal if something spilled).
    std::unique_ptr<Operation> op = std::move(op_);
    abandon(*op);
    throw;
  }
  std::unique_ptr<Operation> op = std::move(op_);
  if (op->dirty.empty()) {
    endOperation();
    return;
  }
  if (writeHook_) writeHook_();
  if (!writeHeldPages(*op, order) || ::fsync(fd_) != 0) {
    const int saved = errno;
    // Put the file back from the journal now; if even that fails the journal
    // stays and the next open restores it.
    abandon(*op);
    errno = saved;
    throw Error(sysError("Erro de gravação em", path_));
  }
  for (uint32_t n : order) {
    Changed& c = op->dirty.find(n)->second;
    if (contentCache_) contentCache_->pageCommitted(n, *c.buffer);
    Slot& slot = cache_[n % cache_.size()];
    slot.page = n;
    slot.buffer = std::move(c.buffer);
  }
  endOperation();
  ::close(op->journal.fd);
  if (::unlink(journalPath().c_str()) != 0 && errno != ENOENT) {
    throw Error(sysError("Não foi possível remover o diário de gravação", journalPath()));
  }
  syncDirectory();
}

void Pager::recoverJournal() {
  std::string jpath = journalPath();
  int jfd = ::open(jpath.c_str(), O_RDONLY | O_CLOEXEC);
  if (jfd < 0) return;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{jfd};
  uint8_t h[kJournalHeader];
  const bool headerRead = readAll(jfd, h, kJournalHeader, 0);
  int format = 0;
  if (headerRead && std::memcmp(h, kJournalMagic1, 8) == 0) format = 1;
  if (headerRead && std::memcmp(h, kJournalMagic2, 8) == 0) format = 2;
  if (headerRead && std::memcmp(h, kJournalMagic3, 8) == 0) format = 3;
  if (format == 0) {
    // The operation never reached the file: discard the journal.
    if (writable_ || ::access(path_.c_str(), W_OK) == 0) ::unlink(jpath.c_str());
    return;
  }
  const uint32_t originalPages = get32(h + 8);
  const uint32_t count = get32(h + 12);
  uint64_t sum;
  std::memcpy(&sum, h + 16, 8);
  // Two passes over the records, so the journal is never held whole: the
  // first checks that every counted record is there and the checksum holds,
  // the second copies the images back.
  uint32_t page = 0;
  uint8_t image[kPageSize];
  {
    JournalReader records(jfd, format);
    uint64_t got = 0;
    uint64_t fnv = 1469598103934665603ull;
    bool intact = true;
    for (uint32_t i = 0; i < count && intact; ++i) {
      intact = records.next(page, image);
      if (!intact) break;
      if (format == 1) fnv = fnv1a(records.stored(), records.storedSize(), fnv);
      else got = addRecordSum(got, records.stored(), records.storedSize());
    }
    if (!intact || (format == 1 ? fnv : got) != sum) {
      throw Error("O diário de gravação '" + jpath +
                  "' está danificado; o banco de dados não foi alterado por esta abertura.");
    }
  }
  int fd = writable_ ? fd_ : ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    throw Error(sysError("Há uma gravação interrompida a desfazer, mas não foi possível gravar em",
                         path_));
  }
  bool ok = true;
  JournalReader records(jfd, format);
  for (uint32_t i = 0; i < count && ok; ++i) {
    ok = records.next(page, image) &&
         writeAll(fd, image, kPageSize, static_cast<off_t>(page) * kPageSize);
  }
  if (ok) ok = ::ftruncate(fd, static_cast<off_t>(originalPages) * kPageSize) == 0;
  if (ok) ok = ::fsync(fd) == 0;
  if (fd != fd_) ::close(fd);
  if (!ok) throw Error(sysError("Erro ao desfazer a gravação interrompida em", path_));
  ::unlink(jpath.c_str());
  syncDirectory();
}

}  // namespace jet
