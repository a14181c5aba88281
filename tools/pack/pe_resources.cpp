#include "tools/pack/pe_resources.h"

#include <map>
#include <set>

#include "base/little_endian.h"
#include "tools/pack/pack_error.h"

namespace korvelt::pack {
namespace {

constexpr uint64_t kDirectoryHeaderSize = 16;
constexpr uint64_t kNamedCountOffset = 12;
constexpr uint64_t kNumberedCountOffset = 14;
constexpr uint64_t kEntrySize = 8;
constexpr uint64_t kDataEntrySize = 16;
constexpr uint32_t kHighBit = 0x80000000;
constexpr int kLevels = 3;
// Data are placed at multiples of this, as linkers do.
constexpr uint64_t kDataAlignment = 8;

class TreeReader {
 public:
  TreeReader(const Bytes& section, uint32_t rva) : section_(section), rva_(rva) {}

  void Directory(uint64_t offset, int level, Resource& path, std::vector<Resource>& into) {
    if (!directories_.insert(offset).second) Fail("a directory is reached twice");
    uint64_t count = uint64_t{Field16(offset + kNamedCountOffset)} + Field16(offset + kNumberedCountOffset);
    if (count * kEntrySize > section_.size()) Fail("a directory counts more entries than fit");
    for (uint64_t i = 0; i < count; ++i) {
      uint64_t entry = offset + kDirectoryHeaderSize + i * kEntrySize;
      uint32_t name = Field32(entry);
      uint32_t target = Field32(entry + 4);
      ResourceName& key = level == 0 ? path.type : level == 1 ? path.name : path.language;
      key = (name & kHighBit) ? Name(name & ~kHighBit) : ResourceName::Number(Id(name));
      bool subdirectory = target & kHighBit;
      if (subdirectory != (level + 1 < kLevels)) Fail("the tree is not three levels deep");
      if (subdirectory) Directory(target & ~kHighBit, level + 1, path, into);
      else into.push_back(Data(target, path));
    }
  }

 private:
  [[noreturn]] void Fail(const std::string& why) { throw PackError("the resources are corrupt: " + why); }

  // The field of 16 or 32 bits at `offset`, which must lie inside the section.
  uint16_t Field16(uint64_t offset) {
    if (offset > section_.size() || section_.size() - offset < 2) Fail("an offset passes the section's end");
    return LoadLe16(section_.data() + offset);
  }
  uint32_t Field32(uint64_t offset) {
    if (offset > section_.size() || section_.size() - offset < 4) Fail("an offset passes the section's end");
    return LoadLe32(section_.data() + offset);
  }

  uint16_t Id(uint32_t value) {
    if (value > 0xffff) Fail("a number passes 16 bits");
    return static_cast<uint16_t>(value);
  }

  ResourceName Name(uint64_t offset) {
    ResourceName name;
    name.named = true;
    uint16_t length = Field16(offset);
    for (uint16_t i = 0; i < length; ++i) name.text.push_back(static_cast<char16_t>(Field16(offset + 2 + 2 * uint64_t{i})));
    return name;
  }

  Resource Data(uint64_t offset, const Resource& path) {
    if (!dataEntries_.insert(offset).second) Fail("a data entry is reached twice");
    uint32_t address = Field32(offset);
    uint32_t size = Field32(offset + 4);
    if (address < rva_ || address - rva_ > section_.size() || size > section_.size() - (address - rva_)) {
      Fail("data lie outside the section");
    }
    // Data shared between entries could otherwise multiply a small file.
    total_ += size;
    if (total_ > section_.size()) Fail("the data together pass the section's size");
    Resource resource{path.type, path.name, path.language, Field32(offset + 8), {}};
    resource.data.assign(section_.begin() + (address - rva_), section_.begin() + (address - rva_) + size);
    return resource;
  }

  const Bytes& section_;
  uint32_t rva_;
  std::set<uint64_t> directories_;
  std::set<uint64_t> dataEntries_;
  uint64_t total_ = 0;
};

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

// Windows looks names up ignoring case, and looks at names before numbers.
struct NameOrder {
  bool operator()(const ResourceName& a, const ResourceName& b) const {
    if (a.named != b.named) return a.named;
    if (!a.named) return a.id < b.id;
    return std::lexicographical_compare(a.text.begin(), a.text.end(), b.text.begin(), b.text.end(),
                                        [](char16_t x, char16_t y) { return Upper(x) < Upper(y); });
  }
};

using Languages = std::map<ResourceName, const Resource*, NameOrder>;
using Names = std::map<ResourceName, Languages, NameOrder>;
using Types = std::map<ResourceName, Names, NameOrder>;

class TreeWriter {
 public:
  TreeWriter(const Types& types, uint32_t rva) : types_(types), rva_(rva) {}

  Bytes Write() {
    Layout();
    bytes_.assign(size_, 0);
    uint64_t typeDirectory = DirectoryEnd(0, types_.size());
    uint64_t nameDirectory = typeDirectory;
    for (const auto& [type, names] : types_) nameDirectory += kDirectoryHeaderSize + names.size() * kEntrySize;
    size_t leaf = 0;
    uint64_t typeEntry = WriteHeader(0, types_);
    for (const auto& [type, names] : types_) {
      typeEntry = WriteEntry(typeEntry, type, typeDirectory | kHighBit);
      uint64_t nameEntry = WriteHeader(typeDirectory, names);
      typeDirectory += kDirectoryHeaderSize + names.size() * kEntrySize;
      for (const auto& [name, languages] : names) {
        nameEntry = WriteEntry(nameEntry, name, nameDirectory | kHighBit);
        uint64_t languageEntry = WriteHeader(nameDirectory, languages);
        nameDirectory += kDirectoryHeaderSize + languages.size() * kEntrySize;
        for (const auto& [language, resource] : languages) {
          languageEntry = WriteEntry(languageEntry, language, dataEntries_[leaf]);
          StoreLe32(bytes_.data() + dataEntries_[leaf], static_cast<uint32_t>(rva_ + data_[leaf]));
          StoreLe32(bytes_.data() + dataEntries_[leaf] + 4, static_cast<uint32_t>(resource->data.size()));
          StoreLe32(bytes_.data() + dataEntries_[leaf] + 8, resource->codePage);
          std::copy(resource->data.begin(), resource->data.end(), bytes_.begin() + data_[leaf]);
          ++leaf;
        }
      }
    }
    return bytes_;
  }

 private:
  static uint64_t DirectoryEnd(uint64_t at, size_t count) { return at + kDirectoryHeaderSize + count * kEntrySize; }

  // Directories first, level by level, then the data entries, the names
  // and the data.
  void Layout() {
    uint64_t at = DirectoryEnd(0, types_.size());
    for (const auto& [type, names] : types_) at = DirectoryEnd(at, names.size());
    for (const auto& [type, names] : types_) {
      for (const auto& [name, languages] : names) at = DirectoryEnd(at, languages.size());
    }
    for (const auto& [type, names] : types_) {
      for (const auto& [name, languages] : names) {
        for (size_t i = 0; i < languages.size(); ++i, at += kDataEntrySize) dataEntries_.push_back(at);
      }
    }
    auto place = [&](const ResourceName& key) {
      if (key.named && !strings_.count(key.text)) {
        strings_[key.text] = at;
        at += 2 + 2 * uint64_t{key.text.size()};
      }
    };
    for (const auto& [type, names] : types_) {
      place(type);
      for (const auto& [name, languages] : names) {
        place(name);
        for (const auto& [language, resource] : languages) place(language);
      }
    }
    for (const auto& [type, names] : types_) {
      for (const auto& [name, languages] : names) {
        for (const auto& [language, resource] : languages) {
          at = (at + kDataAlignment - 1) / kDataAlignment * kDataAlignment;
          data_.push_back(at);
          at += resource->data.size();
        }
      }
    }
    // Offsets keep their high bit for a flag, and the data's RVAs must fit.
    if (at >= kHighBit || at > 0xffffffffu - rva_) throw PackError("the resources would pass 2 GiB");
    size_ = at;
  }

  template <typename Map>
  uint64_t WriteHeader(uint64_t at, const Map& entries) {
    uint16_t named = 0;
    for (const auto& entry : entries) named += entry.first.named;
    StoreLe16(bytes_.data() + at + kNamedCountOffset, named);
    StoreLe16(bytes_.data() + at + kNumberedCountOffset, static_cast<uint16_t>(entries.size() - named));
    return at + kDirectoryHeaderSize;
  }

  uint64_t WriteEntry(uint64_t at, const ResourceName& key, uint64_t target) {
    if (key.named) {
      uint64_t text = strings_.at(key.text);
      StoreLe16(bytes_.data() + text, static_cast<uint16_t>(key.text.size()));
      for (size_t i = 0; i < key.text.size(); ++i) StoreLe16(bytes_.data() + text + 2 + 2 * i, key.text[i]);
      StoreLe32(bytes_.data() + at, static_cast<uint32_t>(text) | kHighBit);
    } else {
      StoreLe32(bytes_.data() + at, key.id);
    }
    StoreLe32(bytes_.data() + at + 4, static_cast<uint32_t>(target));
    return at + kEntrySize;
  }

  const Types& types_;
  uint32_t rva_;
  std::vector<uint64_t> dataEntries_;
  std::vector<uint64_t> data_;
  std::map<std::u16string, uint64_t> strings_;
  uint64_t size_ = 0;
  Bytes bytes_;
};

}  // namespace

std::vector<Resource> ParseResources(const Bytes& section, uint32_t sectionRva) {
  std::vector<Resource> resources;
  Resource path;
  TreeReader(section, sectionRva).Directory(0, 0, path, resources);
  return resources;
}

Bytes BuildResources(const std::vector<Resource>& resources, uint32_t sectionRva) {
  Types types;
  for (const Resource& resource : resources) {
    // A name longer than its 16-bit count could say cannot be written.
    for (const ResourceName* key : {&resource.type, &resource.name, &resource.language}) {
      if (key->text.size() > 0xffff) throw PackError("a resource name is too long");
    }
    if (!types[resource.type][resource.name].emplace(resource.language, &resource).second) {
      throw PackError("two resources of the same type, name and language");
    }
  }
  // A count of entries must fit its 16 bits.
  for (const auto& [type, names] : types) {
    for (const auto& [name, languages] : names) {
      if (names.size() > 0xffff || languages.size() > 0xffff) throw PackError("too many resources");
    }
  }
  if (types.size() > 0xffff) throw PackError("too many resource types");
  return TreeWriter(types, sectionRva).Write();
}

}  // namespace korvelt::pack
