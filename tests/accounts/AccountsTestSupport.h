// Helpers of the accounts tests: a raw second connection to an accounts file, for setting
// up old schemas and holding locks as another process would, and a watch that tells when a
// connection waits for such a lock.
#pragma once

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

namespace zq::test {

class RawDb {
 public:
  explicit RawDb(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("open " + path);
    sqlite3_busy_timeout(db_, 10000);
  }
  ~RawDb() { sqlite3_close(db_); }
  RawDb(const RawDb&) = delete;
  RawDb& operator=(const RawDb&) = delete;

  void Exec(const std::string& sql) {
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      throw std::runtime_error(sql + ": " + sqlite3_errmsg(db_));
    }
  }
  // The first column of the first row as text ("" when there is none).
  std::string Text(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      throw std::runtime_error(sql + ": " + sqlite3_errmsg(db_));
    }
    std::string result;
    if (sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_text(stmt, 0)) {
      result = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
    sqlite3_finalize(stmt);
    return result;
  }

 private:
  sqlite3* db_ = nullptr;
};

// Tells when a connection waits for a lock. A busy timeout waits between its tries with the
// VFS's sleep: while the watch lives, the default VFS is a copy of the one before whose sleep
// first notes the calling thread. Connections opened meanwhile use it, so it must outlive
// them; one watch at a time.
class SleepWatch {
 public:
  SleepWatch() : real_(sqlite3_vfs_find(nullptr)) {
    if (!real_) throw std::runtime_error("no SQLite VFS");
    vfs_ = *real_;
    vfs_.pNext = nullptr;
    vfs_.zName = "zq-test-sleep-watch";
    vfs_.xSleep = &SleepWatch::Sleep;
    current_ = this;
    if (sqlite3_vfs_register(&vfs_, 1) != SQLITE_OK) throw std::runtime_error("VFS register");
  }
  ~SleepWatch() {
    sqlite3_vfs_unregister(&vfs_);
    current_ = nullptr;
  }
  SleepWatch(const SleepWatch&) = delete;
  SleepWatch& operator=(const SleepWatch&) = delete;

  // Waits until a connection on `thread` has slept waiting for a lock; false after `bound`.
  bool WaitForSleepOn(std::thread::id thread,
                      std::chrono::seconds bound = std::chrono::seconds(30)) {
    std::unique_lock guard(lock_);
    return slept_.wait_for(guard, bound, [&] { return sleepers_.count(thread) > 0; });
  }

 private:
  static int Sleep(sqlite3_vfs*, int microseconds) {
    SleepWatch* self = current_.load();
    {
      std::lock_guard guard(self->lock_);
      self->sleepers_.insert(std::this_thread::get_id());
    }
    self->slept_.notify_all();
    return self->real_->xSleep(self->real_, microseconds);
  }

  inline static std::atomic<SleepWatch*> current_{nullptr};
  sqlite3_vfs* real_;
  sqlite3_vfs vfs_{};
  std::mutex lock_;
  std::condition_variable slept_;
  std::set<std::thread::id> sleepers_;
};

}  // namespace zq::test
