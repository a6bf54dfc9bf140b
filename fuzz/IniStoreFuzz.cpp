// Writes the input as an ini file, reads a grid of entries, writes one entry and checks that the
// file still reads as before except for that entry, and that the bytes outside the changed line
// stayed as they were. Every write goes through a real file: run it with TMPDIR on a tmpfs
// (TMPDIR=/dev/shm), since each write syncs the file.
//
// The first input byte chooses the entry, its spelling and the value; the rest is the file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/IniStore.h"
#include "platform/Text.h"

namespace {

namespace fs = std::filesystem;

// Names that differ from each other even without regard to case and blanks.
const std::vector<std::string> kSections = {"S", "", "Größe"};
const std::vector<std::string> kEntries = {"k", "", "ä"};
// Other spellings of the same names, as a caller might pass them.
const std::vector<std::string> kSectionSpellings = {" s ", "\t", "GRÖßE"};
const std::vector<std::string> kEntrySpellings = {"K", " ", "Ä "};
// Values without blanks at the ends, quotes or line breaks: they read back as written
// (converted to Windows-1252, so "Ω" reads as "?", except in a UTF-16LE file).
const std::vector<std::string> kValues = {"1", "-5", "", "äöü€", "Ω", "0x10", "long value", "z"};
const std::string kSentinel = "\x01missing";
constexpr size_t kHuge = size_t(1) << 30;

// The temporary folder, removed at exit; kept alive on purpose until the exit handler ran.
const std::string& Folder() {
  static const std::string* folder = [] {
    std::string pattern = (fs::temp_directory_path() / "horavex-inifuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return new std::string(pattern);
  }();
  static const bool removeAtExit = std::atexit([] {
                                     std::error_code ec;
                                     fs::remove_all(*folder, ec);
                                   }) == 0;
  (void)removeAtExit;
  return *folder;
}

void Put(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) std::abort();
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "IniStoreFuzz: %s\n", what);
    std::abort();
  }
}

size_t Breaks(const std::string& s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\n' || (s[i] == '\r' && (i + 1 == s.size() || s[i + 1] != '\n'))) ++n;
  }
  return n;
}

// Every string and integer read of the grid.
std::vector<std::string> ReadGrid(const horavex::IniStore& ini, const std::string& path) {
  std::vector<std::string> reads;
  for (const std::string& section : kSections) {
    for (const std::string& entry : kEntries) {
      reads.push_back(ini.GetString(section, entry, kSentinel, kHuge, path));
      reads.push_back(std::to_string(ini.GetInt(section, entry, -7, path)));
    }
  }
  return reads;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static horavex::HostFileSystem files;
  static horavex::ProfileIniStore ini(files);
  if (size == 0) return 0;
  const uint8_t choice = data[0];
  const std::string content(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string path = Folder() + "/fuzz.ini";
  Put(path, content);

  const size_t section = choice % 3;
  const size_t entry = choice / 3 % 3;
  const bool otherSpelling = choice / 9 % 2 != 0;
  const std::string& value = kValues[choice / 18 % kValues.size()];
  const std::string& sectionName = otherSpelling ? kSectionSpellings[section] : kSections[section];
  const std::string& entryName = otherSpelling ? kEntrySpellings[entry] : kEntries[entry];
  const size_t written = (section * kEntries.size() + entry) * 2;

  std::vector<std::string> before = ReadGrid(ini, path);
  Check(ini.WriteString(sectionName, entryName, value, path), "write failed");
  const std::string after = Bytes(path);

  // The file still parses: the entry reads back, everything else reads as before.
  const bool unicode = content.compare(0, 2, "\xFF\xFE") == 0;
  const std::string expected =
      unicode ? value : horavex::text::Cp1252ToUtf8(horavex::text::Utf8ToCp1252(value));
  std::vector<std::string> reads = ReadGrid(ini, path);
  Check(reads[written] == expected, "written value does not read back");
  for (size_t i = 0; i < reads.size(); ++i) {
    if (i / 2 != written / 2) Check(reads[i] == before[i], "another entry changed");
  }

  // At most one stretch of the text changed, and the old text it replaced lies inside one line
  // (a UTF-16LE file compared as its characters).
  auto textOf = [&](const std::string& bytes) {
    return unicode ? horavex::text::Utf16LeToUtf8(bytes.substr(2)) : bytes;
  };
  const std::string oldText = textOf(content);
  const std::string newText = textOf(after);
  Check(!unicode || after.compare(0, 2, "\xFF\xFE") == 0, "UTF-16LE file lost its mark");
  size_t prefix = 0;
  while (prefix < oldText.size() && prefix < newText.size() && oldText[prefix] == newText[prefix]) {
    ++prefix;
  }
  size_t suffix = 0;
  while (suffix < oldText.size() - prefix && suffix < newText.size() - prefix &&
         oldText[oldText.size() - 1 - suffix] == newText[newText.size() - 1 - suffix]) {
    ++suffix;
  }
  const std::string removed = oldText.substr(prefix, oldText.size() - prefix - suffix);
  Check(removed.find_first_of("\r\n") == std::string::npos, "bytes outside the line changed");
  // Replacing a value that was there adds no line.
  if (before[written] != kSentinel) Check(Breaks(newText) == Breaks(oldText), "lines added");

  // Writing the same again changes nothing.
  Check(ini.WriteString(sectionName, entryName, value, path), "second write failed");
  Check(Bytes(path) == after, "second write changed the file");
  return 0;
}
