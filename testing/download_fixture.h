// What the tests of the fetch and of the worker share: a body of known
// bytes, the worker's messages by name, and a fixture with fake services.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "download/fetch.h"
#include "testing/fake_clock.h"
#include "testing/fake_files.h"
#include "testing/fake_http.h"
#include "testing/recording_poster.h"
#include "testing/std_threads.h"

namespace korvelt::testing {

inline constexpr char kUrl[] = "http://host/files/setup.exe";
inline constexpr char kPath[] = "C:\\dl\\setup.exe";
inline constexpr WindowId kWindow = 0x4711;

// 20,000 bytes: two whole chunks and 3,616 bytes.
inline Bytes Body(size_t size = 20000) {
  Bytes body(size);
  for (size_t i = 0; i < size; ++i) body[i] = static_cast<unsigned char>(i * 7 % 251);
  return body;
}

inline Bytes Prefix(const Bytes& bytes, size_t size) { return Bytes(bytes.begin(), bytes.begin() + size); }

// A worker message's name, as the tables write it.
inline std::string MessageName(uint32_t message) {
  switch (message) {
    case DL_COMPLETE: return "DL_COMPLETE";
    case DL_FILE_START: return "DL_FILE_START";
    case DL_PROGRESS: return "DL_PROGRESS";
    case DL_FILE_DONE: return "DL_FILE_DONE";
    case DL_OPEN_FAILED: return "DL_OPEN_FAILED";
    case DL_SAVE_FAILED: return "DL_SAVE_FAILED";
    case DL_READ_FAILED: return "DL_READ_FAILED";
    case DL_ABORTED: return "DL_ABORTED";
    case DL_NOT_SERVED: return "DL_NOT_SERVED";
    case DL_WRONG_SIZE: return "DL_WRONG_SIZE";
    case DL_ALL_DONE: return "DL_ALL_DONE";
    case DL_SIZE_REJECTED: return "DL_SIZE_REJECTED";
    case DL_WRONG_CONTENT: return "DL_WRONG_CONTENT";
  }
  return std::to_string(message);
}

// Messages by name without their window, speeds left out: "DL_PROGRESS:8192".
inline std::vector<std::string> Messages(const std::vector<PostedMessage>& posted) {
  std::vector<std::string> texts;
  for (const PostedMessage& message : posted) {
    texts.push_back(MessageName(message.message) + ":" + std::to_string(message.wParam));
  }
  return texts;
}

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override { files.folders = {"C:", "C:\\dl"}; }

  // DownloadFile for kUrl into kPath, on this thread, with the gate open.
  uint32_t Fetch(int32_t exactSize) {
    ScopedHttp session(http, http.OpenSession(0));
    ScopedEvent gate(threads, threads.CreateManualEvent(true));
    return DownloadFile(services, session.Get(), kUrl, exactSize, kPath, kWindow, control, gate.Get(), report);
  }

  testing::FakeHttpService http;
  testing::FakeFileSystem files;
  testing::FakeClock clock;
  testing::RecordingPoster poster;
  testing::StdThreadService threads;
  DownloadServices services{http, files, clock, poster, threads, NoLeadBytes};
  std::atomic<uint32_t> control{0};
  DownloadReport report;  // of the last Fetch
};

}  // namespace korvelt::testing
