// The current user's Run value that starts the bootstrapper again at the
// next logon while prerequisites are being handled. Name and data are both
// the bootstrapper's full path. Every failure is silent.
#pragma once

#include <windows.h>

namespace korvelt {

// HKEY_CURRENT_USER's Run key, which the two operations below use.
constexpr const char* kRunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Writes the value unless one of that name is present (its data are not
// compared). False when the key cannot be opened with full access; the key
// is never created.
bool RegisterRestart(const char* runValueName, HKEY root = HKEY_CURRENT_USER, const char* keyPath = kRunKeyPath);

// Deletes the value when it is present. False when the key cannot be
// opened, as above.
bool UnregisterRestart(const char* runValueName, HKEY root = HKEY_CURRENT_USER, const char* keyPath = kRunKeyPath);

}  // namespace korvelt
