#include "app/extract_mode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/exit_code.h"
#include "base/little_endian.h"
#include "testing/fake_files.h"
#include "testing/payload_builder.h"

namespace korvelt {
namespace {

using testing::Bytes;
using testing::TestEntry;

constexpr char kExe[] = "C:\\Downloads\\setup.exe";

class ExtractModeTest : public ::testing::Test {
 protected:
  void SetUp() override { files.folders = {"C:", "C:\\Downloads", "C:\\Out"}; }
  int Extract(const char* folder) {
    PayloadArchive archive(files, process);
    return RunExtractMode(archive, folder);
  }
  // What extract mode left in a folder, by name.
  std::vector<std::string> Written(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& [path, bytes] : files.files) {
      if (path.compare(0, folder.size(), folder) == 0) names.push_back(path.substr(folder.size()));
    }
    return names;
  }

  testing::FakeFileSystem files;
  testing::FakeProcessInfo process;
};

Bytes WithVersion(Bytes payload, uint32_t version) {
  StoreLe32(payload.data() + payload.size() - kFooterSize + kFooterVersionAt, version);
  return payload;
}

// 1619 when the payload cannot be opened, and then nothing is written; 82
// only when an entry of an opened payload cannot be written, and what was
// written before it stays.
TEST_F(ExtractModeTest, ExitCodeTellsOpeningFromWriting) {
  std::vector<TestEntry> withConfig = testing::WorkedEntries();
  withConfig.push_back({PrereqConfig, "Product1.0.ini", Bytes{'x'}});
  struct Case {
    const char* what;
    Bytes payload;
    const char* folder;
    const char* failCreate;
    int exitCode;
    std::vector<std::string> written;
  } cases[] = {
      {"every entry written", testing::WorkedPayload(), "C:\\Out", nullptr, ExitSuccess, {"Data01.cab", "Product1.0.msi"}},
      {"no payload", Bytes(5000, 'M'), "C:\\Out", nullptr, ExitPackageOpenFailed, {}},
      {"version 101", WithVersion(testing::WorkedPayload(), 101), "C:\\Out", nullptr, ExitPackageOpenFailed, {}},
      {"prerequisites without a configuration entry", testing::WorkedPayload(HasPrerequisites), "C:\\Out", nullptr,
       ExitPackageOpenFailed, {}},
      {"two names for one file",
       testing::BuildPayload(4096, {{MainPackage, "a.msi", Bytes(1, 1)}, {OnDemand, "A.MSI", Bytes(1, 2)}}, 0),
       "C:\\Out", nullptr, ExitPackageOpenFailed, {}},
      {"folder missing", testing::WorkedPayload(), "C:\\Missing", nullptr, ExitWriteFault, {}},
      {"folder missing, configuration first", testing::BuildPayload(4096, withConfig, HasPrerequisites), "C:\\Missing",
       nullptr, ExitWriteFault, {}},
      {"second entry unwritable", testing::WorkedPayload(), "C:\\Out", "C:\\Out\\Data01.cab", ExitWriteFault,
       {"Product1.0.msi"}},
      {"configuration written in table order", testing::BuildPayload(4096, withConfig, HasPrerequisites), "C:\\Out",
       "C:\\Out\\Data01.cab", ExitWriteFault, {"Product1.0.msi"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    files.files = {{kExe, c.payload}};
    files.failCreate.clear();
    if (c.failCreate) files.failCreate.insert(c.failCreate);
    EXPECT_EQ(Extract(c.folder), c.exitCode);
    EXPECT_EQ(Written("C:\\Out\\"), c.written);
    EXPECT_EQ(files.openHandles(), 0);
    EXPECT_TRUE(files.deleted.empty()) << "extract mode keeps what it wrote";
  }
}

// ExternalFiles does not move extract mode: every entry goes into the folder
// that was named, and the files beside the bootstrapper stay untouched.
TEST_F(ExtractModeTest, ExternalFilesExtractIntoTheNamedFolder) {
  process.modulePath = "C:\\Downloads\\N.exe";
  files.files[process.modulePath] = testing::BuildPayload(
      4096, {{MainPackage, "N.msi", Bytes(3, 1)}, {OnDemand, "tool.exe", Bytes(2, 2)}}, ExternalFiles | HasPrerequisites);
  files.files["C:\\Downloads\\N.msi"] = Bytes{'o', 'l', 'd'};
  EXPECT_EQ(Extract("C:\\Out"), ExitSuccess);
  EXPECT_EQ(Written("C:\\Out\\"), (std::vector<std::string>{"N.msi", "tool.exe"}));
  EXPECT_EQ(files.files["C:\\Out\\N.msi"], Bytes(3, 1));
  EXPECT_EQ(files.files["C:\\Downloads\\N.msi"], (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(files.files.count("C:\\Downloads\\tool.exe"), 0u);
}

}  // namespace
}  // namespace korvelt
