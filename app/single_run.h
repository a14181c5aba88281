// One run of a given setup at a time: the name of the lock that a run
// holds, made from the setup's full path so that two copies of one file
// meet and two setups do not.
#pragma once

#include "base/chars.h"

namespace korvelt {

// "Local\Korvelt.Setup." and sixteen hexadecimal digits of a hash of the
// path, its ASCII letters folded as a folder folds them, so that one file
// reached under another case of its name is the same setup. The session's
// own namespace: another user's run of the same file is not this one's.
constexpr int kSingleRunNameSize = 40;
void SingleRunName(const char* exePath, LeadByteTest isLead, char (&name)[kSingleRunNameSize]);

}  // namespace korvelt
