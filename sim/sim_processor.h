#pragma once
// The simulated processor: the device side of the link, answering frames as the real processor
// does, with its own parameter memory and switchable faults. It is fed whole HID reports, so the
// in-process backend (SimTransport) and the report-stream server (SimServer) drive the very same
// object. Every member is thread-safe.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/device_image.h"
#include "core/protocol.h"
#include "core/update_steps.h"
#include "core/wire.h"
#include "link/tcp/report_stream.h"

namespace zelto::sim {

/// Time the processor is away while it restarts into its loader after STEP_DSP_START. The tool
/// pauses 3000 ms before it reopens the device, so the restart must end well inside that.
inline constexpr std::chrono::milliseconds kLoaderRestartTime{1000};
/// "Stays away" for DisconnectAfter and SetRestartTime.
inline constexpr std::chrono::milliseconds kForever = std::chrono::milliseconds::max();

/// Whether header byte 8 of a CMD_WRITE to BLOCK_SYSTEM is a firmware-update step.
bool IsUpdateStep(std::uint8_t item);

enum class Fault {
  DropReply,     // the frame is handled, but no reply ever comes
  CorruptCheck,  // the reply's check byte is wrong
  Resend,        // the frame is not handled; the reply is RSP_RESEND
  EmptyData,     // a read is answered with RSP_DATA without payload (old firmware)
  SlowReply,     // the reply comes after the slow-reply delay (SetSlowReplyDelay) on top of the usual one
};
inline constexpr int kEveryFrame = -1;

/// Which received frames a fault hits, counted from the moment it is injected: it skips `skip`
/// frames, then hits the next `count` (kEveryFrame: all that follow), of those only every
/// `every`-th (the first, then every `every` frames).
struct FaultWindow {
  int skip = 0;
  int count = kEveryFrame;
  int every = 1;
};

enum class Reply : std::uint8_t { None, Ack, Resend, Data, EmptyData };

/// One frame as the processor received it. `bytes` always starts with three 0xA2 bytes, so the
/// frame offsets of core/protocol.h apply; byte 3 is the byte that started the frame (A3 or EE).
struct SimFrameRecord {
  std::uint64_t number = 0;  // 1 for the first frame this processor received
  std::vector<std::uint8_t> bytes;
  bool valid = false;  // complete, with the right end and check byte
  Reply reply = Reply::None;
  std::chrono::steady_clock::time_point receivedAt;

  std::uint8_t Command() const { return At(frame::kCommand); }
  std::uint8_t Slot() const { return At(frame::kSlot); }
  std::uint8_t BlockTypeCode() const { return At(frame::kBlockType); }
  std::uint8_t ChannelOrItem() const { return At(frame::kChannel); }
  std::uint8_t Byte9() const { return At(frame::kItemIndex); }
  std::uint8_t LinkFlag() const { return At(frame::kLinkFlag); }
  std::size_t PayloadLength() const;
  std::span<const std::uint8_t> Payload() const;

 private:
  std::uint8_t At(std::size_t i) const { return i < bytes.size() ? bytes[i] : 0; }
};

/// One line for a trace: the request in words and the reply it got.
std::string DescribeFrame(const SimFrameRecord& record);

/// What the processor received during firmware updates.
struct SimUpdateRecord {
  std::vector<std::uint8_t> steps;  // step codes in the order received
  std::vector<std::uint8_t> dspHeader;
  std::vector<std::uint8_t> dspImage;  // the payloads of STEP_DSP_BLOCK, in order
  std::optional<std::uint8_t> dspChecksum;
  std::vector<std::uint8_t> controllerImage;
  std::optional<std::uint8_t> controllerChecksum;
  int restarts = 0;  // restarts into the loader after STEP_DSP_START
};

class SimProcessor {
 public:
  SimProcessor();
  SimProcessor(const SimProcessor&) = delete;
  SimProcessor& operator=(const SimProcessor&) = delete;

  // ---- The device side of a link ----
  /// Whether the device is attached now (it is away while restarting and after a removal).
  bool Present() const;
  /// Changes every time the device goes away. A host connection made under an older generation
  /// is dead, as a USB handle is after the device has been unplugged.
  std::uint64_t Generation() const;
  /// A host's own view of the link: its half-received frame and the replies it has not read.
  /// Hosts connected at the same time each have one, so one host never reads (or loses) the
  /// replies meant for another; the parameter memory is shared by all.
  using SessionId = std::uint64_t;
  static constexpr SessionId kDefaultSession = 0;

  /// Takes one 313-byte output report (byte 0 the report ID). Frames may span reports; each
  /// complete frame is answered with one reply frame. False when `generation` is not current
  /// or the device is away.
  bool WriteOutputReport(std::span<const std::uint8_t, kHidReportSize> report, std::uint64_t generation,
                         SessionId session = kDefaultSession);
  /// Fills one input report: the oldest pending reply of `session` that is due, or all zero.
  /// False as above.
  bool ReadInputReport(std::span<std::uint8_t, kHidReportSize> report, std::uint64_t generation,
                       SessionId session = kDefaultSession);
  /// Forgets the session's half-received frame and unread replies: a new host session begins.
  void ResetLink(SessionId session = kDefaultSession);

  // ---- Identity ----
  report_stream::Attributes UsbAttributes() const;
  void SetUsbAttributes(const report_stream::Attributes& attributes);
  /// The text returned for SYS_DEVICE_INFO (17 bytes on the wire, cut or zero-padded).
  void SetIdentity(std::string_view text);

  // ---- Faults ----
  void InjectFault(Fault fault, FaultWindow window = {});
  void ClearFaults();
  /// Replies become visible in input reports only this long after their frame arrived.
  void SetReplyDelay(std::chrono::milliseconds delay);
  /// The extra delay of the replies Fault::SlowReply hits.
  void SetSlowReplyDelay(std::chrono::milliseconds delay);
  /// The device answers `frames` more frames and goes away once the last reply has been read,
  /// for `away` (kForever: until Replug). 0 frames switches this off.
  void DisconnectAfter(int frames, std::chrono::milliseconds away = kForever);
  /// How long the device is away after STEP_DSP_START (kForever: it never comes back).
  void SetRestartTime(std::chrono::milliseconds away);
  /// The device goes away for good, without a reply, when the `updateFrames`-th firmware-update
  /// frame from now arrives. 0 switches this off.
  void VanishDuringUpdate(int updateFrames);
  /// The cable is pulled / put back.
  void Unplug();
  void Replug();

  // ---- Inspection (tests, trace) ----
  /// A copy of the parameter memory.
  DeviceImage Memory() const;
  /// Changes the parameter memory in place, as the processor's own controls would.
  void EditMemory(const std::function<void(DeviceImage&)>& edit);
  /// Back to factory settings (what SYS_FACTORY_RESET does).
  void FactoryReset();
  /// The frame log: every frame received since the start or the last ClearFrameLog.
  std::vector<SimFrameRecord> Frames() const;
  /// Frames received since the start or the last ClearFrameLog, whether the log keeps them or not.
  std::size_t FrameCount() const;
  /// A simulator serving for hours keeps no log (its trace prints each frame instead); frames are
  /// still counted. On by default, for the tests that read it.
  void SetFrameLogKept(bool kept);
  /// Waits until at least `count` frames were received. False on timeout.
  bool WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const;
  void ClearFrameLog();
  SimUpdateRecord UpdateRecord() const;
  /// Called (outside the processor's lock, on the thread that wrote the report) for every frame.
  void SetFrameObserver(std::function<void(const SimFrameRecord&)> observer);

 private:
  using Clock = std::chrono::steady_clock;
  enum class After { Nothing, Restart, Disconnect };
  struct Pending {
    std::vector<std::uint8_t> frame;
    Clock::time_point due;
    After after = After::Nothing;
  };
  struct ActiveFault {
    bool armed = false;
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    std::uint64_t every = 1;
  };

  struct Session {
    // Frame finder state.
    bool inFrame = false;
    int syncCount = 0;
    std::vector<std::uint8_t> collected;
    std::deque<Pending> pending;
  };

  bool PresentLocked(Clock::time_point now) const;
  void VanishLocked(std::chrono::milliseconds away);
  Session& SessionLocked(SessionId id);
  void ScanLocked(std::span<const std::uint8_t> bytes, Session& session, std::vector<SimFrameRecord>& done);
  SimFrameRecord HandleFrameLocked(std::vector<std::uint8_t> frame, bool valid, Session& session);
  bool FaultHitsLocked(Fault fault, std::uint64_t frameNumber) const;
  // Carries out a valid, non-update request; returns the reply kind and fills `payload`.
  Reply ExecuteLocked(const SimFrameRecord& request, std::vector<std::uint8_t>& payload);
  Reply ExecuteWriteLocked(const SimFrameRecord& request);
  Reply ExecuteReadLocked(const SimFrameRecord& request, std::vector<std::uint8_t>& payload);
  void RecordUpdateLocked(const SimFrameRecord& request);
  void FactoryResetLocked();

  mutable std::mutex mutex_;
  mutable std::condition_variable framesChanged_;

  DeviceImage memory_{};
  std::string identity_{kModelIdentity};
  report_stream::Attributes attributes_{kVendorId, kProductId, kVersionNumber};

  std::map<SessionId, Session> sessions_;
  std::uint64_t framesReceived_ = 0;
  std::uint64_t updateFramesReceived_ = 0;
  std::array<ActiveFault, 5> faults_{};
  std::chrono::milliseconds replyDelay_{0};
  std::chrono::milliseconds slowReplyDelay_{0};
  std::uint64_t disconnectAtFrame_ = 0;
  std::chrono::milliseconds disconnectAway_ = kForever;
  std::chrono::milliseconds restartTime_ = kLoaderRestartTime;
  std::uint64_t vanishAtUpdateFrame_ = 0;

  Clock::time_point absentUntil_{};
  std::uint64_t generation_ = 1;

  std::vector<SimFrameRecord> log_;
  bool logKept_ = true;
  std::size_t frameCount_ = 0;
  SimUpdateRecord update_;
  std::function<void(const SimFrameRecord&)> observer_;
};

}  // namespace zelto::sim
