#include "measure/ui/measure_ui_texts.h"

namespace zelto::measure_ui {

namespace {
BiText Of(const char* zh, const char* en) { return {QString::fromUtf8(zh), QString::fromUtf8(en)}; }
}  // namespace

BiText Bi(Word word) {
  switch (word) {
    case Word::MeasurementButton: return Of("测量", "Measurement");
    case Word::LoadMeasurement: return Of("载入测量…", "Load measurement…");
    case Word::EqFromMeasurement: return Of("由测量计算均衡…", "EQ from measurement…");
    case Word::RemoveMeasurement: return Of("移除测量", "Remove measurement");
    case Word::Smoothing: return Of("平滑", "Smoothing");
    case Word::NoSmoothing: return Of("不平滑", "None");
    case Word::OctaveFraction: return Of("1/%1 倍频程", "1/%1 octave");
    case Word::WholeOctave: return Of("1 倍频程", "1 octave");
    case Word::CurveMeasured: return Of("测量", "Measurement");
    case Word::CurveTarget: return Of("目标", "Target");
    case Word::CurvePredicted: return Of("预测", "Predicted");
    case Word::CurveProposed: return Of("建议", "Proposed");
    case Word::ImportRewFilters: return Of("导入 REW 滤波器…", "Import REW filters…");
    case Word::ExportRewFilters: return Of("导出 REW 滤波器…", "Export REW filters…");
    case Word::MeasurementFiles: return Of("测量文件 (*.txt *.frd *.csv)", "Measurements (*.txt *.frd *.csv)");
    case Word::FilterFiles: return Of("REW 滤波器文件 (*.txt)", "REW filter files (*.txt)");
    case Word::AllFiles: return Of("所有文件 (*)", "All files (*)");
    case Word::GraphicMode:
      return Of("%1 处于图示均衡模式，频率和 Q 不能改变；请先切换到参量均衡",
                "%1 is in graphic EQ mode, where frequencies and Q are fixed; switch it to PEQ first");
    case Word::Imported:
      return Of(
          "%1：%2 个 REW 滤波器用 %3 个频段重现。\n20 Hz–20 kHz 偏差：均方根 %4 dB，最大 %5 dB（%6）",
          "%1: %2 REW filter(s) reproduced with %3 band(s).\nDeviation 20 Hz–20 kHz: RMS %4 dB, largest %5 dB (at %6)");
    case Word::InputShown:
      return Of("REW 滤波器属于输出通道，而响应图现在显示的是输入。请先选择一个输出通道。",
                "REW filters belong to an output channel, and the graph shows an input now. Choose an output channel "
                "first.");
    case Word::AlsoLinked: return Of("同样写入联调通道 %1", "Also set on the linked channel(s) %1");
    case Word::Written: return Of("已写入 %1", "Written to %1");
    case Word::WriteFailed: return Of("无法写入 %1", "Cannot write %1");
    case Word::DialogCaption: return Of("由测量计算均衡", "EQ from measurement");
    case Word::Measurement: return Of("测量", "Measurement");
    case Word::NoMeasurement: return Of("未载入测量", "No measurement loaded");
    case Word::Load: return Of("载入…", "Load…");
    case Word::Target: return Of("目标", "Target");
    case Word::TargetFlat: return Of("平直", "Flat");
    case Word::TargetCar: return Of("车内曲线", "Car");
    case Word::TargetFile: return Of("文件…", "File…");
    case Word::Range: return Of("频率范围", "Range");
    case Word::MaxBoost: return Of("最大提升", "Max boost");
    case Word::CutLimit: return Of("最大削减", "Cut limit");
    case Word::Apply: return Of("应用", "Apply");
    case Word::Cancel: return Of("取消", "Cancel");
    case Word::Deviation:
      return Of("与目标的均方根偏差（1/6 倍频程，电平匹配）：之前 %1 dB，之后 %2 dB",
                "RMS deviation from the target (1/6 octave, level matched): before %1 dB, after %2 dB");
    case Word::RangeUsed: return Of("均衡范围：%1–%2（通带）", "Range equalised: %1–%2 (pass band)");
    case Word::RangeNarrowed:
      return Of("范围伸入分频器阻带，已缩小为通带 %1–%2", "The range reached into a stop band; narrowed to %1–%2");
    case Word::BandsUsed:
      return Of("使用 %1 个频段（共 %2 个，平坦度目标 ±%3 dB）", "%1 of %2 bands used (flatness goal ±%3 dB)");
    case Word::BoostBinds:
      return Of("提升上限 +%1 dB 使结果低于目标：%2",
                "The boost limit of +%1 dB holds the result below the target at %2");
    case Word::BoostFree: return Of("提升上限 +%1 dB 未限制结果", "The boost limit of +%1 dB holds nothing back");
    case Word::CutBinds:
      return Of("削减上限 -%1 dB 使结果高于目标：%2",
                "The cut limit of -%1 dB holds the result above the target at %2");
    case Word::DipsLeft: return Of("窄凹陷（抵消）未提升：%1", "Narrow dips (cancellations) not boosted: %1");
    case Word::LowCut:
      return Of("%1 以下不提升（扬声器自身的衰减）", "Nothing boosted below %1 (the speaker's own roll-off)");
    case Word::Unchanged:
      return Of("没有找到更好的设置，频段保持不变", "No better setting found; the bands stay as they are");
    case Word::NoOverlap: return Of("测量没有覆盖 %1–%2 的范围", "The measurement does not cover %1–%2");
    case Word::PreviewHint:
      return Of("建议的结果显示在响应图上，应用后才会发送",
                "The proposed result is drawn on the graph; nothing is sent until Apply");
  }
  return {};
}

QString HzText(double hz) {
  if (hz >= 1000) return QStringLiteral("%1 kHz").arg(QString::number(hz / 1000, 'g', 3));
  return QStringLiteral("%1 Hz").arg(QString::number(hz, 'g', 3));
}

}  // namespace zelto::measure_ui
