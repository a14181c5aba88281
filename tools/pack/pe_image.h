// A Windows executable's headers and sections, read from untrusted bytes,
// and the one change the packer makes to them: the resource section
// replaced by new contents, with every section behind it moved along.
//
//   DOS header        "MZ", at 0x3C the offset of the PE signature
//   "PE\0\0"          then the file header (20 bytes) and the optional
//                     header (PE32 or PE32+), which ends in the data
//                     directories
//   section table     40 bytes a section
//   sections          each at a multiple of FileAlignment in the file and
//                     of SectionAlignment in memory
#pragma once

#include <stdint.h>

#include <istream>
#include <string>
#include <vector>

#include "tools/pack/bytes.h"

namespace korvelt::pack {

struct PeSection {
  std::string name;
  uint32_t virtualSize = 0;
  uint32_t virtualAddress = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
  uint32_t characteristics = 0;
};

struct PeDirectory {
  uint32_t address = 0;  // an RVA; a file offset for the certificates
  uint32_t size = 0;
};

// Indexes into the data directories.
enum PeDirectoryIndex : size_t {
  kExportDirectory = 0,
  kResourceDirectory = 2,
  kCertificateDirectory = 4,
  kBaseRelocationDirectory = 5,
  kDebugDirectory = 6,
};

class PeImage {
 public:
  // Reads the headers of `bytes`; throws PackError naming `what` when they
  // are not those of a PE32 or PE32+ image whose sections lie inside it.
  PeImage(Bytes bytes, std::string what);

  const Bytes& bytes() const { return bytes_; }
  bool Is64() const { return is64_; }
  const std::vector<PeSection>& sections() const { return sections_; }
  const std::vector<PeDirectory>& directories() const { return directories_; }
  uint32_t FileAlignment() const { return Field32(optionalHeader_ + kFileAlignmentOffset); }
  uint32_t SectionAlignment() const { return Field32(optionalHeader_ + kSectionAlignmentOffset); }
  uint32_t SizeOfImage() const { return Field32(optionalHeader_ + kSizeOfImageOffset); }
  uint32_t SizeOfInitializedData() const { return Field32(optionalHeader_ + kSizeOfInitializedDataOffset); }
  uint16_t DllCharacteristics() const { return Field16(optionalHeader_ + kDllCharacteristicsOffset); }
  uint64_t CheckSumOffset() const { return optionalHeader_ + kCheckSumOffset; }

  // The section that holds the resource directory at its start; throws
  // when there is none.
  size_t ResourceSection() const;
  // The resource section's contents (as much of it as the file holds).
  Bytes ResourceBytes() const;

  // The image with the resource section's contents replaced by `resources`
  // (laid out for the section's unchanged RVA), the sections behind it
  // moved in the file and in memory, and the headers made to agree; its
  // CheckSum is 0. Throws PackError, with one line naming the cause, for a
  // layout that cannot be rebuilt safely: a signed image, data behind the
  // resources that is not a discardable section, or a directory, symbol
  // table or relocation that refers into what moves.
  Bytes WithResources(const Bytes& resources) const;

 private:
  static constexpr uint64_t kSizeOfInitializedDataOffset = 8;
  static constexpr uint64_t kSectionAlignmentOffset = 32;
  static constexpr uint64_t kFileAlignmentOffset = 36;
  static constexpr uint64_t kSizeOfImageOffset = 56;
  static constexpr uint64_t kCheckSumOffset = 64;
  static constexpr uint64_t kDllCharacteristicsOffset = 70;

  // The field of 16 or 32 bits at `offset`; one that passes the end of the
  // bytes refuses the image.
  uint16_t Field16(uint64_t offset) const;
  uint32_t Field32(uint64_t offset) const;
  [[noreturn]] void Refuse(const std::string& why) const;
  void CheckMovable(size_t resource) const;

  Bytes bytes_;
  std::string what_;
  bool is64_ = false;
  uint64_t fileHeader_ = 0;
  uint64_t optionalHeader_ = 0;
  uint64_t directoryTable_ = 0;
  uint64_t sectionTable_ = 0;
  std::vector<PeSection> sections_;
  std::vector<PeDirectory> directories_;
};

// Executables too large to load (a setup with its payload) are read where
// they lie: `ReadAt` takes `size` bytes at `offset` of a stream of
// `fileSize` bytes, or gives false where they would pass its end.
bool ReadAt(std::istream& in, uint64_t fileSize, uint64_t offset, unsigned char* into, uint64_t size);
// Where the "PE\0\0" signature lies that the DOS header points to; false for
// a file that is no Windows executable.
bool FindPeSignature(std::istream& in, uint64_t fileSize, uint64_t* at);

// The value Windows keeps in CheckSum: the 16-bit one's-complement sum of
// the file's little-endian words, the CheckSum field itself left out, plus
// the file's length. Reads `size` bytes from `in`.
uint32_t PeCheckSum(std::istream& in, uint64_t size, uint64_t checkSumOffset);

// Writes the right CheckSum into the file at `path`.
void WritePeCheckSum(const std::string& path, uint64_t checkSumOffset);

}  // namespace korvelt::pack
