#include "app/history_panel.h"
#include "core/channel_label.h"

#include <QDateTime>
#include <QHeaderView>
#include <QListWidget>
#include <QTabWidget>
#include <QTableWidget>

namespace zelto {

namespace {

constexpr QSize kPanelSize{460, 520};
constexpr int kColumns = 4;
const QColor kUndoneText{120, 126, 136};

QString Text(Language lang, const char* zh, const char* en) { return QString::fromUtf8(Pick(lang, zh, en)); }

QString PanelStyle() {
  return QStringLiteral(
      "QTabWidget::pane{border:1px solid #3a404a;background:#1d2127;}"
      "QTabBar::tab{background:#262b33;color:#c8ced8;padding:6px 14px;border:1px solid #3a404a;}"
      "QTabBar::tab:selected{background:#0078d7;color:white;}"
      "QListWidget,QTableWidget{background:#1d2127;color:#e2e7ee;border:none;gridline-color:#343a44;}"
      "QListWidget::item{padding:4px 6px;}"
      "QListWidget::item:selected,QTableWidget::item:selected{background:#0078d7;color:white;}"
      "QHeaderView::section{background:#262b33;color:#c8ced8;border:none;padding:4px;}");
}

QString TimeText(std::int64_t ms) {
  if (ms <= 0) return QStringLiteral("--:--:--");
  return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss"));
}

}  // namespace

HistoryPanel::HistoryPanel(Language lang, QWidget* parent)
    : SkinDialog(kDialogId, kPanelSize, lang, parent),
      pages_(new QTabWidget(this)),
      steps_(new QListWidget),
      differences_(new QTableWidget(0, kColumns)) {
  // A panel beside the form, not a question: the form stays usable while it is open.
  setModal(false);
  setStyleSheet(PanelStyle());
  pages_->setGeometry(kMargin / 2, kCaptionHeight + 4, width() - kMargin, height() - kCaptionHeight - kMargin / 2 - 4);
  pages_->addTab(steps_, QString());
  pages_->addTab(differences_, QString());
  steps_->setSelectionMode(QAbstractItemView::SingleSelection);
  differences_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  differences_->setSelectionMode(QAbstractItemView::NoSelection);
  differences_->verticalHeader()->hide();
  differences_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  differences_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  connect(steps_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { emit stepChosen(item->data(kAppliedRole).toInt()); });
  connect(pages_, &QTabWidget::currentChanged, this, [this](int page) {
    if (page == static_cast<int>(Page::Differences)) emit differencesWanted();
  });
  ApplyTexts();
}

void HistoryPanel::SetLanguage(Language lang) {
  ApplyLanguage(lang);
  ApplyTexts();
}

void HistoryPanel::ApplyTexts() {
  const Language lang = CurrentLanguage();
  SetCaption(BiText{QStringLiteral("历史记录"), QStringLiteral("History")});
  pages_->setTabText(static_cast<int>(Page::Steps), Text(lang, "步骤", "Steps"));
  pages_->setTabText(static_cast<int>(Page::Differences), Text(lang, "A/B 差异", "A/B differences"));
  differences_->setHorizontalHeaderLabels(
      {Text(lang, "通道", "Channel"), Text(lang, "参数", "Value"), QStringLiteral("A"), QStringLiteral("B")});
}

void HistoryPanel::ShowPage(Page page) { pages_->setCurrentIndex(static_cast<int>(page)); }

HistoryPanel::Page HistoryPanel::CurrentPage() const { return static_cast<Page>(pages_->currentIndex()); }

void HistoryPanel::ShowSteps(const History& history, AbSide side) {
  const Language lang = CurrentLanguage();
  const QString sideName = side == AbSide::A ? QStringLiteral("A") : QStringLiteral("B");
  steps_->clear();
  for (std::size_t i = history.Size(); i > 0; --i) {
    const History::Step& step = history.At(i - 1);
    auto* item = new QListWidgetItem(
        QStringLiteral("%1   %2").arg(TimeText(step.timeMs), QString::fromStdString(StepText(step.label, lang))));
    item->setData(kAppliedRole, static_cast<int>(i));
    if (i > history.Cursor()) {
      item->setForeground(kUndoneText);
      QFont italic = item->font();
      italic.setItalic(true);
      item->setFont(italic);
    }
    steps_->addItem(item);
  }
  auto* start = new QListWidgetItem(Text(lang, "起点（%1 方）", "Start (side %1)").arg(sideName));
  start->setData(kAppliedRole, 0);
  if (history.Cursor() > 0) start->setForeground(kUndoneText);
  steps_->addItem(start);
  steps_->setCurrentRow(static_cast<int>(history.Size() - history.Cursor()));
}

void HistoryPanel::ShowDifferences(const std::vector<ValueDifference>& differences, bool started) {
  const Language lang = CurrentLanguage();
  differences_->clearContents();
  if (!started || differences.empty()) {
    differences_->setRowCount(1);
    auto* same = new QTableWidgetItem(Text(lang, "A 和 B 相同", "A and B are the same"));
    differences_->setItem(0, 1, same);
    return;
  }
  differences_->setRowCount(static_cast<int>(differences.size()));
  for (int row = 0; row < static_cast<int>(differences.size()); ++row) {
    const ValueDifference& d = differences[static_cast<std::size_t>(row)];
    const QString channel = d.channel < 0 ? QStringLiteral("—") : QString::fromStdString(ChannelLabel(d.channel));
    const QString cells[kColumns] = {channel, QString::fromStdString(d.value), QString::fromStdString(d.from),
                                     QString::fromStdString(d.to)};
    for (int column = 0; column < kColumns; ++column)
      differences_->setItem(row, column, new QTableWidgetItem(cells[column]));
  }
}

}  // namespace zelto
