#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>

namespace horavex {

// The separator of the paths the program builds: the host's own (in what it reads, both "\" and
// "/" separate).
#ifdef _WIN32
inline constexpr char kHostSeparator = '\\';
#else
inline constexpr char kHostSeparator = '/';
#endif

// Creation, last-access and last-write times in nanoseconds since the epoch; 0 = not known.
struct FileTimes {
  int64_t creation = 0;
  int64_t lastAccess = 0;
  int64_t lastWrite = 0;
};

// What tells a file's content apart without reading it: the file, its size and its last-write
// time. A program that rewrites a file changes at least one of them.
struct FileStamp {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t lastWrite = 0;  // nanoseconds
  bool operator==(const FileStamp&) const = default;
};

// A new, empty file beside a target, made to take the target's place. Its name is unique and
// hidden; it is removed when the object ends before it replaced the target, and a later
// program removes it when this one was killed first.
class TemporaryFile {
 public:
  virtual ~TemporaryFile() = default;
  // The host path, for writers that open the file by name (SQLite).
  virtual const std::string& path() const = 0;
};

// An exclusive advisory lock, held until the object ends or the process does.
class FileLock {
 public:
  virtual ~FileLock() = default;
};

// The file services of the program. Paths are given as the program builds or reads them:
// "\" and "/" both separate, a leading drive letter maps to a host folder, and every
// component matches an existing name without regard to case.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The host path a program path names.
  virtual std::string Resolve(const std::string& path) const = 0;
  // True for a plain file; folders and hidden files (name starting with ".") count as missing.
  virtual bool IsPlainFile(const std::string& path) const = 0;
  // The whole content, or nothing when no file is there. A file (or folder, or anything else)
  // that is there but cannot be read fails: 70 "Permission denied", 75 "Path/File access error"
  // (an I/O error, not a regular file).
  virtual std::optional<std::string> ReadAll(const std::string& path) const = 0;
  // The stamp of a plain file (through a symbolic link), or nothing when there is none.
  virtual std::optional<FileStamp> Stamp(const std::string& path) const = 0;
  // Replaces the whole content through a temporary file beside it and a rename; false when
  // the folder is missing or the file or folder cannot be written (nothing changes then).
  virtual bool ReplaceAll(const std::string& path, const std::string& bytes) = 0;
  // Appends bytes, creating the file; throws a Failure when it cannot be opened or written.
  virtual void Append(const std::string& path, const std::string& bytes) = 0;
  // The file's times, or nothing when it cannot be opened for writing.
  virtual std::optional<FileTimes> GetTimes(const std::string& path) const = 0;
  // Sets the last-write time back (creation time where the host allows); false on failure.
  virtual bool SetTimes(const std::string& path, const FileTimes& times) = 0;

  // Removes, once per file and program, the temporary files that killed programs left for the
  // file (the program's own naming pattern, beside it).
  virtual void RemoveLeftoversBeside(const std::string& path) = 0;
  // A temporary file in the folder of target (a program path), after RemoveLeftoversBeside.
  // Throws a Failure.
  virtual std::unique_ptr<TemporaryFile> CreateTemporaryBeside(const std::string& target) = 0;
  // Flushes the temporary file and renames it over target, so the target is always the old or
  // the new file, and makes the rename durable. Throws a Failure (the target is unchanged
  // then); false when the rename took place but the folder could not be flushed after it.
  virtual bool ReplaceWith(TemporaryFile& temporary, const std::string& target) = 0;
  // Gives the file existing a second name, target, in place of what target was (a hard link,
  // nothing is copied); the rename is made durable. False where the file system has no hard
  // links for it, the target then unchanged. Throws a Failure otherwise.
  virtual bool LinkAs(const std::string& existing, const std::string& target) = 0;
  // Renames one of the program's own files (a backup generation) by name; neither name is
  // followed when it is a symbolic link, and anything but a regular file at from is removed
  // instead. False when there is no file at from; the rename is made durable. Throws a Failure.
  virtual bool RenameOwnFile(const std::string& from, const std::string& to) = 0;
  // Whether a file can be renamed over one that a program has open (Windows refuses it).
  virtual bool ReplacesOpenFiles() const { return true; }
  // Waits up to timeoutMs for the exclusive lock of the file (created empty when missing),
  // calling betweenTries while another holder keeps it; nothing when it keeps it that long.
  // The lock file is never reached through a symbolic link. Throws a Failure when the file
  // cannot be opened.
  virtual std::unique_ptr<FileLock> WaitForLock(const std::string& path, int timeoutMs,
                                                const std::function<void()>& betweenTries = {}) = 0;
};

// Writes all the bytes to a file descriptor, again after an interruption; false on an error,
// which errno then names.
bool WriteAll(int fd, const char* data, size_t size);

// What the host's file system trusts. A symbolic link anywhere on a path is followed only when
// the user running the program or root owns it; one that anybody else made is refused with
// "Permission denied" (70), so that a run as root in a folder another account writes gives that
// account nothing. Only regular files are opened, and never in a way that waits on a FIFO.
enum class LastLink {
  kFollowTrusted,  // a file the user names: written through a trusted link
  kNever,          // a name of the program's own: whatever is there is never followed
};
// Opens a host path (see Resolve) as a regular file with open's flags (O_CLOEXEC is added;
// O_TRUNC truncates only after the checks). A file with a second hard link is opened for
// writing only when it is the running user's. The descriptor, or a Failure: 70 for an untrusted
// link, 75 for anything but a regular file, 76 when the file or a folder is missing.
int OpenRegular(const std::string& hostPath, int flags, mode_t mode = 0666,
                LastLink lastLink = LastLink::kFollowTrusted);
// Throws "Permission denied" when reaching the host path would follow an untrusted link; for
// opens made by name elsewhere (SQLite's).
void CheckLinksTrusted(const std::string& hostPath);
// Up to `size` first bytes of a regular file at the host path, opened as OpenRegular opens it;
// nothing when it cannot be read.
std::optional<std::string> ReadFileHead(const std::string& hostPath, size_t size);

struct FilePlace;

// The host's file system.
class HostFileSystem : public FileSystem {
 public:
  std::string Resolve(const std::string& path) const override;
  bool IsPlainFile(const std::string& path) const override;
  std::optional<std::string> ReadAll(const std::string& path) const override;
  std::optional<FileStamp> Stamp(const std::string& path) const override;
  bool ReplaceAll(const std::string& path, const std::string& bytes) override;
  void Append(const std::string& path, const std::string& bytes) override;
  std::optional<FileTimes> GetTimes(const std::string& path) const override;
  bool SetTimes(const std::string& path, const FileTimes& times) override;
  void RemoveLeftoversBeside(const std::string& path) override;
  std::unique_ptr<TemporaryFile> CreateTemporaryBeside(const std::string& target) override;
  bool ReplaceWith(TemporaryFile& temporary, const std::string& target) override;
  bool LinkAs(const std::string& existing, const std::string& target) override;
  bool RenameOwnFile(const std::string& from, const std::string& to) override;
  std::unique_ptr<FileLock> WaitForLock(const std::string& path, int timeoutMs,
                                        const std::function<void()>& betweenTries = {}) override;
#ifdef _WIN32
  bool ReplacesOpenFiles() const override {
    return false;
  }
#endif

 private:
  // As RemoveLeftoversBeside and CreateTemporaryBeside, for a target already located.
  void RemoveLeftoversOf(const FilePlace& target);
  std::unique_ptr<TemporaryFile> TemporaryBesideTarget(const FilePlace& target);
  // Gives the temporary file the target's mode, owner and group (new files: the umask);
  // false when the owner cannot be kept.
  bool KeepIdentity(TemporaryFile& temporary, const FilePlace& target);
  // False when the rename took place but could not be made durable.
  bool Rename(TemporaryFile& temporary, const FilePlace& target, bool durable);

  // The files whose leftover temporary files this program has removed already.
  std::set<std::string> cleaned_;
};

// Host-path services for the database layer, whose files SQLite opens by name.
// The identity of the file at a host path (device and file number), or nothing when none is
// there.
std::optional<std::pair<uint64_t, uint64_t>> HostFileIdentity(const std::string& hostPath);
// Removes the file at a host path; false when it is not there or cannot be removed.
bool RemoveHostFile(const std::string& hostPath);
// What a host path names: nothing (or nothing this process can see), a regular file and its
// size, a folder, or anything else (a device, a pipe, or a link itself when links are not
// followed).
struct HostFileStatus {
  enum class Kind { kMissing, kFile, kFolder, kOther };
  Kind kind = Kind::kMissing;
  uint64_t size = 0;
};
HostFileStatus HostFileStatusOf(const std::string& hostPath, bool followLinks = true);
// Whether the folder of a host path's last component exists; true for a bare name.
bool HostFolderExists(const std::string& hostPath);
// An existing file at a host path, opened for writing from its start and emptied.
class HostFileWriter {
 public:
  explicit HostFileWriter(const std::string& hostPath);
  ~HostFileWriter();
  HostFileWriter(const HostFileWriter&) = delete;
  HostFileWriter& operator=(const HostFileWriter&) = delete;
  bool IsOpen() const;
  // Appends all the bytes; false on an error (DiskFull tells whether the disk was full).
  bool Write(const char* data, size_t size);
  bool DiskFull() const { return diskFull_; }

 private:
  intptr_t handle_;
  bool diskFull_ = false;
};

// The host folder that a drive letter maps to: $CFG_DRIVE_<letter>, else a per-user folder
// (created when a file is first written there, never by a test or a read).
std::string DriveFolder(char letter);

}  // namespace horavex
