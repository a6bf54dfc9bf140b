#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace horavex {

// Creation, last-access and last-write times in nanoseconds since the epoch; 0 = not known.
struct FileTimes {
  int64_t creation = 0;
  int64_t lastAccess = 0;
  int64_t lastWrite = 0;
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
  // The whole content, or nothing when the file cannot be read.
  virtual std::optional<std::string> ReadAll(const std::string& path) const = 0;
  // Replaces the whole content through a temporary file beside it and a rename; false when
  // the folder is missing or the file or folder cannot be written (nothing changes then).
  virtual bool ReplaceAll(const std::string& path, const std::string& bytes) = 0;
  // Appends bytes, creating the file; throws a Failure when it cannot be opened or written.
  virtual void Append(const std::string& path, const std::string& bytes) = 0;
  // Copies a whole file over another through a temporary file in the target's folder, so the
  // target is always the old or the new file; throws a Failure on any error.
  virtual void CopyFile(const std::string& from, const std::string& to) = 0;
  // The file's times, or nothing when it cannot be opened for writing.
  virtual std::optional<FileTimes> GetTimes(const std::string& path) const = 0;
  // Sets the last-write time back (creation time where the host allows); false on failure.
  virtual bool SetTimes(const std::string& path, const FileTimes& times) = 0;
};

// The host's file system.
class HostFileSystem : public FileSystem {
 public:
  std::string Resolve(const std::string& path) const override;
  bool IsPlainFile(const std::string& path) const override;
  std::optional<std::string> ReadAll(const std::string& path) const override;
  bool ReplaceAll(const std::string& path, const std::string& bytes) override;
  void Append(const std::string& path, const std::string& bytes) override;
  void CopyFile(const std::string& from, const std::string& to) override;
  std::optional<FileTimes> GetTimes(const std::string& path) const override;
  bool SetTimes(const std::string& path, const FileTimes& times) override;

 protected:
  // Writes one chunk of a copy; a test double overrides it to fail halfway.
  virtual bool WriteChunk(int fd, const char* data, size_t size);
};

// The host folder that a drive letter maps to: $CFG_DRIVE_<letter>, else a per-user folder.
std::string DriveFolder(char letter);

}  // namespace horavex
