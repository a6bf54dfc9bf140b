#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
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
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = other.release();
    }
    return *this;
  }
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// A symbolic link that the user running the program or root made may be followed; one that
// anybody else made is refused, since a run as root in a folder another account writes must
// not write, read or create where that account points it.
bool TrustedOwner(uid_t owner) {
  return owner == ::geteuid() || owner == 0;
}

// What Locate reports for a symbolic link it must not follow, beside errno values.
constexpr int kUntrustedLink = -1;
constexpr int kMaxLinks = 40;  // as the kernel allows

}  // namespace

// Where a file is, once every trusted link on its path was followed: its folder, held open so
// that nothing resolves the folder's path again, and its name there.
struct FilePlace {
  FileDescriptor folder{-1};  // opened with O_PATH
  std::string folderPath;     // "" for the current folder
  std::string name;

  std::string Path() const {
    if (folderPath.empty()) return name;
    return folderPath.back() == '/' ? folderPath + name : folderPath + "/" + name;
  }
};

namespace {

std::string ReadLink(int linkFd) {
  std::string target(256, '\0');
  for (;;) {
    ssize_t n = ::readlinkat(linkFd, "", target.data(), target.size());
    if (n < 0) return std::string();
    if (size_t(n) < target.size()) {
      target.resize(size_t(n));
      return target;
    }
    target.resize(target.size() * 2);
  }
}

// Walks a host path one name at a time, each looked up in the folder opened before it, so that a
// link put in place of a checked folder later is never followed. A symbolic link on the way is
// followed only when its owner is trusted; a link at the last name too when followLast, else the
// last name is the place itself. 0, kUntrustedLink or an errno.
int Locate(const std::string& path, bool followLast, FilePlace& place) {
  if (path.empty()) return ENOENT;
  std::deque<std::string> rest;
  for (std::string& part : SplitComponents(path)) rest.push_back(std::move(part));
  bool absolute = false;
  std::vector<std::string> folders;  // the names of place.folder, from the start
  auto start = [&](bool fromRoot) {
    absolute = fromRoot;
    folders.clear();
    place.folder = FileDescriptor(::open(fromRoot ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    return place.folder.get() >= 0;
  };
  auto found = [&](std::string name) {
    place.folderPath = absolute ? "/" : "";
    for (const std::string& folder : folders) place.folderPath += folder + "/";
    if (place.folderPath.size() > 1) place.folderPath.pop_back();
    place.name = std::move(name);
    return 0;
  };
  if (!start(IsSeparator(path[0]))) return errno;
  int links = 0;
  while (!rest.empty()) {
    std::string name = std::move(rest.front());
    rest.pop_front();
    if (name == ".") continue;
    if (name == "..") {
      FileDescriptor up(::openat(place.folder.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
      if (up.get() < 0) return errno;
      place.folder = std::move(up);
      if (!folders.empty() && folders.back() != "..") {
        folders.pop_back();
      } else if (!absolute) {
        folders.push_back(name);
      }
      continue;
    }
    const bool last = rest.empty();
    if (last && !followLast) return found(std::move(name));
    FileDescriptor next(
        ::openat(place.folder.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (next.get() < 0 || ::fstat(next.get(), &st) != 0) {
      if (last && errno == ENOENT) return found(std::move(name));
      return errno;
    }
    if (S_ISLNK(st.st_mode)) {
      if (!TrustedOwner(st.st_uid)) return kUntrustedLink;
      std::string target = ReadLink(next.get());
      if (target.empty() || ++links > kMaxLinks) return ELOOP;
      std::vector<std::string> parts = SplitComponents(target);
      rest.insert(rest.begin(), parts.begin(), parts.end());
      if (IsSeparator(target[0]) && !start(true)) return errno;
      continue;
    }
    if (last) return found(std::move(name));
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    place.folder = std::move(next);
    folders.push_back(std::move(name));
  }
  return EISDIR;  // the path names a folder ("." or ".." at its end)
}

Failure LocateFailure(int result) {
  return result == kUntrustedLink ? RuntimeFailure(kPermissionDenied)
                                  : ErrnoFailure(result, kPathFileAccessError);
}

FilePlace LocateOrThrow(const std::string& path, bool followLast) {
  FilePlace place;
  if (int result = Locate(path, followLast, place); result != 0) throw LocateFailure(result);
  return place;
}

// Checks a file just opened before anything is read or written: a regular file only, and one
// with a second name only when it is the running user's own.
void CheckOpened(int fd, int flags) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) throw ErrnoFailure(errno, kPathFileAccessError);
  if (!S_ISREG(st.st_mode)) throw RuntimeFailure(kPathFileAccessError);
  if ((flags & O_ACCMODE) != O_RDONLY && st.st_nlink > 1 && st.st_uid != ::geteuid()) {
    throw RuntimeFailure(kPermissionDenied);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
}

// Opens the file at its place: the place followed the trusted links already, so a link found
// there now is refused, and a FIFO or device is never waited on.
FileDescriptor OpenAt(const FilePlace& place, int flags, mode_t mode = 0666) {
  FileDescriptor fd(::openat(place.folder.get(), place.name.c_str(),
                             (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode));
  if (fd.get() < 0) {
    throw errno == ELOOP ? RuntimeFailure(kPermissionDenied)
                         : ErrnoFailure(errno, kPathFileAccessError);
  }
  CheckOpened(fd.get(), flags);
  // Truncated only once it is known to be a file that may be written.
  if ((flags & O_TRUNC) != 0 && ::ftruncate(fd.get(), 0) != 0) {
    throw ErrnoFailure(errno, kPathFileAccessError);
  }
  return fd;
}

// The file at the place as it is, not through a link; false when there is nothing.
bool StatAt(const FilePlace& place, struct stat& st) {
  return ::fstatat(place.folder.get(), place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// The file a resolved path names, for a look that opens nothing (so the file's stamp and kind
// cost one call, as every ini read asks for them): the name itself, or what a trusted link there
// leads to. Links above the name are not checked here; whatever opens the file walks the path.
bool LookAt(const std::string& resolved, struct stat& st) {
  if (::lstat(resolved.c_str(), &st) != 0) return false;
  if (!S_ISLNK(st.st_mode)) return true;
  FilePlace place;
  return Locate(resolved, true, place) == 0 && StatAt(place, st);
}

// Temporary files are named ".<target name>.tmp-XXXXXX" and their writer holds an flock on
// them for as long as they exist, so one that can be locked was left by a program that ended.
constexpr const char* kTemporaryInfix = ".tmp-";
constexpr const char* kJournalSuffix = "-journal";  // what SQLite keeps beside a database

std::string TemporaryPrefix(const std::string& targetName) {
  return "." + targetName + kTemporaryInfix;
}

// A new temporary name for the target: its prefix and six random letters.
std::string TemporaryName(const std::string& targetName) {
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::random_device random;
  std::string name = TemporaryPrefix(targetName);
  for (int i = 0; i < 6; ++i) name.push_back(kLetters[random() % (sizeof kLetters - 1)]);
  return name;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

mode_t CurrentUmask() {
  mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

int DuplicateOf(const FileDescriptor& fd) {
  return ::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0);
}

class HostTemporaryFile : public TemporaryFile {
 public:
  HostTemporaryFile(int fd, const FilePlace& place)
      : fd_(fd), folder_(DuplicateOf(place.folder)), name_(place.name), path_(place.Path()) {}
  ~HostTemporaryFile() override {
    if (fd_ < 0) return;
    ::unlinkat(folder_.get(), name_.c_str(), 0);
    ::unlinkat(folder_.get(), (name_ + kJournalSuffix).c_str(), 0);
    ::close(fd_);
  }
  const std::string& path() const override { return path_; }
  int fd() const { return fd_; }
  int folder() const { return folder_.get(); }
  const std::string& name() const { return name_; }
  // The file has taken its target's place: nothing is left to remove.
  void Renamed() {
    ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
  FileDescriptor folder_;
  std::string name_;
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
// program), with their journals. Whatever else has such a name (a link, a FIFO) is no file of
// this program's: it is removed without being opened.
void RemoveLeftovers(const FilePlace& target) {
  const std::string prefix = TemporaryPrefix(target.name);
  const size_t nameLength = prefix.size() + 6;
  const size_t journalLength = std::strlen(kJournalSuffix);
  const int folder = target.folder.get();
  DIR* listing = ::fdopendir(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (listing == nullptr) return;
  std::vector<std::string> journals;
  while (const struct dirent* entry = ::readdir(listing)) {
    std::string name = entry->d_name;
    if (name.rfind(prefix, 0) != 0) continue;
    struct stat st {};
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(st.st_mode)) {
      if (!S_ISDIR(st.st_mode)) ::unlinkat(folder, name.c_str(), 0);
      continue;
    }
    if (name.size() == nameLength + journalLength &&
        name.compare(nameLength, journalLength, kJournalSuffix) == 0) {
      journals.push_back(name);
      continue;
    }
    if (name.size() != nameLength) continue;
    FileDescriptor fd(
        ::openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (fd.get() < 0 || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;
    ::unlinkat(folder, (name + kJournalSuffix).c_str(), 0);
    ::unlinkat(folder, name.c_str(), 0);
  }
  ::closedir(listing);
  // A journal outlives its database only when a removal above was cut short.
  for (const std::string& journal : journals) {
    struct stat st {};
    std::string database = journal.substr(0, journal.size() - journalLength);
    if (::fstatat(folder, database.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      ::unlinkat(folder, journal.c_str(), 0);
    }
  }
}

// A new temporary file beside target, locked by this process. Created under a new name, so
// nothing that was at that name before is ever opened.
std::unique_ptr<HostTemporaryFile> MakeTemporary(const FilePlace& target) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    FilePlace place;
    place.folder = FileDescriptor(DuplicateOf(target.folder));
    place.folderPath = target.folderPath;
    place.name = TemporaryName(target.name);
    FileDescriptor fd(::openat(place.folder.get(), place.name.c_str(),
                               O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.get() < 0) {
      if (errno == EEXIST) continue;
      throw ErrnoFailure(errno, kPathFileAccessError);
    }
    while (::flock(fd.get(), LOCK_EX) != 0) {
      if (errno != EINTR) throw ErrnoFailure(errno, kPathFileAccessError);
    }
    // Another program may have taken the file for a leftover before it was locked.
    struct stat byName {
    }, byHandle{};
    if (StatAt(place, byName) && ::fstat(fd.get(), &byHandle) == 0 && SameFile(byName, byHandle)) {
      return std::make_unique<HostTemporaryFile>(fd.release(), place);
    }
  }
  throw RuntimeFailure(kPathFileAccessError);
}

// Makes a rename in the folder durable; false when the folder could not be flushed.
bool SyncFolder(const FilePlace& place) {
  FileDescriptor folder(::openat(place.folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return folder.get() >= 0 && ::fsync(folder.get()) == 0;
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
bool WriteInPlace(const FilePlace& target, const std::string& bytes) {
  FileDescriptor fd = OpenAt(target, O_WRONLY);
  return WriteAll(fd.get(), bytes.data(), bytes.size()) &&
         ::ftruncate(fd.get(), off_t(bytes.size())) == 0 && ::fsync(fd.get()) == 0;
}

// The place of a file the program owns by name (a backup, the lock file): never through a
// link at that name.
FilePlace OwnPlace(const std::string& resolved) {
  return LocateOrThrow(resolved, false);
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

std::optional<std::string> ReadFileHead(const std::string& hostPath, size_t size) {
  FileDescriptor fd(-1);
  try {
    fd = FileDescriptor(OpenRegular(hostPath, O_RDONLY));
  } catch (const Failure&) {
    return std::nullopt;
  }
  std::string head(size, '\0');
  ssize_t n = ::pread(fd.get(), head.data(), size, 0);
  if (n < 0) return std::nullopt;
  head.resize(size_t(n));
  return head;
}

std::optional<std::pair<uint64_t, uint64_t>> HostFileIdentity(const std::string& hostPath) {
  struct stat st {};
  if (::stat(hostPath.c_str(), &st) != 0) return std::nullopt;
  return std::pair{uint64_t(st.st_dev), uint64_t(st.st_ino)};
}

bool RemoveHostFile(const std::string& hostPath) {
  return ::unlink(hostPath.c_str()) == 0;
}

HostFileStatus HostFileStatusOf(const std::string& hostPath, bool followLinks) {
  struct stat st {};
  int rc = followLinks ? ::stat(hostPath.c_str(), &st) : ::lstat(hostPath.c_str(), &st);
  if (rc != 0) return {};
  if (S_ISREG(st.st_mode)) return {HostFileStatus::Kind::kFile, uint64_t(st.st_size)};
  return {S_ISDIR(st.st_mode) ? HostFileStatus::Kind::kFolder : HostFileStatus::Kind::kOther, 0};
}

bool HostFolderExists(const std::string& hostPath) {
  // The folder with its trailing separator: stat follows it only to a folder.
  std::string folder = hostPath.substr(0, hostPath.rfind('/') + 1);
  return folder.empty() || HostFileStatusOf(folder).kind == HostFileStatus::Kind::kFolder;
}

HostFileWriter::HostFileWriter(const std::string& hostPath)
    : handle_(::open(hostPath.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)) {}

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

int OpenRegular(const std::string& hostPath, int flags, mode_t mode, LastLink lastLink) {
  return OpenAt(LocateOrThrow(hostPath, lastLink == LastLink::kFollowTrusted), flags, mode)
      .release();
}

void CheckLinksTrusted(const std::string& hostPath) {
  FilePlace place;
  if (Locate(hostPath, true, place) == kUntrustedLink) throw RuntimeFailure(kPermissionDenied);
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
  struct stat st {};
  if (!LookAt(resolved, st) || !S_ISREG(st.st_mode)) return false;
  return resolved.filename().string().rfind('.', 0) != 0;
}

std::optional<std::string> HostFileSystem::ReadAll(const std::string& path) const {
  if (path.empty()) return std::nullopt;
  FileDescriptor fd(-1);
  try {
    fd = FileDescriptor(OpenRegular(Resolve(path), O_RDONLY));
  } catch (const Failure& f) {
    // Only a missing file reads as nothing; one that is there but cannot be read fails.
    if (f.number() == kPathNotFound) return std::nullopt;
    throw;
  }
  std::string content;
  // The whole file in one allocation: a growing string would hold up to twice its size.
  if (struct stat st{}; ::fstat(fd.get(), &st) == 0 && st.st_size > 0) {
    content.reserve(static_cast<size_t>(st.st_size));
  }
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw ErrnoFailure(errno, kPathFileAccessError);
    }
    if (n == 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  return content;
}

std::optional<FileStamp> HostFileSystem::Stamp(const std::string& path) const {
  if (path.empty()) return std::nullopt;
  struct stat st {};
  if (!LookAt(Resolve(path), st) || !S_ISREG(st.st_mode)) return std::nullopt;
  return FileStamp{uint64_t(st.st_dev), uint64_t(st.st_ino), int64_t(st.st_size),
                   ToNanoseconds(st.st_mtim)};
}

bool HostFileSystem::ReplaceAll(const std::string& path, const std::string& bytes) {
  if (path.empty()) return false;
  PrepareDriveFolder(path);
  std::unique_ptr<TemporaryFile> temporary;
  try {
    FilePlace target = LocateOrThrow(Resolve(path), true);
    struct stat st {};
    if (StatAt(target, st)) {
      if (!S_ISREG(st.st_mode) || IsReadOnly(st) ||
          ::faccessat(target.folder.get(), target.name.c_str(), W_OK, 0) != 0) {
        return false;
      }
      // Another name of the file, or a folder the user may not change, would not see a new file.
      if (st.st_nlink > 1 || ::faccessat(target.folder.get(), ".", W_OK | X_OK, 0) != 0) {
        return WriteInPlace(target, bytes);
      }
    }
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
  FileDescriptor fd =
      OpenAt(LocateOrThrow(Resolve(path), true), O_WRONLY | O_CREAT | O_APPEND, 0666);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || IsReadOnly(st)) throw RuntimeFailure(kPermissionDenied);
  if (!WriteAll(fd.get(), bytes.data(), bytes.size())) throw ErrnoFailure(errno, kDeviceIoError);
}

void HostFileSystem::RemoveLeftoversBeside(const std::string& path) {
  if (!cleaned_.insert("as named: " + path).second) return;  // this name was seen before
  FilePlace target;
  // Nothing to clean where the file cannot be reached; its write fails with the reason.
  if (Locate(Resolve(path), true, target) == 0) RemoveLeftoversOf(target);
}

void HostFileSystem::RemoveLeftoversOf(const FilePlace& target) {
  if (cleaned_.insert(target.Path()).second) RemoveLeftovers(target);
}

std::unique_ptr<TemporaryFile> HostFileSystem::CreateTemporaryBeside(const std::string& target) {
  PrepareDriveFolder(target);
  return TemporaryBesideTarget(LocateOrThrow(Resolve(target), true));
}

std::unique_ptr<TemporaryFile> HostFileSystem::TemporaryBesideTarget(const FilePlace& target) {
  RemoveLeftoversOf(target);
  return MakeTemporary(target);
}

bool HostFileSystem::ReplaceWith(TemporaryFile& temporary, const std::string& target) {
  auto& file = static_cast<HostTemporaryFile&>(temporary);
  FilePlace real = LocateOrThrow(Resolve(target), true);
  struct stat st {};
  if (StatAt(real, st) && IsReadOnly(st)) throw RuntimeFailure(kPermissionDenied);
  KeepIdentity(file, real);  // a database keeps its mode and group; its owner where we may
  return Rename(file, real, true);
}

bool HostFileSystem::LinkAs(const std::string& existing, const std::string& target) {
  PrepareDriveFolder(target);
  FilePlace from = LocateOrThrow(Resolve(existing), true);
  // A backup is a name of the program's own: whatever is there is replaced, never followed.
  FilePlace to = OwnPlace(Resolve(target));
  RemoveLeftoversOf(to);
  // Under a temporary name of the leftover pattern, so that a link a killed program left is
  // removed like its other temporary files.
  for (int attempt = 0; attempt < 10; ++attempt) {
    std::string name = TemporaryName(to.name);
    if (::linkat(from.folder.get(), from.name.c_str(), to.folder.get(), name.c_str(), 0) == 0) {
      if (::renameat(to.folder.get(), name.c_str(), to.folder.get(), to.name.c_str()) != 0) {
        int error = errno;
        ::unlinkat(to.folder.get(), name.c_str(), 0);
        throw ErrnoFailure(error, kPermissionDenied);
      }
      // When target already was a name of the file, the rename did nothing.
      ::unlinkat(to.folder.get(), name.c_str(), 0);
      SyncFolder(to);
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

bool HostFileSystem::RenameOwnFile(const std::string& from, const std::string& to) {
  FilePlace source = OwnPlace(Resolve(from));
  FilePlace target = OwnPlace(Resolve(to));
  struct stat st {};
  if (!StatAt(source, st)) {
    if (errno == ENOENT) return false;
    throw ErrnoFailure(errno, kPathFileAccessError);
  }
  if (!S_ISREG(st.st_mode)) {
    // Not the program's file, whoever put it there: gone rather than carried along.
    if (::unlinkat(source.folder.get(), source.name.c_str(), 0) != 0) {
      throw ErrnoFailure(errno, kPathFileAccessError);
    }
    return false;
  }
  if (::renameat(source.folder.get(), source.name.c_str(), target.folder.get(),
                 target.name.c_str()) != 0) {
    throw ErrnoFailure(errno, kPermissionDenied);
  }
  SyncFolder(target);
  return true;
}

bool HostFileSystem::KeepIdentity(TemporaryFile& temporary, const FilePlace& target) {
  auto& file = static_cast<HostTemporaryFile&>(temporary);
  struct stat st {};
  if (!StatAt(target, st) || !S_ISREG(st.st_mode)) {
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

bool HostFileSystem::Rename(TemporaryFile& temporary, const FilePlace& target, bool durable) {
  auto& file = static_cast<HostTemporaryFile&>(temporary);
  if (::fsync(file.fd()) != 0) throw ErrnoFailure(errno, kDeviceIoError);
  if (::renameat(file.folder(), file.name().c_str(), target.folder.get(), target.name.c_str()) !=
      0) {
    throw ErrnoFailure(errno, kPermissionDenied);
  }
  file.Renamed();
  return !durable || SyncFolder(target);
}

std::unique_ptr<FileLock> HostFileSystem::WaitForLock(const std::string& path, int timeoutMs,
                                                      const std::function<void()>& betweenTries) {
  PrepareDriveFolder(path);
  FilePlace place = OwnPlace(Resolve(path));
  const char* name = place.name.c_str();
  constexpr int kOpen = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int flags = O_RDWR | O_CREAT;
  int fd = ::openat(place.folder.get(), name, flags | kOpen, 0666);
  // A lock file that another user made can still be locked through a read-only handle.
  if (fd < 0 && (errno == EACCES || errno == EROFS)) {
    flags = O_RDONLY;
    fd = ::openat(place.folder.get(), name, flags | kOpen);
  }
  if (fd < 0) {
    throw errno == ELOOP ? RuntimeFailure(kPermissionDenied)
                         : ErrnoFailure(errno, kPathFileAccessError);
  }
  auto lock = std::make_unique<HostFileLock>(fd);
  CheckOpened(fd, flags);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) throw ErrnoFailure(errno, kPathFileAccessError);
    if (std::chrono::steady_clock::now() >= deadline) return nullptr;
    if (betweenTries) betweenTries();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return lock;
}

std::optional<FileTimes> HostFileSystem::GetTimes(const std::string& path) const {
  FileDescriptor fd(-1);
  try {
    fd = FileDescriptor(OpenRegular(Resolve(path), O_WRONLY));
  } catch (const Failure&) {
    return std::nullopt;
  }
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
  FileDescriptor fd(-1);
  try {
    fd = FileDescriptor(OpenRegular(Resolve(path), O_WRONLY));
  } catch (const Failure&) {
    return false;
  }
  struct timespec spec[2];
  spec[0].tv_sec = 0;
  spec[0].tv_nsec = UTIME_OMIT;
  spec[1].tv_sec = times.lastWrite / 1000000000LL;
  spec[1].tv_nsec = times.lastWrite % 1000000000LL;
  return ::futimens(fd.get(), spec) == 0;
}

}  // namespace horavex
