// The consistency findings of a whole site, in the order the diagnosis lists them:
// zones in use, every line or loop, groups in use, the last two on-board relays and,
// on panel types with security functions, the two breaking functions.
#pragma once

#include "platform/StringList.h"

class TZavo;

// The parts of the report, in their order.
enum class CheckSection { Zones, Lines, Groups, Relays, Breaking };
inline constexpr CheckSection kCheckSections[] = {CheckSection::Zones, CheckSection::Lines, CheckSection::Groups,
                                                  CheckSection::Relays, CheckSection::Breaking};

// Appends the non-empty check texts of the section's elements (each may hold several lines).
void CollectSectionChecks(TZavo& root, CheckSection section, platform::StringList& list);
// Appends the findings of every section in order, without separators.
void CollectSiteChecks(TZavo& root, platform::StringList& list);
