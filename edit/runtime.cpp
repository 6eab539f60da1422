#include "edit/runtime.h"

namespace zelto {

Runtime::Runtime(std::unique_ptr<HidTransport> transport, Settings& settings, NoticeSink& sink, LinkView& view,
                 Language& language)
    : engine_(std::move(transport), settings, sink, view, language),
      editor_(engine_),
      router_(editor_),
      ab_(engine_),
      files_(engine_),
      update_(engine_) {
  editor_.SetAb(&ab_);
}

Runtime::~Runtime() {
  // The worker may still be running an exchange that calls into the update transfer or reads the
  // objects; it stops before anything of this object goes.
  engine_.StopDeviceWatcher();
  engine_.Worker().StopWorker(false);
}

}  // namespace zelto
