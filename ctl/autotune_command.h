#pragma once
// `zeltoctl autotune --audio-out DEV --audio-in DEV --positions N`: measures the chosen channels at
// every microphone position, aligns, sets polarity, levels and EQ as one step, measures again and
// reports before and after.

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>

#include "ctl/measure_commands.h"

namespace zelto::ctl {

/// Adds `autotune` to `app`; the part runs when it was given.
std::unique_ptr<MeasurePart> AddAutoTune(CLI::App& app, const std::function<void(CLI::App*)>& addCommon);

}  // namespace zelto::ctl
