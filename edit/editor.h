#pragma once
// The edit layer: every change a user can make to the tuning or the top bar is one call here, with
// its limits and its link-group rule. The window and the command-line tool both call it and hold
// no rule of their own; what a call changes reaches the processor through the objects' dirty flags
// (the change scan) or, for the whole-EQ commands and channel copies, as whole output blocks.
//
// Threads: every method runs on the owner's thread and takes the model lock (and, for block sends
// and system writes, the TransferLock first) itself.

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <span>
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
  // `label` names it. Steps nest; only the outermost counts. Each A/B side has its own history;
  // these act on the side being heard.

  void BeginStep(StepLabel label = {}, History::SendAs send = History::SendAs::Items);
  void EndStep();
  /// Opens a step for its lifetime.
  class StepScope {
   public:
    explicit StepScope(Editor& editor, StepLabel label = {}, History::SendAs send = History::SendAs::Items)
        : editor_(editor) {
      editor_.BeginStep(label, send);
    }
    ~StepScope() { editor_.EndStep(); }
    StepScope(const StepScope&) = delete;
    StepScope& operator=(const StepScope&) = delete;

   private:
    Editor& editor_;
  };
  bool StepOpen() const { return stepDepth_ > 0; }
  /// Loads a preset file (PresetFiles::LoadFile) as one step, undone as whole blocks of the
  /// channels that differ. A slot recalled from the processor becomes a step by itself when its
  /// settings arrive.
  PresetFileResult LoadPresetFile(PresetFiles& files, const std::string& path);
  /// Takes back the last step: the changed items go to the processor as item writes (a file
  /// load's changed blocks as whole blocks, a reset's inside the mute bracket). False when there
  /// is nothing to undo or a step is open.
  bool Undo();
  /// Applies the step undone last again.
  bool Redo();
  /// Undoes or redoes until the first `applied` steps of the side heard are applied (a click in
  /// the history panel). False when a step is open or there are not that many steps.
  bool GoToStep(std::size_t applied);
  /// The live tuning of the side being heard, as the objects would pack it (model lock only).
  PresetImage HeardTuning() { return PackedPreset(); }
  /// The history of the side being heard.
  const History& Steps() const { return histories_[SideIndex(ActiveSide())]; }
  const History& StepsOf(AbSide side) const { return histories_[SideIndex(side)]; }
  /// After a factory reset or a firmware update nothing before them can be taken back.
  void ClearHistory();
  /// Times of new steps in milliseconds since 1970; the system clock unless a test sets one.
  void SetClock(std::function<std::int64_t()> clock) { clock_ = std::move(clock); }

  /// Both sides' histories and link states for the recovery file; a blob that is not one leaves
  /// the histories empty. The first form (one history) is read where it can be.
  std::vector<std::uint8_t> SaveRecoveryPart() override;
  bool RestoreRecoveryPart(std::span<const std::uint8_t> blob) override;

  // ---- A/B ---------------------------------------------------------------------------------
  // Switching sides is listening, not editing: no step. Each side keeps its own history and link
  // state; an undo acts on the side being heard and a side's redo branch survives any switches.

  /// The sides the A/B steps act on; without them those calls do nothing.
  void SetAb(AbCompare* ab) { ab_ = ab; }
  AbCompare::Outcome SwitchAb();
  /// A copy into the side heard is a step of its history (its undo sends the changed blocks
  /// back); a copy into the other side is a step of that side's history and sends nothing.
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

  /// One band's whole setting for SetBands; gain code kBandGainFlatCode sets the band off.
  struct BandValues {
    int hz = 1000;
    int bandwidthIndex = 15;
    int gainCode = kBandGainFlatCode;
  };
  struct BandSetResult {
    enum class Status { Set, Unchanged, GraphicMode, NoSuchChannel };
    Status status = Status::Unchanged;
    /// The channels whose bands were set: the channel and its link group.
    std::vector<int> channels;
  };
  /// Sets bands 0..n-1 of `channel` and of its link group to `bands` as one step named `label`
  /// (editor_bands.cpp); only what differs is set, so only that is sent. Refused in graphic EQ
  /// mode, where frequencies and widths are fixed.
  BandSetResult SetBands(int channel, std::span<const BandValues> bands, StepLabel label = {});
  /// Whether SetBands would be refused: a channel of the link group is in graphic EQ mode.
  bool BandsFixed(int channel);

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

  // ---- temporary changes (editor_temporary.cpp) ----------------------------------------------
  // A measurement mutes the other outputs and routes the test signal for a few seconds and takes
  // it all back itself: heard at once like any edit, but no step of the history and no unsent
  // edit. Refused (false, nothing changed) while a step is open, so no step can swallow them.

  bool SetSoundOnTemporarily(int channel, bool soundOn);
  /// One mix share (source 0..11, 0..100 %) of `channel` alone, whatever its link group.
  bool SetMixShareTemporarily(int channel, int source, int percent);

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
  /// Ends the grouping; the copied settings stay and nothing is sent. A step of its own.
  void Unlink();
  LinkState CurrentLink() const;

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
  static std::size_t SideIndex(AbSide side) { return static_cast<std::size_t>(side); }
  AbSide ActiveSide() const { return ab_ ? ab_->Active() : AbSide::A; }
  History& ActiveHistory() { return histories_[SideIndex(ActiveSide())]; }
  std::int64_t Now() const;
  void SetLink(const LinkState& state);
  /// Records a step on the side heard; what it changed counts as unsent.
  bool RecordStep(const StepLabel& label, History::SendAs send, const PresetImage& before, const PresetImage& after,
                  const LinkState* linkBefore = nullptr, const LinkState* linkAfter = nullptr);
  /// Puts the step's values (before or after) into the objects and queues what the processor
  /// needs of them; what it changed counts as unsent until the processor has it.
  void ApplyStep(const History::Step& step, bool undo);
  /// Records what the open step changed so far and lets it go on from here.
  void CutOpenStep();
  /// After a read-back: the values the history holds that the processor had otherwise become a
  /// step, so an undo starts from what the processor really held.
  void RecordProcessorSettings(const PresetImage& before, const PresetImage& readBack);

  // ConnectionObserver, and what decides that the processor holds every step.
  void BeforeReadBackApplied() override;
  void AfterReadBackApplied() override;
  void ConnectionClosing() override;
  void BeforeRecallApplied() override;
  void AfterRecallApplied() override;
  void ForgetUnsentIfHeld(bool whileConnected);

  Engine& engine_;
  bool linkOn_ = false;
  /// The link state of the side not heard.
  LinkState otherLink_ = LinkState::Unlinked();
  std::array<History, 2> histories_;
  int stepDepth_ = 0;
  StepLabel stepLabel_;
  History::SendAs stepSend_ = History::SendAs::Items;
  PresetImage stepBefore_{};
  LinkState stepLinkBefore_;
  std::function<std::int64_t()> clock_;
  /// The live preset before a connection's read-back replaced it.
  PresetImage readBackBefore_{};
  /// The last read-back became a step (the newest one).
  bool readBackStep_ = false;
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
