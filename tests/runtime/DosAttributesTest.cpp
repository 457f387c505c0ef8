#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "runtime/Env.h"
#include "runtime/PosixEnv.h"
#include "runtime/SysUtils.h"
#include "tests/runtime/TestFiles.h"

namespace dravello {
namespace {

namespace fs = std::filesystem;

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

constexpr uint32_t kFileBits = faReadOnly | faHidden | faSysFile | faArchive;

std::string RawXattr(const std::string& path, const char* name) {
  char buf[256];
  ssize_t n = ::getxattr(path.c_str(), name, buf, sizeof buf);
  return n < 0 ? std::string("<none>") : std::string(buf, static_cast<size_t>(n));
}

void SetRawXattr(const std::string& path, const char* name, const std::string& value) {
  ASSERT_EQ(::setxattr(path.c_str(), name, value.data(), value.size(), 0), 0) << std::strerror(errno);
}

void Append(const std::string& path, const std::string& data) {
  WriteBytes(path, ReadBytes(path) + data);
}

class DosAttributes : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::UserXattrsSupported(dir.Path())) GTEST_SKIP() << "the temp folder keeps no extended attributes";
    WriteBytes(file, "content");
  }
  std::optional<uint32_t> Get(const std::string& path) { return env.GetAttributes(path); }

  TempDir dir;
  Env& env = Env::Platform();
  std::string file = dir / "a.doc";
};

TEST_F(DosAttributes, FreshEntries) {
  WriteBytes(dir / ".profile", "x");
  fs::create_directory(dir / "sub");
  fs::create_directory(dir / ".config");
  EXPECT_EQ(Get(file), faArchive);
  EXPECT_EQ(Get(dir / ".profile"), faArchive | faHidden);
  EXPECT_EQ(Get(dir / "sub"), faDirectory);
  EXPECT_EQ(Get(dir / "sub/"), faDirectory);
  EXPECT_EQ(Get(dir / ".config"), faDirectory | faHidden);
  EXPECT_EQ(Get(dir / ".config/"), faDirectory | faHidden);
  EXPECT_EQ(Get(dir / "missing"), std::nullopt);
  ::chmod(file.c_str(), 0444);
  EXPECT_EQ(Get(file), faArchive | faReadOnly);
}

TEST_F(DosAttributes, EveryCombinationReadsBackOnFilesAndDirectories) {
  fs::create_directory(dir / "sub");
  for (uint32_t bits = 0; bits <= kFileBits; ++bits) {
    if (bits & ~kFileBits) continue;
    ASSERT_TRUE(env.SetAttributes(file, bits)) << bits;
    EXPECT_EQ(Get(file), bits) << bits;
    EXPECT_EQ(ReadBytes(file), "content");
    ASSERT_TRUE(env.SetAttributes(dir / "sub", bits | faDirectory)) << bits;
    EXPECT_EQ(Get(dir / "sub"), bits | faDirectory) << bits;
  }
  ASSERT_TRUE(env.SetAttributes(dir / "sub", faDirectory));
  EXPECT_EQ(Get(dir / "sub"), faDirectory);
  EXPECT_THROW(env.SetAttributes(dir / "missing", 0), EOSError);
}

TEST_F(DosAttributes, ReadOnlyIsTheOwnerWriteBit) {
  ::chmod(file.c_str(), 0664);
  ASSERT_TRUE(env.SetAttributes(file, faReadOnly | faArchive));
  EXPECT_EQ(testing::ModeOf(file) & 0222, 0u);
  ASSERT_TRUE(env.SetAttributes(file, faArchive));
  EXPECT_EQ(testing::ModeOf(file), 0644u);
}

TEST_F(DosAttributes, PlainFilesStayFreeOfExtendedAttributes) {
  ASSERT_TRUE(env.SetAttributes(file, faArchive | faReadOnly));
  EXPECT_EQ(RawXattr(file, PosixEnv::kDosAttribName), "<none>");
}

TEST_F(DosAttributes, TheArchiveBitReturnsWhenTheFileChanges) {
  ASSERT_TRUE(env.SetAttributes(file, 0));
  EXPECT_EQ(Get(file), 0u);
  Append(file, " grown");  // size changes
  EXPECT_EQ(Get(file), faArchive);

  ASSERT_TRUE(env.SetAttributes(file, faHidden));
  EXPECT_EQ(Get(file), faHidden);
  FileStat st = env.Stat(file);
  env.SetFileTime(file, st.MTimeNs + 2000000000);  // same size, later time
  EXPECT_EQ(Get(file), faHidden | faArchive);
  env.SetFileTime(file, st.MTimeNs);  // the recorded state again
  EXPECT_EQ(Get(file), faHidden);

  // Setting it explicitly forgets the record.
  ASSERT_TRUE(env.SetAttributes(file, faArchive));
  EXPECT_EQ(RawXattr(file, PosixEnv::kClearedName), "<none>");
  EXPECT_EQ(Get(file), faArchive);

  // A record damaged, or grown past its form, records no state of the file.
  for (const std::string& damaged : {std::string("garbage"), std::string(100, '7')}) {
    ASSERT_TRUE(env.SetAttributes(file, 0));
    SetRawXattr(file, PosixEnv::kClearedName, damaged);
    EXPECT_EQ(Get(file), faArchive) << damaged;
  }
}

TEST_F(DosAttributes, ClearingAsReadKeepsTheBitOfAFileChangedSince) {
  FileStat asRead = env.Stat(file);
  ASSERT_TRUE(env.SetAttributes(file, 0, &asRead));
  EXPECT_EQ(Get(file), 0u);  // unchanged since it was read

  asRead = env.Stat(file);
  Append(file, " changed after the backup read it");
  ASSERT_TRUE(env.SetAttributes(file, faSysFile, &asRead));
  EXPECT_EQ(Get(file), faSysFile | faArchive);
}

TEST_F(DosAttributes, UnderstandsWhatOtherToolsWrote) {
  struct Case {
    std::string stored;
    uint32_t reads;
  } cases[] = {
      {"0x20", faArchive},
      {"0x0", 0},
      {"0x22", faHidden | faArchive},
      {"0x4", faSysFile},
      {"0X24", faSysFile | faArchive},
      {std::string("0x2\0", 4), faHidden},  // NUL-terminated
      // The text form followed by a binary block, as newer file servers store it.
      {std::string("0x6\0", 4) + std::string(120, '\x01'), faHidden | faSysFile},
      {"garbage", faArchive},
      {"0x", faArchive},
  };
  for (const Case& c : cases) {
    ::removexattr(file.c_str(), PosixEnv::kClearedName);
    SetRawXattr(file, PosixEnv::kDosAttribName, c.stored);
    EXPECT_EQ(Get(file), c.reads) << c.stored.c_str();
  }
}

TEST_F(DosAttributes, WritesTheSharedTextForm) {
  ASSERT_TRUE(env.SetAttributes(file, faHidden | faArchive));
  EXPECT_EQ(RawXattr(file, PosixEnv::kDosAttribName).c_str(), std::string("0x22"));
  ASSERT_TRUE(env.SetAttributes(file, faSysFile));
  EXPECT_EQ(RawXattr(file, PosixEnv::kDosAttribName).c_str(), std::string("0x4"));
}

TEST_F(DosAttributes, AnOrdinaryUserCanClearTheArchiveBitOfAReadOnlyFile) {
  std::string path = file;
  std::string outcome = testing::RunAsOrdinaryUser(dir.Path(), [path]() -> std::string {
    Env& env = Env::Platform();
    if (!env.SetAttributes(path, faReadOnly | faArchive)) return "setting read-only failed";
    if (!env.SetAttributes(path, faReadOnly)) return "clearing the archive bit failed";
    if (env.GetAttributes(path) != faReadOnly) return "read back " + std::to_string(env.GetAttributes(path).value_or(999));
    if (!env.SetAttributes(path, faReadOnly | faHidden | faSysFile)) return "setting hidden and system failed";
    if (env.GetAttributes(path) != (faReadOnly | faHidden | faSysFile)) return "hidden/system not kept";
    if (!env.SetAttributes(path, faArchive)) return "clearing read-only failed";
    if (env.GetAttributes(path) != faArchive) return "read-only not cleared";
    return "";
  });
  EXPECT_EQ(outcome, "");
}

// A file system without extended attributes.
class NoXattrEnv : public PosixEnv {
 protected:
  ssize_t GetXattr(const std::string&, const char*, char*, size_t) override { return Fail(); }
  int SetXattr(const std::string&, const char*, const std::string&) override { return Fail(); }
  int RemoveXattr(const std::string&, const char*) override { return Fail(); }

 private:
  static int Fail() {
    errno = ENOTSUP;
    return -1;
  }
};

TEST(DosAttributesWithoutXattrs, ArchiveAlwaysSetAndOtherBitsStillWork) {
  TempDir dir;
  NoXattrEnv env;
  std::string file = dir / "a.doc";
  WriteBytes(file, "x");
  EXPECT_EQ(env.GetAttributes(file), faArchive);
  EXPECT_FALSE(env.SetAttributes(file, 0));  // cannot clear: reported
  EXPECT_EQ(env.GetAttributes(file), faArchive);
  EXPECT_TRUE(env.SetAttributes(file, faReadOnly | faArchive));
  EXPECT_EQ(env.GetAttributes(file), faReadOnly | faArchive);
  EXPECT_FALSE(env.SetAttributes(file, faReadOnly));  // read-only kept, archive not cleared
  EXPECT_EQ(env.GetAttributes(file), faReadOnly | faArchive);
  EXPECT_FALSE(env.SetAttributes(file, faSysFile | faArchive));
  EXPECT_FALSE(env.SetAttributes(file, faHidden | faArchive));  // a plain name cannot be hidden
  EXPECT_EQ(env.GetAttributes(file), faArchive);
  WriteBytes(dir / ".dotted", "x");
  EXPECT_TRUE(env.SetAttributes(dir / ".dotted", faHidden | faArchive));
  EXPECT_EQ(env.GetAttributes(dir / ".dotted"), faHidden | faArchive);

  fs::create_directory(dir / "sub");
  EXPECT_EQ(env.GetAttributes(dir / "sub"), faDirectory);
  EXPECT_TRUE(env.SetAttributes(dir / "sub", faDirectory));
  EXPECT_FALSE(env.SetAttributes(dir / "sub", faDirectory | faHidden));
}

// Extended attributes that fail part way: the record of a cleared archive bit cannot be kept.
class RecordFailsEnv : public PosixEnv {
 protected:
  int SetXattr(const std::string& path, const char* name, const std::string& value) override {
    if (std::strcmp(name, kClearedName) == 0) {
      errno = EIO;
      return -1;
    }
    return PosixEnv::SetXattr(path, name, value);
  }
};

TEST_F(DosAttributes, AFailedClearLeavesTheArchiveBitSet) {
  RecordFailsEnv failing;
  EXPECT_THROW(failing.SetAttributes(file, 0), EOSError);
  EXPECT_EQ(Get(file), faArchive);
}

}  // namespace
}  // namespace dravello
