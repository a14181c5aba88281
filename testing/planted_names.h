// What a test puts where a file is about to be created, to show that the
// creation never opens, follows or replaces what it must not; and a guard
// for calls that could block on a FIFO. For the native tests only.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

namespace korvelt::testing {

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// What may already bear the name of a file about to be created.
enum class Existing { Nothing, PlainFile, LinkToFileOutside, DanglingLink, Fifo, Folder };

inline const char* Describe(Existing existing) {
  switch (existing) {
    case Existing::Nothing: return "nothing";
    case Existing::PlainFile: return "a plain file";
    case Existing::LinkToFileOutside: return "a link to a file outside";
    case Existing::DanglingLink: return "a dangling link";
    case Existing::Fifo: return "a FIFO";
    case Existing::Folder: return "a folder";
  }
  return "";
}

// Puts `existing` at `path`; a link points at `outside`.
inline void Plant(Existing existing, const std::filesystem::path& path, const std::filesystem::path& outside) {
  switch (existing) {
    case Existing::Nothing: break;
    case Existing::PlainFile: WriteAll(path, "old contents"); break;
    case Existing::LinkToFileOutside:
      WriteAll(outside, "precious");
      std::filesystem::create_symlink(outside, path);
      break;
    case Existing::DanglingLink: std::filesystem::create_symlink(outside, path); break;
    case Existing::Fifo: ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); break;
    case Existing::Folder: std::filesystem::create_directory(path); break;
  }
}

// Checks that what was planted is there as it was, and that nothing was
// written through it.
inline void ExpectUntouched(Existing existing, const std::filesystem::path& path,
                            const std::filesystem::path& outside) {
  namespace fs = std::filesystem;
  fs::file_status status = fs::symlink_status(path);
  switch (existing) {
    case Existing::Nothing: EXPECT_FALSE(fs::exists(status)); break;
    case Existing::PlainFile: EXPECT_EQ(ReadAll(path), "old contents"); break;
    case Existing::LinkToFileOutside:
      EXPECT_TRUE(fs::is_symlink(status));
      EXPECT_EQ(ReadAll(outside), "precious");
      break;
    case Existing::DanglingLink:
      EXPECT_TRUE(fs::is_symlink(status));
      EXPECT_FALSE(fs::exists(fs::symlink_status(outside))) << "created through the link";
      break;
    case Existing::Fifo: EXPECT_TRUE(fs::is_fifo(status)); break;
    case Existing::Folder: EXPECT_TRUE(fs::is_directory(status)); break;
  }
}

// Runs `call` on a thread of its own. Should it still run after a while,
// an open of the FIFO at `fifo` is taken to wait for its other end: the
// FIFO is opened at both ends here and closed again, which lets an open of
// either end return and gives a reader its end of file, until the call
// ends; the test fails instead of hanging the suite, and a call that no
// release ends aborts it. What `call` writes into the FIFO must fit its
// buffer.
template <typename Call>
auto WithoutBlocking(const std::filesystem::path& fifo, Call call) -> decltype(call()) {
  auto running = std::async(std::launch::async, call);
  if (running.wait_for(std::chrono::seconds(5)) == std::future_status::ready) return running.get();
  ADD_FAILURE() << "blocked on " << fifo;
  for (int release = 0; release < 100; ++release) {
    int ends = open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    bool ended = running.wait_for(std::chrono::milliseconds(200)) == std::future_status::ready;
    if (ends >= 0) close(ends);
    if (ended) return running.get();
  }
  std::fprintf(stderr, "still blocked on %s\n", fifo.c_str());
  std::abort();
}

}  // namespace korvelt::testing
