#include "world/ByteStream.h"

#include <algorithm>
#include <cstring>

#include "platform/Errors.h"

namespace zq {

namespace {
constexpr std::size_t STREAM_BLOCK = 64 * 1024;
}

TByteStream::TByteStream(const std::string& path) : file_(TBinaryFile::OpenRead(path)) {
  fileSize_ = file_.Size();
  block_.reserve(STREAM_BLOCK);
}

void TByteStream::Fill() {
  blockStart_ += static_cast<int64_t>(block_.size());
  pos_ = 0;
  block_.clear();
  const int64_t left = fileSize_ - blockStart_;
  if (left <= 0)
    throw EInOutError("Read beyond end of file in " + Path() + " (at " +
                      std::to_string(blockStart_) + ")");
  block_.resize(static_cast<std::size_t>(std::min<int64_t>(left, STREAM_BLOCK)));
  file_.Seek(blockStart_);
  file_.Read(block_.data(), block_.size());
}

void TByteStream::Read(void* dest, std::size_t n) {
  auto* out = static_cast<uint8_t*>(dest);
  while (n > 0) {
    if (pos_ == block_.size()) Fill();
    const std::size_t take = std::min(n, block_.size() - pos_);
    std::memcpy(out, &block_[pos_], take);
    out += take;
    pos_ += take;
    n -= take;
  }
}

void TByteStream::Skip(std::size_t n) {
  const int64_t target = Position() + static_cast<int64_t>(n);
  if (target > fileSize_)
    throw EInOutError("Read beyond end of file in " + Path() + " (skip to " +
                      std::to_string(target) + ")");
  if (target <= blockStart_ + static_cast<int64_t>(block_.size())) {
    pos_ = static_cast<std::size_t>(target - blockStart_);
    return;
  }
  // Past the current block: the next Fill starts at target.
  blockStart_ = target;
  block_.clear();
  pos_ = 0;
}

}  // namespace zq
