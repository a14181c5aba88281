// A profile reader for unit tests that passes every call on to another
// reader and writes down what was asked, in order.
#pragma once

#include <string>
#include <vector>

#include "platform/profile.h"

namespace korvelt::testing {

class RecordingProfileReader final : public ProfileReader {
 public:
  explicit RecordingProfileReader(ProfileReader& inner) : inner_(inner) {}
  uint32_t ReadString(const char* path, const char* section, const char* key, const char* fallback, char* buffer,
                      uint32_t size) override {
    asked.push_back(std::string(section) + "/" + key);
    sizes.push_back(size);
    return inner_.ReadString(path, section, key, fallback, buffer, size);
  }

  std::vector<std::string> asked;  // "section/key"
  std::vector<uint32_t> sizes;

 private:
  ProfileReader& inner_;
};

}  // namespace korvelt::testing
