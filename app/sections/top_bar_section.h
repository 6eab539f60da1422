#pragma once
// The top bar: the title area (brand, the PC file last used, the model with its preset and status
// line, the connection light), the connect and A/B buttons, the DSP switch, the source and noise
// gate lists, the settings and file menus, linking, the mixer and the window buttons. The DSP
// switch and the two lists are edits of their own; the other buttons are the form's commands.

#include "app/sections/section.h"

namespace zelto {

class BitButton;
class ComBoxBtn;
class XPButton;

class TopBarSection : public Section {
  Q_OBJECT

 public:
  static constexpr int kHeight = 50;
  /// The title area: what changes when a name or the status changes.
  static constexpr QRect kTitleArea{0, 0, 260, kHeight};

  TopBarSection(UiState& ui, Engine& engine, Editor& editor, QWidget* parent);

  /// Everything the bar shows of the system settings (the source list apart).
  void Refresh();
  /// The source the processor plays.
  void ShowSource(int index);
  /// The lists in the new language keep their choice.
  void ApplyLanguage();
  void ShowConnected(bool connected);
  /// The name of the preset the processor plays, once it is connected.
  void RefreshTitle();
  void SetFileTitle(const QString& title);
  void ClearNames();
  void SetStatus(const QString& text);
  void ShowLink(bool on);
  void ShowMixerOpen(bool open);

  XPButton* AbButton() const { return ab_; }
  /// Where the settings menu pops up (the file menu opens beside it), in global coordinates.
  QPoint SettingsMenuPlace(int dx) const;
  const QString& PresetName() const { return presetName_; }
  const QString& FileTitle() const { return fileTitle_; }
  const QString& Status() const { return status_; }

 signals:
  void connectPressed();
  void abPressed();
  void settingsMenuPressed();
  void fileMenuPressed();
  void linkPressed();
  void mixerPressed();
  void minimisePressed();
  void closePressed();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void OnDspSwitch();
  void OnListChosen(int listId, int index);

  XPButton* connect_ = nullptr;
  XPButton* ab_ = nullptr;
  BitButton* dsp_ = nullptr;
  ComBoxBtn* source_ = nullptr;
  ComBoxBtn* gate_ = nullptr;
  BitButton* settingsMenu_ = nullptr;
  BitButton* fileMenu_ = nullptr;
  XPButton* link_ = nullptr;
  BitButton* mixer_ = nullptr;
  XPButton* minimise_ = nullptr;
  XPButton* close_ = nullptr;
  QString presetName_;
  QString fileTitle_;
  QString status_;
};

}  // namespace zelto
