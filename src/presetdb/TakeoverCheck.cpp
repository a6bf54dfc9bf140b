#include <array>
#include <string>
#include <vector>

#include "platform/Failure.h"
#include "platform/Text.h"
#include "presetdb/Objects.h"
#include "presetdb/UpdateRun.h"

namespace horavex {
namespace {

constexpr std::array<const char*, 5> kLimitFields = {"abs_min", "abs_max", "min", "max", "pass"};
// Every field the takeover selects from the new table: one it lacks makes the selection fail.
constexpr std::array<const char*, 14> kSelectedFields = {
    "ID",   "machine_type", "type",    "var_name", "category_id", "isBitArray", "offset_or_bitno",
    "text", "page_name",    "abs_min", "abs_max",  "min",         "max",        "pass"};

std::optional<dao::Field> FieldOf(const dao::TableDef& table, const char* name) {
  return table.Fields().Find(name);
}

std::string Column(const char* alias, const char* name) {
  return std::string(alias) + ".\"" + name + "\"";
}

}  // namespace

// The check reads both tables anew, through a connection of its own, and matches the records
// by SQL alone: it shares neither the takeover's index nor its record sets, so a record the
// takeover missed or wrote wrongly shows here.
void UpdateRun::CheckTakeover(dao::Database& work) {
  std::string earlierPath = TakeoverPath();
  if (earlierPath.empty()) return;
  dao::TableDef created = work.TableDefs()["PRESET_DEFS"];
  std::optional<dao::TableDef> earlierTable;
  {
    dao::Database earlier = dao::Database::Open(earlierPath, databaseOptions);
    for (const dao::TableDef& table : earlier.TableDefs()) {
      if (table.Name() == "PRESET_DEFS") earlierTable = table;
    }
    earlier.Close();
  }
  if (!earlierTable) return;

  const std::string noCase = std::string(" COLLATE ") + dao::kNoCaseCollation;
  for (const char* name : {"machine_type", "var_name", "offset_or_bitno"}) {
    if (!FieldOf(created, name) || !FieldOf(*earlierTable, name)) return;  // nothing can match
  }
  std::string limits, same;
  std::vector<std::string> compared;
  for (const char* name : kLimitFields) {
    std::optional<dao::Field> field = FieldOf(created, name);
    if (!field || !FieldOf(*earlierTable, name)) continue;
    limits += std::string(", \"") + name + "\"";
    same += " AND " + Column("n", name) + " IS " + dao::kAsFieldFunction + "(" + Column("o", name) +
            ", '" + dao::DeclaredType(field->Type(), field->Size()) + "')";
    compared.push_back(name);
  }
  if (compared.empty()) return;

  dao::Database check = dao::Database::Open(work.Name(), databaseOptions);
  check.Execute("ATTACH DATABASE ?1 AS earlier", {dao::Variant(earlierPath)});
  // The key as the takeover compares it: text without regard to case, the offset by value. Only
  // the first new record of a key (k = 1) takes values over; later ones keep the template's.
  dao::Recordset failed = check.OpenRecordset(
      "WITH n AS (SELECT rowid AS r, \"machine_type\", \"var_name\", \"offset_or_bitno\"" + limits +
      ", row_number() OVER (PARTITION BY \"machine_type\"" + noCase + ", \"var_name\"" + noCase +
      ", \"offset_or_bitno\" ORDER BY rowid) AS k FROM main.\"PRESET_DEFS\")"
      " SELECT n.\"var_name\", n.\"offset_or_bitno\", max(1" +
      same +
      ") AS held FROM n JOIN earlier.\"PRESET_DEFS\" AS o ON o.\"machine_type\" = "
      "n.\"machine_type\"" +
      noCase + " AND o.\"var_name\" = n.\"var_name\"" + noCase +
      " AND o.\"offset_or_bitno\" = n.\"offset_or_bitno\" WHERE n.k = 1 GROUP BY n.r"
      " HAVING held = 0 ORDER BY n.r");
  int64_t count = 0;
  std::string example;
  for (; !failed.Eof(); failed.MoveNext(), ++count) {
    if (count == 0) {
      example = failed.Fields()[0].Value().ToText() + " (offset_or_bitno " +
                failed.Fields()[1].Value().ToText() + ")";
    }
  }
  failed.Close();
  check.Close();
  if (count == 0) return;

  std::string why = text::Decimal(count) + " new records do not hold the limits (";
  for (size_t i = 0; i < compared.size(); ++i) why += (i ? ", " : "") + compared[i];
  why += ") of the earlier records with their key, the first " + example + ".";
  for (const char* name : kSelectedFields) {
    if (!FieldOf(created, name)) {
      why += std::string(" The template's Source_PRESET_DEFS has no field ") + name +
             ", which the takeover needs.";
      break;
    }
  }
  throw Failure(kDatabaseErrorNumber, module_.services().process.ProgramFileName(), why);
}

}  // namespace horavex
