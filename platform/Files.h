// File helpers for the world loaders: names resolved case-insensitively inside a directory,
// and binary reads of exact sizes whose failures raise EInOutError naming the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace zq {

// Joins `dir` and the relative name `rel` (components separated by "/"). Each component is
// matched case-insensitively against what exists (an exact match wins); a component that
// matches nothing is kept as written, so the caller's open then names the missing file.
std::string ResolvePath(const std::string& dir, const std::string& rel);

// A binary file open for reading (or, with Create, writing), closed on destruction.
class TBinaryFile {
 public:
  static TBinaryFile OpenRead(const std::string& path);
  static TBinaryFile Create(const std::string& path);  // replaces an existing file

  TBinaryFile(TBinaryFile&& other) noexcept;
  TBinaryFile& operator=(TBinaryFile&& other) noexcept;
  TBinaryFile(const TBinaryFile&) = delete;
  TBinaryFile& operator=(const TBinaryFile&) = delete;
  ~TBinaryFile();

  const std::string& Path() const { return path_; }
  int64_t Size();
  int64_t Position();
  void Seek(int64_t pos);
  // Reads exactly n bytes or raises EInOutError ("... is shorter than expected").
  void Read(void* dest, std::size_t n);
  uint8_t ReadByte();
  void Write(const void* src, std::size_t n);
  // Closes now, raising EInOutError if the close fails.
  void Close();

 private:
  TBinaryFile(std::FILE* f, std::string path) : f_(f), path_(std::move(path)) {}
  std::FILE* f_ = nullptr;
  std::string path_;
};

// Reads the whole file `path` into a string of exactly `size` bytes; raises EInOutError when
// the file is missing or shorter. Longer files are accepted and their rest is not read.
std::string ReadExactly(const std::string& path, std::size_t size);

}  // namespace zq
