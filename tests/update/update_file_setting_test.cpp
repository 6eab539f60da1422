// The last firmware update file kept between runs.

#include <gtest/gtest.h>

#include "update/update_file_setting.h"

namespace zelto::update_file {
namespace {

TEST(UpdateFileSetting, CreatedOnFirstRunReadAfterwards) {
  MemorySettings settings;
  const UpdateFile none;
  EXPECT_EQ(LoadOrCreateUpdateFile(settings, none), none);
  EXPECT_EQ(settings.Get(kUpdateFileKey, kUpdateFileName), std::string());
  EXPECT_EQ(settings.Get(kUpdateFileKey, kUpdateFilePath), std::string());

  settings.Set(kUpdateFileKey, kUpdateFileName, "dsp.mva");
  settings.Set(kUpdateFileKey, kUpdateFilePath, "/home/tech/fw");
  const UpdateFile read = LoadOrCreateUpdateFile(settings, none);
  EXPECT_EQ(read.name, "dsp.mva");
  EXPECT_EQ(read.path, "/home/tech/fw");

  // Longer texts than the buffers hold are cut, never overrun.
  settings.Set(kUpdateFileKey, kUpdateFilePath, std::string(400, 'p'));
  EXPECT_EQ(LoadOrCreateUpdateFile(settings, none).path.size(), kUpdatePathBuffer - 1);
}

}  // namespace
}  // namespace zelto::update_file
