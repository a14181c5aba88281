#include "tools/pack/pack.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "payload/format.h"
#include "testing/planted_names.h"
#include "tools/pack/cli.h"

namespace korvelt::pack {
namespace {

namespace fs = std::filesystem;
using testing::Existing;

class PackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("korvelt-pack-test-" + std::to_string(::getpid()) + "-" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    Write("stub.exe", std::string(5000, 'M'));
  }
  void TearDown() override { fs::remove_all(folder); }

  std::string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(folder / name, std::ios::binary) << bytes;
    return (folder / name).string();
  }
  std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string Path(const std::string& name) { return (folder / name).string(); }
  int Run(std::vector<std::string> arguments) {
    out.str("");
    err.str("");
    return Main(arguments, out, err);
  }

  fs::path folder;
  std::ostringstream out, err;
};

// What is packed lists and extracts byte for byte.
TEST_F(PackTest, CreateListExtractRoundTrip) {
  std::string msi = std::string(70000, 'a') + "KORVELTSFX";
  std::string cab(3, 'c');
  Write("app.msi", msi);
  Write("app.cab", cab);
  Write("app.ini", "[GeneralOptions]\n");
  Write("pre.exe", "");
  ASSERT_EQ(Run({"create", "--stub", Path("stub.exe"), "--out", Path("setup.exe"), "--prerequisites", "--main",
                 Path("app.msi"), "--support", Path("app.cab"), "--config", Path("app.ini"), "--on-demand",
                 "vc.exe=" + Path("pre.exe")}),
            0)
      << err.str();
  // The main package ends in the marker, which would hide the footer: the
  // packer moves the table out of its reach.
  EXPECT_EQ(fs::file_size(Path("setup.exe")), 5000 + msi.size() + cab.size() + 17 + 2048 + 36 +
                                                   (16 * 4 + 7 + 7 + 7 + 6));
  EXPECT_FALSE(fs::exists(Path("setup.exe.partial")));

  SetupListing listing = ListSetup(Path("setup.exe"));
  EXPECT_EQ(listing.options, HasPrerequisites);
  EXPECT_EQ(listing.dataOffset, 5000u);
  ASSERT_EQ(listing.entries.size(), 4u);
  EXPECT_EQ(listing.entries[0].name, "app.msi");
  EXPECT_EQ(listing.entries[0].offset, 5000u);
  EXPECT_EQ(listing.entries[3].name, "vc.exe");
  EXPECT_EQ(listing.entries[3].kind, uint32_t{OnDemand});

  ASSERT_EQ(Run({"list", Path("setup.exe")}), 0);
  EXPECT_NE(out.str().find("prerequisites"), std::string::npos);
  EXPECT_NE(out.str().find("vc.exe"), std::string::npos);

  fs::create_directory(folder / "out");
  ASSERT_EQ(Run({"extract", Path("setup.exe"), Path("out")}), 0) << err.str();
  EXPECT_EQ(Read(folder / "out" / "app.msi"), msi);
  EXPECT_EQ(Read(folder / "out" / "app.cab"), cab);
  EXPECT_TRUE(fs::exists(folder / "out" / "vc.exe"));
}

// Each refusal names its cause in one line and writes nothing.
TEST_F(PackTest, RefusesWhatTheBootstrapperWouldMishandle) {
  Write("a.msi", "m");
  Write("b.msi", "m");
  Write("other.ini", "i");
  struct Case {
    std::vector<std::string> files;
    const char* says;
  } cases[] = {
      {{"--main", "sub\\a.msi=" + Path("a.msi")}, "not a plain file name"},
      {{"--main", "..=" + Path("a.msi")}, "not a plain file name"},
      {{"--main", Path("a.msi"), "--support", "A.MSI=" + Path("b.msi")}, "duplicate entry name"},
      {{"--main", Path("a.msi"), "--main", Path("b.msi")}, "more than one main package"},
      {{"--main", Path("a.msi"), "--config", Path("other.ini"), "--prerequisites"}, "opens the package named after the configuration file"},
      {{"--main", "a.exe=" + Path("a.msi")}, "must end in .msi"},
      {{"--main", Path("a.msi"), "--prerequisites"}, "needs a configuration file"},
      {{"--main", Path("missing.msi")}, "cannot read"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {"create", "--stub", Path("stub.exe"), "--out", Path("setup.exe")};
    arguments.insert(arguments.end(), c.files.begin(), c.files.end());
    EXPECT_EQ(Run(arguments), 1) << c.says;
    std::string said = err.str();
    EXPECT_NE(said.find(c.says), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_FALSE(fs::exists(Path("setup.exe")));
  }
}

// A stub holding the payload marker anywhere is refused, a setup given as
// the stub among them: the bootstrapper could take it for its footer.
TEST_F(PackTest, RefusesAStubHoldingTheMarker) {
  Write("app.msi", "m");
  ASSERT_EQ(Run({"create", "--stub", Path("stub.exe"), "--out", Path("setup.exe"), "--main", Path("app.msi")}), 0)
      << err.str();
  // Spelled in two pieces, as the bootstrapper must not hold it whole.
  const std::string marker = std::string("KORVEL") + "TSFX";
  const size_t straddle = kStubSearchPiece - 4;
  struct Case {
    std::string stub;
    bool refused;
  } cases[] = {
      {marker + std::string(5000, 'M'), true},
      {std::string(2000, 'M') + marker + std::string(3000, 'M'), true},
      {std::string(5000, 'M') + marker, true},
      {std::string(straddle, 'M') + marker + std::string(100, 'M'), true},
      {Read(Path("setup.exe")), true},
      {std::string(5000, 'M') + marker.substr(0, 9), false},
      {marker.substr(1) + std::string(straddle, 'M') + marker.substr(0, 9), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stub.size());
    Write("marked.exe", c.stub);
    fs::remove(Path("marked-setup.exe"));
    EXPECT_EQ(Run({"create", "--stub", Path("marked.exe"), "--out", Path("marked-setup.exe"), "--main", Path("app.msi")}),
              c.refused ? 1 : 0);
    EXPECT_EQ(fs::exists(Path("marked-setup.exe")), !c.refused);
    if (!c.refused) continue;
    std::string said = err.str();
    EXPECT_NE(said.find(Path("marked.exe") + " holds the payload marker"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  }
}

// Creating a setup reports what the bootstrapper will make of its
// configuration; a warning does not stop the setup from being written.
TEST_F(PackTest, CreateReportsTheConfiguration) {
  Write("app.msi", "m");
  Write("app.ini",
        "[PREREQUISITES]\nApp1=Runtime\n[App1]\nSetupFile=missing.exe\nSearchType=1\nSearchString=HKLM\\X\n");
  ASSERT_EQ(Run({"create", "--stub", Path("stub.exe"), "--out", Path("setup.exe"), "--prerequisites", "--main",
                 Path("app.msi"), "--config", Path("app.ini")}),
            0)
      << err.str();
  EXPECT_NE(out.str().find("Runtime"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("warning"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("missing.exe"), std::string::npos) << out.str();
  EXPECT_TRUE(fs::exists(Path("setup.exe")));
}

// A configuration with a download that cannot be saved is refused, one
// line for each, and no setup is written; the name compared is the one the
// setup is written under, in any case.
TEST_F(PackTest, CreateRefusesDownloadsThatCannotBeSaved) {
  Write("app.msi", "m");
  Write("app.ini",
        "[PREREQUISITES]\nApp1=Runtime\nApp2=Tools\n[App1]\nUrl=http://h/SETUP.EXE\nSearchType=1\nSearchString=HKLM\\X\n"
        "[App2]\nUrl=http://h/get/?id=2\nSearchType=1\nSearchString=HKLM\\Y\n");
  std::vector<std::string> arguments = {"create", "--stub", Path("stub.exe"), "--prerequisites", "--main",
                                        Path("app.msi"), "--config", Path("app.ini"), "--out"};
  arguments.push_back(Path("setup.exe"));
  EXPECT_EQ(Run(arguments), 1);
  std::string said = err.str();
  EXPECT_NE(said.find("korvelt-pack: App1 \"Runtime\": its download would be saved as \"SETUP.EXE\", the setup's own"),
            std::string::npos)
      << said;
  EXPECT_NE(said.find("korvelt-pack: App2 \"Tools\": its Url http://h/get/?id=2 ends in no file name"), std::string::npos)
      << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 2) << said;
  EXPECT_FALSE(fs::exists(Path("setup.exe")));
  arguments.back() = Path("other.exe");
  EXPECT_EQ(Run(arguments), 1);
  said = err.str();
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_FALSE(fs::exists(Path("other.exe")));
}

// Usage errors exit with 2, help with 0.
TEST_F(PackTest, CommandLineErrorsAndHelp) {
  EXPECT_EQ(Run({}), 2);
  EXPECT_EQ(Run({"frobnicate"}), 2);
  EXPECT_EQ(Run({"create", "--stub"}), 2);
  EXPECT_EQ(Run({"create", "--main", "x.msi"}), 2);
  EXPECT_EQ(Run({"list"}), 2);
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(out.str().find("usage: korvelt-pack"), std::string::npos);
}

// A file that is not a setup is reported, not misread.
TEST_F(PackTest, ListRefusesAFileWithoutPayload) {
  EXPECT_EQ(Run({"list", Path("stub.exe")}), 1);
  EXPECT_NE(err.str().find("no payload"), std::string::npos);
  EXPECT_EQ(Run({"extract", Path("stub.exe"), Path("nowhere")}), 1);
}

// An entry named as the setup, extracted into the setup's own folder, is
// refused with or without --force: the setup stays byte for byte, and no
// other entry is written.
TEST_F(PackTest, ExtractNeverReplacesTheSetupItReads) {
  Write("app.msi", "package");
  Write("other.exe", "an entry");
  ASSERT_EQ(Run({"create", "--stub", Path("stub.exe"), "--out", Path("setup.exe"), "--main",
                 "pkg.msi=" + Path("app.msi"), "--on-demand", "setup.exe=" + Path("other.exe")}),
            0)
      << err.str();
  std::string setup = Read(Path("setup.exe"));
  for (bool force : {false, true}) {
    SCOPED_TRACE(force ? "--force" : "");
    std::vector<std::string> arguments = {"extract", Path("setup.exe"), folder.string()};
    if (force) arguments.insert(arguments.begin() + 1, "--force");
    EXPECT_EQ(Run(arguments), 1);
    std::string said = err.str();
    EXPECT_NE(said.find("'setup.exe'"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(Read(Path("setup.exe")), setup);
    EXPECT_FALSE(fs::exists(Path("pkg.msi")));
  }
}

// Extraction writes only new files. An entry whose name is taken is refused
// in one line naming it, before anything is written; with --force a plain
// file is replaced, but a link is never followed, a FIFO never opened and a
// folder never touched.
TEST_F(PackTest, ExtractNeverWritesThroughWhatIsThere) {
  Write("app.msi", "package");
  Write("notes.txt", "notes");
  ASSERT_EQ(Run({"create", "--stub", Path("stub.exe"), "--out", Path("setup.exe"), "--main", Path("app.msi"),
                 "--on-demand", Path("notes.txt")}),
            0)
      << err.str();
  struct Case {
    Existing existing;
    bool force;
    int exit;
  } cases[] = {
      {Existing::Nothing, false, 0},           {Existing::Nothing, true, 0},
      {Existing::PlainFile, false, 1},         {Existing::PlainFile, true, 0},
      {Existing::LinkToFileOutside, false, 1}, {Existing::LinkToFileOutside, true, 1},
      {Existing::DanglingLink, false, 1},      {Existing::DanglingLink, true, 1},
      {Existing::Fifo, false, 1},              {Existing::Fifo, true, 1},
      {Existing::Folder, false, 1},            {Existing::Folder, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(testing::Describe(c.existing)) + (c.force ? ", --force" : ""));
    fs::path out = folder / "out";
    fs::remove_all(out);
    fs::create_directory(out);
    fs::path outside = folder / "outside.txt";
    fs::remove(outside);
    // The second entry's name is taken, so that a refusal has to come before
    // the first is written.
    testing::Plant(c.existing, out / "notes.txt", outside);
    std::vector<std::string> arguments = {"extract", Path("setup.exe"), out.string()};
    if (c.force) arguments.push_back("--force");
    EXPECT_EQ(testing::WithoutBlocking(out / "notes.txt", [&] { return Run(arguments); }), c.exit);
    if (c.exit == 0) {
      EXPECT_EQ(Read(out / "app.msi"), "package");
      EXPECT_EQ(Read(out / "notes.txt"), "notes");
      continue;
    }
    std::string said = err.str();
    EXPECT_NE(said.find("'notes.txt'"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_FALSE(fs::exists(out / "app.msi"));
    testing::ExpectUntouched(c.existing, out / "notes.txt", outside);
  }
}

// An extraction that fails part way is no success: it exits with 1 and
// removes what it had written, so no entry is left that looks whole.
TEST_F(PackTest, ExtractFailingPartWayLeavesNothing) {
  // The second entry's path is longer than a Windows path can be, which the
  // extraction refuses once the first entry is written.
  std::string longName(120, 'n');
  fs::path out = folder / "out" / std::string(150 - folder.string().size(), 'd');
  fs::create_directories(out);
  Write("app.msi", "package");
  Write("notes.txt", "notes");
  ASSERT_EQ(Run({"create", "--stub", Path("stub.exe"), "--out", Path("setup.exe"), "--main", Path("app.msi"),
                 "--on-demand", longName + "=" + Path("notes.txt")}),
            0)
      << err.str();
  EXPECT_EQ(Run({"extract", Path("setup.exe"), out.string()}), 1);
  std::string said = err.str();
  EXPECT_NE(said.find(out.string()), std::string::npos) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_TRUE(fs::is_empty(out));
}

// A configuration file that cannot be read is an error naming it, not a
// valid empty configuration; nothing that is not a plain file is opened.
TEST_F(PackTest, CheckRefusesWhatCannotBeRead) {
  Write("app.ini", "[GeneralOptions]\n");
  fs::create_directory(folder / "folder.ini");
  Write("locked.ini", "[GeneralOptions]\n");
  fs::permissions(folder / "locked.ini", fs::perms::none);
  fs::create_symlink(folder / "gone.ini", folder / "dangling.ini");
  ASSERT_EQ(mkfifo(Path("fifo.ini").c_str(), 0600), 0);
  struct Case {
    std::string path;
    int exit;
  } cases[] = {
      {Path("app.ini"), 0},
      {Path("missing.ini"), 1},
      {Path("folder.ini"), 1},
      {Path("dangling.ini"), 1},
      {Path("fifo.ini"), 1},
      // Read fails at its first byte, even for the superuser.
      {"/proc/self/mem", 1},
      // The superuser reads it all the same.
      {Path("locked.ini"), geteuid() == 0 ? 0 : 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(testing::WithoutBlocking(Path("fifo.ini"), [&] { return Run({"check", c.path}); }), c.exit);
    if (c.exit == 0) continue;
    std::string said = err.str();
    EXPECT_NE(said.find(c.path), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(out.str(), "");
  }
}

// An executable of `size` bytes whose PE header, at `headerAt`, names
// `machine`; the bytes not set are 'M'.
std::string Executable(uint32_t headerAt, uint16_t machine, size_t size) {
  std::string bytes(size, 'M');
  auto put = [&](size_t at, const std::string& what) {
    for (size_t i = 0; i < what.size() && at + i < size; ++i) bytes[at + i] = what[i];
  };
  put(0, "MZ");
  put(0x3C, std::string{char(headerAt), char(headerAt >> 8), char(headerAt >> 16), char(headerAt >> 24)});
  if (headerAt < size) put(headerAt, std::string("PE\0\0", 4) + char(machine) + char(machine >> 8));
  return bytes;
}

// The architecture is read from the PE header, every read within the file.
TEST_F(PackTest, ReadsTheArchitectureFromThePeHeader) {
  std::string noMz = Executable(0x80, 0x14c, 4096);
  noMz[0] = 'X';
  std::string noSignature = Executable(0x80, 0x14c, 4096);
  noSignature[0x81] = 'X';
  struct Case {
    std::string bytes;
    const char* architecture;
  } cases[] = {
      {Executable(0x80, 0x14c, 4096), "x86"},
      {Executable(0x80, 0x8664, 4096), "x64"},
      {Executable(0x80, 0xAA64, 4096), "unknown"},
      {Executable(0x80, 0x14c, 0x86), "x86"},  // the machine field ends the file
      {Executable(0x80, 0x14c, 0x85), "unknown"},
      {Executable(0x80, 0x14c, 0x3F), "unknown"},  // e_lfanew cut short
      {Executable(0x1000, 0x14c, 4096), "unknown"},
      {Executable(0xFFFFFFFC, 0x14c, 4096), "unknown"},
      {noMz, "unknown"},
      {noSignature, "unknown"},
      {"", "unknown"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes.substr(0, 0x90)));
    Write("probe.exe", c.bytes);
    EXPECT_EQ(ExecutableArchitecture(Path("probe.exe")), c.architecture);
  }
  EXPECT_EQ(ExecutableArchitecture(Path("missing.exe")), "unknown");
}

// list names the architecture of the setup's bootstrapper.
TEST_F(PackTest, ListShowsTheArchitecture) {
  Write("app.msi", "m");
  for (auto [machine, architecture] : {std::pair<uint16_t, std::string>{0x14c, "x86"}, {0x8664, "x64"}, {0x1c4, "unknown"}}) {
    Write("stub.exe", Executable(0x80, machine, 5000));
    fs::remove(Path("setup.exe"));
    ASSERT_EQ(Run({"create", "--stub", Path("stub.exe"), "--out", Path("setup.exe"), "--main", Path("app.msi")}), 0)
        << err.str();
    ASSERT_EQ(Run({"list", Path("setup.exe")}), 0) << err.str();
    EXPECT_NE(out.str().find("architecture: " + architecture + "\n"), std::string::npos) << out.str();
  }
}

// Each architecture has its bootstrapper, which is looked for beside the
// packer, in the folder its own path names.
TEST(DefaultStubTest, BesideThePackerByArchitecture) {
  struct Case {
    const char* architecture;
    const char* program;
    const char* stub;  // "" for an unknown architecture
  } cases[] = {
      {"x86", "/opt/korvelt/bin/korvelt-pack", "/opt/korvelt/bin/korvelt.exe"},
      {"i686", "/opt/korvelt/bin/korvelt-pack", "/opt/korvelt/bin/korvelt.exe"},
      {"x64", "/opt/korvelt/bin/korvelt-pack", "/opt/korvelt/bin/korvelt-x64.exe"},
      {"x86_64", "/opt/korvelt/bin/korvelt-pack", "/opt/korvelt/bin/korvelt-x64.exe"},
      {"X64", "C:\\Tools\\korvelt-pack.exe", "C:\\Tools\\korvelt-x64.exe"},
      {"x86", "C:\\Tools\\korvelt-pack.exe", "C:\\Tools\\korvelt.exe"},
      {"x86", "korvelt-pack", "korvelt.exe"},
      {"arm64", "/opt/korvelt/bin/korvelt-pack", ""},
      {"", "/opt/korvelt/bin/korvelt-pack", ""},
      {"x", "/opt/korvelt/bin/korvelt-pack", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StubBesideProgram(c.program, c.architecture), c.stub) << c.architecture << " " << c.program;
  }
}

// Without --stub the packer takes the bootstrapper of --arch from its own
// folder; an unknown architecture is wrong usage; --stub wins over --arch.
TEST_F(PackTest, CreateTakesTheStubOfItsArchitecture) {
  Write("app.msi", "m");
  fs::path own = fs::canonical(program_invocation_name).parent_path();
  for (auto [arguments, stub] : {std::pair<std::vector<std::string>, std::string>{{}, "korvelt.exe"},
                                 {{"--arch", "x86"}, "korvelt.exe"},
                                 {{"--arch", "x64"}, "korvelt-x64.exe"}}) {
    ASSERT_FALSE(fs::exists(own / stub)) << "the test needs a folder without bootstrappers";
    arguments.insert(arguments.begin(), {"create", "--out", Path("setup.exe"), "--main", Path("app.msi")});
    EXPECT_EQ(Run(arguments), 1);
    EXPECT_NE(err.str().find("cannot read " + (own / stub).string()), std::string::npos) << err.str();
  }
  EXPECT_EQ(Run({"create", "--arch", "arm64", "--out", Path("setup.exe"), "--main", Path("app.msi")}), 2);
  EXPECT_NE(err.str().find("arm64"), std::string::npos) << err.str();
  EXPECT_EQ(Run({"create", "--arch", "x64", "--stub", Path("stub.exe"), "--out", Path("setup.exe"), "--main",
                 Path("app.msi")}),
            0)
      << err.str();
  EXPECT_FALSE(fs::exists(Path("setup.exe.partial")));
  EXPECT_EQ(ListSetup(Path("setup.exe")).dataOffset, 5000u);
}

}  // namespace
}  // namespace korvelt::pack

namespace korvelt::pack {
namespace {

// Identity options that cannot be written are refused in one line, and no
// setup appears; without them the setup starts with the stub's own bytes.
TEST_F(PackTest, IdentityRefusalsAndTheUntouchedStub) {
  Write("app.msi", "m");
  Write("bad.ico", std::string("\0\0\1\0\1\0", 6));
  struct Case {
    std::vector<std::string> options;
    int exitCode;
    const char* says;
  } cases[] = {
      {{"--version", "1.2.3"}, 2, "is not four numbers"},
      {{"--version", "1.2.3.65536"}, 2, "is not four numbers"},
      {{"--company", "Caf\xe9"}, 2, "--company is not valid UTF-8"},
      {{"--product-name", "\xc0\xaf"}, 2, "--product-name is not valid UTF-8"},
      {{"--icon", Path("bad.ico")}, 1, "bad.ico: not a usable .ico file"},
      {{"--icon", Path("missing.ico")}, 1, "cannot read"},
      {{"--product-name", "Contoso App"}, 1, "not a Windows executable"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {"create", "--stub", Path("stub.exe"), "--out", Path("setup.exe"), "--main",
                                          Path("app.msi")};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    EXPECT_EQ(Run(arguments), c.exitCode) << c.says;
    std::string said = err.str();
    EXPECT_NE(said.find(c.says), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), c.exitCode == 2 ? 2 : 1) << said;
    EXPECT_FALSE(fs::exists(Path("setup.exe")));
    EXPECT_FALSE(fs::exists(Path("setup.exe.partial")));
  }
  ASSERT_EQ(Run({"create", "--stub", Path("stub.exe"), "--out", Path("setup.exe"), "--main", Path("app.msi")}), 0);
  EXPECT_EQ(Read(Path("setup.exe")).substr(0, 5000), Read(Path("stub.exe")));
  // A bootstrapper without resources lists as such, and its entries still.
  ASSERT_EQ(Run({"list", Path("setup.exe")}), 0);
  EXPECT_NE(out.str().find("identity: unreadable"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("app.msi"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace korvelt::pack
