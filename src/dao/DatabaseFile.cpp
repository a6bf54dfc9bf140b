#include "dao/DatabaseFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "dao/DatabaseDetail.h"

namespace horavex::dao {
namespace detail {

struct DatabaseAccess {
  static Connection& Of(Database& database) { return *database.connection_; }
};

namespace {

// The version of the file a connection has open, read under a lock that keeps it steady.
DatabaseVersion VersionOf(Connection& connection) {
  sqlite3* handle = connection.Handle(kWorkspace);
  DatabaseVersion version;
  int moved = 0;
  sqlite3_file_control(handle, "main", SQLITE_FCNTL_HAS_MOVED, &moved);
  struct stat st {};
  // A file renamed away since it was opened keeps device and inode 0: it matches no other.
  if (moved == 0 && ::stat(connection.path().c_str(), &st) == 0) {
    version.device = uint64_t(st.st_dev);
    version.inode = uint64_t(st.st_ino);
  }
  sqlite3_file* file = nullptr;
  unsigned char counter[4] = {};
  if (sqlite3_file_control(handle, "main", SQLITE_FCNTL_FILE_POINTER, &file) == SQLITE_OK &&
      file != nullptr && file->pMethods != nullptr) {
    file->pMethods->xRead(file, counter, sizeof counter, 24);  // header offset 24
  }
  version.changeCounter = uint32_t(counter[0]) << 24 | uint32_t(counter[1]) << 16 |
                          uint32_t(counter[2]) << 8 | uint32_t(counter[3]);
  return version;
}

struct CloseHandle {
  void operator()(sqlite3* handle) const { sqlite3_close_v2(handle); }
};

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

  sqlite3* opened = nullptr;
  int rc = sqlite3_open_v2(to.c_str(), &opened, SQLITE_OPEN_READWRITE, nullptr);
  std::unique_ptr<sqlite3, detail::CloseHandle> out(opened);
  if (rc != SQLITE_OK) throw detail::DaoFailure(kCannotOpenFile, kWorkspace, {to});
  sqlite3_extended_result_codes(out.get(), 1);
  sqlite3_backup* backup = sqlite3_backup_init(out.get(), "main", in.Handle(kWorkspace), "main");
  if (backup == nullptr) {
    detail::FailWith(out.get(), sqlite3_extended_errcode(out.get()), to, kWorkspace, {});
  }
  rc = sqlite3_backup_step(backup, -1);
  int finished = sqlite3_backup_finish(backup);
  if (rc != SQLITE_DONE) detail::FailWith(nullptr, rc, to, kWorkspace, {});
  if (finished != SQLITE_OK) detail::FailWith(out.get(), finished, to, kWorkspace, {});
  rc = sqlite3_close(out.release());
  if (rc != SQLITE_OK) detail::FailWith(nullptr, rc, to, kWorkspace, {});
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

void RemoveOrphanJournal(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) ::unlink((path + "-journal").c_str());
}

}  // namespace horavex::dao
