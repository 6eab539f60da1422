#include "edit/notice_router.h"

#include "edit/editor.h"
#include "link/engine.h"

namespace zelto {

NoticeRouter::NoticeRouter(Editor& editor) : editor_(editor) {}

void NoticeRouter::Add(Listener listener) { listeners_.push_back(std::move(listener)); }

void NoticeRouter::Route(Notice notice, std::intptr_t wParam, std::intptr_t lParam) {
  editor_.engine().HandleNotice(notice, wParam, lParam);
  editor_.StoreReportedStatus(notice, wParam);
  for (const Listener& listener : listeners_) listener(notice, wParam, lParam);
}

}  // namespace zelto
