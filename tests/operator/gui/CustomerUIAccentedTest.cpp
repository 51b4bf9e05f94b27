// The operator screen's edits with names that are not plain ASCII: what the operator types reaches
// the screen's model as UTF-8 (the bytes of the folder on disk), and a value the script set from an
// older settings file is shown in Windows-1252 and left as it was when nobody edits it.
#include "operator/gui/CustomerUIWindowFixture.h"
#include "operator/gui/CustomerUIWnd.h"

#include "platform/Files.h"
#include "platform/gui/QtText.h"
#include "support/gui/EventLoop.h"
#include "support/gui/TypeText.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using vantelis::test::RunEventLoopUntil;

using vantelis::test::TypeText;

class CustomerUIAccentedTest : public vantelis::test::CustomerUIWindowFixture
{
  protected:
    std::shared_ptr<CustomerUIShared> m_shared = std::make_shared<CustomerUIShared>();
};

TEST_F(CustomerUIAccentedTest, TypedFoldersReachTheModelAsTheirBytesAndUneditedValuesKeepTheirs)
{
    const std::string folder = m_dir.file("Exp\xC3\xA9rience");
    std::filesystem::create_directories(folder);
    CustomerUI screen;
    CustomerUIWnd window(screen, m_shared, 1920, 1080);
    std::string error;
    ASSERT_TRUE(screen.SetInput(0, "Experiment folder", "", 200));
    ASSERT_TRUE(screen.SetInput(1, "Operator", "Ren\xE9", 20)); // from a Windows-1252 settings file
    ASSERT_TRUE(screen.SetState(PromptForInput, error)) << error;
    screen.SetVisible(true);
    ASSERT_TRUE(RunEventLoopUntil([&] { return window.InputEdit(1)->isVisible(); }));
    ASSERT_TRUE(RunEventLoopUntil([&] { return window.InputEdit(1)->text() == QString::fromUtf8("René"); }));

    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.InputEdit(0)->setFocus();
    TypeText(window.InputEdit(0), platform::gui::PathToQt(folder));
    ASSERT_TRUE(RunEventLoopUntil([&] { return screen.Snapshot().editTexts[0] == folder; }))
        << screen.Snapshot().editTexts[0];
    EXPECT_TRUE(platform::FolderExists(screen.Snapshot().editTexts[0]));
    EXPECT_EQ(screen.Snapshot().editTexts[1], "Ren\xE9") << "not edited: the bytes as the script set them";

    // Edited: the new text is UTF-8.
    window.InputEdit(1)->setFocus();
    TypeText(window.InputEdit(1), QStringLiteral("e"));
    ASSERT_TRUE(RunEventLoopUntil([&] {
        return screen.Snapshot().editTexts[1] == "Ren\xC3\xA9"
                                                 "e";
    })) << screen.Snapshot().editTexts[1];
}

} // namespace
