// The history's memory and time for 1000 band drags, each a press, twenty moves and a release on
// an engine without a processor; the memory is reported as the counter "history_bytes".

#include <benchmark/benchmark.h>

#include "edit/editor.h"
#include "support/offline_editor.h"

namespace zelto {
namespace {

void BM_ThousandBandDrags(benchmark::State& state) {
  std::size_t bytes = 0;
  for (auto _ : state) {
    testing::OfflineEditor offline;
    Editor& editor = offline.editor;
    for (int drag = 0; drag < 1000; ++drag) {
      const int ch = drag % kOutputChannels, band = drag % out::kBands;
      editor.BeginStep();
      for (int move = 1; move <= 20; ++move)
        editor.EditBand(ch, band, {500 + 40 * move + drag % 7, {}, 300 + move * 5 + drag % 11, {}});
      editor.EndStep();
    }
    bytes = editor.Steps().MemoryBytes();
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["history_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ThousandBandDrags)->Unit(benchmark::kMillisecond);

void BM_UndoRedoOfABandDrag(benchmark::State& state) {
  testing::OfflineEditor offline;
  Editor& editor = offline.editor;
  editor.BeginStep();
  editor.EditBand(0, 12, {2000, {}, 350, {}});
  editor.EndStep();
  for (auto _ : state) {
    editor.Undo();
    editor.Redo();
  }
}
BENCHMARK(BM_UndoRedoOfABandDrag)->Unit(benchmark::kMicrosecond);

// What the recovery file's timer pays for the history: its bytes after 1000 band drags (made at
// every look while something changes), and reading them back at a restore. The size is reported
// as "blob_bytes".
void BM_HistoryBytesOfThousandDrags(benchmark::State& state) {
  testing::OfflineEditor offline;
  Editor& editor = offline.editor;
  for (int drag = 0; drag < 1000; ++drag) {
    editor.BeginStep();
    editor.EditBand(drag % kOutputChannels, drag % out::kBands, {600 + drag % 13, {}, 300 + drag % 17, {}});
    editor.EndStep();
  }
  std::vector<std::uint8_t> blob;
  const bool read = state.range(0) != 0;
  if (read) blob = editor.SaveRecoveryPart();
  for (auto _ : state) {
    if (read)
      benchmark::DoNotOptimize(History::FromBytes(blob));
    else
      blob = editor.SaveRecoveryPart();
    benchmark::DoNotOptimize(blob.data());
  }
  state.SetLabel(read ? "read" : "write");
  state.counters["blob_bytes"] = static_cast<double>(blob.size());
}
BENCHMARK(BM_HistoryBytesOfThousandDrags)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zelto
