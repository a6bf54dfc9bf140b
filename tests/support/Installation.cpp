#include "support/Installation.h"

#include <fstream>
#include <sstream>

namespace horavex::testing {
namespace {

std::filesystem::path MakeRoot() {
  return MakeTemporaryFolder("horavex-test-");
}

}  // namespace

Installation::Installation()
    : root(MakeRoot()),
      project(root / "Plant"),
      bin(project / "Bin"),
      component(project / "Horavex"),
      parameter(project / "parameter"),
      driveC(root / "drive_c"),
      ini(std::make_unique<ProfileIniStore>(files)),
      module(Services{process, files, *ini, ui}) {
  for (const auto& folder : {bin, component, parameter, driveC}) {
    std::filesystem::create_directories(folder);
  }
  SetEnvironment("CFG_DRIVE_C", driveC.string());
  process.programFolder = bin.string();
  Write(Cfg(), "[Project]\r\n");
}

Installation::~Installation() {
  std::error_code ec;
  std::filesystem::permissions(root, std::filesystem::perms::owner_all, ec);
  std::filesystem::remove_all(root, ec);
}

void Installation::Write(const std::filesystem::path& path, const std::string& bytes) const {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string Installation::Read(const std::filesystem::path& path) const {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool Installation::Exists(const std::filesystem::path& path) const {
  return std::filesystem::exists(path);
}

}  // namespace horavex::testing
