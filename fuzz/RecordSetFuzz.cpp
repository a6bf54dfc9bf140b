// Drives the random walk of tests/dao (moves, edits, additions, bookmarks and other statements
// over a table record set and a keyed query) by the input bytes, one byte a choice, and stops at
// the first record that shows other values than SQLite holds for it. Run it with TMPDIR on a
// tmpfs (TMPDIR=/dev/shm): each input makes a database file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "dao/RecordSetWalk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path =
      (std::filesystem::temp_directory_path() / ("horavex-walk-" + std::to_string(::getpid())))
          .string();
  std::filesystem::remove(path);
  size_t at = 0;
  std::string found = horavex::dao::walk::Walk(
      path, size, [&](uint32_t bound) { return at < size ? uint32_t(data[at++]) % bound : 0; });
  std::filesystem::remove(path);
  if (!found.empty()) {
    std::fprintf(stderr, "%s\n", found.c_str());
    std::abort();
  }
  return 0;
}
