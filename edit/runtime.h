#pragma once
// Everything a front end works with while it runs, built in one place: the engine on its link,
// the edit layer with its A/B sides, the notice router, the device presets and PC files, the
// firmware update and the measurements held for the channels. The window, the command-line tool
// and the tests each build one and take what they need from it; none of them assembles these
// parts itself, so the parts meet in the same order and leave in the same order everywhere.
//
// Threads: as the engine's, every method runs on the front end's thread.

#include <memory>

#include "core/encodings.h"
#include "core/notice.h"
#include "core/settings.h"
#include "edit/ab_compare.h"
#include "edit/editor.h"
#include "edit/notice_router.h"
#include "link/engine.h"
#include "link/link_view.h"
#include "measure/channel_measurements.h"
#include "presets/preset_files.h"
#include "update/update_transfer.h"

namespace zelto {

class Runtime {
 public:
  /// `settings`, `sink`, `view` and `language` belong to the front end and outlive this object;
  /// `language` is the one the whole program shows and is read wherever a text is made.
  Runtime(std::unique_ptr<HidTransport> transport, Settings& settings, NoticeSink& sink, LinkView& view,
          Language& language);
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  Engine& engine() { return engine_; }
  Editor& editor() { return editor_; }
  NoticeRouter& router() { return router_; }
  AbCompare& ab() { return ab_; }
  PresetFiles& files() { return files_; }
  UpdateTransfer& update() { return update_; }
  measure::ChannelMeasurements& measurements() { return measurements_; }

 private:
  // Declared in the order they are built; they leave in reverse, so the update transfer and the
  // preset files have unhooked themselves before the engine they point into goes.
  Engine engine_;
  Editor editor_;
  NoticeRouter router_;
  AbCompare ab_;
  PresetFiles files_;
  UpdateTransfer update_;
  measure::ChannelMeasurements measurements_;
};

}  // namespace zelto
