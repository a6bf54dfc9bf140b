#include "dao/DatabaseKind.h"
#include "platform/Text.h"
#include "presetdb/UpdateRun.h"

namespace horavex {

std::string UpdateRun::TakeoverPath() {
  if (snapshot_ != nullptr) return snapshot_->copy ? snapshot_->copy->path() : std::string();
  FileSystem& files = module_.services().files;
  std::string path = module_.GetPathOCXMDB();
  return path.empty() || !files.IsPlainFile(path) ? std::string() : files.Resolve(path);
}

dao::Database UpdateRun::OpenDatabase(const std::string& path) {
  return dao::Database::Open(module_.services().files.Resolve(path), databaseOptions);
}

// The takeover, the category step and the name rewrites work on a snapshot of the earlier
// database, so the component database changes only when a complete result replaces it.
UpdateRun::TakeoverSnapshot UpdateRun::CopyTakeoverSource(const std::string& path,
                                                          const std::string& componentPath) {
  FileSystem& files = module_.services().files;
  TakeoverSnapshot snapshot;
  if (path.empty() || !files.IsPlainFile(path)) return snapshot;
  try {
    snapshot.copy = files.CreateTemporaryBeside(componentPath);
    if (dao::IsJet(dao::KindOfDatabaseFile(files.Resolve(path)))) {
      ImportTakeoverSource(path, path == componentPath, snapshot);
      return snapshot;
    }
    dao::DatabaseVersion version =
        dao::CopyDatabase(files.Resolve(path), snapshot.copy->path(), databaseOptions);
    if (path == componentPath) snapshot.componentVersion = version;
  } catch (const Failure& f) {
    snapshot.copy.reset();
    std::string name = module_.GetFileNameOnly(files.Resolve(path));
    if (f.number() == dao::kLocked) {
      Keep(f, "another program kept " + name + " locked");
    } else if (f.number() == dao::kUnrecognizedFormat || f.number() == dao::kCannotOpenFile) {
      Keep(f, "the earlier records in " + name + " could not be read",
           "Remove or repair " + name + " to start afresh.");
    } else {
      // A full disk or a folder that cannot be written: the file itself is fine.
      Keep(f, "the earlier records in " + name + " could not be copied for the takeover");
    }
  }
  return snapshot;
}

std::string UpdateRun::BackupPath(const std::string& componentPath, int generation) {
  return componentPath + ".bak" + (generation > 1 ? text::Decimal(generation) : std::string());
}

// The rebuilt template takes the component database's place: copied as one consistent
// snapshot, then renamed over the target while its write lock is held, the file as it was kept
// beside it as a backup generation.
bool UpdateRun::PublishComponentDatabase(const std::string& sourcePath,
                                         const std::string& componentPath,
                                         const TakeoverSnapshot& snapshot) {
  FileSystem& files = module_.services().files;
  try {
    const std::string target = files.Resolve(componentPath);
    std::unique_ptr<TemporaryFile> copy = files.CreateTemporaryBeside(componentPath);
    dao::CopyDatabase(files.Resolve(sourcePath), copy->path(), databaseOptions);
    // Leftovers are opened to test them; that must not happen while the lock is held, since
    // closing any handle of a file drops the process's locks on it.
    for (int g = 1; g <= kBackupGenerations; ++g) {
      files.RemoveLeftoversBeside(BackupPath(componentPath, g));
    }
    std::optional<dao::DatabaseWriteLock> lock;
    if (files.IsPlainFile(componentPath)) {
      const bool jet = dao::IsJet(dao::KindOfDatabaseFile(target));
      if (jet) {
        if (!JetComponentUnchanged(componentPath, snapshot)) return true;
      } else {
        lock = dao::DatabaseWriteLock::Take(target, databaseOptions);
        if (snapshot.componentVersion && lock->Version() != *snapshot.componentVersion) {
          KeepChangedDuringRun();
          return true;
        }
      }
      KeepBackup(lock ? &*lock : nullptr, componentPath);
      // Where an open file cannot be replaced, the new content goes into the file itself.
      if (!files.ReplacesOpenFiles()) {
        if (lock && !lock->Overwrite(copy->path())) {
          KeepChangedDuringRun();
        }
        return true;
      }
    } else {
      dao::RemoveOrphanJournal(target);
    }
    return files.ReplaceWith(*copy, componentPath);
  } catch (const Failure& f) {
    Keep(f, f.number() == dao::kLocked ? "another program kept it locked"
                                       : "the rebuilt database could not be put in its place");
  }
  return true;
}

void UpdateRun::KeepBackup(dao::DatabaseWriteLock* lock, const std::string& componentPath) {
  FileSystem& files = module_.services().files;
  const std::string newest = BackupPath(componentPath, 1);
  // A run that changed nothing since the last one would only push an older generation out.
  // An Access file is not locked: it can be read like any other file. Where the file is written
  // in place, a backup that is a second name of it would change with it: a copy is always made.
  if (files.ReplacesOpenFiles() && files.IsPlainFile(newest) &&
      (lock ? lock->SameBytesAs(files.Resolve(newest))
            : files.ReadAll(componentPath) == files.ReadAll(newest))) {
    return;
  }
  // The generations move on up to the first gap (one that a killed run left), so none of them
  // is dropped before its time.
  int gap = 1;
  while (gap < kBackupGenerations && files.IsPlainFile(BackupPath(componentPath, gap))) ++gap;
  for (int g = gap - 1; g >= 1; --g) {
    files.RenameOwnFile(BackupPath(componentPath, g), BackupPath(componentPath, g + 1));
  }
  // The backup is the file as it is: a second name for it, which keeps it once the new file has
  // taken the name; a copy where the file system has no hard links, read through the lock's
  // own handle.
  if (files.ReplacesOpenFiles() && files.LinkAs(componentPath, newest)) return;
  if (!lock) {
    std::optional<std::string> bytes = files.ReadAll(componentPath);
    if (!bytes || !files.ReplaceAll(newest, *bytes)) throw RuntimeFailure(kPathFileAccessError);
    return;
  }
  std::unique_ptr<TemporaryFile> backup = files.CreateTemporaryBeside(newest);
  lock->CopyTo(backup->path());
  files.ReplaceWith(*backup, newest);
}

void UpdateRun::Keep(std::optional<Failure> cause, std::string why, std::string hint) {
  if (!keep_) keep_ = KeepReason{std::move(cause), std::move(why), std::move(hint)};
}

void UpdateRun::KeepChangedDuringRun() {
  Keep(std::nullopt, "another program changed it during the update",
       "Run the configuration again.");
}

Handler UpdateRun::VitalHandler(const char* procedureName, const std::string& why) {
  Handler h(module_, procedureName);
  h.OnFailure([this, why](const Failure& f) { Keep(f, why); });
  return h;
}

bool UpdateRun::BeginStepTransaction(Handler& vital, dao::Database& database, bool& own) {
  own = !database.InTransaction();
  if (!own) return true;
  bool begun = false;
  vital.step([&] {
    database.BeginTrans();
    begun = true;
  });
  return begun;
}

void UpdateRun::ReportKept(Handler& h, const std::string& componentPath) {
  h.step([&] {
    std::string description =
        module_.GetFileNameOnly(componentPath) + " was kept unchanged: " + keep_->why + ".";
    if (keep_->cause) description += " " + keep_->cause->description();
    if (!keep_->hint.empty()) description += " " + keep_->hint;
    throw Failure(
        keep_->cause ? keep_->cause->number() : dao::kLocked,
        keep_->cause ? keep_->cause->source() : module_.services().process.ProgramFileName(),
        description);
  });
}

}  // namespace horavex
