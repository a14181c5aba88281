// The bootstrapper's handle on its own payload: opens the executable, reads
// the footer and the entry table, knows which entry is the main package and
// which the prerequisites configuration, copies entries out on request and
// deletes exactly what it wrote when the run ends.
//
// Lifecycle: one opening (OpenForRun or OpenForExtract), any number of
// extractions, each entry written at most once, then CleanUp once. The
// payload file is closed exactly once: by the operation that fails with it
// or by CleanUp.
#pragma once

#include <stdint.h>

#include "base/chars.h"
#include "base/list.h"
#include "base/string.h"
#include "payload/format.h"
#include "platform/files.h"

namespace korvelt {

class PayloadArchive {
 public:
  // `isLead` tells the code page's lead bytes: paths are cut at whole
  // characters only.
  PayloadArchive(FileSystem& files, ProcessInfo& process, LeadByteTest isLead = NoLeadBytes);
  ~PayloadArchive();
  PayloadArchive(const PayloadArchive&) = delete;
  PayloadArchive& operator=(const PayloadArchive&) = delete;

  // Opens the running executable's payload for a normal run. Entries are
  // written into a new folder of unpredictable name inside the user's
  // temporary folder, made for this run alone and removed by CleanUp. With
  // HasPrerequisites the configuration file is written at once.
  PayloadError OpenForRun();
  // Opens the running executable's payload for extract mode; `folder` is
  // used as it is (a trailing backslash is added when missing), also with
  // ExternalFiles. Nothing is written yet: a payload with HasPrerequisites
  // but no configuration entry still fails to open.
  PayloadError OpenForExtract(const char* folder);
  // Opens the payload of the file at `exePath` into `folder`, as extract
  // mode does; the packer uses it to read setups it did not start as.
  PayloadError OpenFileForExtract(const char* exePath, const char* folder);

  // Writes the main package and its support files (kinds 0 to 2). The first
  // failure ends the walk. With ExternalFiles nothing is written.
  PayloadError ExtractMainFiles();
  // Writes every entry not yet written. The first failure closes the
  // payload file and gives Io.
  PayloadError ExtractAll();
  // Writes the entry of that name, once. A name no entry bears gives Io.
  PayloadError ExtractNamed(const char* name);
  // The folder of the executable, without its trailing backslash.
  bool ExeFolder(String* folder) const;
  // Closes the payload file and, unless files are kept, deletes every file
  // this archive wrote, in table order, and the run's own folder.
  void CleanUp();
  void KeepFiles() { keepFiles_ = true; }

  const PayloadFooter& footer() const { return footer_; }
  uint32_t options() const { return footer_.options; }
  int32_t baseShift() const { return baseShift_; }
  const String& exePath() const { return exePath_; }
  const String& extractFolder() const { return extractFolder_; }
  const String& configPath() const { return configPath_; }
  const String& mainBaseName() const { return mainBaseName_; }
  const List<PayloadEntry>& entries() const { return entries_; }
  const List<String>& names() const { return names_; }
  bool IsExtracted(size_t index) const { return extracted_[index]; }

 private:
  PayloadError Open();
  PayloadError AssignRoles();
  PayloadError CopyEntry(size_t index);
  bool FindEntry(const char* name, size_t* index) const;
  PayloadError MakeRunFolder();
  void CloseFile();
  void DiscardTable();

  FileSystem& files_;
  ProcessInfo& process_;
  LeadByteTest isLead_;
  PayloadFooter footer_;
  int32_t baseShift_ = 0;
  FileId file_ = 0;
  String exePath_;
  String extractFolder_;
  String configPath_;
  String mainBaseName_;
  List<PayloadEntry> entries_;
  List<String> names_;
  List<bool> extracted_;
  bool keepFiles_ = false;
  bool normalRun_ = false;  // opened by OpenForRun
  String runFolder_;  // the folder made for this run, or empty
};

// The size of the buffer through which each entry is copied.
constexpr uint32_t kCopyBufferSize = 65536;

}  // namespace korvelt
