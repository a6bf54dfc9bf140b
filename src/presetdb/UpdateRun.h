#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/Database.h"
#include "platform/FileSystem.h"
#include "presetdb/TakeoverDatabase.h"
#include "standard/StandardModule.h"

namespace horavex {

// Variable-name patterns of Source_DEFS: system 0 (VISIWIN32) and 1 (VISIWINSTUDIO), parts 1 to
// 50. Entries are empty until a pattern is stored.
class VarNamePatternTable {
 public:
  // Fails with 9 "Subscript out of range" outside system 0 to 1 and part 1 to 50.
  std::string& operator()(int64_t system, int64_t part);

 private:
  std::array<std::array<std::string, 50>, 2> patterns_;
};

// The preset database update that runs on every OK before the settings are written: the
// template database's PRESET_DEFS is rebuilt and filled for the selected machines, the limits of
// the component database's earlier records are taken over, and the template database is copied
// over the component database.
class UpdateRun {
 public:
  explicit UpdateRun(StandardModule& module) : module_(module) {}
  virtual ~UpdateRun() = default;
  UpdateRun(const UpdateRun&) = delete;
  UpdateRun& operator=(const UpdateRun&) = delete;

  virtual void WorkOnMDB();

  // Gives the legacy column CATEGORIE (any case) of the component database's PRESET_DEFS its
  // current name category_id.
  void CategorieNachCategoryID();

  // Fills the work database's new, empty PRESET_DEFS: one record per template row for every
  // machine that uses the component.
  void CreateRecordSets(dao::Database& database);
  // The text with the first occurrence of searchItem, found without regard to case, replaced.
  std::string ReplaceSearchItem(const std::string& text, const std::string& searchItem,
                                const std::string& replacement);
  // Rewrites the component database's variable names from the other system's form to the
  // current system's, so the takeover still finds them after a change of system.
  void VarNameInQuelleErsetzen(const std::string& nameVisiWin32,
                               const std::string& nameVisiWinStudio);

  // Writes abs_min, abs_max, min, max and pass of the earlier records into the matching records
  // of the work database's PRESET_DEFS. The record set is released and reset here.
  void TakeoverMachineCopyMDBData(dao::Database& workDatabase,
                                  std::optional<dao::Recordset>& records);

  // 1 for a VWStudio project, 0 otherwise.
  int16_t SystemIndex = 0;
  VarNamePatternTable VarNamePatterns;

 private:
  void ReadVarNamePatterns(const std::string& sourcePath);
  void StoreVarNamePattern(dao::Recordset& records, int16_t system);
  void RebuildPresetDefs(dao::Database& work);
  void TakeOver(dao::Database& work, const std::string& componentPath);

  StandardModule& module_;
  std::optional<FileTimes> SavedFileTimes;
  // The component database, open from its first use in the run to the end of the takeover.
  TakeoverDatabase takeover_;
  // Set once a generation has looked for the component database to rewrite its names in.
  bool rewriteTargetChecked_ = false;
};

}  // namespace horavex
