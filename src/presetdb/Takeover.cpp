#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "platform/Text.h"
#include "presetdb/MatchKey.h"
#include "presetdb/Objects.h"
#include "presetdb/UpdateRun.h"
#include "standard/Handler.h"

namespace horavex {
namespace {

constexpr size_t kStandardFieldCount = 15;
constexpr const char* kDatabaseError = "Database-Error - Contact Administrator!";

// Positions of the values in a takeover row, and the fields they are read from; 6 is unused,
// and the category field's name depends on the table.
constexpr size_t kCategoryPosition = 4;
constexpr size_t kOffsetPosition = 7;
constexpr std::array<const char*, 15> kRowFields = {
    "ID",    "machine_type", "type",    "var_name",
    nullptr, "isBitArray",   nullptr,   "offset_or_bitno",
    "text",  "page_name",    "abs_min", "abs_max",
    "min",   "max",          "pass"};
constexpr size_t kFirstTakenOver = 10;  // abs_min to pass are written
// The positions whose values the takeover keeps of a row: the match fields and those written.
constexpr std::array<size_t, 8> kKeptPositions = {1, 3, kOffsetPosition, 10, 11, 12, 13, 14};
constexpr size_t kKept = kKeptPositions.size();
// Each position's place among the kept values; kKept for a position not kept.
constexpr std::array<size_t, kRowFields.size()> kSlot = [] {
  std::array<size_t, kRowFields.size()> slots{};
  slots.fill(kKept);
  for (size_t s = 0; s < kKept; ++s) slots[kKeptPositions[s]] = s;
  return slots;
}();

// A number as Jet reads it from an unquoted literal: digits with an optional sign, decimal
// point and exponent. Anything else would make the query text invalid.
std::optional<dao::Variant> NumberLiteral(const std::string& text) {
  size_t i = 0, digits = 0;
  bool whole = true;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) ++digits;
  if (i < text.size() && text[i] == '.') {
    whole = false;
    for (++i; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    whole = false;
    ++i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    size_t exponent = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) ++exponent;
    if (exponent == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  try {
    if (whole) return dao::Variant(int64_t(std::stoll(text)));
    return dao::Variant(std::stod(text));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// Whether a selection failed for its text (an unknown field or table, faulty SQL), as when the
// additional fields or an older layout make the takeover's query invalid, rather than for the
// state of the database.
bool IsInvalidQuery(const Failure& f) {
  switch (f.number()) {
    case dao::kTooFewParameters:
    case dao::kQueryExpression:
    case dao::kInputTableNotFound:
    case dao::kItemNotFound:
    case dao::kInvalidName:
    case dao::kInvalidSql:
    case dao::kCharactersAfterEnd:
      return true;
    default:
      return false;
  }
}

// The records of the work table by machine_type, var_name and offset_or_bitno, each key with
// its first record in table order: the record that the selection of one takeover row would
// give first, found without running that selection against the whole table. Text matches as
// the ANSI_NOCASE collation compares it (upper-cased over Windows-1252), numbers by value;
// Null matches nothing.
class WorkRecordIndex {
 public:
  // Fails as the selection would when the additional fields make it invalid. The records that
  // this run generated into the table are given by their keys; otherwise the table is read.
  WorkRecordIndex(dao::Database& work, const std::string& additionalSelect,
                  const std::unordered_map<std::string, int64_t>* generated)
      : records_(work.OpenRecordset("PRESET_DEFS")) {
    work.CreateQuery(
        "SELECT PRESET_DEFS.ID, PRESET_DEFS.machine_type, PRESET_DEFS.type,"
        " PRESET_DEFS.var_name, PRESET_DEFS.category_id, PRESET_DEFS.isBitArray,"
        " PRESET_DEFS.offset_or_bitno, PRESET_DEFS.text, PRESET_DEFS.page_name,"
        " PRESET_DEFS.abs_min, PRESET_DEFS.abs_max, PRESET_DEFS.min, PRESET_DEFS.max,"
        " PRESET_DEFS.pass" +
        additionalSelect +
        " From PRESET_DEFS "
        " WHERE (((PRESET_DEFS.machine_type)=?1 COLLATE ANSI_NOCASE)"
        " AND ((PRESET_DEFS.var_name)=?2 COLLATE ANSI_NOCASE) "
        " AND ((PRESET_DEFS.offset_or_bitno)=?3));");
    if (generated != nullptr) {
      first_ = generated;
      return;
    }
    dao::Recordset keys =
        work.OpenRecordset("SELECT machine_type, var_name, offset_or_bitno FROM PRESET_DEFS");
    dao::RecordsetField machineType = keys.Fields()[0];
    dao::RecordsetField varName = keys.Fields()[1];
    dao::RecordsetField offset = keys.Fields()[2];
    for (; !keys.Eof(); keys.MoveNext()) {
      if (MatchKeyOf(key_, machineType.Value(), varName.Value(), offset.Value())) {
        read_.try_emplace(key_, keys.Bookmark());
      }
    }
  }

  // Makes the row's first match the current record; false when the row's values (kKept of
  // them, by slot) could not form a valid selection or nothing matches.
  bool MoveToFirstMatch(const dao::Variant* row) {
    const dao::Variant& number = row[kSlot[kOffsetPosition]];
    // A whole number reads back as itself; other values go through their text, as pasted into
    // the query.
    std::optional<dao::Variant> offset = number.kind() == dao::Variant::Kind::kInteger
                                             ? std::optional<dao::Variant>(number)
                                             : NumberLiteral(number.ToText());
    if (!offset) return false;
    std::string typeText, nameText;
    MatchKey(key_, TextOf(row[kSlot[1]], typeText), TextOf(row[kSlot[3]], nameText),
             offset->ToDouble());
    auto found = first_->find(key_);
    if (found == first_->end()) return false;
    records_.SetBookmark(found->second);
    return true;
  }

  dao::Recordset& records() { return records_; }

 private:
  dao::Recordset records_;
  // Each key with the bookmark of its first record in table order.
  std::unordered_map<std::string, int64_t> read_;
  const std::unordered_map<std::string, int64_t>* first_ = &read_;
  std::string key_;
};

using RowFields = std::array<std::optional<dao::RecordsetField>, kRowFields.size()>;
using TargetFields =
    std::array<std::optional<dao::RecordsetField>, kRowFields.size() - kFirstTakenOver>;

// Writes a takeover row's limits (its kept values, by slot) into the row's first match in the
// work table; a row without a match is left.
void TakeOverRow(WorkRecordIndex& index, const dao::Variant* row, const RowFields& fields,
                 const TargetFields& targets, Handler& h, Handler& vital) {
  bool matched = false;
  try {
    matched = index.MoveToFirstMatch(row);
  } catch (const Failure&) {
    // As an invalid query: the row is skipped without a report.
  }
  if (!matched) return;
  dao::Recordset& match = index.records();
  h.step([&] { match.Edit(); });
  for (size_t p = kFirstTakenOver; p < kRowFields.size(); ++p) {
    if (!fields[p]) continue;  // the earlier table has no such limit
    h.step([&] {
      const auto& field = targets[p - kFirstTakenOver];
      (field ? *field : match.Fields()[kRowFields[p]]).SetValue(row[kSlot[p]]);
    });
  }
  vital.step([&] { match.Update(); });
}

}  // namespace

void UpdateRun::TakeoverMachineCopyMDBData(dao::Database& workDatabase,
                                           std::optional<dao::Recordset>& records,
                                           const GeneratedRecords* generated) {
  Handler h(module_, "TakeoverMachineCopyMDBData");
  Handler fatal(module_, "TakeoverMachineCopyMDBData", true);
  // The steps without which not every earlier record is read and matched: reported as any
  // other, and the component database is then kept as it is.
  Handler vital =
      VitalHandler("TakeoverMachineCopyMDBData", "the earlier records could not all be taken over");
  const std::string program = module_.services().process.ProgramFileName();
  const std::string quote = "\"";
  std::string component;
  h.step([&] { component = text::Upper(module_.GetOCXName()); });

  if (h.test([&] {
        return Require(records).Fields().Count() > kStandardFieldCount &&
               module_.AdditionalFieldsCount == 0;
      })) {
    const std::string pieces[] = {
        "WARNING!", "Machinecopy contains data in fields that won't be taken over!",
        "Configurationfile " + quote + component + ".CFG" + quote + ", missing entry " + quote +
            "DataBaseAdditionalFields " + quote,
        "If you continue now this data will be lost.", "Continue?"};
    if (module_.SilentMode) {
      std::string record;
      for (const std::string& piece : pieces) record += piece;
      h.step([&] { module_.WriteServicePackLog(record); });
    } else {
      std::string message;
      for (const std::string& piece : pieces) message += (message.empty() ? "" : kLfCr) + piece;
      int answer = kAnswerYes;
      h.step([&] {
        answer = module_.services().ui.MessageBox(
            {message, program, MsgIcon::Exclamation, MsgButtons::YesNo, MsgDefault::Second});
      });
      if (answer == kAnswerNo) {
        h.step([&] {
          module_.WriteErrorLog(program + " :" + kDatabaseError + " Configurationprogram " + quote +
                                component + quote + " terminated." +
                                " Please check Configuration in " + quote + component + ".CFG" +
                                quote + " Restart " + text::Upper(module_.ProgramFolder()) + kSep +
                                program + ".EXE!");
        });
        fatal.step([&] { throw Failure(kDatabaseErrorNumber, program, kDatabaseError); });
      }
    }
  }

  if (!records) return;

  bool legacyCategory = false;
  h.step([&] {
    for (size_t i = 0; i < records->Fields().Count(); ++i) {
      if (text::EqualsNoCase(records->Fields()[i].Name(), "categorie")) legacyCategory = true;
    }
  });

  // An empty table is a normal state: there is nothing to take over and nothing to report.
  // The count is 32 bits wide: a table that an earlier run filled beyond ID 32767 is still
  // read whole, so none of its limits is lost.
  int32_t rows = 0;
  bool empty = false;
  vital.step([&] { empty = records->RecordCount() == 0; });
  if (!empty) {
    int32_t count = 0;
    vital.step([&] { count = int32_t(records->RecordCount()); });
    vital.step([&] { records->MoveFirst(); });
    int32_t i = 1;
    for (; i <= count; ++i) {
      vital.step([&] { records->MoveNext(); });
      if (vital.test([&] { return records->Eof(); })) break;
    }
    rows = i;
  }

  if (rows < 1) {
    records.reset();
    return;
  }

  // Each field is looked up by name once. A missing one fails (and is reported) at the first
  // row; its value stays empty and is never written.
  std::array<const char*, kRowFields.size()> names = kRowFields;
  names[kCategoryPosition] = legacyCategory ? "categorie" : "category_id";
  RowFields fields;
  for (size_t p = 0; p < names.size(); ++p) {
    if (names[p] != nullptr) fields[p] = records->Fields().Find(names[p]);
  }

  // The work table and the additional fields do not change while the rows are taken over, so
  // they are checked once, before the first row.
  std::vector<std::string> workFields;
  h.step([&] {
    dao::Recordset work = workDatabase.OpenRecordset("PRESET_DEFS");
    for (size_t f = 1; f < work.Fields().Count(); ++f)
      workFields.push_back(work.Fields()[f].Name());
  });
  const std::string* missingAdditionalField = nullptr;
  for (int j = 1; j <= module_.AdditionalFields.UBound() && !missingAdditionalField; ++j) {
    const std::string& wanted = module_.AdditionalFields[j];
    if (std::find(workFields.begin(), workFields.end(), wanted) == workFields.end()) {
      missingAdditionalField = &wanted;
    }
  }

  // Each row is taken over as soon as it is read, so the earlier records are never all held
  // at once. Where nothing can be written (a missing additional field, a selection that cannot
  // be formed, no transaction) the rows are still all read: every one of them is reported.
  std::optional<WorkRecordIndex> index;
  bool ownTransaction = false;
  if (missingAdditionalField == nullptr) {
    try {
      index.emplace(
          workDatabase, module_.AdditionalFieldsSelect,
          generated != nullptr && generated->into == &workDatabase ? &generated->keys : nullptr);
    } catch (const Failure& f) {
      // A selection that cannot be formed fails for every row: then nothing is taken over.
      if (!IsInvalidQuery(f)) vital.step([&] { throw f; });
    }
    // Without it, no wait for the lock per row.
    if (index && !BeginStepTransaction(vital, workDatabase, ownTransaction)) index.reset();
  }
  TargetFields targets;
  if (index) {
    for (size_t p = kFirstTakenOver; p < kRowFields.size(); ++p) {
      targets[p - kFirstTakenOver] = index->records().Fields().Find(kRowFields[p]);
    }
  }

  std::array<dao::Variant, kKept> row;  // the kept values of the row, by slot
  vital.step([&] { records->MoveFirst(); });
  for (int32_t i = 1; i <= rows; ++i) {
    module_.services().ui.ProcessPendingEvents();
    for (size_t p = 0; p < names.size(); ++p) {
      // A value nothing uses is not kept. Reading a field that was found cannot fail.
      if (kSlot[p] < kKept) row[kSlot[p]] = dao::Variant();
      if (fields[p] && kSlot[p] < kKept) {
        h.step([&] { row[kSlot[p]] = fields[p]->Value(); });
      } else if (names[p] != nullptr && !fields[p] && i == 1) {
        h.step([&] { records->Fields()[names[p]].Value(); });
      }
    }
    vital.step([&] { records->MoveNext(); });
    if (index) TakeOverRow(*index, row.data(), fields, targets, h, vital);
  }
  records.reset();

  if (const std::string* wanted = missingAdditionalField) {
    h.step([&] {
      module_.WriteErrorLog(std::string("Conflict while attempting to extend database!") +
                            "Configurationsfile " + quote + component + ".CFG" + quote +
                            ", demanded field " + quote + text::Upper(*wanted) + quote +
                            "missing in machinecopy-database" + kLfCr + "Configuration of " +
                            quote + component + quote + " aborted.");
    });
    fatal.step([&] { throw Failure(kDatabaseErrorNumber, program, kDatabaseError); });
    module_.EndProgram();
  }
  if (ownTransaction) vital.step([&] { workDatabase.CommitTrans(); });
}

}  // namespace horavex
