// Where a Windows executable keeps its Authenticode signature: the
// certificate table named by the security entry (index 4) of the data
// directories in its PE optional header.
//
//   +---------------------------+  0
//   | "MZ" ...                  |
//   |  0x3C  offset of the PE   |
//   |        signature          |
//   +---------------------------+  PE signature, "PE\0\0"
//   | file header (20 bytes)    |  +4; its size of the optional header at +16
//   +---------------------------+  +24
//   | optional header           |  magic 0x10b (PE32) or 0x20b (PE32+);
//   |                           |  directory count at 92 / 108,
//   |                           |  directories at 96 / 112, 8 bytes each:
//   |                           |  where (a file offset for this entry), size
//   +---------------------------+
//   | sections ... payload      |
//   +---------------------------+  the security entry's offset
//   | certificate table         |  each certificate: length (4 bytes, counting
//   |                           |  its 8-byte head), revision, type, data
//   +---------------------------+  end of file
//
// A signature covers every byte but its own table, the header's checksum
// and the security entry, so it must be written last: a payload appended
// to a signed image breaks it.
#pragma once

#include <stdint.h>

#include <istream>
#include <string>

namespace korvelt::pack {

struct Signature {
  enum class State {
    NoExecutable,  // no PE image, or headers the file cuts short
    Unsigned,      // the security entry is empty, or there is none
    Signed,        // a certificate table lies where the entry says
    Broken,        // the entry says what cannot be so; `problem` tells why
  };
  State state = State::NoExecutable;
  uint64_t offset = 0;  // of the certificate table, from the file's start
  uint64_t size = 0;
  std::string problem;
};

// Reads the security entry of the image in `in`, which holds `fileSize`
// bytes; every read is checked against `fileSize`. Nothing is verified
// cryptographically: Signed says only that a table of a plausible shape
// lies inside the file.
Signature ReadSignature(std::istream& in, uint64_t fileSize);

// The same for the file at `path`; NoExecutable when it cannot be read.
Signature FileSignature(const std::string& path);

// A setup's signature must lie behind its payload, which runs from
// `payloadStart` to `payloadEnd` (the end of its footer): one that starts
// earlier is made Broken, as the setup was then packed after signing, or
// something was added behind the signature.
void CheckSignatureBehindPayload(Signature* signature, uint64_t payloadStart, uint64_t payloadEnd);

// "yes (N bytes at offset X)", "none" or "broken: ...", for `list`.
std::string DescribeSignature(const Signature& signature);

// Throws PackError for a stub that carries a signature, broken or not: the
// payload appended to it would break it, so signing comes after packing.
void CheckStubUnsigned(const std::string& stubPath);

}  // namespace korvelt::pack
