#include "update/update_texts.h"

#include "core/update_steps.h"

namespace zelto {

std::string_view UpdateMessageText(UpdateMessage message, Language lang) {
  const bool zh = lang == Language::Chinese;
  switch (message) {
    case UpdateMessage::HexFileError: return zh ? "固件文件错误!" : "Hex File error!";
    case UpdateMessage::WrongFileType: return "升级文件类型错误！";
    case UpdateMessage::ControllerWarning:
      return "          手控器升级之前请断开蓝牙、退出U盘，\n    并且升级过程中请勿触碰任何设备防止断电！！！";
    case UpdateMessage::DontClose: return zh ? "更新中 请勿关闭!" : "Don't close up the update!";
    case UpdateMessage::UpdateSuccessful: return zh ? "固件更新完成!" : "Update successfully!";
  }
  return {};
}

std::string_view UpdateStatusText(int step, Language lang) {
  const bool zh = lang == Language::Chinese;
  switch (static_cast<UpdateStep>(step)) {
    case UpdateStep::DspStart: return zh ? "设备升级准备就绪" : "Equipment upgrade ready";
    case UpdateStep::DspHeader: return {};
    case UpdateStep::DspBlock: return zh ? "数据传输" : "Programming......";
    case UpdateStep::DspEnd: return zh ? "更新完成!" : "Update successfully!";
    case UpdateStep::CtrlBegin1: return {};
    case UpdateStep::CtrlBegin2: return zh ? "数据传输" : std::string_view{};
    case UpdateStep::CtrlBlock: return zh ? "DSP更新开始" : "Programming......";
    case UpdateStep::CtrlEnd: return zh ? "DSP更新完成!" : "DSP end of the update!";
  }
  return {};
}

std::string_view SearchStatusText(Language lang) {
  return lang == Language::Chinese ? "搜索待升级设备" : "Search for upgraded devices";
}

std::string_view UpdateDialogCaption(Language lang) {
  return lang == Language::Chinese ? "设备固件更新" : "Device Firmware Update";
}

}  // namespace zelto
