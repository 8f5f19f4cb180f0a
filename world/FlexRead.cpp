#include "world/FlexRead.h"

#include <algorithm>

#include "platform/ByteOrder.h"
#include "platform/Errors.h"

namespace zq {

namespace {

int32_t LoadSigned32(const uint8_t* p) {
  return static_cast<int32_t>(LoadLE32(p));
}

}  // namespace

TFlexReader::TFlexReader(const std::string& path) : file_(TBinaryFile::OpenRead(path)) {
  fileSize_ = file_.Size();
  uint8_t raw[4];
  file_.Seek(FLEX_COUNT_POS);
  file_.Read(raw, 4);
  count_ = LoadSigned32(raw);
  if (count_ <= 0)
    throw EInOutError("Flex file " + path + " has an entry count of " + std::to_string(count_));
  // Only the records that lie inside the file are read; stepping onto a missing one fails then.
  int64_t inFile = std::max<int64_t>(0, (fileSize_ - FLEX_TABLE_POS) / FLEX_RECORD_SIZE);
  int64_t records = std::min<int64_t>(count_, inFile);
  table_.resize(static_cast<std::size_t>(records * FLEX_RECORD_SIZE));
  if (records > 0) {
    file_.Seek(FLEX_TABLE_POS);
    file_.Read(table_.data(), table_.size());
  }
  index_ = 0;
  tablePos_ = FLEX_TABLE_POS;
  LoadRecord();
}

void TFlexReader::LoadRecord() {
  std::size_t at = static_cast<std::size_t>(tablePos_ - FLEX_TABLE_POS);
  if (at + FLEX_RECORD_SIZE > table_.size())
    throw EInOutError("Read beyond end of file in " + Path() + " (table record " +
                      std::to_string(index_) + " is missing)");
  offset_ = LoadSigned32(&table_[at]);
  size_ = LoadSigned32(&table_[at + 4]);
  tablePos_ += FLEX_RECORD_SIZE;
}

void TFlexReader::CheckEntry() const {
  if (size_ < 0)
    throw EInOutError("Entry " + std::to_string(index_) + " of " + Path() +
                      " has a negative size " + std::to_string(size_));
  if (offset_ < 0 || static_cast<int64_t>(offset_) + size_ > fileSize_)
    throw EInOutError("Read beyond end of file in " + Path() + " (entry " + std::to_string(index_) +
                      " at " + std::to_string(offset_) + ", size " + std::to_string(size_) + ")");
}

void TFlexReader::ReadEntry(void* buffer) {
  CheckEntry();
  if (size_ == 0) return;
  file_.Seek(offset_);
  file_.Read(buffer, static_cast<std::size_t>(size_));
}

std::string TFlexReader::ReadEntry() {
  CheckEntry();
  std::string data(static_cast<std::size_t>(size_), '\0');
  ReadEntry(data.data());
  return data;
}

bool TFlexReader::NextEntry() {
  bool result = true;
  if (index_ == count_ - 1) {
    index_ = -1;
    tablePos_ = FLEX_TABLE_POS;
    result = false;
  }
  ++index_;
  LoadRecord();
  return result;
}

}  // namespace zq
