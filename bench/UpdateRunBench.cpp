// The preset database update on real files: a silent OK start (Form_Load up to the end of the
// process) in a temporary standalone installation with five machines, against a plain SQLite
// baseline that does the same database work in one transaction with prepared statements.
//
//   UpdateRunBench [--repeat N] [--rows R[,R...]]
//
// R is the number of template rows; each size generates 5 x R records. The figures are the
// best of N runs per size (default 3). Every run starts on freshly built files, and its result
// is checked record by record after the timing; a run that did not do the whole work aborts the
// benchmark. The full run and the baseline each run in a process of their own (this program,
// started again with --full-run or --baseline-run), so that the full run's peak memory (maximum
// resident size) is its own and both start alike.

#include <sqlite3.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "BenchSupport.h"
#include "app/TopLevel.h"
#include "platform/FileSystem.h"
#include "platform/IniStore.h"
#include "platform/Process.h"
#include "platform/UiServices.h"
#include "presetdb/UpdateRun.h"
#include "standard/StandardModule.h"

namespace horavex {
namespace {

namespace fs = std::filesystem;
using bench::BenchProgram;
using bench::ProcessEnded;
using bench::ReadFile;
using bench::WriteFile;
using Clock = std::chrono::steady_clock;

constexpr int kMachines = 5;

[[noreturn]] void Abort(const std::string& message) {
  std::fprintf(stderr, "UpdateRunBench: %s\n", message.c_str());
  std::exit(1);
}

// --- plain SQLite ------------------------------------------------------------------------------

class Sqlite {
 public:
  Sqlite(const fs::path& path, int flags) {
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
      Fail("open " + path.string());
    }
  }
  ~Sqlite() { sqlite3_close_v2(db_); }
  Sqlite(const Sqlite&) = delete;
  Sqlite& operator=(const Sqlite&) = delete;

  sqlite3* get() const { return db_; }
  void Exec(const std::string& sql) {
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
  }
  [[noreturn]] void Fail(const std::string& what) const {
    Abort(what + ": " + sqlite3_errmsg(db_));
  }

 private:
  sqlite3* db_ = nullptr;
};

class Statement {
 public:
  Statement(Sqlite& db, const std::string& sql) : db_(db) {
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &statement_, nullptr) != SQLITE_OK) {
      db.Fail(sql);
    }
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int position, int64_t value) {
    Check(sqlite3_bind_int64(statement_, position, value));
    return *this;
  }
  Statement& Bind(int position, double value) {
    Check(sqlite3_bind_double(statement_, position, value));
    return *this;
  }
  Statement& Bind(int position, std::string_view value) {
    Check(
        sqlite3_bind_text(statement_, position, value.data(), int(value.size()), SQLITE_TRANSIENT));
    return *this;
  }
  // True for a row, false when done.
  bool Step() {
    int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) db_.Fail(sqlite3_sql(statement_));
    return false;
  }
  void Reset() { sqlite3_reset(statement_); }
  int64_t Integer(int column) const { return sqlite3_column_int64(statement_, column); }
  double Double(int column) const { return sqlite3_column_double(statement_, column); }
  std::string Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    return text == nullptr ? std::string()
                           : std::string(text, size_t(sqlite3_column_bytes(statement_, column)));
  }

 private:
  void Check(int rc) {
    if (rc != SQLITE_OK) db_.Fail(sqlite3_sql(statement_));
  }
  Sqlite& db_;
  sqlite3_stmt* statement_ = nullptr;
};

// --- the data ----------------------------------------------------------------------------------

constexpr const char* kPresetColumns =
    "ID INTEGER, part SMALLINT, machine_type TEXT(50), type SMALLINT, var_name TEXT(100), "
    "category_id INTEGER, isBitArray BIT, offset_or_bitno INTEGER, text TEXT(255), "
    "page_name TEXT(50), abs_min DOUBLE, abs_max DOUBLE, min DOUBLE, max DOUBLE, pass SMALLINT";

// Variable-name patterns of Source_DEFS by system (0 VISIWIN32, 1 VISIWINSTUDIO) and part.
constexpr const char* kPatterns[2][2] = {
    {"###machine.Timer.###Var_Name", "###machine.Counter.###Var_Name"},
    {"Ns1.PLC.###machine.Timer.###Var_Name", "Ns1.PLC.###machine.Counter.###Var_Name"}};

struct PresetRecord {
  int64_t id = 0;
  int64_t part = 0;
  std::string machineType;
  int64_t type = 0;
  std::string varName;
  int64_t categoryId = 0;
  int64_t isBitArray = 0;
  int64_t offset = 0;
  std::string text;
  std::string pageName;
  double absMin = 0, absMax = 0, min = 0, max = 0;
  int64_t pass = 0;
};

std::string MachineName(int machine) {
  return "Linie " + std::to_string(machine);
}

// Template row r (from 1): unique variable names, both parts, texts with the machine marker.
PresetRecord TemplateRow(int r) {
  PresetRecord row;
  char name[32];
  std::snprintf(name, sizeof name, "V%05d_Value", r);
  row.id = r;
  row.part = 1 + r % 2;
  row.machineType = "PRESS";
  row.type = row.part == 1 ? 3 : 4;
  row.varName = name;
  row.categoryId = 1 + r % 4;
  row.offset = 2 * int64_t(r);
  row.text = "Value " + std::to_string(r) + " ###machine";
  row.pageName = "Page" + std::to_string(r % 8);
  row.absMax = 600;
  row.max = 60;
  row.pass = 2;
  return row;
}

std::string ReplaceFirst(std::string text, std::string_view marker, std::string_view by) {
  size_t at = text.find(marker);
  if (at != std::string::npos) text.replace(at, marker.size(), by);
  return text;
}

// The record the run generates from template row r for machine m, with the values of the
// earlier component database taken over. Ids count from 1 over machines, then rows.
PresetRecord ExpectedRecord(int machine, int r, int rows) {
  PresetRecord record = TemplateRow(r);
  record.id = int64_t(machine - 1) * rows + r;
  record.varName =
      ReplaceFirst(ReplaceFirst(kPatterns[0][record.part - 1], "###Var_Name", record.varName),
                   "###machine", MachineName(machine));
  record.text = ReplaceFirst(record.text, "###machine", MachineName(machine));
  record.absMin = -machine;
  record.absMax = 1000 + r;
  record.min = 0.5 * machine;
  record.max = 100 + r;
  record.pass = 3 + (r + machine) % 5;  // never the template's 2
  return record;
}

void BindRecord(Statement& insert, const PresetRecord& p) {
  insert.Bind(1, p.id).Bind(2, p.part).Bind(3, p.machineType).Bind(4, p.type).Bind(5, p.varName);
  insert.Bind(6, p.categoryId).Bind(7, p.isBitArray).Bind(8, p.offset).Bind(9, p.text);
  insert.Bind(10, p.pageName).Bind(11, p.absMin).Bind(12, p.absMax).Bind(13, p.min);
  insert.Bind(14, p.max).Bind(15, p.pass);
}

std::string Placeholders(int count) {
  std::string marks;
  for (int i = 1; i <= count; ++i) marks += (i > 1 ? ", ?" : "?") + std::to_string(i);
  return marks;
}

// The template database: the variable-name patterns and the template rows.
void BuildTemplate(const fs::path& path, int rows) {
  Sqlite db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  db.Exec("PRAGMA synchronous = OFF");
  db.Exec("BEGIN");
  db.Exec(
      "CREATE TABLE Source_DEFS (ID INTEGER, System TEXT(50), Part INTEGER, Var_Name TEXT(255))");
  Statement pattern(db, "INSERT INTO Source_DEFS VALUES (" + Placeholders(4) + ")");
  const char* systems[2] = {"VisiWin32", "VisiWinStudio"};
  for (int s = 0; s < 2; ++s) {
    for (int part = 1; part <= 2; ++part) {
      pattern.Bind(1, int64_t(2 * s + part)).Bind(2, systems[s]).Bind(3, int64_t(part));
      pattern.Bind(4, kPatterns[s][part - 1]).Step();
      pattern.Reset();
    }
  }
  db.Exec(std::string("CREATE TABLE Source_PRESET_DEFS (") + kPresetColumns + ")");
  Statement insert(db, "INSERT INTO Source_PRESET_DEFS VALUES (" + Placeholders(15) + ")");
  for (int r = 1; r <= rows; ++r) {
    BindRecord(insert, TemplateRow(r));
    insert.Step();
    insert.Reset();
  }
  db.Exec("COMMIT");
}

// The component database as an earlier run left it: a record for every record the run will
// generate, with other limits and pass levels.
void BuildComponent(const fs::path& path, int rows) {
  Sqlite db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  db.Exec("PRAGMA synchronous = OFF");
  db.Exec("BEGIN");
  db.Exec(std::string("CREATE TABLE PRESET_DEFS (") + kPresetColumns + ")");
  Statement insert(db, "INSERT INTO PRESET_DEFS VALUES (" + Placeholders(15) + ")");
  for (int m = 1; m <= kMachines; ++m) {
    for (int r = 1; r <= rows; ++r) {
      BindRecord(insert, ExpectedRecord(m, r, rows));
      insert.Step();
      insert.Reset();
    }
  }
  db.Exec("COMMIT");
}

// Checks every record of PRESET_DEFS against what the run should have left: the generated
// fields and the taken-over values. Aborts with the first differences.
void VerifyPresets(const fs::path& path, int rows, const std::string& what) {
  Sqlite db(path, SQLITE_OPEN_READONLY);
  Statement count(db, "SELECT count(*) FROM PRESET_DEFS");
  count.Step();
  int64_t records = count.Integer(0);
  if (records != int64_t(kMachines) * rows) {
    Abort(what + ": PRESET_DEFS of " + path.string() + " holds " + std::to_string(records) +
          " records, expected " + std::to_string(kMachines * rows));
  }
  Statement read(db,
                 "SELECT ID, part, machine_type, type, var_name, category_id, isBitArray, "
                 "offset_or_bitno, text, page_name, abs_min, abs_max, min, max, pass "
                 "FROM PRESET_DEFS ORDER BY ID");
  int64_t wrong = 0;
  std::string first;
  for (int m = 1; m <= kMachines; ++m) {
    for (int r = 1; r <= rows; ++r) {
      if (!read.Step()) Abort(what + ": PRESET_DEFS ends early");
      PresetRecord e = ExpectedRecord(m, r, rows);
      bool same =
          read.Integer(0) == e.id && read.Integer(1) == e.part && read.Text(2) == e.machineType &&
          read.Integer(3) == e.type && read.Text(4) == e.varName &&
          read.Integer(5) == e.categoryId && read.Integer(6) == e.isBitArray &&
          read.Integer(7) == e.offset && read.Text(8) == e.text && read.Text(9) == e.pageName &&
          read.Double(10) == e.absMin && read.Double(11) == e.absMax && read.Double(12) == e.min &&
          read.Double(13) == e.max && read.Integer(14) == e.pass;
      if (!same && ++wrong <= 3) {
        first += "\n  ID " + std::to_string(read.Integer(0)) + " " + read.Text(4) + " pass " +
                 std::to_string(read.Integer(14)) + ", expected ID " + std::to_string(e.id) + " " +
                 e.varName + " pass " + std::to_string(e.pass);
      }
    }
  }
  if (wrong > 0) {
    Abort(what + ": " + std::to_string(wrong) + " records of " + path.string() +
          " differ from the expected ones:" + first);
  }
}

// --- the installation --------------------------------------------------------------------------

// Thrown by BenchProcess::EndNow in place of the end of the process; no handler of the program
// takes it for a failure, since it is not a std::exception.
// A standalone installation with five machines that all use the component, its databases
// freshly built, drive C inside it. Removed again at the end.
struct Installation {
  explicit Installation(int rows) {
    std::string pattern = (fs::temp_directory_path() / "horavex-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) Abort("mkdtemp failed in " + pattern);
    root = pattern;
    project = root / "Plant";
    bin = project / "Bin";
    component = project / "Horavex";
    driveC = root / "drive_c";
    for (const fs::path& folder : {bin, component, project / "parameter", driveC, Baseline()}) {
      fs::create_directories(folder);
    }
    ::setenv("CFG_DRIVE_C", driveC.c_str(), 1);

    std::string cfg = "[Project]\r\n";
    std::string ini = "[Project]\r\nNumberOfMachines=5\r\nVWStudio=False\r\n";
    std::string config = "[Common]\r\n";
    for (int n = 1; n <= kMachines; ++n) {
      cfg += "ForMachine" + std::to_string(n) + "=True\r\n";
      ini += "[Machine" + std::to_string(n) + "]\r\nMachineName=" + MachineName(n) +
             "\r\nHoravexWith3DD=False\r\n";
      for (int k = 1; k <= 16; ++k) {
        ini += "HoravexFormat" + std::to_string(k) + "=" + std::to_string(1 + k % 3) + "\r\n";
      }
      config += "NameM" + std::to_string(n) + "=" + MachineName(n) + "\r\n";
    }
    cfg += "DataBaseAdditionalFields=\r\n\r\n[Info]\r\n";
    config += "SaveAndRestore=" + (root / "SaveAndRestore").string() + "/\r\n";
    WriteFile(component / "Horavex.cfg", cfg);
    WriteFile(project / "parameter" / "Program.ini", ini);
    WriteFile(project / "parameter" / "q4tconfiguration.ini", config);

    BuildTemplate(Source(), rows);
    BuildComponent(Earlier(), rows);
    fs::copy_file(Source(), Baseline() / "Horavex_Source.mdb");

    // The language file as the first start leaves it, so that the timed start only reads it.
    BenchProgram(bin.string(), "").dialog.LoadToolTipTexts();
    // As an installation has them: written well before the configuration starts, not within
    // the last moments, when a reader cannot tell a file from a later rewrite of it by its time.
    auto before = fs::file_time_type::clock::now() - std::chrono::minutes(10);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (entry.is_regular_file()) fs::last_write_time(entry.path(), before);
    }
  }
  ~Installation() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;

  fs::path Source() const { return component / "Horavex_Source.mdb"; }
  fs::path Earlier() const { return component / "Horavex.mdb"; }
  fs::path Baseline() const { return root / "baseline"; }

  // Aborts when the run reported anything: silent failures go to these two logs.
  void CheckNoReports() const {
    for (const fs::path& log : {project / "Q4Tcfglog.txt", driveC / "PakroServicePack.log"}) {
      if (fs::exists(log))
        Abort("the run reported failures in " + log.string() + ":\n" + ReadFile(log));
    }
  }

  fs::path root, project, bin, component, driveC;
};

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// Processor time of this process so far (user and system), in seconds.
double ProcessorSeconds() {
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// --- the timed work ----------------------------------------------------------------------------

// A silent start "/EXTERNAL SILENT" as main() runs it: Form_Load runs OK, which updates the
// databases, writes the settings and ends the process. Run in the process started for it.
double TimeFullRunHere(const std::string& programFolder) {
  double processorStart = ProcessorSeconds();
  Clock::time_point start = Clock::now();
  int exitCode = -1;
  {
    BenchProgram program(programFolder, "/EXTERNAL SILENT");
    try {
      RunTopLevel(program.dialog, [&] { program.dialog.Form_Load(); });
      if (program.module.SilentMode) program.process.EndNow(kExitEndedOnError);
    } catch (const ProcessEnded& end) {
      exitCode = end.exitCode;
    }
  }
  double seconds = Seconds(Clock::now() - start);
  if (exitCode != kExitOk) {
    Abort("the silent start ended with exit code " + std::to_string(exitCode) + " in " +
          programFolder);
  }
  std::fprintf(stderr, "  full run: %.4f s, processor %.4f s\n", seconds,
               ProcessorSeconds() - processorStart);
  return seconds;
}

// How this program was started, to start it again for a full run.
std::string selfPath = "/proc/self/exe";

struct ChildRun {
  double seconds = 0;
  double peakMegabytes = 0;
};

// This program started again with the arguments, in a new process: the time it measured (its
// output) and its peak resident size. The full run and the baseline both run so, on equal terms:
// a fresh process has none of the memory that building the installation left behind.
ChildRun RunChild(const std::vector<std::string>& arguments) {
  int out[2];
  if (::pipe(out) != 0) Abort("pipe failed");
  pid_t child = ::fork();
  if (child < 0) Abort("fork failed");
  if (child == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::close(out[0]);
    ::close(out[1]);
    std::vector<char*> argv = {const_cast<char*>("UpdateRunBench")};
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(selfPath.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  std::string reply;
  char buffer[256];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) != 0;) {
    if (n > 0) reply.append(buffer, size_t(n));
    if (n < 0 && errno != EINTR) break;
  }
  ::close(out[0]);
  int status = 0;
  struct rusage usage {};
  if (::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    Abort("the run " + arguments.front() + " " + arguments.back() + " failed");
  }
  ChildRun run;
  run.seconds = std::stod(reply);
  run.peakMegabytes = double(usage.ru_maxrss) / 1024.0;  // KiB on Linux
  return run;
}

// The same database work in plain SQLite, on a copy of the template: read the patterns and
// template rows, create PRESET_DEFS, insert the generated records, then write the five values of
// every earlier record into its match, all in one transaction with prepared statements. Matches
// are found through an in-memory map from (machine_type, var_name, offset_or_bitno), compared
// exactly, to the rowid that the insert returned; the update goes by rowid. Opening, commit and
// close are timed; the file copy and the ini work of the full run are not part of it.
double TimeBaselineHere(const fs::path& workPath, const fs::path& earlierPath) {
  double processorStart = ProcessorSeconds();
  Clock::time_point start = Clock::now();
  int64_t updated = 0, earlierRecords = 0;
  {
    Sqlite work(workPath, SQLITE_OPEN_READWRITE);
    Sqlite earlier(earlierPath, SQLITE_OPEN_READONLY);
    work.Exec("BEGIN");

    std::string patterns[2][2];
    Statement readPatterns(work, "SELECT upper(System), Part, Var_Name FROM Source_DEFS");
    while (readPatterns.Step()) {
      int system = readPatterns.Text(0) == "VISIWINSTUDIO" ? 1 : 0;
      int64_t part = readPatterns.Integer(1);
      if (part >= 1 && part <= 2) patterns[system][part - 1] = readPatterns.Text(2);
    }

    std::vector<PresetRecord> templateRows;
    Statement readTemplate(work,
                           "SELECT ID, part, machine_type, type, var_name, category_id, "
                           "isBitArray, offset_or_bitno, text, page_name, abs_min, abs_max, min, "
                           "max, pass FROM Source_PRESET_DEFS ORDER BY ID");
    while (readTemplate.Step()) {
      PresetRecord row;
      row.id = readTemplate.Integer(0);
      row.part = readTemplate.Integer(1);
      row.machineType = readTemplate.Text(2);
      row.type = readTemplate.Integer(3);
      row.varName = readTemplate.Text(4);
      row.categoryId = readTemplate.Integer(5);
      row.isBitArray = readTemplate.Integer(6);
      row.offset = readTemplate.Integer(7);
      row.text = readTemplate.Text(8);
      row.pageName = readTemplate.Text(9);
      row.absMin = readTemplate.Double(10);
      row.absMax = readTemplate.Double(11);
      row.min = readTemplate.Double(12);
      row.max = readTemplate.Double(13);
      row.pass = readTemplate.Integer(14);
      templateRows.push_back(std::move(row));
    }

    work.Exec(std::string("CREATE TABLE PRESET_DEFS (") + kPresetColumns + ")");
    auto key = [](const std::string& machineType, const std::string& varName, int64_t offset) {
      return machineType + '\0' + varName + '\0' + std::to_string(offset);
    };
    std::unordered_map<std::string, int64_t> rowidByKey;
    rowidByKey.reserve(templateRows.size() * kMachines);
    Statement insert(work, "INSERT INTO PRESET_DEFS VALUES (" + Placeholders(15) + ")");
    int64_t id = 0;
    for (int m = 1; m <= kMachines; ++m) {
      for (const PresetRecord& row : templateRows) {
        PresetRecord record = row;
        record.id = ++id;
        record.varName =
            ReplaceFirst(ReplaceFirst(patterns[0][row.part - 1], "###Var_Name", row.varName),
                         "###machine", MachineName(m));
        record.text = ReplaceFirst(row.text, "###machine", MachineName(m));
        BindRecord(insert, record);
        insert.Step();
        insert.Reset();
        rowidByKey.emplace(key(record.machineType, record.varName, record.offset),
                           sqlite3_last_insert_rowid(work.get()));
      }
    }

    Statement readEarlier(earlier,
                          "SELECT machine_type, var_name, offset_or_bitno, abs_min, abs_max, min, "
                          "max, pass FROM PRESET_DEFS");
    Statement update(work,
                     "UPDATE PRESET_DEFS SET abs_min = ?1, abs_max = ?2, min = ?3, max = ?4, "
                     "pass = ?5 WHERE rowid = ?6");
    while (readEarlier.Step()) {
      ++earlierRecords;
      auto found =
          rowidByKey.find(key(readEarlier.Text(0), readEarlier.Text(1), readEarlier.Integer(2)));
      if (found == rowidByKey.end()) continue;
      update.Bind(1, readEarlier.Double(3)).Bind(2, readEarlier.Double(4));
      update.Bind(3, readEarlier.Double(5)).Bind(4, readEarlier.Double(6));
      update.Bind(5, readEarlier.Integer(7)).Bind(6, found->second);
      update.Step();
      update.Reset();
      updated += sqlite3_changes(work.get());
    }
    work.Exec("COMMIT");
  }
  double seconds = Seconds(Clock::now() - start);
  std::fprintf(stderr, "  baseline: %.4f s, processor %.4f s\n", seconds,
               ProcessorSeconds() - processorStart);
  if (updated != earlierRecords) {
    Abort("the baseline updated " + std::to_string(updated) + " of " +
          std::to_string(earlierRecords) + " records");
  }
  return seconds;
}

struct Measurement {
  int records = 0;
  double full = std::numeric_limits<double>::infinity();
  double baseline = std::numeric_limits<double>::infinity();
  double peakMegabytes = 0;  // the largest of the runs
};

// The best of the repetitions, each on a fresh installation; results checked after the timing.
Measurement Measure(int rows, int repeat) {
  Measurement best;
  best.records = kMachines * rows;
  for (int k = 1; k <= repeat; ++k) {
    std::fprintf(stderr, "%d records, run %d of %d\n", best.records, k, repeat);
    Installation inst(rows);
    ChildRun baseline =
        RunChild({"--baseline-run", (inst.Baseline() / "Horavex_Source.mdb").string(),
                  inst.Earlier().string()});
    ChildRun full = RunChild({"--full-run", inst.bin.string()});
    inst.CheckNoReports();
    VerifyPresets(inst.Earlier(), rows, "full run");
    VerifyPresets(inst.Baseline() / "Horavex_Source.mdb", rows, "baseline");
    best.full = std::min(best.full, full.seconds);
    best.baseline = std::min(best.baseline, baseline.seconds);
    best.peakMegabytes = std::max(best.peakMegabytes, full.peakMegabytes);
  }
  return best;
}

[[noreturn]] void Usage() {
  std::fprintf(stderr,
               "usage: UpdateRunBench [--repeat N] [--rows R[,R...]]\n"
               "  R template rows per size, 1 to 6553 (5 x R records); default 1638,3276,6553\n"
               "  N runs per size, the best counts; default 3\n");
  std::exit(2);
}

int ParseCount(const std::string& text, int low, int high) {
  size_t used = 0;
  int value = 0;
  try {
    value = std::stoi(text, &used);
  } catch (const std::exception&) {
    Usage();
  }
  if (used != text.size() || value < low || value > high) Usage();
  return value;
}

}  // namespace
}  // namespace horavex

int main(int argc, char** argv) {
  using namespace horavex;
  // 5 x 6553 = 32765 records: the most that the 16-bit ID counter gives out.
  std::vector<int> sizes = {1638, 3276, 6553};
  int repeat = 3;
  if (std::string(argv[0]).find('/') != std::string::npos) selfPath = argv[0];
  if (argc == 4 && std::string(argv[1]) == "--baseline-run") {
    std::printf("%.9f\n", TimeBaselineHere(argv[2], argv[3]));
    return 0;
  }
  if (argc == 3 && std::string(argv[1]) == "--full-run") {
    std::printf("%.9f\n", TimeFullRunHere(argv[2]));
    return 0;
  }
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--repeat" && i + 1 < argc) {
      repeat = ParseCount(argv[++i], 1, 100);
    } else if (arg == "--rows" && i + 1 < argc) {
      sizes.clear();
      std::stringstream list(argv[++i]);
      for (std::string item; std::getline(list, item, ',');) {
        sizes.push_back(ParseCount(item, 1, 6553));
      }
      if (sizes.empty()) Usage();
    } else {
      Usage();
    }
  }

  // A start with a single template row shows the fixed costs that every run has.
  Measurement fixed = Measure(1, repeat);
  std::vector<Measurement> results;
  for (int rows : sizes) results.push_back(Measure(rows, repeat));

  std::printf("Preset database update, %d machines, best of %d run%s per size (wall clock)\n\n",
              kMachines, repeat, repeat == 1 ? "" : "s");
  std::printf(
      "| records | full run s | full run records/s | baseline s | baseline records/s | "
      "ratio full/baseline | full run µs/record | full run peak MB |\n"
      "|--------:|-----------:|-------------------:|-----------:|-------------------:|"
      "--------------------:|-------------------:|-----------------:|\n");
  // Per record over the whole run, and net of the fixed costs of a start.
  double lowest = std::numeric_limits<double>::infinity(), highest = 0;
  double lowestNet = lowest, highestNet = 0;
  for (const Measurement& m : results) {
    double perRecord = m.full / m.records * 1e6;
    double net = m.records > fixed.records
                     ? (m.full - fixed.full) / (m.records - fixed.records) * 1e6
                     : perRecord;
    lowest = std::min(lowest, perRecord);
    highest = std::max(highest, perRecord);
    lowestNet = std::min(lowestNet, net);
    highestNet = std::max(highestNet, net);
    std::printf("| %d | %.3f | %.0f | %.4f | %.0f | %.2f | %.1f | %.1f |\n", m.records, m.full,
                m.records / m.full, m.baseline, m.records / m.baseline, m.full / m.baseline,
                perRecord, m.peakMegabytes);
  }
  std::printf(
      "\nFull run µs per record across sizes: %.1f to %.1f, spread %.1f %% ((max - min) / "
      "min)\n",
      lowest, highest, (highest - lowest) / lowest * 100);
  std::printf("Fixed costs (a start with %d records): full run %.3f s, baseline %.4f s\n",
              fixed.records, fixed.full, fixed.baseline);
  std::printf("Full run µs per record net of the fixed costs: %.1f to %.1f, spread %.1f %%\n",
              lowestNet, highestNet, (highestNet - lowestNet) / lowestNet * 100);
  return 0;
}
