#include "ctl/terminal.h"

#include <algorithm>
#include <string>

#include "update/update_texts.h"

namespace zelto::ctl {

namespace {

constexpr int kBarWidth = 30;
constexpr int kPercent = 100;
constexpr char kBarDone = '#';
constexpr char kBarLeft = '-';
// Carriage return and "erase to end of line": the bar redraws itself in place.
constexpr std::string_view kReturnAndErase = "\r\x1b[K";

}  // namespace

void Terminal::Result(std::string_view line) {
  out_ << line << '\n';
  out_.flush();
}

void Terminal::Message(std::string_view line) {
  ClearBarLine();
  err_ << line << '\n';
  err_.flush();
  if (barRange_) DrawBar();
}

void Terminal::StartBar(int range) {
  barRange_ = std::max(range, 0);
  barPosition_ = 0;
  DrawBar();
}

void Terminal::SetBar(int position) {
  if (!barRange_) return;
  barPosition_ = std::clamp(position, 0, *barRange_);
  DrawBar();
}

void Terminal::EndBar() {
  ClearBarLine();
  barRange_.reset();
}

void Terminal::DrawBar() {
  if (!errIsTerminal_ || !barRange_) return;
  const int range = *barRange_;
  const int filled = range > 0 ? barPosition_ * kBarWidth / range : kBarWidth;
  const int percent = range > 0 ? barPosition_ * kPercent / range : kPercent;
  std::string bar(kReturnAndErase);
  bar += '[';
  bar.append(static_cast<std::size_t>(filled), kBarDone);
  bar.append(static_cast<std::size_t>(kBarWidth - filled), kBarLeft);
  bar += "] ";
  bar += std::to_string(percent);
  bar += "% (";
  bar += std::to_string(barPosition_);
  bar += '/';
  bar += std::to_string(range);
  bar += ')';
  err_ << bar;
  err_.flush();
  barDrawn_ = true;
}

void Terminal::ClearBarLine() {
  if (!barDrawn_) return;
  err_ << kReturnAndErase;
  err_.flush();
  barDrawn_ = false;
}

// ---- TerminalView ---------------------------------------------------------------------------

void TerminalView::ShowMessage(UserMessage message) {
  failed_ = true;
  terminal_.Message(UserMessageText(message, terminal_.Lang()));
  if (message != UserMessage::UnableToConnect || !connectReason_) return;
  const std::string reason = connectReason_();
  if (!reason.empty()) terminal_.Message(reason);
}

void TerminalView::ShowTransferWindow(bool) { terminal_.StartBar(transferRange_); }

void TerminalView::HideTransferWindow() { terminal_.EndBar(); }

void TerminalView::SetTransferRange(int count) { transferRange_ = count; }

void TerminalView::TransferPosition(int step) { terminal_.SetBar(step); }

void TerminalView::ShowUpdateMessage(UpdateMessage message) {
  switch (message) {
    case UpdateMessage::HexFileError:
    case UpdateMessage::WrongFileType: failed_ = true; break;
    case UpdateMessage::UpdateSuccessful:
      updateSucceeded_ = true;
      terminal_.EndBar();
      // The result goes to stdout even where the status line (on stderr) said the same words.
      terminal_.Result(UpdateMessageText(message, terminal_.Lang()));
      return;
    case UpdateMessage::ControllerWarning:
    case UpdateMessage::DontClose: break;
  }
  terminal_.Message(UpdateMessageText(message, terminal_.Lang()));
}

void TerminalView::ShowUpdateStatus(std::string_view text) {
  // The status line keeps its text until another one comes: print each change once.
  if (text == lastStatus_) return;
  lastStatus_ = std::string(text);
  terminal_.Message(text);
}

void TerminalView::SetUpdateRange(int count) { terminal_.StartBar(count); }

void TerminalView::SetUpdatePosition(int position) { terminal_.SetBar(position); }

void TerminalView::Fail(std::string_view text) {
  failed_ = true;
  terminal_.Message(text);
}

}  // namespace zelto::ctl
