#include "tools/pack/pe_resources.h"

#include <gtest/gtest.h>

#include <functional>

#include "base/little_endian.h"
#include "tools/pack/pack_error.h"

namespace korvelt::pack {
namespace {

constexpr uint32_t kRva = 0x14000;

ResourceName Named(const char16_t* text) { return {true, 0, text}; }
ResourceName Id(uint16_t id) { return ResourceName::Number(id); }

// What is built parses back whole, in the order Windows searches: names
// before numbers, names without regard to case, numbers ascending.
TEST(ResourceTreeTest, BuildsAndParsesBack) {
  std::vector<Resource> resources = {
      {Id(16), Id(1), Id(0x409), 0, Bytes(0x35c, 1)},
      {Id(3), Id(2), Id(0x409), 0, Bytes(5, 2)},
      {Id(3), Id(1), Id(0x409), 1252, Bytes(0x128, 3)},
      {Named(u"RTF"), Named(u"information"), Id(0), 0, Bytes(17, 4)},
      {Named(u"ARCHIVE"), Id(7), Id(0x407), 0, {}},
      {Id(3), Id(1), Id(0x407), 0, Bytes(1, 5)},
      {Id(24), Id(1), Id(0x409), 0, Bytes(0x2ff, 6)},
  };
  Bytes section = BuildResources(resources, kRva);
  std::vector<Resource> back = ParseResources(section, kRva);
  std::vector<size_t> order = {4, 3, 5, 2, 1, 0, 6};
  ASSERT_EQ(back.size(), order.size());
  for (size_t i = 0; i < order.size(); ++i) {
    SCOPED_TRACE(i);
    const Resource& want = resources[order[i]];
    EXPECT_EQ(back[i].type, want.type);
    EXPECT_EQ(back[i].name, want.name);
    EXPECT_EQ(back[i].language, want.language);
    EXPECT_EQ(back[i].codePage, want.codePage);
    EXPECT_EQ(back[i].data, want.data);
  }
  // Rebuilding what was read gives the same bytes.
  EXPECT_EQ(BuildResources(back, kRva), section);
}

// Two resources that Windows could not tell apart are refused.
TEST(ResourceTreeTest, RefusesDuplicates) {
  std::vector<Resource> resources = {{Id(3), Id(1), Id(0x409), 0, {1}}, {Id(3), Id(1), Id(0x409), 0, {2}}};
  EXPECT_THROW(BuildResources(resources, kRva), PackError);
  resources[1].language = Id(0x407);
  EXPECT_NO_THROW(BuildResources(resources, kRva));
}

// A corrupt tree is one clean error, whatever offset, count or size lies.
TEST(ResourceTreeTest, RefusesCorruptTrees) {
  // One resource: the three directories at 0, 24 and 48, the data entry at
  // 72, the data at 88.
  const Bytes good = BuildResources({{Id(3), Id(1), Id(0x409), 0, Bytes(40, 9)}}, kRva);
  ASSERT_EQ(good.size(), 128u);
  struct Case {
    const char* what;
    std::function<void(Bytes&)> change;
    const char* says;
  } cases[] = {
      {"empty", [](Bytes& b) { b.clear(); }, "passes the section's end"},
      {"root cut short", [](Bytes& b) { b.resize(20); }, "passes the section's end"},
      {"huge counts", [](Bytes& b) { b[12] = 0xff; b[13] = 0xff; b[14] = 0xff; b[15] = 0xff; }, "counts more entries"},
      {"one entry too many", [](Bytes& b) { b[14] = 2; }, "three levels"},
      {"subdirectory past the end", [](Bytes& b) { StoreLe32(b.data() + 20, 0x80000000 | 0x7ffffff0); }, "passes the section's end"},
      {"subdirectory loops to the root", [](Bytes& b) { StoreLe32(b.data() + 44, 0x80000000); }, "reached twice"},
      {"data where a directory belongs", [](Bytes& b) { StoreLe32(b.data() + 20, 72); }, "three levels"},
      {"directory where data belong", [](Bytes& b) { StoreLe32(b.data() + 68, 0x80000000 | 24); }, "three levels"},
      {"number past 16 bits", [](Bytes& b) { StoreLe32(b.data() + 16, 0x10003); }, "16 bits"},
      {"name past the end", [](Bytes& b) { StoreLe32(b.data() + 16, 0x80000000 | 126); b[126] = 0xff; }, "passes the section's end"},
      {"data below the section", [](Bytes& b) { StoreLe32(b.data() + 72, kRva - 1); }, "outside the section"},
      {"data past the end", [](Bytes& b) { StoreLe32(b.data() + 76, 41); }, "outside the section"},
      {"data size wrapping", [](Bytes& b) { StoreLe32(b.data() + 72, kRva + 100); StoreLe32(b.data() + 76, 0xffffffa0); }, "outside the section"},
      {"data address wrapping", [](Bytes& b) { StoreLe32(b.data() + 72, 0xffffffff); }, "outside the section"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = good;
    c.change(bytes);
    try {
      ParseResources(bytes, kRva);
      ADD_FAILURE() << "not refused";
    } catch (const PackError& error) {
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
    }
  }
}

// Many entries sharing one large piece of data cannot make a small section
// into a huge list.
TEST(ResourceTreeTest, RefusesDataSharedPastTheSectionsSize) {
  std::vector<Resource> resources;
  for (uint16_t i = 1; i <= 4; ++i) resources.push_back({Id(3), Id(i), Id(0), 0, Bytes(100, 1)});
  Bytes section = BuildResources(resources, kRva);
  ASSERT_EQ(ParseResources(section, kRva).size(), 4u);
  // Every data entry points at the whole section. They follow the root
  // (24 bytes), the type's directory (48) and four name directories (24 each).
  for (uint64_t entry = 168; entry < 168 + 4 * 16; entry += 16) {
    StoreLe32(section.data() + entry, kRva);
    StoreLe32(section.data() + entry + 4, static_cast<uint32_t>(section.size()));
  }
  EXPECT_THROW(ParseResources(section, kRva), PackError);
}

}  // namespace
}  // namespace korvelt::pack
