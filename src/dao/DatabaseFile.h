#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "dao/Database.h"

// Whole database files: consistent copies, and the write lock a file is replaced under. Paths
// are host paths (resolved by the caller).
namespace horavex::dao {

// Which content a database file holds: the file itself, and SQLite's change counter, which
// every commit to it increments. Two equal versions are the same file with the same content.
struct DatabaseVersion {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint32_t changeCounter = 0;
  bool operator==(const DatabaseVersion&) const = default;
};

// Copies the database at `from` into `to` (an existing, empty file) as one consistent snapshot:
// its file byte for byte, under a read lock. The copy is not flushed to disk (a copy that is
// to replace a file is flushed by the replacing). Returns the
// version that was copied. Fails as Database::Open does for `from`, with 3218 when another
// connection keeps it locked past the busy timeout and 3026 or 3043 when the copy cannot be
// written.
DatabaseVersion CopyDatabase(const std::string& from, const std::string& to,
                             const OpenOptions& options = {});

// The write lock of a database file, as a writer holds it: other writers wait, readers go on.
// A connection that still has the file open after it was replaced cannot write to the old file
// any more (SQLite refuses writes to a moved database).
class DatabaseWriteLock {
 public:
  // Waits for the lock under the busy timeout: 3218 when another connection keeps it. Fails as
  // Database::Open does for a file that is not a database.
  static DatabaseWriteLock Take(const std::string& path, const OpenOptions& options = {});

  DatabaseWriteLock(DatabaseWriteLock&&) noexcept;
  DatabaseWriteLock& operator=(DatabaseWriteLock&&) noexcept;
  ~DatabaseWriteLock();

  // The version of the locked file; it cannot change while the lock is held. Fails with 3043
  // when the file cannot be read.
  DatabaseVersion Version() const;
  // Copies the locked file byte for byte into `to` (an existing, empty file), through the
  // lock's own handle. Fails as CopyDatabase does.
  void CopyTo(const std::string& to);
  // Whether the file at `other` (any file, not only a database) holds the same bytes as the
  // locked file; false when it cannot be read. Reads the locked file through the lock's own
  // handle, and `other` through SQLite's, so a second name of the locked file drops no lock.
  bool SameBytesAs(const std::string& other);

  // Writes the database at `from` into the locked file itself, in one transaction of its
  // journal, for hosts that cannot rename a file over an open one (Windows). The lock is given
  // up and taken again for it (SQLite copies only into a file without an open transaction):
  // false, nothing written, when another program committed in between. Fails as Take does.
  bool Overwrite(const std::string& from);

 private:
  explicit DatabaseWriteLock(Database database);
  Database database_;
};

// Removes the journal beside a database file that does not exist (a file removed after a
// crash): SQLite would roll it back into the next file of that name.
void RemoveOrphanJournal(const std::string& path);

}  // namespace horavex::dao
