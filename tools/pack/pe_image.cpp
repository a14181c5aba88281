#include "tools/pack/pe_image.h"

#include <algorithm>
#include <fstream>

#include "base/little_endian.h"
#include "tools/pack/pack_error.h"

namespace korvelt::pack {
namespace {

constexpr uint64_t kNewHeaderPointerOffset = 0x3C;  // e_lfanew
constexpr uint64_t kSignatureSize = 4;              // "PE\0\0"
constexpr uint32_t kPeSignature = 0x4550;           // the same, as a little-endian word
// The file header, from its start.
constexpr uint64_t kNumberOfSectionsOffset = 2;
constexpr uint64_t kPointerToSymbolTableOffset = 8;
constexpr uint64_t kSizeOfOptionalHeaderOffset = 16;
constexpr uint64_t kFileHeaderSize = 20;
// The optional header, from its start.
constexpr uint16_t kMagic32 = 0x10b;
constexpr uint16_t kMagic64 = 0x20b;
constexpr uint64_t kSizeOfHeadersOffset = 60;
constexpr uint64_t kNumberOfRvaAndSizesOffset32 = 92;
constexpr uint64_t kNumberOfRvaAndSizesOffset64 = 108;
constexpr uint32_t kMaxDirectories = 16;
constexpr uint64_t kDirectorySize = 8;
// A section header, from its start.
constexpr uint64_t kSectionHeaderSize = 40;
constexpr uint64_t kVirtualSizeOffset = 8;
constexpr uint64_t kVirtualAddressOffset = 12;
constexpr uint64_t kSizeOfRawDataOffset = 16;
constexpr uint64_t kPointerToRawDataOffset = 20;
constexpr uint64_t kCharacteristicsOffset = 36;
constexpr uint32_t kInitializedData = 0x00000040;
constexpr uint32_t kDiscardable = 0x02000000;
// A debug directory entry: where its data lie in memory and in the file.
constexpr uint64_t kDebugEntrySize = 28;
constexpr uint64_t kDebugAddressOfRawDataOffset = 20;
constexpr uint64_t kDebugPointerToRawDataOffset = 24;
// A base relocation block starts with the RVA of its page and its size.
constexpr uint64_t kRelocationBlockHeaderSize = 8;

constexpr uint64_t kFourGiB = uint64_t{1} << 32;

bool PowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

uint64_t AlignUp(uint64_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

}  // namespace

bool ReadAt(std::istream& in, uint64_t fileSize, uint64_t offset, unsigned char* into, uint64_t size) {
  if (offset > fileSize || size > fileSize - offset) return false;
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(reinterpret_cast<char*>(into), static_cast<std::streamsize>(size));
  return in && static_cast<uint64_t>(in.gcount()) == size;
}

bool FindPeSignature(std::istream& in, uint64_t fileSize, uint64_t* at) {
  unsigned char bytes[4];
  if (!ReadAt(in, fileSize, 0, bytes, 2) || bytes[0] != 'M' || bytes[1] != 'Z') return false;
  if (!ReadAt(in, fileSize, kNewHeaderPointerOffset, bytes, 4)) return false;
  uint64_t signature = LoadLe32(bytes);
  if (!ReadAt(in, fileSize, signature, bytes, kSignatureSize) || LoadLe32(bytes) != kPeSignature) return false;
  *at = signature;
  return true;
}

uint16_t PeImage::Field16(uint64_t offset) const {
  if (offset > bytes_.size() || bytes_.size() - offset < 2) Refuse("its headers are cut short");
  return LoadLe16(bytes_.data() + offset);
}

uint32_t PeImage::Field32(uint64_t offset) const {
  if (offset > bytes_.size() || bytes_.size() - offset < 4) Refuse("its headers are cut short");
  return LoadLe32(bytes_.data() + offset);
}

void PeImage::Refuse(const std::string& why) const { throw PackError(what_ + ": " + why); }

PeImage::PeImage(Bytes bytes, std::string what) : bytes_(std::move(bytes)), what_(std::move(what)) {
  if (bytes_.size() < 2 || bytes_[0] != 'M' || bytes_[1] != 'Z') Refuse("not a Windows executable (no MZ header)");
  uint64_t signature = Field32(kNewHeaderPointerOffset);
  if (Field32(signature) != kPeSignature) Refuse("not a Windows executable (no PE signature)");
  fileHeader_ = signature + kSignatureSize;
  optionalHeader_ = fileHeader_ + kFileHeaderSize;
  uint16_t optionalSize = Field16(fileHeader_ + kSizeOfOptionalHeaderOffset);
  uint16_t magic = Field16(optionalHeader_);
  if (magic != kMagic32 && magic != kMagic64) Refuse("not a PE32 or PE32+ image");
  is64_ = magic == kMagic64;
  uint64_t countOffset = is64_ ? kNumberOfRvaAndSizesOffset64 : kNumberOfRvaAndSizesOffset32;
  uint32_t directoryCount = Field32(optionalHeader_ + countOffset);
  directoryTable_ = optionalHeader_ + countOffset + 4;
  if (directoryCount > kMaxDirectories ||
      countOffset + 4 + uint64_t{directoryCount} * kDirectorySize > optionalSize) {
    Refuse("its data directories do not fit its optional header");
  }
  for (uint32_t i = 0; i < directoryCount; ++i) {
    directories_.push_back({Field32(directoryTable_ + i * kDirectorySize), Field32(directoryTable_ + i * kDirectorySize + 4)});
  }
  uint32_t fileAlignment = FileAlignment();
  uint32_t sectionAlignment = SectionAlignment();
  if (!PowerOfTwo(fileAlignment) || !PowerOfTwo(sectionAlignment) || sectionAlignment < fileAlignment) {
    Refuse("its section or file alignment is not a power of two");
  }
  sectionTable_ = optionalHeader_ + optionalSize;
  uint16_t count = Field16(fileHeader_ + kNumberOfSectionsOffset);
  uint64_t tableEnd = sectionTable_ + count * kSectionHeaderSize;
  if (count == 0 || tableEnd > bytes_.size() || tableEnd > Field32(optionalHeader_ + kSizeOfHeadersOffset)) {
    Refuse("its section table lies outside its headers");
  }
  for (uint16_t i = 0; i < count; ++i) {
    uint64_t header = sectionTable_ + i * kSectionHeaderSize;
    PeSection section;
    const char* name = reinterpret_cast<const char*>(&bytes_[header]);
    section.name.assign(name, std::find(name, name + 8, '\0'));
    section.virtualSize = Field32(header + kVirtualSizeOffset);
    section.virtualAddress = Field32(header + kVirtualAddressOffset);
    section.rawSize = Field32(header + kSizeOfRawDataOffset);
    section.rawOffset = Field32(header + kPointerToRawDataOffset);
    section.characteristics = Field32(header + kCharacteristicsOffset);
    if (section.rawSize != 0 && uint64_t{section.rawOffset} + section.rawSize > bytes_.size()) {
      Refuse("section '" + section.name + "' lies outside the file");
    }
    if (uint64_t{section.virtualAddress} + std::max(section.virtualSize, section.rawSize) > SizeOfImage()) {
      Refuse("section '" + section.name + "' lies outside SizeOfImage");
    }
    sections_.push_back(section);
  }
}

size_t PeImage::ResourceSection() const {
  if (directories_.size() <= kResourceDirectory || directories_[kResourceDirectory].size == 0) {
    Refuse("it has no resources");
  }
  for (size_t i = 0; i < sections_.size(); ++i) {
    if (sections_[i].virtualAddress == directories_[kResourceDirectory].address && sections_[i].rawSize != 0) return i;
  }
  Refuse("its resources do not start a section of their own");
}

Bytes PeImage::ResourceBytes() const {
  const PeSection& section = sections_[ResourceSection()];
  uint32_t size = section.virtualSize != 0 ? std::min(section.virtualSize, section.rawSize) : section.rawSize;
  return Bytes(bytes_.begin() + section.rawOffset, bytes_.begin() + section.rawOffset + size);
}

// Everything behind the resources moves; nothing that stays may refer into it.
void PeImage::CheckMovable(size_t resource) const {
  const PeSection& rsrc = sections_[resource];
  // The sum skips the CheckSum field as a whole double word.
  if (CheckSumOffset() % 4 != 0) Refuse("its headers are not aligned to four bytes");
  if (directories_.size() > kCertificateDirectory && directories_[kCertificateDirectory].size != 0) {
    Refuse("it is signed already; sign the setup after packing");
  }
  if (Field32(fileHeader_ + kPointerToSymbolTableOffset) != 0) Refuse("it holds a symbol table behind its sections");
  uint64_t end = 0;
  for (size_t i = 0; i < sections_.size(); ++i) {
    const PeSection& section = sections_[i];
    end = std::max<uint64_t>(end, uint64_t{section.rawOffset} + section.rawSize);
    if (i < resource) {
      bool before = uint64_t{section.virtualAddress} + section.virtualSize <= rsrc.virtualAddress &&
                    (section.rawSize == 0 || uint64_t{section.rawOffset} + section.rawSize <= rsrc.rawOffset);
      if (!before) Refuse("section '" + section.name + "' lies behind the resources in the section table only");
    } else if (i > resource) {
      const PeSection& previous = sections_[i - 1];
      if (!(section.characteristics & kDiscardable)) {
        Refuse("section '" + section.name + "' behind the resources is not discardable, so it cannot be moved");
      }
      if (section.virtualAddress < uint64_t{previous.virtualAddress} + previous.virtualSize ||
          (section.rawSize != 0 && section.rawOffset < uint64_t{previous.rawOffset} + previous.rawSize)) {
        Refuse("section '" + section.name + "' is out of order");
      }
    }
  }
  if (end != bytes_.size()) Refuse("it has data behind its last section");
  for (size_t i = 0; i < directories_.size(); ++i) {
    const PeDirectory& directory = directories_[i];
    if (directory.size == 0 || i == kResourceDirectory || i == kCertificateDirectory) continue;
    uint64_t directoryEnd = uint64_t{directory.address} + directory.size;
    bool below = directoryEnd <= rsrc.virtualAddress;
    bool inMoved = directory.address >= uint64_t{rsrc.virtualAddress} + rsrc.virtualSize;
    if (i == kBaseRelocationDirectory ? !(below || inMoved) : !below) {
      Refuse("data directory " + std::to_string(i) + " refers into what the resources' new size moves");
    }
  }
  if (directories_.size() > kDebugDirectory && directories_[kDebugDirectory].size != 0) {
    const PeDirectory& debug = directories_[kDebugDirectory];
    uint64_t at = 0;
    for (const PeSection& section : sections_) {
      if (debug.address >= section.virtualAddress && debug.address - section.virtualAddress < section.rawSize) {
        at = uint64_t{section.rawOffset} + (debug.address - section.virtualAddress);
      }
    }
    if (at == 0) Refuse("its debug directory lies outside its sections");
    for (uint64_t entry = 0; entry + kDebugEntrySize <= debug.size; entry += kDebugEntrySize) {
      if (Field32(at + entry + kDebugAddressOfRawDataOffset) >= rsrc.virtualAddress ||
          Field32(at + entry + kDebugPointerToRawDataOffset) >= rsrc.rawOffset) {
        Refuse("its debug data lie behind the resources");
      }
    }
  }
  // A relocation applied inside what moves would land on other bytes.
  if (directories_.size() > kBaseRelocationDirectory && directories_[kBaseRelocationDirectory].size != 0) {
    const PeDirectory& relocations = directories_[kBaseRelocationDirectory];
    uint64_t at = 0;
    for (const PeSection& section : sections_) {
      if (relocations.address >= section.virtualAddress &&
          uint64_t{relocations.address} + relocations.size <= uint64_t{section.virtualAddress} + section.rawSize) {
        at = uint64_t{section.rawOffset} + (relocations.address - section.virtualAddress);
      }
    }
    if (at == 0) Refuse("its base relocations lie outside its sections' file data");
    uint64_t offset = 0;
    while (offset + kRelocationBlockHeaderSize <= relocations.size) {
      uint32_t page = Field32(at + offset);
      uint32_t blockSize = Field32(at + offset + 4);
      if (blockSize < kRelocationBlockHeaderSize || blockSize > relocations.size - offset) {
        Refuse("its base relocations are corrupt");
      }
      if (page >= rsrc.virtualAddress) Refuse("it relocates bytes behind the resources");
      offset += blockSize;
    }
  }
}

Bytes PeImage::WithResources(const Bytes& resources) const {
  size_t resource = ResourceSection();
  CheckMovable(resource);
  const PeSection& rsrc = sections_[resource];
  uint32_t fileAlignment = FileAlignment();
  uint32_t sectionAlignment = SectionAlignment();

  Bytes image(bytes_.begin(), bytes_.begin() + rsrc.rawOffset);
  image.insert(image.end(), resources.begin(), resources.end());
  image.resize(AlignUp(image.size(), fileAlignment), 0);
  std::vector<PeSection> moved(sections_.begin() + resource, sections_.end());
  int64_t initializedChange = int64_t{static_cast<uint32_t>(image.size() - rsrc.rawOffset)} - rsrc.rawSize;
  moved[0].virtualSize = static_cast<uint32_t>(resources.size());
  moved[0].rawSize = static_cast<uint32_t>(image.size() - rsrc.rawOffset);
  uint32_t relocationShift = 0;
  for (size_t i = 1; i < moved.size(); ++i) {
    const PeSection& previous = moved[i - 1];
    const PeSection& old = sections_[resource + i];
    uint64_t address = AlignUp(uint64_t{previous.virtualAddress} + std::max(previous.virtualSize, previous.rawSize),
                               sectionAlignment);
    if (address >= kFourGiB || image.size() >= kFourGiB) Refuse("the rebuilt image would pass 4 GiB");
    uint32_t shift = static_cast<uint32_t>(address) - old.virtualAddress;
    const PeDirectory& relocations = directories_.size() > kBaseRelocationDirectory
                                         ? directories_[kBaseRelocationDirectory] : PeDirectory();
    if (relocations.size != 0 && relocations.address >= old.virtualAddress &&
        relocations.address - old.virtualAddress < std::max(old.virtualSize, old.rawSize)) {
      relocationShift = shift;
    }
    moved[i].virtualAddress = static_cast<uint32_t>(address);
    if (old.rawSize != 0) {
      moved[i].rawOffset = static_cast<uint32_t>(image.size());
      image.insert(image.end(), bytes_.begin() + old.rawOffset, bytes_.begin() + old.rawOffset + old.rawSize);
      image.resize(AlignUp(image.size(), fileAlignment), 0);
    }
  }
  const PeSection& last = moved.back();
  uint64_t imageSize = AlignUp(uint64_t{last.virtualAddress} + std::max(last.virtualSize, last.rawSize), sectionAlignment);
  if (imageSize >= kFourGiB || image.size() >= kFourGiB) Refuse("the rebuilt image would pass 4 GiB");

  for (size_t i = 0; i < moved.size(); ++i) {
    uint64_t header = sectionTable_ + (resource + i) * kSectionHeaderSize;
    StoreLe32(image.data() + header + kVirtualSizeOffset, moved[i].virtualSize);
    StoreLe32(image.data() + header + kVirtualAddressOffset, moved[i].virtualAddress);
    StoreLe32(image.data() + header + kSizeOfRawDataOffset, moved[i].rawSize);
    StoreLe32(image.data() + header + kPointerToRawDataOffset, moved[i].rawOffset);
  }
  StoreLe32(image.data() + directoryTable_ + kResourceDirectory * kDirectorySize + 4,
            static_cast<uint32_t>(resources.size()));
  if (relocationShift != 0) {
    StoreLe32(image.data() + directoryTable_ + kBaseRelocationDirectory * kDirectorySize,
              directories_[kBaseRelocationDirectory].address + relocationShift);
  }
  StoreLe32(image.data() + optionalHeader_ + kSizeOfImageOffset, static_cast<uint32_t>(imageSize));
  if (rsrc.characteristics & kInitializedData) {
    int64_t initialized = int64_t{SizeOfInitializedData()} + initializedChange;
    if (initialized < 0 || initialized >= static_cast<int64_t>(kFourGiB)) Refuse("its SizeOfInitializedData is wrong");
    StoreLe32(image.data() + optionalHeader_ + kSizeOfInitializedDataOffset, static_cast<uint32_t>(initialized));
  }
  StoreLe32(image.data() + optionalHeader_ + kCheckSumOffset, 0);
  return image;
}

uint32_t PeCheckSum(std::istream& in, uint64_t size, uint64_t checkSumOffset) {
  std::vector<char> buffer(1 << 20);
  uint64_t sum = 0;
  uint64_t at = 0;
  while (at < size) {
    // Pieces of even length keep every word whole but the file's last.
    size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), size - at));
    in.read(buffer.data(), static_cast<std::streamsize>(want));
    if (static_cast<size_t>(in.gcount()) != want) throw PackError("cannot read the setup back to sum it");
    for (size_t i = 0; i < want; i += 2) {
      uint64_t offset = at + i;
      if (offset >= checkSumOffset && offset < checkSumOffset + 4) continue;
      uint32_t word = static_cast<unsigned char>(buffer[i]);
      if (i + 1 < want) word |= static_cast<uint32_t>(static_cast<unsigned char>(buffer[i + 1])) << 8;
      sum += word;
      sum = (sum & 0xffff) + (sum >> 16);
    }
    at += want;
  }
  return static_cast<uint32_t>(sum + size);
}

void WritePeCheckSum(const std::string& path, uint64_t checkSumOffset) {
  std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
  if (!file) throw PackError("cannot open " + path + " to sum it");
  file.seekg(0, std::ios::end);
  uint64_t size = static_cast<uint64_t>(file.tellg());
  file.seekg(0);
  uint32_t sum = PeCheckSum(file, size, checkSumOffset);
  unsigned char bytes[4];
  StoreLe32(bytes, sum);
  file.seekp(static_cast<std::streamoff>(checkSumOffset));
  file.write(reinterpret_cast<const char*>(bytes), 4);
  file.close();
  if (!file) throw PackError("cannot write " + path + ": disk full?");
}

}  // namespace korvelt::pack
