#pragma once
// What the command-line tool shows: results on stdout, messages and the progress bar on stderr.
// The bar is drawn only when stderr is a terminal, so logs and pipes get plain lines.
//
// TerminalView is the window's part for the engine (LinkView) and for a firmware update
// (UpdateView): it prints the editor's message texts and remembers whether one of them reported
// a failure. Everything here runs on the one thread of the tool.

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "core/encodings.h"
#include "link/link_view.h"
#include "update/update_view.h"

namespace zelto::ctl {

class Terminal {
 public:
  Terminal(std::ostream& out, std::ostream& err, bool errIsTerminal, Language lang)
      : out_(out), err_(err), errIsTerminal_(errIsTerminal), lang_(lang) {}
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;
  ~Terminal() { EndBar(); }

  Language Lang() const { return lang_; }
  /// The one place the tool's language is held; the engine reads it from here.
  Language& HeldLanguage() { return lang_; }
  std::ostream& Out() { return out_; }

  /// A result line on stdout.
  void Result(std::string_view line);
  /// A message line on stderr (the bar, if drawn, is cleared first and drawn again after).
  void Message(std::string_view line);

  /// Starts a progress bar of `range` steps (drawn only on a terminal).
  void StartBar(int range);
  void SetBar(int position);
  /// Removes the bar from the screen.
  void EndBar();
  bool BarShown() const { return barRange_.has_value(); }

 private:
  void DrawBar();
  void ClearBarLine();

  std::ostream& out_;
  std::ostream& err_;
  bool errIsTerminal_;
  Language lang_;
  std::optional<int> barRange_;
  int barPosition_ = 0;
  bool barDrawn_ = false;
};

class TerminalView final : public LinkView, public UpdateView {
 public:
  explicit TerminalView(Terminal& terminal) : terminal_(terminal) {}

  // LinkView
  void ShowMessage(UserMessage message) override;
  void ShowTransferWindow(bool fromPresetDialog) override;
  void HideTransferWindow() override;
  void SetTransferRange(int count) override;

  // UpdateView
  void ShowUpdateMessage(UpdateMessage message) override;
  void ShowUpdateStatus(std::string_view text) override;
  void SetUpdateRange(int count) override;
  void SetUpdatePosition(int position) override;

  /// A transfer reply moved the progress to `step`.
  void TransferPosition(int step);

  /// A message that ends the command with a failure was shown.
  bool Failed() const { return failed_; }
  /// The processor confirmed the end of a firmware image.
  bool UpdateSucceeded() const { return updateSucceeded_; }
  /// Prints a failure of the tool's own (not one of the editor's messages) and remembers it.
  void Fail(std::string_view text);

  Terminal& Term() { return terminal_; }

  /// Says why a connection could not be made, in lines printed under "unable to connect"; empty
  /// when there is nothing to add. Set by the session that owns the link.
  void SetConnectReason(std::function<std::string()> reason) { connectReason_ = std::move(reason); }

 private:
  Terminal& terminal_;
  std::function<std::string()> connectReason_;
  int transferRange_ = 0;
  bool failed_ = false;
  bool updateSucceeded_ = false;
  std::string lastStatus_;
};

}  // namespace zelto::ctl
