#pragma once
// The text of a settings file with new values written into it, as the
// Options dialog saves them. The user's lines stay as they are, comments and
// order included: a key that is there gets its new value in place, a key
// that is not goes into its section (after its commented-out example when
// the section has one), a section that is not there goes at the end.
// No platform header: the caller reads and replaces the file.

#include <string>

#include "settings/settings.h"

// `text` with `values` written into it. A key with an empty value ("none":
// every interface, no station id, no JSON feed ...) is removed, since the
// file cannot say "none"; a key that is not in the file and would be set to
// its default is not added; keys that `values` does not name stay as they
// are. New lines end as the file's lines do (CR LF for a new file).
std::string UpdateSettingsText(const std::string& text, const SettingsFile& values);
