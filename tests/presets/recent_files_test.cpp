// The file menu's recent-file list kept in the settings.
#include "presets/recent_files.h"

#include <gtest/gtest.h>

namespace zelto {
namespace {

using Paths = std::vector<std::string>;

TEST(RecentFilesTest, NewestFirstFourAtMostAndNoRepeats) {
  MemorySettings settings;
  RecentFiles recent(settings);
  EXPECT_TRUE(recent.List().empty());
  for (const char* p : {"/a.dsps", "/b.dspa", "/c.dsps", "/d.dsps", "/e.dsps"}) recent.Add(p);
  EXPECT_EQ(recent.List(), (Paths{"/e.dsps", "/d.dsps", "/c.dsps", "/b.dspa"}));
  recent.Add("/c.dsps");  // opened again: moves up, nothing falls off
  EXPECT_EQ(recent.List(), (Paths{"/c.dsps", "/e.dsps", "/d.dsps", "/b.dspa"}));
  recent.Remove("/e.dsps");
  EXPECT_EQ(recent.List(), (Paths{"/c.dsps", "/d.dsps", "/b.dspa"}));
  EXPECT_FALSE(settings.Get(RecentFiles::kSettingsKey, "File4").has_value());

  // A later run reads the same list from the store.
  EXPECT_EQ(RecentFiles(settings).List(), (Paths{"/c.dsps", "/d.dsps", "/b.dspa"}));
}

TEST(RecentFilesTest, BrokenStoreEntriesAreSkipped) {
  MemorySettings settings;
  settings.Set(RecentFiles::kSettingsKey, "File1", "");
  settings.Set(RecentFiles::kSettingsKey, "File2", "/x.dsps");
  settings.Set(RecentFiles::kSettingsKey, "File3", "/x.dsps");
  settings.Set(RecentFiles::kSettingsKey, "File9", "/y.dsps");
  EXPECT_EQ(RecentFiles(settings).List(), (Paths{"/x.dsps"}));
}

}  // namespace
}  // namespace zelto
