// TFlexReader: walks the entries of a flex container (a file holding a numbered sequence of
// entries located through an offset/size table at byte 128). Stands on one entry at a time,
// reads it into a caller's buffer and steps on, going back to entry 0 after the last one.
// Main thread only (used while loading).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Files.h"

namespace zq {

constexpr int64_t FLEX_COUNT_POS = 84;
constexpr int64_t FLEX_TABLE_POS = 128;
constexpr int64_t FLEX_RECORD_SIZE = 8;

class TFlexReader {
 public:
  // Opens `path` and stands on entry 0. Raises EInOutError naming the file when it is missing,
  // too short for its header or first table record, or its entry count is 0 or negative.
  explicit TFlexReader(const std::string& path);

  int32_t EntryCount() const { return count_; }
  int32_t EntryIndex() const { return index_; }
  int32_t EntrySize() const { return size_; }
  int32_t EntryOffset() const { return offset_; }
  const std::string& Path() const { return file_.Path(); }

  // Reads the current entry's EntrySize bytes into `buffer` (at least that large). Raises
  // EInOutError when the entry lies outside the file or its size is negative.
  void ReadEntry(void* buffer);
  // The current entry as a byte string; checks the entry against the file before allocating.
  std::string ReadEntry();

  // Steps to the next entry; false when the current one was the last, and the reader is then
  // back on entry 0. Raises EInOutError when the next table record lies beyond the file.
  bool NextEntry();

 private:
  void LoadRecord();
  void CheckEntry() const;

  TBinaryFile file_;
  int64_t fileSize_ = 0;
  int32_t index_ = 0;
  int32_t size_ = 0;
  int32_t offset_ = 0;
  int32_t count_ = 0;
  int64_t tablePos_ = FLEX_TABLE_POS;
  // The table records that lie within the file, read once at creation.
  std::vector<uint8_t> table_;
};

}  // namespace zq
