#include "tools/pack/pack.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>

#include "base/file_name.h"
#include "base/little_endian.h"
#include "payload/archive.h"
#include "payload/format.h"
#include "payload/format_writer.h"
#include "platform/system_files.h"
#include "tools/pack/pack_error.h"
#include "tools/pack/pe_image.h"

namespace korvelt::pack {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kTwoGiB = uint64_t{1} << 31;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && Lower(text.substr(text.size() - tail.size())) == tail;
}

// The name without its last four characters, as the bootstrapper takes it.
std::string BaseName(const std::string& name) { return name.size() > 4 ? name.substr(0, name.size() - 4) : ""; }

uint64_t FileSize(const std::string& path) {
  std::error_code error;
  uint64_t size = fs::file_size(path, error);
  if (error) throw PackError("cannot read " + path + ": " + error.message());
  return size;
}

const char* ErrorText(PayloadError error) {
  switch (error) {
    case PayloadError::Ok: return "no error";
    case PayloadError::Io: return "no payload found, or a part of it cannot be read";
    case PayloadError::NoMemory: return "out of memory";
    case PayloadError::NoPath: return "path too long";
    case PayloadError::Corrupt: return "the payload is corrupt";
    case PayloadError::BadVersion: return "the payload has an unsupported version";
  }
  return "unknown error";
}

void CopyBytes(std::istream& in, std::ostream& out, uint64_t size, const std::string& what) {
  std::vector<char> buffer(1 << 20);
  uint64_t left = size;
  while (left > 0) {
    std::streamsize want = static_cast<std::streamsize>(std::min<uint64_t>(left, buffer.size()));
    in.read(buffer.data(), want);
    if (in.gcount() != want) throw PackError("cannot read " + what + ": it changed while being packed");
    out.write(buffer.data(), want);
    if (!out) throw PackError("cannot write the setup: disk full?");
    left -= static_cast<uint64_t>(want);
  }
}

// The marker that ends every footer, taken from the format's own encoding.
std::string PayloadMarker() {
  unsigned char footer[kFooterSize];
  EncodeFooter(PayloadFooter(), footer);
  // The footer ends in the marker's ten bytes and two zero bytes.
  return std::string(reinterpret_cast<const char*>(footer) + kFooterSize - 12, 10);
}

// The bootstrapper finds its footer by the marker nearest the end of its
// file; a stub that holds the marker (a setup given as the stub, say)
// could lend it a footer of its own once the setup is cut short.
void CheckStub(const std::string& stubPath) {
  const std::string marker = PayloadMarker();
  std::ifstream in(stubPath, std::ios::binary);
  if (!in) throw PackError("cannot read " + stubPath);
  // Each piece keeps the end of the one before, so that a marker lying
  // across two pieces is seen whole.
  std::string piece;
  std::vector<char> buffer(kStubSearchPiece);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    piece.append(buffer.data(), static_cast<size_t>(in.gcount()));
    if (piece.find(marker) != std::string::npos) {
      throw PackError(stubPath + " holds the payload marker, so it is no bare bootstrapper (a setup cannot be used as a stub)");
    }
    piece.erase(0, piece.size() - std::min(piece.size(), marker.size() - 1));
  }
  if (in.bad()) throw PackError("cannot read " + stubPath);
}

}  // namespace

std::string KindName(uint32_t kind) {
  switch (kind) {
    case MainPackage: return "main";
    case 1:
    case 2: return "support";
    case PrereqConfig: return "config";
  }
  return "on-demand";
}

namespace {

// Where a Windows executable's headers say what machine it is for.
constexpr uint64_t kMachineOffset = 4;  // behind "PE\0\0"
constexpr uint16_t kMachineI386 = 0x14c;
constexpr uint16_t kMachineAmd64 = 0x8664;

}  // namespace

std::string ExecutableArchitecture(const std::string& path) {
  // Only a plain file has a size, so nothing that could wait is opened.
  std::error_code error;
  uint64_t fileSize = fs::file_size(path, error);
  if (error) return "unknown";
  std::ifstream in(path, std::ios::binary);
  if (!in) return "unknown";
  uint64_t header = 0;
  unsigned char machine[2];
  if (!FindPeSignature(in, fileSize, &header) || !ReadAt(in, fileSize, header + kMachineOffset, machine, 2)) {
    return "unknown";
  }
  switch (LoadLe16(machine)) {
    case kMachineI386: return "x86";
    case kMachineAmd64: return "x64";
  }
  return "unknown";
}

std::string StubBesideProgram(const std::string& programPath, const std::string& architecture) {
  std::string name = Lower(architecture);
  std::string stub;
  if (name == "x86" || name == "i686") stub = "korvelt.exe";
  else if (name == "x64" || name == "x86_64") stub = "korvelt-x64.exe";
  else return "";
  size_t slash = programPath.find_last_of("/\\");
  return slash == std::string::npos ? stub : programPath.substr(0, slash + 1) + stub;
}

void CheckPlan(const SetupPlan& plan) {
  std::set<std::string> seen;
  const InputFile* main = nullptr;
  const InputFile* config = nullptr;
  for (const InputFile& file : plan.files) {
    if (!IsPlainFileName(file.name.c_str(), static_cast<uint32_t>(file.name.size())) ||
        file.name.find('\0') != std::string::npos) {
      throw PackError("entry name '" + file.name + "' is not a plain file name (no folder part, no ':', no control characters)");
    }
    if (file.name.size() > kMaxPathLength) throw PackError("entry name '" + file.name + "' is too long");
    // Windows folders ignore case, so names that differ only in case would overwrite each other.
    if (!seen.insert(Lower(file.name)).second) throw PackError("duplicate entry name '" + file.name + "'");
    if (file.kind == MainPackage) {
      if (main) throw PackError("more than one main package: '" + main->name + "' and '" + file.name + "'");
      if (!EndsWithNoCase(file.name, ".msi")) throw PackError("main package '" + file.name + "' must end in .msi");
      main = &file;
    }
    if (file.kind == PrereqConfig) {
      if (config) throw PackError("more than one configuration file: '" + config->name + "' and '" + file.name + "'");
      config = &file;
    }
  }
  if (config && main && Lower(BaseName(config->name)) != Lower(BaseName(main->name))) {
    throw PackError("configuration file '" + config->name + "' does not match main package '" + main->name +
                    "': the bootstrapper opens the package named after the configuration file, " +
                    BaseName(config->name) + ".msi");
  }
  if ((plan.options & HasPrerequisites) && !(plan.options & ExternalFiles) && !config) {
    throw PackError("--prerequisites needs a configuration file (--config)");
  }
}

namespace {

// What follows the files' data in a setup whose stub is `stubSize` bytes:
// `padding` zero bytes, the entry table and the footer.
Bytes TableAndFooter(uint32_t stubSize, const std::vector<InputFile>& files, const std::vector<uint32_t>& sizes,
                     uint32_t options, uint32_t padding) {
  std::vector<EntryToWrite> entries;
  for (size_t i = 0; i < files.size(); ++i) {
    // CheckPlan has kept every name short.
    entries.push_back({files[i].kind, sizes[i], files[i].name.data(), static_cast<uint32_t>(files[i].name.size())});
  }
  Bytes bytes(TableAndFooterSize(entries.data(), entries.size(), padding));
  if (!EncodeTableAndFooter(stubSize, entries.data(), entries.size(), options, padding, bytes.data())) {
    throw PackError("the setup would reach 2 GiB, which a payload cannot describe");
  }
  return bytes;
}

// `image` is the rewritten stub, or empty for the stub file's own bytes.
void WriteLayout(const SetupPlan& plan, const Bytes& image, const std::string& target, uint64_t stubSize,
                 const std::vector<uint32_t>& sizes, uint32_t padding) {
  Bytes tail = TableAndFooter(static_cast<uint32_t>(stubSize), plan.files, sizes, plan.options, padding);
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  if (!out) throw PackError("cannot create " + target);
  if (image.empty()) {
    std::ifstream stub(plan.stubPath, std::ios::binary);
    if (!stub) throw PackError("cannot read " + plan.stubPath);
    CopyBytes(stub, out, stubSize, plan.stubPath);
  } else {
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  }
  for (size_t i = 0; i < plan.files.size(); ++i) {
    std::ifstream in(plan.files[i].path, std::ios::binary);
    if (!in) throw PackError("cannot read " + plan.files[i].path);
    CopyBytes(in, out, sizes[i], plan.files[i].path);
  }
  out.write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
  out.close();
  if (!out) throw PackError("cannot write " + target + ": disk full?");
}

// Whether the bootstrapper finds this setup's own footer and whole table.
bool ReadsBack(const std::string& path, size_t entryCount) {
  try {
    SetupListing listing = ListSetup(path);
    return listing.baseShift == 0 && listing.entries.size() == entryCount;
  } catch (const PackError&) {
    return false;
  }
}

}  // namespace

void WriteSetup(const SetupPlan& plan) {
  CheckPlan(plan);
  uint64_t stubSize = FileSize(plan.stubPath);
  CheckStubUnsigned(plan.stubPath);
  CheckStub(plan.stubPath);
  Bytes image;
  if (plan.identity.Any()) {
    std::ifstream stub(plan.stubPath, std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(stub)), {});
    if (bytes.size() != stubSize) throw PackError("cannot read " + plan.stubPath);
    image = ApplyIdentity(bytes, plan.stubPath, plan.identity, fs::path(plan.outPath).filename().string());
    // The identity's texts must not lend the bootstrapper a footer either.
    const std::string marker = PayloadMarker();
    if (std::search(image.begin(), image.end(), marker.begin(), marker.end()) != image.end()) {
      throw PackError("the identity's texts hold the payload marker " + marker);
    }
    stubSize = image.size();
  }
  std::vector<uint32_t> sizes;
  uint64_t total = stubSize;
  for (const InputFile& file : plan.files) {
    uint64_t size = FileSize(file.path);
    if (size >= kTwoGiB) throw PackError(file.path + " is 2 GiB or larger, which a payload cannot hold");
    total += size;
    if (total >= kTwoGiB) throw PackError("the setup would reach 2 GiB, which a payload cannot describe");
    sizes.push_back(static_cast<uint32_t>(size));
  }

  std::string partial = plan.outPath + ".partial";
  try {
    WriteLayout(plan, image, partial, stubSize, sizes, 0);
    // The footer is found by the first marker in the last window, so data
    // that end in a marker of their own (a packed setup, say) would hide
    // it: zeros between the data and the table push them out of reach.
    if (!ReadsBack(partial, plan.files.size())) {
      WriteLayout(plan, image, partial, stubSize, sizes, kSearchWindow);
      if (!ReadsBack(partial, plan.files.size())) {
        throw PackError("the setup does not read back: an entry name holds the payload marker " + PayloadMarker());
      }
    }
    // The sum covers the whole setup, payload included.
    if (!image.empty()) WritePeCheckSum(partial, PeImage(image, plan.stubPath).CheckSumOffset());
    std::error_code error;
    // A setup is a program: it keeps the stub's right to be run.
    fs::permissions(partial, fs::status(plan.stubPath, error).permissions() | fs::perms::owner_exec, error);
    fs::rename(partial, plan.outPath, error);
    if (error) throw PackError("cannot write " + plan.outPath + ": " + error.message());
  } catch (...) {
    std::error_code ignored;
    fs::remove(partial, ignored);
    throw;
  }
}

SetupListing ListSetup(const std::string& path) {
  FileSystem& files = SystemFileSystem();
  ScopedFile file(files, files.OpenForReading(path.c_str()));
  if (!file.Valid()) throw PackError("cannot open " + path);
  PayloadFooter footer;
  SetupListing listing;
  PayloadError result = ReadFooter(files, file.Get(), &footer, &listing.baseShift);
  List<PayloadEntry> entries;
  List<String> names;
  if (result == PayloadError::Ok) result = ReadTable(files, file.Get(), footer, listing.baseShift, &entries, &names);
  if (result != PayloadError::Ok) throw PackError(path + ": " + ErrorText(result));
  listing.architecture = ExecutableArchitecture(path);
  listing.options = footer.options;
  listing.dataOffset = footer.dataOffset;
  for (size_t i = 0; i < entries.Count(); ++i) {
    listing.entries.push_back({entries[i].kind, entries[i].size, entries[i].offset, names[i].c_str()});
  }
  // The footer was found where it lies, so its shifted offset is sound.
  uint32_t payloadStart = 0, footerAt = 0;
  if (!ShiftedOffset(footer.dataOffset, listing.baseShift, &payloadStart)) payloadStart = 0;
  ShiftedOffset(footer.footerOffset, listing.baseShift, &footerAt);
  listing.signature = FileSignature(path);
  CheckSignatureBehindPayload(&listing.signature, payloadStart, uint64_t{footerAt} + kFooterSize);
  return listing;
}

namespace {

// Refuses, before anything is written, an entry whose name is taken in
// `folder`: by anything but a plain file, by the setup itself, or at all
// unless replacing was asked for. The file service holds to the same as it
// creates each file, whatever changes meanwhile.
void CheckTargets(const std::string& setupPath, const std::string& folder, const SetupListing& listing,
                  bool replacePlainFiles) {
  for (const ListedEntry& entry : listing.entries) {
    fs::path target = fs::path(folder) / entry.name;
    std::error_code error;
    fs::file_status status = fs::symlink_status(target, error);
    if (!fs::exists(status)) continue;
    std::string taken = "entry '" + entry.name + "': " + target.string();
    if (!fs::is_regular_file(status)) throw PackError(taken + " exists and is not a plain file, which is never replaced");
    if (fs::equivalent(target, setupPath, error)) throw PackError(taken + " is the setup being read");
    if (!replacePlainFiles) throw PackError(taken + " exists already (--force replaces a plain file)");
  }
}

}  // namespace

size_t ExtractSetup(const std::string& path, const std::string& folder, bool replacePlainFiles) {
  SetupListing listing = ListSetup(path);
  if (listing.options & ExternalFiles) {
    throw PackError(path + " keeps its files beside it (external files): the bootstrapper would extract into its own folder");
  }
  std::error_code error;
  if (!fs::is_directory(folder, error)) throw PackError("no such folder: " + folder);
  CheckTargets(path, folder, listing, replacePlainFiles);

  // The same archive code the bootstrapper runs, over this machine's files.
  class NoProcess final : public ProcessInfo {
   public:
    bool ModulePath(String*) override { return false; }
    bool TempFolder(String*) override { return false; }
    bool RandomBytes(void*, size_t) override { return false; }
  } process;
  PayloadArchive archive(SystemFileSystem(replacePlainFiles ? TakenName::ReplacePlainFile : TakenName::Refuse),
                         process);
  PayloadError opened = archive.OpenFileForExtract(path.c_str(), folder.c_str());
  PayloadError written = opened == PayloadError::Ok ? archive.ExtractAll() : opened;
  size_t count = 0;
  for (size_t i = 0; i < archive.entries().Count(); ++i) count += archive.IsExtracted(i);
  bool tableRead = archive.entries().Count() == listing.entries.size();
  // A part of the setup is no extraction: without KeepFiles the archive
  // deletes every file it wrote.
  if (written == PayloadError::Ok) archive.KeepFiles();
  archive.CleanUp();
  if (!tableRead) throw PackError(path + ": " + ErrorText(opened));
  if (written != PayloadError::Ok) {
    throw PackError("cannot write every entry into " + folder + "; what was written is removed");
  }
  return count;
}

}  // namespace korvelt::pack
