#pragma once
// The `measure` group of zeltoctl: sound devices and acoustic measurements.

#include <CLI/CLI.hpp>

#include <functional>
#include <optional>

#include "ctl/commands.h"
#include "ctl/measure_run_command.h"

namespace zelto::ctl {

class MeasureGroup {
 public:
  MeasureGroup(CLI::App& app, const std::function<void(CLI::App*)>& addCommon);
  /// The exit status when `measure` was given, or nothing.
  std::optional<int> Run(CommandContext& c);

 private:
  CLI::App* measure_ = nullptr;
  CLI::App* devices_ = nullptr;
  MeasureRunOptions run_;
};

}  // namespace zelto::ctl
