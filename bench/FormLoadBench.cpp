// Form_Load on real files: 352 controls with their language texts, five machines with all their
// settings. Every ini read goes to the file (its parsed view is reused while the file is
// unchanged), so this measures the ini store too.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "BenchSupport.h"
#include "platform/FileSystem.h"
#include "platform/IniStore.h"
#include "platform/Process.h"
#include "presetdb/UpdateRun.h"

namespace horavex {
namespace {

namespace fs = std::filesystem;

using bench::BenchProgram;
using bench::ReadFile;
using bench::WriteFile;

// A standalone installation with five machines that use the component.
struct Installation {
  Installation() {
    std::string pattern = (fs::temp_directory_path() / "horavex-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    root = pattern;
    fs::path project = root / "Plant";
    bin = project / "Bin";
    fs::create_directories(bin);
    std::string cfg = "[Project]\r\n";
    std::string ini = "[Project]\r\nNumberOfMachines=5\r\n";
    for (int n = 1; n <= 5; ++n) {
      cfg += "ForMachine" + std::to_string(n) + "=TRUE\r\n";
      ini += "[Machine" + std::to_string(n) + "]\r\nMachineName=Linie " + std::to_string(n) +
             "\r\nHoravexWith3DD=True\r\n";
      for (int k = 1; k <= 16; ++k) {
        ini += "HoravexFormat" + std::to_string(k) + "=" + std::to_string(1 + k % 3) + "\r\n";
      }
    }
    WriteFile(project / "Horavex" / "Horavex.cfg", cfg);
    WriteFile(project / "parameter" / "Program.ini", ini);
  }
  ~Installation() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  fs::path LanguageFile() const { return bin / "Horavex_Config.ini"; }

  void FormLoad() {
    // A standalone load never ends the program.
    BenchProgram program(bin.string(), "");
    program.dialog.Form_Load();
    benchmark::DoNotOptimize(program.dialog.form.controls.data());
  }

  fs::path root;
  fs::path bin;
};

Installation& Shared() {
  static Installation installation;
  return installation;
}

// The German file as the first start leaves it: design captions, "0" for tooltips and help,
// empty captions for the boxes and buttons. Loading it reads every entry and rewrites the
// placeholders with what is already there.
void BM_FormLoad_GermanFileAfterFirstStart(benchmark::State& state) {
  Installation& inst = Shared();
  fs::remove(inst.LanguageFile());
  inst.FormLoad();
  for (auto _ : state) inst.FormLoad();
}
BENCHMARK(BM_FormLoad_GermanFileAfterFirstStart)->Unit(benchmark::kMillisecond);

// A fully translated file: every entry holds a text, so loading only reads.
void BM_FormLoad_FullyTranslatedFile(benchmark::State& state) {
  Installation& inst = Shared();
  fs::remove(inst.LanguageFile());
  inst.FormLoad();
  std::string content = ReadFile(inst.LanguageFile());
  std::string translated;
  std::istringstream lines(content);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() >= 2 && line.substr(line.size() - 2) == "=0") line.pop_back();
    if (!line.empty() && line.back() == '=') line += "Text";
    translated += line + "\r\n";
  }
  WriteFile(inst.LanguageFile(), translated);
  for (auto _ : state) inst.FormLoad();
}
BENCHMARK(BM_FormLoad_FullyTranslatedFile)->Unit(benchmark::kMillisecond);

// A Program.ini of 50 MB: other sections before the machines' own. The file is parsed once per
// start and every lookup after that costs the same.
void BM_FormLoad_FiftyMegabyteProgramIni(benchmark::State& state) {
  Installation& inst = Shared();
  fs::remove(inst.LanguageFile());
  inst.FormLoad();
  fs::path programIni = inst.root / "Plant" / "parameter" / "Program.ini";
  std::string original = ReadFile(programIni);
  std::string large = "[Project]\r\nNumberOfMachines=5\r\n";
  for (int n = 0; large.size() < 50u * 1024 * 1024; ++n) {
    large += "[Other" + std::to_string(n) +
             "]\r\nName=Some other component\r\nValue=" + std::to_string(n) + "\r\n";
  }
  large += original.substr(original.find("[Machine1]"));
  WriteFile(programIni, large);
  for (auto _ : state) inst.FormLoad();
  WriteFile(programIni, original);
}
BENCHMARK(BM_FormLoad_FiftyMegabyteProgramIni)->Unit(benchmark::kMillisecond)->Iterations(2);

// No language file: every one of the 701 entries is written, in one replace of the file.
void BM_FormLoad_FirstStart(benchmark::State& state) {
  Installation& inst = Shared();
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove(inst.LanguageFile());
    state.ResumeTiming();
    inst.FormLoad();
  }
}
BENCHMARK(BM_FormLoad_FirstStart)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace horavex
