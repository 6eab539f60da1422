#pragma once
// What every region of the main form shares: its place on the form, the engine it shows, the edit
// layer it calls, the user-interface state it takes the language and the current channel from,
// and the way panels and their words are painted. A section paints only its own region and lets
// the form's background show through everywhere else.

#include <QRect>
#include <QString>
#include <QWidget>

#include "app/ui_state.h"

class QPainter;

namespace zelto {

class CKTV_OutData;
class Editor;
class Engine;

class Section : public QWidget {
  Q_OBJECT

 public:
  Section(const QRect& region, UiState& ui, Engine& engine, Editor& editor, QWidget* parent);

 protected:
  Language Lang() const { return ui_.language; }
  /// The output channel the form shows.
  int Current() const { return ui_.currentChannel; }
  CKTV_OutData& Channel(int index);
  /// The word in the interface language.
  QString Word(const char* zh, const char* en) const;

  UiState& ui_;
  Engine& engine_;
  Editor& editor_;
};

/// Names a control by its identifier, which is how the form and its tests find it.
template <class T>
T* Named(T* widget, int id) {
  widget->setObjectName(QString::number(id));
  return widget;
}

/// The colour a channel is drawn in; channels without one of their own take the accent.
QColor ChannelColour(const CKTV_OutData& channel);

/// A rounded panel with an optional caption at its top left.
void PaintPanel(QPainter& p, const QRect& r, const QString& caption);
void PaintLabel(QPainter& p, const QRect& r, const QString& text,
                Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter, int pixels = 12);

}  // namespace zelto
