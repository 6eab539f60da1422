// Cost of building and finishing frames, and of the receiver over a stream of replies.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <vector>

#include "core/bytes.h"
#include "core/command_queue.h"
#include "core/device_image.h"
#include "core/frame.h"

namespace {

using namespace zelto;

class DropSink final : public NoticeSink {
 public:
  void Post(Notice, std::intptr_t, std::intptr_t) noexcept override {}
};

std::vector<std::uint8_t> Reply(Command cmd, std::uint8_t slot, BlockType type, std::uint8_t channel,
                                std::uint8_t byte9, std::size_t payload) {
  std::vector<std::uint8_t> f(payload + frame::kOverhead, 0x11);
  f[0] = f[1] = f[2] = kSyncByte;
  f[3] = kSyncEndByte;
  f[frame::kCommand] = static_cast<std::uint8_t>(cmd);
  f[frame::kDeviceId] = kDeviceId;
  f[frame::kSlot] = slot;
  f[frame::kBlockType] = static_cast<std::uint8_t>(type);
  f[frame::kChannel] = channel;
  f[frame::kItemIndex] = byte9;
  f[frame::kLinkFlag] = 0;
  f[frame::kReserved] = 0;
  PutU16(f, frame::kPayloadLength, static_cast<std::uint16_t>(payload));
  f[f.size() - 2] = FrameCheck(f);
  f.back() = kEndByte;
  return f;
}

// One input report per reply, zero padded, as the link hands them over.
std::vector<std::array<std::uint8_t, kHidDataSize>> Reports(const std::vector<std::vector<std::uint8_t>>& replies) {
  std::vector<std::array<std::uint8_t, kHidDataSize>> r(replies.size());
  for (std::size_t i = 0; i < replies.size(); ++i) {
    r[i].fill(0);
    std::copy(replies[i].begin(), replies[i].end(), r[i].begin());
  }
  return r;
}

void BM_BuildItemWrite(benchmark::State& state) {
  DeviceImage img;
  InitDeviceImage(img);
  FrameBuilder fb(img);
  int item = 0;
  for (auto _ : state) {
    auto m = fb.BuildItemWrite(BlockType::Output, 3, item);
    benchmark::DoNotOptimize(m.get());
    item = (item + 1) % 37;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildItemWrite);

void BM_BuildOutputBlockWrite(benchmark::State& state) {
  DeviceImage img;
  InitDeviceImage(img);
  FrameBuilder fb(img);
  for (auto _ : state) {
    auto m = fb.BuildBlockWrite(0, BlockType::Output, 5, true, false);
    benchmark::DoNotOptimize(m.get());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(out::kSendSize + frame::kOverhead));
}
BENCHMARK(BM_BuildOutputBlockWrite);

void BM_FinishFrame(benchmark::State& state) {
  const auto length = static_cast<std::size_t>(state.range(0));
  std::array<std::uint8_t, frame::kMaxSize> f{};
  for (std::size_t i = 0; i < f.size(); ++i) f[i] = static_cast<std::uint8_t>(i * 7);
  std::vector<std::uint8_t> buffer(length);
  for (auto _ : state) {
    FinishFrame(f, buffer);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(length));
}
BENCHMARK(BM_FinishFrame)->Arg(24)->Arg(128)->Arg(312);

// The read-back of the live image: 8 output blocks, both inputs, the effect and the system items,
// each answering a queued request.
void BM_ReceiveReadBackStream(benchmark::State& state) {
  DeviceImage img;
  InitDeviceImage(img);
  DropSink sink;
  CKTVCommand cmd(img, sink);
  FrameBuilder fb(img);
  std::vector<std::vector<std::uint8_t>> replies;
  for (std::uint8_t ch = 0; ch < kOutputChannels; ++ch)
    replies.push_back(Reply(Command::Data, 0, BlockType::Output, ch, kReadIntoSlot, out::kSendSize));
  replies.push_back(Reply(Command::Data, 0, BlockType::MicIn, 0, kReadIntoSlot, in::kSize));
  replies.push_back(Reply(Command::Data, 0, BlockType::MusicIn, 2, kReadIntoSlot, in::kSize));
  replies.push_back(Reply(Command::Data, 0, BlockType::Effect, 0, kReadIntoSlot, fx::kSendSize));
  replies.push_back(Reply(Command::Data, 0, BlockType::System, static_cast<std::uint8_t>(SystemItem::Settings), 0, 8));
  replies.push_back(Reply(Command::Ack, 0, BlockType::System, 0, 0, 0));
  const auto reports = Reports(replies);
  std::int64_t bytes = 0;
  for (auto _ : state) {
    for (const auto& r : reports) {
      cmd.Push(fb.BuildStatusPoll());
      benchmark::DoNotOptimize(cmd.Receive(r));
    }
    bytes += static_cast<std::int64_t>(reports.size() * kHidDataSize);
  }
  state.SetBytesProcessed(bytes);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(reports.size()));
}
BENCHMARK(BM_ReceiveReadBackStream);

// Status polling, the steady traffic of an idle connection: one 24-byte reply per report.
void BM_ReceiveStatusReplies(benchmark::State& state) {
  DeviceImage img;
  InitDeviceImage(img);
  DropSink sink;
  CKTVCommand cmd(img, sink);
  FrameBuilder fb(img);
  cmd.SetStatusSettleCount(CKTVCommand::kStatusSettleLimit);
  const auto reports = Reports(
      {Reply(Command::Data, 0, BlockType::System, static_cast<std::uint8_t>(SystemItem::Status), 0, frame::kItemSize)});
  for (auto _ : state) {
    cmd.Push(fb.BuildStatusPoll());
    benchmark::DoNotOptimize(cmd.Receive(reports[0]));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kHidDataSize));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReceiveStatusReplies);

// Noise with no frame in it: the worst case of the sync search.
void BM_ReceiveNoise(benchmark::State& state) {
  DeviceImage img;
  InitDeviceImage(img);
  DropSink sink;
  CKTVCommand cmd(img, sink);
  std::array<std::uint8_t, kHidDataSize> noise{};
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = (i % 5 == 4) ? 0x00 : kSyncByte;
  for (auto _ : state) benchmark::DoNotOptimize(cmd.Receive(noise));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(noise.size()));
}
BENCHMARK(BM_ReceiveNoise);

}  // namespace
