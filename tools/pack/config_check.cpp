#include "tools/pack/config_check.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdio.h>

#include "base/file_name.h"
#include "platform/system_files.h"
#include "prereq/config.h"
#include "prereq/decision.h"
#include "prereq/download_name.h"
#include "prereq/profile_text.h"
#include "prereq/success_codes.h"
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

const char* const kSectionKeys[] = {"TargetOS",    "SetupFile", "Url",        "FileName", "ExactSize",   "CommandLine",
                                    "Options",     "SearchType", "VerMin",    "VerMax",   "SearchString",
                                    "SuccessCodes"};

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

// "App2 \"Contoso Runtime\"": how a line names the prerequisite at `index`.
std::string Label(const PrerequisiteList& list, size_t index) {
  char key[16];
  FormAppKey(static_cast<int32_t>(index + 1), key);
  return std::string(key) + " \"" + list.Prerequisites[index].DisplayName.c_str() + "\"";
}

// The name the bootstrapper saves a download under.
std::string LocalName(const Prerequisite& item) {
  String name;
  if (!DownloadFileName(item.Location.c_str(), item.FileName.c_str(), NoLeadBytes, &name)) throw std::bad_alloc();
  return name.c_str();
}

// Two downloads may share a file only when they fetch the same bytes: the
// same address, size and digest (whose hexadecimal digits may differ in case).
bool SameDownload(const Prerequisite& a, const Prerequisite& b) {
  return TextEquals(a.Location.c_str(), b.Location.c_str()) && a.ExactSize == b.ExactSize &&
         CompareFileNames(a.Sha256.c_str(), b.Sha256.c_str(), NoLeadBytes) == 0;
}

// Why the download at `index` cannot be saved as the bootstrapper would save
// it, in the setup's folder; empty when it can. The bootstrapper fails such
// a download without touching any file, so no setup is made with one.
std::string WhyUnsavable(const PrerequisiteList& list, size_t index, const std::string& setupName) {
  const Prerequisite& item = list.Prerequisites[index];
  std::string name = LocalName(item);
  std::string remedy = item.FileName.Empty() ? "; give it a FileName=" : "; change its FileName=";
  std::string savedAs = Label(list, index) + ": its download would be saved as \"" + name + "\", ";
  if (name.empty()) {
    return Label(list, index) + ": its Url " + item.Location.c_str() +
           " ends in no file name to save the download under" + remedy;
  }
  if (!IsPlainFileName(name.c_str(), static_cast<uint32_t>(name.size()))) {
    return savedAs + "which is no valid Windows file name" + remedy;
  }
  if (!setupName.empty() && CompareFileNames(name.c_str(), setupName.c_str(), NoLeadBytes) == 0) {
    return savedAs + "the setup's own file name, in its folder, where downloads go" + remedy;
  }
  for (size_t earlier = 0; earlier < index; ++earlier) {
    const Prerequisite& other = list.Prerequisites[earlier];
    if (other.Source != PrereqSource::Url || SameDownload(item, other) ||
        CompareFileNames(name.c_str(), LocalName(other).c_str(), NoLeadBytes) != 0) {
      continue;
    }
    return savedAs + "the name " + Label(list, earlier) +
           " saves other content under (another Url, ExactSize or Sha256)" + remedy;
  }
  return "";
}

// The download's line of the report: where it is saved and what pins it.
std::string DownloadText(const Prerequisite& item) {
  std::string text = "download: saved as \"" + LocalName(item) + "\"; ";
  text += item.ExactSize != 0 ? "ExactSize " + std::to_string(item.ExactSize) : std::string("no ExactSize");
  if (item.Sha256.Empty()) return text + "; not pinned by Sha256";
  return text + (IsDigestText(item.Sha256.c_str()) ? "; pinned by Sha256" : "; Sha256 is no digest");
}

// Windows-1252's characters for the bytes 0x80 to 0x9F; 0 where it has none.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// `bytes` as Windows-1252 shows them, written in UTF-8 for the terminal.
std::string AsWindows1252(const std::string& bytes) {
  std::string text;
  for (unsigned char byte : bytes) {
    char16_t c = byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte;
    if (c == 0) c = '?';
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else if (c < 0x800) {
      text += static_cast<char>(0xC0 | c >> 6);
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      text += static_cast<char>(0xE0 | c >> 12);
      text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

// The length of the UTF-8 character of two to four bytes that begins at
// `at`, in its shortest form and no surrogate; 0 when none begins there.
// Text in a single-byte code page seldom forms one: Windows-1252's "f", FC,
// "r" does not.
size_t Utf8CharacterLength(const std::string& bytes, size_t at) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[at + i]); };
  unsigned char lead = byte(0);
  size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                  : lead >= 0xE0 && lead <= 0xEF ? 3
                  : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                 : 0;
  if (length == 0 || bytes.size() - at < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
  }
  bool overlong = (lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xF0 && byte(1) < 0x90);
  bool outside = (lead == 0xED && byte(1) >= 0xA0) || (lead == 0xF4 && byte(1) >= 0x90);
  return overlong || outside ? 0 : length;
}

// Warns of a file saved as UTF-8: the bootstrapper reads every byte in the
// users' ANSI code page, where each byte of a UTF-8 character is a
// character of its own.
void CheckEncoding(const std::string& path, Checker& checker) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  for (size_t at = start; at < bytes.size(); ++at) {
    if (Utf8CharacterLength(bytes, at) == 0) continue;
    size_t lineStart = bytes.rfind('\n', at);
    lineStart = lineStart == std::string::npos ? start : lineStart + 1;
    size_t lineEnd = bytes.find_first_of("\r\n", at);
    std::string line = bytes.substr(lineStart, lineEnd == std::string::npos ? std::string::npos : lineEnd - lineStart);
    long number = 1 + std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(at), '\n');
    checker.Warn("line " + std::to_string(number) + " holds UTF-8 text, \"" + line + "\", which reads as \"" +
                 AsWindows1252(line) +
                 "\" in Windows-1252: the setup reads the file in the users' ANSI code page; save it in that one");
    return;
  }
  if (start != 0) {
    checker.Warn("the file begins with a UTF-8 byte order mark, but the setup reads it in the users' ANSI code "
                 "page; save it in that one");
  }
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
    std::string name = LocalName(item);
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

// The codes that count as success for `item`, as the setup reads them.
static std::string SuccessCodesText(const Prerequisite& item) {
  SuccessCodeList codes;
  ReadSuccessCodes(item.SuccessCodes.c_str(), &codes);
  if (codes.count == 0) return "0, 1638, 3010, 1641 (the usual)";
  std::string text;
  for (size_t i = 0; i < codes.count; ++i) {
    if (i) text += ", ";
    // A code above 2^31 reads best as the negative number it usually is.
    text += codes.codes[i] > 0x7FFFFFFFu ? std::to_string(static_cast<int32_t>(codes.codes[i]))
                                         : std::to_string(codes.codes[i]);
  }
  return text;
}

CheckOutcome CheckConfiguration(const std::string& configPath, const CheckContext& context, std::ostream& out) {
  RequireReadable(configPath);
  Checker checker(configPath, out);
  CheckOutcome outcome;
  PrerequisiteList list;
  ConfigurationEnd end;
  if (!CreatePrerequisiteList(configPath.c_str(), &list)) {
    checker.Warn("out of memory");
    outcome.warnings = checker.warnings();
    return outcome;
  }
  LoadConfiguration(list, checker.reader(), &end);

  checker.CheckReadable("GeneralOptions", "MainAppCmdLine");
  out << "main package command line: " << list.GeneralOptions.MainAppCmdLine.c_str() << "\n";
  out << "quiet: " << (IsQuietRun(list) ? "yes" : "no") << "\n";
  checker.CheckReadable("GeneralOptions", "LogFile");
  out << "log: "
      << (list.GeneralOptions.LogFile.Empty() ? std::string("none")
                                              : std::string(list.GeneralOptions.LogFile.c_str()))
      << " (KORVELT_LOG, when set where the setup runs, wins)\n";
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
    out << "    command line: " << (item.CommandLine.Empty() ? "(none)" : item.CommandLine.c_str())
        << "; mandatory: " << (IsMandatory(item) ? "yes" : "no") << "\n";
    if (item.Source == PrereqSource::Url) out << "    " << DownloadText(item) << "\n";
    out << "    success codes: " << SuccessCodesText(item) << "\n";
    SuccessCodeList codes;
    ReadSuccessCodes(item.SuccessCodes.c_str(), &codes);
    if (codes.unreadable > 0) {
      checker.Warn(Label(list, i) + ": SuccessCodes \"" + item.SuccessCodes.c_str() + "\" has " +
                   std::to_string(codes.unreadable) + " entr" + (codes.unreadable == 1 ? "y" : "ies") +
                   (codes.unreadable == 1 ? " that is" : " that are") + " no exit code, or more than " + std::to_string(SuccessCodeList::kMaxCodes) +
                   " codes; they are passed over" + (codes.count == 0 ? ", and the usual codes apply" : ""));
    }
    if (item.Source == PrereqSource::Url) {
      std::string refusal = WhyUnsavable(list, i, context.setupName);
      if (!refusal.empty()) outcome.refusals.push_back(refusal);
      if (item.ExactSize == 0) {
        checker.Warn(Label(list, i) + ": Url without ExactSize: a server that announces the file's length is " +
                     "refused, so the download fails");
      }
      if (item.Sha256.Empty()) {
        checker.Warn(Label(list, i) + ": Url without Sha256: a file replaced on the server, or a resumed file, " +
                     "cannot be verified (korvelt-pack hash FILE prints the key)");
      }
    }
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
  CheckEncoding(configPath, checker);
  int mismatches = context.downloadsFolder.empty() ? 0 : CheckDownloads(list, context.downloadsFolder, out);
  outcome.warnings = checker.warnings() + mismatches;
  return outcome;
}

}  // namespace korvelt::pack
