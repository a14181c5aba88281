// The decision: what detection's findings mean for each prerequisite, and
// the texts the wizard shows for it.
#pragma once

#include "base/chars.h"
#include "base/string.h"
#include "platform/os_family.h"
#include "prereq/records.h"

namespace korvelt {

// The initial action of prerequisite `index` on a system of `running`
// family: NotRequired when its TargetOS excludes the system, DontInstall
// when something found lies in its version range, otherwise Download or
// Install by its Source.
PrereqAction DecideInitialAction(const PrerequisiteList& list, size_t index, OsFamily running);

// True when one of the texts found for prerequisite `index` lies within
// VerMin and VerMax, both inclusive; a bound that parses to the zero
// version is no bound.
bool MatchVersionRange(const PrerequisiteList& list, size_t index);

// Appends one initial action per prerequisite, in list order, to Actions.
// Always 0.
int DecideActions(PrerequisiteList& list, OsFamily running);

// True when some action is Install or Download: there is work for the
// wizard or the quiet run.
bool NeedsWizard(const PrerequisiteList& list);

// True when the general Options hold the letter "q" (lower case only).
bool IsQuietRun(const PrerequisiteList& list, LeadByteTest isLead = NoLeadBytes);

// True when the prerequisite's Options hold the letter "m" (lower case
// only): the user may not change its action.
bool IsMandatory(const Prerequisite& prerequisite, LeadByteTest isLead = NoLeadBytes);

// The Action column's text for `action`; empty for a value without one.
const char* ActionText(int32_t action);

// The Status column's text for prerequisite `index`: what it requires and
// what was found. False only when memory runs out.
bool StatusText(const PrerequisiteList& list, size_t index, String* text);

}  // namespace korvelt
