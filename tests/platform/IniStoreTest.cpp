#include "platform/IniStore.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace horavex {
namespace {

namespace fs = std::filesystem;

constexpr size_t kBuffer = 255;
const std::string kBlanks(255, ' ');

// A fresh temporary folder per test, removed again afterwards.
class IniStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    folder =
        fs::temp_directory_path() / ("horavex-ini-" + std::to_string(::getpid()) + "-" +
                                     std::to_string(++counter) + "-" + std::to_string(random()));
    fs::create_directories(folder);
  }
  void TearDown() override {
    std::error_code ec;
    for (const auto& item : fs::recursive_directory_iterator(folder, ec)) {
      fs::permissions(item.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(folder, ec);
  }

  std::string Path(const std::string& name = "test.ini") const { return (folder / name).string(); }
  void Put(const std::string& bytes, const std::string& name = "test.ini") const {
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  std::string Bytes(const std::string& name = "test.ini") const {
    std::ifstream in(folder / name, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
  }
  std::string Get(const std::string& section, const std::string& entry,
                  const std::string& defaultValue = kBlanks, size_t buffer = kBuffer) const {
    return ini.GetString(section, entry, defaultValue, buffer, Path());
  }
  uint32_t Int(const std::string& section, const std::string& entry, int32_t def = -1) const {
    return ini.GetInt(section, entry, def, Path());
  }
  bool Write(const std::string& section, const std::string& entry, const std::string& value) {
    return ini.WriteString(section, entry, value, Path());
  }
  // Writes into content, then checks that the file is exactly expected.
  void ExpectWrite(const std::string& content, const std::string& section, const std::string& entry,
                   const std::string& value, const std::string& expected) {
    Put(content);
    ASSERT_TRUE(Write(section, entry, value));
    EXPECT_EQ(Bytes(), expected);
    EXPECT_EQ(Get(section, entry), text::Cp1252ToUtf8(text::Utf8ToCp1252(value)));
  }

  fs::path folder;
  HostFileSystem files;
  ProfileIniStore ini{files};
};

// --- reading -----------------------------------------------------------------------------------

TEST_F(IniStoreTest, ValueWithoutSurroundingWhitespace) {
  Put("[S]\r\n  key \t=\t  a value  with inner  blanks \t \r\nnext=1\r\n");
  EXPECT_EQ(Get("S", "key"), "a value  with inner  blanks");
  EXPECT_EQ(Get("S", "next"), "1");
}

TEST_F(IniStoreTest, SectionAndEntryMatchWithoutCaseAlsoForUmlauts) {
  // The file holds Windows-1252, the test source is UTF-8.
  Put(text::Utf8ToCp1252("[Maschine Äß]\r\nGröße=1 ä\r\n[ spaced ]\r\nk=2\r\n"));
  EXPECT_EQ(Get("maschine äß", "GRÖßE"), "1 ä");
  EXPECT_EQ(Get("MASCHINE ÄSS", "GRÖßE"), "");  // ß has no upper case in Windows-1252
  EXPECT_EQ(Get("SPACED", "K"), "2");
  EXPECT_EQ(Get("  spaced\t", " k "), "2");  // the caller's names are trimmed too
}

TEST_F(IniStoreTest, BufferOf255GivesAtMost254Characters) {
  std::string long300;
  for (int i = 0; i < 300; ++i) long300 += i % 2 ? "ä" : "x";
  std::string exact254;
  for (int i = 0; i < 254; ++i) exact254 += "ö";
  Put(text::Utf8ToCp1252("[S]\r\nlong=" + long300 + "\r\nexact=" + exact254 + "\r\n"));
  std::string got = Get("S", "long");
  EXPECT_EQ(text::Length(got), 254u);
  EXPECT_EQ(got, text::Left(long300, 254));
  EXPECT_EQ(Get("S", "exact"), exact254);
  EXPECT_EQ(Get("S", "long", "", 5), "xäxä");
  EXPECT_EQ(Get("S", "long", "", 1), "");
  EXPECT_EQ(Get("S", "long", "", 0), "");
}

TEST_F(IniStoreTest, EmptyValueReadsLikeMissingEntry) {
  Put("[S]\r\nempty=\r\nblank=   \r\n");
  // With the blank default the program uses, empty and missing cannot be told apart.
  EXPECT_EQ(Get("S", "empty"), "");
  EXPECT_EQ(Get("S", "blank"), "");
  EXPECT_EQ(Get("S", "missing"), "");
  // As GetPrivateProfileString: an empty value is the empty string, a missing one the default.
  EXPECT_EQ(Get("S", "empty", "dflt"), "");
  EXPECT_EQ(Get("S", "missing", "dflt"), "dflt");
  // As GetPrivateProfileInt: both give the default.
  EXPECT_EQ(Int("S", "empty", 7), 7u);
  EXPECT_EQ(Int("S", "missing", 7), 7u);
}

TEST_F(IniStoreTest, DefaultLosesTrailingBlanksAndIsCut) {
  EXPECT_EQ(Get("S", "k", kBlanks), "");  // the file does not even exist
  Put("[S]\r\nk=1\r\n");
  EXPECT_EQ(Get("S", "x", kBlanks), "");
  EXPECT_EQ(Get("S", "x", "default  "), "default");
  EXPECT_EQ(Get("S", "x", "  one two  "), "  one two");
  EXPECT_EQ(Get("S", "x", "äöüß", 3), "äö");
  EXPECT_EQ(Get("T", "k", "d"), "d");  // missing section
}

TEST_F(IniStoreTest, OnePairOfMatchingQuotesIsRemoved) {
  Put("[S]\r\na=\"val\"\r\nb='val'\r\nc='abc\"\r\nd=\"\r\ne=\"\"\r\nf=\"a\"b\"\r\ng=\"\"x\"\"\r\n"
      "h= \" padded \" \r\n");
  EXPECT_EQ(Get("S", "a"), "val");
  EXPECT_EQ(Get("S", "b"), "val");
  EXPECT_EQ(Get("S", "c"), "'abc\"");
  EXPECT_EQ(Get("S", "d"), "\"");
  EXPECT_EQ(Get("S", "e"), "");
  EXPECT_EQ(Get("S", "f"), "a\"b");
  EXPECT_EQ(Get("S", "g"), "\"x\"");
  EXPECT_EQ(Get("S", "h"), " padded ");
}

TEST_F(IniStoreTest, FirstMatchingSectionAndEntryWin) {
  Put("[A]\r\nk=first\r\nK=second\r\n[a]\r\nk=other\r\nonlyLater=x\r\n");
  EXPECT_EQ(Get("a", "k"), "first");
  // A later section of the same name is never searched.
  EXPECT_EQ(Get("A", "onlyLater", "none"), "none");
}

TEST_F(IniStoreTest, CommentsAndLinesWithoutEqualsHaveNoValue) {
  Put("[S]\r\n;k=comment\r\n  ; j = 2\r\nbare\r\nk=real\r\n");
  EXPECT_EQ(Get("S", "k"), "real");
  EXPECT_EQ(Get("S", ";k", "d"), "d");
  EXPECT_EQ(Get("S", "; j", "d"), "d");
  EXPECT_EQ(Get("S", "bare", "d"), "d");
}

TEST_F(IniStoreTest, SectionHeaderEndsAtLastBracketAndUnclosedBracketIsAnEntry) {
  Put("[a]b] trailing text\r\nk=1\r\n[open\r\n[half=2\r\nm=3\r\n");
  EXPECT_EQ(Get("a]b", "k"), "1");
  // "[open" and "[half=2" are ordinary lines of section a]b.
  EXPECT_EQ(Get("a]b", "m"), "3");
  EXPECT_EQ(Get("a]b", "[half"), "2");
  EXPECT_EQ(Get("open", "m", "d"), "d");
}

TEST_F(IniStoreTest, EntriesBeforeFirstSectionAndEmptyNames) {
  Put("top=0\r\n[]\r\n=empty name\r\n[S]\r\n");
  EXPECT_EQ(Get("", "top", "d"), "d");
  EXPECT_EQ(Get("", ""), "empty name");
}

TEST_F(IniStoreTest, LineEndingsCrLfLfAndCrAllRead) {
  Put("[S]\na=1\n[T]\rb=2\rc=3\r\n\n\r[U]\n\rd=4");
  EXPECT_EQ(Get("S", "a"), "1");
  EXPECT_EQ(Get("T", "b"), "2");
  EXPECT_EQ(Get("T", "c"), "3");
  EXPECT_EQ(Get("U", "d"), "4");
}

TEST_F(IniStoreTest, Utf8BomIsNotRecognised) {
  Put("\xEF\xBB\xBF[S]\r\nk=1\r\n[T]\r\nk=2\r\n");
  EXPECT_EQ(Get("S", "k", "d"), "d");
  EXPECT_EQ(Get("T", "k"), "2");
}

TEST_F(IniStoreTest, ReadsWindows1252) {
  Put("[S]\r\nk=\xE4\x80\x9F\xFF\x81\r\n");
  EXPECT_EQ(Get("S", "k"), "ä€Ÿÿ\xC2\x81");
}

TEST_F(IniStoreTest, IntegersAsTheProfileApiParsesThem) {
  Put("[S]\r\na=40000\r\nb=-1\r\nc=+1\r\nd=0x10\r\ne=12abc\r\nf=abc\r\ng=4294967297\r\n"
      "h=4294967296\r\ni=-4294967297\r\nj=42A94967297\r\nk=B4294967297\r\nl=0o17\r\nm=0b101\r\n"
      "n=\" -5\"\r\no=0X10\r\np=-0x1\r\nq=  7  \r\nr=0x\r\ns=-\r\n");
  EXPECT_EQ(Int("S", "a"), 40000u);
  EXPECT_EQ(Int("S", "b"), 4294967295u);
  EXPECT_EQ(Int("S", "c"), 1u);
  EXPECT_EQ(Int("S", "d"), 16u);
  EXPECT_EQ(Int("S", "e"), 12u);
  EXPECT_EQ(Int("S", "f"), 0u);
  EXPECT_EQ(Int("S", "g"), 1u);
  EXPECT_EQ(Int("S", "h"), 0u);
  EXPECT_EQ(Int("S", "i"), 4294967295u);
  EXPECT_EQ(Int("S", "j"), 42u);
  EXPECT_EQ(Int("S", "k"), 0u);
  EXPECT_EQ(Int("S", "l"), 15u);
  EXPECT_EQ(Int("S", "m"), 5u);
  EXPECT_EQ(Int("S", "n"), 4294967291u);
  EXPECT_EQ(Int("S", "o"), 0u);
  EXPECT_EQ(Int("S", "p"), 4294967295u);
  EXPECT_EQ(Int("S", "q"), 7u);
  EXPECT_EQ(Int("S", "r"), 0u);
  EXPECT_EQ(Int("S", "s"), 0u);
  EXPECT_EQ(Int("S", "missing"), 4294967295u);
  EXPECT_EQ(Int("S", "missing", 12), 12u);
  EXPECT_EQ(Int("Nope", "a", -2), 4294967294u);
  EXPECT_EQ(ini.GetInt("S", "a", 3, Path("absent.ini")), 3u);
}

// --- writing an existing entry ----------------------------------------------------------------

const char* const kRichFile =
    "; head comment\r\n"
    "\r\n"
    "[Project]\r\n"
    "NumberOfMachines = 2\r\n"
    "  ; a comment = with equals\r\n"
    "\r\n"
    "[ Machine1 ]   ; trailing text\r\n"
    "MachineName=Presse 1\r\n"
    "  HoravexFormat1 \t=\t  Min.   \r\n"
    "HoravexWith3DD=True\r\n"
    "\r\n"
    "[Machine2]\r\n"
    "HoravexFormat1=Std.\r\n";

TEST_F(IniStoreTest, WriteReplacesOnlyTheValueBytesOfOneLine) {
  std::string before = kRichFile;
  std::string old = "  HoravexFormat1 \t=\t  Min.   \r\n";
  size_t at = before.find(old);
  ASSERT_NE(at, std::string::npos);
  std::string expected = before.substr(0, at) + "  HoravexFormat1 \t=\t  Sekunden   \r\n" +
                         before.substr(at + old.size());
  ExpectWrite(before, "machine1", "HORAVEXFORMAT1", "Sekunden", expected);
  // Every byte before and after the line is the same.
  std::string after = Bytes();
  EXPECT_EQ(after.substr(0, at), before.substr(0, at));
  EXPECT_EQ(after.substr(after.size() - (before.size() - at - old.size())),
            before.substr(at + old.size()));
  // The other entries of that name elsewhere are untouched.
  EXPECT_EQ(Get("Machine2", "HoravexFormat1"), "Std.");
}

TEST_F(IniStoreTest, WriteKeepsStoredSpellingBlanksAndQuotesGoAway) {
  ExpectWrite("[S]\r\n  KeY = \"old value\"  \r\n", "s", "key", "new", "[S]\r\n  KeY = new  \r\n");
  ExpectWrite("[S]\r\nk=\r\nz=1\r\n", "S", "k", "v", "[S]\r\nk=v\r\nz=1\r\n");
  ExpectWrite("[S]\r\nk =   \r\n", "S", "k", "v", "[S]\r\nk =   v\r\n");
  ExpectWrite("[S]\r\nk=old\r\n", "S", "k", "", "[S]\r\nk=\r\n");
  // An entry without "=" gets one.
  ExpectWrite("[S]\r\n bare  \r\n", "S", "bare", "v", "[S]\r\n bare=v  \r\n");
}

TEST_F(IniStoreTest, WriteKeepsTheFilesLineEndings) {
  ExpectWrite("[S]\na=1\nb=2\n", "S", "a", "x", "[S]\na=x\nb=2\n");
  ExpectWrite("[S]\ra=1\rb=2\r", "S", "b", "x", "[S]\ra=1\rb=x\r");
  ExpectWrite("[S]\r\na=1\nb=2\r", "S", "a", "x", "[S]\r\na=x\nb=2\r");
  ExpectWrite("[S]\r\na=1", "S", "a", "xyz", "[S]\r\na=xyz");
}

TEST_F(IniStoreTest, WriteChangesTheFirstDuplicateOnly) {
  ExpectWrite("[A]\r\nk=1\r\nk=2\r\n[a]\r\nk=3\r\n", "a", "K", "9",
              "[A]\r\nk=9\r\nk=2\r\n[a]\r\nk=3\r\n");
  // A missing entry goes into the first matching section, not a later one of the same name.
  ExpectWrite("[A]\r\nk=1\r\n[a]\r\nj=3\r\n", "A", "j", "4", "[A]\r\nk=1\r\nj=4\r\n[a]\r\nj=3\r\n");
}

TEST_F(IniStoreTest, WriteOfTheStoredValueLeavesTheFileAlone) {
  Put("[S]\r\nk = v\r\n");
  auto before = fs::last_write_time(folder / "test.ini");
  EXPECT_TRUE(Write("S", "k", "v"));
  EXPECT_EQ(Bytes(), "[S]\r\nk = v\r\n");
  EXPECT_EQ(fs::last_write_time(folder / "test.ini"), before);
}

// --- writing a new entry or section -----------------------------------------------------------

TEST_F(IniStoreTest, NewEntryGoesAfterLastEntryOfItsSection) {
  ExpectWrite("[A]\r\na=1\r\n\r\n; about B\r\n[B]\r\nb=2\r\n", "a", "New", "x",
              "[A]\r\na=1\r\nNew=x\r\n\r\n; about B\r\n[B]\r\nb=2\r\n");
  ExpectWrite("[A]\r\n\r\n[B]\r\n", "A", "k", "v", "[A]\r\nk=v\r\n\r\n[B]\r\n");
  ExpectWrite("[A]\r\nbare\r\n\r\n", "A", "k", "v", "[A]\r\nbare\r\nk=v\r\n\r\n");
  ExpectWrite("[A]\r\na=1\r\n[B]\r\nb=2", "B", "c", "3", "[A]\r\na=1\r\n[B]\r\nb=2\r\nc=3\r\n");
  ExpectWrite("[A]", "A", "c", "3", "[A]\r\nc=3\r\n");
  ExpectWrite("[A]\na=1\n\n", "A", "c", "3", "[A]\na=1\nc=3\n\n");
  ExpectWrite("[A]\ra=1\r", "A", " c ", "3", "[A]\ra=1\rc=3\r");
}

TEST_F(IniStoreTest, NewSectionGoesAtTheEndWithoutBlankLine) {
  ExpectWrite("; only a comment\r\n\r\n", "New", "k", "v",
              "; only a comment\r\n\r\n[New]\r\nk=v\r\n");
  ExpectWrite("[A]\r\na=1\r\n", " New ", " k ", "v", "[A]\r\na=1\r\n[New]\r\nk=v\r\n");
  ExpectWrite("[A]\na=1\n", "B", "k", "v", "[A]\na=1\n[B]\nk=v\n");
  ExpectWrite("", "B", "k", "v", "[B]\r\nk=v\r\n");
}

TEST_F(IniStoreTest, NoFinalLineBreakGetsOneBeforeNewSection) {
  // Bytes before the first section, NUL included, stay as they are.
  std::string prefix("garbage\0bytes without break", 27);
  ExpectWrite(prefix, "section1", "key1", "string1", prefix + "\r\n[section1]\r\nkey1=string1\r\n");
}

TEST_F(IniStoreTest, SuccessiveWritesBuildTheWindowsLayout) {
  ASSERT_TRUE(Write("App1", "key1", "string1"));
  ASSERT_TRUE(Write("App1", "key2", "string2"));
  ASSERT_TRUE(Write("App2", "key4", "string4"));
  ASSERT_TRUE(Write("App1", "key3", "string3"));
  EXPECT_EQ(Bytes(),
            "[App1]\r\nkey1=string1\r\nkey2=string2\r\nkey3=string3\r\n"
            "[App2]\r\nkey4=string4\r\n");
}

TEST_F(IniStoreTest, MissingFileIsCreated) {
  EXPECT_FALSE(fs::exists(folder / "new.ini"));
  EXPECT_TRUE(ini.WriteString("Machine1", "HoravexWith3DD", "True", Path("new.ini")));
  EXPECT_EQ(Bytes("new.ini"), "[Machine1]\r\nHoravexWith3DD=True\r\n");
}

TEST_F(IniStoreTest, FilePathIsResolvedWithoutCase) {
  Put("[S]\r\nk=1\r\n", "Program.ini");
  std::string upper = (folder / "PROGRAM.INI").string();
  EXPECT_EQ(ini.GetString("s", "k", "", kBuffer, upper), "1");
  EXPECT_TRUE(ini.WriteString("S", "k", "2", upper));
  EXPECT_EQ(Bytes("Program.ini"), "[S]\r\nk=2\r\n");
  // No second file was made beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

// --- failures leave everything as it was ------------------------------------------------------

TEST_F(IniStoreTest, MissingFolderFails) {
  std::string path = (folder / "nowhere" / "x.ini").string();
  EXPECT_FALSE(ini.WriteString("S", "k", "v", path));
  EXPECT_FALSE(fs::exists(folder / "nowhere"));
  EXPECT_EQ(ini.GetString("S", "k", "d", kBuffer, path), "d");
}

TEST_F(IniStoreTest, FolderWhereTheFileShouldBeFails) {
  fs::create_directories(folder / "test.ini" / "inner");
  EXPECT_FALSE(Write("S", "k", "v"));
  EXPECT_TRUE(fs::is_directory(folder / "test.ini" / "inner"));
  EXPECT_EQ(Get("S", "k", "d"), "d");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(IniStoreTest, EmptyPathFails) {
  EXPECT_FALSE(ini.WriteString("S", "k", "v", ""));
  EXPECT_EQ(ini.GetString("S", "k", "d", kBuffer, ""), "d");
}

#ifndef _WIN32
// Runs the check as a user without root's rights (when the test runs as root) in a child.
bool AsOrdinaryUser(const std::function<bool()>& check) {
  if (::geteuid() != 0) return check();
  pid_t child = ::fork();
  if (child == 0) ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 && check() ? 0 : 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(IniStoreTest, ReadOnlyFileIsRefusedAlsoForRootAndAnUnwritableFolderIsWrittenInPlace) {
  const std::string content = "[S]\r\nk=1\r\n";
  Put(content);
  fs::permissions(folder / "test.ini", fs::perms(0444));
  EXPECT_FALSE(Write("S", "k", "2"));
  EXPECT_EQ(Bytes(), content);

  // A writable file in a folder the user may not change: no new file there, the file itself
  // is written in place, as the profile API does.
  fs::permissions(folder / "test.ini", fs::perms(0666));
  fs::permissions(folder, fs::perms(0555));
  EXPECT_TRUE(AsOrdinaryUser(
      [&] { return Write("S", "k", "2") && !ini.WriteString("S", "k", "2", Path("other.ini")); }));
  fs::permissions(folder, fs::perms(0755));
  EXPECT_EQ(Bytes(), "[S]\r\nk=2\r\n");
  EXPECT_FALSE(fs::exists(folder / "other.ini"));
}

#endif

TEST_F(IniStoreTest, Utf16FileIsReadAndWrittenAsUtf16) {
  const std::string mark = "\xFF\xFE";
  Put(mark +
      text::Utf8ToUtf16Le("[Language]\r\nLanguage=1033\r\n[1033]\r\nCaption_X=Καλημέρα\r\n"));
  EXPECT_EQ(Get("language", "LANGUAGE"), "1033");
  EXPECT_EQ(Get("1033", "Caption_X"), "Καλημέρα");
  EXPECT_TRUE(Write("1033", "TTT_X", "中文"));
  EXPECT_TRUE(Write("New", "k", "v"));
  EXPECT_EQ(Bytes(), mark + text::Utf8ToUtf16Le("[Language]\r\nLanguage=1033\r\n[1033]\r\n"
                                                "Caption_X=Καλημέρα\r\nTTT_X=中文\r\n"
                                                "[New]\r\nk=v\r\n"));
}

// Fails every replace, as a full disk or a killed program would leave it.
class FailingReplace : public HostFileSystem {
 public:
  bool ReplaceAll(const std::string&, const std::string&) override { return false; }
};

TEST_F(IniStoreTest, GroupedWritesLandTogetherAsTheSingleWritesWould) {
  const std::string content = "[S]\r\na=1\r\n; next\r\n\r\n[T]\r\nx\r\n";
  Put(content, "single.ini");
  Put(content);
  auto writes = [](IniStore& store, const std::string& file) {
    store.WriteString("S", "a", "2", file);
    store.WriteString("S", "b", "3", file);
    store.WriteString("T", "x", "4", file);
    store.WriteString("U", "y", "5", file);
  };
  writes(ini, Path("single.ini"));
  ini.BeginGroup();
  writes(ini, Path());
  EXPECT_EQ(Get("S", "b"), "3");
  EXPECT_EQ(Bytes(), content);
  EXPECT_TRUE(ini.EndGroup());
  EXPECT_EQ(Bytes(), Bytes("single.ini"));

  Put(content, "failing.ini");
  FailingReplace failing;
  ProfileIniStore store(failing);
  store.BeginGroup();
  writes(store, Path("failing.ini"));
  EXPECT_FALSE(store.EndGroup());
  EXPECT_EQ(Bytes("failing.ini"), content);
}

// Values that grow and shrink move the lines after them: every read in the group and the file
// written at its end see each entry where it now is.
TEST_F(IniStoreTest, GroupedWritesIntoOneSectionKeepEveryEntryInPlace) {
  Put("[S]\r\na=1\r\nb=2\r\n; about T\r\n[T]\r\nb=3\r\n");
  ini.BeginGroup();
  ASSERT_TRUE(Write("S", "a", "a much longer value"));
  EXPECT_EQ(Get("S", "b"), "2");
  ASSERT_TRUE(Write("s", "NEW", "n"));
  ASSERT_TRUE(Write("S", "b", ""));
  ASSERT_TRUE(Write("S", "a", "x"));
  EXPECT_EQ(Get("S", "a"), "x");
  EXPECT_EQ(Get("S", "new"), "n");
  EXPECT_EQ(Int("S", "b", 7), 7u);
  EXPECT_EQ(Get("T", "b"), "3");
  EXPECT_TRUE(ini.EndGroup());
  EXPECT_EQ(Bytes(), "[S]\r\na=x\r\nb=\r\nNEW=n\r\n; about T\r\n[T]\r\nb=3\r\n");
}

// A file system that sees the file but cannot read it.
class UnreadableFiles : public HostFileSystem {
 public:
  std::optional<std::string> ReadAll(const std::string&) const override {
    throw RuntimeFailure(kPermissionDenied);
  }
};

TEST_F(IniStoreTest, FileThatCannotBeReadFailsOnceAndIsNeverReplaced) {
  const std::string content = "[S]\r\nk=1\r\n";
  Put(content);
  UnreadableFiles unreadable;
  ProfileIniStore store(unreadable);
  try {
    store.GetString("S", "k", "d", kBuffer, Path());
    ADD_FAILURE() << "an unreadable file read as an empty one";
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), kPermissionDenied);
  }
  // Reported by the first read; later reads give the default, the check fails every time.
  EXPECT_EQ(store.GetString("S", "k", "d", kBuffer, Path()), "d");
  EXPECT_THROW(store.CheckReadable(Path()), Failure);
  EXPECT_FALSE(store.WriteString("S", "k", "2", Path()));
  EXPECT_EQ(Bytes(), content);
  // A folder where the file should be is no empty file either; a missing file is.
  fs::create_directory(Path("folder.ini"));
  EXPECT_THROW(ini.CheckReadable(Path("folder.ini")), Failure);
  EXPECT_NO_THROW(ini.CheckReadable(Path("missing.ini")));
}

// --- encoding and hostile content -------------------------------------------------------------

TEST_F(IniStoreTest, WritesWindows1252OnDisk) {
  ASSERT_TRUE(Write("Größe", "Wert", "ä € Ω"));
  EXPECT_EQ(Bytes(), "[Gr\xF6\xDF\x65]\r\nWert=\xE4 \x80 ?\r\n");
  EXPECT_EQ(Get("GRÖßE", "wert"), "ä € ?");
  // A character Windows-1252 lacks becomes "?" in names too, so the same name finds it again.
  ASSERT_TRUE(Write("S", "Ω", "1"));
  EXPECT_EQ(Get("S", "Ω"), "1");
  EXPECT_EQ(Get("S", "?"), "1");
}

TEST_F(IniStoreTest, MegabyteLineIsReadAndKeptOnWrite) {
  std::string big(1 << 20, 'x');
  for (size_t i = 0; i < big.size(); i += 997) big[i] = static_cast<char>(i % 251);
  for (char& c : big) {
    if (c == '\r' || c == '\n') c = 'y';
  }
  big[0] = 'b';
  std::string content = "[S]\r\n" + big + "\r\nbig=" + big + "\r\nk=1\r\n";
  Put(content);
  EXPECT_EQ(Get("S", "k"), "1");
  EXPECT_EQ(text::Length(Get("S", "big")), 254u);
  ASSERT_TRUE(Write("S", "k", "2"));
  EXPECT_EQ(Bytes(), "[S]\r\n" + big + "\r\nbig=" + big + "\r\nk=2\r\n");
  ASSERT_TRUE(Write("S", "new", "3"));
  EXPECT_EQ(Bytes(), "[S]\r\n" + big + "\r\nbig=" + big + "\r\nk=2\r\nnew=3\r\n");
}

TEST_F(IniStoreTest, GarbageBytesAreKeptOnWrite) {
  std::string garbage;
  for (int i = 0; i < 256; ++i) garbage += static_cast<char>(i);
  std::string content = garbage + "\r\n[S]\r\n" + garbage + "\n\rk=1\r" + garbage;
  Put(content);
  EXPECT_EQ(Get("S", "k"), "1");
  ASSERT_TRUE(Write("S", "k", "22"));
  EXPECT_EQ(Bytes(), garbage + "\r\n[S]\r\n" + garbage + "\n\rk=22\r" + garbage);
  ASSERT_TRUE(Write("T", "k", "v"));
  // The file's first line break is the byte 10 (LF) inside the garbage, so new lines use LF;
  // the file ends with byte 0xFF, so a line break comes before the new section.
  EXPECT_EQ(Bytes(), garbage + "\r\n[S]\r\n" + garbage + "\n\rk=22\r" + garbage + "\n[T]\nk=v\n");
}

TEST_F(IniStoreTest, NulBytesInTheFileAreOrdinaryCharacters) {
  std::string content("[S]\r\na\0b=1\r\nk=x\0y\r\n", 19);
  Put(content);
  EXPECT_EQ(Get("S", std::string("a\0b", 3)), "");  // the API sees the name "a" only
  EXPECT_EQ(Get("S", "k"), std::string("x\0y", 3));
  ASSERT_TRUE(Write("S", "k", "z"));
  EXPECT_EQ(Bytes(), std::string("[S]\r\na\0b=1\r\nk=z\r\n", 17));
}

}  // namespace
}  // namespace horavex
