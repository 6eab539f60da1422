#pragma once
// Sending a loaded image to the processor. StartUpdate reopens the processor in firmware-update
// mode and starts the link worker, which then runs RunUpdateExchange once per turn without the
// TransferLock. The frames are built lazily by UpdateBuilderStep whenever the queue runs dry:
//
//   DSP image:        START (16 zero bytes), HEADER (4 x image byte 0), BLOCK (296 bytes) ...,
//                     the final BLOCK padded with 0xFF, END (check value)
//   controller image: BEGIN1, BEGIN2 (16 zero bytes each), BLOCK (48 bytes) ..., the final BLOCK
//                     padded with 0xFF, END (check value)
//
// After the reply to START the processor restarts into its loader: the worker pauses and opens
// it again. Replies move the progress bar and pick the status line's text; the acknowledgement of
// the DSP END (or of the controller END when no DSP image was loaded) posts Notice::UpdateDone
// (0, 179). An RSP_RESEND to an END sends it again rather than counting as the confirmation.
// A missing reply, a third exchange for one message or a processor that does not come back posts
// Notice::LinkFailed, which the Engine handles as every link failure.
//
// One UpdateTransfer lives beside the Engine for the whole run (the window owns both); it plugs
// itself into the engine's worker and queue while it exists.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "core/notice.h"
#include "link/link_worker.h"
#include "update/update_file.h"
#include "update/update_view.h"

namespace zelto {

class Engine;

namespace update_timing {
using std::chrono::milliseconds;
inline constexpr milliseconds kSearchLimit{10000};    // how long StartUpdate looks for the processor
inline constexpr milliseconds kSearchPause{50};       // between two attempts to open it
inline constexpr milliseconds kEmptyQueuePause{50};   // a turn that found nothing to send
inline constexpr milliseconds kReplyDeadline{10000};  // from the exchange start
inline constexpr milliseconds kBeforeFailure{10};     // before posting LinkFailed
inline constexpr milliseconds kLoaderRestart{3000};   // after the reply to START, before reopening
// Between requesting an input report and scanning it, by step.
inline constexpr milliseconds kDspReadWait{2};
inline constexpr milliseconds kCtrlBeginReadWait{5000};
inline constexpr milliseconds kCtrlBlockReadWait{600};
inline constexpr milliseconds kCtrlEndReadWait{300};
}  // namespace update_timing

/// The read wait of update step `step` (none for other codes).
std::chrono::milliseconds UpdateReadWait(int step);

/// lParam of Notice::UpdateDone: the step code of the confirmed end.
inline constexpr std::intptr_t kUpdateDoneParam = 179;

/// The durations one update uses. The defaults are the processor's; tests shorten them where
/// waiting would only make them slow.
struct UpdateTiming {
  std::chrono::milliseconds searchLimit = update_timing::kSearchLimit;
  std::chrono::milliseconds searchPause = update_timing::kSearchPause;
  std::chrono::milliseconds emptyQueuePause = update_timing::kEmptyQueuePause;
  std::chrono::milliseconds replyDeadline = update_timing::kReplyDeadline;
  std::chrono::milliseconds beforeFailure = update_timing::kBeforeFailure;
  std::chrono::milliseconds loaderRestart = update_timing::kLoaderRestart;
  /// Replaces every per-step read wait when set.
  std::optional<std::chrono::milliseconds> readWait;
};

class UpdateTransfer final : public UpdateExchanger {
 public:
  enum class StartOutcome {
    Started,      // the worker runs the update
    Busy,         // an update is running already; nothing changed
    FileRefused,  // the image could not be loaded (its message was shown)
    NotFound,     // no processor within the search time ("unable to connect" was shown)
  };

  /// Hooks into `engine`'s worker and queue. `engine` must outlive this object.
  explicit UpdateTransfer(Engine& engine);
  ~UpdateTransfer() override;
  UpdateTransfer(const UpdateTransfer&) = delete;
  UpdateTransfer& operator=(const UpdateTransfer&) = delete;

  /// The dialog that shows the update; null for none. Called on the window thread only.
  void SetView(UpdateView* view) { view_ = view ? view : &nullView_; }

  // ---- The image file ----
  UpdateImageFile& File() { return file_; }
  const std::string& UpdateFilePath() const { return file_.updateFilePath; }
  /// The browse button: while an update runs, the DontClose message; otherwise the chosen path
  /// (nothing when the dialog was cancelled) is remembered and shown. Returns whether one was.
  bool Browse(const std::optional<std::string>& chosen);
  /// Loads `UpdateFilePath` and resets the transfer (step states, the skip-one-turn flag,
  /// updateFinished). Messages go to the view.
  bool LoadUpdateFile();

  // ---- The transfer ----
  /// The start button with the path field's text. Blocks while it searches for the processor
  /// (at most the search limit), writing the search text into the status line.
  StartOutcome StartUpdate(const std::string& pathField);
  /// One update exchange; runs on the link worker.
  void RunUpdateExchange() override;
  /// Builds and queues the next update frames when the queue is empty; runs on the link worker.
  void UpdateBuilderStep();
  /// Handler of Notice::UpdateDone: stops the worker, leaves update mode, closes the connection
  /// and shows UpdateSuccessful. Any lParam other than 179 is ignored.
  void OnUpdateDone(std::intptr_t lParam);
  /// Runs the engine side of Notice::UpdateStatus (progress and status line) and
  /// Notice::UpdateDone. Returns whether the notice was one of these.
  bool HandleNotice(Notice notice, std::intptr_t wParam, std::intptr_t lParam);

  /// The close box, cancel and close: false (with the DontClose message) while an update runs.
  bool RequestClose();
  /// The dialog has closed: update mode is left.
  void OnDialogClosed();

  bool Updating() const;
  /// Replies received since the start: the position of the progress bar.
  int ProgressPosition() const { return progressPosition_; }

  UpdateTiming timing;

  // Step states of the two sequences.
  static constexpr int kDspStartPending = 0;
  static constexpr int kDspHeaderPending = 1;
  static constexpr int kDspSendingBlocks = 2;
  static constexpr int kDspEndPending = 3;
  static constexpr int kCtrlBeginPending = 0;
  static constexpr int kCtrlSendingBlocks = 1;
  static constexpr int kCtrlEndPending = 2;
  static constexpr int kSequenceDone = 4;

 private:
  void ResetTransfer();
  void OnReply(int step);
  void ConfirmEnd(int step);
  void PushUpdateFrame(std::uint8_t step, std::span<const std::uint8_t> payload);
  void DspSequence();
  void ControllerSequence();
  void PostLinkFailed();
  std::chrono::milliseconds ReadWaitFor(int step) const;

  Engine& engine_;
  UpdateView nullView_;
  UpdateView* view_ = &nullView_;
  UpdateImageFile file_;

  // Worker-side state: written by the worker during the transfer and by the window thread only
  // while the worker is stopped.
  int dspState_ = kDspStartPending;
  int controllerState_ = kCtrlBeginPending;
  int controllerAddress_ = 0;
  bool skipOneTurn_ = false;
  std::int32_t framesBuilt_ = 0;
  std::atomic<bool> dspLoaded_{false};
  std::atomic<bool> failurePosted_{false};
  std::atomic<int> progressPosition_{0};
};

}  // namespace zelto
