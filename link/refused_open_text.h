#pragma once
// What the user reads after "unable to connect" when the processor is plugged in but could not
// be opened: the reason and what to do about it, in the interface language. Both front ends
// show it under the message; the connection code itself stays silent about it.

#include <string>

#include "core/encodings.h"
#include "link/hid_link.h"

namespace zelto {

/// The reason and the fix, two lines without a trailing line break.
std::string RefusedOpenText(const RefusedOpen& refused, Language lang);

/// The backend's own words for a failure without a found processor (a TCP device that refused
/// the connection, sent no hello or is no report stream), led in for the user; empty when the
/// backend has nothing to say.
std::string LinkErrorText(const std::string& detail, Language lang);

}  // namespace zelto
