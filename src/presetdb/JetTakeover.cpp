// The first run in an installation moved from the Windows program, whose databases are Access
// (Jet) files: the earlier database is imported into the takeover's snapshot, and replaced by
// this program's file as any earlier database is. The program itself never writes Jet.
#include "dao/DatabaseKind.h"
#include "platform/Failure.h"
#include "presetdb/UpdateRun.h"

namespace horavex {
namespace {

std::string Quoted(const std::string& path) {
  std::string quoted = "'";
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

bool UpdateRun::ReportJetTemplate(Handler& h, const std::string& sourcePath,
                                  const std::string& componentPath) {
  FileSystem& files = module_.services().files;
  const std::string resolved = files.Resolve(sourcePath);
  dao::DatabaseKind kind = dao::KindOfDatabaseFile(resolved);
  if (!dao::IsJet(kind)) return false;
  const std::string name = module_.GetFileNameOnly(resolved);
  const std::string folder = resolved.substr(0, resolved.size() - name.size());
  const std::string original = folder + name + ".jet";
  const std::string command = "mv " + Quoted(resolved) + " " + Quoted(original) + " && " +
                              Quoted(module_.ProgramFolder() + "/Horavex_ImportJet") + " " +
                              Quoted(original) + " " + Quoted(resolved);
  Keep(Failure(dao::kUnrecognizedFormat, jet::kImportSource,
               name + " is " + dao::DescribeKind(kind) +
                   ": convert it once with Horavex_ImportJet: " + command),
       "the template is an Access database");
  ReportKept(h, componentPath);
  return true;
}

void UpdateRun::ImportTakeoverSource(const std::string& path, bool isComponent,
                                     TakeoverSnapshot& snapshot) {
  FileSystem& files = module_.services().files;
  const std::string resolved = files.Resolve(path);
  const std::string name = module_.GetFileNameOnly(resolved);
  const std::string why = "the earlier records in " + name + ", " +
                          dao::DescribeKind(dao::KindOfDatabaseFile(resolved)) +
                          ", could not be read";
  try {
    if (jetImport == nullptr) {
      throw Failure(dao::kUnrecognizedFormat, jet::kImportSource,
                    "This build of the program has no importer of Access databases.");
    }
    std::optional<FileStamp> stamp = files.Stamp(path);
    jetImport->Import(resolved, snapshot.copy->path());
    if (isComponent) snapshot.jetComponentStamp = stamp;
  } catch (const Failure& f) {
    snapshot.copy.reset();
    Keep(f, why, "Remove or repair " + name + " to start afresh.");
  }
}

bool UpdateRun::JetComponentUnchanged(const std::string& componentPath,
                                      const TakeoverSnapshot& snapshot) {
  // Nothing on these machines writes Access files, so no lock guards one; its stamp tells
  // whether it changed since the takeover imported it.
  if (snapshot.jetComponentStamp &&
      module_.services().files.Stamp(componentPath) != snapshot.jetComponentStamp) {
    KeepChangedDuringRun();
    return false;
  }
  return true;
}

}  // namespace horavex
