#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "dao/Database.h"
#include "dao/DatabaseFile.h"
#include "jet/JetImport.h"
#include "platform/FileSystem.h"
#include "presetdb/TakeoverDatabase.h"
#include "standard/Handler.h"
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
//
// The limits must never be lost: the takeover reads a private snapshot of the earlier database,
// and the component database is replaced only by a complete result (template rebuilt and
// generated, every earlier record read, the limits checked), under its write lock, with the file
// as it was kept beside it as the newest of kBackupGenerations backups ("<name>.bak",
// "<name>.bak2", ...). Otherwise it stays as it was and the run says why. Runs on one
// installation take turns through a lock file beside the component database.
class UpdateRun {
 public:
  static constexpr int kBackupGenerations = 5;
  // "<name>.bak" for generation 1 (the newest), "<name>.bak<n>" for the older ones.
  static std::string BackupPath(const std::string& componentPath, int generation);

  explicit UpdateRun(StandardModule& module);
  virtual ~UpdateRun() = default;
  UpdateRun(const UpdateRun&) = delete;
  UpdateRun& operator=(const UpdateRun&) = delete;

  virtual void WorkOnMDB();

  // Gives the legacy column CATEGORIE (any case) of the component database's PRESET_DEFS its
  // current name category_id.
  void CategorieNachCategoryID();

  // The records a generation wrote, by match key (MatchKey), each key with its first record's
  // bookmark, and the database they went into: a takeover that follows in the same table finds
  // its matches here instead of reading the table again. Empty when the takeover must read it.
  struct GeneratedRecords {
    std::unordered_map<std::string, int64_t> keys;
    const dao::Database* into = nullptr;
  };

  // Fills the work database's new, empty PRESET_DEFS: one record per template row for every
  // machine that uses the component.
  GeneratedRecords CreateRecordSets(dao::Database& database);
  // The text with the first occurrence of searchItem, found without regard to case, replaced.
  std::string ReplaceSearchItem(const std::string& text, const std::string& searchItem,
                                const std::string& replacement);
  // Rewrites the component database's variable names from the other system's form to the
  // current system's, so the takeover still finds them after a change of system.
  void VarNameInQuelleErsetzen(const std::string& nameVisiWin32,
                               const std::string& nameVisiWinStudio);

  // Writes abs_min, abs_max, min, max and pass of the earlier records into the matching records
  // of the work database's PRESET_DEFS. The record set is released and reset here.
  virtual void TakeoverMachineCopyMDBData(dao::Database& workDatabase,
                                          std::optional<dao::Recordset>& records,
                                          const GeneratedRecords* generated = nullptr);

  // 1 for a VWStudio project, 0 otherwise.
  int16_t SystemIndex = 0;
  VarNamePatternTable VarNamePatterns;

  // How long a database operation waits for a lock that another program holds.
  dao::OpenOptions databaseOptions;
  // How long a run waits for another run on the same installation to end.
  int runLockTimeoutMs = 60000;
  // Reads an earlier database that is still an Access (Jet) file, as installations of the
  // Windows program hold them; none in a build without the importer.
  jet::JetImport* jetImport = nullptr;

 private:
  void ReadVarNamePatterns(const std::string& sourcePath);
  void StoreVarNamePattern(dao::Recordset& records, int16_t system);
  void RebuildPresetDefs(dao::Database& work);
  void TakeOver(dao::Database& work, const GeneratedRecords& generated);
  // As the public one; targetLookedFor says whether this generation has already tried to open
  // the component database, so a failure to open it is reported once.
  void VarNameInQuelleErsetzen(const std::string& nameVisiWin32,
                               const std::string& nameVisiWinStudio, bool& targetLookedFor);

  // The run's own copy of the database whose earlier records it takes over, or "" when there
  // is none; outside a run (a procedure called on its own) the component database itself.
  std::string TakeoverPath();
  void CheckInputsReadable(const std::string& configIniPath);
  // The run's snapshot of the earlier database, taken before anything is generated; the publish
  // checks against it that the component database did not change in the meantime.
  struct TakeoverSnapshot {
    std::unique_ptr<TemporaryFile> copy;
    std::optional<dao::DatabaseVersion> componentVersion;
    // For a component database that is an Access file, which no SQLite lock guards.
    std::optional<FileStamp> jetComponentStamp;
  };
  TakeoverSnapshot CopyTakeoverSource(const std::string& path, const std::string& componentPath);
  // Fails when a new record whose key matches earlier records holds limits of none of them.
  void CheckTakeover(dao::Database& work);
  // False when the result took the component database's place but could not be made durable.
  bool PublishComponentDatabase(const std::string& sourcePath, const std::string& componentPath,
                                const TakeoverSnapshot& snapshot);
  // Keeps the component database as it is before the new file replaces it: as the newest of
  // the backup generations, unless the newest already holds the same bytes. Read through the
  // write lock when there is one (no lock for an Access file).
  void KeepBackup(dao::DatabaseWriteLock* lock, const std::string& componentPath);
  // Undoes what an unfinished run left: the template's open transaction and times, the
  // takeover's snapshot.
  void AbandonRun(std::optional<dao::Database>& work, const std::string& sourcePath);
  // An Access template is reported and the run ends: nothing on these machines writes Jet.
  bool ReportJetTemplate(Handler& h, const std::string& sourcePath,
                         const std::string& componentPath);
  // The takeover's snapshot of an earlier database that is an Access file: imported.
  void ImportTakeoverSource(const std::string& path, bool isComponent, TakeoverSnapshot& snapshot);
  // Before an Access component database is replaced: false (and the run keeps it) when it
  // changed since the takeover imported it.
  bool JetComponentUnchanged(const std::string& componentPath, const TakeoverSnapshot& snapshot);
  dao::Database OpenDatabase(const std::string& path);

  // Remembers the first reason why the run's result is incomplete: the component database is
  // then kept as it is, and the run reports it once at its end.
  void Keep(std::optional<Failure> cause, std::string why, std::string hint = {});
  // The component database changed between the takeover's snapshot and the publish.
  void KeepChangedDuringRun();
  // A handler whose failing steps also leave the result incomplete, for the given reason.
  Handler VitalHandler(const char* procedureName, const std::string& why);
  // The one transaction for all records of a step: begun here unless the caller holds one
  // (own tells whether it was, and so is to be committed by the step). False when it could not
  // begin, the failure reported through vital.
  bool BeginStepTransaction(Handler& vital, dao::Database& database, bool& own);
  void ReportKept(Handler& h, const std::string& componentPath);

  StandardModule& module_;
  std::optional<FileTimes> SavedFileTimes;
  // The component database, open from its first use in the run to the end of the takeover.
  TakeoverDatabase takeover_;

  // Held from the start of the first run until the program ends, so the settings written after
  // the run are serialised too.
  std::unique_ptr<FileLock> runLock_;
  // The snapshot of the run in progress; none outside a run, where the procedures read the
  // component database itself.
  TakeoverSnapshot* snapshot_ = nullptr;
  struct KeepReason {
    std::optional<Failure> cause;
    std::string why;
    std::string hint;
  };
  std::optional<KeepReason> keep_;
};

}  // namespace horavex
