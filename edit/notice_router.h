#pragma once
// One way for every notice of the link worker, the receiver and the device watcher: the engine's
// own handling first, then the status the processor reported of itself, then whoever listens (the
// firmware update, the preset files, the front end's display), in the order they were added.
// The window and the command-line tool each own one and feed it on their own thread.

#include <cstdint>
#include <functional>
#include <vector>

#include "core/notice.h"

namespace zelto {

class Editor;

class NoticeRouter {
 public:
  using Listener = std::function<void(Notice, std::intptr_t wParam, std::intptr_t lParam)>;

  explicit NoticeRouter(Editor& editor);
  NoticeRouter(const NoticeRouter&) = delete;
  NoticeRouter& operator=(const NoticeRouter&) = delete;

  void Add(Listener listener);
  void Route(Notice notice, std::intptr_t wParam, std::intptr_t lParam);

 private:
  Editor& editor_;
  std::vector<Listener> listeners_;
};

}  // namespace zelto
