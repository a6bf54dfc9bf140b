#include <windows.h>

#include <cctype>
#include <chrono>
#include <cstring>
#include <optional>
#include <random>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/win32/Wide.h"

// Windows' own file system: names are matched without regard to case and drive letters are
// real, so a program path needs no resolution beyond its separators.
namespace horavex {
namespace {

using win32::FromWide;
using win32::ToWide;

class Handle {
 public:
  explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~Handle() {
    if (valid()) ::CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }

 private:
  HANDLE handle_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE Open(const std::wstring& path, DWORD access, DWORD disposition, DWORD flags = 0) {
  return ::CreateFileW(path.c_str(), access, kShareAll, nullptr, disposition,
                       flags | FILE_ATTRIBUTE_NORMAL, nullptr);
}

Failure ErrorFailure(DWORD error, int32_t fallback) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      return RuntimeFailure(kPathNotFound);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return RuntimeFailure(kPermissionDenied);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return RuntimeFailure(kDiskFull);
    case ERROR_INVALID_NAME:
      return RuntimeFailure(kBadFileName);
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
      return RuntimeFailure(kDeviceIoError);
    default:
      return RuntimeFailure(fallback);
  }
}

bool WriteAllTo(HANDLE file, const char* data, size_t size) {
  while (size > 0) {
    DWORD chunk = size > (1u << 30) ? (1u << 30) : DWORD(size);
    DWORD written = 0;
    if (!::WriteFile(file, data, chunk, &written, nullptr)) return false;
    data += written;
    size -= written;
  }
  return true;
}

// FILETIME counts 100 ns steps from 1601; the program counts nanoseconds from 1970.
constexpr int64_t kEpochDifference = 116444736000000000LL;

int64_t ToNanoseconds(const FILETIME& time) {
  int64_t ticks = int64_t(uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime);
  return ticks == 0 ? 0 : (ticks - kEpochDifference) * 100;
}

FILETIME ToFileTime(int64_t nanoseconds) {
  uint64_t ticks = uint64_t(nanoseconds / 100 + kEpochDifference);
  return FILETIME{DWORD(ticks & 0xFFFFFFFFu), DWORD(ticks >> 32)};
}

// Temporary files are named ".<target name>.tmp-XXXXXX", hidden, and their writer holds a lock
// on them for as long as they exist, so one that can be locked was left by a program that ended.
// The lock lies far beyond any content: Windows locks bar other handles from the bytes they
// cover, and SQLite reads and writes the files through handles of its own.
constexpr const wchar_t* kTemporaryInfix = L".tmp-";
constexpr const wchar_t* kJournalSuffix = L"-journal";
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

bool TryLock(HANDLE file) {
  OVERLAPPED at{};
  at.OffsetHigh = kLockOffsetHigh;
  return ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at);
}

size_t NameStart(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  if (slash != std::wstring::npos) return slash + 1;
  return path.size() >= 2 && path[1] == L':' ? 2 : 0;
}

std::wstring FolderOf(const std::wstring& path) {
  return path.substr(0, NameStart(path));
}

std::wstring TemporaryPrefix(const std::wstring& target) {
  return FolderOf(target) + L"." + target.substr(NameStart(target)) + kTemporaryInfix;
}

std::wstring RandomSuffix() {
  static const wchar_t kLetters[] =
      L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::mt19937 random{std::random_device{}()};
  std::wstring suffix;
  for (int i = 0; i < 6; ++i) suffix.push_back(kLetters[random() % (std::size(kLetters) - 1)]);
  return suffix;
}

class HostTemporaryFile : public TemporaryFile {
 public:
  HostTemporaryFile(HANDLE handle, std::wstring path)
      : handle_(handle), widePath_(std::move(path)), path_(FromWide(widePath_)) {}
  ~HostTemporaryFile() override {
    if (renamed_) return;
    ::DeleteFileW(widePath_.c_str());
    ::DeleteFileW((widePath_ + kJournalSuffix).c_str());
    Close();
  }
  const std::string& path() const override { return path_; }
  const std::wstring& widePath() const { return widePath_; }
  HANDLE handle() const { return handle_; }
  void Close() {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  // The file has taken its target's place: nothing is left to remove.
  void Renamed() { renamed_ = true; }

 private:
  HANDLE handle_;
  bool renamed_ = false;
  std::wstring widePath_;
  std::string path_;
};

class HostFileLock : public FileLock {
 public:
  explicit HostFileLock(HANDLE handle) : handle_(handle) {}
  ~HostFileLock() override { ::CloseHandle(handle_); }

 private:
  HANDLE handle_;
};

// Removes the temporary files of target that no living writer holds, with their journals.
void RemoveLeftovers(const std::wstring& target) {
  const std::wstring prefix = TemporaryPrefix(target);
  const std::wstring folder = FolderOf(target);
  const size_t nameLength = prefix.size() - folder.size() + 6;
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW((prefix + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  std::vector<std::wstring> journals;
  do {
    std::wstring name = found.cFileName;
    std::wstring path = folder + name;
    if (name.size() == nameLength + std::wcslen(kJournalSuffix) &&
        name.compare(nameLength, std::wstring::npos, kJournalSuffix) == 0) {
      journals.push_back(path);
      continue;
    }
    if (name.size() != nameLength) continue;
    Handle file(Open(path, GENERIC_READ, OPEN_EXISTING));
    if (!file.valid() || !TryLock(file.get())) continue;
    ::DeleteFileW((path + kJournalSuffix).c_str());
    ::DeleteFileW(path.c_str());
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  // A journal outlives its database only when a removal above was cut short.
  for (const std::wstring& journal : journals) {
    std::wstring database = journal.substr(0, journal.size() - std::wcslen(kJournalSuffix));
    if (::GetFileAttributesW(database.c_str()) == INVALID_FILE_ATTRIBUTES) {
      ::DeleteFileW(journal.c_str());
    }
  }
}

// A new hidden temporary file beside target, locked by this process. Its handle asks for no
// right to delete it: SQLite opens the file without sharing that right.
std::unique_ptr<HostTemporaryFile> MakeTemporary(const std::wstring& target) {
  const std::wstring prefix = TemporaryPrefix(target);
  for (int attempt = 0; attempt < 10; ++attempt) {
    std::wstring path = prefix + RandomSuffix();
    Handle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!file.valid()) {
      if (::GetLastError() == ERROR_FILE_EXISTS) continue;
      throw ErrorFailure(::GetLastError(), kPathFileAccessError);
    }
    if (!TryLock(file.get())) continue;
    // Another program may have taken the file for a leftover before it was locked.
    FILE_STANDARD_INFO standard{};
    if (::GetFileInformationByHandleEx(file.get(), FileStandardInfo, &standard, sizeof standard) &&
        !standard.DeletePending) {
      return std::make_unique<HostTemporaryFile>(file.release(), path);
    }
  }
  throw RuntimeFailure(kPathFileAccessError);
}

struct FileInfo {
  DWORD attributes = 0;
  DWORD links = 0;
};

std::optional<FileInfo> Information(const std::wstring& path) {
  Handle file(Open(path, 0, OPEN_EXISTING));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file.valid() || !::GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
  return FileInfo{info.dwFileAttributes, info.nNumberOfLinks};
}

// Writes the whole content into the file itself, as the profile API does: for a file whose
// identity a new file would not keep. Not atomic: a crash can leave it half written.
bool WriteInPlace(const std::wstring& target, const std::string& bytes) {
  Handle file(Open(target, GENERIC_WRITE, OPEN_EXISTING));
  return file.valid() && WriteAllTo(file.get(), bytes.data(), bytes.size()) &&
         ::SetEndOfFile(file.get()) && ::FlushFileBuffers(file.get());
}

// The temporary file flushed and put in target's place. An existing target is replaced by
// ReplaceFileW, which keeps its attributes, creation time and security; a new one is moved in.
// ReplaceFileW shares the file with no writer, so the writer's handle (and its lock) ends first:
// should another program take the file for a leftover in that moment, the replace fails and
// the target stays as it was.
bool PutInPlace(HostTemporaryFile& file, const std::wstring& target) {
  if (!::FlushFileBuffers(file.handle())) return false;
  file.Close();
  // The file takes the target's attributes: it was made hidden, and where ReplaceFileW does not
  // carry the attributes over (Wine), the new file would stay so.
  DWORD attributes = ::GetFileAttributesW(target.c_str());
  ::SetFileAttributesW(file.widePath().c_str(),
                       attributes == INVALID_FILE_ATTRIBUTES ? FILE_ATTRIBUTE_NORMAL : attributes);
  bool done = false;
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    done = ::ReplaceFileW(target.c_str(), file.widePath().c_str(), nullptr,
                          REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
  } else {
    done = ::MoveFileExW(file.widePath().c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  }
  if (done) file.Renamed();
  return done;
}

bool IsReadOnly(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

}  // namespace

std::optional<std::pair<uint64_t, uint64_t>> HostFileIdentity(const std::string& hostPath) {
  Handle file(Open(ToWide(hostPath), 0, OPEN_EXISTING));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file.valid() || !::GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
  return std::pair{uint64_t(info.dwVolumeSerialNumber),
                   uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

bool RemoveHostFile(const std::string& hostPath) {
  return ::DeleteFileW(ToWide(hostPath).c_str());
}

HostFileStatus HostFileStatusOf(const std::string& hostPath, bool followLinks) {
  std::wstring path = ToWide(hostPath);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return {};
  DWORD attributes = data.dwFileAttributes;
  uint64_t size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    if (!followLinks) return {HostFileStatus::Kind::kOther, 0};
    // The attributes are the link's own: what it leads to is read through a handle.
    Handle file(Open(path, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.valid() || !::GetFileInformationByHandle(file.get(), &info)) return {};
    attributes = info.dwFileAttributes;
    size = uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return {HostFileStatus::Kind::kFolder, 0};
  return {HostFileStatus::Kind::kFile, size};
}

bool HostFolderExists(const std::string& hostPath) {
  // The folder with its trailing separator, or a drive ("C:" is that drive's current folder).
  std::wstring folder = FolderOf(ToWide(hostPath));
  if (folder.empty()) return true;
  DWORD attributes = ::GetFileAttributesW(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

HostFileWriter::HostFileWriter(const std::string& hostPath)
    : handle_(intptr_t(Open(ToWide(hostPath), GENERIC_WRITE, TRUNCATE_EXISTING))) {}

HostFileWriter::~HostFileWriter() {
  if (IsOpen()) ::CloseHandle(HANDLE(handle_));
}

bool HostFileWriter::IsOpen() const {
  return HANDLE(handle_) != INVALID_HANDLE_VALUE;
}

bool HostFileWriter::Write(const char* data, size_t size) {
  if (WriteAllTo(HANDLE(handle_), data, size)) return true;
  DWORD error = ::GetLastError();
  diskFull_ = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
  return false;
}

// Windows has no symbolic links that a plant's other account could plant for this program to
// follow unawares (making one takes a privilege), so links are not checked here.
void CheckLinksTrusted(const std::string&) {}

std::optional<std::string> ReadFileHead(const std::string& hostPath, size_t size) {
  Handle file(Open(ToWide(hostPath), GENERIC_READ, OPEN_EXISTING));
  if (!file.valid() || ::GetFileType(file.get()) != FILE_TYPE_DISK) return std::nullopt;
  std::string head(size, '\0');
  DWORD n = 0;
  if (!::ReadFile(file.get(), head.data(), DWORD(size), &n, nullptr)) return std::nullopt;
  head.resize(n);
  return head;
}

std::string DriveFolder(char letter) {
  return std::string(1, char(std::toupper(static_cast<unsigned char>(letter)))) + ":";
}

std::string HostFileSystem::Resolve(const std::string& path) const {
  std::string resolved = path;
  for (char& c : resolved) {
    if (c == '/') c = '\\';
  }
  return resolved;
}

bool HostFileSystem::IsPlainFile(const std::string& path) const {
  if (path.empty()) return false;
  DWORD attributes = ::GetFileAttributesW(ToWide(Resolve(path)).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes &
          (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

std::optional<std::string> HostFileSystem::ReadAll(const std::string& path) const {
  if (path.empty()) return std::nullopt;
  std::wstring wide = ToWide(Resolve(path));
  Handle file(Open(wide, GENERIC_READ, OPEN_EXISTING));
  if (!file.valid()) {
    DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
    throw ErrorFailure(error, kPathFileAccessError);
  }
  // Only a missing file reads as nothing; a folder or another device is no file to read.
  if (::GetFileType(file.get()) != FILE_TYPE_DISK ||
      (::GetFileAttributesW(wide.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw RuntimeFailure(kPathFileAccessError);
  }
  std::string content;
  char buffer[65536];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr)) {
      throw ErrorFailure(::GetLastError(), kPathFileAccessError);
    }
    if (n == 0) break;
    content.append(buffer, n);
  }
  return content;
}

std::optional<FileStamp> HostFileSystem::Stamp(const std::string& path) const {
  if (path.empty()) return std::nullopt;
  Handle file(Open(ToWide(Resolve(path)), 0, OPEN_EXISTING));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file.valid() || !::GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  return FileStamp{info.dwVolumeSerialNumber,
                   uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow,
                   int64_t(uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow),
                   ToNanoseconds(info.ftLastWriteTime)};
}

bool HostFileSystem::ReplaceAll(const std::string& path, const std::string& bytes) {
  if (path.empty()) return false;
  std::wstring target = ToWide(Resolve(path));
  if (std::optional<FileInfo> info = Information(target)) {
    if ((info->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || IsReadOnly(info->attributes)) {
      return false;
    }
    Handle writable(Open(target, GENERIC_WRITE, OPEN_EXISTING));
    if (!writable.valid()) return false;
    // A second name of the file would not see a new file.
    if (info->links > 1) return WriteInPlace(target, bytes);
  } else if (::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
    return false;  // there, but not a file that can be opened
  }
  try {
    cleaned_.insert(FromWide(target));
    RemoveLeftovers(target);
    std::unique_ptr<HostTemporaryFile> file = MakeTemporary(target);
    if (!WriteAllTo(file->handle(), bytes.data(), bytes.size())) return false;
    return PutInPlace(*file, target);
  } catch (const Failure&) {
    return false;
  }
}

void HostFileSystem::Append(const std::string& path, const std::string& bytes) {
  if (path.empty()) throw RuntimeFailure(kBadFileName);
  std::wstring target = ToWide(Resolve(path));
  DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && IsReadOnly(attributes)) {
    throw RuntimeFailure(kPermissionDenied);
  }
  Handle file(::CreateFileW(target.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) throw ErrorFailure(::GetLastError(), kPathFileAccessError);
  if (!WriteAllTo(file.get(), bytes.data(), bytes.size())) {
    throw ErrorFailure(::GetLastError(), kDeviceIoError);
  }
}

std::optional<FileTimes> HostFileSystem::GetTimes(const std::string& path) const {
  Handle file(Open(ToWide(Resolve(path)), GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING));
  FILETIME creation{}, access{}, write{};
  if (!file.valid() || !::GetFileTime(file.get(), &creation, &access, &write)) {
    return std::nullopt;
  }
  return FileTimes{ToNanoseconds(creation), ToNanoseconds(access), ToNanoseconds(write)};
}

bool HostFileSystem::SetTimes(const std::string& path, const FileTimes& times) {
  Handle file(Open(ToWide(Resolve(path)), FILE_WRITE_ATTRIBUTES, OPEN_EXISTING));
  if (!file.valid()) return false;
  FILETIME creation = ToFileTime(times.creation);
  FILETIME write = ToFileTime(times.lastWrite);
  return ::SetFileTime(file.get(), times.creation != 0 ? &creation : nullptr, nullptr, &write);
}

void HostFileSystem::RemoveLeftoversBeside(const std::string& path) {
  std::string target = Resolve(path);
  if (cleaned_.insert(target).second) RemoveLeftovers(ToWide(target));
}

std::unique_ptr<TemporaryFile> HostFileSystem::CreateTemporaryBeside(const std::string& target) {
  RemoveLeftoversBeside(target);
  return MakeTemporary(ToWide(Resolve(target)));
}

bool HostFileSystem::ReplaceWith(TemporaryFile& temporary, const std::string& target) {
  auto& file = static_cast<HostTemporaryFile&>(temporary);
  std::wstring real = ToWide(Resolve(target));
  DWORD attributes = ::GetFileAttributesW(real.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && IsReadOnly(attributes)) {
    throw RuntimeFailure(kPermissionDenied);
  }
  if (!PutInPlace(file, real)) throw ErrorFailure(::GetLastError(), kPermissionDenied);
  return true;  // the replace writes through
}

bool HostFileSystem::RenameOwnFile(const std::string& from, const std::string& to) {
  std::wstring source = ToWide(Resolve(from));
  DWORD attributes = ::GetFileAttributesW(source.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  if (!::MoveFileExW(source.c_str(), ToWide(Resolve(to)).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw ErrorFailure(::GetLastError(), kPermissionDenied);
  }
  return true;
}

bool HostFileSystem::LinkAs(const std::string& existing, const std::string& target) {
  std::wstring from = ToWide(Resolve(existing));
  std::wstring real = ToWide(Resolve(target));
  RemoveLeftoversBeside(target);
  // Under a temporary name of the leftover pattern, so that a link a killed program left is
  // removed like its other temporary files.
  for (int attempt = 0; attempt < 10; ++attempt) {
    std::wstring name = TemporaryPrefix(real) + RandomSuffix();
    if (::CreateHardLinkW(name.c_str(), from.c_str(), nullptr)) {
      if (!::MoveFileExW(name.c_str(), real.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DWORD error = ::GetLastError();
        ::DeleteFileW(name.c_str());
        throw ErrorFailure(error, kPermissionDenied);
      }
      return true;
    }
    DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) continue;
    if (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
        error == ERROR_NOT_SAME_DEVICE || error == ERROR_TOO_MANY_LINKS) {
      return false;
    }
    throw ErrorFailure(error, kPathFileAccessError);
  }
  throw RuntimeFailure(kPathFileAccessError);
}

std::unique_ptr<FileLock> HostFileSystem::WaitForLock(const std::string& path, int timeoutMs,
                                                      const std::function<void()>& betweenTries) {
  std::wstring resolved = ToWide(Resolve(path));
  HANDLE opened = Open(resolved, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
  // A lock file that another user made can still be locked through a read-only handle.
  if (opened == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
    opened = Open(resolved, GENERIC_READ, OPEN_EXISTING);
  }
  Handle file(opened);
  if (!file.valid()) throw ErrorFailure(::GetLastError(), kPathFileAccessError);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!TryLock(file.get())) {
    DWORD error = ::GetLastError();
    if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
      throw ErrorFailure(error, kPathFileAccessError);
    }
    if (std::chrono::steady_clock::now() >= deadline) return nullptr;
    if (betweenTries) betweenTries();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return std::make_unique<HostFileLock>(file.release());
}

}  // namespace horavex
