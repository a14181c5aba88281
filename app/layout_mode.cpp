#include "app/layout_mode.h"

#include "app/exit_code.h"
#include "base/buffer.h"
#include "base/file_name.h"

namespace korvelt {
namespace {

// The bytes read at a time, in copies and comparisons.
constexpr uint32_t kChunk = 32768;

// Reads until `size` bytes came or the file ended; false when a read fails.
bool ReadFully(FileSystem& files, FileId file, unsigned char* into, uint32_t size, uint32_t* done) {
  *done = 0;
  while (*done < size) {
    uint32_t got = 0;
    if (!files.Read(file, into + *done, size - *done, &got)) return false;
    if (got == 0) break;
    *done += got;
  }
  return true;
}

// True when the two open files hold the same bytes.
bool SameContent(FileSystem& files, FileId a, FileId b, HeapBuffer& buffer) {
  uint64_t sizeA = 0;
  uint64_t sizeB = 0;
  if (!files.Size(a, &sizeA) || !files.Size(b, &sizeB) || sizeA != sizeB) return false;
  unsigned char* left = buffer.Bytes();
  unsigned char* right = left + kChunk;
  for (;;) {
    uint32_t gotA = 0;
    uint32_t gotB = 0;
    if (!ReadFully(files, a, left, kChunk, &gotA) || !ReadFully(files, b, right, kChunk, &gotB)) {
      return false;
    }
    if (gotA != gotB) return false;
    for (uint32_t i = 0; i < gotA; ++i) {
      if (left[i] != right[i]) return false;
    }
    if (gotA < kChunk) return true;
  }
}

bool CopyContent(FileSystem& files, FileId from, FileId to, HeapBuffer& buffer) {
  for (;;) {
    uint32_t got = 0;
    if (!files.Read(from, buffer.Bytes(), kChunk, &got)) return false;
    if (got == 0) return files.Flush(to);
    uint32_t written = 0;
    if (!files.Write(to, buffer.Bytes(), got, &written) || written != got) return false;
  }
}

// Shows the texts one after another in one box, unless the run is quiet.
void Tell(RunHost& host, bool quiet, const char* runTitle, const char* first, const char* second,
          const char* third, const char* fourth = "") {
  if (quiet) return;
  String message;
  if (message.Assign(first) && message.Append(second) && message.Append(third) && message.Append(fourth)) {
    host.ShowLayoutFailure(runTitle, message.c_str());
  }
}

}  // namespace

bool CreateFolderPath(RunHost& host, const char* folder, LeadByteTest isLead) {
  String level;
  // Each backslash behind the first character ends one level; the levels
  // that exist already, and names such as "C:" that are no folder, fail
  // harmlessly, and only the whole path decides.
  for (const char* at = folder; *at != '\0'; at = NextChar(at, isLead)) {
    if (*at != '\\' || at == folder) continue;
    if (!level.Assign(folder, static_cast<size_t>(at - folder))) return false;
    if (NextChar(at, isLead)[0] == '\0') return host.MakeFolder(level.c_str());
    host.MakeFolder(level.c_str());
  }
  return host.MakeFolder(folder);
}

SetupCopy CopySetup(FileSystem& files, const char* from, const char* to) {
  HeapBuffer buffer(2 * kChunk);
  if (!buffer.Valid()) return SetupCopy::Failed;
  ScopedFile source(files, files.OpenForReading(from));
  if (!source.Valid()) return SetupCopy::Failed;
  {
    ScopedFile existing(files, files.OpenForReading(to));
    if (existing.Valid() && SameContent(files, source.Get(), existing.Get(), buffer)) return SetupCopy::AlreadyThere;
  }
  if (!files.SeekFromStart(source.Get(), 0)) return SetupCopy::Failed;
  ScopedFile target(files, files.CreateForWriting(to));
  if (!target.Valid()) return SetupCopy::Failed;
  if (CopyContent(files, source.Get(), target.Get(), buffer)) return SetupCopy::Copied;
  // A part of the setup would look like a setup and fail as a broken one.
  target.Reset();
  files.Delete(to);
  return SetupCopy::Failed;
}

int RunLayoutMode(RunServices& services, PayloadArchive& archive, const char* runTitle, const char* folder) {
  RunHost& host = services.host;
  RunLog& log = services.log;
  bool prerequisites = archive.options() & HasPrerequisites;
  bool quiet = prerequisites && services.prerequisites.IsQuiet(archive);
  // A relative folder is the current folder's; the log and the copy's
  // comparison with the setup itself see the full path.
  String layout;
  if (!host.FullPath(folder, &layout) && !layout.Assign(folder)) return ExitWriteFault;
  LogPrint(&log, "layout into %q", layout.c_str());
  if (!CreateFolderPath(host, layout.c_str(), services.isLead)) {
    LogPrint(&log, "layout: the folder cannot be made");
    Tell(host, quiet, runTitle, "The folder ", layout.c_str(), " cannot be created.");
    return ExitWriteFault;
  }

  const String& exePath = archive.exePath();
  size_t slash = FindLastCharacter(exePath.c_str(), '\\', services.isLead);
  String copy;
  if (!copy.Assign(layout) || !copy.Append(exePath.c_str() + (slash == kNoPosition ? 0 : slash + 1))) {
    return ExitWriteFault;
  }
  if (CompareFileNames(copy.c_str(), exePath.c_str(), services.isLead) == 0) {
    LogPrint(&log, "layout: the setup is in its own folder");
  } else {
    SetupCopy copied = CopySetup(services.files, exePath.c_str(), copy.c_str());
    const char* outcome = copied == SetupCopy::Copied         ? "copied"
                          : copied == SetupCopy::AlreadyThere ? "already there"
                                                              : "cannot be written";
    LogPrint(&log, "layout: setup %q %s", copy.c_str(), outcome);
    if (copied == SetupCopy::Failed) {
      Tell(host, quiet, runTitle, "The setup cannot be copied into ", layout.c_str(), ".");
      return ExitWriteFault;
    }
  }
  if (!prerequisites) return ExitSuccess;

  String missing;
  LayoutDownloads downloads =
      services.prerequisites.DownloadForLayout(archive, layout.c_str(), copy.c_str(), &missing);
  if (downloads == LayoutDownloads::Cancelled) {
    LogPrint(&log, "layout: downloads cancelled");
    return ExitUserCancelled;
  }
  if (downloads == LayoutDownloads::Incomplete) {
    LogPrint(&log, "layout: incomplete");
    Tell(host, quiet, runTitle, "The layout in ", layout.c_str(),
         " is incomplete. These prerequisites could not be downloaded:\n\n", missing.c_str());
    return ExitLayoutIncomplete;
  }
  LogPrint(&log, "layout: complete");
  return ExitSuccess;
}

}  // namespace korvelt
