#include "download/download_dialog.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "testing/fake_clock.h"
#include "testing/fake_files.h"
#include "testing/fake_http.h"
#include "testing/recording_poster.h"
#include "testing/std_threads.h"

namespace korvelt {
namespace {

using testing::PostedMessage;

constexpr WindowId kWindow = 0x4711;

// The examples of the speed label, and the largest speed a message carries.
TEST(SpeedTextTest, WholeKilobytesPointHundredths) {
  struct Case {
    uint32_t hundredths;
    const char* text;
  } cases[] = {
      {1234, "12.34 KB/s"}, {1205, "12.05 KB/s"}, {0, "0.00 KB/s"},           {5, "0.05 KB/s"},
      {100, "1.00 KB/s"},   {99, "0.99 KB/s"},    {0xFFFFFFFF, "42949672.95 KB/s"},
  };
  for (const Case& c : cases) {
    char text[kProgressTextSize];
    SpeedText(c.hundredths, text);
    EXPECT_STREQ(text, c.text) << c.hundredths;
  }
}

// Hundredths of the expected size, truncated, with a 64-bit product.
TEST(PercentageTextTest, TruncatedHundredthsOfTheExpectedSize) {
  struct Case {
    uint64_t bytes;
    uint32_t exactSize;
    const char* text;
  } cases[] = {
      {0, 20000, "0%"},
      {8192, 20000, "40%"},
      {19999, 20000, "99%"},
      {20000, 20000, "100%"},
      {12, 5, "240%"},  // a server without a length sent more
      {0xFFFFFFFF, 0xFFFFFFFF, "100%"},
      {0x80000000, 0xFFFFFFFF, "50%"},  // 2^31 × 100 needs more than 32 bits
      {0xFFFFFFFE, 0xFFFFFFFF, "99%"},
      {0xFFFFFFFF, 1, "429496729500%"},
      {0, 0, "100%"},  // nothing was expected
      {7, 0, "100%"},
  };
  for (const Case& c : cases) {
    char text[kProgressTextSize];
    PercentageText(c.bytes, c.exactSize, text);
    EXPECT_STREQ(text, c.text) << c.bytes << " of " << c.exactSize;
  }
}

// Counts beyond a bar's signed 32 bits are halved until they fit.
TEST(BarValueTest, HalvedUntilTheyFit) {
  struct Case {
    uint64_t maximum;
    uint32_t shift;
    int32_t range;
  } cases[] = {
      {0, 0, 0},
      {0x7FFFFFFF, 0, 0x7FFFFFFF},
      {0x80000000, 1, 0x40000000},
      {0xFFFFFFFF, 1, 0x7FFFFFFF},
      {0x200000000, 3, 0x40000000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BarShift(c.maximum), c.shift) << c.maximum;
    EXPECT_EQ(BarValue(c.maximum, c.shift), c.range) << c.maximum;
  }
  EXPECT_EQ(BarValue(0x100000000, 0), 0x7FFFFFFF);  // a count past the range stays at its end
}

// What the view was last told.
struct Shown {
  int32_t currentRange = -1;
  int32_t currentPosition = -1;
  int32_t totalRange = -1;
  int32_t totalPosition = -1;
  std::string speed = "0 KB/s";
  std::vector<std::string> rows;  // "url status"
  std::string pauseButton = "Pause";
};

// A view that keeps what it is told, and writes the wrong-size boxes and
// the closing into the log, beside the worker control calls.
class RecordingView final : public DownloadDialogView {
 public:
  explicit RecordingView(std::vector<std::string>& log) : log_(log) {}
  void AddRow(const char* url, const char* status) override { shown.rows.push_back(std::string(url) + " " + status); }
  void SetRowStatus(size_t row, const char* text) override {
    if (row >= shown.rows.size()) {
      ADD_FAILURE() << "row " << row << " does not exist";
      return;
    }
    std::string& entry = shown.rows[row];
    entry = entry.substr(0, entry.find(' ')) + " " + text;
  }
  void SetCurrentRange(int32_t maximum) override { shown.currentRange = maximum; }
  void SetCurrentPosition(int32_t position) override { shown.currentPosition = position; }
  void SetTotalRange(int32_t maximum) override { shown.totalRange = maximum; }
  void SetTotalPosition(int32_t position) override { shown.totalPosition = position; }
  void SetSpeed(const char* text) override { shown.speed = text; }
  void SetPauseButton(const char* text) override { shown.pauseButton = text; }
  void ShowWrongSize() override {
    log_.push_back("box");
    if (whileBoxIsOpen) whileBoxIsOpen();
  }
  void ShowWrongContent(const char* name) override { log_.push_back(std::string("content box ") + name); }
  void Close() override { log_.push_back("close " + std::to_string(model->EndCode())); }

  Shown shown;
  DownloadDialogModel* model = nullptr;
  // What the window's messages do while a box is up.
  std::function<void()> whileBoxIsOpen;

 private:
  std::vector<std::string>& log_;
};

// Threads that never run: the test is the worker. Each call is logged with
// the flag word as it stands, so that the order of flag and event shows.
class LoggingThreads final : public ThreadService {
 public:
  LoggingThreads(std::vector<std::string>& log, const DownloadBatch& batch) : log_(log), batch_(batch) {}
  ThreadId StartThread(ThreadRoutine, void*) override {
    log_.push_back("start thread");
    return failStart ? 0 : 7;
  }
  void WaitForThread(ThreadId thread) override { log_.push_back("wait for thread " + std::to_string(thread)); }
  EventId CreateManualEvent(bool) override { return 5; }
  void SetEvent(EventId) override { log_.push_back("set event, flags " + std::to_string(batch_.control.load())); }
  void ResetEvent(EventId) override { log_.push_back("reset event, flags " + std::to_string(batch_.control.load())); }
  void WaitForEvent(EventId) override {}
  void Sleep(uint32_t) override {}
  void Close(uintptr_t) override {}
  bool failStart = false;

 private:
  std::vector<std::string>& log_;
  const DownloadBatch& batch_;
};

// One step of a script: a worker message, or a button the user presses.
struct Step {
  uint32_t message;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};
constexpr uint32_t kPause = 1;
constexpr uint32_t kCancel = 2;

class DownloadDialogModelTest : public ::testing::Test {
 protected:
  void SetItems(const std::vector<int32_t>& sizes) {
    batch.items.Clear();
    for (size_t i = 0; i < sizes.size(); ++i) {
      DownloadItem item;
      std::string letter(1, static_cast<char>('a' + i));
      ASSERT_TRUE(item.url.Assign(("http://h/" + letter + ".exe").c_str()));
      ASSERT_TRUE(item.name.Assign(("Runtime " + letter).c_str()));
      item.exactSize = sizes[i];
      ASSERT_TRUE(batch.items.Push(static_cast<DownloadItem&&>(item)));
    }
  }
  void Play(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
      if (step.message == kPause) {
        model->TogglePause();
      } else if (step.message == kCancel) {
        model->Cancel();
      } else {
        EXPECT_TRUE(model->HandleWorkerMessage(step.message, step.wParam, step.lParam)) << step.message;
      }
    }
  }
  std::vector<DownloadStatus> Statuses() {
    std::vector<DownloadStatus> statuses;
    for (const DownloadItem& item : batch.items) statuses.push_back(item.status);
    return statuses;
  }
  // A new dialog over `sizes`: filled, its worker started, the steps
  // played.
  void Run(const std::vector<int32_t>& sizes, const std::vector<Step>& steps) {
    log.clear();
    batch.control = 0;
    view.shown = Shown();
    SetItems(sizes);
    model.emplace(batch, view);
    view.model = &*model;
    model->Fill();
    model->Start(services, kWindow);
    Play(steps);
  }

  std::vector<std::string> log;
  DownloadBatch batch;
  RecordingView view{log};
  LoggingThreads threads{log, batch};
  testing::FakeHttpService http;
  testing::FakeFileSystem files;
  testing::FakeClock clock;
  testing::RecordingPoster poster;
  DownloadServices services{http, files, clock, poster, threads, NoLeadBytes};
  std::optional<DownloadDialogModel> model;
};

constexpr DownloadStatus P = DownloadStatus::Pending;
constexpr DownloadStatus D = DownloadStatus::Done;
constexpr DownloadStatus F = DownloadStatus::Failed;
constexpr DownloadStatus R = DownloadStatus::ReadError;
constexpr DownloadStatus W = DownloadStatus::WriteError;

// Each message and button, from the same three files: what the bars,
// labels and rows show, the statuses, the calls into the worker's control
// and the end.
TEST_F(DownloadDialogModelTest, MessagesAndButtons) {
  struct Case {
    const char* name;
    std::vector<int32_t> sizes;
    std::vector<Step> steps;
    std::vector<std::string> rows;  // statuses column
    int32_t currentRange, currentPosition, totalRange, totalPosition;
    std::string speed;
    std::vector<DownloadStatus> statuses;
    std::vector<std::string> log;  // after "start thread"
    bool ended;
    int32_t endCode;
    uint32_t control;
    std::string pauseButton = "Pause";
  } cases[] = {
      {"filled", {20000, 10000, 5}, {}, {"0%", "0%", "0%"}, -1, -1, 30005, 0, "0 KB/s", {P, P, P}, {}, false, 0, 0},
      {"first chunk",
       {20000, 10000, 5},
       {{DL_FILE_START, 0}, {DL_PROGRESS, 8192, 1234}},
       {"40%", "0%", "0%"},
       20000, 8192, 30005, 8192, "12.34 KB/s", {P, P, P}, {}, false, 0, 0},
      {"whole run",
       {20000, 10000, 5},
       {{DL_FILE_START, 0}, {DL_PROGRESS, 8192, 1234}, {DL_PROGRESS, 8192, 1205}, {DL_PROGRESS, 3616, 0},
        {DL_FILE_DONE, 0}, {DL_FILE_START, 1}, {DL_PROGRESS, 10000, 0}, {DL_FILE_DONE, 1}, {DL_FILE_START, 2},
        {DL_PROGRESS, 5, 17}, {DL_FILE_DONE, 2}, {DL_ALL_DONE}},
       {"100%", "100%", "100%"},
       5, 5, 30005, 30005, "0.17 KB/s", {D, D, D}, {"close 0"}, true, 0, 0},
      // The failures mark the current item, whatever the message names.
      {"failures",
       {20000, 10000, 5},
       {{DL_FILE_START, 0}, {DL_PROGRESS, 100, 3}, {DL_SAVE_FAILED, 2}, {DL_FILE_START, 1}, {DL_READ_FAILED, 0},
        {DL_FILE_START, 2}, {DL_WRONG_SIZE, 999}},
       {"0%", "0%", "0%"},
       5, 0, 30005, 100, "0.03 KB/s", {W, R, F}, {"box"}, false, 0, 0},
      // A whole file of other content fails its own item, named in a box of
      // its own; the run goes on.
      {"wrong content, then done",
       {20000, 10000},
       {{DL_FILE_START, 0}, {DL_PROGRESS, 20000, 0}, {DL_WRONG_CONTENT, 0}, {DL_FILE_START, 1}, {DL_PROGRESS, 10000, 0},
        {DL_FILE_DONE, 1}, {DL_ALL_DONE}},
       {"100%", "100%"},
       10000, 10000, 30000, 30000, "0.00 KB/s", {F, D}, {"content box Runtime a", "close 0"}, true, 0, 0},
      // An error answer fails its item without a box; the run goes on.
      {"error answer, then done",
       {20000, 10000},
       {{DL_FILE_START, 0}, {DL_NOT_SERVED, 0}, {DL_FILE_START, 1}, {DL_PROGRESS, 10000, 0}, {DL_FILE_DONE, 1},
        {DL_ALL_DONE}},
       {"0%", "100%"},
       10000, 10000, 30000, 10000, "0.00 KB/s", {F, D}, {"close 0"}, true, 0, 0},
      // A rejected file leaves its bar at 0 and the whole run's short.
      {"rejected then done",
       {20000, 10000, 5},
       {{DL_FILE_START, 0}, {DL_WRONG_SIZE, 20001}, {DL_FILE_START, 1}, {DL_PROGRESS, 10000, 0}, {DL_FILE_DONE, 1},
        {DL_FILE_START, 2}, {DL_WRONG_SIZE, 4}, {DL_ALL_DONE}},
       {"0%", "100%", "0%"},
       5, 0, 30005, 10000, "0.00 KB/s", {F, D, F}, {"box", "box", "close 0"}, true, 0, 0},
      {"file complete on disk",
       {20000},
       {{DL_FILE_START, 0}, {DL_PROGRESS, 20000, 0}},
       {"100%"},
       20000, 20000, 20000, 20000, "0.00 KB/s", {P}, {}, false, 0, 0},
      {"more than expected", {20000, 10000, 5}, {{DL_FILE_START, 2}, {DL_PROGRESS, 12, 0}}, {"0%", "0%", "240%"},
       5, 12, 30005, 12, "0.00 KB/s", {P, P, P}, {}, false, 0, 0},
      {"nothing expected", {0}, {{DL_FILE_START, 0}, {DL_PROGRESS, 0, 0}}, {"100%"}, 0, 0, 0, 0, "0.00 KB/s", {P},
       {}, false, 0, 0},
      // A speed past 2^31 hundredths arrives negative in a 32-bit lParam.
      {"speed read unsigned", {20000}, {{DL_FILE_START, 0}, {DL_PROGRESS, 1, static_cast<int32_t>(0x80000000)}},
       {"0%"}, 20000, 1, 20000, 1, "21474836.48 KB/s", {P}, {}, false, 0, 0},
      // No row for an index the run does not have; the bars still move.
      {"unknown item", {20000}, {{DL_FILE_START, 9}, {DL_PROGRESS, 10, 0}, {DL_FILE_DONE, 9}, {DL_SAVE_FAILED, 9}},
       {"0%"}, 0, 10, 20000, 10, "0.00 KB/s", {P}, {}, false, 0, 0},
      {"two files past 2 GiB", {2000000000, 2000000000}, {{DL_FILE_START, 0}, {DL_PROGRESS, 2000000000, 0}},
       {"100%", "0%"}, 2000000000, 2000000000, 2000000000, 1000000000, "0.00 KB/s", {P, P}, {}, false, 0, 0},
      {"no items", {}, {{DL_ALL_DONE}}, {}, -1, -1, 0, 0, "0 KB/s", {}, {"close 0"}, true, 0, 0},
      // Ending after an open failure or an abort waits for the worker.
      {"url cannot be opened", {20000, 10000}, {{DL_FILE_START, 0}, {DL_OPEN_FAILED, 0}}, {"0%", "0%"}, 20000, 0,
       30000, 0, "0 KB/s", {P, P}, {"wait for thread 7", "close 1"}, true, 1, 0},
      {"no session", {20000}, {{DL_OPEN_FAILED, 0}}, {"0%"}, -1, -1, 20000, 0, "0 KB/s", {P},
       {"wait for thread 7", "close 1"}, true, 1, 0},
      // The flag is set before the event changes.
      {"pause, resume",
       {20000},
       {{kPause}, {kPause}, {kPause}},
       {"0%"},
       -1, -1, 20000, 0, "0 KB/s", {P},
       {"reset event, flags 1", "set event, flags 0", "reset event, flags 1"}, false, 0, PAUSE_FLAG, "Resume"},
      {"cancel",
       {20000},
       {{DL_FILE_START, 0}, {kCancel}, {DL_ABORTED, 0}},
       {"0%"},
       20000, 0, 20000, 0, "0 KB/s", {P},
       {"set event, flags 2", "wait for thread 7", "close 4"}, true, 4, ABORT_FLAG},
      {"cancel while paused",
       {20000},
       {{kPause}, {kCancel}, {DL_ABORTED, 0}},
       {"0%"},
       -1, -1, 20000, 0, "0 KB/s", {P},
       {"reset event, flags 1", "set event, flags 3", "wait for thread 7", "close 4"}, true, 4, PAUSE_FLAG | ABORT_FLAG,
       "Resume"},
      // Cancel only asks: the dialog stays until the worker ends it.
      {"cancel, then the worker finishes",
       {20000},
       {{kCancel}, {kCancel}, {DL_ALL_DONE}},
       {"0%"},
       -1, -1, 20000, 0, "0 KB/s", {P}, {"set event, flags 2", "set event, flags 2", "close 0"}, true, 0, ABORT_FLAG},
      {"nothing after the end",
       {20000},
       {{DL_ALL_DONE}, {DL_FILE_START, 0}, {DL_PROGRESS, 50, 1}, {DL_FILE_DONE, 0}, {DL_ABORTED, 0}, {kPause},
        {kCancel}},
       {"0%"},
       -1, -1, 20000, 0, "0 KB/s", {P}, {"close 0"}, true, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Run(c.sizes, c.steps);

    std::vector<std::string> rows;
    for (size_t i = 0; i < c.rows.size(); ++i) {
      rows.push_back("http://h/" + std::string(1, static_cast<char>('a' + i)) + ".exe " + c.rows[i]);
    }
    EXPECT_EQ(view.shown.rows, rows);
    EXPECT_EQ(view.shown.currentRange, c.currentRange);
    EXPECT_EQ(view.shown.currentPosition, c.currentPosition);
    EXPECT_EQ(view.shown.totalRange, c.totalRange);
    EXPECT_EQ(view.shown.totalPosition, c.totalPosition);
    EXPECT_EQ(view.shown.speed, c.speed);
    EXPECT_EQ(view.shown.pauseButton, c.pauseButton);
    EXPECT_EQ(Statuses(), c.statuses);
    std::vector<std::string> expected{"start thread"};
    expected.insert(expected.end(), c.log.begin(), c.log.end());
    EXPECT_EQ(log, expected);
    EXPECT_EQ(model->Ended(), c.ended);
    EXPECT_EQ(model->EndCode(), c.endCode);
    EXPECT_EQ(batch.control.load(), c.control);
  }
}

// Without a worker thread no message would ever come: the dialog ends at
// once with 1, without waiting.
TEST_F(DownloadDialogModelTest, NoThreadEndsAtOnce) {
  threads.failStart = true;
  Run({20000}, {});
  EXPECT_EQ(log, (std::vector<std::string>{"start thread", "close 1"}));
  EXPECT_TRUE(model->Ended());
  EXPECT_EQ(model->EndCode(), DownloadNotStarted);
}

// While a wrong-size box is up the worker goes on; the item that was
// current when it came is the one marked Failed, and a later one that
// completes behind the box stays Done.
TEST_F(DownloadDialogModelTest, WrongSizeMarksTheItemItCameFor) {
  view.whileBoxIsOpen = [this] {
    view.whileBoxIsOpen = nullptr;
    Play({{DL_FILE_START, 1}, {DL_PROGRESS, 10000, 0}, {DL_FILE_DONE, 1}, {DL_ALL_DONE}});
  };
  Run({20000, 10000}, {{DL_FILE_START, 0}, {DL_WRONG_SIZE, 1}});
  EXPECT_EQ(Statuses(), (std::vector<DownloadStatus>{F, D}));
  EXPECT_EQ(log, (std::vector<std::string>{"start thread", "box", "close 0"}));
  EXPECT_EQ(view.shown.rows, (std::vector<std::string>{"http://h/a.exe 0%", "http://h/b.exe 100%"}));
}

// The dialog takes only the worker's range of messages.
TEST_F(DownloadDialogModelTest, OnlyTheWorkersMessages) {
  Run({1}, {});
  for (uint32_t message : {1024u, 1036u, 0u, 0x111u}) EXPECT_FALSE(model->HandleWorkerMessage(message, 0, 0));
  for (uint32_t message : {1025u, 1033u}) EXPECT_TRUE(model->HandleWorkerMessage(message, 0, 0));
  EXPECT_FALSE(model->Ended());
}

// Messages posted to the dialog's window wait in a queue, as in a
// window's, until the dialog's thread takes them.
class MessageQueue final : public MessagePoster {
 public:
  bool Post(WindowId window, uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(PostedMessage{window, message, wParam, lParam});
      arrived_.notify_one();
    }
    if (afterPost) afterPost(message);
    return true;
  }
  // Called on the posting thread once a message is queued.
  std::function<void(uint32_t)> afterPost;
  PostedMessage Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!arrived_.wait_for(lock, std::chrono::seconds(10), [this] { return !queue_.empty(); })) {
      ADD_FAILURE() << "no message came";
      return PostedMessage{kWindow, DL_ALL_DONE, 0, 0};
    }
    PostedMessage message = queue_.front();
    queue_.pop_front();
    return message;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<PostedMessage> queue_;
};

// The dialog without its window: the model takes the queued messages one
// by one on the thread that runs the download, as the window would, and
// `onMessage` acts like the user before each is handled.
class QueueDialog final : public DownloadDialog {
 public:
  QueueDialog(MessageQueue& queue, RecordingView& view) : queue_(queue), view_(view) {}
  int32_t Show(DownloadBatch& batch, DownloadServices& services) override {
    DownloadDialogModel model(batch, view_);
    view_.model = &model;
    model.Fill();
    model.Start(services, kWindow);
    while (!model.Ended()) {
      PostedMessage message = queue_.Take();
      EXPECT_EQ(message.window, kWindow);
      if (onMessage) onMessage(model, message.message);
      model.HandleWorkerMessage(message.message, message.wParam, message.lParam);
    }
    view_.model = nullptr;
    return model.EndCode();
  }
  std::function<void(DownloadDialogModel&, uint32_t)> onMessage;

 private:
  MessageQueue& queue_;
  RecordingView& view_;
};

// The real worker against a fake server, reporting to the model through
// a queue: what the user sees after whole runs.
class DialogRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(batch.folder.Assign("C:\\dl\\"));
    files.folders = {"C:", "C:\\dl"};
  }
  void Add(const std::string& name, size_t served, int32_t exactSize) {
    http.resources["http://h/" + name].body = testing::Bytes(served, 0x5A);
    DownloadItem item;
    ASSERT_TRUE(item.url.Assign(("http://h/" + name).c_str()));
    ASSERT_TRUE(item.path.Assign(("C:\\dl\\" + name).c_str()));
    item.exactSize = exactSize;
    ASSERT_TRUE(batch.items.Push(static_cast<DownloadItem&&>(item)));
  }
  std::vector<DownloadStatus> Statuses() {
    std::vector<DownloadStatus> statuses;
    for (const DownloadItem& item : batch.items) statuses.push_back(item.status);
    return statuses;
  }

  std::vector<std::string> log;
  RecordingView view{log};
  MessageQueue queue;
  testing::FakeHttpService http;
  testing::FakeFileSystem files;
  testing::FakeClock clock;
  testing::StdThreadService threads;
  DownloadServices services{http, files, clock, queue, threads, NoLeadBytes};
  DownloadBatch batch;
  QueueDialog dialog{queue, view};
};

// A file that comes whole, one of the wrong size, one whose read fails and
// one that cannot be saved: the run ends with 0 and each item's status
// says what happened to it.
TEST_F(DialogRunTest, EveryItemProcessed) {
  Add("good.exe", 20000, 20000);
  Add("wrong.exe", 20000, 19999);
  Add("broken.exe", 20000, 20000);
  http.resources["http://h/broken.exe"].readFailsAt = 9000;
  Add("unsaved.exe", 300, 300);
  files.failCreate.insert("C:\\dl\\unsaved.exe");

  EXPECT_EQ(RunDownloads(batch, services, &dialog), DownloadSucceeded);
  EXPECT_EQ(Statuses(), (std::vector<DownloadStatus>{D, F, R, W}));
  EXPECT_EQ(log, (std::vector<std::string>{"box", "close 0"}));
  EXPECT_EQ(view.shown.rows, (std::vector<std::string>{"http://h/good.exe 100%", "http://h/wrong.exe 0%",
                                                        "http://h/broken.exe 45%", "http://h/unsaved.exe 0%"}));
  EXPECT_EQ(view.shown.totalRange, 60299);
  EXPECT_EQ(view.shown.totalPosition, 29000);
  EXPECT_EQ(view.shown.currentRange, 300);
  EXPECT_EQ(view.shown.currentPosition, 0);
  EXPECT_EQ(threads.open(), 0);
}

// Pause, resume, then cancel from the dialog's thread: the worker stops
// before its next read, the run ends with 4 once it has ended, and the
// part written stays. The worker is held after its first report until the
// dialog has paused, and after its third until it has cancelled.
TEST_F(DialogRunTest, PauseResumeCancel) {
  Add("big.exe", 10 * 8192, 10 * 8192);
  std::promise<void> paused;
  std::promise<void> cancelled;
  int posted = 0;
  queue.afterPost = [&](uint32_t message) {
    if (message != DL_PROGRESS) return;
    ++posted;
    if (posted == 1) paused.get_future().wait();
    if (posted == 3) cancelled.get_future().wait();
  };
  int progress = 0;
  dialog.onMessage = [&](DownloadDialogModel& model, uint32_t message) {
    if (message != DL_PROGRESS) return;
    ++progress;
    if (progress == 1) {
      model.TogglePause();
      EXPECT_EQ(view.shown.pauseButton, "Resume");
      paused.set_value();
      EXPECT_TRUE(threads.WaitUntilBlocked(batch.pauseEvent));
      EXPECT_EQ(http.reads, 1);
      model.TogglePause();
    } else if (progress == 3) {
      model.Cancel();
      cancelled.set_value();
    }
  };
  EXPECT_EQ(RunDownloads(batch, services, &dialog), DownloadAborted);
  EXPECT_EQ(batch.control.load(), ABORT_FLAG);
  EXPECT_EQ(Statuses(), (std::vector<DownloadStatus>{F}));
  EXPECT_EQ(log, (std::vector<std::string>{"close 4"}));
  EXPECT_EQ(view.shown.pauseButton, "Pause");
  EXPECT_EQ(view.shown.currentPosition, 3 * 8192);
  EXPECT_EQ(http.reads, 3);
  EXPECT_EQ(files.files["C:\\dl\\big.exe"].size(), 3u * 8192);
  EXPECT_EQ(threads.open(), 0);
  EXPECT_EQ(http.openHandles(), 0);
}

// No session: the dialog ends with 1 after the worker has ended.
TEST_F(DialogRunTest, NoSession) {
  Add("good.exe", 20000, 20000);
  http.sessionFails = true;
  EXPECT_EQ(RunDownloads(batch, services, &dialog), DownloadNotStarted);
  EXPECT_EQ(Statuses(), (std::vector<DownloadStatus>{P}));
  EXPECT_EQ(threads.open(), 0);
}

}  // namespace
}  // namespace korvelt
