#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "platform/sha256_posix.h"
#include "testing/fake_files.h"
#include "testing/sha256_vectors.h"

namespace korvelt {
namespace {

using testing::Bytes;

const std::string kAbc = testing::kSha256Vectors[1].hex;
constexpr char kPath[] = "C:\\dl\\abc.exe";

// libcrypto gives the known digests, the bytes given at once or in pieces.
TEST(PosixSha256Test, KnownVectors) {
  PosixSha256Service sha256;
  for (const testing::Sha256Vector& vector : testing::kSha256Vectors) {
    for (size_t piece : {size_t{1000000}, size_t{63}, size_t{8192}}) {
      EXPECT_EQ(testing::DigestInPieces(sha256, vector.input, piece), vector.hex)
          << vector.input.size() << " bytes in pieces of " << piece;
    }
  }
}

// A digest is exactly 64 hexadecimal digits, upper case for letters alone;
// anything else (the reader has trimmed the value already) is none.
TEST(DigestIsTest, SixtyFourHexDigitsOnly) {
  Sha256Digest digest;
  for (size_t i = 0; i < kSha256Size; ++i) {
    digest.bytes[i] = static_cast<unsigned char>(std::stoi(kAbc.substr(2 * i, 2), nullptr, 16));
  }
  std::string upper = kAbc;
  for (char& c : upper) c = static_cast<char>(toupper(c));
  std::string digitLessCaseBit = kAbc;
  digitLessCaseBit[2] = static_cast<char>('7' - 0x20);
  struct Case {
    std::string text;
    bool is;
  } cases[] = {{kAbc, true},           {upper, true},           {kAbc.substr(0, 63), false}, {kAbc + "0", false},
               {"", false},            {"-", false},            {"g" + kAbc.substr(1), false},
               {" " + kAbc.substr(1), false}, {kAbc.substr(0, 63) + " ", false}, {digitLessCaseBit, false},
               {"0" + kAbc.substr(1), false}};
  for (const Case& c : cases) EXPECT_EQ(DigestIs(digest, c.text.c_str()), c.is) << '"' << c.text << '"';
}

// An empty text takes any file, even none; a digest only its file, read
// whole in chunks. Every file is closed but the one OpenMatching hands back.
TEST(FileMatchesTest, OnlyTheFileOfTheDigest) {
  testing::FakeFileSystem files;
  files.folders = {"C:", "C:\\dl"};
  files.files[kPath] = Bytes{'a', 'b', 'c'};
  files.files["C:\\dl\\abd.exe"] = Bytes{'a', 'b', 'd'};
  files.files["C:\\dl\\big.exe"] = Bytes(20000, 'x');
  PosixSha256Service sha256;
  const char* abc = kAbc.c_str();
  for (auto [path, text, matches] :
       {std::tuple{"C:\\dl\\none.exe", "", true}, {kPath, abc, true}, {"C:\\dl\\abd.exe", abc, false},
        {"C:\\dl\\none.exe", abc, false}, {kPath, "-", false}}) {
    EXPECT_EQ(FileMatches(files, &sha256, path, text), matches) << path << " " << text;
  }
  EXPECT_FALSE(FileMatches(files, nullptr, kPath, kAbc.c_str()));
  EXPECT_FALSE(FileMatches(files, &sha256, "C:\\dl\\big.exe", kAbc.c_str()));
  EXPECT_EQ(files.readSizes.back(), 8192u);
  EXPECT_EQ(files.openHandles(), 0);
  FileId file = OpenMatching(files, &sha256, kPath, kAbc.c_str());
  ASSERT_NE(file, 0u);
  files.Close(file);
}

}  // namespace
}  // namespace korvelt
