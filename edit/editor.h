#pragma once
// The edit layer: every change a user can make to the tuning or the top bar is one call here, with
// its limits and its link-group rule. The window and the command-line tool both call it and hold
// no rule of their own; what a call changes reaches the processor through the objects' dirty flags
// (the change scan) or, for the whole-EQ commands and channel copies, as whole output blocks.
//
// Threads: every method runs on the owner's thread and takes the model lock (and, for block sends
// and system writes, the TransferLock first) itself.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/encodings.h"
#include "core/notice.h"
#include "core/device_image.h"
#include "edit/ab_compare.h"
#include "edit/history.h"
#include "edit/recovery_file.h"
#include "edit/linking.h"
#include "edit/unsent_edits.h"
#include "link/connection_observer.h"

namespace zelto {

class CKTV_Data;
class Engine;
class PresetFiles;
struct PresetFileResult;

/// The band gain code an off band shows (0 dB): typing it into an off band changes nothing.
inline constexpr int kBandGainFlatCode = 200;

class Editor : public RecoveryPart, private ConnectionObserver {
 public:
  explicit Editor(Engine& engine);
  ~Editor() override;
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;

  Engine& engine() { return engine_; }

  // ---- history -----------------------------------------------------------------------------
  // Every call below that changes the live preset is a step of its own unless a step is open:
  // then everything up to the matching EndStep is one step, named after its first edit unless
  // `label` names it. Steps nest; only the outermost counts.

  void BeginStep(StepLabel label = {}, bool wholeBlocks = false);
  void EndStep();
  /// Opens a step for its lifetime.
  class StepScope {
   public:
    explicit StepScope(Editor& editor, StepLabel label = {}, bool wholeBlocks = false) : editor_(editor) {
      editor_.BeginStep(label, wholeBlocks);
    }
    ~StepScope() { editor_.EndStep(); }
    StepScope(const StepScope&) = delete;
    StepScope& operator=(const StepScope&) = delete;

   private:
    Editor& editor_;
  };
  bool StepOpen() const { return stepDepth_ > 0; }
  /// Loads a preset file (PresetFiles::LoadFile) as one step, undone as whole blocks. A slot
  /// recalled from the processor becomes a step by itself when its settings arrive.
  PresetFileResult LoadPresetFile(PresetFiles& files, const std::string& path);
  /// Takes back the last step: the changed items go to the processor as item writes (a file
  /// load's changed blocks as whole blocks). False when there is nothing to undo or a step is open.
  bool Undo();
  /// Applies the step undone last again.
  bool Redo();
  const History& Steps() const { return history_; }
  /// After a factory reset or a firmware update nothing before them can be taken back.
  void ClearHistory() { history_.Clear(); }

  /// Applies both A/B sides from a crashed editor's recovery file as one step (editor_restore.cpp):
  /// the active side goes into the objects and, with a processor connected, the blocks that
  /// differ from what it holds are queued; an undo sends its own settings back. Nothing is done
  /// while a step is open or without the A/B sides.
  AbCompare::Outcome RestoreRecovered(const AbSnapshot& sides);

  /// The history (steps and cursor) for the recovery file; a blob that is not one leaves the
  /// history empty.
  std::vector<std::uint8_t> SaveRecoveryPart() override { return history_.Bytes(); }
  bool RestoreRecoveryPart(std::span<const std::uint8_t> blob) override;

  // ---- A/B ---------------------------------------------------------------------------------
  // Steps are over the live tuning. A switch is a step of its own: its undo switches back (the
  // blocks that differ go out as for any switch), its redo switches again, so a step made on one
  // side is undone on that side once the switches after it are undone.

  /// The sides the A/B steps act on; without them those calls and steps do nothing.
  void SetAb(AbCompare* ab) { ab_ = ab; }
  AbCompare::Outcome SwitchAb();
  /// A copy into the active side is a step over the live tuning (its undo sends the changed
  /// blocks back); a copy into the other side is a step that changes only that side.
  AbCompare::Outcome CopyAb(AbSide from, AbSide to);

  // ---- EQ bands ----------------------------------------------------------------------------

  /// Any of a band's values; those left empty stay as they are.
  struct BandChange {
    std::optional<int> hz;
    std::optional<int> bandwidthIndex;
    std::optional<int> gainCode;
    /// true: the band off (flat), false: on.
    std::optional<bool> off;

    static BandChange Frequency(int hz) { return {hz, {}, {}, {}}; }
    static BandChange Width(int bandwidthIndex) { return {{}, bandwidthIndex, {}, {}}; }
    static BandChange Gain(int gainCode) { return {{}, {}, gainCode, {}}; }
    static BandChange Off(bool off) { return {{}, {}, {}, off}; }
  };
  /// Band `band` (0-based) of channel `channel` and of its link group. A value equal to what the
  /// band shows is no edit (an off band shows 0 dB, and storing that would lose the gain it keeps
  /// for being switched on again). Returns whether anything changed.
  bool EditBand(int channel, int band, const BandChange& change);
  /// After a handle of the graph moved band `band` of `channel`: the link group takes its
  /// frequency, width and gain.
  void FollowBand(int channel, int band);
  /// Whether every band of the channel is off or bypassed (the channel's EQ bypass).
  bool EqBypassOn(int channel);

  // ---- whole-EQ commands (block sends with the mute bracket) ---------------------------------

  struct BlockResult {
    /// False when nothing was changed (the EQ bypass could not be lifted).
    bool applied = true;
    /// A queued block carries the transfer-finished flag: its reply ends the progress display.
    bool flagged = false;
  };
  /// Sets or lifts the EQ bypass of `channel` and sends the link group's blocks inside the mute
  /// bracket. Lifting it on a channel whose bands are all off by themselves changes nothing.
  BlockResult SetEqBypass(int channel, bool on);
  /// Switches the EQ mode of the link group (0 parametric, 1 graphic) and resets its bands.
  BlockResult SetEqMode(int channel, int mode);
  /// Resets the bands of the whole link group.
  BlockResult ResetGroupEq(int channel);
  /// Resets the bands of `channel` (and its pair partner while linking is on); the group is muted.
  BlockResult ResetChannelEq(int channel);

  // ---- crossovers --------------------------------------------------------------------------

  /// Which box the frequency was typed into: the main form's boxes stop the moved filter at the
  /// other one; the output page also keeps channel 5's high-pass at 100 Hz or below. A graph
  /// handle is not limited.
  enum class CrossoverBox { Main, Page, Graph };
  /// Sets the high- or low-pass frequency of the link group; returns the frequency stored.
  int SetCrossoverFrequency(int channel, bool highPass, int hz, CrossoverBox box);
  /// The list position is the code stored and sent, whatever the list reads.
  void SetCrossoverFamily(int channel, bool highPass, int family);
  void SetCrossoverSlope(int channel, bool highPass, int slope);

  // ---- channel values ----------------------------------------------------------------------

  /// Code 0 switches the gain off; the channel object copies it to its link group.
  void SetGain(int channel, int gainCode);
  /// Mute stays the channel's own. Returns whether it changed.
  bool SetSoundOn(int channel, bool soundOn);
  /// Returns the new state.
  bool ToggleSoundOn(int channel);
  bool SetPhase(int channel, int phase);
  /// Returns the new phase.
  int TogglePhase(int channel);
  /// Returns whether the delay changed.
  bool SetDelay(int channel, int delayCode);
  /// The limiter setters copy all three values to the link group themselves.
  void SetLimiterThreshold(int channel, int code);
  void SetLimiterAttack(int channel, int code);
  void SetLimiterRelease(int channel, int code);
  /// Refused (false) when the name has 8 or more bytes.
  bool SetChannelName(int channel, std::string_view name);
  /// One mix share (source 0..11, 0..100 %); true when it changed.
  bool SetMixShare(int channel, int source, int percent);
  /// The mix page's two top fields; kept by the editor only, nothing is sent.
  bool SetMixPageField(int field, int value);

  // ---- linking -----------------------------------------------------------------------------

  bool LinkOn() const { return linkOn_; }
  struct LinkResult {
    /// No pair of channel types has both channels: nothing linked.
    bool noPairs = false;
    bool flagged = false;
    std::vector<rules::ChannelCopy> copies;
  };
  /// Pairs the channels by type and copies each reference side into its partner (sent as blocks).
  LinkResult Link(rules::CopyDirection direction);
  /// Ends the grouping; the copied settings stay and nothing is sent.
  void Unlink();

  // ---- top bar and system settings ---------------------------------------------------------
  // Each stores into the system settings and, when a processor is connected, writes them at once.

  /// Acts only on a value that differs from the stored one; returns whether it did.
  bool SetMasterVolume(int volume);
  bool SetMasterSoundOn(bool soundOn);
  /// Choosing from the source list always writes, even the source already chosen.
  void SetSource(int source);
  void SetNoiseGate(int index);
  bool SetDspSwitch(bool on);
  /// A source volume slot (0..4, 0..100); written only when it changed.
  bool SetSourceVolume(int slot, int volume);
  /// A source number beyond the list, from a device or a file, is kept as the last source.
  /// Returns the source to show.
  int SettleSource();
  /// Queues the factory reset and clears the history; false (history kept) when no processor is
  /// connected.
  bool FactoryReset();

  // ---- edits the processor has not received (connect_choice.cpp) -----------------------------
  // Steps are kept as unsent until the processor has answered everything queued for them. When a
  // connection's read-back differs from them, the objects show the processor's values and
  // Notice::ConnectChoice asks the front end which to keep.

  bool ConnectChoicePending() const { return connectChoice_ != nullptr; }
  /// The output channels whose settings differ in the open choice.
  std::vector<int> ConnectChoiceChannels() const;
  /// Answers the open choice: `sendMine` sends the user's values as whole output blocks of the
  /// channels that differ and shows them; otherwise the processor's values stay. Either is one
  /// step. `applied` is false when no choice was open.
  BlockResult ResolveConnectChoice(bool sendMine);
  /// The whole live tuning counts as unsent (a tuning restored while no processor is connected).
  void KeepForConnect() { unsent_.MarkAll(); }
  bool HasUnsentEdits() const { return !unsent_.Empty(); }

  // ---- what the processor reports of itself --------------------------------------------------

  /// Stores the source, volume or mute the processor reported (nothing is echoed back). Returns
  /// whether the notice was one of those.
  bool StoreReportedStatus(Notice notice, std::intptr_t value);

 private:
  std::vector<int> Group(int channel) const;
  BlockResult ResetEqOf(const std::vector<int>& muted, const std::vector<int>& reset);
  bool WriteSettings(bool changed);
  /// The live preset as the objects would pack it now; the live image (what the processor holds)
  /// is left as it was.
  PresetImage PackedPreset();
  /// False when the step cannot be applied here (an A/B step without the sides).
  bool ApplyStep(const History::Step& step, bool undo);
  /// ApplyStep, and what it changed in the live tuning counts as unsent until the processor has it.
  bool ApplyStepMarkingUnsent(const History::Step& step, bool undo);
  /// Records what the open step changed so far and lets it go on from here.
  void CutOpenStep();

  // ConnectionObserver, and what decides that the processor holds every step.
  void BeforeReadBackApplied() override;
  void AfterReadBackApplied() override;
  void ConnectionClosing() override;
  void BeforeRecallApplied() override;
  void AfterRecallApplied() override;
  void ForgetUnsentIfHeld(bool whileConnected);

  Engine& engine_;
  bool linkOn_ = false;
  History history_;
  int stepDepth_ = 0;
  StepLabel stepLabel_;
  bool stepWholeBlocks_ = false;
  PresetImage stepBefore_{};
  /// The live preset before a recalled slot replaced it.
  PresetImage recallBefore_{};
  AbCompare* ab_ = nullptr;
  UnsentEdits unsent_;
  struct ConnectChoice {
    PresetImage processor;
    PresetImage mine;
  };
  std::unique_ptr<ConnectChoice> connectChoice_;
  /// The user's tuning as it was when the read-back arrived (while unsent edits exist).
  std::unique_ptr<PresetImage> heldMine_;
};

}  // namespace zelto
