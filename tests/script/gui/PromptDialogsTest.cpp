// The operator prompt windows: what they show, and what each way of closing them answers.
#include "script/gui/PromptDialogs.h"
#include "ScriptWindowsFixture.h"
#include "support/gui/EventLoop.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vantelis::test {
namespace {

class PromptDialogsTest : public ScriptWindowsFixture
{
  protected:
    // Opens the prompt and returns its window; the answer lands in m_result and m_value.
    PromptDlg *Open(const ScriptPrompt &prompt)
    {
        m_result = -1;
        m_host.Open(prompt, [this](int result, std::string value) {
            m_result = result;
            m_value = std::move(value);
        });
        EXPECT_TRUE(RunEventLoopUntil([&] { return !m_host.OpenPrompts().empty(); }));
        return m_host.OpenPrompts().empty() ? nullptr : m_host.OpenPrompts().front();
    }
    bool Answered()
    {
        return RunEventLoopUntil([&] { return m_result != -1 && m_host.OpenPrompts().empty(); });
    }
    QtScriptPromptHost m_host;
    int m_result = -1;
    std::string m_value;
};

TEST_F(PromptDialogsTest, CustomButtonsAnswerTheirNumberAndEscAnswersNone)
{
    ScriptPrompt prompt;
    prompt.kind = ScriptPrompt::Kind::Custom;
    prompt.message = "Is the cartridge clamped?";
    prompt.captions = "Left; \"Right side\";Third;Fourth;Fifth";
    PromptDlg *dialog = Open(prompt);
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(dialog->Buttons().size(), 4u);
    EXPECT_EQ(dialog->Buttons()[1]->text(), "Right side");
    Screenshot(dialog, "PromptCustomDlg");
    // The wider caption gets the wider button.
    EXPECT_GT(dialog->Buttons()[1]->width(), dialog->Buttons()[0]->width());
    dialog->Buttons()[1]->click();
    ASSERT_TRUE(Answered());
    EXPECT_EQ(m_result, 2);

    dialog = Open(prompt);
    ASSERT_NE(dialog, nullptr);
    dialog->reject();
    ASSERT_TRUE(Answered());
    EXPECT_EQ(m_result, 0);
}

TEST_F(PromptDialogsTest, ValuePromptHandsBackItsTextOrCancels)
{
    ScriptPrompt prompt;
    prompt.kind = ScriptPrompt::Kind::Value;
    prompt.message = "Flow rate (ul/min)";
    prompt.value = "0.00";
    PromptDlg *dialog = Open(prompt);
    ASSERT_NE(dialog, nullptr);
    auto *edit = dialog->findChild<QLineEdit *>("value");
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), "0.00");
    Screenshot(dialog, "PromptForValueDlg");
    dialog->Buttons()[0]->click();
    ASSERT_TRUE(Answered());
    EXPECT_EQ(m_result, kPromptOk);
    EXPECT_EQ(m_value, "0.00");

    dialog = Open(prompt);
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QLineEdit *>("value")->setText(QString(1500, 'x'));
    dialog->Buttons()[0]->click();
    ASSERT_TRUE(Answered());
    EXPECT_EQ(m_value.size(), 1023u);

    dialog = Open(prompt);
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QLineEdit *>("value")->setText("7");
    dialog->Buttons()[1]->click();
    ASSERT_TRUE(Answered());
    EXPECT_EQ(m_result, kPromptCancel);
}

TEST_F(PromptDialogsTest, ContinueCancelAndDismiss)
{
    ScriptPrompt prompt;
    prompt.kind = ScriptPrompt::Kind::ContinueCancel;
    prompt.message = "Insert the cartridge,\nthen press Continue.";
    PromptDlg *dialog = Open(prompt);
    ASSERT_NE(dialog, nullptr);
    Screenshot(dialog, "PromptContinueCancelDlg");
    dialog->reject();
    ASSERT_TRUE(Answered());
    EXPECT_EQ(m_result, kPromptCancel);

    // A dismissed prompt closes without answering.
    m_result = -1;
    const uint64_t token = m_host.Open(prompt, [this](int result, std::string) { m_result = result; });
    ASSERT_TRUE(RunEventLoopUntil([&] { return !m_host.OpenPrompts().empty(); }));
    m_host.Dismiss(token);
    ASSERT_TRUE(RunEventLoopUntil([&] { return m_host.OpenPrompts().empty(); }));
    EXPECT_EQ(m_result, -1);
}

} // namespace
} // namespace vantelis::test
