#include "prereq/decision.h"

#include "base/chars.h"
#include "prereq/version.h"

namespace korvelt {

bool MatchVersionRange(const PrerequisiteList& list, size_t index) {
  if (index >= list.FoundVersions.Count() || index >= list.Count()) return false;
  const List<String>& found = list.FoundVersions[index];
  if (found.Empty()) return false;
  const SearchSpec& search = list.Prerequisites[index].SearchSpec;
  VersionNumber lowest;
  VersionNumber highest;
  ParseVersion(search.VerMin.c_str(), 0, &lowest);
  ParseVersion(search.VerMax.c_str(), 0, &highest);
  for (const String& text : found) {
    VersionNumber version;
    ParseVersion(text.c_str(), 0, &version);
    bool aboveLowest = IsZeroVersion(lowest) || CompareVersions(lowest, version) <= 0;
    bool belowHighest = IsZeroVersion(highest) || CompareVersions(version, highest) <= 0;
    if (aboveLowest && belowHighest) return true;
  }
  return false;
}

PrereqAction DecideInitialAction(const PrerequisiteList& list, size_t index, OsFamily running) {
  const Prerequisite& prerequisite = list.Prerequisites[index];
  // A prerequisite for the one family is not for the other; any other
  // TargetOS is for both.
  if (running == OsFamily::NtFamily && prerequisite.TargetOS == static_cast<int32_t>(OsFamily::Win9xFamily)) {
    return NotRequired;
  }
  if (running == OsFamily::Win9xFamily && prerequisite.TargetOS == static_cast<int32_t>(OsFamily::NtFamily)) {
    return NotRequired;
  }
  if (MatchVersionRange(list, index)) return DontInstall;
  return prerequisite.Source == PrereqSource::Url ? Download : Install;
}

int DecideActions(PrerequisiteList& list, OsFamily running) {
  for (size_t i = 0; i < list.Count(); ++i) {
    if (!list.Actions.Push(DecideInitialAction(list, i, running))) break;
  }
  return 0;
}

bool NeedsWizard(const PrerequisiteList& list) {
  for (PrereqAction action : list.Actions) {
    if (action == Install || action == Download) return true;
  }
  return false;
}

bool IsQuietRun(const PrerequisiteList& list, LeadByteTest isLead) {
  return FindCharacter(list.GeneralOptions.Options.c_str(), 0, 'q', isLead) != kNoPosition;
}

bool IsMandatory(const Prerequisite& prerequisite, LeadByteTest isLead) {
  return FindCharacter(prerequisite.Options.c_str(), 0, 'm', isLead) != kNoPosition;
}

const char* ActionText(int32_t action) {
  switch (action) {
    case DontInstall:
    case NotRequired:
      return "Don't Install";
    case Install:
    case InstallDownloaded:
    case InstallExisting:
      return "Install";
    case Download:
      return "Download";
    case NotFound:
      return "Not Found";
    case Installed:
      return "Installed";
    case Failed:
      return "Failed";
    default:
      return "";
  }
}

bool StatusText(const PrerequisiteList& list, size_t index, String* text) {
  String status;
  if (index < list.Actions.Count() && list.Actions[index] == NotRequired) {
    if (!status.Assign("Not required for this operating system.")) return false;
    *text = static_cast<String&&>(status);
    return true;
  }
  if (index >= list.Count()) return false;
  const SearchSpec& search = list.Prerequisites[index].SearchSpec;
  bool ok = status.Assign("Required: ");
  if (search.VerMin.Empty() && search.VerMax.Empty()) {
    ok = ok && status.Append("any");
  } else if (search.VerMin.Empty()) {
    ok = ok && status.Append(search.VerMax) && status.Append(" or lower");
  } else if (search.VerMax.Empty()) {
    ok = ok && status.Append(search.VerMin) && status.Append(" or higher");
  } else {
    ok = ok && status.Append("between ") && status.Append(search.VerMin) && status.Append(" and ") &&
         status.Append(search.VerMax);
  }
  ok = ok && status.Append(". Found: ");
  const List<String>* found = index < list.FoundVersions.Count() ? &list.FoundVersions[index] : nullptr;
  if (!found || found->Empty()) {
    ok = ok && status.Append("nothing.");
  } else {
    for (size_t i = 0; ok && i < found->Count(); ++i) {
      if (i) ok = status.Append(", ");
      ok = ok && status.Append((*found)[i]);
    }
  }
  if (!ok) return false;
  *text = static_cast<String&&>(status);
  return true;
}

}  // namespace korvelt
