// The consistency findings of a whole site, in the order the diagnosis lists them:
// zones in use, every line or loop, groups in use, the last two on-board relays and,
// on panel types with security functions, the two breaking functions.
#pragma once

#include "platform/StringList.h"

class TZavo;

// Appends each element's non-empty check text (which may hold several lines).
void CollectSiteChecks(TZavo& root, platform::StringList& list);
