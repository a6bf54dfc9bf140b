#include "jet/MdbImport.h"

#include <filesystem>

#include "dao/DatabaseKind.h"
#include "platform/Failure.h"
#include "platform/Isolated.h"

namespace horavex::jet {
namespace {

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

}  // namespace

std::vector<std::string> MdbJetImport::Import(const std::string& source,
                                              const std::string& target) {
  const std::string name = std::filesystem::path(source).filename().string();
  dao::DatabaseKind kind = dao::KindOfDatabaseFile(source);
  if (!dao::IsJet(kind)) {
    throw Failure(dao::kUnrecognizedFormat, kImportSource,
                  name + " is " + dao::DescribeKind(kind) + ", not an Access (Jet) database.");
  }
  // The library trusts the file: a damaged one can make it loop or crash, so it reads in a
  // child process of its own, which also writes the target before it ends.
  IsolatedOutcome outcome = RunIsolated(
      [&] {
        std::vector<std::string> leftOut;
        std::vector<JetTable> tables = ReadJetTables(source);
        for (const JetTable& table : tables) {
          leftOut.insert(leftOut.end(), table.leftOut.begin(), table.leftOut.end());
        }
        WriteTables(tables, target);
        return Joined(leftOut);
      },
      limitSeconds_);
  switch (outcome.kind) {
    case IsolatedOutcome::Kind::kDone:
      return Lines(outcome.message);
    case IsolatedOutcome::Kind::kFailed:
      throw Failure(dao::kUnrecognizedFormat, kImportSource,
                    name + " could not be imported: " + outcome.message + ".");
    case IsolatedOutcome::Kind::kTimedOut:
    case IsolatedOutcome::Kind::kCrashed:
      break;
  }
  throw Failure(dao::kUnrecognizedFormat, kImportSource,
                name + " could not be imported: reading it " + outcome.message +
                    " (the file is probably damaged).");
}

std::vector<std::string> ImportJetFile(FileSystem& files, JetImport& import,
                                       const std::string& source, const std::string& target) {
  if (!files.IsPlainFile(source)) {
    throw Failure(dao::kFileNotFound, kImportSource, "Couldn't find file '" + source + "'.");
  }
  if (files.Stamp(target)) {
    throw Failure(dao::kDatabaseExists, kImportSource,
                  target + " exists already; name a new file as the target.");
  }
  std::unique_ptr<TemporaryFile> temporary = files.CreateTemporaryBeside(target);
  std::vector<std::string> leftOut = import.Import(files.Resolve(source), temporary->path());
  files.ReplaceWith(*temporary, target);
  return leftOut;
}

}  // namespace horavex::jet
