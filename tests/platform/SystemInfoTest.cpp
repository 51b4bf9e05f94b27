#include "platform/SystemInfo.h"
#include "platform/Files.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits.h>
#include <optional>
#include <unistd.h>

using namespace platform;
using vantelis::test::TempDir;
using vantelis::test::WriteFileBytes;

TEST(SystemInfo, ComputerNameIsTheShortHostNameCutTo15Characters)
{
    struct Case
    {
        const char *host;
        const char *name;
    } cases[] = {
        {"lab-pc", "lab-pc"},
        {"exactly15chars1", "exactly15chars1"},
        {"instrument-workstation-07", "instrument-work"},
        {"analysis.lab.example.org", "analysis"},
        {"averyveryverylonghostname.example.org", "averyveryverylo"},
        {"", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ComputerNameFrom(c.host), c.name) << c.host;

    char host[HOST_NAME_MAX + 1] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    std::string name = ComputerName();
    EXPECT_LE(name.size(), 15u);
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(std::string(host).compare(0, name.size(), name), 0) << "a prefix of " << host;
}

TEST(SystemInfo, ProgramFolderHoldsTheRunningExecutable)
{
    std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '/');
    EXPECT_TRUE(FileExists(folder + "/test_platform"));
}

TEST(SystemInfo, DocumentsFolderOverrideComesFirst)
{
    TempDir dir;
    ScopedEnv docs("VANTELIS_DOCUMENTS", (dir.str() + "/MyData/").c_str());
    EXPECT_EQ(DocumentsFolder(), dir.str() + "/MyData");
    ScopedEnv backslashed("VANTELIS_DOCUMENTS", (dir.str() + "\\Other\\\\").c_str());
    EXPECT_EQ(DocumentsFolder(), dir.str() + "/Other");
}

TEST(SystemInfo, DocumentsFolderFollowsTheUserDirsFileElseHomeDocuments)
{
    TempDir dir;
    ScopedEnv docs("VANTELIS_DOCUMENTS", nullptr);
    ScopedEnv home("HOME", dir.str().c_str());
    ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(DocumentsFolder(), dir.str() + "/Documents") << "no user-dirs file";

    ASSERT_TRUE(MakeFolder(dir.file(".config")));
    WriteFileBytes(dir.file(".config/user-dirs.dirs"), "# written by xdg-user-dirs-update\n"
                                                       "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                                       "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    EXPECT_EQ(DocumentsFolder(), dir.str() + "/Dokumente");

    TempDir other;
    ScopedEnv configHome("XDG_CONFIG_HOME", other.str().c_str());
    WriteFileBytes(other.file("user-dirs.dirs"), "XDG_DOCUMENTS_DIR=\"/srv/lab docs/\"\r\n");
    EXPECT_EQ(DocumentsFolder(), "/srv/lab docs") << "an absolute path, CR LF line end";

    WriteFileBytes(other.file("user-dirs.dirs"), "XDG_DOCUMENTS_DIR=relative/path\n");
    EXPECT_EQ(DocumentsFolder(), dir.str() + "/Documents") << "an unusable entry is ignored";
}
