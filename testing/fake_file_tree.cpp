#include "testing/fake_file_tree.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>

namespace korvelt::testing {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
  return text;
}

bool SameLetter(char a, char b) { return tolower(static_cast<unsigned char>(a)) == tolower(static_cast<unsigned char>(b)); }

// The platform's wildcards, without regard to case; "*.*" matches every
// name, with a dot or without, and so is a "*" of its own at the end. A
// mismatch goes back only to the last star, which takes one letter more:
// time grows with the product of the lengths, never with the number of
// stars (the fuzzer hands over hundreds).
bool Matches(const char* pattern, const char* name) {
  size_t length = strlen(pattern);
  const char* anyTail = length >= 3 && strcmp(pattern + length - 3, "*.*") == 0 ? pattern + length - 3 : nullptr;
  const char* star = nullptr;
  const char* starName = nullptr;
  for (;;) {
    if (pattern == anyTail) return true;
    if (*pattern == '*') {
      star = pattern++;
      starName = name;
    } else if (*name != '\0' && (*pattern == '?' || SameLetter(*pattern, *name))) {
      ++pattern;
      ++name;
    } else if (*pattern == '\0' && *name == '\0') {
      return true;
    } else if (star != nullptr && *starName != '\0') {
      pattern = star + 1;
      name = ++starName;
    } else {
      return false;
    }
  }
}

const std::string kDot = ".";
const std::string kDotDot = "..";

}  // namespace

FakeFileTree::~FakeFileTree() {
  for (const auto& [id, names] : finds_) ADD_FAILURE() << "listing left open: " << id;
}

const FakeFileTree::Node* FakeFileTree::Find(const std::string& path) const {
  for (const Node& node : nodes_) {
    if (Lower(node.path) == Lower(path)) return &node;
  }
  return nullptr;
}

size_t FakeFileTree::LastSeparator(const std::string& path) const {
  // kNoPosition and npos are the same value.
  return FindLastCharacter(path.c_str(), '\\', isLead);
}

bool FakeFileTree::IsChildOf(const std::string& path, const std::string& folder) const {
  size_t slash = LastSeparator(path);
  return slash != std::string::npos && Lower(path.substr(0, slash)) == Lower(folder);
}

void FakeFileTree::Add(const Node& node) {
  size_t slash = LastSeparator(node.path);
  if (slash != std::string::npos && slash > 2) AddFolder(node.path.substr(0, slash));
  if (!Find(node.path)) nodes_.push_back(node);
}

void FakeFileTree::AddFolder(const std::string& path) { Add(Node{path, true, false, 0, 0}); }

void FakeFileTree::AddFile(const std::string& path) { Add(Node{path, false, false, 0, 0}); }

void FakeFileTree::AddVersionedFile(const std::string& path, uint32_t mostSignificant, uint32_t leastSignificant) {
  Add(Node{path, false, true, mostSignificant, leastSignificant});
}

FindId FakeFileTree::FindFirst(const char* pattern, FoundEntry* entry) {
  patterns.push_back(pattern);
  std::string text(pattern);
  size_t slash = LastSeparator(text);
  std::string folder = slash == std::string::npos ? currentFolder : text.substr(0, slash);
  std::string name = slash == std::string::npos ? text : text.substr(slash + 1);
  if (name.empty()) return 0;
  const Node* parent = Find(folder);
  if (!parent || !parent->isFolder) return 0;

  std::vector<std::string> names;
  if (Matches(name.c_str(), ".")) names.push_back(kDot);
  if (Matches(name.c_str(), "..")) names.push_back(kDotDot);
  for (const Node& node : nodes_) {
    if (!IsChildOf(node.path, folder)) continue;
    std::string own = node.path.substr(folder.size() + 1);
    if (Matches(name.c_str(), own.c_str())) names.push_back(folder + "\\" + own);
  }
  if (names.empty()) return 0;
  FindId id = next_++;
  std::reverse(names.begin(), names.end());
  finds_[id] = names;
  FindNext(id, entry);
  return id;
}

bool FakeFileTree::FindNext(FindId find, FoundEntry* entry) {
  auto found = finds_.find(find);
  if (found == finds_.end()) {
    ADD_FAILURE() << "use of a listing that is not open: " << find;
    return false;
  }
  if (found->second.empty()) return false;
  std::string next = found->second.back();
  found->second.pop_back();
  bool dots = next == kDot || next == kDotDot;
  const Node* node = dots ? nullptr : Find(next);
  std::string own = dots ? next : next.substr(LastSeparator(next) + 1);
  snprintf(entry->name, sizeof(entry->name), "%s", own.c_str());
  entry->isFolder = dots || (node && node->isFolder);
  return true;
}

void FakeFileTree::Close(FindId find) {
  if (closed_.count(find)) {
    ADD_FAILURE() << "listing ended twice: " << find;
    return;
  }
  if (!finds_.erase(find)) {
    ADD_FAILURE() << "end of a listing that is not open: " << find;
    return;
  }
  closed_.insert(find);
}

uint32_t FakeFileTree::ReadFileVersion(const char* path, uint32_t* mostSignificant, uint32_t* leastSignificant) {
  versionsRead.push_back(path);
  std::string text(path);
  if (LastSeparator(text) == std::string::npos) text = currentFolder + "\\" + text;
  const Node* node = Find(text);
  if (!node) return 2;          // the file does not exist
  if (!node->hasVersion) return 1813;  // no version resource
  *mostSignificant = node->mostSignificant;
  *leastSignificant = node->leastSignificant;
  return 0;
}

}  // namespace korvelt::testing
