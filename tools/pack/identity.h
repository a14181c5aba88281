// The product's identity in a setup's bootstrapper: its version resource
// (the names and versions Windows shows in the file's properties, and the
// ProductName the bootstrapper takes its window titles from) and its icon.
#pragma once

#include <stdint.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "tools/pack/pe_image.h"

namespace korvelt::pack {

using FourPartVersion = std::array<uint16_t, 4>;

// What `create` was asked to write; what is not given keeps the stub's.
struct Identity {
  std::optional<std::u16string> productName;
  std::optional<std::u16string> company;
  std::optional<FourPartVersion> version;
  std::optional<std::u16string> description;
  std::optional<std::u16string> copyright;
  std::string iconPath;

  bool Any() const { return productName || company || version || description || copyright || !iconPath.empty(); }
};

// "A.B.C.D", four decimal parts of 0 to 65535 each, and nothing else.
std::optional<FourPartVersion> ParseFourPartVersion(const std::string& text);
std::string FormatVersion(const FourPartVersion& version);

// UTF-8 to UTF-16; nothing for text that is not UTF-8 (overlong forms,
// surrogates and code points past U+10FFFF included).
std::optional<std::u16string> Utf8ToUtf16(const std::string& text);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& text);

struct IconImage {
  unsigned char width = 0;  // 0 means 256
  unsigned char height = 0;
  unsigned char colorCount = 0;
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  Bytes data;  // a PNG file or a DIB, as the .ico holds it
};

// The images of a .ico file; throws PackError naming `what` unless the
// header, the count and every entry's place in the file are sound and
// every image starts as a PNG or a bitmap does.
std::vector<IconImage> ParseIcon(const Bytes& file, const std::string& what);

// The version block "040904b0" and the fixed part of a version resource.
struct VersionBlock {
  std::array<uint32_t, 13> fixed{};  // VS_FIXEDFILEINFO, signature first
  std::vector<std::pair<std::u16string, std::u16string>> strings;

  const std::u16string* Find(const std::u16string& key) const;
  void Set(const std::u16string& key, const std::u16string& value);
};

// Throws PackError when the resource is corrupt.
VersionBlock ParseVersionResource(const Bytes& data);
Bytes BuildVersionResource(const VersionBlock& block);

// The stub's image with `identity` written into its resources: the version
// resource rebuilt (OriginalFilename = `setupName`) and, given an icon,
// icon group 128 holding the icon's images. The CheckSum is left 0 for the
// whole setup's sum. Throws PackError.
Bytes ApplyIdentity(const Bytes& stub, const std::string& stubPath, const Identity& identity,
                    const std::string& setupName);

struct ShownIdentity {
  std::string productName, company, version, description, copyright, originalFilename;
  std::vector<std::string> iconSizes;  // "32x32", one per image of group 128
};

// What `list` shows of the image's identity; throws PackError.
ShownIdentity ReadIdentity(const Bytes& image, const std::string& what);

}  // namespace korvelt::pack
