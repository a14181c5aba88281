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
    ++open;
    return inner.Begin(state) && !failBegin;
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

// A digest is written as exactly 64 hexadecimal digits, in either case
// (letters only, as digits have none); anything else, blanks included (the
// reader has trimmed the value already), is none.
TEST(DigestIsTest, SixtyFourHexDigitsOnly) {
  Sha256Digest digest;
  PosixSha256Service sha256;
  Sha256State state;
  sha256.Begin(&state);
  sha256.Update(&state, "abc", 3);
  ASSERT_TRUE(sha256.Finish(&state, &digest));
  const std::string abc = kAbc;
  std::string upper = abc;
  for (char& c : upper) c = static_cast<char>(toupper(c));
  // '7' less the bit that tells a letter's case apart: a control character.
  std::string control = abc;
  control[2] = static_cast<char>('7' - 0x20);
  struct Case {
    const char* name;
    std::string text;
    bool is;
  } cases[] = {
      {"lower case", abc, true},
      {"upper case", upper, true},
      {"mixed case", upper.substr(0, 32) + abc.substr(32), true},
      {"63 digits", abc.substr(0, 63), false},
      {"65 digits", abc + "0", false},
      {"empty", "", false},
      {"another digest", "0" + abc.substr(1), false},
      {"a g", "g" + abc.substr(1), false},
      {"a blank inside", abc.substr(0, 30) + " " + abc.substr(31), false},
      {"a blank in front", " " + abc.substr(0, 63), false},
      {"a blank behind", abc + " ", false},
      {"a digit less its case bit", control, false},
      {"the malformed mark", "-", false},
  };
  for (const Case& c : cases) EXPECT_EQ(DigestIs(digest, c.text.c_str()), c.is) << c.name;
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

// Whether a file is what is asked: an empty text takes anything, even no
// file; any other text only the file whose digest it is, and only when
// it can be read and digested. Every digest begun is finished and every
// file closed, but the one handed back open.
TEST_F(FileDigestTest, Matches) {
  files.files[kPath] = Bytes{'a', 'b', 'c'};
  files.files["C:\\dl\\abd.exe"] = Bytes{'a', 'b', 'd'};
  files.files["C:\\dl\\empty.exe"] = Bytes();
  struct Case {
    const char* name;
    const char* path;
    const char* sha256;
    bool failBegin;
    bool failUpdate;
    bool matches;
  } cases[] = {
      {"nothing asked", kPath, "", false, false, true},
      {"nothing asked, no file", "C:\\dl\\missing.exe", "", false, false, true},
      {"its digest", kPath, kAbc, false, false, true},
      {"another file", "C:\\dl\\abd.exe", kAbc, false, false, false},
      {"an empty file", "C:\\dl\\empty.exe", kAbc, false, false, false},
      {"no file", "C:\\dl\\missing.exe", kAbc, false, false, false},
      {"malformed", kPath, "-", false, false, false},
      {"no digest to be had", kPath, kAbc, true, false, false},
      {"a failed update", kPath, kAbc, false, true, false},
  };
  for (const Case& c : cases) {
    sha256.failBegin = c.failBegin;
    sha256.failUpdate = c.failUpdate;
    EXPECT_EQ(FileMatches(files, &sha256, c.path, c.sha256), c.matches) << c.name;
    EXPECT_EQ(sha256.open, 0) << c.name;
    EXPECT_EQ(files.openHandles(), 0) << c.name;
  }
  // OpenMatching hands the file back open, from its end, or nothing.
  sha256.failBegin = sha256.failUpdate = false;
  FileId file = OpenMatching(files, &sha256, kPath, kAbc);
  ASSERT_NE(file, 0u);
  EXPECT_EQ(files.openHandles(), 1);
  files.Close(file);
  EXPECT_EQ(OpenMatching(files, &sha256, "C:\\dl\\abd.exe", kAbc), 0u);
  // Without a service nothing with a digest matches.
  EXPECT_FALSE(FileMatches(files, nullptr, kPath, kAbc));
  EXPECT_TRUE(FileMatches(files, nullptr, kPath, ""));
  EXPECT_EQ(files.openHandles(), 0);
}

// A read that fails ends the digest too.
TEST_F(FileDigestTest, ReadFailureEndsTheDigest) {
  files.files[kPath] = Bytes(20000, 'x');
  files.readFailsAfter = 8192;
  ScopedFile file(files, files.OpenForReading(kPath));
  Sha256Digest digest;
  EXPECT_FALSE(DigestFile(files, sha256, file.Get(), &digest));
  EXPECT_EQ(sha256.open, 0);
}

}  // namespace
}  // namespace korvelt
