#include <algorithm>
#include <array>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Failure.h"
#include "platform/Text.h"
#include "presetdb/MatchKey.h"
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

// The match key of the record's three key columns from column first on; false when it has none.
bool CheckKey(std::string& key, dao::Recordset& records, size_t first) {
  return MatchKeyOf(key, records.Fields()[first].Value(), records.Fields()[first + 1].Value(),
                    records.Fields()[first + 2].Value());
}

// An earlier limit as the comparison needs it: a number by its value (16 bytes instead of a
// whole value's 40), anything else (Null, text) kept whole among the few others.
struct Limit {
  double number = 0;
  int64_t other = -1;  // its place among the others; -1 for a number
};

// Whether SQL's IS holds: numbers by value, anything else by kind and bytes.
bool SameValue(const dao::Variant& a, const Limit& b, const std::vector<dao::Variant>& others) {
  if (b.other < 0) return a.IsNumber() && a.ToDouble() == b.number;
  const dao::Variant& other = others[size_t(b.other)];
  if (a.IsNumber() && other.IsNumber()) return a.ToDouble() == other.ToDouble();
  return a == other;
}

}  // namespace

// The check reads both tables anew, through a connection of its own: it shares neither the
// takeover's index nor its record sets, so a record the takeover missed or wrote wrongly shows
// here. One pass over each table, matched by hashing.
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

  for (const char* name : {"machine_type", "var_name", "offset_or_bitno"}) {
    if (!FieldOf(created, name) || !FieldOf(*earlierTable, name)) return;  // nothing can match
  }
  std::string limits, converted;
  std::vector<std::string> compared;
  for (const char* name : kLimitFields) {
    std::optional<dao::Field> field = FieldOf(created, name);
    if (!field || !FieldOf(*earlierTable, name)) continue;
    limits += std::string(", \"") + name + "\"";
    // The earlier value as the new field holds it once written.
    converted += std::string(", ") + dao::kAsFieldFunction + "(\"" + name + "\", '" +
                 dao::DeclaredType(field->Type(), field->Size()) + "')";
    compared.push_back(name);
  }
  if (compared.empty()) return;

  // Keys as the takeover matches them (MatchKey: the rule of the ANSI_NOCASE collation). Only
  // the first new record of a key takes values over; later ones keep the template's.
  const std::string key = "\"machine_type\", \"var_name\", \"offset_or_bitno\"";
  dao::Database check = dao::Database::Open(work.Name(), databaseOptions);
  check.Execute("ATTACH DATABASE ?1 AS earlier", {dao::Variant(earlierPath)});
  // Each key with its last earlier record and whether a new record of the key came; each
  // earlier record with its limits and the key's record before it.
  struct Earlier {
    size_t last = SIZE_MAX;
    bool checked = false;
  };
  std::unordered_map<std::string, Earlier> earlierKeys;
  std::vector<Limit> earlierLimits;  // compared.size() per record
  std::vector<dao::Variant> others;
  std::vector<size_t> previousOfKey;
  std::string k;
  {
    // Sized once: grown step by step, the lists would be copied and their memory touched anew.
    size_t count = size_t(check.OpenRecordset("SELECT count(*) FROM earlier.\"PRESET_DEFS\"")
                              .Fields()[0]
                              .Value()
                              .ToInteger());
    earlierKeys.reserve(count);
    earlierLimits.reserve(count * compared.size());
    previousOfKey.reserve(count);
    dao::Recordset earlier = check.OpenRecordset(
        "SELECT " + key + converted + " FROM earlier.\"PRESET_DEFS\"", {}, dao::kOpenForwardOnly);
    for (; !earlier.Eof(); earlier.MoveNext()) {
      if (!CheckKey(k, earlier, 0)) continue;
      Earlier& keyed = earlierKeys[k];
      previousOfKey.push_back(keyed.last);
      keyed.last = previousOfKey.size() - 1;
      for (size_t i = 0; i < compared.size(); ++i) {
        const dao::Variant& value = earlier.Fields()[3 + i].Value();
        if (value.IsNumber()) {
          earlierLimits.push_back({value.ToDouble(), -1});
        } else {
          others.push_back(value);
          earlierLimits.push_back({0, int64_t(others.size()) - 1});
        }
      }
    }
  }
  dao::Recordset generated =
      check.OpenRecordset("SELECT " + key + limits + " FROM main.\"PRESET_DEFS\" ORDER BY rowid",
                          {}, dao::kOpenForwardOnly);
  int64_t count = 0;
  std::string example;
  for (; !generated.Eof(); generated.MoveNext()) {
    if (!CheckKey(k, generated, 0)) continue;
    auto found = earlierKeys.find(k);
    if (found == earlierKeys.end() || found->second.checked) continue;
    found->second.checked = true;
    bool held = false;
    for (size_t r = found->second.last; r != SIZE_MAX && !held; r = previousOfKey[r]) {
      held = true;
      for (size_t i = 0; i < compared.size() && held; ++i) {
        held = SameValue(generated.Fields()[3 + i].Value(), earlierLimits[r * compared.size() + i],
                         others);
      }
    }
    if (held) continue;
    if (count++ == 0) {
      example = generated.Fields()[1].Value().ToText() + " (offset_or_bitno " +
                generated.Fields()[2].Value().ToText() + ")";
    }
  }
  generated.Close();
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
