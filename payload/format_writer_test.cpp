#include "payload/format_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/little_endian.h"
#include "testing/fake_files.h"

namespace korvelt {
namespace {

using testing::Bytes;

const char kMainName[] = "Product1.0.msi";
const char kCabinetName[] = "Data01.cab";

std::vector<EntryToWrite> WorkedEntries() {
  return {{MainPackage, 229376, kMainName, sizeof kMainName - 1},
          {MainSupport, 1132343, kCabinetName, sizeof kCabinetName - 1}};
}

Bytes Encode(uint32_t dataOffset, const std::vector<EntryToWrite>& entries, uint32_t options, uint32_t padding) {
  Bytes tail(TableAndFooterSize(entries.data(), entries.size(), padding), 0xA5);
  EXPECT_TRUE(EncodeTableAndFooter(dataOffset, entries.data(), entries.size(), options, padding, tail.data()));
  return tail;
}

// The table and footer of the worked example, with and without the padding
// the packer puts between data that end in a marker and the table: padding
// moves the table and the footer, never the entries' data.
TEST(FormatWriterTest, MatchesTheWorkedLayout) {
  for (uint32_t padding : {0u, kSearchWindow}) {
    SCOPED_TRACE(padding);
    Bytes tail = Encode(77824, WorkedEntries(), HasPrerequisites, padding);
    ASSERT_EQ(tail.size(), padding + 30u + 26u + 36u);
    EXPECT_EQ(Bytes(tail.begin(), tail.begin() + padding), Bytes(padding, 0));
    const unsigned char* table = tail.data() + padding;
    EXPECT_EQ(LoadLe32(table + kEntryOffsetAt), 77824u);
    EXPECT_EQ(LoadLe32(table + kEntryNameLengthAt), 14u);
    EXPECT_EQ(std::string(table + kEntryHeadSize, table + 30), kMainName);
    EXPECT_EQ(LoadLe32(table + 30 + kEntryKindAt), uint32_t{MainSupport});
    EXPECT_EQ(LoadLe32(table + 30 + kEntrySizeAt), 1132343u);
    EXPECT_EQ(LoadLe32(table + 30 + kEntryOffsetAt), 307200u);
    const unsigned char* footer = table + 56;
    EXPECT_EQ(LoadLe32(footer + kFooterEntryCountAt), 2u);
    EXPECT_EQ(LoadLe32(footer + kFooterVersionAt), kPayloadVersion);
    EXPECT_EQ(LoadLe32(footer + kFooterFooterOffsetAt), 1439599u + padding);
    EXPECT_EQ(LoadLe32(footer + kFooterTableOffsetAt), 1439543u + padding);
    EXPECT_EQ(LoadLe32(footer + kFooterDataOffsetAt), 77824u);
    EXPECT_EQ(LoadLe32(footer + kFooterOptionsAt), HasPrerequisites);
    EXPECT_EQ(std::string(footer + kFooterMagicAt, footer + kFooterZerosAt), "KORVELTSFX");
  }
}

// What is written reads back through the bootstrapper's own reader.
TEST(FormatWriterTest, ReadsBack) {
  std::vector<EntryToWrite> entries = {{MainPackage, 300, kMainName, sizeof kMainName - 1},
                                       {OnDemand + 3, 0, kCabinetName, sizeof kCabinetName - 1}};
  for (uint32_t padding : {0u, kSearchWindow}) {
    SCOPED_TRACE(padding);
    Bytes file(4096 + 300, 'M');
    Bytes tail = Encode(4096, entries, ExternalFiles, padding);
    file.insert(file.end(), tail.begin(), tail.end());
    testing::FakeFileSystem files;
    files.files["setup.exe"] = file;
    FileId id = files.OpenForReading("setup.exe");
    PayloadFooter footer;
    int32_t baseShift = 1;
    List<PayloadEntry> read;
    List<String> names;
    ASSERT_EQ(ReadFooter(files, id, &footer, &baseShift), PayloadError::Ok);
    ASSERT_EQ(ReadTable(files, id, footer, baseShift, &read, &names), PayloadError::Ok);
    files.Close(id);
    EXPECT_EQ(baseShift, 0);
    EXPECT_EQ(footer.options, ExternalFiles);
    ASSERT_EQ(read.Count(), 2u);
    EXPECT_STREQ(names[0].c_str(), kMainName);
    EXPECT_EQ(read[0].offset, 4096u);
    EXPECT_STREQ(names[1].c_str(), kCabinetName);
    EXPECT_EQ(read[1].kind, OnDemand + 3);
    EXPECT_EQ(read[1].offset, 4396u);
    EXPECT_EQ(read[1].size, 0u);
  }
}

// A payload whose footer would end at the offset limit or beyond is
// refused, sums that wrap 32 bits among them, and nothing is written.
TEST(FormatWriterTest, RefusesWhatPassesTheOffsetLimit) {
  // One entry named "a": a 17-byte table, then the 36-byte footer.
  const uint32_t kTail = 17 + kFooterSize;
  struct Case {
    const char* what;
    uint32_t dataOffset;
    std::vector<uint32_t> sizes;
    uint32_t padding;
    bool written;
  } cases[] = {
      {"footer ends just below", 4096, {kOffsetLimit - 4096 - kTail - 1}, 0, true},
      {"footer ends at the limit", 4096, {kOffsetLimit - 4096 - kTail}, 0, false},
      {"padding reaches it", 4096, {kOffsetLimit - 4096 - kTail - 1}, 1, false},
      {"one entry past it", 4096, {kOffsetLimit}, 0, false},
      {"two sizes summing past it", 4096, {0x40000000u, 0x40000000u}, 0, false},
      {"sizes whose sum wraps 32 bits", 4096, {0xC0000000u, 0x40000000u}, 0, false},
      {"image past it", kOffsetLimit, {}, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<EntryToWrite> entries;
    for (uint32_t size : c.sizes) entries.push_back({OnDemand, size, "a", 1});
    Bytes tail(TableAndFooterSize(entries.data(), entries.size(), c.padding), 0xA5);
    EXPECT_EQ(EncodeTableAndFooter(c.dataOffset, entries.data(), entries.size(), 0, c.padding, tail.data()), c.written);
    if (!c.written) {
      EXPECT_EQ(tail, Bytes(tail.size(), 0xA5));
    }
  }
}

}  // namespace
}  // namespace korvelt
