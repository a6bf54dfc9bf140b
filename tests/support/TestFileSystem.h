#pragma once

#include <filesystem>
#include <string>

#include "platform/FileSystem.h"

namespace horavex::testing {

// Sets (or replaces) a variable of the test process's environment.
void SetEnvironment(const std::string& name, const std::string& value);

// A new, empty folder of the test's own under the temporary folder.
std::filesystem::path MakeTemporaryFolder(const std::string& prefix);

#ifdef _WIN32
// The host's file system with drive C in $CFG_DRIVE_C, as the POSIX build maps it, so that a
// test's drive C is a folder of its own temporary installation.
class TestFileSystem : public HostFileSystem {
 public:
  std::string Resolve(const std::string& path) const override;
};
#else
using TestFileSystem = HostFileSystem;
#endif

}  // namespace horavex::testing
