#include "app/recovery_question.h"

#include <QDateTime>
#include <QFileInfo>
#include <QStringList>

#include "core/channel_label.h"
#include "controls/skin.h"

namespace zelto {

namespace {

QString Text(Language lang, const char* zh, const char* en) { return QString::fromUtf8(Pick(lang, zh, en)); }

QString SavedAtText(const RecoveryData& data, const std::string& path, Language lang) {
  // Files of older versions carry no time: the file's own is as good.
  const QDateTime at = data.savedAt > 0 ? QDateTime::fromSecsSinceEpoch(data.savedAt)
                                        : QFileInfo(QString::fromStdString(path)).lastModified();
  if (!at.isValid()) return Text(lang, "时间不明", "at an unknown time");
  return at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString ChannelList(const std::vector<int>& channels, Language lang) {
  if (channels.empty())
    return Text(lang, "无（只有历史记录或测量不同）", "none (only the history or the measurements)");
  QStringList names;
  for (int ch : channels) names << QString::fromStdString(ChannelLabel(ch));
  return names.join(lang == Language::Chinese ? QStringLiteral("、") : QStringLiteral(", "));
}

}  // namespace

QString RecoveryQuestion(const RecoveryData& data, const std::string& path, const std::vector<int>& differing,
                         Language lang) {
  const QString processor = data.processor.empty() ? Text(lang, "当时未连接处理器", "no processor was connected")
                                                   : QString::fromLatin1(data.processor.c_str(),
                                                                         static_cast<qsizetype>(data.processor.size()));
  return Text(lang, "上次程序没有正常关闭。", "Zelto did not close properly last time.") + QStringLiteral("\n\n") +
         Text(lang, "保存时间：", "Saved: ") + SavedAtText(data, path, lang) + QLatin1Char('\n') +
         Text(lang, "处理器：", "Processor: ") + processor + QLatin1Char('\n') +
         Text(lang, "与现在不同的通道：", "Channels that differ from now: ") + ChannelList(differing, lang) +
         QStringLiteral("\n\n") +
         Text(lang, "要恢复当时的调音吗？恢复可以撤销。", "Restore the tuning from then? The restore can be undone.");
}

QString CrashProtectionOff(Language lang, const std::string& why) {
  return Text(lang, "崩溃保护已关闭：", "crash protection is off: ") + QString::fromStdString(why);
}

}  // namespace zelto
