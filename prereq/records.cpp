#include "prereq/records.h"

namespace korvelt {

bool CreatePrerequisiteList(const char* configPath, PrerequisiteList* list) {
  list->Prerequisites.Clear();
  list->FoundVersions.Clear();
  list->Actions.Clear();
  list->GeneralOptions.MainAppCmdLine.Clear();
  list->GeneralOptions.Options.Clear();
  list->GeneralOptions.LogFile.Clear();
  return list->ConfigPath.Assign(configPath);
}

bool CopyPrerequisite(const Prerequisite& from, Prerequisite* to) {
  to->Source = from.Source;
  to->TargetOS = from.TargetOS;
  to->ExactSize = from.ExactSize;
  to->SearchSpec.SearchType = from.SearchSpec.SearchType;
  return to->DisplayName.Assign(from.DisplayName) && to->Location.Assign(from.Location) &&
         to->CommandLine.Assign(from.CommandLine) && to->Options.Assign(from.Options) &&
         to->SearchSpec.SearchString.Assign(from.SearchSpec.SearchString) && to->SearchSpec.VerMin.Assign(from.SearchSpec.VerMin) &&
         to->SearchSpec.VerMax.Assign(from.SearchSpec.VerMax) && to->Sha256.Assign(from.Sha256) &&
         to->FileName.Assign(from.FileName) && to->SuccessCodes.Assign(from.SuccessCodes);
}

}  // namespace korvelt
