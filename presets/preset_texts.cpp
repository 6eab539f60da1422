#include "presets/preset_texts.h"

namespace zelto {

std::string_view PresetMessageText(PresetMessage message, Language lang) {
  const bool zh = lang == Language::Chinese;
  switch (message) {
    case PresetMessage::BlankName: return zh ? "组名不能全为空格!" : "The name can not be all spaces!";
    case PresetMessage::ConfirmDelete: return zh ? "是否删除本组音效数据?" : "Are you delete this Source Data?";
    case PresetMessage::SaveMusicFileError: return zh ? "保存音乐文件错误!" : "Save MusicFile Error!";
    case PresetMessage::FileError: return zh ? "文件错误!" : "error for file!";
    case PresetMessage::SaveFileError: return zh ? "保存文件错误!" : "save File Error!";
    case PresetMessage::ReadAllMusicFileError: return zh ? "读所有音乐文件错误!" : "Read all MusicFile Error";
  }
  return {};
}

std::string_view PresetDialogTextOf(PresetDialogText text, Language lang) {
  const bool zh = lang == Language::Chinese;
  switch (text) {
    case PresetDialogText::LoadCaption: return zh ? "音效调用" : "Source Load";
    case PresetDialogText::SaveCaption: return zh ? "音效保存" : "Source Save";
    case PresetDialogText::NameCaption: return zh ? "音效组名:" : "Source Name:";
    case PresetDialogText::MenuLoad: return zh ? "读取" : "Load";
    case PresetDialogText::MenuSave: return zh ? "保存" : "Save";
    case PresetDialogText::MenuDelete: return zh ? "删除" : "Delete";
  }
  return {};
}

}  // namespace zelto
