#include "wizard/page_model.h"

#include <gtest/gtest.h>

#include "testing/fake_clock.h"
#include "testing/recording_log.h"

#include <memory>
#include <string>
#include <vector>

#include "testing/fake_clock.h"
#include "testing/fake_files.h"
#include "testing/fake_http.h"
#include "testing/plan_dump.h"
#include "testing/recording_poster.h"
#include "testing/std_threads.h"
#include "wizard/information_text.h"

namespace korvelt {
namespace {

using testing::ActionName;

bool LeadBytes(unsigned char byte) { return byte >= 0x81 && byte <= 0x9F; }

std::string StepName(WizardStep step) {
  switch (step) {
    case WizardStep::DownloadStep:
      return "DownloadStep";
    case WizardStep::InstallStep:
      return "InstallStep";
    case WizardStep::FinishStep:
      return "FinishStep";
  }
  return "?";
}

// The sheet's three buttons as the pages leave them; the sheet opens with
// all three enabled.
struct SheetButtons {
  bool back = true;
  bool next = true;
  bool finish = true;

  static void Set(bool& button, ButtonChange change) {
    if (change != ButtonChange::Keep) button = change == ButtonChange::Enable;
  }
  void Apply(const ButtonChanges& changes) {
    Set(back, changes.back);
    Set(next, changes.next);
    Set(finish, changes.finish);
  }
  std::string Text() const {
    return std::string(back ? "Back" : "-") + " " + (next ? "Next" : "-") + " " + (finish ? "Finish" : "-");
  }
};

class PageModelTest : public ::testing::Test {
 protected:
  void SetUp() override { files.folders = {"C:", "C:\\Setup", "D:", "D:\\other"}; }

  // A prerequisite from `location` (a URL when it has a slash) with the
  // detection-time action `action`.
  void Add(const char* location, PrereqAction action, const char* options = "", int32_t exactSize = 5) {
    Prerequisite prerequisite;
    ASSERT_TRUE(prerequisite.Location.Assign(location));
    ASSERT_TRUE(prerequisite.DisplayName.Assign(location));
    ASSERT_TRUE(prerequisite.Options.Assign(options));
    prerequisite.Source = std::string(location).find('/') != std::string::npos ? PrereqSource::Url
                                                                                : PrereqSource::SetupFile;
    prerequisite.ExactSize = exactSize;
    ASSERT_TRUE(list.Prerequisites.Push(static_cast<Prerequisite&&>(prerequisite)));
    ASSERT_TRUE(list.FoundVersions.Push(List<String>()));
    ASSERT_TRUE(list.Actions.Push(action));
    ASSERT_TRUE(plan.actions.Push(action));
  }

  // The model over the plan as it stands, refreshed as the page's set-up
  // leaves it.
  PrerequisitesModel& Model() {
    plan.prerequisites = &list;
    if (plan.downloads.folder.Empty()) {
      EXPECT_TRUE(plan.downloads.folder.Assign("C:\\Setup\\"));
    }
    model = std::make_unique<PrerequisitesModel>(plan, services);
    model->Refresh();
    return *model;
  }

  // The page's state as one line.
  std::string State() const {
    std::string text = StepName(model->step()) + " downloads " + std::to_string(model->downloadCount()) +
                       " installs " + std::to_string(model->installCount()) +
                       (model->browseEnabled() ? " browse" : " no-browse") + " |";
    for (PrereqAction action : plan.actions) text += " " + ActionName(action);
    return text;
  }

  testing::FakeFileSystem files;
  testing::FakeHttpService http;
  testing::FakeClock clock;
  testing::RecordingPoster poster;
  testing::StdThreadService threads;
  DownloadServices services{http, files, clock, poster, threads, NoLeadBytes};
  PrerequisiteList list;
  PrereqPlan plan;
  std::unique_ptr<PrerequisitesModel> model;
};

// Each step's hint line, buttons and work; Finish is only ever enabled,
// by FinishStep, never disabled by a step.
TEST(WizardStepTest, HintButtonsAndWorkOfEachStep) {
  constexpr ButtonChange K = ButtonChange::Keep, E = ButtonChange::Enable, D = ButtonChange::Disable;
  struct Case {
    WizardStep step;
    const char* hint;
    ButtonChanges buttons;
    NextWork work;
  } cases[] = {
      {WizardStep::DownloadStep, "Please press the Next button to start downloading the prerequisites.", {E, E, K},
       NextWork::Downloads},
      {WizardStep::InstallStep, "Please press the Next button to install the prerequisites.", {E, E, K},
       NextWork::Installs},
      {WizardStep::FinishStep, "Please press the Finish button to install the main application.", {K, D, E},
       NextWork::Nothing},
  };
  for (const Case& c : cases) {
    StepView view = ViewOfStep(c.step);
    EXPECT_STREQ(view.hint, c.hint) << StepName(c.step);
    EXPECT_TRUE(view.buttons == c.buttons) << StepName(c.step);
    EXPECT_EQ(WorkOfStep(c.step), c.work) << StepName(c.step);
  }
  EXPECT_TRUE(InformationCreated(0) == (ButtonChanges{K, K, K}));
  EXPECT_TRUE(InformationCreated(2) == (ButtonChanges{K, K, D}));
  EXPECT_TRUE(InformationActivated() == (ButtonChanges{D, E, K}));
  EXPECT_TRUE(InformationNext() == (ButtonChanges{E, K, K}));
}

// The buttons through whole walks of the wizard: a pending mandatory
// prerequisite keeps Finish disabled on both pages until FinishStep, and
// once enabled Finish stays so when a change of actions brings a step
// back; going Back disables Back again.
TEST(WizardStepTest, ButtonsThroughAWalk) {
  struct Event {
    enum Kind { Created, Activated, InfoNext, Step } kind;
    WizardStep step;
  };
  auto walk = [](int32_t mandatory, std::vector<Event> events) {
    SheetButtons buttons;
    std::vector<std::string> seen;
    for (const Event& event : events) {
      switch (event.kind) {
        case Event::Created:
          buttons.Apply(InformationCreated(mandatory));
          break;
        case Event::Activated:
          buttons.Apply(InformationActivated());
          break;
        case Event::InfoNext:
          buttons.Apply(InformationNext());
          break;
        case Event::Step:
          buttons.Apply(ViewOfStep(event.step).buttons);
          break;
      }
      seen.push_back(buttons.Text());
    }
    return seen;
  };
  using E = Event;
  const WizardStep Download = WizardStep::DownloadStep, Install = WizardStep::InstallStep,
                   Finish = WizardStep::FinishStep;
  std::vector<Event> plain = {{E::Created, {}},      {E::Activated, {}}, {E::InfoNext, {}},  {E::Step, Download},
                              {E::Step, Install},    {E::Activated, {}}, {E::InfoNext, {}},  {E::Step, Install},
                              {E::Step, Finish},     {E::Step, Download}};
  EXPECT_EQ(walk(0, plain), (std::vector<std::string>{"Back Next Finish", "- Next Finish", "Back Next Finish",
                                                      "Back Next Finish", "Back Next Finish", "- Next Finish",
                                                      "Back Next Finish", "Back Next Finish", "Back - Finish",
                                                      "Back Next Finish"}));
  EXPECT_EQ(walk(1, plain), (std::vector<std::string>{"Back Next -", "- Next -", "Back Next -", "Back Next -",
                                                      "Back Next -", "- Next -", "Back Next -", "Back Next -",
                                                      "Back - Finish", "Back Next Finish"}));
}

// " Setup" follows the name whenever the version information was read,
// product name or not; otherwise the path stands alone.
TEST(WizardTitleTest, SetupFollowsAReadVersion) {
  struct Case {
    const char* name;
    bool versionRead;
    const char* title;
  } cases[] = {
      {"Korvelt", true, "Korvelt Setup"},
      {"C:\\dl\\setup.exe", true, "C:\\dl\\setup.exe Setup"},  // information without a ProductName
      {"C:\\dl\\setup.exe", false, "C:\\dl\\setup.exe"},
      {"", true, " Setup"},
  };
  for (const Case& c : cases) {
    String name;
    ASSERT_TRUE(name.Assign(c.name));
    String title;
    ASSERT_TRUE(title.Assign("old"));
    EXPECT_TRUE(WizardTitle(name, c.versionRead, &title));
    EXPECT_STREQ(title.c_str(), c.title) << c.name << " " << c.versionRead;
  }
}

// Mandatory counts the letter m, lower case, on a character boundary, and
// only with a detection-time action that installs or downloads.
TEST_F(PageModelTest, MandatoryCountUsesDetectionTimeActions) {
  Add("a.exe", Install, "m");
  Add("http://h/b.exe", Download, "qmx");
  Add("c.exe", Install, "M");                 // upper case: not mandatory
  Add("d.exe", DontInstall, "m");             // present
  Add("e.exe", NotRequired, "m");             // another system
  Add("http://h/f.exe", Download, "\x81m");  // a trail byte where the code page has lead bytes
  plan.actions[0] = DontInstall;              // the plan's copy does not count
  EXPECT_EQ(MandatoryCount(list, NoLeadBytes), 3);
  EXPECT_EQ(MandatoryCount(list, LeadBytes), 2);
  EXPECT_EQ(Model().mandatoryCount(), 3);
}

// Refresh counts and derives the step from the plan's actions: any
// Download means DownloadStep, else any install InstallStep, else
// FinishStep; Browse only while something is to be downloaded.
TEST_F(PageModelTest, RefreshDerivesTheStep) {
  struct Case {
    std::vector<PrereqAction> actions;
    const char* state;
  } cases[] = {
      {{Download, Install, DontInstall}, "DownloadStep downloads 1 installs 1 browse"},
      {{InstallExisting, Download, Download}, "DownloadStep downloads 2 installs 1 browse"},
      {{Install, InstallDownloaded, InstallExisting}, "InstallStep downloads 0 installs 3 no-browse"},
      {{NotFound, Installed, NotRequired, DontInstall}, "FinishStep downloads 0 installs 0 no-browse"},
      {{}, "FinishStep downloads 0 installs 0 no-browse"},
  };
  for (const Case& c : cases) {
    list = PrerequisiteList();
    plan.actions.Clear();
    for (PrereqAction action : c.actions) Add("x.exe", action);
    Model();
    std::string state = State();
    EXPECT_EQ(state.substr(0, state.find(" |")), c.state);
    EXPECT_EQ(model->rowCount(), static_cast<int32_t>(c.actions.size()));
  }
}

// A successful run turns its items into actions and leaves InstallStep or
// FinishStep; a failed one is reported and changes nothing, so Next tries
// again; a run without items reports nothing.
TEST_F(PageModelTest, EndOfADownloadRun) {
  Add("http://h/a.exe", Download);
  Add("http://h/b.exe", Download);
  Add("c.exe", DontInstall);
  Model();
  ASSERT_EQ(WorkOfStep(model->step()), NextWork::Downloads);
  for (int32_t index : {0, 1}) {
    DownloadItem item;
    item.prereqIndex = index;
    item.status = DownloadStatus::Failed;
    ASSERT_TRUE(plan.downloads.items.Push(static_cast<DownloadItem&&>(item)));
  }
  for (int32_t code : {1, 2, 3, 4, 5}) {
    EXPECT_TRUE(model->EndDownloadRun(code, true)) << code;
    EXPECT_EQ(State(), "DownloadStep downloads 2 installs 0 browse | Download Download DontInstall") << code;
  }
  EXPECT_FALSE(model->EndDownloadRun(DownloadNotStarted, false));
  EXPECT_EQ(State(), "DownloadStep downloads 2 installs 0 browse | Download Download DontInstall");

  plan.downloads.items[0].status = DownloadStatus::Done;
  plan.downloads.items[1].status = DownloadStatus::ReadError;
  EXPECT_FALSE(model->EndDownloadRun(DownloadSucceeded, true));
  EXPECT_EQ(State(), "InstallStep downloads 0 installs 1 no-browse | InstallDownloaded NotFound DontInstall");

  plan.actions[0] = Download;
  plan.downloads.items[0].status = DownloadStatus::Failed;
  EXPECT_FALSE(model->EndDownloadRun(DownloadSucceeded, true));
  EXPECT_EQ(State(), "FinishStep downloads 0 installs 0 no-browse | NotFound NotFound DontInstall");
}

// After the installation step, which judged its rows itself, only Finish
// is left and the counts stay as they were.
TEST_F(PageModelTest, EndOfTheInstallationStep) {
  Add("a.exe", Install);
  Add("http://h/b.exe", InstallDownloaded);
  Add("http://h/c.exe", InstallExisting);
  Add("http://h/d.exe", NotFound);
  Add("e.exe", DontInstall);
  Model();
  ASSERT_EQ(WorkOfStep(model->step()), NextWork::Installs);
  model->EndInstallRun();
  EXPECT_EQ(State(), "FinishStep downloads 0 installs 3 no-browse | Install InstallDownloaded InstallExisting NotFound DontInstall");
  EXPECT_EQ(WorkOfStep(model->step()), NextWork::Nothing);
}

// The chooser's entries by source and current action, and the entry
// preselected.
TEST(ChooserEntriesTest, BySourceAndAction) {
  struct Case {
    PrereqSource source;
    PrereqAction action;
    const char* second;
    int32_t selected;
  } cases[] = {
      {PrereqSource::SetupFile, Install, "Install", 1},
      {PrereqSource::SetupFile, DontInstall, "Install", 0},
      {PrereqSource::SetupFile, Installed, "Install", 0},
      {PrereqSource::Url, Download, "Download", 1},
      {PrereqSource::Url, InstallDownloaded, "Install", 1},
      {PrereqSource::Url, InstallExisting, "Install", 1},
      {PrereqSource::Url, DontInstall, "Download", 0},
      {PrereqSource::Url, NotFound, "Download", 0},
      {PrereqSource::Url, Installed, "Download", 0},
      {PrereqSource::Url, Install, "Download", 1},
      // A row whose program failed is scheduled again as a Not Found one.
      {PrereqSource::SetupFile, Failed, "Install", 0},
      {PrereqSource::Url, Failed, "Download", 0},
  };
  for (const Case& c : cases) {
    ChooserEntries entries = EntriesFor(c.source, c.action);
    std::string label = std::to_string(static_cast<int>(c.source)) + " " + ActionName(c.action);
    EXPECT_STREQ(entries.texts[0], "Don't Install") << label;
    EXPECT_STREQ(entries.texts[1], c.second) << label;
    EXPECT_EQ(entries.selected, c.selected) << label;
  }
}

// The columns always fill the list's client width exactly, whatever it
// holds: Action whole first, then Status while Name keeps its minimum, then
// Name with the rest.
TEST(FitColumnsTest, FillTheClientWidthWithoutScrolling) {
  struct Case {
    const char* name;
    int32_t client, statusNeed, actionNeed, minimumName;
    ColumnWidths expected;
  } cases[] = {
      {"room for all: Name takes the rest", 500, 200, 90, 100, {210, 200, 90}},
      {"Status just fits beside the minimum", 390, 200, 90, 100, {100, 200, 90}},
      {"a long status gives way to Name's minimum", 390, 380, 90, 100, {100, 200, 90}},
      {"a long status with no minimum for Name", 390, 380, 90, 0, {0, 300, 90}},
      {"too narrow for Name's minimum: Status gets nothing", 150, 200, 90, 100, {60, 0, 90}},
      {"too narrow even for Action", 60, 200, 90, 100, {0, 0, 60}},
      {"no client area at all", 0, 200, 90, 100, {0, 0, 0}},
      {"a negative width reads as none", -20, 200, 90, 100, {0, 0, 0}},
      {"negative needs read as none", 300, -5, -1, -7, {300, 0, 0}},
      {"huge needs stay within the width", 300, INT32_MAX, INT32_MAX, INT32_MAX, {0, 0, 300}},
      {"a huge width", INT32_MAX, 200, 90, 100, {INT32_MAX - 290, 200, 90}},
  };
  for (const Case& c : cases) {
    ColumnWidths widths = FitColumns(c.client, c.statusNeed, c.actionNeed, c.minimumName);
    EXPECT_EQ(widths, c.expected) << c.name << ": " << widths.name << " " << widths.status << " " << widths.action;
    if (c.client >= 0) {
      EXPECT_EQ(int64_t{widths.name} + widths.status + widths.action, c.client) << c.name;
    }
  }
}

// A chooser opens only on the Action cell of an existing row that is
// neither NotRequired nor mandatory; a mandatory row still becomes the row
// edited.
TEST_F(PageModelTest, WhereTheChooserOpens) {
  Add("a.exe", Install);
  Add("http://h/b.exe", Download, "m");
  Add("c.exe", NotRequired);
  Add("http://h/d.exe", Download);
  Model();
  struct Case {
    int32_t item;
    int32_t subitem;
    int32_t itemCount;
    bool opens;
    int32_t editRow;
  } cases[] = {
      {0, NameColumn, 4, false, -1}, {0, StatusColumn, 4, false, -1}, {-1, ActionColumn, 4, false, -1},
      {4, ActionColumn, 4, false, -1}, {3, ActionColumn, 3, false, -1},  // beyond the list's rows
      {2, ActionColumn, 4, false, -1},                                   // NotRequired
      {1, ActionColumn, 4, false, 1},                                    // mandatory
      {3, ActionColumn, 4, true, 3},  {0, ActionColumn, 4, true, 0},
  };
  for (const Case& c : cases) {
    ChooserEntries entries{{nullptr, nullptr}, -1};
    EXPECT_EQ(model->OpenChooser(c.item, c.subitem, c.itemCount, &entries), c.opens) << c.item << " " << c.subitem;
    EXPECT_EQ(model->editRow(), c.editRow) << c.item << " " << c.subitem;
    if (c.opens) {
      EXPECT_STREQ(entries.texts[0], "Don't Install");
    }
  }
}

// What a choice does to the row, the step and Browse: the second entry
// downloads, reconciled with the folder at once, or installs; the first
// installs nothing, except that an Installed row stays so; no selection
// changes nothing.
TEST_F(PageModelTest, CommittingAChoice) {
  files.files["C:\\Setup\\present.exe"] = testing::Bytes(5, 1);
  struct Case {
    const char* location;
    PrereqAction action;
    int32_t index;
    const char* state;
  } cases[] = {
      {"a.exe", Install, 0, "FinishStep downloads 0 installs 0 no-browse | DontInstall"},
      {"a.exe", DontInstall, 1, "InstallStep downloads 0 installs 1 no-browse | Install"},
      {"a.exe", Installed, 1, "InstallStep downloads 0 installs 1 no-browse | Install"},
      {"a.exe", Installed, 0, "FinishStep downloads 0 installs 0 no-browse | Installed"},
      {"a.exe", Install, -1, "InstallStep downloads 0 installs 1 no-browse | Install"},
      {"http://h/b.exe", Download, 1, "DownloadStep downloads 1 installs 0 browse | Download"},
      {"http://h/b.exe", Download, 0, "FinishStep downloads 0 installs 0 no-browse | DontInstall"},
      {"http://h/b.exe", NotFound, 0, "FinishStep downloads 0 installs 0 no-browse | DontInstall"},
      {"http://h/b.exe", Installed, 1, "DownloadStep downloads 1 installs 0 browse | Download"},
      {"http://h/present.exe", DontInstall, 1, "InstallStep downloads 0 installs 1 no-browse | InstallExisting"},
      {"http://h/present.exe", InstallExisting, 1, "InstallStep downloads 0 installs 1 no-browse | InstallExisting"},
      {"http://h/b.exe", InstallDownloaded, 1, "DownloadStep downloads 1 installs 0 browse | Download"},
      {"a.exe", Failed, 1, "InstallStep downloads 0 installs 1 no-browse | Install"},
      {"a.exe", Failed, 0, "FinishStep downloads 0 installs 0 no-browse | DontInstall"},
      {"http://h/present.exe", Failed, 1, "InstallStep downloads 0 installs 1 no-browse | InstallExisting"},
  };
  for (const Case& c : cases) {
    list = PrerequisiteList();
    plan.actions.Clear();
    Add(c.location, c.action);
    Model();
    ChooserEntries entries;
    ASSERT_TRUE(model->OpenChooser(0, ActionColumn, 1, &entries));
    model->CommitChoice(c.index);
    EXPECT_EQ(State(), c.state) << c.location << " " << ActionName(c.action) << " " << c.index;
  }
}

// A commit reconciles every row with the folder, not only the one chosen,
// and a commit without any row edited only refreshes.
TEST_F(PageModelTest, CommitReconcilesTheWholePlan) {
  Add("http://h/a.exe", Download);
  Add("http://h/b.exe", DontInstall);
  Model();
  model->CommitChoice(1);
  EXPECT_EQ(State(), "DownloadStep downloads 1 installs 0 browse | Download DontInstall");
  files.files["C:\\Setup\\a.exe"] = testing::Bytes(5, 1);
  ChooserEntries entries;
  ASSERT_TRUE(model->OpenChooser(1, ActionColumn, 2, &entries));
  model->CommitChoice(1);
  EXPECT_EQ(State(), "DownloadStep downloads 1 installs 1 browse | InstallExisting Download");
}

// Another folder holding the only download's file at its exact size turns
// it into an install and disables Browse; a folder without it brings the
// download back.
TEST_F(PageModelTest, ChangingTheFolder) {
  files.files["D:\\other\\a.exe"] = testing::Bytes(5, 1);
  files.files["D:\\a.exe"] = testing::Bytes(4, 1);
  Add("http://h/a.exe", Download);
  Add("b.exe", DontInstall);
  Model();
  ASSERT_TRUE(model->ChangeFolder("D:\\other"));
  EXPECT_STREQ(plan.downloads.folder.c_str(), "D:\\other\\");
  EXPECT_EQ(State(), "InstallStep downloads 0 installs 1 no-browse | InstallExisting DontInstall");
  ASSERT_TRUE(model->ChangeFolder("D:\\"));
  EXPECT_STREQ(plan.downloads.folder.c_str(), "D:\\");
  EXPECT_EQ(State(), "DownloadStep downloads 1 installs 0 browse | Download DontInstall");
}

// The document reaches the control whole, in as many chunks as it asks
// for, and once read every further call hands over nothing.
TEST(InfoTextTest, ReadInChunks) {
  const char text[] = "{\\rtf1 Required Prerequisites}";
  for (int32_t chunk : {1, 3, 7, 31, 32, 4096}) {
    InfoTextReader reader{text, static_cast<int32_t>(sizeof text), 0};
    std::string read;
    int calls = 0;
    unsigned char buffer[4096];
    for (int32_t count; (count = ReadInfoText(reader, buffer, chunk)) > 0; ++calls) {
      ASSERT_LE(count, chunk);
      read.append(reinterpret_cast<char*>(buffer), count);
    }
    EXPECT_EQ(read, std::string(text, sizeof text)) << chunk;
    EXPECT_EQ(calls, (static_cast<int>(sizeof text) + chunk - 1) / chunk) << chunk;
    EXPECT_EQ(reader.position, reader.length);
    EXPECT_EQ(ReadInfoText(reader, buffer, chunk), 0);
  }
  InfoTextReader reader{text, static_cast<int32_t>(sizeof text), 0};
  unsigned char buffer[8] = {};
  EXPECT_EQ(ReadInfoText(reader, buffer, 0), 0);
  EXPECT_EQ(ReadInfoText(reader, buffer, -5), 0);
  EXPECT_EQ(reader.position, 0);
}

// The user's changes reach the log: an action that changes, and the
// folder picked; a choice that changes nothing is not a change.
TEST_F(PageModelTest, UserChangesAreLogged) {
  testing::RecordingLog sink;
  testing::FakeClock clock;
  RunLog log(sink, clock);
  ASSERT_TRUE(log.Open("setup.log"));
  plan.log = &log;
  Add("a.exe", Failed);
  Add("http://h/b.exe", Download);
  Model();
  ChooserEntries entries;
  ASSERT_TRUE(model->OpenChooser(0, ActionColumn, 2, &entries));
  model->CommitChoice(1);
  ASSERT_TRUE(model->OpenChooser(1, ActionColumn, 2, &entries));
  model->CommitChoice(1);
  model->CommitChoice(0);
  ASSERT_TRUE(model->ChangeFolder("D:\\other"));
  EXPECT_EQ(sink.Texts(), (std::vector<std::string>{"user: App1 \"a.exe\" changed from Failed to Install",
                                                    "user: App2 \"http://h/b.exe\" changed from Download to Don't Install",
                                                    "user: download folder \"D:\\other\\\""}));
}

}  // namespace
}  // namespace korvelt
