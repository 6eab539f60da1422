#include "link/refused_open_text.h"

namespace zelto {

namespace {

std::string WithDetail(const char* lead, const std::string& detail, bool zh) {
  if (detail.empty()) return std::string(lead) + (zh ? "。" : ".");
  return zh ? std::string(lead) + "（" + detail + "）。" : std::string(lead) + " (" + detail + ").";
}

}  // namespace

std::string RefusedOpenText(const RefusedOpen& refused, Language lang) {
  const bool zh = lang == Language::Chinese;
  switch (refused.reason) {
    case OpenRefusal::NoPermission:
      return WithDetail(zh ? "处理器已接入，但当前用户无权打开它"
                           : "The processor is plugged in, but this user may not open it",
                        refused.detail, zh) +
             (zh ? "\n请安装 zelto 软件包，或把 udev 规则 70-zelto.rules 装入 /etc/udev/rules.d，"
                   "然后拔下处理器再重新插上。"
                 : "\nInstall the zelto package, or the udev rule 70-zelto.rules into /etc/udev/rules.d, "
                   "then unplug the processor and plug it in again.");
    case OpenRefusal::InUse:
      return WithDetail(zh ? "处理器正被其他程序占用" : "The processor is in use by another program", refused.detail,
                        zh) +
             (zh ? "\n请关闭该程序（另一个 zelto 或 zeltoctl）后重新连接。"
                 : "\nClose that program (another zelto or zeltoctl) and connect again.");
    case OpenRefusal::Unknown: break;
  }
  return WithDetail(zh ? "处理器已接入，但无法打开" : "The processor is plugged in, but could not be opened",
                    refused.detail, zh) +
         (zh ? "\n请拔下处理器再重新插上；在 Linux 上请确认已安装 zelto 软件包或其 udev 规则。"
             : "\nUnplug the processor and plug it in again; on Linux, check that the zelto package or its udev "
               "rule is installed.");
}

std::string ConnectFailureText(ConnectFailure why, const std::optional<RefusedOpen>& refused, const std::string& detail,
                               Language lang) {
  const bool zh = lang == Language::Chinese;
  switch (why) {
    case ConnectFailure::Refused: return RefusedOpenText(refused.value_or(RefusedOpen{}), lang);
    case ConnectFailure::NotFound:
      return WithDetail(zh ? "未找到处理器：未插入、未通电，或该地址上没有设备应答"
                           : "No processor was found: it is not plugged in, not switched on, or nothing answers at "
                             "that address",
                        detail, zh) +
             (zh ? "\n请用 USB 线连接处理器并打开电源，然后重新连接。"
                 : "\nConnect the processor with its USB cable, switch it on and connect again.");
    case ConnectFailure::NoReply:
      return std::string(zh ? "处理器没有及时应答，连接已关闭。"
                            : "The processor did not answer in time, so the connection was closed.") +
             (zh ? "\n请检查 USB 线和处理器的电源，然后重新连接。"
                 : "\nCheck the USB cable and the processor's power, then connect again.");
    case ConnectFailure::Removed:
      return WithDetail(zh ? "处理器已断开：被拔下、断电，或其连接已关闭"
                           : "The processor went away: it was unplugged, switched off, or its connection closed",
                        detail, zh) +
             (zh ? "\n请重新插上处理器或打开电源；处理器回来后即可重新连接。"
                 : "\nPlug it in or switch it on again; it can be connected again once it is back.");
  }
  return {};
}

}  // namespace zelto
