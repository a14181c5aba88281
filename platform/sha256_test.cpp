#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/sha256_posix.h"
#include "testing/fake_files.h"
#include "testing/sha256_vectors.h"

namespace korvelt {
namespace {

using testing::Bytes;

constexpr char kAbc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr char kPath[] = "C:\\dl\\setup.exe";

// A service that passes on to the real one, counts the digests under way
// and fails on demand.
class CountingSha256 final : public Sha256Service {
 public:
  bool Begin(Sha256State* state) override {
    if (failBegin || !inner.Begin(state)) return false;
    ++open;
    return true;
  }
  bool Update(Sha256State* state, const void* bytes, uint32_t size) override {
    return !failUpdate && inner.Update(state, bytes, size);
  }
  bool Finish(Sha256State* state, Sha256Digest* digest) override {
    --open;
    return inner.Finish(state, digest);
  }
  PosixSha256Service inner;
  bool failBegin = false;
  bool failUpdate = false;
  int open = 0;
};

// libcrypto gives the known digests, whether the bytes come at once, in
// odd pieces or in chunks of a download's size.
TEST(PosixSha256Test, KnownVectors) {
  PosixSha256Service sha256;
  for (const testing::Sha256Vector& vector : testing::kSha256Vectors) {
    for (size_t piece : {size_t{0}, size_t{1}, size_t{63}, size_t{8192}}) {
      if (piece == 1 && vector.input.size() > 1000) continue;
      EXPECT_EQ(testing::DigestInPieces(sha256, vector.input, piece), vector.hex) << vector.name << ", pieces of " << piece;
    }
  }
}

// Exactly 64 hexadecimal digits, in either case, are a digest; anything
// else, blanks included (the reader has trimmed the value already), is
// malformed.
TEST(ParseSha256Test, SixtyFourHexDigitsOnly) {
  const std::string abc = kAbc;
  std::string upper = abc;
  for (char& c : upper) c = static_cast<char>(toupper(c));
  struct Case {
    const char* name;
    std::string text;
    DigestRule rule;
  } cases[] = {
      {"lower case", abc, DigestRule::Exact},
      {"upper case", upper, DigestRule::Exact},
      {"mixed case", upper.substr(0, 32) + abc.substr(32), DigestRule::Exact},
      {"63 digits", abc.substr(0, 63), DigestRule::Malformed},
      {"65 digits", abc + "0", DigestRule::Malformed},
      {"empty", "", DigestRule::Malformed},
      {"a g", "g" + abc.substr(1), DigestRule::Malformed},
      {"a blank inside", abc.substr(0, 30) + " " + abc.substr(31), DigestRule::Malformed},
      {"a blank in front", " " + abc, DigestRule::Malformed},
      {"a blank behind", abc + " ", DigestRule::Malformed},
      {"0x", "0x" + abc.substr(2), DigestRule::Malformed},
      {"past 'f' and 'F'", std::string(63, '0') + "G", DigestRule::Malformed},
      {"odd end", abc.substr(0, 63) + "/", DigestRule::Malformed},
  };
  for (const Case& c : cases) {
    ExpectedDigest expected = ParseSha256(c.text.c_str());
    EXPECT_EQ(expected.rule, c.rule) << c.name;
    EXPECT_EQ(testing::HexOf(expected.digest), c.rule == DigestRule::Exact ? abc : std::string(64, '0')) << c.name;
  }
}

class FileDigestTest : public ::testing::Test {
 protected:
  void SetUp() override { files.folders = {"C:", "C:\\dl"}; }

  testing::FakeFileSystem files;
  CountingSha256 sha256;
};

// A file is read in chunks of one fixed buffer, from where it stands to its
// end, and its digest is that of its bytes.
TEST_F(FileDigestTest, DigestsAFileInChunks) {
  const std::string million(1000000, 'a');
  files.files[kPath] = Bytes(million.begin(), million.end());
  ScopedFile file(files, files.OpenForReading(kPath));
  Sha256Digest digest;
  ASSERT_TRUE(DigestFile(files, sha256, file.Get(), &digest));
  EXPECT_EQ(testing::HexOf(digest), testing::kSha256Vectors[3].hex);
  ASSERT_FALSE(files.readSizes.empty());
  for (uint32_t size : files.readSizes) EXPECT_EQ(size, 8192u);
  EXPECT_EQ(files.bytesRead, 1000000u);
  EXPECT_EQ(sha256.open, 0);
}

// Whether a file is what is asked: no rule takes anything, even no file; a
// malformed one takes nothing; a digest takes only its own bytes, and only
// when they can be read and digested. Every digest begun is finished and
// every file closed.
TEST_F(FileDigestTest, Matches) {
  files.files[kPath] = Bytes{'a', 'b', 'c'};
  files.files["C:\\dl\\abd.exe"] = Bytes{'a', 'b', 'd'};
  files.files["C:\\dl\\empty.exe"] = Bytes();
  const ExpectedDigest none;
  const ExpectedDigest abc = ParseSha256(kAbc);
  const ExpectedDigest malformed = ParseSha256("abc");
  struct Case {
    const char* name;
    const char* path;
    const ExpectedDigest& expected;
    bool failBegin;
    bool failUpdate;
    bool matches;
  } cases[] = {
      {"no rule", kPath, none, false, false, true},
      {"no rule, no file", "C:\\dl\\missing.exe", none, false, false, true},
      {"its digest", kPath, abc, false, false, true},
      {"another file", "C:\\dl\\abd.exe", abc, false, false, false},
      {"an empty file", "C:\\dl\\empty.exe", abc, false, false, false},
      {"no file", "C:\\dl\\missing.exe", abc, false, false, false},
      {"malformed", kPath, malformed, false, false, false},
      {"no digest to be had", kPath, abc, true, false, false},
      {"a failed update", kPath, abc, false, true, false},
  };
  for (const Case& c : cases) {
    sha256.failBegin = c.failBegin;
    sha256.failUpdate = c.failUpdate;
    EXPECT_EQ(FileMatches(files, &sha256, c.path, c.expected), c.matches) << c.name;
    EXPECT_EQ(sha256.open, 0) << c.name;
    EXPECT_EQ(files.openHandles(), 0) << c.name;
  }
  // Without a service nothing with a digest matches.
  EXPECT_FALSE(FileMatches(files, nullptr, kPath, abc));
  EXPECT_TRUE(FileMatches(files, nullptr, kPath, none));
}

// A read that fails ends the digest too, and the file does not match.
TEST_F(FileDigestTest, ReadFailureMatchesNothing) {
  files.files[kPath] = Bytes(20000, 'x');
  files.readFailsAfter = 8192;
  ScopedFile file(files, files.OpenForReading(kPath));
  EXPECT_FALSE(ContentMatches(files, &sha256, file.Get(), ParseSha256(kAbc)));
  EXPECT_EQ(sha256.open, 0);
}

}  // namespace
}  // namespace korvelt
