#include "dao/DatabaseKind.h"

#include <cstring>
#include "platform/FileSystem.h"

namespace horavex::dao {

DatabaseKind KindOfHeader(std::string_view bytes) {
  if (bytes.empty()) return DatabaseKind::kNone;
  if (bytes.substr(0, 16) == std::string_view("SQLite format 3\0", 16))
    return DatabaseKind::kSQLite;
  // A Jet file starts with its first page's type and the engine's name; byte 0x14 is the
  // format version.
  constexpr std::string_view kJet("\x00\x01\x00\x00Standard Jet DB\x00", 20);
  if (bytes.size() > 0x14 && bytes.substr(0, kJet.size()) == kJet) {
    if (bytes[0x14] == 0) return DatabaseKind::kJet3;
    if (bytes[0x14] == 1) return DatabaseKind::kJet4;
  }
  return DatabaseKind::kOther;
}

DatabaseKind KindOfDatabaseFile(const std::string& path) {
  std::optional<std::string> head = ReadFileHead(path, 32);
  return head ? KindOfHeader(*head) : DatabaseKind::kNone;
}

std::string DescribeKind(DatabaseKind kind) {
  switch (kind) {
    case DatabaseKind::kNone:
      return "an empty or unreadable file";
    case DatabaseKind::kSQLite:
      return "a SQLite database";
    case DatabaseKind::kJet3:
      return "an Access database (Jet 3, Access 97)";
    case DatabaseKind::kJet4:
      return "an Access database (Jet 4, Access 2000 to 2003)";
    case DatabaseKind::kOther:
      break;
  }
  return "not a database this program knows";
}

}  // namespace horavex::dao
