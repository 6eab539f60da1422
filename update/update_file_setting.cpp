#include "update/update_file_setting.h"

#include "core/encodings.h"

namespace zelto::update_file {

UpdateFile LoadOrCreateUpdateFile(Settings& settings, const UpdateFile& current) {
  auto name = settings.Get(kUpdateFileKey, kUpdateFileName);
  auto path = settings.Get(kUpdateFileKey, kUpdateFilePath);
  if (!name && !path) {
    settings.Set(kUpdateFileKey, kUpdateFileName, current.name);
    settings.Set(kUpdateFileKey, kUpdateFilePath, current.path);
    return current;
  }
  return {std::string(TruncateText(name.value_or(std::string()), kUpdateNameBuffer - 1)),
          std::string(TruncateText(path.value_or(std::string()), kUpdatePathBuffer - 1))};
}

}  // namespace zelto::update_file
