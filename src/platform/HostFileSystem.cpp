#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace fs = std::filesystem;

namespace horavex {
namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

std::vector<std::string> SplitComponents(const std::string& path) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : path) {
    if (IsSeparator(c)) {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

// The name in folder that matches name without regard to case; the exact name wins.
std::string MatchComponent(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  if (name == "." || name == ".." || fs::exists(folder / name, ec)) return name;
  std::string best;
  for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end;
       !ec && it != end; it.increment(ec)) {
    std::string candidate = it->path().filename().string();
    if (text::EqualsNoCase(candidate, name) && (best.empty() || candidate < best)) {
      best = candidate;
    }
  }
  return best.empty() ? name : best;
}

Failure ErrnoFailure(int err, int32_t fallback) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return RuntimeFailure(kPathNotFound);
    case EACCES:
    case EPERM:
    case EROFS:
      return RuntimeFailure(kPermissionDenied);
    case ENOSPC:
      return RuntimeFailure(kDiskFull);
    case EIO:
      return RuntimeFailure(kDeviceIoError);
    default:
      return RuntimeFailure(fallback);
  }
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// Temporary files are named ".<target name>.tmp-XXXXXX" and their writer holds an flock on
// them for as long as they exist, so one that can be locked was left by a program that ended.
constexpr const char* kTemporaryInfix = ".tmp-";
constexpr const char* kJournalSuffix = "-journal";  // what SQLite keeps beside a database

std::string TemporaryPrefix(const fs::path& target) {
  return "." + target.filename().string() + kTemporaryInfix;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

mode_t CurrentUmask() {
  mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

class HostTemporaryFile : public TemporaryFile {
 public:
  HostTemporaryFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~HostTemporaryFile() override {
    if (fd_ < 0) return;
    ::unlink(path_.c_str());
    ::unlink((path_ + kJournalSuffix).c_str());
    ::close(fd_);
  }
  const std::string& path() const override { return path_; }
  int fd() const { return fd_; }
  // The file has taken its target's place: nothing is left to remove.
  void Renamed() {
    ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
  std::string path_;
};

class HostFileLock : public FileLock {
 public:
  explicit HostFileLock(int fd) : fd_(fd) {}
  ~HostFileLock() override { ::close(fd_); }

 private:
  int fd_;
};

// Removes the temporary files of target that no living writer holds (left by a killed
// program), with their journals.
void RemoveLeftovers(const fs::path& target) {
  const std::string prefix = TemporaryPrefix(target);
  const size_t nameLength = prefix.size() + 6;
  const size_t journalLength = std::strlen(kJournalSuffix);
  std::error_code ec;
  std::vector<fs::path> journals;
  for (fs::directory_iterator it(target.parent_path(), ec), end; !ec && it != end;
       it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.rfind(prefix, 0) != 0) continue;
    if (name.size() == nameLength + journalLength &&
        name.compare(nameLength, journalLength, kJournalSuffix) == 0) {
      journals.push_back(it->path());
      continue;
    }
    if (name.size() != nameLength) continue;
    std::string path = it->path().string();
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.get() < 0 || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;
    ::unlink((path + kJournalSuffix).c_str());
    ::unlink(path.c_str());
  }
  // A journal outlives its database only when a removal above was cut short.
  for (const fs::path& journal : journals) {
    std::string path = journal.string();
    if (!fs::exists(path.substr(0, path.size() - journalLength), ec)) ::unlink(path.c_str());
  }
}

// A new temporary file beside target (a host path), locked by this process.
std::unique_ptr<HostTemporaryFile> MakeTemporary(const fs::path& target) {
  const std::string pattern =
      (target.parent_path() / (TemporaryPrefix(target) + "XXXXXX")).string();
  for (int attempt = 0; attempt < 10; ++attempt) {
    std::string path = pattern;
    FileDescriptor fd(::mkostemp(path.data(), O_CLOEXEC));
    if (fd.get() < 0) throw ErrnoFailure(errno, kPathFileAccessError);
    while (::flock(fd.get(), LOCK_EX) != 0) {
      if (errno != EINTR) throw ErrnoFailure(errno, kPathFileAccessError);
    }
    // Another program may have taken the file for a leftover before it was locked.
    struct stat byName {
    }, byHandle{};
    if (::stat(path.c_str(), &byName) == 0 && ::fstat(fd.get(), &byHandle) == 0 &&
        SameFile(byName, byHandle)) {
      return std::make_unique<HostTemporaryFile>(fd.release(), path);
    }
  }
  throw RuntimeFailure(kPathFileAccessError);
}

// Makes a rename in the folder durable.
void SyncFolderOf(const fs::path& target) {
  FileDescriptor folder(::open(target.parent_path().empty() ? "." : target.parent_path().c_str(),
                               O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) ::fsync(folder.get());
}

int64_t ToNanoseconds(const struct timespec& t) {
  return int64_t(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

// The per-user folder that holds the drives without a CFG_DRIVE_<letter> variable.
std::string DefaultDrivesBase() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data != '\0') {
    return std::string(data) + "/horavex";
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return std::string(home) + "/.local/share/horavex";
  }
  return "/tmp/horavex-" + std::to_string(::getuid());
}

// The upper-case drive letter a path starts with ("C:\..." or "c:/..."), if any.
std::optional<char> DriveLetter(const std::string& path) {
  if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
  }
  return std::nullopt;
}

// The folder $CFG_DRIVE_<letter> names, if it is set.
std::optional<std::string> DriveVariable(char upper) {
  std::string variable = std::string("CFG_DRIVE_") + upper;
  const char* value = std::getenv(variable.c_str());
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

// A path is written to only after its drive's default folder exists; a mere test or read of a
// path never creates one.
void PrepareDriveFolder(const std::string& path) {
  std::optional<char> letter = DriveLetter(path);
  if (!letter || DriveVariable(*letter)) return;
  std::error_code ec;
  fs::create_directories(DriveFolder(*letter), ec);
  ::chmod(DefaultDrivesBase().c_str(), 0700);
}

// A file without any write permission bit is read-only, also for root: the read-only
// attribute binds administrators on Windows too.
bool IsReadOnly(const struct stat& st) {
  return (st.st_mode & 0222) == 0;
}

// Writes the whole content into the file itself, as the profile API does: for a file whose
// identity a rename would not keep. Not atomic: a crash can leave it half written.
bool WriteInPlace(const fs::path& target, const std::string& bytes) {
  FileDescriptor fd(::open(target.c_str(), O_WRONLY | O_CLOEXEC));
  return fd.get() >= 0 && WriteAll(fd.get(), bytes.data(), bytes.size()) &&
         ::ftruncate(fd.get(), off_t(bytes.size())) == 0 && ::fsync(fd.get()) == 0;
}

}  // namespace

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

std::optional<std::pair<uint64_t, uint64_t>> HostFileIdentity(const std::string& hostPath) {
  struct stat st {};
  if (::stat(hostPath.c_str(), &st) != 0) return std::nullopt;
  return std::pair{uint64_t(st.st_dev), uint64_t(st.st_ino)};
}

bool RemoveHostFile(const std::string& hostPath) {
  return ::unlink(hostPath.c_str()) == 0;
}

HostFileWriter::HostFileWriter(const std::string& hostPath)
    : handle_(::open(hostPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC)) {}

HostFileWriter::~HostFileWriter() {
  if (handle_ >= 0) ::close(int(handle_));
}

bool HostFileWriter::IsOpen() const {
  return handle_ >= 0;
}

bool HostFileWriter::Write(const char* data, size_t size) {
  if (WriteAll(int(handle_), data, size)) return true;
  diskFull_ = errno == ENOSPC || errno == EDQUOT;
  return false;
}

std::string DriveFolder(char letter) {
  char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  if (std::optional<std::string> folder = DriveVariable(upper)) return *folder;
  return DefaultDrivesBase() + "/drive_" + static_cast<char>(std::tolower(upper));
}

fs::path HostFileSystem::WriteTarget(const std::string& path) const {
  fs::path resolved = Resolve(path);
  // A symbolic link is written through to its target.
  std::error_code ec;
  fs::path real = fs::canonical(resolved, ec);
  return ec ? resolved : real;
}

std::string HostFileSystem::Resolve(const std::string& path) const {
  std::string base;
  std::string_view rest = path;
  if (std::optional<char> letter = DriveLetter(path)) {
    base = DriveFolder(*letter);
    rest.remove_prefix(2);
  } else if (!rest.empty() && IsSeparator(rest[0])) {
    base = "/";
  }
  {
    // An exactly spelled existing path resolves to itself: one stat instead of one per component.
    std::string exact = base;
    exact.reserve(base.size() + rest.size() + 1);
    bool partStarts = true;
    for (char c : rest) {
      if (IsSeparator(c)) {
        partStarts = true;
        continue;
      }
      if (partStarts && !exact.empty() && exact.back() != '/') exact += '/';
      partStarts = false;
      exact += c;
    }
    struct stat st {};
    if (!exact.empty() && ::stat(exact.c_str(), &st) == 0) return exact;
  }
  fs::path result = base;
  bool existing = true;
  for (const std::string& part : SplitComponents(std::string(rest))) {
    std::string name = existing ? MatchComponent(result, part) : part;
    std::error_code ec;
    result /= name;
    if (existing && !fs::exists(result, ec)) existing = false;
  }
  return result.empty() ? std::string(".") : result.string();
}

bool HostFileSystem::IsPlainFile(const std::string& path) const {
  if (path.empty()) return false;
  fs::path resolved = Resolve(path);
  std::error_code ec;
  if (!fs::is_regular_file(resolved, ec)) return false;
  return resolved.filename().string().rfind('.', 0) != 0;
}

std::optional<std::string> HostFileSystem::ReadAll(const std::string& path) const {
  if (path.empty()) return std::nullopt;
  FileDescriptor fd(::open(Resolve(path).c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::string content;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  return content;
}

std::optional<FileStamp> HostFileSystem::Stamp(const std::string& path) const {
  if (path.empty()) return std::nullopt;
  struct stat st {};
  if (::stat(Resolve(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return FileStamp{uint64_t(st.st_dev), uint64_t(st.st_ino), int64_t(st.st_size),
                   ToNanoseconds(st.st_mtim)};
}

bool HostFileSystem::ReplaceAll(const std::string& path, const std::string& bytes) {
  if (path.empty()) return false;
  PrepareDriveFolder(path);
  fs::path target = WriteTarget(path);
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode) || IsReadOnly(st) || ::access(target.c_str(), W_OK) != 0) {
      return false;
    }
    // Another name of the file, or a folder the user may not change, would not see a new file.
    fs::path folder = target.parent_path();
    if (st.st_nlink > 1 || ::access(folder.c_str(), W_OK | X_OK) != 0) {
      return WriteInPlace(target, bytes);
    }
  }
  std::unique_ptr<TemporaryFile> temporary;
  try {
    temporary = TemporaryBesideTarget(target);
    auto& file = static_cast<HostTemporaryFile&>(*temporary);
    if (!WriteAll(file.fd(), bytes.data(), bytes.size())) return false;
    if (!KeepIdentity(file, target)) {
      // Only root may give a file to another owner; the file itself keeps its owner.
      return WriteInPlace(target, bytes);
    }
    // The content is flushed before the rename, so the file is always the old or the new one.
    // The folder is not synced as well: ini files are written entry by entry, and making every
    // intermediate rename durable would cost a second flush per entry for nothing.
    Rename(file, target, false);
  } catch (const Failure&) {
    return false;
  }
  return true;
}

void HostFileSystem::Append(const std::string& path, const std::string& bytes) {
  if (path.empty()) throw RuntimeFailure(kBadFileName);
  PrepareDriveFolder(path);
  std::string resolved = Resolve(path);
  struct stat st {};
  if (::stat(resolved.c_str(), &st) == 0 && IsReadOnly(st)) {
    throw RuntimeFailure(kPermissionDenied);
  }
  FileDescriptor fd(::open(resolved.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
  if (fd.get() < 0) throw ErrnoFailure(errno, kPathFileAccessError);
  if (!WriteAll(fd.get(), bytes.data(), bytes.size())) throw ErrnoFailure(errno, kDeviceIoError);
}

void HostFileSystem::RemoveLeftoversBeside(const std::string& path) {
  if (!cleaned_.insert("as named: " + path).second) return;  // this name was seen before
  RemoveLeftoversOf(WriteTarget(path));
}

void HostFileSystem::RemoveLeftoversOf(const fs::path& target) {
  if (cleaned_.insert(target.string()).second) RemoveLeftovers(target);
}

std::unique_ptr<TemporaryFile> HostFileSystem::CreateTemporaryBeside(const std::string& target) {
  PrepareDriveFolder(target);
  return TemporaryBesideTarget(WriteTarget(target));
}

std::unique_ptr<TemporaryFile> HostFileSystem::TemporaryBesideTarget(const fs::path& target) {
  RemoveLeftoversOf(target);
  return MakeTemporary(target);
}

void HostFileSystem::ReplaceWith(TemporaryFile& temporary, const std::string& target) {
  auto& file = static_cast<HostTemporaryFile&>(temporary);
  fs::path real = WriteTarget(target);
  struct stat st {};
  if (::stat(real.c_str(), &st) == 0 && IsReadOnly(st)) throw RuntimeFailure(kPermissionDenied);
  KeepIdentity(file, real);  // a database keeps its mode and group; its owner where we may
  Rename(file, real, true);
}

bool HostFileSystem::LinkAs(const std::string& existing, const std::string& target) {
  PrepareDriveFolder(target);
  fs::path from = WriteTarget(existing);
  fs::path real = WriteTarget(target);
  RemoveLeftoversOf(real);
  // Under a temporary name of the leftover pattern, so that a link a killed program left is
  // removed like its other temporary files.
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  for (int attempt = 0; attempt < 10; ++attempt) {
    std::string name = (real.parent_path() / TemporaryPrefix(real)).string();
    for (int i = 0; i < 6; ++i) name.push_back(kLetters[random() % (sizeof kLetters - 1)]);
    if (::link(from.c_str(), name.c_str()) == 0) {
      if (::rename(name.c_str(), real.c_str()) != 0) {
        int error = errno;
        ::unlink(name.c_str());
        throw ErrnoFailure(error, kPermissionDenied);
      }
      SyncFolderOf(real);
      return true;
    }
    if (errno == EEXIST) continue;
    if (errno == EPERM || errno == EXDEV || errno == EMLINK || errno == ENOTSUP ||
        errno == ENOSYS) {
      return false;
    }
    throw ErrnoFailure(errno, kPathFileAccessError);
  }
  throw RuntimeFailure(kPathFileAccessError);
}

bool HostFileSystem::KeepIdentity(TemporaryFile& temporary, const fs::path& target) {
  auto& file = static_cast<HostTemporaryFile&>(temporary);
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0) {
    return ::fchmod(file.fd(), 0666 & ~CurrentUmask()) == 0;
  }
  bool kept = ::fchmod(file.fd(), st.st_mode & 07777) == 0;
  if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
    kept = ::fchown(file.fd(), st.st_uid, st.st_gid) == 0 && kept;
    // A change of owner clears the set-id bits.
    kept = ::fchmod(file.fd(), st.st_mode & 07777) == 0 && kept;
  }
  return kept;
}

void HostFileSystem::Rename(TemporaryFile& temporary, const fs::path& target, bool durable) {
  auto& file = static_cast<HostTemporaryFile&>(temporary);
  if (::fsync(file.fd()) != 0) throw ErrnoFailure(errno, kDeviceIoError);
  if (::rename(file.path().c_str(), target.c_str()) != 0) {
    throw ErrnoFailure(errno, kPermissionDenied);
  }
  file.Renamed();
  if (durable) SyncFolderOf(target);
}

std::unique_ptr<FileLock> HostFileSystem::WaitForLock(const std::string& path, int timeoutMs) {
  PrepareDriveFolder(path);
  std::string resolved = Resolve(path);
  int fd = ::open(resolved.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  // A lock file that another user made can still be locked through a read-only handle.
  if (fd < 0 && (errno == EACCES || errno == EROFS))
    fd = ::open(resolved.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw ErrnoFailure(errno, kPathFileAccessError);
  auto lock = std::make_unique<HostFileLock>(fd);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) throw ErrnoFailure(errno, kPathFileAccessError);
    if (std::chrono::steady_clock::now() >= deadline) return nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return lock;
}

std::optional<FileTimes> HostFileSystem::GetTimes(const std::string& path) const {
  std::string resolved = Resolve(path);
  FileDescriptor fd(::open(resolved.c_str(), O_WRONLY | O_CLOEXEC));
  if (fd.get() < 0) return std::nullopt;
  FileTimes times;
  struct statx sx {};
  if (::statx(fd.get(), "", AT_EMPTY_PATH, STATX_BTIME | STATX_ATIME | STATX_MTIME, &sx) == 0) {
    if (sx.stx_mask & STATX_BTIME) {
      times.creation = int64_t(sx.stx_btime.tv_sec) * 1000000000LL + sx.stx_btime.tv_nsec;
    }
    times.lastAccess = int64_t(sx.stx_atime.tv_sec) * 1000000000LL + sx.stx_atime.tv_nsec;
    times.lastWrite = int64_t(sx.stx_mtime.tv_sec) * 1000000000LL + sx.stx_mtime.tv_nsec;
    return times;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return std::nullopt;
  times.lastAccess = ToNanoseconds(st.st_atim);
  times.lastWrite = ToNanoseconds(st.st_mtim);
  return times;
}

bool HostFileSystem::SetTimes(const std::string& path, const FileTimes& times) {
  // POSIX cannot set a creation time; the file is changed in place, so it keeps its own.
  std::string resolved = Resolve(path);
  FileDescriptor fd(::open(resolved.c_str(), O_WRONLY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  struct timespec spec[2];
  spec[0].tv_sec = 0;
  spec[0].tv_nsec = UTIME_OMIT;
  spec[1].tv_sec = times.lastWrite / 1000000000LL;
  spec[1].tv_nsec = times.lastWrite % 1000000000LL;
  return ::futimens(fd.get(), spec) == 0;
}

}  // namespace horavex
