// A log sink for unit tests: the path it was opened with and every line
// written, without its line end.
#pragma once

#include <string>
#include <vector>

#include "platform/log_sink.h"

namespace korvelt::testing {

class RecordingLog final : public LogSink {
 public:
  bool Open(const char* path) override {
    opened.push_back(path);
    return opens;
  }
  void Write(const char* text, size_t length) override {
    std::string line(text, length);
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) line.resize(line.size() - 2);
    lines.push_back(line);
  }
  // The lines without their time stamps.
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const std::string& line : lines) texts.push_back(line.substr(line.find("] ") + 2));
    return texts;
  }
  // The first line (without its time stamp) that begins with `prefix`; empty when none does.
  std::string Find(const std::string& prefix) const {
    for (const std::string& text : Texts()) {
      if (text.compare(0, prefix.size(), prefix) == 0) return text;
    }
    return "";
  }

  bool opens = true;
  std::vector<std::string> opened;
  std::vector<std::string> lines;
};

}  // namespace korvelt::testing
