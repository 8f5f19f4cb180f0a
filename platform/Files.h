// File helpers for the world loaders: names resolved case-insensitively inside a directory,
// binary reads of exact sizes whose failures raise EInOutError naming the file, and a
// directory held open so that files are created inside it and nowhere else.
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
  friend class TDirectory;
  TBinaryFile(std::FILE* f, std::string path) : f_(f), path_(std::move(path)) {}
  std::FILE* f_ = nullptr;
  std::string path_;
};

// A directory held open by descriptor. Files made through it land in it whatever happens to
// its path meanwhile, and never through a link. Closed on destruction.
class TDirectory {
 public:
  // Opens the directory `path`; raises EInOutError when it is not one.
  static TDirectory Open(const std::string& path);

  TDirectory(TDirectory&& other) noexcept;
  TDirectory& operator=(TDirectory&& other) noexcept;
  TDirectory(const TDirectory&) = delete;
  TDirectory& operator=(const TDirectory&) = delete;
  ~TDirectory();

  const std::string& Path() const { return path_; }  // as opened, with a trailing "/"

  // Creates the new file `name` (one path component) for writing, exclusively: an existing
  // file or link of that name is removed first, the link itself and not what it points to.
  // Raises EInOutError naming the path.
  TBinaryFile CreateFile(const std::string& name);

  // An exclusive advisory lock held until the directory is closed: true when taken, false
  // when another open directory holds it.
  bool TryLock();

 private:
  TDirectory(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  int fd_ = -1;
  std::string path_;
};

// Creates a new directory named `prefix` + six random characters, mode 0700; returns its path.
// Raises EInOutError.
std::string MakeTempDirectory(const std::string& prefix);

// Renames `from` to `to`, failing instead of replacing when `to` exists. Raises EInOutError.
void RenameNoReplace(const std::string& from, const std::string& to);

// Reads the whole file `path` into a string of exactly `size` bytes; raises EInOutError when
// the file is missing or shorter. Longer files are accepted and their rest is not read.
std::string ReadExactly(const std::string& path, std::size_t size);

}  // namespace zq
