#include "update/update_transfer.h"

#include <array>
#include <mutex>
#include <thread>

#include "core/update_steps.h"
#include "link/engine.h"

namespace zelto {

using Clock = std::chrono::steady_clock;
using namespace update_timing;

namespace {

/// A message gets at most two exchanges (a second one after RSP_RESEND); a third fails the update.
constexpr std::int32_t kMaxExchanges = 2;
constexpr std::size_t kBeginPayloadSize = 16;  // START, BEGIN1 and BEGIN2 carry zero bytes
constexpr std::size_t kHeaderPayloadSize = 4;  // four copies of image byte 0
constexpr std::uint8_t kBlockFiller = 0xFF;    // pads the final block
constexpr std::chrono::milliseconds kNoPause{0};

constexpr std::uint8_t Code(UpdateStep step) { return static_cast<std::uint8_t>(step); }

}  // namespace

std::chrono::milliseconds UpdateReadWait(int step) {
  switch (static_cast<UpdateStep>(step)) {
    case UpdateStep::DspStart:
    case UpdateStep::DspHeader:
    case UpdateStep::DspBlock:
    case UpdateStep::DspEnd: return kDspReadWait;
    case UpdateStep::CtrlBegin1:
    case UpdateStep::CtrlBegin2: return kCtrlBeginReadWait;
    case UpdateStep::CtrlBlock: return kCtrlBlockReadWait;
    case UpdateStep::CtrlEnd: return kCtrlEndReadWait;
  }
  return std::chrono::milliseconds{0};
}

UpdateTransfer::UpdateTransfer(Engine& engine) : engine_(engine) {
  file_.RestoreFromSettings(engine_.Store());
  engine_.Queue().SetUpdateReplyHook([this](int step) { OnReply(step); });
  engine_.Worker().SetUpdateExchanger(this);
}

UpdateTransfer::~UpdateTransfer() {
  // The worker must not run an exchange of an object that is going away.
  if (engine_.Flags().updateMode) {
    engine_.Worker().StopWorker(true);
    engine_.Flags().updateMode = false;
  }
  engine_.Worker().SetUpdateExchanger(nullptr);
  engine_.Queue().SetUpdateReplyHook(nullptr);
}

bool UpdateTransfer::Updating() const { return engine_.Flags().updateMode; }

bool UpdateTransfer::Browse(const std::optional<std::string>& chosen) {
  if (Updating()) {
    view_->ShowUpdateMessage(UpdateMessage::DontClose);
    return false;
  }
  if (!file_.ChooseUpdateFile(engine_.Store(), chosen)) return false;
  view_->ShowUpdatePath(file_.updateFilePath);
  return true;
}

void UpdateTransfer::ResetTransfer() {
  engine_.Flags().updateFinished = false;
  dspState_ = kDspStartPending;
  controllerState_ = kCtrlBeginPending;
  controllerAddress_ = 0;
  skipOneTurn_ = true;
  framesBuilt_ = 0;
}

bool UpdateTransfer::LoadUpdateFile() {
  // Only while the worker runs no update exchange: the loaded state is the worker's then.
  if (Updating()) return false;
  ResetTransfer();
  const bool loaded = file_.Load(*view_);
  dspLoaded_ = file_.dspLoaded;
  return loaded;
}

UpdateTransfer::StartOutcome UpdateTransfer::StartUpdate(const std::string& pathField) {
  if (Updating()) return StartOutcome::Busy;
  file_.updateFilePath = pathField;
  if (!LoadUpdateFile()) {
    view_->ShowUpdatePath(file_.updateFilePath);
    return StartOutcome::FileRefused;
  }
  engine_.Disconnect();

  auto& link = engine_.Link();
  if (!link.OpenFirstFreeDevice()) {
    const auto start = Clock::now();
    for (;;) {
      if (Clock::now() - start > timing.searchLimit) {
        engine_.Flags().updateMode = false;
        engine_.View().ShowMessage(UserMessage::UnableToConnect);
        engine_.Queue().Clear();
        return StartOutcome::NotFound;
      }
      if (link.OpenFirstFreeDevice()) break;
      std::this_thread::sleep_for(timing.searchPause);
      view_->ShowUpdateStatus(SearchStatusText(engine_.language));
    }
  }

  engine_.Queue().Clear();
  failurePosted_ = false;
  progressPosition_ = 0;
  engine_.Flags().updateMode = true;
  engine_.Worker().StartWorker();
  view_->SetUpdateRange(file_.updateBlockCount);
  view_->SetUpdatePosition(0);
  return StartOutcome::Started;
}

std::chrono::milliseconds UpdateTransfer::ReadWaitFor(int step) const {
  return timing.readWait.value_or(UpdateReadWait(step));
}

void UpdateTransfer::PostLinkFailed() {
  failurePosted_ = true;
  engine_.Sink().Post(Notice::LinkFailed, 0, 0);
}

void UpdateTransfer::RunUpdateExchange() {
  const auto start = Clock::now();
  auto& link = engine_.Link();
  auto& flags = engine_.Flags();
  auto& queue = engine_.Queue();

  // Once the failure is reported the window stops the worker; until then the turns only wait
  // (the update event stays signalled, so returning at once would spin).
  if (failurePosted_ || !link.IsOpen() || !flags.linkActive) {
    std::this_thread::sleep_for(timing.emptyQueuePause);
    return;
  }

  if (queue.Count() == 0) {
    UpdateBuilderStep();
    if (queue.Count() == 0) {
      std::this_thread::sleep_for(timing.emptyQueuePause);
      return;
    }
  }
  CSendData* front = queue.Front();
  const int step = front->updateStep;
  link.currentUpdateStep = step;
  if (++front->ticks > kMaxExchanges) {
    PostLinkFailed();
    return;
  }
  if (!link.WriteMessage(*front, kNoPause)) return;

  const auto wait = ReadWaitFor(step);
  // Nothing else queues while the exchange runs: a shorter queue means the reply took the front.
  const std::size_t queuedBefore = queue.Count();
  for (;;) {
    if (!flags.linkActive) return;
    link.RequestInputReport();
    if (!flags.linkActive) return;
    if (wait.count() > 0) std::this_thread::sleep_for(wait);
    if (link.ScanInputReport(queue)) {
      // Only a reply that took the end message off the queue confirms the image; an RSP_RESEND
      // to it asks for the end once more.
      if (queue.Count() < queuedBefore) ConfirmEnd(step);
      if (step == Code(UpdateStep::DspStart)) {
        // The processor restarts into its loader and enumerates again.
        std::this_thread::sleep_for(timing.loaderRestart);
        if (!link.ReopenDevice()) PostLinkFailed();
      }
      return;
    }
    if (Clock::now() - start > timing.replyDeadline) {
      std::this_thread::sleep_for(timing.beforeFailure);
      if (flags.linkActive) PostLinkFailed();
      return;
    }
  }
}

void UpdateTransfer::PushUpdateFrame(std::uint8_t step, std::span<const std::uint8_t> payload) {
  SendDataPtr message = engine_.Builder().BuildUpdateFrame(step, payload);
  if (!message) return;
  // A nonzero step makes the reply move the progress bar; update frames are never counted.
  message->progressStep = ++framesBuilt_;
  engine_.Queue().Push(std::move(message));
}

void UpdateTransfer::UpdateBuilderStep() {
  if (skipOneTurn_) {
    skipOneTurn_ = false;
    return;
  }
  // The builder's frame is shared with the window thread's batch senders.
  std::lock_guard lock(engine_.Transfer());
  if (!file_.controllerImage.Empty())
    ControllerSequence();
  else if (!file_.dspImage.Empty())
    DspSequence();
}

void UpdateTransfer::DspSequence() {
  auto& image = file_.dspImage;
  if (dspState_ == kDspStartPending) {
    const std::array<std::uint8_t, kBeginPayloadSize> zeros{};
    PushUpdateFrame(Code(UpdateStep::DspStart), zeros);
    dspState_ = kDspHeaderPending;
  }
  if (dspState_ == kDspHeaderPending) {
    // Four copies of the first byte; the image itself is not consumed.
    std::array<std::uint8_t, kHeaderPayloadSize> header{};
    header.fill(image.Peek());
    PushUpdateFrame(Code(UpdateStep::DspHeader), header);
    dspState_ = kDspSendingBlocks;
  }
  if (dspState_ == kDspSendingBlocks) {
    if (image.Remaining() > update_file::kDspBlockSize) {
      PushUpdateFrame(Code(UpdateStep::DspBlock), image.Take(update_file::kDspBlockSize));
      return;
    }
    std::array<std::uint8_t, update_file::kDspBlockSize> last{};
    last.fill(kBlockFiller);
    const auto rest = image.Take(update_file::kDspBlockSize);
    std::ranges::copy(rest, last.begin());
    PushUpdateFrame(Code(UpdateStep::DspBlock), last);
    dspState_ = kDspEndPending;
  }
  if (dspState_ == kDspEndPending) {
    const std::array<std::uint8_t, 1> check{file_.dspChecksum};
    PushUpdateFrame(Code(UpdateStep::DspEnd), check);
    dspState_ = kSequenceDone;
  }
}

void UpdateTransfer::ControllerSequence() {
  auto& image = file_.controllerImage;
  if (controllerState_ == kCtrlBeginPending) {
    const std::array<std::uint8_t, kBeginPayloadSize> zeros{};
    PushUpdateFrame(Code(UpdateStep::CtrlBegin1), zeros);
    PushUpdateFrame(Code(UpdateStep::CtrlBegin2), zeros);
    controllerState_ = kCtrlSendingBlocks;
  }
  if (controllerState_ == kCtrlSendingBlocks) {
    if (image.Remaining() > update_file::kControllerBlockSize) {
      PushUpdateFrame(Code(UpdateStep::CtrlBlock), image.Take(update_file::kControllerBlockSize));
      controllerAddress_ += static_cast<int>(update_file::kControllerBlockSize);
      return;
    }
    std::array<std::uint8_t, update_file::kControllerBlockSize> last{};
    last.fill(kBlockFiller);
    const auto rest = image.Take(update_file::kControllerBlockSize);
    std::ranges::copy(rest, last.begin());
    controllerAddress_ += static_cast<int>(rest.size());
    PushUpdateFrame(Code(UpdateStep::CtrlBlock), last);
    controllerState_ = kCtrlEndPending;
  }
  if (controllerState_ == kCtrlEndPending) {
    const std::array<std::uint8_t, 1> check{file_.dspChecksum};
    PushUpdateFrame(Code(UpdateStep::CtrlEnd), check);
    controllerState_ = kSequenceDone;
  }
}

void UpdateTransfer::OnReply(int /*step*/) {
  // Runs on the worker inside the receiver, before the reply is acted on: every reply moves the
  // progress bar.
  ++progressPosition_;
}

void UpdateTransfer::ConfirmEnd(int step) {
  const bool dspEnd = step == Code(UpdateStep::DspEnd);
  const bool controllerEnd = step == Code(UpdateStep::CtrlEnd);
  if (dspEnd) engine_.Flags().updateFinished = true;
  if (dspEnd || (controllerEnd && !dspLoaded_)) engine_.Sink().Post(Notice::UpdateDone, 0, kUpdateDoneParam);
}

void UpdateTransfer::OnUpdateDone(std::intptr_t lParam) {
  if (lParam != kUpdateDoneParam) return;
  engine_.Worker().StopWorker(true);
  engine_.Flags().updateMode = false;
  engine_.CloseUsbConnection();
  view_->ShowUpdateMessage(UpdateMessage::UpdateSuccessful);
}

bool UpdateTransfer::HandleNotice(Notice notice, std::intptr_t wParam, std::intptr_t lParam) {
  switch (notice) {
    case Notice::UpdateStatus: {
      view_->SetUpdatePosition(progressPosition_);
      if (lParam != 0) {
        const auto text = UpdateStatusText(static_cast<int>(wParam), engine_.language);
        if (!text.empty()) view_->ShowUpdateStatus(text);
      }
      return true;
    }
    case Notice::UpdateDone: OnUpdateDone(lParam); return true;
    default: return false;
  }
}

bool UpdateTransfer::RequestClose() {
  if (!Updating()) return true;
  view_->ShowUpdateMessage(UpdateMessage::DontClose);
  return false;
}

void UpdateTransfer::OnDialogClosed() {
  if (engine_.Worker().Running() && Updating()) return;  // the dialog refuses to close meanwhile
  engine_.Flags().updateMode = false;
}

}  // namespace zelto
