#include "payload/archive.h"

#include "base/buffer.h"
#include "base/chars.h"

namespace korvelt {
namespace {

// The name behind the last backslash of a path.
const char* FileNamePart(const String& path, LeadByteTest isLead) {
  size_t slash = FindLastCharacter(path.c_str(), '\\', isLead);
  return path.c_str() + (slash == kNoPosition ? 0 : slash + 1);
}

// The folder part of a path, up to its last backslash, which `withSlash`
// tells whether to keep.
bool SetFolderPart(String* folder, const String& path, bool withSlash, LeadByteTest isLead) {
  size_t slash = FindLastCharacter(path.c_str(), '\\', isLead);
  return folder->Assign(path.c_str(), slash == kNoPosition ? 0 : slash + (withSlash ? 1 : 0));
}

// `name` without its last four characters: a dot and a three-letter extension.
bool SetBaseName(String* baseName, const char* name, LeadByteTest isLead) {
  return baseName->Assign(name, LengthWithoutLast(name, 4, isLead));
}

bool AppendHex(String* text, const unsigned char* bytes, size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < count; ++i) {
    if (!text->Append(kDigits[bytes[i] >> 4]) || !text->Append(kDigits[bytes[i] & 15])) return false;
  }
  return true;
}

}  // namespace

PayloadArchive::PayloadArchive(FileSystem& files, ProcessInfo& process, LeadByteTest isLead)
    : files_(files), process_(process), isLead_(isLead) {}

PayloadArchive::~PayloadArchive() { CloseFile(); }

void PayloadArchive::CloseFile() {
  if (file_) files_.Close(file_);
  file_ = 0;
}

void PayloadArchive::DiscardTable() {
  entries_.Clear();
  names_.Clear();
  extracted_.Clear();
}

PayloadError PayloadArchive::MakeRunFolder() {
  // A folder nobody else can predict, made anew: nothing can be planted in
  // it before the run writes there, and no earlier folder is ever reused.
  for (int attempt = 0; attempt < 16; ++attempt) {
    unsigned char random[8];
    if (!process_.RandomBytes(random, sizeof random)) return PayloadError::NoPath;
    String folder;
    if (!folder.Assign(extractFolder_) || !folder.Append("korvelt-") || !AppendHex(&folder, random, sizeof random)) {
      return PayloadError::NoMemory;
    }
    if (folder.Length() + 1 > kMaxPathLength) return PayloadError::NoPath;
    if (!files_.CreateFolder(folder.c_str())) continue;
    runFolder_ = static_cast<String&&>(folder);
    if (!extractFolder_.Assign(runFolder_) || !extractFolder_.Append('\\')) return PayloadError::NoMemory;
    return PayloadError::Ok;
  }
  return PayloadError::NoPath;
}

PayloadError PayloadArchive::OpenForRun() {
  // A missing own path shows as a file that cannot be opened.
  process_.ModulePath(&exePath_);
  if (!process_.TempFolder(&extractFolder_)) return PayloadError::NoPath;
  normalRun_ = true;
  return Open();
}

PayloadError PayloadArchive::OpenForExtract(const char* folder) {
  process_.ModulePath(&exePath_);
  if (!extractFolder_.Assign(folder)) return PayloadError::NoMemory;
  return Open();
}

PayloadError PayloadArchive::OpenFileForExtract(const char* exePath, const char* folder) {
  if (!exePath_.Assign(exePath) || !extractFolder_.Assign(folder)) return PayloadError::NoMemory;
  return Open();
}

PayloadError PayloadArchive::Open() {
  if (!EndsWithBackslash(extractFolder_.c_str(), extractFolder_.Length(), isLead_) && !extractFolder_.Append('\\')) {
    return PayloadError::NoMemory;
  }
  if (exePath_.Empty()) return PayloadError::Io;
  file_ = files_.OpenForReading(exePath_.c_str());
  if (!file_) return PayloadError::Io;

  PayloadError result = ReadFooter(files_, file_, &footer_, &baseShift_);
  if (result != PayloadError::Ok) {
    footer_ = PayloadFooter();
    CloseFile();
    return result;
  }
  // A normal run finds external files beside the bootstrapper; extract mode
  // keeps the folder it was given, so that it never writes over them.
  bool external = footer_.options & ExternalFiles;
  if (normalRun_ && external && !SetFolderPart(&extractFolder_, exePath_, true, isLead_)) {
    CloseFile();
    return PayloadError::NoMemory;
  }
  if (normalRun_ && !external) result = MakeRunFolder();
  if (result == PayloadError::Ok) result = AssignRoles();
  if (result != PayloadError::Ok) {
    CloseFile();
    return result;
  }
  if (footer_.entryCount == 0) return PayloadError::Ok;

  result = ReadTable(files_, file_, footer_, baseShift_, &entries_, &names_, isLead_);
  if (result == PayloadError::Ok) result = AssignRoles();
  if (result == PayloadError::Ok && !extracted_.Reserve(entries_.Count())) result = PayloadError::NoMemory;
  if (result != PayloadError::Ok) {
    CloseFile();
    DiscardTable();
    return result;
  }
  for (size_t i = 0; i < entries_.Count(); ++i) extracted_.Push(false);

  if ((footer_.options & HasPrerequisites) && !external) {
    // A payload that asks for prerequisites without a configuration cannot
    // be opened. A normal run has it on disk before the prerequisite phase
    // begins; extract mode writes it with the rest, so that its opening
    // fails only on the payload itself.
    size_t index = 0;
    if (!FindEntry(FileNamePart(configPath_, isLead_), &index)) return PayloadError::Io;
    if (normalRun_) return CopyEntry(index);
  }
  return PayloadError::Ok;
}

PayloadError PayloadArchive::AssignRoles() {
  mainBaseName_.Clear();
  if (!configPath_.Assign(extractFolder_)) return PayloadError::NoMemory;
  if (footer_.options & ExternalFiles) {
    // N.exe in folder F reads F\N.ini and opens F\N.msi.
    // Its last three characters become "ini".
    const char* exeName = FileNamePart(exePath_, isLead_);
    bool appended = TextLength(exeName) >= 3
                        ? configPath_.Append(exeName, LengthWithoutLast(exeName, 3, isLead_)) && configPath_.Append("ini")
                        : configPath_.Append(exeName) && configPath_.Append(".ini");
    if (!appended) return PayloadError::NoMemory;
    return SetBaseName(&mainBaseName_, FileNamePart(configPath_, isLead_), isLead_) ? PayloadError::Ok
                                                                                    : PayloadError::NoMemory;
  }
  for (size_t i = 0; i < entries_.Count(); ++i) {
    const char* name = names_[i].c_str();
    if (entries_[i].kind == PrereqConfig) {
      if (!configPath_.Append(name) || !SetBaseName(&mainBaseName_, name, isLead_)) return PayloadError::NoMemory;
      break;
    }
    if (entries_[i].kind == MainPackage && !SetBaseName(&mainBaseName_, name, isLead_)) return PayloadError::NoMemory;
  }
  return PayloadError::Ok;
}

bool PayloadArchive::FindEntry(const char* name, size_t* index) const {
  for (size_t i = 0; i < names_.Count(); ++i) {
    if (names_[i].Equals(name)) {
      *index = i;
      return true;
    }
  }
  return false;
}

PayloadError PayloadArchive::CopyEntry(size_t index) {
  if (extracted_[index]) return PayloadError::Ok;
  if (!file_) return PayloadError::Io;
  const PayloadEntry& entry = entries_[index];

  String path;
  if (!path.Assign(extractFolder_) || !path.Append(names_[index])) return PayloadError::NoMemory;
  if (path.Length() > kMaxPathLength) return PayloadError::Io;
  // Without a buffer nothing is created.
  HeapBuffer buffer(kCopyBufferSize);
  if (!buffer.Valid()) return PayloadError::NoMemory;

  ScopedFile target(files_, files_.CreateForWriting(path.c_str()));
  if (!target.Valid()) return PayloadError::Io;
  uint32_t start = 0;
  if (!ShiftedOffset(entry.offset, baseShift_, &start) || !files_.SeekFromStart(file_, start)) {
    // The new file stays on disk empty and unmarked.
    return PayloadError::Io;
  }
  uint32_t remaining = entry.size;
  while (remaining > 0) {
    uint32_t want = remaining < kCopyBufferSize ? remaining : kCopyBufferSize;
    uint32_t read = 0;
    uint32_t written = 0;
    if (!files_.Read(file_, buffer.Bytes(), want, &read) || read == 0) break;
    if (!files_.Write(target.Get(), buffer.Bytes(), read, &written) || written != read) {
      remaining -= written < read ? written : read;
      break;
    }
    remaining -= written;
  }
  bool flushed = files_.Flush(target.Get());
  target.Reset();
  // A short file is still this run's to delete.
  extracted_[index] = true;
  return remaining == 0 && flushed ? PayloadError::Ok : PayloadError::Io;
}

PayloadError PayloadArchive::ExtractMainFiles() {
  if (footer_.options & ExternalFiles) return PayloadError::Ok;
  for (size_t i = 0; i < entries_.Count(); ++i) {
    if (!IsMainFile(entries_[i].kind)) continue;
    PayloadError result = CopyEntry(i);
    if (result != PayloadError::Ok) return result;
  }
  return PayloadError::Ok;
}

PayloadError PayloadArchive::ExtractAll() {
  for (size_t i = 0; i < entries_.Count(); ++i) {
    if (CopyEntry(i) != PayloadError::Ok) {
      CloseFile();
      return PayloadError::Io;
    }
  }
  return PayloadError::Ok;
}

PayloadError PayloadArchive::ExtractNamed(const char* name) {
  if (footer_.options & ExternalFiles) return PayloadError::Ok;
  size_t index = 0;
  if (!FindEntry(name, &index)) return PayloadError::Io;
  return CopyEntry(index);
}

bool PayloadArchive::ExeFolder(String* folder) const { return SetFolderPart(folder, exePath_, false, isLead_); }

void PayloadArchive::CleanUp() {
  CloseFile();
  if (!keepFiles_ && !(footer_.options & ExternalFiles)) {
    String path;
    for (size_t i = 0; i < entries_.Count(); ++i) {
      if (!extracted_[i]) continue;
      // A file that cannot be deleted is passed over.
      if (path.Assign(extractFolder_) && path.Append(names_[i])) files_.Delete(path.c_str());
    }
  }
  // The run's own folder goes too, once it is empty.
  if (!runFolder_.Empty() && !keepFiles_) files_.RemoveFolder(runFolder_.c_str());
  runFolder_.Clear();
  DiscardTable();
  exePath_.Clear();
  configPath_.Clear();
  mainBaseName_.Clear();
}

}  // namespace korvelt
