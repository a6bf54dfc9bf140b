#include "jet/JetImport.h"

namespace horavex::jet {

void WriteTables(const std::vector<JetTable>& tables, const std::string& target) {
  dao::Database database = dao::Database::CreateInto(target);
  database.BeginTrans();
  for (const JetTable& table : tables) {
    if (table.columns.empty()) continue;
    dao::TableDef definition = database.CreateTableDef(table.name);
    for (const JetColumn& column : table.columns) {
      definition.Fields().Append(definition.CreateField(column.name, column.type, column.size));
    }
    database.TableDefs().Append(definition);
    if (table.rows.empty()) continue;
    dao::Recordset records = database.OpenRecordset(table.name);
    for (const std::vector<dao::Variant>& row : table.rows) {
      records.AddNew();
      for (size_t i = 0; i < row.size() && i < table.columns.size(); ++i) {
        if (!row[i].IsNull()) records.Fields()[i].SetValue(row[i]);
      }
      records.Update();
    }
    records.Close();
  }
  database.CommitTrans();
  database.Close();
}

}  // namespace horavex::jet
