#include "accounts/AccountDb.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>

#include "platform/Errors.h"
#include "platform/Ownership.h"

namespace zq {
namespace {

// Migration i takes the schema from version i to i + 1. Never edit a shipped step: files of
// every earlier version are out there; add a new step instead.
const char* const MIGRATIONS[] = {
    // 1: accounts. Names are unique without regard to the letter case of A to Z.
    "CREATE TABLE accounts ("
    "  name TEXT NOT NULL COLLATE NOCASE UNIQUE,"
    "  password_hash TEXT NOT NULL DEFAULT '',"
    "  privileges TEXT NOT NULL DEFAULT 'Player' CHECK (privileges IN ('Player', 'Admin')),"
    "  created INTEGER NOT NULL,"
    "  last_login INTEGER,"
    "  last_address TEXT NOT NULL DEFAULT '',"
    "  play_seconds INTEGER NOT NULL DEFAULT 0"
    ");",
    // 2: bans. Addresses and ranges keep their first and last address as numbers.
    "CREATE TABLE bans ("
    "  target TEXT NOT NULL COLLATE NOCASE UNIQUE,"
    "  kind TEXT NOT NULL CHECK (kind IN ('name', 'address', 'range')),"
    "  first_address INTEGER,"
    "  last_address INTEGER,"
    "  reason TEXT NOT NULL DEFAULT '',"
    "  created INTEGER NOT NULL,"
    "  expires INTEGER"
    ");"
    "CREATE INDEX bans_by_address ON bans (first_address) WHERE kind != 'name';",
    // 3: IPv6. Addresses become 32 hex digits of the 128-bit address (IPv4 as ::ffff:a.b.c.d),
    // which order as text as they do as numbers; a name ban and an address ban of the same
    // text are two bans.
    "CREATE TABLE bans_3 ("
    "  target TEXT NOT NULL COLLATE NOCASE,"
    "  kind TEXT NOT NULL CHECK (kind IN ('name', 'address', 'range')),"
    "  first_address TEXT,"
    "  last_address TEXT,"
    "  reason TEXT NOT NULL DEFAULT '',"
    "  created INTEGER NOT NULL,"
    "  expires INTEGER,"
    "  UNIQUE (kind, target)"
    ");"
    "INSERT INTO bans_3 SELECT target, kind,"
    "  CASE WHEN kind = 'name' THEN NULL"
    "       ELSE printf('00000000000000000000ffff%08x', first_address) END,"
    "  CASE WHEN kind = 'name' THEN NULL"
    "       ELSE printf('00000000000000000000ffff%08x', last_address) END,"
    "  reason, created, expires FROM bans;"
    "DROP TABLE bans;"
    "ALTER TABLE bans_3 RENAME TO bans;"
    "CREATE INDEX bans_by_address ON bans (first_address) WHERE kind != 'name';",
};
static_assert(std::size(MIGRATIONS) == TAccountDb::SCHEMA_VERSION);

// `path` as the path of a file: URI, every byte but the plain ones written %XX.
std::string UriPath(const std::string& path) {
  static const char* const HEX = "0123456789ABCDEF";
  std::string uri;
  for (unsigned char c : path) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (plain || c == '/' || c == '.' || c == '-' || c == '_' || c == '~') {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += HEX[c >> 4];
      uri += HEX[c & 15];
    }
  }
  return uri;
}

// "cannot open", and whose the file is when this process may not read and write it: a file
// made by root for a server that runs as another user, most often.
std::string CannotOpen(const std::string& path) {
  struct stat file {};
  if (::access(path.c_str(), R_OK | W_OK) == 0 || errno != EACCES ||
      ::stat(path.c_str(), &file) != 0)
    return "cannot open";
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(file.st_mode & 07777));
  return "cannot open: it belongs to uid " + std::to_string(file.st_uid) + " (mode " + mode +
         ") and this process runs as uid " + std::to_string(::geteuid()) +
         "; chown it to the server's user";
}

}  // namespace

void TAccountDb::TClose::operator()(sqlite3* db) const {
  sqlite3_close_v2(db);
}
void TStatement::TFinalize::operator()(sqlite3_stmt* stmt) const {
  sqlite3_finalize(stmt);
}

TAccountDb::TAccountDb(std::string path, TOpen open) : path_(std::move(path)), open_(open) {
  Open();
}

TAccountDb::~TAccountDb() = default;

void TAccountDb::Fail(std::string_view what) {
  std::string message = path_ + ": " + std::string(what);
  if (db_) message += std::string(" (") + sqlite3_errmsg(db_.get()) + ")";
  throw EInOutError(message);
}

void TAccountDb::FailLaterVersion(int version) {
  Fail("written by a later version (schema " + std::to_string(version) + "; this one knows up to " +
       std::to_string(SCHEMA_VERSION) + ")");
}

void TAccountDb::CheckOpenable(const std::string& path) {
  struct stat file {};
  if (::stat(path.c_str(), &file) == 0) {
    TAccountDb(path, TOpen::Inspect);
    return;
  }
  std::string directory = std::filesystem::path(path).parent_path().string();
  if (directory.empty()) directory = ".";
  if (errno != ENOENT || ::access(directory.c_str(), W_OK | X_OK) != 0)
    throw EInOutError(path + ": cannot create: " + std::strerror(errno));
}

void TAccountDb::OpenToInspect() {
  // First as the start opens it (SQLite reads nothing before the first statement), for the
  // start's own words when it cannot.
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path_.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  db_.reset(raw);
  if (rc != SQLITE_OK) Fail(CannotOpen(path_));
  if (sqlite3_db_readonly(raw, "main") == 1)
    throw EInOutError(path_ + ": cannot write: it is open for reading only");
  // Then read as it lies: immutable, SQLite neither locks nor looks for the -wal and -shm
  // files, so it makes none.
  const std::string uri = "file:" + UriPath(path_) + "?immutable=1";
  raw = nullptr;
  rc = sqlite3_open_v2(uri.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
  db_.reset(raw);
  if (rc != SQLITE_OK) Fail("cannot open");
  if (const int version = UserVersion(); version > SCHEMA_VERSION) FailLaterVersion(version);
}

void TAccountDb::Open() {
  db_.reset();
  if (open_ == TOpen::Inspect) return OpenToInspect();
  if (open_ == TOpen::CreateIfMissing) {
    // Created here rather than by SQLite so that no other mode is ever on disk.
    int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      int chmodResult = ::fchmod(fd, 0600);  // whatever the umask left
      const int chmodError = errno;
      try {
        // Made by root for the service user (`zqosrv accounts add` before the first start):
        // the server must be able to open it. SQLite gives its -wal and -shm files the
        // database's owner in turn.
        OwnLikeItsDirectory(fd, path_);
      } catch (...) {
        ::close(fd);
        throw;
      }
      ::close(fd);
      if (chmodResult != 0) Fail(std::string("cannot set its mode: ") + std::strerror(chmodError));
    } else if (errno != EEXIST) {
      Fail(std::string("cannot create: ") + std::strerror(errno));
    }
  } else if (::access(path_.c_str(), F_OK) != 0) {
    Fail("no such accounts file");
  }
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path_.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  db_.reset(raw);  // closed on every path, even when the open failed
  if (rc != SQLITE_OK) Fail(CannotOpen(path_));
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, BUSY_TIMEOUT_MS);

  {
    TStatement journal(*this, "PRAGMA journal_mode = WAL");
    if (!journal.Step() || journal.Text(0) != "wal") Fail("cannot switch to WAL mode");
  }
  Execute("PRAGMA synchronous = NORMAL");
  Migrate();
}

void TAccountDb::Reopen() {
  auto guard = Lock();
  Open();
}

void TAccountDb::Migrate() {
  if (UserVersion() == SCHEMA_VERSION) return;
  Write([&] {
    int version = UserVersion();  // again: another process may have migrated meanwhile
    if (version > SCHEMA_VERSION) FailLaterVersion(version);
    if (version < 0) Fail("bad schema version " + std::to_string(version));
    for (int step = version; step < SCHEMA_VERSION; ++step) Execute(MIGRATIONS[step]);
    Execute(("PRAGMA user_version = " + std::to_string(SCHEMA_VERSION)).c_str());
  });
}

void TAccountDb::Write(const std::function<void()>& body) {
  Execute("BEGIN IMMEDIATE");
  try {
    body();
  } catch (...) {
    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  if (sqlite3_exec(db_.get(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    std::string message = path_ + ": cannot commit (" + sqlite3_errmsg(db_.get()) + ")";
    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    throw EInOutError(message);
  }
}

void TAccountDb::Execute(const char* sql) {
  if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
    Fail(std::string("cannot run \"") + sql + "\"");
  }
}

int TAccountDb::Changes() {
  return sqlite3_changes(db_.get());
}

int TAccountDb::UserVersion() {
  TStatement version(*this, "PRAGMA user_version");
  if (!version.Step()) Fail("cannot read the schema version");
  return static_cast<int>(version.Int(0));
}

int64_t TAccountDb::DataVersion() {
  TStatement version(*this, "PRAGMA data_version");
  if (!version.Step()) Fail("cannot read the data version");
  return version.Int(0);
}

TStatement::TStatement(TAccountDb& db, const char* sql) : db_(db) {
  if (!db.Handle()) db.Fail("not open (reopening it failed)");
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db.Handle(), sql, -1, &raw, nullptr);
  stmt_.reset(raw);
  if (rc != SQLITE_OK) {
    // A file that is not a database fails at its first statement.
    db.Fail(rc == SQLITE_NOTADB ? "not an accounts file" : "cannot read or write");
  }
}

TStatement::~TStatement() = default;

TStatement& TStatement::Bind(int index, int64_t value) {
  if (sqlite3_bind_int64(stmt_.get(), index, value) != SQLITE_OK) db_.Fail("cannot bind");
  return *this;
}

TStatement& TStatement::Bind(int index, std::string_view text) {
  if (sqlite3_bind_text64(stmt_.get(), index, text.data(), text.size(), SQLITE_TRANSIENT,
                          SQLITE_UTF8) != SQLITE_OK) {
    db_.Fail("cannot bind");
  }
  return *this;
}

TStatement& TStatement::Bind(int index, const std::optional<int64_t>& value) {
  if (value) return Bind(index, *value);
  if (sqlite3_bind_null(stmt_.get(), index) != SQLITE_OK) db_.Fail("cannot bind");
  return *this;
}

bool TStatement::Step() {
  int rc = sqlite3_step(stmt_.get());
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  db_.Fail(rc == SQLITE_NOTADB ? "not an accounts file" : "cannot read or write");
}

void TStatement::Run() {
  while (Step()) {
  }
}

int64_t TStatement::Int(int column) const {
  return sqlite3_column_int64(stmt_.get(), column);
}

std::optional<int64_t> TStatement::OptionalInt(int column) const {
  if (sqlite3_column_type(stmt_.get(), column) == SQLITE_NULL) return std::nullopt;
  return Int(column);
}

std::string TStatement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(stmt_.get(), column);
  int size = sqlite3_column_bytes(stmt_.get(), column);
  return text ? std::string(reinterpret_cast<const char*>(text), size) : std::string();
}

}  // namespace zq
