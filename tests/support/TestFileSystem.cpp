#include "support/TestFileSystem.h"

#include <stdlib.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <random>
#include <stdexcept>

#include "platform/Text.h"

namespace horavex::testing {

void SetEnvironment(const std::string& name, const std::string& value) {
#ifdef _WIN32
  ::_putenv_s(name.c_str(), value.c_str());
#else
  ::setenv(name.c_str(), value.c_str(), 1);
#endif
}

std::filesystem::path MakeTemporaryFolder(const std::string& prefix) {
#ifdef _WIN32
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / (prefix + std::to_string(random()));
    if (std::filesystem::create_directory(folder)) return folder;
  }
  throw std::runtime_error("no temporary folder");
#else
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
  char* made = ::mkdtemp(pattern.data());
  if (made == nullptr) throw std::runtime_error("mkdtemp failed");
  return made;
#endif
}

#ifdef _WIN32
std::string TestFileSystem::Resolve(const std::string& path) const {
  // The temporary installations themselves may lie on drive C.
  static const std::string temporary = std::filesystem::temp_directory_path().string();
  const char* driveC = std::getenv("CFG_DRIVE_C");
  bool onC = path.size() >= 2 && (path[0] == 'C' || path[0] == 'c') && path[1] == ':' &&
             !text::EqualsNoCase(path.substr(0, temporary.size()), temporary);
  if (!onC || driveC == nullptr || *driveC == '\0') return HostFileSystem::Resolve(path);
  return HostFileSystem::Resolve(std::string(driveC) + "\\" + path.substr(2));
}
#endif

}  // namespace horavex::testing
