#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/FileSystem.h"
#include "platform/IniStore.h"
#include "standard/StandardModule.h"
#include "support/ScriptedUi.h"
#include "support/TestFileSystem.h"
#include "support/TestProcess.h"

namespace horavex::testing {

// A temporary installation: project folder with parameter/, the component folder Horavex/ and
// the program folder Bin/, removed again at the end of the test. Drive C maps into it.
class Installation {
 public:
  Installation();
  ~Installation();
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;

  std::filesystem::path root;       // holds the project folder and drive C
  std::filesystem::path project;    // root/Plant
  std::filesystem::path bin;        // project/Bin: the program folder
  std::filesystem::path component;  // project/Horavex
  std::filesystem::path parameter;  // project/parameter
  std::filesystem::path driveC;     // root/drive_c

  TestProcess process;
  TestFileSystem files;
  std::unique_ptr<IniStore> ini;
  ScriptedUi ui;
  StandardModule module;

  // Writes a file (bytes as given), creating its folders.
  void Write(const std::filesystem::path& path, const std::string& bytes) const;
  // The file's content, or "" when it does not exist.
  std::string Read(const std::filesystem::path& path) const;
  bool Exists(const std::filesystem::path& path) const;

  std::filesystem::path ErrorLog() const { return project / "Q4Tcfglog.txt"; }
  std::filesystem::path ServicePackLog() const { return driveC / "PakroServicePack.log"; }
  std::filesystem::path Cfg() const { return component / "Horavex.cfg"; }
  std::filesystem::path ProgramIni() const { return parameter / "Program.ini"; }
  std::filesystem::path ConfigIni() const { return parameter / "q4tconfiguration.ini"; }
};

}  // namespace horavex::testing
