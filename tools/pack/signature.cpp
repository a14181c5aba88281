#include "tools/pack/signature.h"

#include <filesystem>
#include <fstream>

#include "base/little_endian.h"
#include "tools/pack/pack_error.h"
#include "tools/pack/pe_image.h"

namespace korvelt::pack {
namespace {

namespace fs = std::filesystem;

// Offsets as drawn in the header's diagram.
constexpr uint64_t kOptionalHeaderSizeAt = 4 + 16;  // from the PE signature
constexpr uint64_t kOptionalHeaderAt = 24;          // from the PE signature
constexpr uint16_t kMagicPe32 = 0x10b;
constexpr uint16_t kMagicPe32Plus = 0x20b;
constexpr uint64_t kDirectoryCountAtPe32 = 92;  // from the optional header
constexpr uint64_t kDirectoryCountAtPe32Plus = 108;
constexpr uint64_t kDirectoriesAtPe32 = 96;
constexpr uint64_t kDirectoriesAtPe32Plus = 112;
constexpr uint64_t kDirectorySize = 8;
constexpr uint32_t kSecurityDirectory = 4;
constexpr uint64_t kCertificateHeadSize = 8;  // length, revision, type

Signature Broken(uint64_t offset, uint64_t size, const std::string& problem) {
  Signature signature;
  signature.state = Signature::State::Broken;
  signature.offset = offset;
  signature.size = size;
  signature.problem = problem;
  return signature;
}

// Where the security entry lies in the file, or false for no PE image or
// one whose headers the file cuts short. `headersEnd` is set to where the
// optional header ends; `present` says whether the directories reach the
// security entry at all.
bool FindSecurityEntry(std::istream& in, uint64_t fileSize, uint64_t* entryAt, uint64_t* headersEnd, bool* present) {
  unsigned char bytes[4];
  uint64_t peAt = 0;
  if (!FindPeSignature(in, fileSize, &peAt)) return false;
  if (!ReadAt(in, fileSize, peAt + kOptionalHeaderSizeAt, bytes, 2)) return false;
  uint64_t optionalSize = LoadLe16(bytes);
  uint64_t optionalAt = peAt + kOptionalHeaderAt;
  if (!ReadAt(in, fileSize, optionalAt, bytes, 2)) return false;
  uint32_t magic = LoadLe16(bytes);
  if (magic != kMagicPe32 && magic != kMagicPe32Plus) return false;
  bool wide = magic == kMagicPe32Plus;
  uint64_t countAt = wide ? kDirectoryCountAtPe32Plus : kDirectoryCountAtPe32;
  uint64_t directoriesAt = wide ? kDirectoriesAtPe32Plus : kDirectoriesAtPe32;
  // The header's stated size must hold what is read from it.
  if (optionalSize < directoriesAt || !ReadAt(in, fileSize, optionalAt + countAt, bytes, 4)) return false;
  uint64_t count = LoadLe32(bytes);
  if (optionalSize < directoriesAt + count * kDirectorySize) return false;
  *headersEnd = optionalAt + optionalSize;
  *present = count > kSecurityDirectory;
  *entryAt = optionalAt + directoriesAt + kSecurityDirectory * kDirectorySize;
  return true;
}

}  // namespace

Signature ReadSignature(std::istream& in, uint64_t fileSize) {
  uint64_t entryAt = 0, headersEnd = 0;
  bool present = false;
  Signature signature;
  if (!FindSecurityEntry(in, fileSize, &entryAt, &headersEnd, &present)) return signature;
  signature.state = Signature::State::Unsigned;
  if (!present) return signature;
  unsigned char entry[kDirectorySize];
  if (!ReadAt(in, fileSize, entryAt, entry, kDirectorySize)) return Signature();
  // Both are 32-bit, so their sum cannot wrap in 64 bits.
  uint64_t offset = LoadLe32(entry);
  uint64_t size = LoadLe32(entry + 4);
  if (offset == 0 && size == 0) return signature;
  if (offset < headersEnd) return Broken(offset, size, "its table would lie inside the headers");
  if (offset > fileSize || size > fileSize - offset) return Broken(offset, size, "its table would pass the end of the file");
  if (size < kCertificateHeadSize) return Broken(offset, size, "its table is too small to hold a certificate");
  unsigned char head[kCertificateHeadSize];
  if (!ReadAt(in, fileSize, offset, head, kCertificateHeadSize)) return Broken(offset, size, "its table cannot be read");
  uint64_t length = LoadLe32(head);
  if (length < kCertificateHeadSize || length > size) {
    return Broken(offset, size, "its first certificate's length does not fit its table");
  }
  signature.state = Signature::State::Signed;
  signature.offset = offset;
  signature.size = size;
  return signature;
}

Signature FileSignature(const std::string& path) {
  // Only a plain file has a size, so nothing that could wait is opened.
  std::error_code error;
  uint64_t fileSize = fs::file_size(path, error);
  if (error) return Signature();
  std::ifstream in(path, std::ios::binary);
  if (!in) return Signature();
  return ReadSignature(in, fileSize);
}

void CheckSignatureBehindPayload(Signature* signature, uint64_t payloadStart, uint64_t payloadEnd) {
  if (signature->state != Signature::State::Signed || signature->offset >= payloadEnd) return;
  signature->state = Signature::State::Broken;
  signature->problem = signature->offset + signature->size <= payloadStart
                           ? "it lies in front of the payload: the setup was packed after signing"
                           : "it overlaps the payload";
}

std::string DescribeSignature(const Signature& signature) {
  switch (signature.state) {
    case Signature::State::Signed:
      return "yes (" + std::to_string(signature.size) + " bytes at offset " + std::to_string(signature.offset) + ")";
    case Signature::State::Broken:
      return "broken (" + std::to_string(signature.size) + " bytes at offset " + std::to_string(signature.offset) +
             ": " + signature.problem + ")";
    case Signature::State::NoExecutable:
    case Signature::State::Unsigned: break;
  }
  return "none";
}

void CheckStubUnsigned(const std::string& stubPath) {
  Signature signature = FileSignature(stubPath);
  if (signature.state == Signature::State::Signed || signature.state == Signature::State::Broken) {
    throw PackError(stubPath + " is signed, and appending the payload to a signed image breaks its signature: "
                    "pack an unsigned bootstrapper, then sign the setup");
  }
}

}  // namespace korvelt::pack
