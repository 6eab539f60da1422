#pragma once
// The history panel: the steps of the side being heard, newest first, each with its name and the
// time it was made (a click undoes or redoes to it), and what differs between the A/B sides, per
// channel and value, in engineering units. It stays open beside the form and follows it.

#include <QString>
#include <cstdint>
#include <vector>

#include "controls/skin_dialog.h"
#include "edit/ab_compare.h"
#include "edit/history.h"

class QListWidget;
class QTabWidget;
class QTableWidget;

namespace zelto {

class HistoryPanel final : public SkinDialog {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 540;
  enum class Page { Steps = 0, Differences = 1 };
  /// The list row's data: how many steps are applied after a click on it.
  static constexpr int kAppliedRole = Qt::UserRole;

  HistoryPanel(Language lang, QWidget* parent);

  /// The steps of `history` newest first, the start of the history last; the row of the state
  /// shown is selected, the steps that can be redone are dimmed.
  void ShowSteps(const History& history, AbSide side);
  /// What differs between A and B; `started` false while B does not exist yet.
  void ShowDifferences(const std::vector<ValueDifference>& differences, bool started);
  void ShowPage(Page page);
  Page CurrentPage() const;
  void SetLanguage(Language lang);

  QListWidget* StepList() const { return steps_; }
  QTableWidget* DifferenceTable() const { return differences_; }
  QTabWidget* Pages() const { return pages_; }

 signals:
  /// A row was clicked: the history is to go to `applied` steps.
  void stepChosen(int applied);
  /// The differences page came to the front: it wants its contents.
  void differencesWanted();

 private:
  void ApplyTexts();

  QTabWidget* pages_;
  QListWidget* steps_;
  QTableWidget* differences_;
};

}  // namespace zelto
