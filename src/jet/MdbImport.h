#pragma once

#include <string>
#include <vector>

#include "jet/JetImport.h"
#include "platform/FileSystem.h"

namespace horavex::jet {

// Reads every user table of the Jet database at path (a host path) through Debian's libmdb:
// values from the raw rows (numbers and dates as stored, not as the library would print them),
// memos whole. A column of a type this format cannot hold (OLE object, replication ID, decimal,
// binary) is left out and named in its table's leftOut.
// A damaged file fails, or may make the library loop: call it through MdbJetImport.
std::vector<JetTable> ReadJetTables(const std::string& path);

// The import through libmdb, run in a child process that is killed when it takes longer than
// the time limit.
class MdbJetImport : public JetImport {
 public:
  explicit MdbJetImport(int limitSeconds = 60) : limitSeconds_(limitSeconds) {}
  std::vector<std::string> Import(const std::string& source, const std::string& target) override;

 private:
  int limitSeconds_;
};

// What Horavex_ImportJet does: imports the Jet database at source into the new file target
// (a program path that must not exist yet), written to a temporary file beside it and renamed
// into place only after the whole source was read. Returns the columns left out.
std::vector<std::string> ImportJetFile(FileSystem& files, JetImport& import,
                                       const std::string& source, const std::string& target);

}  // namespace horavex::jet
