#pragma once
// `zeltoctl measure devices` and `zeltoctl measure --channel ... --audio-out DEV --audio-in DEV`:
// the sound devices, and measuring the processor's channels through them with the measurement
// procedure the editor uses.

#include <CLI/CLI.hpp>

#include <string>

#include "ctl/commands.h"

namespace zelto::ctl {

struct MeasureRunOptions {
  std::string channels;  // "ch1,ch3"
  std::string audioOut;
  std::string audioIn;
  std::string reference;
  std::string calibration;
  std::string outDir;
  int positions = 1;
  bool json = false;
  int rate = 48000;
  double seconds = 1.0;
  double maxLevelDbfs = -6;
  int input = 1;          // processor input the sound card feeds, 1..12
  int outChannel = 1;     // of the output device, 1-based
  int inChannel = 1;      // of the input device, 1-based
  std::string loopback;   // "OUT,IN" channels of the sound card, 1-based
  std::string fullRange;  // channels marked full-range or bass
  int referenceInput = 2;
  int referenceOutChannel = 2;
};

/// Adds the measurement's options to the `measure` group and its `devices` command; returns that
/// command.
CLI::App* AddMeasureRun(CLI::App* measure, MeasureRunOptions& options);

int MeasureDevicesCommand(CommandContext& c);
int MeasureRunCommand(CommandContext& c, const MeasureRunOptions& options);

}  // namespace zelto::ctl
