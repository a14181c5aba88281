// The whole of a plan as one text, so that one comparison checks it all:
// a line "folder" with the download folder, a line "actions" with the
// action of every prerequisite by name, and a line "item" for every item
// of the batch with its prerequisite's index, URL, size and status.
#pragma once

#include <string>

#include "download/plan.h"

namespace korvelt::testing {

std::string ActionName(int32_t action);
std::string StatusName(DownloadStatus status);
std::string DumpPlan(const PrereqPlan& plan);

}  // namespace korvelt::testing
