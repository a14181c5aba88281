// The whole of a plan as one text, so that one comparison checks it all:
//   folder C:\Downloads\
//   actions Install InstallExisting Download
//   item 0 http://host/a.exe 100 Pending
#pragma once

#include <string>

#include "download/plan.h"

namespace korvelt::testing {

std::string ActionName(int32_t action);
std::string StatusName(DownloadStatus status);
std::string DumpPlan(const PrereqPlan& plan);

}  // namespace korvelt::testing
