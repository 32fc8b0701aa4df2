// Shipped files and the settings folder in the build tree and in an installed
// tree; --version of every program.
#include "link/appdirs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ecudata/init.h"
#include "loader/init.h"

namespace {

void Touch(const std::string& path) {
  std::ofstream(path) << "x\n";
}

void MakeDirs(const std::string& path) {
  ASSERT_EQ(std::system(("mkdir -p '" + path + "'").c_str()), 0);
}

// Runs `check` in a child process as an unprivileged user when the tests run as root
// (root passes every permission check), and tells whether it held.
bool HoldsUnprivileged(const std::function<bool()>& check) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    _exit(check() ? 0 : 1);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class AppDirsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kestra-appdirs-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root = tmpl;
    chmod(root.c_str(), 0755);  // an unprivileged child must reach it
    buildBin = root + "/build/shell";
    prefix = root + "/usr";
    installedBin = prefix + "/bin";
    MakeDirs(buildBin);
    MakeDirs(installedBin);
    MakeDirs(prefix + "/share/kestra/system");
    MakeDirs(root + "/config");
    chmod((root + "/config").c_str(), 0777);
    for (const char* name : {"XDG_CONFIG_HOME", "HOME"}) {
      const char* value = std::getenv(name);
      saved.push_back(value ? std::optional<std::string>(value) : std::nullopt);
    }
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  }
  void TearDown() override {
    com::SetExecutableDirectory("");
    const char* names[] = {"XDG_CONFIG_HOME", "HOME"};
    for (size_t i = 0; i < saved.size(); ++i) {
      if (saved[i])
        setenv(names[i], saved[i]->c_str(), 1);
      else
        unsetenv(names[i]);
    }
    chmod(buildBin.c_str(), 0755);
    ASSERT_EQ(std::system(("rm -rf '" + root + "'").c_str()), 0);
  }

  std::string root, buildBin, prefix, installedBin;
  std::vector<std::optional<std::string>> saved;
};

TEST_F(AppDirsTest, ShippedFilesBesideTheExecutableThenInShare) {
  Touch(buildBin + "/mtintern.ini");
  Touch(prefix + "/share/kestra/mtintern.ini");
  Touch(prefix + "/share/kestra/system/road.fdt");

  // Build tree: the file beside the program.
  com::SetExecutableDirectory(buildBin);
  EXPECT_EQ(com::ShippedFilePath("mtintern.ini"), buildBin + "/mtintern.ini");
  EXPECT_FALSE(com::IsInstalledTree());

  // Installed tree: <prefix>/share/kestra, subfolders and folders included.
  com::SetExecutableDirectory(installedBin + "/");
  EXPECT_TRUE(com::IsInstalledTree());
  EXPECT_EQ(com::ShippedFilePath("mtintern.ini"), prefix + "/share/kestra/mtintern.ini");
  EXPECT_EQ(com::ShippedFilePath("system/road.fdt"), prefix + "/share/kestra/system/road.fdt");
  EXPECT_EQ(com::ShippedFilePath("system"), prefix + "/share/kestra/system");

  // A copy beside the installed program wins over the shared one.
  Touch(installedBin + "/mtintern.ini");
  EXPECT_EQ(com::ShippedFilePath("mtintern.ini"), installedBin + "/mtintern.ini");
  EXPECT_EQ(
      com::ShippedFileCandidates("canlabel.ini"),
      (std::vector<std::string>{installedBin + "/canlabel.ini", prefix + "/share/kestra/canlabel.ini"}));
}

TEST_F(AppDirsTest, MissingShippedFileNamesThePlaceBesideTheExecutable) {
  // In both trees a missing file comes back as the path beside the program, which
  // does not open: the caller reports it the same way either way.
  for (const std::string& bin : {buildBin, installedBin}) {
    com::SetExecutableDirectory(bin);
    const std::string path = com::ShippedFilePath("canlabel.ini");
    EXPECT_EQ(path, bin + "/canlabel.ini");
    EXPECT_EQ(std::fopen(path.c_str(), "r"), nullptr);
  }
  // A bin folder without a share folder beside it is not an installed tree.
  MakeDirs(root + "/home/bin");
  com::SetExecutableDirectory(root + "/home/bin");
  EXPECT_FALSE(com::IsInstalledTree());
}

TEST_F(AppDirsTest, SettingsBesideTheProgramOnlyInAWritableFolderThatIsNotInstalled) {
  com::SetExecutableDirectory(buildBin);
  EXPECT_EQ(com::SettingsDirectory("kestra", "tarvenco.ini"), buildBin);
  ecu::SetInitFilePath("");
  EXPECT_EQ(ecu::InitFilePath(), buildBin + "/tarvenco.ini");
  loader::SetSettingsDirectory("");
  EXPECT_EQ(loader::SettingsPath(), buildBin + "/tarvenco.ini");

  // Installed: the user's folder (created), even though root could write into bin.
  com::SetExecutableDirectory(installedBin);
  EXPECT_EQ(ecu::InitFilePath(), root + "/config/kestra/tarvenco.ini");
  EXPECT_EQ(loader::SettingsPath(), root + "/config/kalvex/tarvenco.ini");
  struct stat st {};
  ASSERT_EQ(stat((root + "/config/kestra").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // Kestra writes its settings there and leaves the installation folder untouched.
  ecu::WriteInitFile();
  EXPECT_EQ(access((root + "/config/kestra/tarvenco.ini").c_str(), R_OK), 0);
  EXPECT_NE(access((installedBin + "/tarvenco.ini").c_str(), F_OK), 0);
}

TEST_F(AppDirsTest, ReadOnlyProgramFolderOrSettingsFileSendsSettingsToTheUser) {
  const std::string userDir = root + "/config/kestra";
  // A read-only folder beside a build-tree layout.
  chmod(buildBin.c_str(), 0555);
  EXPECT_TRUE(HoldsUnprivileged([&] {
    com::SetExecutableDirectory(buildBin);
    return com::SettingsDirectory("kestra", "tarvenco.ini") == userDir;
  }));
  // A writable folder holding a settings file that the user may not write.
  chmod(buildBin.c_str(), 0777);
  Touch(buildBin + "/tarvenco.ini");
  chmod((buildBin + "/tarvenco.ini").c_str(), 0444);
  EXPECT_TRUE(HoldsUnprivileged([&] {
    com::SetExecutableDirectory(buildBin);
    return com::SettingsDirectory("kestra", "tarvenco.ini") == userDir;
  }));
  chmod((buildBin + "/tarvenco.ini").c_str(), 0666);
  EXPECT_TRUE(HoldsUnprivileged([&] {
    com::SetExecutableDirectory(buildBin);
    return com::SettingsDirectory("kestra", "tarvenco.ini") == buildBin;
  }));
}

TEST_F(AppDirsTest, UserConfigurationFolder) {
  EXPECT_EQ(com::UserConfigDirectory("kalvex"), root + "/config/kalvex");
  // A relative XDG_CONFIG_HOME is ignored, as the XDG rules say.
  setenv("XDG_CONFIG_HOME", "relative/config", 1);
  setenv("HOME", (root + "/home").c_str(), 1);
  EXPECT_EQ(com::UserConfigDirectory("kestra"), root + "/home/.config/kestra");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(com::UserConfigDirectory("kestra"), root + "/home/.config/kestra");
  // An installed program whose user folder cannot be made keeps its settings in the
  // current folder rather than in the installation.
  setenv("HOME", "/proc/no-home", 1);
  com::SetExecutableDirectory(installedBin);
  EXPECT_EQ(com::SettingsDirectory("kestra", "tarvenco.ini"), ".");
}

TEST(VersionTest, EveryProgramAnswersVersion) {
  struct Program {
    const char* path;
    std::string expected;
  };
  const std::string version = com::PackageVersion();
  const Program programs[] = {
      {"/cli/kestra-cli", "kestra-cli " + version},
      {"/cli/kalvex-cli", "kalvex-cli 3.0 (kestra " + version + ")"},
      {"/sim/q740-sim", "q740-sim " + version},
      {"/shell/kestra", "kestra " + version},
      {"/loader/kalvex", "kalvex 3.0 (kestra " + version + ")"},
  };
  for (const Program& p : programs) {
    const std::string exe = std::string(BUILD_DIR) + p.path;
    if (access(exe.c_str(), X_OK) != 0) continue;  // not built in this configuration
    // No display: the window programs answer before they start Qt.
    FILE* pipe =
        popen(("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb '" + exe + "' --version").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[256] = {};
    const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    EXPECT_EQ(pclose(pipe), 0) << exe;
    EXPECT_TRUE(got) << exe;
    EXPECT_EQ(std::string(line), p.expected + "\n") << exe;
  }

  char arg0[] = "kestra-cli", other[] = "info", flag[] = "--version";
  char* without[] = {arg0, other, nullptr};
  char* with[] = {arg0, other, flag, nullptr};
  testing::internal::CaptureStdout();
  EXPECT_FALSE(com::AnswerVersion(2, without, "kestra-cli"));
  EXPECT_TRUE(com::AnswerVersion(3, with, "kestra-cli"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "kestra-cli " + version + "\n");
}

}  // namespace
