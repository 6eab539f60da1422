#pragma once
// The `measure` command group of zeltoctl. The group is built here; each part of it (the sweep
// file and the analysis of a recording here, the audio devices and the live measurement
// elsewhere) adds its subcommands or options to the group and runs when they were given.
// Without acoustic measurement in the build the group still exists and says why it cannot work.

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "ctl/commands.h"

namespace zelto::ctl {

/// One part of the `measure` group.
class MeasurePart {
 public:
  virtual ~MeasurePart() = default;
  /// The exit status when this part's command was given, nothing otherwise.
  virtual std::optional<int> Run(CommandContext& c) = 0;
};

class MeasureCommandGroup {
 public:
  /// Adds `measure` to `app`; `addCommon` adds the options every command takes.
  MeasureCommandGroup(CLI::App& app, const std::function<void(CLI::App*)>& addCommon);
  CLI::App* Group() const { return group_; }
  const std::function<void(CLI::App*)>& AddCommon() const { return addCommon_; }
  /// Parts are asked in the order they were added.
  void Add(std::unique_ptr<MeasurePart> part) { parts_.push_back(std::move(part)); }
  /// The exit status when `measure` was given, nothing otherwise.
  std::optional<int> Run(CommandContext& c);

 private:
  CLI::App* group_ = nullptr;
  std::function<void(CLI::App*)> addCommon_;
  std::vector<std::unique_ptr<MeasurePart>> parts_;
};

/// `measure sweep` and `measure analyse`, added to the group (nothing without acoustic
/// measurement in the build).
void AddSweepAndAnalyse(MeasureCommandGroup& group);

}  // namespace zelto::ctl
