// The measurement panel on an editor without a processor: each channel's safety state as the
// processor's settings give it, and a channel that could be hurt cannot be chosen until the user
// marks it full-range or bass.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>

#include "acoustics/ui/measure_panel.h"
#include "measure/channel_measurements.h"
#include "support/offline_editor.h"

namespace zelto {
namespace {

QCheckBox* ChannelBox(MeasurePanel& panel, int channel) {
  for (auto* box : panel.findChildren<QCheckBox*>())
    if (box->text() == QStringLiteral("CH%1").arg(channel + 1)) return box;
  return nullptr;
}

TEST(MeasurePanel, OnlyProtectedChannelsCanBeChosenUntilMarked) {
  testing::OfflineEditor e;
  e.editor.SetCrossoverFrequency(0, true, 2500, Editor::CrossoverBox::Main);
  measure::ChannelMeasurements held;
  for (Language lang : {Language::English, Language::Chinese}) {
    MeasurePanel panel(e.editor, held, {}, ::testing::TempDir() + "/measurement.zrun", lang);
    ASSERT_TRUE(ChannelBox(panel, 0));
    EXPECT_TRUE(ChannelBox(panel, 0)->isEnabled());
    EXPECT_FALSE(ChannelBox(panel, 1)->isEnabled());
    // The mark of channel 2 (the second check box of its row) lets it be chosen.
    QList<QCheckBox*> marks;
    for (auto* box : panel.findChildren<QCheckBox*>())
      if (box->text().isEmpty()) marks.append(box);
    ASSERT_EQ(marks.size(), kOutputChannels);
    marks[1]->setChecked(true);
    EXPECT_TRUE(ChannelBox(panel, 1)->isEnabled());
    // For a look at the panel in both languages.
    if (const QByteArray dir = qgetenv("ZELTO_PANEL_SHOTS"); !dir.isEmpty()) {
      panel.adjustSize();
      panel.grab().save(QStringLiteral("%1/measure-panel-%2.png")
                            .arg(QString::fromLocal8Bit(dir))
                            .arg(lang == Language::Chinese ? QStringLiteral("zh") : QStringLiteral("en")));
    }
  }
}

}  // namespace
}  // namespace zelto

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
