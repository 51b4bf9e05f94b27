#pragma once
// A data folder with a LOG folder, the logs pointed at it and the clock stopped at
// 7 March 2024 09:05:03.042; everything is put back afterwards.
#include "Ostravo/LogError.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/SystemInfo.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <string>

namespace vantelis::test {

class LogFolderTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(platform::MakeFolder(dir.file("LOG")));
        SetLogDataDirectory(dir.str().c_str());
        SetLogVersion("1.2.3.4");
        SetLogMainSettingsPath(dir.file("Plexorin.ini").c_str());
        platform::SetFakeClock(MakeTime(2024, 3, 7, 9, 5, 3, 42));
    }
    void TearDown() override
    {
        platform::ClearFakeClock();
        SetLogDataDirectory("");
        SetLogVersion("");
        SetLogMainSettingsPath("");
    }

    std::string Log(const std::string &name) const { return dir.file("LOG/" + name); }
    static std::string Header()
    {
        return "# ComputerName=" + platform::ComputerName() + "\r\nversion\ttime\tfile\tline\tmessage\r\n";
    }

    TempDir dir;
};

} // namespace vantelis::test
