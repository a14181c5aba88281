#include "tools/pack/pe_image.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "base/little_endian.h"
#include "tools/pack/pack_error.h"
#include "tools/pack/pe_resources.h"

namespace korvelt::pack {
namespace {

constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint16_t kDllCharacteristics = 0x8160;  // high entropy, ASLR, DEP, terminal server aware
constexpr uint32_t kCode = 0x60000020;
constexpr uint32_t kData = 0xC0000040;
constexpr uint32_t kDiscardableData = 0x42000040;
constexpr uint64_t kPe = 0x40;
constexpr uint64_t kOptional = kPe + 4 + 20;

uint32_t Align(uint64_t value, uint32_t alignment) {
  return static_cast<uint32_t>((value + alignment - 1) / alignment * alignment);
}

// A small image laid out as the linker lays out the bootstrapper: code,
// data, the resources, and the base relocations behind them.
class TestImage {
 public:
  explicit TestImage(bool is64) : is64_(is64) {
    Add(".text", 0x300, kCode, Bytes(0x300, 0xcc));
    Add(".data", 0x40, kData, Bytes(0x40, 0x11));
    Resource icon{ResourceName::Number(3), ResourceName::Number(1), ResourceName::Number(0x409), 0, Bytes(0x900, 7)};
    rsrcAddress_ = nextAddress_;
    Bytes resources = BuildResources({icon}, rsrcAddress_);
    Add(".rsrc", static_cast<uint32_t>(resources.size()), kData, resources);
    // One relocation block for the code's page: two entries.
    Bytes relocations = {0x00, 0x10, 0, 0, 12, 0, 0, 0, 0x10, 0x30, 0x20, 0x30};
    Add(".reloc", 12, kDiscardableData, relocations);
  }

  uint64_t OptionalSize() const { return is64_ ? 240 : 224; }
  uint64_t Directory(size_t index) const { return kOptional + (is64_ ? 112 : 96) + index * 8; }
  uint64_t SectionHeader(size_t index) const { return kOptional + OptionalSize() + index * 40; }

  Bytes Build() const {
    uint64_t headers = SectionHeader(sections_.size());
    Bytes bytes(Align(headers, kFileAlignment), 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    StoreLe32(bytes.data() + 0x3C, kPe);
    StoreLe32(bytes.data() + kPe, 0x4550);
    bytes[kPe + 4] = is64_ ? 0x64 : 0x4c;
    bytes[kPe + 5] = is64_ ? 0x86 : 0x01;
    bytes[kPe + 6] = static_cast<unsigned char>(sections_.size());
    bytes[kPe + 4 + 16] = static_cast<unsigned char>(OptionalSize());
    bytes[kOptional] = 0x0b;
    bytes[kOptional + 1] = is64_ ? 2 : 1;
    uint32_t initialized = 0;
    for (const Section& section : sections_) {
      if (section.characteristics & 0x40) initialized += section.rawSize;
    }
    StoreLe32(bytes.data() + kOptional + 8, initialized);
    StoreLe32(bytes.data() + kOptional + 32, kSectionAlignment);
    StoreLe32(bytes.data() + kOptional + 36, kFileAlignment);
    StoreLe32(bytes.data() + kOptional + 56, nextAddress_);
    StoreLe32(bytes.data() + kOptional + 60, static_cast<uint32_t>(bytes.size()));
    StoreLe16(bytes.data() + kOptional + 70, kDllCharacteristics);
    StoreLe32(bytes.data() + kOptional + (is64_ ? 108 : 92), 16);
    for (size_t i = 0; i < sections_.size(); ++i) {
      const Section& section = sections_[i];
      uint64_t header = SectionHeader(i);
      std::copy(section.name.begin(), section.name.end(), bytes.begin() + header);
      StoreLe32(bytes.data() + header + 8, section.virtualSize);
      StoreLe32(bytes.data() + header + 12, section.address);
      StoreLe32(bytes.data() + header + 16, section.rawSize);
      StoreLe32(bytes.data() + header + 20, static_cast<uint32_t>(bytes.size()));
      StoreLe32(bytes.data() + header + 36, section.characteristics);
      bytes.insert(bytes.end(), section.data.begin(), section.data.end());
      bytes.resize(bytes.size() + section.rawSize - section.data.size(), 0);
      if (section.name == ".rsrc") {
        StoreLe32(bytes.data() + Directory(kResourceDirectory), section.address);
        StoreLe32(bytes.data() + Directory(kResourceDirectory) + 4, section.virtualSize);
      }
      if (section.name == ".reloc") {
        StoreLe32(bytes.data() + Directory(kBaseRelocationDirectory), section.address);
        StoreLe32(bytes.data() + Directory(kBaseRelocationDirectory) + 4, section.virtualSize);
      }
    }
    return bytes;
  }

  uint32_t rsrcAddress() const { return rsrcAddress_; }

 private:
  struct Section {
    std::string name;
    uint32_t virtualSize, address, rawSize, characteristics;
    Bytes data;
  };
  void Add(const std::string& name, uint32_t virtualSize, uint32_t characteristics, Bytes data) {
    sections_.push_back({name, virtualSize, nextAddress_, Align(virtualSize, kFileAlignment), characteristics, data});
    nextAddress_ = Align(nextAddress_ + virtualSize, kSectionAlignment);
  }

  bool is64_;
  std::vector<Section> sections_;
  uint32_t nextAddress_ = kSectionAlignment;
  uint32_t rsrcAddress_ = 0;
};

class PeImageTest : public ::testing::TestWithParam<bool> {};

// New resources of any size keep the resource section in place, move the
// relocations behind it to the next aligned place, and leave headers that
// agree with the sections, in PE32 and PE32+ alike.
TEST_P(PeImageTest, MovesWhatFollowsTheResources) {
  TestImage test(GetParam());
  PeImage original(test.Build(), "stub.exe");
  ASSERT_EQ(original.Is64(), GetParam());
  ASSERT_EQ(original.ResourceSection(), 2u);
  const PeSection oldRsrc = original.sections()[2];
  const PeSection oldReloc = original.sections()[3];
  for (uint32_t size : {0x10u, 0x200u, 0x201u, 0x933u, 0x1000u, 0x1001u, 0x5432u}) {
    SCOPED_TRACE(size);
    Resource version{ResourceName::Number(16), ResourceName::Number(1), ResourceName::Number(0x409), 0,
                     Bytes(size, 0x5a)};
    Bytes resources = BuildResources({version}, oldRsrc.virtualAddress);
    PeImage image(original.WithResources(resources), "setup.exe");
    const PeSection& rsrc = image.sections()[2];
    const PeSection& reloc = image.sections()[3];
    EXPECT_EQ(rsrc.virtualAddress, oldRsrc.virtualAddress);
    EXPECT_EQ(rsrc.rawOffset, oldRsrc.rawOffset);
    EXPECT_EQ(rsrc.virtualSize, resources.size());
    EXPECT_EQ(rsrc.rawSize, Align(resources.size(), kFileAlignment));
    EXPECT_EQ(reloc.virtualAddress, Align(uint64_t{rsrc.virtualAddress} + rsrc.rawSize, kSectionAlignment));
    EXPECT_EQ(reloc.rawOffset, rsrc.rawOffset + rsrc.rawSize);
    EXPECT_EQ(reloc.rawSize, oldReloc.rawSize);
    EXPECT_EQ(reloc.virtualSize, oldReloc.virtualSize);
    EXPECT_EQ(image.bytes().size(), uint64_t{reloc.rawOffset} + reloc.rawSize);
    EXPECT_TRUE(std::equal(image.bytes().begin() + reloc.rawOffset, image.bytes().end(),
                           original.bytes().begin() + oldReloc.rawOffset));
    EXPECT_EQ(image.directories()[kBaseRelocationDirectory].address, reloc.virtualAddress);
    EXPECT_EQ(image.directories()[kBaseRelocationDirectory].size, 12u);
    EXPECT_EQ(image.directories()[kResourceDirectory].size, resources.size());
    EXPECT_EQ(image.SizeOfImage(), Align(uint64_t{reloc.virtualAddress} + reloc.virtualSize, kSectionAlignment));
    EXPECT_EQ(image.SizeOfInitializedData(),
              original.SizeOfInitializedData() - oldRsrc.rawSize - oldReloc.rawSize + rsrc.rawSize + reloc.rawSize);
    EXPECT_EQ(image.DllCharacteristics(), kDllCharacteristics);
    EXPECT_EQ(LoadLe32(image.bytes().data() + image.CheckSumOffset()), 0u);
    // What lies before the resources is untouched but for the headers.
    EXPECT_TRUE(std::equal(original.bytes().begin() + 0x200, original.bytes().begin() + oldRsrc.rawOffset,
                           image.bytes().begin() + 0x200));
    std::vector<Resource> back = ParseResources(image.ResourceBytes(), rsrc.virtualAddress);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].data, version.data);
  }
}

// What the rebuild cannot move safely is refused in one line, naming why.
TEST_P(PeImageTest, RefusesLayoutsItCannotRebuild) {
  TestImage test(GetParam());
  const Bytes good = test.Build();
  struct Case {
    const char* what;
    std::function<void(Bytes&)> change;
    const char* says;
  } cases[] = {
      {"signed", [&](Bytes& b) { StoreLe32(b.data() + test.Directory(kCertificateDirectory), 0x4000); StoreLe32(b.data() + test.Directory(kCertificateDirectory) + 4, 8); }, "signed"},
      {"reloc kept", [&](Bytes& b) { StoreLe32(b.data() + test.SectionHeader(3) + 36, kData); }, "not discardable"},
      {"data behind", [&](Bytes& b) { b.push_back(0); }, "data behind its last section"},
      {"symbols", [&](Bytes& b) { StoreLe32(b.data() + kPe + 4 + 8, 0x100); }, "symbol table"},
      {"export into moved", [&](Bytes& b) { StoreLe32(b.data() + test.Directory(kExportDirectory), test.rsrcAddress() + 0x1000); StoreLe32(b.data() + test.Directory(kExportDirectory) + 4, 4); }, "data directory 0"},
      {"relocation of moved page", [&](Bytes& b) { StoreLe32(b.data() + test.Directory(kBaseRelocationDirectory), test.rsrcAddress()); }, "refers into"},
      {"relocated page behind", [&](Bytes& b) { StoreLe32(b.data() + LoadLe32(b.data() + test.SectionHeader(3) + 20), test.rsrcAddress() + 0x1000); }, "relocates bytes behind"},
      {"relocation block too long", [&](Bytes& b) { StoreLe32(b.data() + LoadLe32(b.data() + test.SectionHeader(3) + 20) + 4, 0x7fffffff); }, "relocations are corrupt"},
      {"no resources", [&](Bytes& b) { StoreLe32(b.data() + test.Directory(kResourceDirectory) + 4, 0); }, "no resources"},
      {"resources mid-section", [&](Bytes& b) { StoreLe32(b.data() + test.Directory(kResourceDirectory), test.rsrcAddress() + 4); }, "do not start a section"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = good;
    c.change(bytes);
    try {
      PeImage(bytes, "stub.exe").WithResources(Bytes(64, 0));
      ADD_FAILURE() << "not refused";
    } catch (const PackError& error) {
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
      EXPECT_EQ(std::string(error.what()).find('\n'), std::string::npos);
    }
  }
}

// Headers that lie about where things are are refused before anything is
// read through them.
TEST_P(PeImageTest, RefusesHeadersOutOfBounds) {
  TestImage test(GetParam());
  const Bytes good = test.Build();
  struct Case {
    const char* what;
    std::function<void(Bytes&)> change;
    const char* says;
  } cases[] = {
      {"no MZ", [](Bytes& b) { b[0] = 'Z'; }, "no MZ header"},
      {"cut in the DOS header", [](Bytes& b) { b.resize(0x3D); }, "cut short"},
      {"e_lfanew past the end", [](Bytes& b) { StoreLe32(b.data() + 0x3C, 0xfffffff0); }, "cut short"},
      {"no PE signature", [](Bytes& b) { b[kPe] = 'X'; }, "no PE signature"},
      {"ROM image", [](Bytes& b) { b[kOptional] = 0x07; }, "PE32"},
      {"too many directories", [&](Bytes& b) { StoreLe32(b.data() + kOptional + (GetParam() ? 108 : 92), 17); }, "data directories"},
      {"directories past the optional header", [](Bytes& b) { b[kPe + 4 + 16] = 100; }, "data directories"},
      {"file alignment of three", [](Bytes& b) { StoreLe32(b.data() + kOptional + 36, 3); }, "power of two"},
      {"no sections", [](Bytes& b) { b[kPe + 6] = 0; b[kPe + 7] = 0; }, "section table"},
      {"section table past the file", [](Bytes& b) { b[kPe + 6] = 0xff; b[kPe + 7] = 0xff; }, "section table"},
      {"section raw data past the file", [&](Bytes& b) { StoreLe32(b.data() + test.SectionHeader(1) + 20, 0xfffffe00); }, "outside the file"},
      {"section size wrapping", [&](Bytes& b) { StoreLe32(b.data() + test.SectionHeader(1) + 16, 0xffffff00); }, "outside the file"},
      {"section past SizeOfImage", [&](Bytes& b) { StoreLe32(b.data() + test.SectionHeader(1) + 8, 0x7fffffff); }, "SizeOfImage"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = good;
    c.change(bytes);
    try {
      PeImage image(bytes, "stub.exe");
      ADD_FAILURE() << "not refused";
    } catch (const PackError& error) {
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Pe32AndPe32Plus, PeImageTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Pe32Plus" : "Pe32"; });

// The sum folds carries back in, leaves the CheckSum field out, takes an
// odd last byte as a word of its own and adds the length.
TEST(PeCheckSumTest, SumsWordsWithEndAroundCarry) {
  struct Case {
    Bytes bytes;
    uint64_t checkSumOffset;
    uint32_t sum;
  } cases[] = {
      {{}, 64, 0},
      {{0x01, 0x02}, 64, 0x0201 + 2},
      {{0xff, 0xff, 0x02, 0x00}, 64, 0x0002 + 4},
      {{0xff, 0xff, 0xff, 0xff, 0x03}, 64, 0x0003 + 5},
      {{0x10, 0x00, 0xaa, 0xbb, 0xcc, 0xdd, 0x01, 0x00}, 2, 0x0011 + 8},
      {{0x10, 0x00, 0x00, 0x00, 0x05}, 0, 0x0005 + 5},
  };
  for (const Case& c : cases) {
    std::istringstream in(std::string(c.bytes.begin(), c.bytes.end()));
    EXPECT_EQ(PeCheckSum(in, c.bytes.size(), c.checkSumOffset), c.sum) << c.bytes.size();
  }
  // Pieces read from the stream keep every word whole across their seam.
  std::string large(3 << 20, '\0');
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 + (i >> 9));
  uint64_t expected = 0;
  for (size_t i = 0; i < large.size(); i += 2) {
    if (i == 64 || i == 66) continue;
    expected += static_cast<unsigned char>(large[i]) | static_cast<unsigned char>(large[i + 1]) << 8;
  }
  while (expected >> 16) expected = (expected & 0xffff) + (expected >> 16);
  std::istringstream in(large);
  EXPECT_EQ(PeCheckSum(in, large.size(), 64), expected + large.size());
}

}  // namespace
}  // namespace korvelt::pack
