// Reading archives back: what ZipVerifier accepts (archives of other writers as they are) and what
// it finds when bytes of an archive were changed after it was written.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <functional>

#include "tests/support/TempDir.h"
#include "tests/zip/ZipBuilder.h"
#include "zip/ZipVerifier.h"

namespace dravello {
namespace {

using ziptest::BuildEntry;
using ziptest::ZipBuilder;

std::string Corpus(const std::string& name) { return std::string(DRAVELLO_TEST_DATA) + "/zip/corpus/" + name; }

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& data) { std::ofstream(path, std::ios::binary) << data; }

uint32_t Le32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(s[at + static_cast<size_t>(i)]);
  return v;
}
uint16_t Le16(const std::string& s, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | (static_cast<uint8_t>(s[at + 1]) << 8));
}

// Where things of an entry lie in the archive's bytes, found by the entry's name.
struct Places {
  size_t LocalHeader = 0, Data = 0, Central = 0;
};
Places Find(const std::string& zip, const std::string& name) {
  Places p;
  const std::string central = std::string("PK\x01\x02", 4);
  for (size_t at = zip.find(central); at != std::string::npos; at = zip.find(central, at + 1)) {
    if (zip.compare(at + 46, name.size(), name) != 0 || Le16(zip, at + 28) != name.size()) continue;
    p.Central = at;
    p.LocalHeader = Le32(zip, at + 42);
    p.Data = p.LocalHeader + 30 + Le16(zip, p.LocalHeader + 26) + Le16(zip, p.LocalHeader + 28);
    return p;
  }
  ADD_FAILURE() << "no entry " << name;
  return p;
}

std::string Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08x", v);
  return buf;
}

struct Outcome {
  bool DirectoryRead = false;
  std::vector<std::string> Problems;  // "name: text"
  std::vector<std::string> Checked;   // names in the order OnChecked saw them
};

Outcome Verify(const std::string& archive, int64_t wholeEntryLimit = 64ll << 20, int workers = 2) {
  Outcome o;
  ZipVerifier v(Env::Default(), archive);
  o.DirectoryRead = v.ReadDirectory();
  if (!o.DirectoryRead) return o;
  ZipVerifier::Options options;
  options.Workers = workers;
  options.WholeEntryLimit = wholeEntryLimit;
  options.MemoryBudget = 4096;  // small: the reading waits for the workers now and then
  options.OnChecked = [&](const ZipVerifyEntry& e, const std::string*) { o.Checked.push_back(e.Name); };
  for (const ZipVerifyProblem& p : v.Check(options)) o.Problems.push_back(p.Name + ": " + p.Text);
  return o;
}

// Archives of other writers, read and checked as they are: the directory agrees with the data.
TEST(ZipVerifier, AcceptsEveryWellFormedArchiveOfTheCorpusAndRefusesTheDamagedOnes) {
  struct Case {
    const char* File;
    bool DirectoryRead;
    int Problems;
  };
  const Case cases[] = {
      {"infozip.zip", true, 0},
      {"infozip-streamed.zip", true, 0},
      {"infozip-forced-zip64.zip", true, 0},
      {"infozip-comment.zip", true, 0},
      {"infozip-pipe.zip", true, 0},
      {"7zz.zip", true, 0},
      {"python.zip", true, 0},
      {"python-data-descriptors.zip", true, 0},
      {"prefixed.zip", true, 0},
      {"prefixed-adjusted.zip", true, 0},
      {"zip64-unneeded.zip", true, 0},
      {"signature-in-name.zip", true, 0},
      {"fake-locator-in-entry-comment.zip", true, 0},
      {"count-too-low.zip", true, 0},
      {"count-too-high.zip", false, 0},
      {"local-name-mismatch.zip", true, 1},
      {"local-method-mismatch.zip", true, 1},
      {"local-size-mismatch.zip", true, 1},
      {"overlap-into-data.zip", true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.File);
    const Outcome o = Verify(Corpus(c.File));
    EXPECT_EQ(o.DirectoryRead, c.DirectoryRead);
    EXPECT_EQ(static_cast<int>(o.Problems.size()), c.Problems) << ::testing::PrintToString(o.Problems);
  }
}

// Bytes changed after the archive was written, wherever they are, show as a problem of exactly
// the entry they belong to; read whole on a worker or piece by piece, the finding is the same.
TEST(ZipVerifier, FindsEveryChangedByteAndNamesItsEntry) {
  struct Damage {
    const char* What;
    const char* Entry;
    std::function<void(std::string& zip, const Places& p)> Apply;
    const char* Expected;  // a part of the problem's text
  };
  const Damage damages[] = {
      {"a deflated entry's data", "pics/noise.bin", [](std::string& z, const Places& p) { z[p.Data + 100] ^= 0x10; },
       ""},
      {"a stored entry's data", "top.txt", [](std::string& z, const Places& p) { z[p.Data + 3] ^= 0x01; },
       "CRC-32"},
      {"the CRC-32 the directory records", "docs/readme.txt",
       [](std::string& z, const Places& p) {
         z[p.Central + 16] ^= 0x01;
         z[p.LocalHeader + 14] ^= 0x01;
       },
       "CRC-32"},
      {"the size the directory records", "docs/readme.txt",
       [](std::string& z, const Places& p) {
         z[p.Central + 24] ^= 0x02;
         z[p.LocalHeader + 22] ^= 0x02;
       },
       "bytes"},
      {"the local header's name", "docs/readme.txt", [](std::string& z, const Places& p) { z[p.LocalHeader + 31] = 'X'; },
       "local header names"},
      {"the local header's signature", "top.txt", [](std::string& z, const Places& p) { z[p.LocalHeader] = 'Q'; },
       "no local header"},
  };
  const std::string original = ReadAll(Corpus("infozip.zip"));
  testing::TempDir dir;
  for (const Damage& d : damages) {
    for (int64_t wholeLimit : {int64_t{64} << 20, int64_t{16}}) {
      SCOPED_TRACE(std::string(d.What) + (wholeLimit > 16 ? ", whole" : ", in pieces"));
      std::string zip = original;
      d.Apply(zip, Find(zip, d.Entry));
      WriteAll(dir / "damaged.zip", zip);
      const Outcome o = Verify(dir / "damaged.zip", wholeLimit);
      ASSERT_TRUE(o.DirectoryRead);
      ASSERT_EQ(o.Problems.size(), 1u) << ::testing::PrintToString(o.Problems);
      EXPECT_EQ(o.Problems[0].rfind(std::string(d.Entry) + ": ", 0), 0u) << o.Problems[0];
      EXPECT_NE(o.Problems[0].find(d.Expected), std::string::npos) << o.Problems[0];
      EXPECT_EQ(o.Checked.size(), 9u);  // every entry is still checked and told about
    }
  }
  // Cut short: the directory is gone with the end of the file.
  WriteAll(dir / "cut.zip", original.substr(0, original.size() - 30));
  EXPECT_FALSE(Verify(dir / "cut.zip").DirectoryRead);
}

// Many entries, whole and in pieces, with one worker and several: all are checked once, told in
// the archive's order, and only the damaged one is named.
TEST(ZipVerifier, TellsEveryEntryOnceInTheArchivesOrder) {
  ZipBuilder b;
  std::vector<std::string> names;
  for (int i = 0; i < 300; ++i) {
    BuildEntry e;
    e.name = "f" + std::to_string(i) + ".txt";
    e.data = std::string(static_cast<size_t>(i * 7 % 500), static_cast<char>('a' + i % 26));
    names.push_back(e.name);
    b.entries.push_back(e);
  }
  std::string zip = b.Build();
  const Places p = Find(zip, "f200.txt");
  zip[p.Data + 1] ^= 0x40;
  std::string damaged = b.entries[200].data;
  damaged[1] ^= 0x40;
  testing::TempDir dir;
  WriteAll(dir / "many.zip", zip);
  for (int workers : {1, 3}) {
    for (int64_t wholeLimit : {int64_t{1} << 20, int64_t{100}}) {
      SCOPED_TRACE("workers " + std::to_string(workers) + ", whole up to " + std::to_string(wholeLimit));
      const Outcome o = Verify(dir / "many.zip", wholeLimit, workers);
      EXPECT_EQ(o.Checked, names);
      EXPECT_EQ(o.Problems, std::vector<std::string>{"f200.txt: the data has the CRC-32 " + Hex(ziptest::Crc32(damaged)) +
                                                     ", " + Hex(ziptest::Crc32(b.entries[200].data)) +
                                                     " was written"});
    }
  }
}

}  // namespace
}  // namespace dravello
