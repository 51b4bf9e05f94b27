// The password dialog: what OK and Cancel leave in it, the length limit and the masked entry.
#include "app/gui/PasswordDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Runs the dialog modally; act() works on it once it shows. Returns the dialog's result.
int RunWith(PasswordDlg &dialog, const std::function<void()> &act)
{
    QTimer::singleShot(0, &dialog, act);
    return dialog.exec();
}

TEST(PasswordDlgTest, ShowsThePromptAndTakesTheEntryOnOk)
{
    PasswordDlg dialog;
    dialog.m_prompt = "Try 2 of 3";
    const int result = RunWith(dialog, [&] {
        EXPECT_EQ(dialog.PromptLabel()->text(), QStringLiteral("Try 2 of 3"));
        dialog.PasswordEdit()->setText(QStringLiteral("Secret value"));
        dialog.OkButton()->click();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog.m_password, "Secret value");
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Password"));
}

TEST(PasswordDlgTest, OkWithAnEmptyEntryGivesAnEmptyPassword)
{
    PasswordDlg dialog;
    const int result = RunWith(dialog, [&] { dialog.OkButton()->click(); });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog.m_password, "");
}

TEST(PasswordDlgTest, CancelAndClosingLeaveThePasswordEmpty)
{
    for (bool closeBox : {false, true}) {
        PasswordDlg dialog;
        const int result = RunWith(dialog, [&] {
            dialog.PasswordEdit()->setText(QStringLiteral("typed"));
            if (closeBox)
                dialog.close();
            else
                dialog.CancelButton()->click();
        });
        EXPECT_EQ(result, QDialog::Rejected) << closeBox;
        EXPECT_EQ(dialog.m_password, "") << closeBox;
    }
}

TEST(PasswordDlgTest, LongEntryIsCutTo1022Characters)
{
    PasswordDlg dialog;
    std::string typed(1022, 'a');
    typed += "bcdef";
    RunWith(dialog, [&] {
        dialog.PasswordEdit()->setText(QString::fromLatin1(typed.c_str()));
        dialog.OkButton()->click();
    });
    EXPECT_EQ(dialog.m_password, std::string(1022, 'a'));
}

TEST(PasswordDlgTest, TypedCharactersAreMasked)
{
    PasswordDlg dialog;
    EXPECT_EQ(dialog.PasswordEdit()->echoMode(), QLineEdit::Password);
    dialog.PasswordEdit()->setText(QStringLiteral("Marzipant!"));
    EXPECT_NE(dialog.PasswordEdit()->displayText(), QStringLiteral("Marzipant!"));
}

} // namespace
