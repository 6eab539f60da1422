#pragma once
// The runtime with no processor behind it, for tests and benchmarks of what the edits do to the
// objects and the history without a link.

#include <memory>

#include "core/notice.h"
#include "core/settings.h"
#include "edit/runtime.h"
#include "link/link_view.h"
#include "model/ktv_data.h"
#include "sim/sim_transport.h"

namespace zelto::testing {

struct OfflineEditor {
  OfflineEditor() : runtime(std::make_unique<sim::SimTransport>(), settings, sink, view, language) {}
  CFilter& Band(int ch, int k) { return engine.Data().Output(ch).Eq().Filter(k); }
  /// Channels 0 and 1 in one link group.
  void GroupFirstTwo() { engine.Image().linkGroups[1] = 0; }

  MemorySettings settings;
  NullNoticeSink sink;
  LinkView view;
  Language language = Language::English;
  Runtime runtime;
  Engine& engine = runtime.engine();
  Editor& editor = runtime.editor();
};

}  // namespace zelto::testing
