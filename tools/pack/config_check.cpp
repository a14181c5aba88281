#include "tools/pack/config_check.h"

#include <algorithm>
#include <filesystem>
#include <stdio.h>

#include "platform/system_files.h"
#include "prereq/config.h"
#include "prereq/decision.h"
#include "prereq/download_name.h"
#include "prereq/profile_text.h"
#include "tools/pack/pack_error.h"

namespace korvelt::pack {
namespace {

// Room to see a value whole, however long the bootstrapper's limit.
constexpr uint32_t kWideBuffer = 65536;

class Checker {
 public:
  Checker(const std::string& path, std::ostream& out) : path_(path), reader_(SystemFileSystem()), out_(out) {}

  void Warn(const std::string& text) {
    out_ << "warning: " << text << "\n";
    ++warnings_;
  }

  // The value as a reader with plenty of room sees it, or false.
  bool ReadWide(const char* section, const char* key, std::string* value) {
    std::vector<char> buffer(kWideBuffer);
    uint32_t copied = reader_.ReadString(path_.c_str(), section, key, kProfileMissing, buffer.data(), kWideBuffer);
    std::string text(buffer.data(), copied);
    if (text == kProfileMissing) return false;
    *value = text;
    return true;
  }

  // Warns about a key that is there but that the bootstrapper cannot read.
  void CheckReadable(const char* section, const char* key) {
    std::string wide;
    if (!ReadWide(section, key, &wide)) return;
    String value;
    if (ReadProfileValue(reader_, path_.c_str(), section, key, &value)) return;
    Warn("[" + std::string(section) + "] " + key + " is " + std::to_string(wide.size()) +
         " characters long; values of 259 characters or more count as missing");
  }

  int warnings() const { return warnings_; }
  FileProfileReader& reader() { return reader_; }

 private:
  std::string path_;
  FileProfileReader reader_;
  std::ostream& out_;
  int warnings_ = 0;
};

const char* ReasonText(ListEnd reason) {
  switch (reason) {
    case ListEnd::NoEntry: return "";
    case ListEnd::NoSource: return "it has neither SetupFile nor Url";
    case ListEnd::NoSearchType: return "it has no SearchType";
    case ListEnd::NoSearchString: return "it has no SearchString";
    case ListEnd::NoMemory: return "memory ran out";
  }
  return "";
}

std::string TargetText(int32_t target) {
  if (target == 0) return "Windows 95/98/Me only";
  if (target == 1) return "Windows NT family only";
  return "any system";
}

std::string RangeText(const SearchSpec& search) {
  if (search.VerMin.Empty() && search.VerMax.Empty()) return "any version";
  if (search.VerMin.Empty()) return std::string(search.VerMax.c_str()) + " or lower";
  if (search.VerMax.Empty()) return std::string(search.VerMin.c_str()) + " or higher";
  return "between " + std::string(search.VerMin.c_str()) + " and " + search.VerMax.c_str();
}

const char* const kSectionKeys[] = {"TargetOS", "SetupFile", "Url",    "ExactSize",   "CommandLine",
                                    "Options",  "SearchType", "VerMin", "VerMax",      "SearchString"};

// The bootstrapper loads a file it cannot read as an empty configuration,
// which is valid; a file the author names must therefore be a plain file
// whose bytes can be read. Nothing else is opened: a FIFO would wait.
void RequireReadable(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::file_status status = fs::status(path, error);
  std::string cannot = "cannot read the configuration file " + path;
  if (status.type() == fs::file_type::not_found) throw PackError(cannot + ": no such file");
  if (error) throw PackError(cannot + ": " + error.message());
  if (fs::is_directory(status)) throw PackError(cannot + ": it is a folder");
  if (!fs::is_regular_file(status)) throw PackError(cannot + ": it is not a plain file");
  FileSystem& files = SystemFileSystem();
  ScopedFile file(files, files.OpenForReading(path.c_str()));
  char first = 0;
  uint32_t done = 0;
  if (!file.Valid() || !files.Read(file.Get(), &first, 1, &done)) throw PackError(cannot);
}

// A plain file's size and digest; false when it is not there or cannot be
// read. Nothing else is opened: a FIFO would wait.
bool DigestPlainFile(const std::string& path, uint64_t* size, Sha256Digest* digest) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
  FileSystem& files = SystemFileSystem();
  ScopedFile file(files, files.OpenForReading(path.c_str()));
  return file.Valid() && files.Size(file.Get(), size) && DigestFile(files, SystemSha256(), file.Get(), digest);
}

std::string HexText(const Sha256Digest& digest) {
  std::string text;
  char two[3];
  for (unsigned char byte : digest.bytes) {
    snprintf(two, sizeof two, "%02x", byte);
    text += two;
  }
  return text;
}

// Whether `text` could be a digest: 64 hexadecimal digits.
bool IsDigestText(const std::string& text) {
  return text.size() == 64 && text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

// Compares each download's copy in `folder` with what its section asks;
// returns the number of copies that are not what it asks.
int CheckDownloads(const PrerequisiteList& list, const std::string& folder, std::ostream& out) {
  int mismatches = 0;
  out << "downloads in " << folder << ":\n";
  for (size_t i = 0; i < list.Count(); ++i) {
    const Prerequisite& item = list.Prerequisites[i];
    if (item.Source != PrereqSource::Url) continue;
    char key[16];
    FormAppKey(static_cast<int32_t>(i + 1), key);
    String localName;
    if (!DownloadFileName(item.Location.c_str(), item.FileName.c_str(), NoLeadBytes, &localName)) throw std::bad_alloc();
    std::string name = localName.c_str();
    std::string path = (std::filesystem::path(folder) / name).string();
    uint64_t size = 0;
    Sha256Digest digest;
    std::string verdict = "ok";
    if (name.empty() || !DigestPlainFile(path, &size, &digest)) {
      verdict = "missing";
    } else if (size != static_cast<uint32_t>(item.ExactSize)) {
      verdict = "wrong size: " + std::to_string(size) + " bytes, ExactSize " + std::to_string(item.ExactSize);
    } else if (!item.Sha256.Empty() && !DigestIs(digest, item.Sha256.c_str())) {
      verdict = "wrong hash: Sha256=" + HexText(digest);
    }
    if (verdict != "ok") ++mismatches;
    out << "  " << key << " " << name << ": " << verdict << "\n";
  }
  return mismatches;
}

}  // namespace

std::string DownloadKeys(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::file_status status = fs::status(path, error);
  std::string cannot = "cannot read " + path;
  if (status.type() == fs::file_type::not_found) throw PackError(cannot + ": no such file");
  if (error) throw PackError(cannot + ": " + error.message());
  if (!fs::is_regular_file(status)) throw PackError(cannot + ": it is not a plain file");
  uint64_t size = 0;
  Sha256Digest digest;
  if (!DigestPlainFile(path, &size, &digest)) throw PackError(cannot);
  if (size > 0x7FFFFFFF) throw PackError(path + " is 2 GiB or larger, more than ExactSize can hold");
  return "ExactSize=" + std::to_string(size) + "\nSha256=" + HexText(digest) + "\n";
}

CheckOutcome CheckConfiguration(const std::string& configPath, const CheckContext& context, std::ostream& out) {
  RequireReadable(configPath);
  Checker checker(configPath, out);
  PrerequisiteList list;
  ConfigurationEnd end;
  if (!CreatePrerequisiteList(configPath.c_str(), &list)) {
    checker.Warn("out of memory");
    return {checker.warnings(), {}};
  }
  LoadConfiguration(list, checker.reader(), &end);

  checker.CheckReadable("GeneralOptions", "MainAppCmdLine");
  out << "main package command line: " << list.GeneralOptions.MainAppCmdLine.c_str() << "\n";
  out << "quiet: " << (IsQuietRun(list) ? "yes" : "no") << "\n";
  out << "prerequisites: " << list.Count() << "\n";

  for (size_t i = 0; i < list.Count(); ++i) {
    const Prerequisite& item = list.Prerequisites[i];
    char key[16];
    FormAppKey(static_cast<int32_t>(i + 1), key);
    checker.CheckReadable("PREREQUISITES", key);
    for (const char* name : kSectionKeys) checker.CheckReadable(key, name);
    out << "  " << key << " \"" << item.DisplayName.c_str() << "\": "
        << (item.Source == PrereqSource::SetupFile ? "SetupFile " : "Url ") << item.Location.c_str() << "; "
        << TargetText(item.TargetOS) << "; search " << item.SearchSpec.SearchType << " "
        << item.SearchSpec.SearchString.c_str() << "; " << RangeText(item.SearchSpec) << "\n";
    if (item.Source == PrereqSource::SetupFile && context.checkSetupFiles &&
        std::find(context.payloadNames.begin(), context.payloadNames.end(), item.Location.c_str()) ==
            context.payloadNames.end()) {
      checker.Warn(std::string(key) + ": SetupFile " + item.Location.c_str() +
                   " is not in the payload; its installation will fail");
    }
    std::string sha256;
    if (item.Source == PrereqSource::Url && checker.ReadWide(key, "Sha256", &sha256) && !IsDigestText(sha256)) {
      checker.Warn(std::string(key) + ": Sha256 \"" + sha256 +
                   "\" is not 64 hexadecimal digits, so no downloaded file matches and it is never installed");
    }
    if (item.Source == PrereqSource::SetupFile && checker.ReadWide(key, "Sha256", &sha256)) {
      checker.Warn(std::string(key) + ": Sha256 is not looked at for a SetupFile, which travels inside the setup");
    }
    int32_t type = item.SearchSpec.SearchType;
    if (type < 0 || type > 2) {
      checker.Warn(std::string(key) + ": SearchType " + std::to_string(type) +
                   " searches nothing, so the prerequisite always counts as missing");
    }
  }

  char key[16];
  FormAppKey(end.entry, key);
  if (end.reason != ListEnd::NoEntry) {
    for (const char* name : kSectionKeys) checker.CheckReadable(key, name);
    checker.Warn("the list ends at " + std::string(key) + ": section [" + key + "] is invalid, as " +
                 ReasonText(end.reason) + "; it and every later prerequisite are not loaded");
  } else {
    checker.CheckReadable("PREREQUISITES", key);
    // An entry after a gap is never reached.
    for (int32_t n = end.entry + 1; n <= end.entry + 100 && n > 0; ++n) {
      char later[16];
      FormAppKey(n, later);
      std::string value;
      if (checker.ReadWide("PREREQUISITES", later, &value)) {
        checker.Warn("the list ends at " + std::string(key) + ", which [PREREQUISITES] lacks; " + later +
                     " and every later entry are not loaded");
        break;
      }
    }
  }
  int mismatches = context.downloadsFolder.empty() ? 0 : CheckDownloads(list, context.downloadsFolder, out);
  return {checker.warnings() + mismatches, {}};
}

}  // namespace korvelt::pack
