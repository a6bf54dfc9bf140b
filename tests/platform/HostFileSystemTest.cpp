#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/Failure.h"
#include "platform/FileSystem.h"

namespace horavex {
namespace {

namespace fs = std::filesystem;

class HostFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "horavex-fs-XXXXXX").string();
    root = ::mkdtemp(pattern.data());
    ::setenv("CFG_DRIVE_C", (root / "c").c_str(), 1);
    fs::create_directories(root / "c");
  }
  void TearDown() override { fs::remove_all(root); }

  void Write(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }
  std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path root;
  HostFileSystem files;
};

TEST_F(HostFileSystemTest, ResolvesComponentsWithoutRegardToCase) {
  Write(root / "logs" / "cfg.txt", "x");
  std::string upper = root.string() + "/LOGS/CFG.TXT";
  EXPECT_EQ(files.Resolve(upper), (root / "logs" / "cfg.txt").string());
  EXPECT_EQ(files.Resolve(root.string() + "\\Logs\\New\\File.txt"),
            (root / "logs" / "New" / "File.txt").string());
  files.Append(upper, "y");
  EXPECT_EQ(Read(root / "logs" / "cfg.txt"), "xy");
}

TEST_F(HostFileSystemTest, DriveLettersMapToTheirFolder) {
  EXPECT_EQ(files.Resolve("C:\\PakroServicePack.log"),
            (root / "c" / "PakroServicePack.log").string());
  EXPECT_EQ(files.Resolve("c:/x/y"), (root / "c" / "x" / "y").string());

  // A drive without its variable maps into the user's data folder, made only by a write.
  ::unsetenv("CFG_DRIVE_E");
  ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
  EXPECT_FALSE(files.IsPlainFile("E:\\x.log"));
  EXPECT_FALSE(fs::exists(root / "data"));
  files.Append("E:\\x.log", "x");
  EXPECT_EQ(Read(root / "data" / "horavex" / "drive_e" / "x.log"), "x");
  EXPECT_EQ(fs::status(root / "data" / "horavex").permissions(), fs::perms(0700));
  ::unsetenv("XDG_DATA_HOME");
}

TEST_F(HostFileSystemTest, PlainFilesOnly) {
  Write(root / "a.cfg", "");
  Write(root / ".hidden.cfg", "");
  fs::create_directories(root / "folder.cfg");
  EXPECT_TRUE(files.IsPlainFile((root / "A.CFG").string()));
  EXPECT_FALSE(files.IsPlainFile((root / ".hidden.cfg").string()));
  EXPECT_FALSE(files.IsPlainFile((root / "folder.cfg").string()));
  EXPECT_FALSE(files.IsPlainFile((root / "missing").string()));
  EXPECT_FALSE(files.IsPlainFile(""));
}

// The database layer decides by these whether a file is missing, a database or taken.
TEST_F(HostFileSystemTest, HostPathStatusTellsWhatIsThere) {
  using Kind = HostFileStatus::Kind;
  Write(root / "f.mdb", "12345");
  fs::create_directories(root / "folder");
  fs::create_symlink("f.mdb", root / "link.mdb");
  fs::create_symlink("gone.mdb", root / "dangling.mdb");
  HostFileStatus file = HostFileStatusOf((root / "link.mdb").string());
  EXPECT_EQ(file.kind, Kind::kFile);
  EXPECT_EQ(file.size, 5u);
  EXPECT_EQ(HostFileStatusOf((root / "link.mdb").string(), false).kind, Kind::kOther);
  EXPECT_EQ(HostFileStatusOf((root / "dangling.mdb").string()).kind, Kind::kMissing);
  EXPECT_EQ(HostFileStatusOf((root / "dangling.mdb").string(), false).kind, Kind::kOther);
  EXPECT_EQ(HostFileStatusOf((root / "folder").string()).kind, Kind::kFolder);
  EXPECT_EQ(HostFileStatusOf("/dev/null").kind, Kind::kOther);
  EXPECT_TRUE(HostFolderExists((root / "folder" / "new.mdb").string()));
  EXPECT_TRUE(HostFolderExists("bare.mdb"));
  EXPECT_FALSE(HostFolderExists((root / "f.mdb" / "new.mdb").string()));
  EXPECT_FALSE(HostFolderExists((root / "none" / "new.mdb").string()));
}

TEST_F(HostFileSystemTest, AppendFailsCleanlyWhereItCannotWrite) {
  try {
    files.Append((root / "no" / "such" / "log.txt").string(), "x");
    FAIL();
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), kPathNotFound);
  }
  fs::create_directories(root / "dir");
  EXPECT_THROW(files.Append((root / "dir").string(), "x"), Failure);
  EXPECT_THROW(files.Append("", "x"), Failure);
}

TEST_F(HostFileSystemTest, ReplaceAllIsAllOrNothing) {
  Write(root / "f.ini", "old");
  EXPECT_TRUE(files.ReplaceAll((root / "f.ini").string(), "new"));
  EXPECT_EQ(Read(root / "f.ini"), "new");
  EXPECT_FALSE(files.ReplaceAll((root / "missing" / "f.ini").string(), "x"));
  fs::create_directories(root / "d.ini");
  EXPECT_FALSE(files.ReplaceAll((root / "d.ini").string(), "x"));
  EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 3);
}

TEST_F(HostFileSystemTest, TemporaryFileTakesTheTargetsPlaceAndLeftoversOfEndedWritersGo) {
  Write(root / "target.mdb", "old");
  fs::permissions(root / "target.mdb", fs::perms(0640));
  // A killed writer's file and journal, and a file that a living writer holds.
  Write(root / ".target.mdb.tmp-AAAAAA", "left");
  Write(root / ".target.mdb.tmp-AAAAAA-journal", "left");
  Write(root / ".target.mdb.tmp-BBBBBB", "busy");
  Write(root / ".other.ini.tmp-CCCCCC", "left");
  int held = ::open((root / ".target.mdb.tmp-BBBBBB").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);

  std::unique_ptr<TemporaryFile> temporary =
      files.CreateTemporaryBeside((root / "TARGET.MDB").string());
  EXPECT_FALSE(fs::exists(root / ".target.mdb.tmp-AAAAAA"));
  EXPECT_FALSE(fs::exists(root / ".target.mdb.tmp-AAAAAA-journal"));
  EXPECT_TRUE(fs::exists(root / ".target.mdb.tmp-BBBBBB"));
  EXPECT_TRUE(fs::exists(root / ".other.ini.tmp-CCCCCC"));  // not a leftover of this file
  ::close(held);
  EXPECT_EQ(fs::path(temporary->path()).parent_path(), root);
  std::ofstream(temporary->path(), std::ios::binary) << "new";
  files.ReplaceWith(*temporary, (root / "TARGET.MDB").string());
  EXPECT_EQ(Read(root / "target.mdb"), "new");
  EXPECT_EQ(fs::status(root / "target.mdb").permissions(), fs::perms(0640));

  // One that never took its target's place goes with its object.
  std::string abandoned = files.CreateTemporaryBeside((root / "target.mdb").string())->path();
  EXPECT_FALSE(fs::exists(abandoned));
  EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 4);

  // A backup as a second name of the file: it keeps what the file was once a new file took the
  // name, and replaces an earlier backup without leaving a temporary name behind.
  Write(root / "target.mdb.bak", "older");
  ASSERT_TRUE(files.LinkAs((root / "TARGET.MDB").string(), (root / "target.mdb.bak").string()));
  temporary = files.CreateTemporaryBeside((root / "target.mdb").string());
  std::ofstream(temporary->path(), std::ios::binary) << "newer";
  files.ReplaceWith(*temporary, (root / "target.mdb").string());
  EXPECT_EQ(Read(root / "target.mdb"), "newer");
  EXPECT_EQ(Read(root / "target.mdb.bak"), "new");
  EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 5);

  // Generations move on by name; a link at such a name is removed, never carried or followed.
  const std::string bak = (root / "target.mdb.bak").string();
  const std::string bak2 = (root / "target.mdb.bak2").string();
  EXPECT_TRUE(files.RenameOwnFile(bak, bak2));
  fs::create_symlink("target.mdb", bak);
  EXPECT_FALSE(files.RenameOwnFile(bak, bak2));
  EXPECT_FALSE(fs::exists(fs::symlink_status(bak)));
  EXPECT_EQ(Read(bak2), "new");
  EXPECT_EQ(Read(root / "target.mdb"), "newer");
}

TEST_F(HostFileSystemTest, ReplacedFileKeepsItsIdentity) {
  const fs::path file = root / "f.ini";
  Write(file, "old");
  fs::permissions(file, fs::perms(0640));
  bool root_ = ::geteuid() == 0;
  if (root_) {
    ASSERT_EQ(::chown(file.c_str(), 12345, 12346), 0);  // the plant user's file
  }
  EXPECT_TRUE(files.ReplaceAll(file.string(), "new"));
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root_) {
    EXPECT_EQ(std::make_pair(st.st_uid, st.st_gid), std::make_pair(12345u, 12346u));
  }

  // Written through a symbolic link, and in place for a file of the user's own with a second
  // name.
  fs::create_symlink("f.ini", root / "link.ini");
  EXPECT_TRUE(files.ReplaceAll((root / "link.ini").string(), "via link"));
  EXPECT_TRUE(fs::is_symlink(root / "link.ini"));
  EXPECT_EQ(Read(file), "via link");
  ASSERT_EQ(::chown(file.c_str(), ::geteuid(), ::getegid()), 0);
  fs::create_hard_link(file, root / "second.ini");
  EXPECT_TRUE(files.ReplaceAll(file.string(), "both"));
  EXPECT_EQ(Read(root / "second.ini"), "both");

  // No write permission bit: read-only also for root.
  fs::permissions(file, fs::perms(0444));
  EXPECT_FALSE(files.ReplaceAll(file.string(), "refused"));
  EXPECT_THROW(files.Append(file.string(), "refused"), Failure);
  EXPECT_EQ(Read(file), "both");

  // A new file follows the umask.
  mode_t previous = ::umask(027);
  EXPECT_TRUE(files.ReplaceAll((root / "new.ini").string(), "x"));
  ::umask(previous);
  EXPECT_EQ(fs::status(root / "new.ini").permissions(), fs::perms(0640));
}

TEST_F(HostFileSystemTest, LockWaitsForItsHolderWithABound) {
  std::string path = (root / "x.lock").string();
  std::unique_ptr<FileLock> first = files.WaitForLock(path, 0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(files.WaitForLock(path, 50), nullptr);
  first.reset();
  EXPECT_NE(files.WaitForLock(path, 50), nullptr);
}

TEST_F(HostFileSystemTest, LastWriteTimeCanBeSetBack) {
  Write(root / "s.mdb", "a");
  auto before = files.GetTimes((root / "s.mdb").string());
  ASSERT_TRUE(before.has_value());
  ::usleep(20000);
  files.Append((root / "s.mdb").string(), "b");
  EXPECT_NE(files.GetTimes((root / "s.mdb").string())->lastWrite, before->lastWrite);
  EXPECT_TRUE(files.SetTimes((root / "s.mdb").string(), *before));
  auto after = files.GetTimes((root / "s.mdb").string());
  EXPECT_EQ(after->lastWrite, before->lastWrite);
  EXPECT_EQ(after->creation, before->creation);
  EXPECT_FALSE(files.GetTimes((root / "missing").string()).has_value());
}

}  // namespace
}  // namespace horavex
