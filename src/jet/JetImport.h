#pragma once

#include <string>
#include <vector>

#include "dao/Database.h"

// Access (Jet) databases brought into this program's SQLite format. Installations made by the
// Windows program hold Jet files; nothing here writes Jet.
namespace horavex::jet {

// Failures of an import carry this source; their description names the file and, where it
// applies, the table and column.
inline constexpr const char* kImportSource = "Horavex_ImportJet";

struct JetColumn {
  std::string name;
  dao::DataType type = dao::kText;
  int32_t size = 0;  // characters for dbText
};

// A table as read: its columns in order and its rows in stored order, one value per column
// (Null kept apart from empty text).
struct JetTable {
  std::string name;
  std::vector<JetColumn> columns;
  std::vector<std::vector<dao::Variant>> rows;
  // Columns of a type this format cannot hold, left out: one sentence each, naming the table,
  // the column and its type.
  std::vector<std::string> leftOut;
};

// Writes the tables into target, an existing empty file, as a new database of this program's
// format: each column with the declared type of its field type and size, the rows in order.
void WriteTables(const std::vector<JetTable>& tables, const std::string& target);

// The import of a whole Jet database: the seam through which the update run takes over an
// earlier database that is still an Access file.
class JetImport {
 public:
  virtual ~JetImport() = default;
  // Copies every user table of the Jet database at source (a host path) into target (an
  // existing empty file) as WriteTables does; returns the sentences on the columns left out.
  // Throws a Failure that says what could not be read.
  virtual std::vector<std::string> Import(const std::string& source, const std::string& target) = 0;
};

}  // namespace horavex::jet
