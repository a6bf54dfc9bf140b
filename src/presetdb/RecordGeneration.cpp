#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/Text.h"
#include "presetdb/MatchKey.h"
#include "presetdb/Objects.h"
#include "presetdb/UpdateRun.h"
#include "standard/Handler.h"

namespace horavex {
namespace {

// Where item first occurs in text, ASCII letters compared without regard to case; npos when it
// does not occur. A search item that starts with a non-letter ("###...") is found by memchr.
size_t FindNoCaseAscii(std::string_view text, std::string_view item) {
  if (item.empty()) return 0;
  if (item.size() > text.size()) return std::string::npos;
  const char first = text::AsciiUpper(item[0]);
  const bool letter = first >= 'A' && first <= 'Z';
  const size_t last = text.size() - item.size();
  for (size_t i = 0; i <= last; ++i) {
    if (!letter) {
      const void* found = std::memchr(text.data() + i, item[0], last + 1 - i);
      if (found == nullptr) return std::string::npos;
      i = size_t(static_cast<const char*>(found) - text.data());
    } else if (text::AsciiUpper(text[i]) != first) {
      continue;
    }
    size_t k = 1;
    while (k < item.size() && text::AsciiUpper(text[i + k]) == text::AsciiUpper(item[k])) ++k;
    if (k == item.size()) return i;
  }
  return std::string::npos;
}

}  // namespace

UpdateRun::GeneratedRecords UpdateRun::CreateRecordSets(dao::Database& database) {
  // Every failure leaves the new table short of the whole generation: reported as any other,
  // and the component database is then kept as it is.
  Handler h = VitalHandler("CreateRecordSets", "the new PRESET_DEFS could not be generated");
  UiServices& ui = module_.services().ui;
  GeneratedRecords generated;
  bool rewriteTargetLookedFor = false;
  std::optional<dao::Recordset> target, selection;
  h.step([&] { target = database.OpenRecordset("PRESET_DEFS"); });
  h.step([&] {
    selection = database.OpenRecordset(
        "SELECT Source_PRESET_DEFS.* From Source_PRESET_DEFS ORDER BY Source_PRESET_DEFS.ID");
  });
  // The row count is a 16-bit Integer; the loops below count in 32 bits so that they end.
  int32_t rows = 0;
  h.step([&] { rows = ToInteger16(Require(selection).RecordCount()); });
  if (rows < 1) return generated;

  // TemplateValues: row r (from 1) holds the template's values by field position.
  std::vector<std::vector<dao::Variant>> templateValues(size_t(rows) + 1);
  for (int32_t r = 1; r <= rows; ++r) {
    size_t fields = 0;
    h.step([&] { fields = Require(selection).Fields().Count(); });
    templateValues[size_t(r)].resize(fields);
    for (size_t f = 0; f < fields; ++f) {
      ui.ProcessPendingEvents();
      h.step([&] { templateValues[size_t(r)][f] = selection->Fields()[f].Value(); });
    }
    h.step([&] { selection->MoveNext(); });
  }
  auto templateValue = [&](size_t f, int32_t r) -> const dao::Variant& {
    if (f >= templateValues[size_t(r)].size()) throw RuntimeFailure(kSubscriptOutOfRange);
    return templateValues[size_t(r)][f];
  };

  // The machines that use the component; read before anything is written, so that IDs beyond
  // 16 bits are known before the first record.
  int machines = 0;
  h.step([&] {
    if (!module_.MachineNames) throw RuntimeFailure(kSubscriptOutOfRange);
    machines = module_.MachineNames->UBound();
  });
  std::vector<int> selected;
  for (int m = 1; m <= machines; ++m) {
    if (h.test([&] {
          return module_.LoadIniBoolean("Project", "ForMachine" + text::Decimal(m),
                                        module_.GetCFGPath(), false);
        })) {
      selected.push_back(m);
    }
  }
  // Two records never share an ID: a generation that would need more than 32767 fails whole.
  if (int64_t(rows) * int64_t(selected.size()) > INT16_MAX) {
    h.step([] { throw RuntimeFailure(kOverflow); });
    return generated;
  }
  // All records of the run go into the table in one transaction; without it (another program
  // keeps the template locked) every record would wait for the lock on its own. A caller's
  // transaction serves: a nested one would copy every page it changes once more.
  bool ownTransaction = false;
  if (!BeginStepTransaction(h, database, ownTransaction)) return generated;
  int16_t nextId = 1;
  // Counting on from the last ID overflows when the generation fills all 32767 of them: the
  // records are complete then, so that report alone does not keep the component database.
  Handler counter(module_, "CreateRecordSets");
  int64_t part = 0;
  std::string candidates[2];
  // Fields looked up by name once; a missing one fails (and is reported) at every use.
  std::optional<dao::RecordsetField> idField, partField;
  if (target) {
    idField = target->Fields().Find("ID");
    partField = target->Fields().Find("part");
  }
  // The key fields, when a takeover will look for the records written here.
  std::optional<dao::RecordsetField> typeField, nameField, offsetField;
  if (target && !TakeoverPath().empty()) {
    typeField = target->Fields().Find("machine_type");
    nameField = target->Fields().Find("var_name");
    offsetField = target->Fields().Find("offset_or_bitno");
    if (typeField && nameField && offsetField) {
      generated.into = &database;
      generated.keys.reserve(size_t(rows) * selected.size());
    }
  }
  std::string key;
  // Which target fields are var_name, by position; the table does not change during the run.
  std::vector<bool> isVarName;
  if (target) {
    for (size_t f = 0; f < target->Fields().Count(); ++f) {
      isVarName.push_back(text::Upper(target->Fields()[f].Name()) == "VAR_NAME");
    }
  }
  for (int m : selected) {
    const std::string& machineName = (*module_.MachineNames)[m];
    for (int32_t r = 1; r <= rows; ++r) {
      ui.ProcessPendingEvents();
      h.step([&] { Require(target).AddNew(); });
      h.step([&] { (idField ? *idField : target->Fields()["ID"]).SetValue(nextId); });
      counter.step([&] { nextId = ToInteger16(int64_t(nextId) + 1); });
      size_t fields = 0;
      h.step([&] { fields = Require(target).Fields().Count(); });
      for (size_t f = 1; f < fields; ++f) {
        ui.ProcessPendingEvents();
        h.step([&] {
          const dao::Variant& value = templateValue(f, r);
          dao::RecordsetField field = target->Fields()[f];
          if (!value.IsText()) {
            field.SetValue(value);
          } else if (f < isVarName.size() && isVarName[f]) {
            // The part number as the record holds it now: set only when part comes first.
            h.step([&] {
              part = (partField ? *partField : target->Fields()["part"]).Value().ToInteger();
            });
            for (int k = 0; k <= 1; ++k) {
              h.step([&] {
                candidates[k] =
                    ReplaceSearchItem(VarNamePatterns(k, part), "###Var_Name", value.ToText());
              });
              h.step([&] {
                candidates[k] = ReplaceSearchItem(candidates[k], "###machine", machineName);
              });
              h.step([&] {
                candidates[k] = ReplaceSearchItem(candidates[k], "###machine", machineName);
              });
            }
            h.step([&] {
              VarNameInQuelleErsetzen(candidates[0], candidates[1], rewriteTargetLookedFor);
            });
            field.SetValue(std::move(candidates[SystemIndex]));
          } else {
            field.SetValue(ReplaceSearchItem(value.ToText(), "###machine", machineName));
          }
        });
      }
      bool keyed = false;
      try {
        keyed = generated.into != nullptr &&
                MatchKeyOf(key, typeField->Value(), nameField->Value(), offsetField->Value());
      } catch (const Failure&) {
        generated = {};  // the takeover reads the table instead
      }
      h.step([&] {
        target->Update();
        if (keyed) generated.keys.try_emplace(key, target->LastModified());
      });
    }
  }
  if (ownTransaction) h.step([&] { database.CommitTrans(); });
  return generated;
}

std::string UpdateRun::ReplaceSearchItem(const std::string& text, const std::string& searchItem,
                                         const std::string& replacement) {
  Handler h(module_, "ReplaceSearchItem");
  std::string result;
  h.step([&] {
    if (text::IsAscii(text) && text::IsAscii(searchItem)) {
      // Characters are bytes here; the general way below converts to upper case first.
      size_t at = FindNoCaseAscii(text, searchItem);
      if (at == std::string::npos) {
        result = text;
        return;
      }
      size_t pos = at + 1;
      ToInteger16(int64_t(pos));
      result.reserve(text.size() - searchItem.size() + replacement.size());
      result.append(text, 0, pos - 1).append(replacement).append(text, pos - 1 + searchItem.size());
      return;
    }
    // Positions count characters: upper-casing may change a character's length in bytes.
    std::u32string characters = text::ToU32(text), upper = characters,
                   item = text::ToU32(searchItem);
    for (char32_t& c : upper) c = text::UpperChar(c);
    for (char32_t& c : item) c = text::UpperChar(c);
    size_t at = upper.find(item);
    if (at == std::u32string::npos) {
      result = text;
      return;
    }
    ToInteger16(int64_t(at) + 1);
    result = text::FromU32(characters.substr(0, at)) + replacement +
             text::FromU32(characters.substr(at + item.size()));
  });
  return result;
}

void UpdateRun::VarNameInQuelleErsetzen(const std::string& nameVisiWin32,
                                        const std::string& nameVisiWinStudio) {
  bool targetLookedFor = false;
  VarNameInQuelleErsetzen(nameVisiWin32, nameVisiWinStudio, targetLookedFor);
}

void UpdateRun::VarNameInQuelleErsetzen(const std::string& nameVisiWin32,
                                        const std::string& nameVisiWinStudio,
                                        bool& targetLookedFor) {
  Handler h(module_, "VarNameInQuelleErsetzen");
  if (!takeover_.IsOpen()) {
    // Whether the component database is there is asked once per generation; a database that
    // cannot be opened is reported once, not for every variable name.
    if (targetLookedFor) return;
    targetLookedFor = true;
    std::string path;
    h.step([&] { path = TakeoverPath(); });
    if (path.empty()) return;
    h.step([&] { takeover_.Open(path, databaseOptions); });
    if (!takeover_.IsOpen()) return;
  }
  const std::string& oldName = SystemIndex != 0 ? nameVisiWin32 : nameVisiWinStudio;
  const std::string& newName = SystemIndex != 0 ? nameVisiWinStudio : nameVisiWin32;
  h.step([&] { takeover_.RewriteVarName(oldName, newName); });
}

}  // namespace horavex
