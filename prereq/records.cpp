#include "prereq/records.h"

namespace korvelt {

bool CreatePrerequisiteList(const char* configPath, PrerequisiteList* list) {
  list->Prerequisites.Clear();
  list->FoundVersions.Clear();
  list->Actions.Clear();
  list->General.MainAppCmdLine.Clear();
  list->General.Options.Clear();
  return list->ConfigPath.Assign(configPath);
}

bool CopyPrerequisite(const Prerequisite& from, Prerequisite* to) {
  to->Source = from.Source;
  to->TargetOS = from.TargetOS;
  to->ExactSize = from.ExactSize;
  to->Search.SearchType = from.Search.SearchType;
  return to->DisplayName.Assign(from.DisplayName) && to->Location.Assign(from.Location) &&
         to->CommandLine.Assign(from.CommandLine) && to->Options.Assign(from.Options) &&
         to->Search.SearchString.Assign(from.Search.SearchString) && to->Search.VerMin.Assign(from.Search.VerMin) &&
         to->Search.VerMax.Assign(from.Search.VerMax);
}

}  // namespace korvelt
