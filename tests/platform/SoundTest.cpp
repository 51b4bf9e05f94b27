// Playing a sound goes to the player as an argument list and waits for it; a player that cannot
// start or that fails is reported with its reason.
#include "platform/Sound.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class ScriptedPlayer : public platform::ProcessLauncher
{
  public:
    bool Start(const std::string &, const std::vector<std::string> &, std::string *) override
    {
        return false;
    }
    bool Run(const std::string &program, const std::vector<std::string> &args, std::string *, int *exitCode,
             std::string *error) override
    {
        this->program = program;
        this->args = args;
        if (!startable) {
            *error = "Run() : cannot start 'aplay': No such file or directory";
            return false;
        }
        *exitCode = status;
        return true;
    }
    std::string program;
    std::vector<std::string> args;
    bool startable = true;
    int status = 0;
};

TEST(Sound, PlaysThroughThePlayerAndReportsWhyItCouldNot)
{
    auto player = std::make_shared<ScriptedPlayer>();
    auto previous = platform::SetLauncher(player);
    std::string error;
    // A name that looks like an option or holds shell characters is still just the file.
    EXPECT_TRUE(platform::PlaySoundFile("-x; rm y.wav", &error)) << error;
    EXPECT_EQ(player->program, "aplay");
    EXPECT_EQ(player->args, (std::vector<std::string>{"-q", "--", "-x; rm y.wav"}));

    player->status = 2;
    EXPECT_FALSE(platform::PlaySoundFile("/s/a.wav", &error));
    EXPECT_EQ(error, "aplay ended with status 2");
    player->startable = false;
    EXPECT_FALSE(platform::PlaySoundFile("/s/a.wav", &error));
    EXPECT_EQ(error, "Run() : cannot start 'aplay': No such file or directory");
    platform::SetLauncher(previous);
}

} // namespace
