#pragma once
// The measurement commands of zeltoctl: REW filter import and export, the automatic EQ and the
// measurement columns of `curve`. Each works on the live processor or, given an input preset
// file, on that file's live preset (written to another file; the input is never changed).

#include <CLI/CLI.hpp>

#include <functional>
#include <optional>
#include <string>

#include "ctl/commands.h"

namespace zelto::ctl {

/// Where a command's channel lives: the processor (no input file) or a preset file.
struct ChannelSource {
  std::string channel;  // "ch3" or "3"
  std::string inFile;   // empty: the live processor
  std::string outFile;  // required with inFile by the commands that change the bands
};

struct EqImportOptions {
  bool json = false;
  /// LSC / HSC frequencies read as corners (older readers) instead of midpoints.
  bool lscCorner = false;
};
int EqImportCommand(CommandContext& c, const std::string& rewFile, const ChannelSource& where,
                    const EqImportOptions& options = {});
int EqExportCommand(CommandContext& c, const ChannelSource& where);

struct AutoEqOptions {
  std::string measurement;
  std::string target = "flat";
  std::string range;  // "LO-HI" in Hz ("1k-2k"); empty: the channel's pass band
  double maxBoostDb = 6.0;
  double cutLimitDb = 12.0;
  double flatnessDb = 1.0;
  std::optional<double> lowCutHz;
  bool json = false;
};

/// "40-16000", "1k-2k", "80hz-12.5khz": the range in Hz, or nothing.
std::optional<std::pair<double, double>> ParseHzRange(const std::string& text);
int AutoEqCommand(CommandContext& c, const ChannelSource& where, const AutoEqOptions& options);

/// `curve FILE --channel chN --measurement M [--measured-with IN]`: the channel's response with
/// the measurement and the response predicted for FILE's settings when M was measured with IN's
/// (by default with FILE's own).
int CurveWithMeasurementCommand(CommandContext& c, const std::string& path, const std::string& channel, int slot,
                                const std::string& measurement, const std::string& measuredWith);

/// The command line of these commands: `eq import`, `eq export` and `autoeq` on `app`, and the
/// measurement options of the existing `curve` command.
class MeasureCommandLine {
 public:
  MeasureCommandLine(CLI::App& app, CLI::App* curve, const std::function<void(CLI::App*)>& addCommon);
  /// The exit status of the one of these commands that was given, or nothing. `curve*` are the
  /// values the `curve` command read itself.
  std::optional<int> Run(CommandContext& c, const std::string& curveFile, const std::string& curveChannel,
                         int curveSlot);

 private:
  CLI::App* eq_ = nullptr;
  CLI::App* import_ = nullptr;
  CLI::App* export_ = nullptr;
  CLI::App* autoeq_ = nullptr;
  CLI::App* curve_ = nullptr;
  std::string rewFile_;
  ChannelSource where_;
  AutoEqOptions autoEq_;
  EqImportOptions importOptions_;
  std::string measurement_;
  std::string measuredWith_;
};

}  // namespace zelto::ctl
