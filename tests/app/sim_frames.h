#pragma once
// What the simulated processor received, for tests that edit through the window: the editor
// connected and read back, matchers for the frames an edit produces, and waiting for them.

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "app_harness.h"
#include "core/bytes.h"

namespace zelto::testing {

inline constexpr std::chrono::milliseconds kFrameWait{5000};

inline bool IsWrite(const sim::SimFrameRecord& f) {
  return f.valid && f.Command() == static_cast<std::uint8_t>(Command::Write);
}

/// An item write of an output channel: `item` 0..30 a band, 31 the switch group, 32 the crossover.
inline bool IsOutputItem(const sim::SimFrameRecord& f, int channel, int item) {
  return IsWrite(f) && f.BlockTypeCode() == static_cast<std::uint8_t>(BlockType::Output) &&
         f.ChannelOrItem() == channel && f.Byte9() == item && f.PayloadLength() == frame::kItemSize;
}

/// A whole output block write of the live settings.
inline bool IsOutputBlock(const sim::SimFrameRecord& f, int channel) {
  return IsWrite(f) && f.BlockTypeCode() == static_cast<std::uint8_t>(BlockType::Output) &&
         f.ChannelOrItem() == channel && f.Slot() == 0 && f.PayloadLength() == out::kSendSize;
}

/// Live output blocks of any channel the processor received.
inline int CountOutputBlocks(const sim::SimProcessor& p) {
  int n = 0;
  for (const auto& f : p.Frames())
    for (int c = 0; c < kOutputChannels; ++c) n += IsOutputBlock(f, c) ? 1 : 0;
  return n;
}

inline bool IsSystemWrite(const sim::SimFrameRecord& f, SystemItem item) {
  return IsWrite(f) && f.BlockTypeCode() == static_cast<std::uint8_t>(BlockType::System) &&
         f.ChannelOrItem() == static_cast<std::uint8_t>(item);
}

/// Writes of parameters: everything but status polls and reads.
inline std::vector<sim::SimFrameRecord> Writes(const sim::SimProcessor& processor) {
  std::vector<sim::SimFrameRecord> writes;
  for (auto& f : processor.Frames())
    if (IsWrite(f)) writes.push_back(f);
  return writes;
}

/// Waits for the last frame that matches; the edits of a test settle on their final value.
template <class Match>
std::optional<sim::SimFrameRecord> WaitForFrame(const sim::SimProcessor& processor, Match match) {
  std::optional<sim::SimFrameRecord> found;
  WaitUntil(
      [&] {
        for (const auto& f : processor.Frames())
          if (match(f)) found = f;
        return found.has_value();
      },
      kFrameWait);
  return found;
}

/// Waits until the link worker is idle again: the queue is empty and two status polls went out
/// after the call, so the change scan has run since every edit made before (a poll built just
/// before an edit may still be on its way; the one after it follows a scan that saw the edit).
inline bool WaitForQuiet(CZeltoView* view, const sim::SimProcessor& processor) {
  const std::size_t start = processor.FrameCount();
  return WaitUntil(
      [&] {
        if (view->engine().Queue().Count() != 0) return false;
        const auto frames = processor.Frames();
        int polls = 0;
        for (std::size_t i = start; i < frames.size(); ++i)
          if (frames[i].Command() == static_cast<std::uint8_t>(Command::Read) &&
              frames[i].BlockTypeCode() == static_cast<std::uint8_t>(BlockType::System) &&
              frames[i].ChannelOrItem() == static_cast<std::uint8_t>(SystemItem::Status))
            ++polls;
        return polls >= 2;
      },
      kFrameWait);
}

/// The editor started against an in-process simulated processor, read back, with questions
/// answered as `answer` says and the processor's frame log cleared.
class ConnectedEditor : public ::testing::Test {
 protected:
  void SetUp() override {
    editor = std::make_unique<StartedEditor>(Language::English, true);
    ASSERT_TRUE(editor->started);
    view = editor->view();
    view->SetQuestionHandler([this](const QString& q) {
      questions.append(q);
      return answer;
    });
    ASSERT_TRUE(WaitUntil([&] { return view->Settled(); }, kConnectTimeout));
    ASSERT_TRUE(view->engine().Connected());
    ASSERT_TRUE(WaitForQuiet(view, *editor->processor));
    editor->processor->ClearFrameLog();
  }

  sim::SimProcessor& processor() { return *editor->processor; }

  std::unique_ptr<StartedEditor> editor;
  CZeltoView* view = nullptr;
  QStringList questions;
  bool answer = true;
};

}  // namespace zelto::testing
