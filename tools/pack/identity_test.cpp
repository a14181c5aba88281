#include "tools/pack/identity.h"

#include <gtest/gtest.h>

#include <functional>

#include "base/little_endian.h"
#include "tools/pack/pack_error.h"

namespace korvelt::pack {
namespace {

// Only four decimal parts of 0 to 65535 make a version.
TEST(IdentityTest, ParsesFourPartVersions) {
  struct Case {
    const char* text;
    std::optional<FourPartVersion> version;
  } cases[] = {
      {"2.1.0.7", FourPartVersion{2, 1, 0, 7}},
      {"65535.0.65535.0", FourPartVersion{65535, 0, 65535, 0}},
      {"0.0.0.0", FourPartVersion{0, 0, 0, 0}},
      {"001.02.0003.00004", FourPartVersion{1, 2, 3, 4}},
      {"65536.0.0.0", std::nullopt},
      {"99999999999.0.0.0", std::nullopt},
      {"4294967297.0.0.0", std::nullopt},
      {"1.2.3", std::nullopt},
      {"1.2.3.4.5", std::nullopt},
      {"1.2.3.", std::nullopt},
      {".1.2.3", std::nullopt},
      {"1..2.3", std::nullopt},
      {"1.2.3.-4", std::nullopt},
      {"+1.2.3.4", std::nullopt},
      {"1.2.3.4 ", std::nullopt},
      {"1.2.3.0x4", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseFourPartVersion(c.text), c.version) << c.text;
    if (c.version) {
      EXPECT_EQ(ParseFourPartVersion(FormatVersion(*c.version)), c.version) << c.text;
    }
  }
}

// UTF-8 becomes UTF-16, surrogate pairs included; what is not UTF-8 is
// refused rather than guessed at.
TEST(IdentityTest, ConvertsOnlyValidUtf8) {
  struct Case {
    std::string utf8;
    std::optional<std::u16string> utf16;
  } cases[] = {
      {"Contoso App", u"Contoso App"},
      {"", u""},
      {"\xc2\xa9 Z\xc3\xbcrich", u"\u00a9 Z\u00fcrich"},
      {"\xe2\x82\xac", u"\u20ac"},
      {"\xf0\x9f\x98\x80", u"\U0001F600"},
      {"\xef\xbf\xbf", u"\uffff"},
      {"\xf4\x8f\xbf\xbf", u"\U0010FFFF"},
      {"\xff", std::nullopt},
      {"\x80", std::nullopt},
      {"\xc3", std::nullopt},
      {"a\xe2\x82", std::nullopt},
      {"\xc0\xaf", std::nullopt},
      {"\xe0\x80\xaf", std::nullopt},
      {"\xf0\x80\x80\xaf", std::nullopt},
      {"\xed\xa0\x80", std::nullopt},
      {"\xf4\x90\x80\x80", std::nullopt},
      {"\xc3\x28", std::nullopt},
      {"\xf8\x88\x80\x80\x80", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << ::testing::PrintToString(c.utf8);
    if (c.utf16) {
      EXPECT_EQ(Utf16ToUtf8(*c.utf16), c.utf8);
    }
  }
  EXPECT_EQ(Utf16ToUtf8(u"a\xd800" u"b"), "a\xef\xbf\xbd" "b");
}

// An .ico of 16x16 (a bitmap) and 256x256 (a PNG), as editors write them.
Bytes GoodIcon() {
  Bytes icon = {0, 0, 1, 0, 2, 0};
  Bytes bitmap(40 + 16 * 16 * 4 + 64, 0);
  StoreLe32(bitmap.data(), 40);
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 1, 2, 3};
  auto entry = [&](unsigned char side, uint16_t bits, const Bytes& image, uint32_t offset) {
    icon.insert(icon.end(), {side, side, 0, 0, 1, 0, static_cast<unsigned char>(bits), 0});
    icon.resize(icon.size() + 8);
    StoreLe32(icon.data() + icon.size() - 8, static_cast<uint32_t>(image.size()));
    StoreLe32(icon.data() + icon.size() - 4, offset);
  };
  entry(16, 32, bitmap, 38);
  entry(0, 32, png, static_cast<uint32_t>(38 + bitmap.size()));
  icon.insert(icon.end(), bitmap.begin(), bitmap.end());
  icon.insert(icon.end(), png.begin(), png.end());
  return icon;
}

TEST(IdentityTest, ReadsEveryImageOfAnIcon) {
  Bytes file = GoodIcon();
  std::vector<IconImage> images = ParseIcon(file, "app.ico");
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images[0].width, 16);
  EXPECT_EQ(images[0].bitCount, 32);
  EXPECT_EQ(images[0].data, Bytes(file.begin() + 38, file.begin() + 38 + 40 + 16 * 16 * 4 + 64));
  EXPECT_EQ(images[1].width, 0);
  EXPECT_EQ(images[1].data, Bytes(file.end() - 11, file.end()));
}

// A bad .ico is one clean error, whatever its header or entries claim.
TEST(IdentityTest, RefusesBadIcons) {
  const Bytes good = GoodIcon();
  const uint64_t first = 6;
  const uint64_t second = 6 + 16;
  struct Case {
    const char* what;
    std::function<void(Bytes&)> change;
    const char* says;
  } cases[] = {
      {"empty", [](Bytes& b) { b.clear(); }, "cut short"},
      {"header cut", [](Bytes& b) { b.resize(5); }, "cut short"},
      {"a cursor", [](Bytes& b) { b[2] = 2; }, "no icon header"},
      {"reserved set", [](Bytes& b) { b[0] = 1; }, "no icon header"},
      {"no images", [](Bytes& b) { b[4] = 0; }, "no image"},
      {"huge count", [](Bytes& b) { b[4] = 0xff; b[5] = 0xff; }, "65535 entries pass the end"},
      {"directory cut", [](Bytes& b) { b.resize(30); }, "entries pass the end"},
      {"empty image", [&](Bytes& b) { StoreLe32(b.data() + first + 8, 0); }, "image 1 is empty"},
      {"image past the end", [&](Bytes& b) { StoreLe32(b.data() + second + 8, 12); }, "image 2 lies outside"},
      {"offset past the end", [&](Bytes& b) { StoreLe32(b.data() + first + 12, 0xfffffff0); }, "image 1 lies outside"},
      {"size wrapping", [&](Bytes& b) { StoreLe32(b.data() + second + 12, 0xfffffff8); StoreLe32(b.data() + second + 8, 0x10); }, "image 2 lies outside"},
      {"image inside the directory", [&](Bytes& b) { StoreLe32(b.data() + first + 12, 6); }, "image 1 lies outside"},
      {"neither PNG nor bitmap", [&](Bytes& b) { b[38] = 41; }, "neither a PNG"},
      {"PNG cut", [&](Bytes& b) { StoreLe32(b.data() + second + 8, 5); b.resize(b.size() - 6); }, "neither a PNG"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = good;
    c.change(bytes);
    try {
      ParseIcon(bytes, "app.ico");
      ADD_FAILURE() << "not refused";
    } catch (const PackError& error) {
      std::string said = error.what();
      EXPECT_EQ(said.rfind("app.ico: ", 0), 0u) << said;
      EXPECT_NE(said.find(c.says), std::string::npos) << said;
    }
  }
}

VersionBlock SampleBlock() {
  VersionBlock block;
  for (uint32_t i = 0; i < 13; ++i) block.fixed[i] = 0x01010101 * i;
  block.fixed[0] = 0xFEEF04BD;
  block.strings = {{u"CompanyName", u"Contoso"}, {u"ProductName", u"Contoso App \u00e9"}, {u"Comments", u""},
                   {u"LegalCopyright", u"(C) 2026"}};
  return block;
}

// Whatever texts the block holds, of any length, read back as written.
TEST(IdentityTest, VersionResourceRoundTrip) {
  for (size_t length : {0u, 1u, 2u, 3u, 4u, 5u, 1000u}) {
    VersionBlock block = SampleBlock();
    block.Set(u"FileDescription", std::u16string(length, u'x'));
    VersionBlock back = ParseVersionResource(BuildVersionResource(block));
    EXPECT_EQ(back.fixed, block.fixed);
    EXPECT_EQ(back.strings, block.strings) << length;
  }
  VersionBlock block = SampleBlock();
  block.Set(u"ProductName", std::u16string(40000, u'x'));
  EXPECT_THROW(BuildVersionResource(block), PackError);
}

// A corrupt version resource is refused, never read past its end.
TEST(IdentityTest, RefusesCorruptVersionResources) {
  const Bytes good = BuildVersionResource(SampleBlock());
  struct Case {
    const char* what;
    std::function<void(Bytes&)> change;
  } cases[] = {
      {"empty", [](Bytes& b) { b.clear(); }},
      {"length past the end", [&](Bytes& b) { StoreLe16(b.data(), static_cast<uint16_t>(good.size() + 1)); }},
      {"length below a header", [](Bytes& b) { b[0] = 4; b[1] = 0; }},
      {"cut short", [](Bytes& b) { b.resize(b.size() / 2); }},
      {"key without end", [](Bytes& b) { b.resize(6 + 10); b[0] = 16; b[1] = 0; }},
      {"wrong key", [](Bytes& b) { b[6] = 'W'; }},
      {"wrong signature", [](Bytes& b) { b[40] ^= 1; }},
      {"child past its parent", [](Bytes& b) { b[92] = 0xff; b[93] = 0x7f; }},
      {"child of length zero", [](Bytes& b) { b[92] = 0; b[93] = 0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = good;
    c.change(bytes);
    EXPECT_THROW(ParseVersionResource(bytes), PackError);
  }
}

}  // namespace
}  // namespace korvelt::pack
