#pragma once
// What the user reads after "unable to connect": why (nothing found, a processor that could not be
// opened, one that stopped answering or went away) and what to do about it, in the interface
// language. Both front ends show it under the message; the connection code itself stays silent.

#include <optional>
#include <string>

#include "core/encodings.h"
#include "link/hid_link.h"
#include "link/link_view.h"

namespace zelto {

/// The reason and the fix, two lines without a trailing line break.
std::string RefusedOpenText(const RefusedOpen& refused, Language lang);

/// The lines under "unable to connect" for any cause: what happened and what to do. `refused` is
/// the link's refusal (for ConnectFailure::Refused), `detail` the transport's own words.
std::string ConnectFailureText(ConnectFailure why, const std::optional<RefusedOpen>& refused, const std::string& detail,
                               Language lang);

}  // namespace zelto
