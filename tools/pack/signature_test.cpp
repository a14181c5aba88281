#include "tools/pack/signature.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/pack/cli.h"

namespace korvelt::pack {
namespace {

namespace fs = std::filesystem;
using State = Signature::State;

void Put(std::string* bytes, size_t at, uint32_t value, int count) {
  if (bytes->size() < at + count) bytes->resize(at + count, '\0');
  for (int i = 0; i < count; ++i) (*bytes)[at + i] = static_cast<char>(value >> (8 * i));
}

// A PE image of `fileSize` bytes with its PE signature at 0x80, whose
// security entry says `offset` and `size`; `magic` picks PE32 or PE32+.
struct Image {
  uint16_t magic = 0x10b;
  uint32_t offset = 0;
  uint32_t size = 0;
  uint32_t directoryCount = 16;
  uint16_t optionalSize = 0;  // 0: as large as the directories need
  uint32_t certificateLength = 0;  // 0: the table's size
  size_t fileSize = 4096;

  std::string Bytes() const {
    bool wide = magic == 0x20b;
    uint32_t directoriesAt = wide ? 112 : 96;
    std::string bytes(fileSize, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    Put(&bytes, 0x3C, 0x80, 4);
    bytes.replace(0x80, 4, std::string("PE\0\0", 4));
    Put(&bytes, 0x84, wide ? 0x8664 : 0x14c, 2);
    Put(&bytes, 0x84 + 16, optionalSize ? optionalSize : directoriesAt + directoryCount * 8, 2);
    size_t optionalAt = 0x80 + 24;
    Put(&bytes, optionalAt, magic, 2);
    Put(&bytes, optionalAt + (wide ? 108 : 92), directoryCount, 4);
    Put(&bytes, optionalAt + directoriesAt + 4 * 8, offset, 4);
    Put(&bytes, optionalAt + directoriesAt + 4 * 8 + 4, size, 4);
    if (offset != 0 && size >= 8 && uint64_t{offset} + 8 <= fileSize) {
      Put(&bytes, offset, certificateLength ? certificateLength : size, 4);
    }
    bytes.resize(fileSize);
    return bytes;
  }
};

Signature Read(const std::string& bytes) {
  std::istringstream in(bytes);
  return ReadSignature(in, bytes.size());
}

// The security entry is read for PE32 and PE32+, and a table that cannot be
// where it says is Broken, never Signed.
TEST(SignatureTest, ReadsTheSecurityEntry) {
  struct Case {
    const char* what;
    Image image;
    State state;
  } cases[] = {
      {"PE32, no signature", {}, State::Unsigned},
      {"PE32+, no signature", {.magic = 0x20b}, State::Unsigned},
      {"PE32, signed", {.offset = 3000, .size = 1096}, State::Signed},
      {"PE32+, signed", {.magic = 0x20b, .offset = 3000, .size = 1096}, State::Signed},
      {"a table that ends before the file does", {.offset = 1024, .size = 1024}, State::Signed},
      {"a first certificate shorter than the table", {.offset = 3000, .size = 1096, .certificateLength = 8}, State::Signed},
      {"no security entry among the directories", {.offset = 3000, .size = 1096, .directoryCount = 4}, State::Unsigned},
      {"PE32+, no security entry", {.magic = 0x20b, .offset = 3000, .size = 1096, .directoryCount = 4}, State::Unsigned},
      {"offset past the end of the file", {.offset = 5000, .size = 16}, State::Broken},
      {"size past the end of the file", {.offset = 3000, .size = 1097}, State::Broken},
      {"PE32+, size past the end of the file", {.magic = 0x20b, .offset = 3000, .size = 1097}, State::Broken},
      {"offset + size wraps in 32 bits", {.offset = 0xFFFFFFF8, .size = 0x10}, State::Broken},
      {"offset + size wraps, small offset", {.offset = 3000, .size = 0xFFFFFFF0}, State::Broken},
      {"offset inside the headers", {.offset = 0x10, .size = 16}, State::Broken},
      {"an offset without a size", {.offset = 3000, .size = 0}, State::Broken},
      {"a size without an offset", {.offset = 0, .size = 16}, State::Broken},
      {"a table too small for a certificate head", {.offset = 3000, .size = 7}, State::Broken},
      {"a certificate longer than the table", {.offset = 3000, .size = 64, .certificateLength = 65}, State::Broken},
      {"a certificate shorter than its head", {.offset = 3000, .size = 64, .certificateLength = 7}, State::Broken},
      {"unknown optional header magic", {.magic = 0x107, .offset = 3000, .size = 1096}, State::NoExecutable},
      {"optional header too short for its directories", {.offset = 3000, .size = 1096, .optionalSize = 96 + 4 * 8}, State::NoExecutable},
      {"optional header too short for the count", {.optionalSize = 90}, State::NoExecutable},
      {"the file ends inside the directories", {.offset = 3000, .size = 16, .fileSize = 0x80 + 24 + 96 + 4 * 8 + 4}, State::NoExecutable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Signature signature = Read(c.image.Bytes());
    EXPECT_EQ(signature.state, c.state);
    if (c.state == State::Signed) {
      EXPECT_EQ(signature.offset, c.image.offset);
      EXPECT_EQ(signature.size, c.image.size);
    }
    if (c.state == State::Broken) {
      EXPECT_FALSE(signature.problem.empty());
    }
  }
}

// What is no PE image at all has no signature, and no read leaves the bytes.
TEST(SignatureTest, NoExecutable) {
  std::string noMz = Image{}.Bytes();
  noMz[0] = 'X';
  std::string noPe = Image{}.Bytes();
  noPe[0x81] = 'X';
  std::string farPointer = Image{}.Bytes();
  Put(&farPointer, 0x3C, 0xFFFFFFFE, 4);
  for (const std::string& bytes :
       {std::string(), std::string("MZ"), noMz, noPe, farPointer, Image{}.Bytes().substr(0, 0x80 + 25)}) {
    SCOPED_TRACE(::testing::PrintToString(bytes.substr(0, 0x90)));
    EXPECT_EQ(Read(bytes).state, State::NoExecutable);
  }
}

// A signature counts only behind the payload's footer: one in front of the
// payload (a signed stub packed) or across it is Broken.
TEST(SignatureTest, MustLieBehindThePayload) {
  struct Case {
    uint64_t offset, size;
    State state;
    const char* says;
  } cases[] = {
      {9000, 800, State::Signed, ""},  // right behind the footer
      {9008, 800, State::Signed, ""},
      {8999, 800, State::Broken, "overlaps"},
      {6000, 800, State::Broken, "overlaps"},
      {4000, 1000, State::Broken, "in front of the payload"},  // ends where the payload starts
      {4000, 1001, State::Broken, "overlaps"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    Signature signature;
    signature.state = State::Signed;
    signature.offset = c.offset;
    signature.size = c.size;
    CheckSignatureBehindPayload(&signature, 5000, 9000);
    EXPECT_EQ(signature.state, c.state);
    EXPECT_NE(signature.problem.find(c.says), std::string::npos) << signature.problem;
  }
  Signature none;
  none.state = State::Unsigned;
  CheckSignatureBehindPayload(&none, 5000, 9000);
  EXPECT_EQ(none.state, State::Unsigned);
}

class SignedSetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("korvelt-signature-test-" + std::to_string(::getpid()) + "-" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }

  std::string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(folder / name, std::ios::binary) << bytes;
    return (folder / name).string();
  }
  // Signs the file as a signing tool does: pads it to eight bytes, appends
  // a table of `tableSize` bytes and points the security entry at it.
  void Sign(const std::string& path, uint32_t tableSize, bool wide = false) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    bytes.resize((bytes.size() + 7) / 8 * 8, '\0');
    uint32_t offset = static_cast<uint32_t>(bytes.size());
    bytes += std::string(tableSize, 'S');
    Put(&bytes, offset, tableSize, 4);
    size_t entryAt = 0x80 + 24 + (wide ? 112 : 96) + 4 * 8;
    Put(&bytes, entryAt, offset, 4);
    Put(&bytes, entryAt + 4, tableSize, 4);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  }
  int Run(std::vector<std::string> arguments) {
    out.str("");
    err.str("");
    return Main(arguments, out, err);
  }

  fs::path folder;
  std::ostringstream out, err;
};

// A setup signed after packing lists and extracts as before, for both
// optional header shapes and for a signature longer than the search
// window; list says where the signature lies.
TEST_F(SignedSetupTest, ListAndExtractASignedSetup) {
  std::string msi(70001, 'm');
  Write("app.msi", msi);
  for (bool wide : {false, true}) {
    for (uint32_t tableSize : {1096u, 3 * 2048u + 16}) {
      SCOPED_TRACE(std::to_string(wide) + " " + std::to_string(tableSize));
      Write("stub.exe", Image{.magic = static_cast<uint16_t>(wide ? 0x20b : 0x10b), .fileSize = 5000}.Bytes());
      fs::remove(folder / "setup.exe");
      ASSERT_EQ(Run({"create", "--stub", (folder / "stub.exe").string(), "--out", (folder / "setup.exe").string(),
                     "--main", (folder / "app.msi").string()}),
                0)
          << err.str();
      uint64_t unsignedSize = fs::file_size(folder / "setup.exe");
      ASSERT_EQ(Run({"list", (folder / "setup.exe").string()}), 0) << err.str();
      EXPECT_NE(out.str().find("signature: none\n"), std::string::npos) << out.str();

      Sign((folder / "setup.exe").string(), tableSize, wide);
      uint64_t offset = (unsignedSize + 7) / 8 * 8;
      ASSERT_EQ(Run({"list", (folder / "setup.exe").string()}), 0) << err.str();
      EXPECT_NE(out.str().find("signature: yes (" + std::to_string(tableSize) + " bytes at offset " +
                               std::to_string(offset) + ")\n"),
                std::string::npos)
          << out.str();
      EXPECT_NE(out.str().find("app.msi"), std::string::npos) << out.str();
      EXPECT_EQ(out.str().find("moved by"), std::string::npos) << out.str();

      fs::remove_all(folder / "out");
      fs::create_directory(folder / "out");
      ASSERT_EQ(Run({"extract", (folder / "setup.exe").string(), (folder / "out").string()}), 0) << err.str();
      std::ifstream extracted(folder / "out" / "app.msi", std::ios::binary);
      EXPECT_EQ(std::string((std::istreambuf_iterator<char>(extracted)), {}), msi);
    }
  }
}

// A signed stub, and a signed setup given as the stub, are refused in one
// line that says to sign after packing; nothing is written.
TEST_F(SignedSetupTest, RefusesASignedStub) {
  Write("app.msi", "m");
  Write("stub.exe", Image{.fileSize = 5000}.Bytes());
  ASSERT_EQ(Run({"create", "--stub", (folder / "stub.exe").string(), "--out", (folder / "setup.exe").string(),
                 "--main", (folder / "app.msi").string()}),
            0)
      << err.str();
  Sign((folder / "setup.exe").string(), 1096);
  fs::copy_file(folder / "stub.exe", folder / "signed-stub.exe");
  Sign((folder / "signed-stub.exe").string(), 1096);
  std::string brokenStub = Image{.offset = 4000, .size = 1200, .fileSize = 5000}.Bytes();
  Write("broken-stub.exe", brokenStub);
  for (const char* stub : {"signed-stub.exe", "setup.exe", "broken-stub.exe"}) {
    SCOPED_TRACE(stub);
    EXPECT_EQ(Run({"create", "--stub", (folder / stub).string(), "--out", (folder / "again.exe").string(), "--main",
                   (folder / "app.msi").string()}),
              1);
    std::string said = err.str();
    EXPECT_NE(said.find("is signed"), std::string::npos) << said;
    EXPECT_NE(said.find("sign the setup"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_FALSE(fs::exists(folder / "again.exe"));
    EXPECT_FALSE(fs::exists(folder / "again.exe.partial"));
  }
}

// A setup packed from a signed stub by an older packer, or with bytes
// added behind its signature, says its signature is broken.
TEST_F(SignedSetupTest, ListSaysASignatureInFrontOfThePayloadIsBroken) {
  Write("app.msi", "m");
  Write("stub.exe", Image{.fileSize = 5000}.Bytes());
  ASSERT_EQ(Run({"create", "--stub", (folder / "stub.exe").string(), "--out", (folder / "setup.exe").string(),
                 "--main", (folder / "app.msi").string()}),
            0)
      << err.str();
  std::ifstream in(folder / "setup.exe", std::ios::binary);
  std::string setup((std::istreambuf_iterator<char>(in)), {});
  // The stub's own table, 200 bytes at its end, in front of the payload.
  size_t entryAt = 0x80 + 24 + 96 + 4 * 8;
  Put(&setup, entryAt, 4800, 4);
  Put(&setup, entryAt + 4, 200, 4);
  Put(&setup, 4800, 200, 4);
  Write("setup.exe", setup);
  ASSERT_EQ(Run({"list", (folder / "setup.exe").string()}), 0) << err.str();
  EXPECT_NE(out.str().find("signature: broken (200 bytes at offset 4800: it lies in front of the payload"),
            std::string::npos)
      << out.str();
}

}  // namespace
}  // namespace korvelt::pack
