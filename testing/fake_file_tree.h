// An in-memory tree of folders and files, with version resources, for unit
// tests of the file search. Every listing it starts must be ended exactly
// once: ending one twice, or leaving one open when the fake goes away,
// fails the running test. Paths are matched without regard to case.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/chars.h"
#include "platform/file_finder.h"
#include "platform/version_info.h"

namespace korvelt::testing {

class FakeFileTree final : public FileFinder, public VersionReader {
 public:
  ~FakeFileTree();

  FindId FindFirst(const char* pattern, FoundEntry* entry) override;
  bool FindNext(FindId find, FoundEntry* entry) override;
  void Close(FindId find) override;
  uint32_t ReadFileVersion(const char* path, uint32_t* mostSignificant, uint32_t* leastSignificant) override;

  // Makes a folder (and the folders above it). Entries list in the order
  // they were made.
  void AddFolder(const std::string& path);
  // Makes a file without a version resource.
  void AddFile(const std::string& path);
  // Makes a file whose fixed file version has these halves.
  void AddVersionedFile(const std::string& path, uint32_t mostSignificant, uint32_t leastSignificant);

  // The folder that a pattern without a backslash is looked for in.
  std::string currentFolder = "C:\\Work";
  // The code page of the paths: a trail byte is never taken for a separator.
  LeadByteTest isLead = NoLeadBytes;

  // What was asked for, in order.
  std::vector<std::string> patterns;
  std::vector<std::string> versionsRead;
  int openFinds() const { return static_cast<int>(finds_.size()); }

 private:
  struct Node {
    std::string path;
    bool isFolder;
    bool hasVersion;
    uint32_t mostSignificant;
    uint32_t leastSignificant;
  };
  const Node* Find(const std::string& path) const;
  size_t LastSeparator(const std::string& path) const;
  bool IsChildOf(const std::string& path, const std::string& folder) const;
  void Add(const Node& node);

  std::vector<Node> nodes_;
  std::map<FindId, std::vector<std::string>> finds_;  // the names still to list
  std::set<FindId> closed_;
  FindId next_ = 1;
};

}  // namespace korvelt::testing
