#pragma once

#include <string>
#include <string_view>

// Which kind of database a file holds, told by its first bytes. The component's files were
// Access (Jet) databases before this program made them SQLite files, so a file may be either.
namespace horavex::dao {

enum class DatabaseKind {
  kNone,    // missing, unreadable or empty
  kSQLite,  // SQLite 3
  kJet3,    // Access 97
  kJet4,    // Access 2000 to 2003
  kOther,   // anything else, a later Access format included
};

// The kind of a file that starts with these bytes (its first 32 bytes suffice).
DatabaseKind KindOfHeader(std::string_view firstBytes);
// The kind of the file at a host path.
DatabaseKind KindOfDatabaseFile(const std::string& path);

inline bool IsJet(DatabaseKind kind) {
  return kind == DatabaseKind::kJet3 || kind == DatabaseKind::kJet4;
}

// The kind as a sentence names it: "an Access database (Jet 4)", "an empty file", ...
std::string DescribeKind(DatabaseKind kind);

}  // namespace horavex::dao
