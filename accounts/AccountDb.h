// TAccountDb: the one connection to the accounts file, an SQLite database. On first use it
// creates the file with mode 0600 (made by root in a directory another user owns, it
// belongs to that owner: the service user of a game directory); it brings the schema up to date
// (PRAGMA user_version counts the migrations applied), runs in WAL mode and waits up to a busy
// timeout for a lock, so the running server and the command line use the file at the same time.
// Every failure raises EInOutError naming the file. Not locked itself: callers hold Lock() around
// their statements (TAccountStore, TBanList).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace zq {

class TAccountDb {
 public:
  // Inspect: the file as it lies on disk, read only and written in no way (no WAL switch, no
  // migration, no -wal or -shm file), its schema version checked; nothing else may be done.
  enum class TOpen { CreateIfMissing, MustExist, Inspect };
  // Schema version this build writes; a file of a later version is refused.
  static constexpr int SCHEMA_VERSION = 3;
  static constexpr int BUSY_TIMEOUT_MS = 5000;

  explicit TAccountDb(std::string path, TOpen open = TOpen::CreateIfMissing);
  ~TAccountDb();
  TAccountDb(const TAccountDb&) = delete;
  TAccountDb& operator=(const TAccountDb&) = delete;

  // What opening `path` with CreateIfMissing would raise, found without writing anything
  // (a missing file: whether its directory takes a new one). Raises EInOutError as the open
  // would, naming the file.
  static void CheckOpenable(const std::string& path);

  const std::string& Path() const { return path_; }
  std::unique_lock<std::mutex> Lock() { return std::unique_lock(lock_); }

  // Closes and opens the file again (a file replaced on disk is then the one used).
  // Takes the lock itself.
  void Reopen();

  // Runs `body` between BEGIN IMMEDIATE and COMMIT; a throw rolls back and passes on.
  // BEGIN IMMEDIATE takes the write lock first, so a transaction that reads and then writes
  // waits for another writer instead of failing.
  void Write(const std::function<void()>& body);
  // Statements without parameters or results, ";"-separated.
  void Execute(const char* sql);
  // Rows changed by the last INSERT, UPDATE or DELETE.
  int Changes();
  int UserVersion();
  // SQLite's data_version: it changes when another connection has committed to the file
  // (this one's own writes leave it alone). Cheap: no table is read.
  int64_t DataVersion();

  // Raises EInOutError: "<path>: <what> (<SQLite's message>)".
  [[noreturn]] void Fail(std::string_view what);

  sqlite3* Handle() { return db_.get(); }

 private:
  struct TClose {
    void operator()(sqlite3* db) const;
  };
  void Open();
  void OpenToInspect();
  void Migrate();
  [[noreturn]] void FailLaterVersion(int version);

  std::string path_;
  TOpen open_;
  std::mutex lock_;
  std::unique_ptr<sqlite3, TClose> db_;
};

// One prepared statement. Parameters are numbered from 1, result columns from 0.
class TStatement {
 public:
  TStatement(TAccountDb& db, const char* sql);
  ~TStatement();
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;

  TStatement& Bind(int index, int64_t value);
  TStatement& Bind(int index, std::string_view text);
  TStatement& Bind(int index, const std::optional<int64_t>& value);  // empty binds NULL

  // Steps once: true while a row is ready.
  bool Step();
  // Steps to the end (for statements without results).
  void Run();

  int64_t Int(int column) const;
  std::optional<int64_t> OptionalInt(int column) const;
  std::string Text(int column) const;

 private:
  struct TFinalize {
    void operator()(sqlite3_stmt* stmt) const;
  };
  TAccountDb& db_;
  std::unique_ptr<sqlite3_stmt, TFinalize> stmt_;
};

}  // namespace zq
