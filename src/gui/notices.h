#pragma once

#include <QString>

#include <optional>

#include "lookup/announcer.h"

namespace quarvel {

// The words of each notice, from one table: its status text (none for a
// notice that only sounds) and its voice cue, as a path below the run
// directory (none for a notice that only shows).
std::optional<QString> StatusOf(Notice notice);
std::optional<QString> CueOf(Notice notice);

// Tells notice through announcer: the status text first, then the cue.
void Announce(Announcer& announcer, Notice notice);

}  // namespace quarvel
