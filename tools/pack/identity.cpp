#include "tools/pack/identity.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "base/little_endian.h"
#include "tools/pack/bytes.h"
#include "tools/pack/pack_error.h"
#include "tools/pack/pe_resources.h"

namespace korvelt::pack {
namespace {

// The version resource: nodes of
//   wLength, wValueLength, wType (16 bits each), the key (UTF-16, NUL),
//   padding to 4, the value, padding to 4, the children
// wValueLength counts bytes for binary values (wType 0) and UTF-16
// characters, the NUL included, for texts (wType 1).
constexpr uint64_t kNodeHeaderSize = 6;
constexpr int kMaxNodeDepth = 4;
constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr size_t kFixedSize = 13 * 4;
enum FixedField : size_t {
  kSignature = 0, kStructureVersion = 1, kFileVersionHigh = 2, kFileVersionLow = 3, kProductVersionHigh = 4,
  kProductVersionLow = 5, kFileFlagsMask = 6, kFileOs = 8, kFileType = 9,
};
const char16_t kStringBlock[] = u"040904b0";
constexpr uint16_t kEnglishUs = 0x0409;
constexpr uint16_t kUnicodeCodePage = 1200;
// The icon group the bootstrapper's windows take their icon from.
constexpr uint16_t kIconGroup = 128;
constexpr uint16_t kVersionName = 1;
// A .ico file: a 6-byte header (reserved, type 1, count), then 16 bytes an
// image: width, height, colours, reserved (a byte each), planes, bit count
// (16 bits each), size and offset of the image (32 bits each). An icon
// group resource is the same header with 14-byte entries that end in the
// image's RT_ICON id instead of its offset.
constexpr uint64_t kIconHeaderSize = 6;
constexpr uint64_t kIconEntrySize = 16;
constexpr uint64_t kGroupEntrySize = 14;
constexpr uint32_t kBitmapHeaderSize = 40;
constexpr uint64_t kLargestIcon = uint64_t{64} << 20;
const unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

uint64_t Align4(uint64_t value) { return (value + 3) & ~uint64_t{3}; }

bool SameNoCase(const std::u16string& a, const std::u16string& b) {
  auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) {
           return lower(x) == lower(y);
         });
}

struct VersionNode {
  std::u16string key;
  uint16_t type = 0;
  Bytes value;
  std::vector<VersionNode> children;
};

[[noreturn]] void Corrupt(const std::string& why) { throw PackError("the version resource is corrupt: " + why); }

VersionNode ReadNode(const Bytes& data, uint64_t offset, uint64_t limit, int depth) {
  if (depth > kMaxNodeDepth) Corrupt("it nests too deep");
  if (offset + kNodeHeaderSize > limit) Corrupt("a node is cut short");
  uint16_t length = LoadLe16(data.data() + offset);
  if (length < kNodeHeaderSize || length > limit - offset) Corrupt("a node's length passes its parent");
  uint64_t end = offset + length;
  VersionNode node;
  uint16_t valueLength = LoadLe16(data.data() + offset + 2);
  node.type = LoadLe16(data.data() + offset + 4);
  uint64_t at = offset + kNodeHeaderSize;
  for (;; at += 2) {
    if (at + 2 > end) Corrupt("a key has no end");
    char16_t c = static_cast<char16_t>(LoadLe16(data.data() + at));
    if (c == 0) break;
    node.key.push_back(c);
  }
  uint64_t value = Align4(at + 2);
  uint64_t valueBytes = node.type == 1 ? uint64_t{valueLength} * 2 : valueLength;
  // Writers disagree on whether a text's count holds its NUL; what lies
  // inside the node is taken.
  if (value > end) value = end;
  if (valueBytes > end - value) {
    if (node.type != 1) Corrupt("a value passes its node");
    valueBytes = end - value;
  }
  node.value.assign(data.begin() + value, data.begin() + value + valueBytes);
  for (uint64_t child = Align4(value + valueBytes); child + kNodeHeaderSize <= end;) {
    node.children.push_back(ReadNode(data, child, end, depth + 1));
    child = Align4(child + LoadLe16(data.data() + child));
  }
  return node;
}

std::u16string Text(const Bytes& value) {
  std::u16string text;
  for (uint64_t i = 0; i + 1 < value.size(); i += 2) {
    char16_t c = static_cast<char16_t>(LoadLe16(value.data() + i));
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

void WriteNode(Bytes& out, const std::u16string& key, uint16_t type, const Bytes& value, uint16_t valueLength,
               const std::function<void(Bytes&)>& children = nullptr) {
  uint64_t start = out.size();
  AppendLe16(out, 0);
  AppendLe16(out, valueLength);
  AppendLe16(out, type);
  for (char16_t c : key) AppendLe16(out, c);
  AppendLe16(out, 0);
  out.resize(Align4(out.size()), 0);
  out.insert(out.end(), value.begin(), value.end());
  if (children) children(out);
  uint64_t length = out.size() - start;
  if (length > 0xffff) throw PackError("the version information is too long (the texts together pass 32 KiB)");
  StoreLe16(out.data() + start, static_cast<uint16_t>(length));
}

// Each child starts at a multiple of four.
void Pad(Bytes& out) { out.resize(Align4(out.size()), 0); }

std::u16string Ascii(const char* text) { return std::u16string(text, text + std::char_traits<char>::length(text)); }

Bytes ReadFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) throw PackError("cannot read " + path + ": not a plain file");
  uint64_t size = std::filesystem::file_size(path, error);
  // An icon is small; a huge file is no icon and is not read whole.
  if (error || size > kLargestIcon) throw PackError("cannot read " + path + ": no file, or too large for an icon");
  Bytes bytes(static_cast<size_t>(size));
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!in || static_cast<uint64_t>(in.gcount()) != size) throw PackError("cannot read " + path);
  return bytes;
}

// The RT_ICON ids an icon group's data name; throws when they pass its end.
std::vector<uint16_t> GroupImageIds(const Bytes& group) {
  if (group.size() < kIconHeaderSize) throw PackError("icon group 128 is corrupt: cut short");
  uint16_t count = LoadLe16(group.data() + 4);
  if (kIconHeaderSize + count * kGroupEntrySize > group.size()) throw PackError("icon group 128 is corrupt: cut short");
  std::vector<uint16_t> ids;
  for (uint16_t i = 0; i < count; ++i) {
    ids.push_back(LoadLe16(group.data() + kIconHeaderSize + i * kGroupEntrySize + 12));
  }
  return ids;
}

Resource* FindResource(std::vector<Resource>& resources, uint16_t type, uint16_t name) {
  for (Resource& resource : resources) {
    if (resource.type.Is(type) && resource.name.Is(name)) return &resource;
  }
  return nullptr;
}

void EraseResources(std::vector<Resource>& resources, const std::function<bool(const Resource&)>& test) {
  resources.erase(std::remove_if(resources.begin(), resources.end(), test), resources.end());
}

void ReplaceIcon(std::vector<Resource>& resources, const std::vector<IconImage>& images) {
  ResourceName language = ResourceName::Number(kEnglishUs);
  std::set<uint16_t> dropped;
  std::set<uint16_t> kept;
  for (const Resource& resource : resources) {
    if (!resource.type.Is(kGroupIconResource)) continue;
    bool ours = resource.name.Is(kIconGroup);
    if (ours) language = resource.language;
    for (uint16_t id : GroupImageIds(resource.data)) (ours ? dropped : kept).insert(id);
  }
  // Images another group shows as well stay for it.
  EraseResources(resources, [&](const Resource& resource) {
    return (resource.type.Is(kGroupIconResource) && resource.name.Is(kIconGroup)) ||
           (resource.type.Is(kIconResource) && !resource.name.named && dropped.count(resource.name.id) &&
            !kept.count(resource.name.id));
  });
  std::set<uint16_t> used;
  for (const Resource& resource : resources) {
    if (resource.type.Is(kIconResource) && !resource.name.named) used.insert(resource.name.id);
  }
  Resource group{ResourceName::Number(kGroupIconResource), ResourceName::Number(kIconGroup), language, 0, {}};
  AppendLe16(group.data, 0);
  AppendLe16(group.data, 1);
  AppendLe16(group.data, static_cast<uint16_t>(images.size()));
  uint32_t id = 1;
  for (const IconImage& image : images) {
    while (used.count(static_cast<uint16_t>(id)) && id <= 0xffff) ++id;
    if (id > 0xffff) throw PackError("no free icon ids are left for the icon's images");
    used.insert(static_cast<uint16_t>(id));
    resources.push_back({ResourceName::Number(kIconResource), ResourceName::Number(static_cast<uint16_t>(id)),
                         language, 0, image.data});
    group.data.insert(group.data.end(), {image.width, image.height, image.colorCount, 0});
    AppendLe16(group.data, image.planes);
    AppendLe16(group.data, image.bitCount);
    AppendLe32(group.data, static_cast<uint32_t>(image.data.size()));
    AppendLe16(group.data, static_cast<uint16_t>(id));
  }
  resources.push_back(std::move(group));
}

std::vector<Resource> ResourcesOf(const PeImage& image, const std::string& what) {
  try {
    return ParseResources(image.ResourceBytes(), image.sections()[image.ResourceSection()].virtualAddress);
  } catch (const PackError& error) {
    // The image's own refusals name it already.
    std::string text = error.what();
    throw PackError(text.rfind(what, 0) == 0 ? text : what + ": " + text);
  }
}

}  // namespace

std::optional<FourPartVersion> ParseFourPartVersion(const std::string& text) {
  FourPartVersion version{};
  size_t at = 0;
  for (size_t part = 0; part < 4; ++part) {
    if (part > 0) {
      if (at >= text.size() || text[at] != '.') return std::nullopt;
      ++at;
    }
    size_t start = at;
    uint32_t value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 6) {
      value = value * 10 + static_cast<uint32_t>(text[at++] - '0');
    }
    if (at == start || value > 0xffff || (at < text.size() && text[at] >= '0' && text[at] <= '9')) {
      return std::nullopt;
    }
    version[part] = static_cast<uint16_t>(value);
  }
  if (at != text.size()) return std::nullopt;
  return version;
}

std::string FormatVersion(const FourPartVersion& version) {
  return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]) + "." +
         std::to_string(version[3]);
}

std::optional<std::u16string> Utf8ToUtf16(const std::string& text) {
  std::u16string result;
  for (size_t i = 0; i < text.size();) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    int extra = lead < 0x80 ? 0 : (lead & 0xe0) == 0xc0 ? 1 : (lead & 0xf0) == 0xe0 ? 2 : (lead & 0xf8) == 0xf0 ? 3 : -1;
    if (extra < 0 || extra >= static_cast<int>(text.size() - i)) return std::nullopt;
    uint32_t code = extra == 0 ? lead : lead & (0x3f >> extra);
    for (int k = 1; k <= extra; ++k) {
      unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xc0) != 0x80) return std::nullopt;
      code = code << 6 | (next & 0x3f);
    }
    static const uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[extra] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return std::nullopt;
    if (code >= 0x10000) {
      result.push_back(static_cast<char16_t>(0xd800 + ((code - 0x10000) >> 10)));
      result.push_back(static_cast<char16_t>(0xdc00 + ((code - 0x10000) & 0x3ff)));
    } else {
      result.push_back(static_cast<char16_t>(code));
    }
    i += static_cast<size_t>(extra) + 1;
  }
  return result;
}

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string result;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t code = text[i];
    if (code >= 0xd800 && code <= 0xdbff && i + 1 < text.size() && text[i + 1] >= 0xdc00 && text[i + 1] <= 0xdfff) {
      code = 0x10000 + ((code - 0xd800) << 10) + (text[++i] - 0xdc00);
    } else if (code >= 0xd800 && code <= 0xdfff) {
      code = 0xfffd;
    }
    if (code < 0x80) {
      result += static_cast<char>(code);
    } else if (code < 0x800) {
      result += static_cast<char>(0xc0 | code >> 6);
      result += static_cast<char>(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
      result += static_cast<char>(0xe0 | code >> 12);
      result += static_cast<char>(0x80 | (code >> 6 & 0x3f));
      result += static_cast<char>(0x80 | (code & 0x3f));
    } else {
      result += static_cast<char>(0xf0 | code >> 18);
      result += static_cast<char>(0x80 | (code >> 12 & 0x3f));
      result += static_cast<char>(0x80 | (code >> 6 & 0x3f));
      result += static_cast<char>(0x80 | (code & 0x3f));
    }
  }
  return result;
}

std::vector<IconImage> ParseIcon(const Bytes& file, const std::string& what) {
  auto refuse = [&](const std::string& why) -> void { throw PackError(what + ": not a usable .ico file: " + why); };
  if (file.size() < kIconHeaderSize) refuse("cut short");
  if (LoadLe16(file.data()) != 0 || LoadLe16(file.data() + 2) != 1) refuse("no icon header");
  uint16_t count = LoadLe16(file.data() + 4);
  if (count == 0) refuse("it holds no image");
  uint64_t directoryEnd = kIconHeaderSize + count * kIconEntrySize;
  if (directoryEnd > file.size()) refuse("its " + std::to_string(count) + " entries pass the end of the file");
  std::vector<IconImage> images;
  for (uint16_t i = 0; i < count; ++i) {
    uint64_t entry = kIconHeaderSize + i * kIconEntrySize;
    uint64_t size = LoadLe32(file.data() + entry + 8);
    uint64_t offset = LoadLe32(file.data() + entry + 12);
    std::string which = "image " + std::to_string(i + 1);
    if (size == 0) refuse(which + " is empty");
    if (offset < directoryEnd || offset > file.size() || size > file.size() - offset) {
      refuse(which + " lies outside the file");
    }
    bool png = size >= sizeof kPngSignature && std::equal(kPngSignature, kPngSignature + sizeof kPngSignature,
                                                          file.begin() + offset);
    bool bitmap = size >= kBitmapHeaderSize && LoadLe32(file.data() + offset) == kBitmapHeaderSize;
    if (!png && !bitmap) refuse(which + " is neither a PNG image nor a bitmap");
    IconImage image;
    image.width = file[entry];
    image.height = file[entry + 1];
    image.colorCount = file[entry + 2];
    image.planes = LoadLe16(file.data() + entry + 4);
    image.bitCount = LoadLe16(file.data() + entry + 6);
    image.data.assign(file.begin() + offset, file.begin() + offset + size);
    images.push_back(std::move(image));
  }
  return images;
}

const std::u16string* VersionBlock::Find(const std::u16string& key) const {
  for (const auto& [name, value] : strings) {
    if (name == key) return &value;
  }
  return nullptr;
}

void VersionBlock::Set(const std::u16string& key, const std::u16string& value) {
  for (auto& [name, old] : strings) {
    if (name == key) {
      old = value;
      return;
    }
  }
  strings.emplace_back(key, value);
}

VersionBlock ParseVersionResource(const Bytes& data) {
  VersionNode root = ReadNode(data, 0, data.size(), 0);
  if (root.key != u"VS_VERSION_INFO") Corrupt("it does not start with VS_VERSION_INFO");
  if (root.value.size() < kFixedSize || LoadLe32(root.value.data()) != kFixedSignature) Corrupt("its fixed part is wrong");
  VersionBlock block;
  for (size_t i = 0; i < block.fixed.size(); ++i) block.fixed[i] = LoadLe32(root.value.data() + i * 4);
  // The English block, or else the first there is.
  const VersionNode* table = nullptr;
  for (const VersionNode& child : root.children) {
    if (child.key != u"StringFileInfo") continue;
    for (const VersionNode& candidate : child.children) {
      if (!table || SameNoCase(candidate.key, kStringBlock)) table = &candidate;
      if (SameNoCase(candidate.key, kStringBlock)) break;
    }
  }
  if (table) {
    for (const VersionNode& string : table->children) block.strings.emplace_back(string.key, Text(string.value));
  }
  return block;
}

Bytes BuildVersionResource(const VersionBlock& block) {
  Bytes fixed;
  for (uint32_t field : block.fixed) AppendLe32(fixed, field);
  Bytes out;
  WriteNode(out, u"VS_VERSION_INFO", 0, fixed, static_cast<uint16_t>(kFixedSize), [&](Bytes& out) {
    Pad(out);
    WriteNode(out, u"StringFileInfo", 1, {}, 0, [&](Bytes& out) {
      Pad(out);
      WriteNode(out, kStringBlock, 1, {}, 0, [&](Bytes& out) {
        for (const auto& [key, text] : block.strings) {
          Pad(out);
          Bytes value;
          for (char16_t c : text) AppendLe16(value, c);
          AppendLe16(value, 0);
          if (text.size() + 1 > 0xffff) throw PackError("a version text is too long");
          WriteNode(out, key, 1, value, static_cast<uint16_t>(text.size() + 1));
        }
      });
    });
    Pad(out);
    WriteNode(out, u"VarFileInfo", 1, {}, 0, [&](Bytes& out) {
      Pad(out);
      Bytes translation;
      AppendLe16(translation, kEnglishUs);
      AppendLe16(translation, kUnicodeCodePage);
      WriteNode(out, u"Translation", 0, translation, 4);
    });
  });
  return out;
}

Bytes ApplyIdentity(const Bytes& stub, const std::string& stubPath, const Identity& identity,
                    const std::string& setupName) {
  std::vector<IconImage> images;
  if (!identity.iconPath.empty()) images = ParseIcon(ReadFile(identity.iconPath), identity.iconPath);
  PeImage image(stub, stubPath);
  std::vector<Resource> resources = ResourcesOf(image, stubPath);

  // A stub without a version resource gets one in English.
  Resource version{ResourceName::Number(kVersionResource), ResourceName::Number(kVersionName),
                   ResourceName::Number(kEnglishUs), 0, {}};
  VersionBlock block;
  block.fixed[kSignature] = kFixedSignature;
  block.fixed[kStructureVersion] = 0x00010000;
  block.fixed[kFileFlagsMask] = 0x3f;
  block.fixed[kFileOs] = 0x00040004;  // VOS_NT_WINDOWS32
  block.fixed[kFileType] = 1;         // VFT_APP
  if (const Resource* old = FindResource(resources, kVersionResource, kVersionName)) {
    version.language = old->language;
    version.codePage = old->codePage;
    try {
      block = ParseVersionResource(old->data);
    } catch (const PackError& error) {
      throw PackError(stubPath + ": " + error.what());
    }
  }
  EraseResources(resources, [](const Resource& resource) {
    return resource.type.Is(kVersionResource) && resource.name.Is(kVersionName);
  });
  if (identity.productName) {
    block.Set(u"ProductName", *identity.productName);
    if (!identity.description) block.Set(u"FileDescription", *identity.productName + u" Setup");
  }
  if (identity.company) block.Set(u"CompanyName", *identity.company);
  if (identity.description) block.Set(u"FileDescription", *identity.description);
  if (identity.copyright) block.Set(u"LegalCopyright", *identity.copyright);
  if (identity.version) {
    const FourPartVersion& v = *identity.version;
    block.fixed[kFileVersionHigh] = block.fixed[kProductVersionHigh] = uint32_t{v[0]} << 16 | v[1];
    block.fixed[kFileVersionLow] = block.fixed[kProductVersionLow] = uint32_t{v[2]} << 16 | v[3];
    std::u16string text = Ascii(FormatVersion(v).c_str());
    block.Set(u"FileVersion", text);
    block.Set(u"ProductVersion", text);
  }
  std::optional<std::u16string> fileName = Utf8ToUtf16(setupName);
  if (!fileName) throw PackError("the setup's file name is not valid UTF-8");
  block.Set(u"OriginalFilename", *fileName);
  size_t dot = fileName->rfind(u'.');
  block.Set(u"InternalName", fileName->substr(0, dot == 0 ? fileName->size() : dot));
  version.data = BuildVersionResource(block);
  resources.push_back(std::move(version));

  if (!images.empty()) ReplaceIcon(resources, images);
  return image.WithResources(BuildResources(resources, image.sections()[image.ResourceSection()].virtualAddress));
}

ShownIdentity ReadIdentity(const Bytes& bytes, const std::string& what) {
  PeImage image(bytes, what);
  std::vector<Resource> resources = ResourcesOf(image, what);
  ShownIdentity shown;
  if (Resource* version = FindResource(resources, kVersionResource, kVersionName)) {
    VersionBlock block = ParseVersionResource(version->data);
    auto text = [&](const char* key) {
      const std::u16string* value = block.Find(Ascii(key));
      return value ? Utf16ToUtf8(*value) : std::string();
    };
    shown.productName = text("ProductName");
    shown.company = text("CompanyName");
    shown.description = text("FileDescription");
    shown.copyright = text("LegalCopyright");
    shown.originalFilename = text("OriginalFilename");
    shown.version = FormatVersion({static_cast<uint16_t>(block.fixed[kFileVersionHigh] >> 16),
                                   static_cast<uint16_t>(block.fixed[kFileVersionHigh]),
                                   static_cast<uint16_t>(block.fixed[kFileVersionLow] >> 16),
                                   static_cast<uint16_t>(block.fixed[kFileVersionLow])});
  }
  if (Resource* group = FindResource(resources, kGroupIconResource, kIconGroup)) {
    GroupImageIds(group->data);
    for (uint16_t i = 0; i < LoadLe16(group->data.data() + 4); ++i) {
      uint64_t entry = kIconHeaderSize + i * kGroupEntrySize;
      auto side = [](unsigned char value) { return std::to_string(value == 0 ? 256 : value); };
      shown.iconSizes.push_back(side(group->data[entry]) + "x" + side(group->data[entry + 1]));
    }
  }
  return shown;
}

}  // namespace korvelt::pack
