#include "presetdb/UpdateRun.h"

#include <filesystem>
#include <limits>

#include "platform/Failure.h"
#include "platform/IniStore.h"
#include "platform/Text.h"
#include "presetdb/Objects.h"
#include "standard/Handler.h"

namespace horavex {

std::string& VarNamePatternTable::operator()(int64_t system, int64_t part) {
  if (system < 0 || system > 1 || part < 1 || part > 50) {
    throw RuntimeFailure(kSubscriptOutOfRange);
  }
  return patterns_[size_t(system)][size_t(part - 1)];
}

UpdateRun::UpdateRun(StandardModule& module) : module_(module) {
  // The window stays alive while a database waits for another program's lock.
  databaseOptions.whileBusy = [&ui = module.services().ui](const std::string& path, bool waiting) {
    ui.WhileWaiting(waiting ? "waiting for another program to release " +
                                  std::filesystem::path(path).filename().string()
                            : "");
  };
}

void UpdateRun::WorkOnMDB() {
  Handler h(module_, "WorkOnMDB");
  FileSystem& files = module_.services().files;
  std::string sourcePath, componentPath, configIniPath, machineCopyPath;
  h.step([&] { sourcePath = module_.GetPathSourceOCXMDB(); });
  h.step([&] { componentPath = module_.GetPathOCXMDB(); });
  h.step([&] { configIniPath = module_.GetQ4TConfigurationIniPath(); });
  h.step([&] { machineCopyPath = module_.GetPathMachineCopyMDB(configIniPath); });

  h.step([&] {
    SystemIndex = 0;
    if (!module_.StartModeIntegrated &&
        module_.LoadIniBoolean("Project", "VWStudio", module_.ProgramIniPath, false)) {
      SystemIndex = 1;
    }
  });

  if (sourcePath.empty()) return;

  keep_.reset();
  if (ReportJetTemplate(h, sourcePath, componentPath)) return;
  if (!runLock_) {
    std::optional<Failure> lockFailure;
    try {
      runLock_ = files.WaitForLock(componentPath + ".lock", runLockTimeoutMs, [&] {
        module_.services().ui.WhileWaiting(
            "waiting for another configuration run of this installation");
      });
    } catch (const Failure& f) {
      lockFailure = f;
    }
    module_.services().ui.ShowWaiting("");
    if (!runLock_) {
      Keep(lockFailure, lockFailure ? "its lock file could not be opened"
                                    : "another configuration run of this installation did not "
                                      "end within " +
                                          text::Decimal(runLockTimeoutMs / 1000) + " s");
      ReportKept(h, componentPath);
      return;
    }
  }
  TakeoverSnapshot snapshot;
  snapshot_ = &snapshot;

  h.step([&] { SavedFileTimes = files.GetTimes(sourcePath); });
  std::optional<dao::Database> work;
  // An end in the middle of the run (a fatal report, the answer No) leaves the template and
  // the installation as they were before it.
  module_.BeforeEnd = [&] { AbandonRun(work, sourcePath); };

  // The earlier records come from the machine copy in an integrated start, where there is one.
  std::string takeoverSource = componentPath;
  if (module_.StartModeIntegrated) {
    if (h.test([&] { return machineCopyPath.empty() || !files.IsPlainFile(machineCopyPath); })) {
      h.step([&] {
        std::string fileName = module_.GetFileNameOnly(componentPath);
        std::string text = "Konnte die Datei:\"" + fileName + "\" in der Vorlage nicht finden!" +
                           "\r\n\r\nIst das Bild in der Vorlage noch nicht vorhanden (also neu)?" +
                           "\r\nDann ist diese Meldung völlig normal und es wird eine neue Datei " +
                           "mit den Standardwerten erzeugt.";
        module_.services().ui.MessageBox({text, module_.services().process.ProgramFileName(),
                                          MsgIcon::Information, MsgButtons::Ok, MsgDefault::First});
      });
    } else {
      takeoverSource = machineCopyPath;
    }
  }
  CheckInputsReadable(configIniPath);
  if (!keep_) h.step([&] { snapshot = CopyTakeoverSource(takeoverSource, componentPath); });

  Handler rebuild = VitalHandler("WorkOnMDB", "the template could not be rebuilt");
  if (!keep_) rebuild.step([&] { ReadVarNamePatterns(sourcePath); });
  if (!keep_) rebuild.step([&] { work = OpenDatabase(sourcePath); });
  if (!keep_) rebuild.step([&] { RebuildPresetDefs(Require(work)); });
  // Without a rebuilt table nothing of what follows could be published; generating into the
  // template's old table would only leave it with every record twice.
  Handler takeover = VitalHandler("WorkOnMDB", "the earlier records could not all be taken over");
  // The generation and the takeover write the new table in one transaction: its pages reach
  // the disk once, and the takeover's changes need no journal of what the generation wrote.
  bool inTransaction = false;
  if (!keep_) {
    rebuild.step([&] {
      Require(work).BeginTrans();
      inTransaction = true;
    });
  }
  if (!keep_) h.step([&] { CategorieNachCategoryID(); });
  GeneratedRecords generated;
  if (!keep_) h.step([&] { generated = CreateRecordSets(Require(work)); });
  if (!keep_) takeover.step([&] { TakeOver(Require(work), generated); });
  generated = {};
  if (inTransaction) {
    Handler write = VitalHandler("WorkOnMDB", "the new PRESET_DEFS could not be generated");
    // What was generated for a result that is not published need not reach the disk.
    write.step([&] { keep_ ? work->Rollback() : work->CommitTrans(); });
  }
  takeover.step([&] { takeover_.Close(); });
  if (takeover_.writeFailure()) {
    Keep(takeover_.writeFailure(), "the earlier variable names could not be rewritten");
  }
  if (!keep_) {
    Handler check = VitalHandler("WorkOnMDB", "the check of the new records failed");
    check.step([&] { CheckTakeover(Require(work)); });
  }
  h.step([&] {
    if (work) work->Close();
  });

  bool durable = true;
  if (!keep_) {
    h.step([&] {
      durable = PublishComponentDatabase(module_.GetPathSourceOCXMDB(), module_.GetPathOCXMDB(),
                                         snapshot);
    });
  }
  snapshot = {};
  snapshot_ = nullptr;
  module_.BeforeEnd = nullptr;
  if (keep_) ReportKept(h, componentPath);
  if (!durable) {
    h.step([&] {
      throw Failure(kDeviceIoError, module_.services().process.ProgramFileName(),
                    module_.GetFileNameOnly(componentPath) +
                        " was replaced, but its folder could not be flushed to disk: a power "
                        "failure may still bring back the earlier file.");
    });
  }
  h.step([&] {
    if (SavedFileTimes) files.SetTimes(sourcePath, *SavedFileTimes);
  });
}

// The ini files the run's result depends on: one that is there but cannot be read must not be
// taken for an empty one (every machine switched off, no machines at all).
void UpdateRun::CheckInputsReadable(const std::string& configIniPath) {
  Handler inputs = VitalHandler("WorkOnMDB", "a configuration file could not be read");
  IniStore& ini = module_.services().ini;
  inputs.step([&] { ini.CheckReadable(module_.ProgramIniPath); });
  if (module_.StartModeIntegrated) inputs.step([&] { ini.CheckReadable(configIniPath); });
  inputs.step([&] { ini.CheckReadable(module_.GetCFGPath()); });
}

void UpdateRun::AbandonRun(std::optional<dao::Database>& work, const std::string& sourcePath) {
  if (work) {
    if (work->InTransaction()) work->Rollback();
    work->Close();
  }
  takeover_.Abandon();
  if (snapshot_ != nullptr) snapshot_->copy.reset();
  if (SavedFileTimes) module_.services().files.SetTimes(sourcePath, *SavedFileTimes);
}

void UpdateRun::ReadVarNamePatterns(const std::string& sourcePath) {
  dao::Database source = OpenDatabase(sourcePath);
  dao::Recordset records = source.OpenRecordset("Source_DEFS");
  for (; !records.Eof(); records.MoveNext()) {
    try {
      dao::Variant name = records.Fields()["System"].Value();
      if (name.IsNull()) throw RuntimeFailure(kInvalidUseOfNull);
      std::string system = text::Upper(name.ToText());
      if (system == "VISIWINSTUDIO") {
        StoreVarNamePattern(records, 1);
      } else if (system == "VISIWIN32") {
        StoreVarNamePattern(records, 0);
      }
    } catch (const Failure&) {
      // A faulty record is not reported: part 1 falls back to the bare template text.
      VarNamePatterns(0, 1) = "###Var_Name";
      VarNamePatterns(1, 1) = "###Var_Name";
    }
  }
  records.Close();
  source.Close();
}

void UpdateRun::StoreVarNamePattern(dao::Recordset& records, int16_t system) {
  dao::Variant part = records.Fields()["Part"].Value();
  int64_t number = part.ToInteger();
  if (number < std::numeric_limits<int32_t>::min() ||
      number > std::numeric_limits<int32_t>::max()) {
    throw RuntimeFailure(kOverflow);
  }
  dao::Variant pattern = records.Fields()["Var_Name"].Value();
  if (pattern.IsNull()) throw RuntimeFailure(kInvalidUseOfNull);
  VarNamePatterns(system, number) = pattern.ToText();
}

void UpdateRun::RebuildPresetDefs(dao::Database& work) {
  dao::TableDefCollection& tables = work.TableDefs();
  for (const dao::TableDef& table : tables) {
    if (table.Name() == "PRESET_DEFS") {
      tables.Delete("PRESET_DEFS");
      tables.Refresh();
      break;
    }
  }
  dao::TableDef source = tables["Source_PRESET_DEFS"];
  dao::TableDef presets = work.CreateTableDef("PRESET_DEFS");
  for (const dao::Field& field : source.Fields()) {
    presets.Fields().Append(presets.CreateField(field.Name(), field.Type(), field.Size()));
  }
  tables.Append(presets);
  tables.Refresh();
}

void UpdateRun::TakeOver(dao::Database& work, const GeneratedRecords& generated) {
  std::string path = TakeoverPath();
  if (path.empty()) return;
  dao::Database& takeover = takeover_.Open(path, databaseOptions);
  bool found = false;
  for (const dao::TableDef& table : takeover.TableDefs()) {
    if (table.Name() == "PRESET_DEFS") found = true;
  }
  if (!found) return;
  std::optional<dao::Recordset> records = takeover.OpenRecordset("PRESET_DEFS");
  module_.GetAddFields();
  TakeoverMachineCopyMDBData(work, records, &generated);
}

}  // namespace horavex
