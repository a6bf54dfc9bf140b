#include "dao/DatabaseFile.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "dao/DatabaseDetail.h"
#include "platform/FileSystem.h"

namespace horavex::dao {
namespace detail {

namespace {

// The version of the file a connection has open, read under a lock that keeps it steady.
DatabaseVersion VersionOf(Connection& connection) {
  sqlite3* handle = connection.Handle(kWorkspace);
  DatabaseVersion version;
  int moved = 0;
  sqlite3_file_control(handle, "main", SQLITE_FCNTL_HAS_MOVED, &moved);
  // A file renamed away since it was opened keeps device and inode 0: it matches no other.
  if (auto identity = moved == 0 ? HostFileIdentity(connection.path()) : std::nullopt) {
    version.device = identity->first;
    version.inode = identity->second;
  }
  // A read that failed says nothing: two of them must not compare as "unchanged".
  unsigned char counter[4] = {};
  sqlite3_file* file = MainFile(handle);
  if (file == nullptr || file->pMethods->xRead(file, counter, sizeof counter, 24) != SQLITE_OK) {
    FailWith(nullptr, SQLITE_IOERR_READ, connection.path(), kWorkspace, {});
  }
  version.changeCounter = uint32_t(counter[0]) << 24 | uint32_t(counter[1]) << 16 |
                          uint32_t(counter[2]) << 8 | uint32_t(counter[3]);
  return version;
}

constexpr int kChunk = 64 * 1024;

// Reads the first `size` bytes of a file through SQLite's handle of it, a chunk at a time, and
// hands each to use(bytes, count, offset); false when a read fails or use returns false.
template <typename Use>
bool ReadChunks(sqlite3_file* file, sqlite3_int64 size, Use use) {
  std::unique_ptr<char[]> buffer(new char[kChunk]);  // not cleared: every byte is read into
  for (sqlite3_int64 offset = 0; offset < size; offset += kChunk) {
    int count = int(std::min<sqlite3_int64>(kChunk, size - offset));
    if (file->pMethods->xRead(file, buffer.get(), count, offset) != SQLITE_OK ||
        !use(buffer.get(), count, offset)) {
      return false;
    }
  }
  return true;
}

// Copies the bytes of the connection's file while it holds a read lock. Every database is
// opened in rollback-journal mode, so under that lock the file itself is the whole database.
// The file is read through SQLite's own handle: closing another handle of it would drop the
// process's locks on it.
void CopyFileUnderLock(Connection& connection, const std::string& to) {
  sqlite3_file* file = MainFile(connection.Handle(kWorkspace));
  sqlite3_int64 size = 0;
  if (file == nullptr || file->pMethods->xFileSize(file, &size) != SQLITE_OK) {
    FailWith(nullptr, SQLITE_IOERR, connection.path(), kWorkspace, {});
  }
  HostFileWriter out(to);
  if (!out.IsOpen()) throw DaoFailure(kCannotOpenFile, kWorkspace, {to});
  int rc = SQLITE_IOERR_READ;  // unless the writing failed
  bool copied = ReadChunks(file, size, [&](const char* bytes, int count, sqlite3_int64) {
    if (out.Write(bytes, size_t(count))) return true;
    rc = out.DiskFull() ? SQLITE_FULL : SQLITE_IOERR_WRITE;
    return false;
  });
  if (!copied) FailWith(nullptr, rc, to, kWorkspace, {});
}

// Whether the two files hold the same bytes; false when either cannot be read.
bool SameBytes(sqlite3_file* a, sqlite3_file* b) {
  sqlite3_int64 size = 0, otherSize = 0;
  if (a == nullptr || b == nullptr || a->pMethods->xFileSize(a, &size) != SQLITE_OK ||
      b->pMethods->xFileSize(b, &otherSize) != SQLITE_OK || size != otherSize) {
    return false;
  }
  std::unique_ptr<char[]> other(new char[kChunk]);
  return ReadChunks(a, size, [&](const char* bytes, int count, sqlite3_int64 offset) {
    return b->pMethods->xRead(b, other.get(), count, offset) == SQLITE_OK &&
           std::memcmp(bytes, other.get(), size_t(count)) == 0;
  });
}

}  // namespace
}  // namespace detail

DatabaseVersion CopyDatabase(const std::string& from, const std::string& to,
                             const OpenOptions& options) {
  using detail::kWorkspace;
  Database source = Database::Open(from, options);
  detail::Connection& in = detail::DatabaseAccess::Of(source);
  // A read transaction: no writer commits until the copy is done, so the version read now is
  // the version copied.
  in.Run("BEGIN", kWorkspace);
  in.Run("SELECT count(*) FROM sqlite_schema", kWorkspace);
  DatabaseVersion version = detail::VersionOf(in);
  detail::CopyFileUnderLock(in, to);
  in.Run("COMMIT", kWorkspace);
  return version;
}

DatabaseWriteLock DatabaseWriteLock::Take(const std::string& path, const OpenOptions& options) {
  Database database = Database::Open(path, options);
  detail::DatabaseAccess::Of(database).Run("BEGIN IMMEDIATE", detail::kWorkspace);
  return DatabaseWriteLock(std::move(database));
}

DatabaseWriteLock::DatabaseWriteLock(Database database) : database_(std::move(database)) {}
DatabaseWriteLock::DatabaseWriteLock(DatabaseWriteLock&&) noexcept = default;
DatabaseWriteLock& DatabaseWriteLock::operator=(DatabaseWriteLock&&) noexcept = default;
DatabaseWriteLock::~DatabaseWriteLock() = default;  // closing the database rolls back

DatabaseVersion DatabaseWriteLock::Version() const {
  return detail::VersionOf(detail::DatabaseAccess::Of(const_cast<Database&>(database_)));
}

void DatabaseWriteLock::CopyTo(const std::string& to) {
  detail::CopyFileUnderLock(detail::DatabaseAccess::Of(database_), to);
}

bool DatabaseWriteLock::SameBytesAs(const std::string& other) {
  sqlite3* handle = nullptr;
  // Opening reads nothing: the file need not be a database.
  if (sqlite3_open_v2(other.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close_v2(handle);
    return false;
  }
  bool same = detail::SameBytes(
      detail::MainFile(detail::DatabaseAccess::Of(database_).Handle(detail::kWorkspace)),
      detail::MainFile(handle));
  sqlite3_close_v2(handle);
  return same;
}

bool DatabaseWriteLock::Overwrite(const std::string& from) {
  using detail::kWorkspace;
  detail::Connection& target = detail::DatabaseAccess::Of(database_);
  const DatabaseVersion locked = Version();
  Database source = Database::Open(from);
  detail::Connection& in = detail::DatabaseAccess::Of(source);
  target.Run("ROLLBACK", kWorkspace);
  sqlite3* handle = target.Handle(kWorkspace);
  sqlite3_backup* backup = sqlite3_backup_init(handle, "main", in.Handle(kWorkspace), "main");
  if (backup == nullptr) detail::FailWith(handle, sqlite3_errcode(handle), from, kWorkspace, {});
  // The first step copies nothing and takes the write lock again.
  int rc = sqlite3_backup_step(backup, 0);
  bool unchanged = (rc == SQLITE_OK || rc == SQLITE_DONE) && detail::VersionOf(target) == locked;
  if (unchanged) rc = sqlite3_backup_step(backup, -1);
  sqlite3_backup_finish(backup);
  if (rc != SQLITE_DONE && rc != SQLITE_OK) detail::FailWith(handle, rc, from, kWorkspace, {});
  return unchanged;
}

void RemoveOrphanJournal(const std::string& path) {
  if (!HostFileIdentity(path)) RemoveHostFile(path + "-journal");
}

}  // namespace horavex::dao
