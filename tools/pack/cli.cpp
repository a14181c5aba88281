#include "tools/pack/cli.h"

#include <fstream>
#include <iomanip>
#include <sstream>

#include "payload/format.h"
#include "platform/system_files.h"
#include "tools/pack/config_check.h"
#include "tools/pack/identity.h"
#include "tools/pack/pack.h"
#include "tools/pack/pack_error.h"
#include "tools/pack/signature.h"

namespace korvelt::pack {
namespace {

const char kUsage[] =
    "usage: korvelt-pack create [--arch x86|x64 | --stub KORVELT.EXE] --out SETUP.EXE\n"
    "                           [options] FILES...\n"
    "       korvelt-pack list SETUP.EXE\n"
    "       korvelt-pack extract [--force] SETUP.EXE FOLDER\n"
    "       korvelt-pack check CONFIG.INI [--external-files] [--downloads FOLDER]\n"
    "                          [--setup SETUP.EXE] [FILES...]\n"
    "       korvelt-pack hash FILE\n"
    "\n"
    "Builds a setup program: the Korvelt bootstrapper with the installation\n"
    "files appended as its payload.\n"
    "\n"
    "The bootstrapper:\n"
    "  --arch x86          korvelt.exe from the packer's own folder (the default;\n"
    "                      also i686): runs on every Windows, but on 64-bit\n"
    "                      Windows its searches see the 32-bit registry view and\n"
    "                      SysWOW64\n"
    "  --arch x64          korvelt-x64.exe from the packer's own folder (also\n"
    "                      x86_64): sees the machine as 64-bit products do\n"
    "  --stub FILE         this bootstrapper instead, whatever --arch says\n"
    "\n"
    "Files, each given as PATH or as NAME=PATH (NAME is the name in the payload;\n"
    "it defaults to the file name of PATH):\n"
    "  --main FILE         the main Windows Installer package (.msi), at most one\n"
    "  --support FILE      a further file of the main installation (a cabinet)\n"
    "  --config FILE       the prerequisites configuration file; its base name must\n"
    "                      be the main package's (app.ini goes with app.msi)\n"
    "  --on-demand FILE    a file written only when asked for by name (a\n"
    "                      prerequisite's setup program) or in extract mode\n"
    "\n"
    "The product's identity, written into the setup's copy of the bootstrapper\n"
    "(its version resource and icon; its windows are titled \"NAME Setup\").\n"
    "Texts are UTF-8. Without any of these the setup starts with the\n"
    "bootstrapper's own bytes. What is not given keeps the bootstrapper's\n"
    "value, but OriginalFilename and InternalName always name the setup, and\n"
    "the description defaults to \"NAME Setup\" when --product-name is given:\n"
    "  --product-name NAME ProductName (the bootstrapper's: Korvelt)\n"
    "  --company TEXT      CompanyName (Korvelt)\n"
    "  --version A.B.C.D   file and product version, four numbers of 0 to 65535\n"
    "                      (1.0.0.0)\n"
    "  --description TEXT  FileDescription (Korvelt Setup Bootstrapper)\n"
    "  --copyright TEXT    LegalCopyright (Copyright (C) 2026 Korvelt)\n"
    "  --icon FILE.ico     every image of FILE.ico becomes the setup's icon\n"
    "\n"
    "Options:\n"
    "  --prerequisites     run the prerequisite phase (needs --config)\n"
    "  --external-files    the installation files lie beside the setup program\n"
    "  -h, --help          this text\n"
    "\n"
    "list shows the bootstrapper's architecture, the options, its identity (the\n"
    "texts above, the file name it was packed as, the icon's image sizes),\n"
    "whether the setup is signed (where its signature lies; osslsigncode verify\n"
    "checks it) and the entries.\n"
    "\n"
    "Example:\n"
    "  korvelt-pack create --product-name \"Contoso App\" --company Contoso \\\n"
    "      --version 2.1.0.7 --icon contoso.ico --out ContosoSetup.exe --main app.msi\n"
    "\n"
    "extract writes each entry into FOLDER as a new file and refuses an entry\n"
    "whose name is taken there, before writing anything; --force replaces a\n"
    "plain file of that name (never a link, FIFO, device or folder, nor the setup\n"
    "itself). A failed extraction removes what it wrote.\n"
    "\n"
    "check lists the prerequisites as the bootstrapper will load them from\n"
    "CONFIG.INI, each with its command line and whether it is mandatory, and\n"
    "each download with the name it is saved under, its ExactSize and whether\n"
    "a Sha256 pins it. It warns where the list ends early, of values too long\n"
    "to be read, of a SetupFile that is none of FILES (the payload's files), of\n"
    "a Sha256 that is not 64 hexadecimal digits, of a download without ExactSize\n"
    "or Sha256, and of a file saved as UTF-8 (the setup reads it in the users'\n"
    "ANSI code page). It refuses, one line each on stderr, a download whose\n"
    "name is no valid Windows file name, is the setup's own (--setup names it;\n"
    "create uses --out), or is taken by an earlier download of another Url,\n"
    "ExactSize or Sha256; create refuses the same and writes nothing. With\n"
    "--downloads it compares each download's copy in FOLDER with its ExactSize\n"
    "and Sha256: ok, missing, wrong size or wrong hash.\n"
    "\n"
    "hash prints the ExactSize and Sha256 lines of a prerequisite's section for\n"
    "FILE, its setup program: with Sha256 a downloaded file is used only when its\n"
    "SHA-256 is that one.\n"
    "\n"
    "Exit codes: 0 success, 1 failure (for check: warnings, refusals, a\n"
    "download's copy that does not match, or a file that cannot be read), 2\n"
    "wrong usage.\n";

struct UsageError : PackError {
  using PackError::PackError;
};

// The last part of a path, after its last "/" or "\\".
std::string FileNameOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

InputFile ParseFile(const std::string& argument, uint32_t kind) {
  InputFile file;
  file.kind = kind;
  size_t equals = argument.find('=');
  if (equals != std::string::npos) {
    file.name = argument.substr(0, equals);
    file.path = argument.substr(equals + 1);
  } else {
    file.path = argument;
    file.name = FileNameOf(argument);
  }
  if (file.path.empty()) throw UsageError("no path given for '" + argument + "'");
  return file;
}

std::u16string IdentityText(const std::string& option, const std::string& text) {
  std::optional<std::u16string> converted = Utf8ToUtf16(text);
  if (!converted) throw UsageError(option + " is not valid UTF-8 text");
  return *converted;
}

FourPartVersion IdentityVersion(const std::string& text) {
  std::optional<FourPartVersion> version = ParseFourPartVersion(text);
  if (!version) throw UsageError("--version '" + text + "' is not four numbers A.B.C.D of 0 to 65535 each");
  return *version;
}

int Create(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  SetupPlan plan;
  std::string architecture = "x86";
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& option = arguments[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= arguments.size()) throw UsageError(option + " needs a value");
      return arguments[++i];
    };
    if (option == "--stub") plan.stubPath = value();
    else if (option == "--arch") architecture = value();
    else if (option == "--out" || option == "-o") plan.outPath = value();
    else if (option == "--main") plan.files.push_back(ParseFile(value(), MainPackage));
    else if (option == "--support") plan.files.push_back(ParseFile(value(), MainSupport));
    else if (option == "--config") plan.files.push_back(ParseFile(value(), PrereqConfig));
    else if (option == "--on-demand") plan.files.push_back(ParseFile(value(), OnDemand));
    else if (option == "--prerequisites") plan.options |= HasPrerequisites;
    else if (option == "--external-files") plan.options |= ExternalFiles;
    else if (option == "--product-name") plan.identity.productName = IdentityText(option, value());
    else if (option == "--company") plan.identity.company = IdentityText(option, value());
    else if (option == "--description") plan.identity.description = IdentityText(option, value());
    else if (option == "--copyright") plan.identity.copyright = IdentityText(option, value());
    else if (option == "--version") plan.identity.version = IdentityVersion(value());
    else if (option == "--icon") plan.identity.iconPath = value();
    else throw UsageError("unknown option '" + option + "'");
  }
  // The architecture is checked even where --stub makes it moot.
  if (StubBesideProgram("", architecture).empty()) {
    throw UsageError("unknown architecture '" + architecture + "' (x86 or x64)");
  }
  if (plan.stubPath.empty()) {
    String program;
    if (!SystemProgramPath(&program)) throw PackError("cannot find the packer's own folder: give --stub");
    plan.stubPath = StubBesideProgram(program.c_str(), architecture);
  }
  if (plan.outPath.empty()) throw UsageError("create needs --out");
  CheckPlan(plan);
  // What the bootstrapper will make of the configuration, warnings included;
  // they do not stop the setup from being written, a refusal does.
  std::ostringstream report;
  std::vector<std::string> refusals;
  for (const InputFile& file : plan.files) {
    if (file.kind != PrereqConfig) continue;
    CheckContext context;
    for (const InputFile& entry : plan.files) context.payloadNames.push_back(entry.name);
    context.checkSetupFiles = !(plan.options & ExternalFiles);
    context.setupName = FileNameOf(plan.outPath);
    CheckOutcome outcome = CheckConfiguration(file.path, context, report);
    refusals.insert(refusals.end(), outcome.refusals.begin(), outcome.refusals.end());
  }
  if (!refusals.empty()) {
    out << report.str();
    for (const std::string& refusal : refusals) err << "korvelt-pack: " << refusal << "\n";
    return 1;
  }
  WriteSetup(plan);
  out << "wrote " << plan.outPath << " with " << plan.files.size() << " entries\n" << report.str();
  return 0;
}

// The bootstrapper's identity, or why it cannot be read; the entries are
// listed either way.
void ListIdentity(const std::string& path, uint32_t stubSize, std::ostream& out) {
  try {
    std::ifstream in(path, std::ios::binary);
    Bytes stub(stubSize);
    in.read(reinterpret_cast<char*>(stub.data()), static_cast<std::streamsize>(stub.size()));
    stub.resize(static_cast<size_t>(in.gcount()));
    ShownIdentity identity = ReadIdentity(stub, path);
    for (auto [label, text] : {std::pair{"product", &identity.productName}, {"company", &identity.company},
                               {"version", &identity.version}, {"description", &identity.description},
                               {"copyright", &identity.copyright}, {"file name", &identity.originalFilename}}) {
      if (!text->empty()) out << label << ": " << *text << "\n";
    }
    out << "icon:";
    for (size_t i = 0; i < identity.iconSizes.size(); ++i) out << (i ? ", " : " ") << identity.iconSizes[i];
    out << (identity.iconSizes.empty() ? " none\n" : "\n");
  } catch (const PackError& error) {
    out << "identity: unreadable (" << error.what() << ")\n";
  }
}

int List(const std::vector<std::string>& arguments, std::ostream& out) {
  if (arguments.size() != 2) throw UsageError("list takes one setup");
  SetupListing listing = ListSetup(arguments[1]);
  out << "architecture: " << listing.architecture << "\n";
  out << "options:";
  if (listing.options & ExternalFiles) out << " external-files";
  if (listing.options & HasPrerequisites) out << " prerequisites";
  if (!(listing.options & (ExternalFiles | HasPrerequisites))) out << " none";
  out << "\n";
  out << "signature: " << DescribeSignature(listing.signature) << "\n";
  if (listing.baseShift != 0) out << "moved by " << listing.baseShift << " bytes since it was written\n";
  ListIdentity(arguments[1], listing.dataOffset, out);
  for (const ListedEntry& entry : listing.entries) {
    out << std::left << std::setw(10) << KindName(entry.kind) << std::right << std::setw(12) << entry.size << "  "
        << entry.name << "\n";
  }
  return 0;
}

int Extract(const std::vector<std::string>& arguments, std::ostream& out) {
  std::vector<std::string> paths;
  bool force = false;
  for (size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == "--force") force = true;
    else paths.push_back(arguments[i]);
  }
  if (paths.size() != 2) throw UsageError("extract takes a setup and a folder");
  size_t count = ExtractSetup(paths[0], paths[1], force);
  out << "extracted " << count << " entries into " << paths[1] << "\n";
  return 0;
}

int Check(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  if (arguments.size() < 2) throw UsageError("check takes a configuration file");
  CheckContext context;
  for (size_t i = 2; i < arguments.size(); ++i) {
    const std::string& option = arguments[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= arguments.size()) throw UsageError(option + " needs a value");
      return arguments[++i];
    };
    if (option == "--external-files") context.checkSetupFiles = false;
    else if (option == "--downloads") context.downloadsFolder = value();
    else if (option == "--setup") context.setupName = FileNameOf(value());
    else context.payloadNames.push_back(ParseFile(option, OnDemand).name);
  }
  CheckOutcome outcome = CheckConfiguration(arguments[1], context, out);
  for (const std::string& refusal : outcome.refusals) err << "korvelt-pack: " << refusal << "\n";
  return outcome.warnings == 0 && outcome.refusals.empty() ? 0 : 1;
}

int Hash(const std::vector<std::string>& arguments, std::ostream& out) {
  if (arguments.size() != 2) throw UsageError("hash takes one file");
  out << DownloadKeys(arguments[1]);
  return 0;
}

}  // namespace

int Main(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  try {
    if (arguments.empty()) throw UsageError("no command given");
    const std::string& command = arguments[0];
    if (command == "-h" || command == "--help" || command == "help") {
      out << kUsage;
      return 0;
    }
    if (command == "create") return Create(arguments, out, err);
    if (command == "list") return List(arguments, out);
    if (command == "extract") return Extract(arguments, out);
    if (command == "check") return Check(arguments, out, err);
    if (command == "hash") return Hash(arguments, out);
    throw UsageError("unknown command '" + command + "'");
  } catch (const UsageError& error) {
    err << "korvelt-pack: " << error.what() << "\n" << "Try 'korvelt-pack --help'.\n";
    return 2;
  } catch (const std::exception& error) {
    err << "korvelt-pack: " << error.what() << "\n";
    return 1;
  }
}

}  // namespace korvelt::pack
