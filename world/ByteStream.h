// TByteStream: a file read front to back as a stream of bytes through a block buffer, for the
// record streams of the registered objects. Reads past the end raise EInOutError naming the
// file. Main thread only (used while loading).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Files.h"

namespace zq {

class TByteStream {
 public:
  // Opens `path`; raises EInOutError when it cannot be opened.
  explicit TByteStream(const std::string& path);

  const std::string& Path() const { return file_.Path(); }
  // Position from the start of the file of the next byte to read.
  int64_t Position() const { return blockStart_ + static_cast<int64_t>(pos_); }

  uint8_t ReadByte() {
    if (pos_ == block_.size()) Fill();
    return block_[pos_++];
  }
  void Read(void* dest, std::size_t n);
  // Moves the position forward by n bytes; the end of the file must not be passed.
  void Skip(std::size_t n);
  void Close() { file_.Close(); }

 private:
  void Fill();  // next block; raises at the end of the file

  TBinaryFile file_;
  int64_t fileSize_ = 0;
  std::vector<uint8_t> block_;  // the bytes from blockStart_ on
  std::size_t pos_ = 0;
  int64_t blockStart_ = 0;
};

}  // namespace zq
