#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <sstream>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/IniStore.h"
#include "platform/Text.h"
#include "platform/win32/ProfileApiIniStore.h"
#include "support/TestFileSystem.h"

// Our ini store against the system's profile API: the same operations on the same files through
// both, every answer and the files afterwards compared. Differences with a known reason (listed
// in the README) are reported; any other fails.
namespace horavex {
namespace {

namespace fs = std::filesystem;

struct Operation {
  enum Kind { kGet, kGetInt, kWrite } kind;
  std::string section, entry, value;  // value: the default of a read, the text of a write
};

struct Case {
  std::string name;
  std::optional<std::string> file;  // nothing: no file there
  std::vector<Operation> operations;
};

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void Put(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// What a file says: its lines trimmed, without blank ones, the blanks around "=" dropped.
std::vector<std::string> Said(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string line;
  auto flush = [&] {
    std::string trimmed = text::TrimBlanks(line);
    size_t equals = trimmed.find('=');
    size_t close = trimmed.rfind(']');
    if (!trimmed.empty() && trimmed[0] == '[' && close != std::string::npos) {
      trimmed = "[" + text::TrimBlanks(trimmed.substr(1, close - 1)) + "]";
    } else if (!trimmed.empty() && trimmed[0] != ';' && equals != std::string::npos) {
      trimmed = text::TrimBlanks(trimmed.substr(0, equals)) + "=" +
                text::TrimBlanks(trimmed.substr(equals + 1));
    }
    if (!trimmed.empty()) lines.push_back(trimmed);
    line.clear();
  };
  for (char c : bytes) {
    if (c == '\r' || c == '\n') {
      flush();
    } else {
      line += c == '\t' ? ' ' : c;
    }
  }
  flush();
  return lines;
}

// The reason of a known difference, or "" for an unknown one.
std::string KnownReadDifference(const Operation& op, const std::string& system) {
  if (!text::IsAscii(op.section + op.entry) && system == op.value) {
    return "Wine matches the non-ASCII letters of a name in their own case only";
  }
  return "";
}

std::vector<std::string> WithoutComments(std::vector<std::string> lines) {
  std::erase_if(lines, [](const std::string& line) { return line[0] == ';'; });
  return lines;
}

std::string KnownFileDifference(const std::string& ours, const std::string& system) {
  std::vector<std::string> a = Said(ours), b = Said(system);
  if (a == b) {
    return "Wine writes the whole file anew from what it parsed: blank lines, the blanks "
           "around \"=\" and inside \"[ ]\" go, line breaks become CR LF";
  }
  if (WithoutComments(a) == WithoutComments(b) &&
      std::is_permutation(a.begin(), a.end(), b.begin(), b.end())) {
    return "Wine counts a comment line as an entry: a new entry goes after the comments that "
           "end a section, where ours keeps them after it";
  }
  return "";
}

std::vector<Case> FixedCases() {
  using O = Operation;
  return {
      {"values, quotes and blanks",
       "[S]\r\nk1 = v1 \r\nk2=\"q\"\r\nk3='q'\r\n  k4\t=\t\tx y\t\r\nk5\r\n",
       {O{O::kGet, "S", "k1", "d"}, O{O::kGet, "s", "K2", "d"}, O{O::kGet, "S", "k3", "d"},
        O{O::kGet, "S", "k4", "d"}, O{O::kGet, "S", "k5", "d"}, O{O::kGet, "S", "k6", "d "}}},
      {"numbers",
       "[N]\r\na=12\r\nb=-3\r\nc=0x10\r\nd=12abc\r\ne=\r\nf=abc\r\n",
       {O{O::kGetInt, "N", "a", "7"}, O{O::kGetInt, "N", "b", "7"}, O{O::kGetInt, "N", "c", "7"},
        O{O::kGetInt, "N", "d", "7"}, O{O::kGetInt, "N", "e", "7"}, O{O::kGetInt, "N", "f", "7"},
        O{O::kGetInt, "N", "g", "7"}}},
      {"writes into an existing file",
       "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n",
       {O{O::kWrite, "A", "x", "10"}, O{O::kWrite, "A", "z", "3"}, O{O::kWrite, "C", "w", "4"},
        O{O::kWrite, "b", "Y", "20"}, O{O::kGet, "A", "z", "d"}, O{O::kGet, "C", "w", "d"}}},
      {"a new file",
       std::nullopt,
       {O{O::kWrite, "S1", "a", "1"}, O{O::kWrite, "S1", "b", "2"}, O{O::kWrite, "S2", "c", "3"},
        O{O::kGet, "S1", "b", "d"}}},
      {"duplicates and lines outside a section",
       "k=0\r\n[D]\r\nk=1\r\nk=2\r\n[D]\r\nk=3\r\nj=4\r\n",
       {O{O::kGet, "D", "k", "d"}, O{O::kGet, "D", "j", "d"}, O{O::kWrite, "D", "k", "9"},
        O{O::kGet, "D", "k", "d"}}},
      {"Windows-1252 text",
       "[\xC4rger]\r\n\xFC"
       "ber=gr\xFC\xDF"
       "e\r\n",
       {O{O::kGet, "\xC3\x84rger",
          "\xC3\xBC"
          "ber",
          "d"},
        O{O::kGet, "\xC3\xA4rger",
          "\xC3\xBC"
          "ber",
          "d"},
        O{O::kWrite, "\xC3\x84rger", "neu", "\xC3\xA9t\xC3\xA9"},
        O{O::kGet, "\xC3\x84RGER", "NEU", "d"}}},
  };
}

// Files of lines drawn from the shapes the installations' files have, with reads and writes.
std::vector<Case> RandomCases(int count) {
  static const char* kLines[] = {"[S1]", "[s2]", " [ S3 ] ", "k1=v",     "K1 = w ",
                                 "k2",   ";c=1", "",         "k3=\"q\"", "\tk4\t=\tz\t",
                                 "k2=",  "[S1]", "k5=a b"};
  static const char* kSections[] = {"S1", "S2", "S3", "S4"};
  static const char* kEntries[] = {"k1", "k2", "k3", "k4", "k5", "k6"};
  static const char* kValues[] = {"1", "a b", "", "-7", "x=y"};
  std::mt19937 random(20240521);
  auto pick = [&](auto& list) { return std::string(list[random() % std::size(list)]); };
  std::vector<Case> cases;
  for (int i = 0; i < count; ++i) {
    std::string file;
    int lines = int(random() % 12);
    for (int l = 0; l < lines; ++l) file += pick(kLines) + "\r\n";
    Case c{"random file " + std::to_string(i), file, {}};
    for (int o = 0; o < 6; ++o) {
      auto kind = Operation::Kind(random() % 3);
      c.operations.push_back({kind, pick(kSections), pick(kEntries),
                              kind == Operation::kGetInt ? "5" : pick(kValues)});
    }
    cases.push_back(c);
  }
  return cases;
}

TEST(ProfileApiComparisonTest, OurStoreAnswersAndWritesAsTheProfileApi) {
  fs::path root = horavex::testing::MakeTemporaryFolder("horavex-profile-");
  HostFileSystem files;
  int unknown = 0, known = 0;
  std::vector<Case> cases = FixedCases();
  for (Case& c : RandomCases(200)) cases.push_back(c);
  for (size_t i = 0; i < cases.size(); ++i) {
    // A file name of its own per case: the profile API keeps the files it read.
    const Case& c = cases[i];
    fs::path oursPath = root / ("ours" + std::to_string(i) + ".ini");
    fs::path systemPath = root / ("system" + std::to_string(i) + ".ini");
    if (c.file) {
      Put(oursPath, *c.file);
      Put(systemPath, *c.file);
    }
    ProfileIniStore ours(files);
    ProfileApiIniStore system(files);
    auto report = [&](const std::string& what, const std::string& a, const std::string& b,
                      const std::string& reason) {
      if (!reason.empty()) {
        ++known;
        std::cout << "known difference, " << c.name << ", " << what << ": " << reason << "\n";
        return;
      }
      ++unknown;
      std::cout << "DIFFERENCE, " << c.name << ", " << what << ": ours \"" << a << "\", system \""
                << b << "\"\n";
    };
    for (const Operation& op : c.operations) {
      std::string a, b;
      std::string what = op.section + "/" + op.entry;
      switch (op.kind) {
        case Operation::kGet:
          a = ours.GetString(op.section, op.entry, op.value, 256, oursPath.string());
          b = system.GetString(op.section, op.entry, op.value, 256, systemPath.string());
          break;
        case Operation::kGetInt:
          a = std::to_string(ours.GetInt(op.section, op.entry, 5, oursPath.string()));
          b = std::to_string(system.GetInt(op.section, op.entry, 5, systemPath.string()));
          break;
        case Operation::kWrite:
          what = "write " + what + "=" + op.value;
          a = ours.WriteString(op.section, op.entry, op.value, oursPath.string()) ? "ok" : "failed";
          b = system.WriteString(op.section, op.entry, op.value, systemPath.string()) ? "ok"
                                                                                      : "failed";
          break;
      }
      if (a != b) report(what, a, b, KnownReadDifference(op, b));
    }
    std::string a = Read(oursPath), b = Read(systemPath);
    if (a != b) report("the file", a, b, KnownFileDifference(a, b));
  }
  std::cout << cases.size() << " cases: " << known << " known differences, " << unknown
            << " others\n";
  EXPECT_EQ(unknown, 0);
  fs::remove_all(root);
}

}  // namespace
}  // namespace horavex
