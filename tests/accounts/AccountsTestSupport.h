// Helpers of the accounts tests: a raw second connection to an accounts file, for setting
// up old schemas and holding locks as another process would.
#pragma once

#include <sqlite3.h>

#include <stdexcept>
#include <string>

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

}  // namespace zq::test
