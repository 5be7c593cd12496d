// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The close and minimize tokens of a launch entry. Comparisons are exact and
// case-sensitive. For an unknown minimize token the launch and the properties
// dialog disagree on purpose: the launch does not minimize, the dialog shows
// the box checked (and its OK then writes "minimized").

#include <string>

namespace launch {

bool launchCloses(const std::string& token);           // exactly "close"
bool launchMinimizes(const std::string& token);        // exactly "minimized"
bool dialogClosesChecked(const std::string& token);    // exactly "close"
bool dialogMinimizeChecked(const std::string& token);  // anything but exactly "notminimized"

const char* closeToken(bool close);        // "close" / "noclose"
const char* minimizeToken(bool minimize);  // "minimized" / "notminimized"

}  // namespace launch
