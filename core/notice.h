#pragma once
// Notices the engine posts to whoever shows the program (the window, the command-line tool, a
// test). The values are the window-message numbers the processor's tool has always used, so a
// notice can be found from its number; the last few carry engine calls that have no message.

#include <cstdint>

namespace zelto {

enum class Notice : std::uint32_t {
  GraphChanged = 0x464,     // a filter handle was dragged
  LiveReadDone = 0x46E,     // wParam = slot: the last block of a read into the live image arrived
  PresetsReadDone = 0x46F,  // the last block of a read of all preset slots arrived
  SourcesReadDone = 0x470,  // the effect block of source slot 40 arrived
  SourceRead = 0x471,       // wParam = slot: one source slot was read into the live effect
  TransferDone = 0x496,     // lParam = 1 after a write batch, 0 after a read batch or a single transfer
  UpdateDone = 0x497,       // the processor confirmed the end of a firmware image
  LinkFailed = 0x49A,       // no reply in time; the connection is closed
  AutoConnect = 0x49C,
  EmptyReply = 0x4A0,    // a data reply without payload: the firmware must be updated
  DeviceInfo = 0x4A1,    // the identity text arrived
  PresetName = 0x4A3,    // wParam = slot: a preset name arrived
  DeviceSource = 0x4A5,  // wParam = source the processor reports
  DeviceVolume = 0x4A6,  // wParam = master volume the processor reports
  DeviceMute = 0x4A7,    // wParam = master sound switch the processor reports
  MixPageClosed = 0x52F,

  // Engine calls into the progress display (no window message of their own).
  TransferPosition = 0x10001,  // wParam = progress step of the reply
  UpdateStatus = 0x10002,      // wParam = firmware-update step whose status text is due
  DeviceRemoved = 0x10003,     // the open device went away (watcher or failed report)
  DeviceArrived = 0x10004,     // a matching device appeared while the watcher runs

  // The edit layer asks the front end (no window message of its own).
  ConnectChoice = 0x10005,  // the read-back differs from edits the processor never received
};

/// Receives notices from any thread. Implementations never block and never call back into the
/// engine from inside Post: the window queues a call onto its own thread, tests queue the notice.
class NoticeSink {
 public:
  virtual ~NoticeSink() = default;
  virtual void Post(Notice notice, std::intptr_t wParam, std::intptr_t lParam) noexcept = 0;
};

/// A sink that drops everything, for code paths that run without anyone watching.
class NullNoticeSink final : public NoticeSink {
 public:
  void Post(Notice, std::intptr_t, std::intptr_t) noexcept override {}
};

}  // namespace zelto
