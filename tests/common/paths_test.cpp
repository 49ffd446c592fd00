#include "common/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "support/test_media.h"

namespace tarn {
namespace {
namespace fs = std::filesystem;

UserFolders foldersWith(const std::map<std::string, std::string>& environment) {
  return userFoldersFrom([&](const char* name) {
    const auto found = environment.find(name);
    return found == environment.end() ? std::string() : found->second;
  });
}

TEST(Paths, UserFoldersFollowTheXdgVariablesWithTheirDefaults) {
  const UserFolders set = foldersWith({{"HOME", "/home/ada"},
                                       {"XDG_CONFIG_HOME", "/cfg"},
                                       {"XDG_STATE_HOME", "/st/"},
                                       {"XDG_CACHE_HOME", "/var/cache/ada"}});
  EXPECT_EQ(set.config, fs::path("/cfg/tarn-converter"));
  EXPECT_EQ(set.state, fs::path("/st/tarn-converter"));
  EXPECT_EQ(set.cache, fs::path("/var/cache/ada/tarn-converter"));

  // Unset, empty and relative values are ignored.
  const UserFolders defaults = foldersWith(
      {{"HOME", "/home/ada"}, {"XDG_CONFIG_HOME", ""}, {"XDG_CACHE_HOME", "relative/cache"}});
  EXPECT_EQ(defaults.config, fs::path("/home/ada/.config/tarn-converter"));
  EXPECT_EQ(defaults.state, fs::path("/home/ada/.local/state/tarn-converter"));
  EXPECT_EQ(defaults.cache, fs::path("/home/ada/.cache/tarn-converter"));

  // Without HOME, the password database's home folder.
  EXPECT_TRUE(foldersWith({}).config.is_absolute());
}

TEST(Paths, TwoLayoutsWithTheSameFileNames) {
  const WorkingPaths beside = WorkingPaths::forExeFolder("/opt/tarn/");
  EXPECT_FALSE(beside.userFolders);
  EXPECT_EQ(beside.logPath, fs::path("/opt/tarn/TarnConverter.log"));
  EXPECT_EQ(beside.settingsPath, fs::path("/opt/tarn/TarnConverter.ini"));
  EXPECT_EQ(beside.defaultTempFolder, fs::path("/opt/tarn/TEMP"));
  EXPECT_EQ(beside.probeFolder, fs::path("/opt/tarn/"));
  EXPECT_EQ(beside.filesFolder, fs::path("/opt/tarn"));

  const UserFolders user{"/c/tarn-converter", "/s/tarn-converter", "/k/tarn-converter"};
  const WorkingPaths installed = WorkingPaths::forUserFolders("/usr/lib/tarn-converter", user);
  EXPECT_TRUE(installed.userFolders);
  EXPECT_EQ(installed.logPath, fs::path("/s/tarn-converter/TarnConverter.log"));
  EXPECT_EQ(installed.settingsPath, fs::path("/c/tarn-converter/TarnConverter.ini"));
  EXPECT_EQ(installed.defaultTempFolder, fs::path("/k/tarn-converter/TEMP"));
  EXPECT_EQ(installed.probeFolder, fs::path("/k/tarn-converter"));
  EXPECT_EQ(installed.filesFolder, fs::path("/k/tarn-converter"));
  // The encoder tool stays beside the executable.
  EXPECT_EQ(installed.encoderToolPath, fs::path("/usr/lib/tarn-converter/PLUG-IN/ffmpeg_III.exe"));
}

TEST(Paths, TheProgramFolderIsUsedOnlyWhereItCanBeWritten) {
  test::ScratchDir folder;
  EXPECT_TRUE(programFolderWritable(folder.path()));
  EXPECT_FALSE(WorkingPaths::forProgram(folder.path()).userFolders);
  EXPECT_FALSE(programFolderWritable(folder / "missing"));
  // A system folder: not writable for users; root could write it but must not.
  EXPECT_FALSE(programFolderWritable("/usr/bin"));
  EXPECT_TRUE(WorkingPaths::forProgram("/usr/bin").userFolders);
  if (::geteuid() != 0) {
    fs::permissions(folder.path(), fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_FALSE(programFolderWritable(folder.path()));
    fs::permissions(folder.path(), fs::perms::owner_write, fs::perm_options::add);
  }
}

}  // namespace
}  // namespace tarn
