// A profile (INI) reader of our own, for the programs that cannot use the
// system's (the native build and the packer): it reads a file the way the
// system's GetPrivateProfileStringA does.
//
// - Lines end at "\n"; where no "\n" follows, at "\r". Blanks (and the DOS
//   end-of-file mark, Ctrl-Z) around a line are ignored.
// - "[" opens a section header; the name runs to the last "]" of the line,
//   as written. A "[" line without "]" is read as a key line.
// - A key line is a name, "=", and a value, both trimmed of blanks. A line
//   without "=" names a key that has no value: it reads as missing.
// - Names match without regard to case (ASCII letters). Only the first
//   section of a name is searched, and in it the first key of a name.
// - A value enclosed in one pair of equal quotes (" or ') loses them.
// - A file that opens with a UTF-8 mark has it skipped; one with a UTF-16
//   mark is read with every character beyond ASCII as "?".
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform/files.h"
#include "platform/profile.h"

namespace korvelt {

// Looks `key` up in `section` of the profile text `text` of `length`
// bytes, with the contract of ProfileReader::ReadString.
uint32_t ReadProfileText(const unsigned char* text, size_t length, const char* section, const char* key,
                         const char* fallback, char* buffer, uint32_t size);

// ReadProfileText over the file at `path`, read anew on every call as the
// system's reader does; a missing or unreadable file has no keys.
uint32_t ReadProfileFile(FileSystem& files, const char* path, const char* section, const char* key,
                         const char* fallback, char* buffer, uint32_t size);

// A ProfileReader over the files of a FileSystem. Defined here whole, so
// that code built with type information can use it although the core is
// built without.
class FileProfileReader final : public ProfileReader {
 public:
  explicit FileProfileReader(FileSystem& files) : files_(files) {}
  uint32_t ReadString(const char* path, const char* section, const char* key, const char* fallback, char* buffer,
                      uint32_t size) override {
    return ReadProfileFile(files_, path, section, key, fallback, buffer, size);
  }

 private:
  FileSystem& files_;
};

// The largest profile file FileProfileReader reads; a larger one reads as
// missing.
constexpr uint64_t kMaxProfileFileSize = 16u << 20;

}  // namespace korvelt
