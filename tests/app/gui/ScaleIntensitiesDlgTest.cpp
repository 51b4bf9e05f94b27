// The scale-intensities dialog: delayed previews, Cancel restoring the view, OK and Set Default.
#include "app/gui/ScaleIntensitiesDlg.h"

#include "support/TempDir.h"

#include "Ostravo/Profile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

using vantelis::test::TempDir;

namespace {

using Message = std::pair<int, uint32_t>;

class ScaleIntensitiesDlgTest : public ::testing::Test
{
  protected:
    ScaleIntensitiesDlgTest()
    {
        m_dialog.m_settings_path = m_dir.file("Plexorin.ini");
        m_dialog.m_max_value = 30000;
        m_dialog.m_min_value = 200;
        m_dialog.m_restore_max_value = 30000;
        m_dialog.m_restore_min_value = 200;
        m_dialog.m_view_window = &m_view;
        m_dialog.m_view_message = [this](int code, uint32_t value) { m_received.emplace_back(code, value); };
        m_dialog.show();
    }

    // Runs the event loop until a preview has arrived; false when none came within seconds.
    bool WaitForMessages(size_t count)
    {
        QDeadlineTimer deadline(10000);
        while (m_received.size() < count && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return m_received.size() >= count;
    }

    std::string Setting(const char *key) const
    {
        char text[64] = {0};
        Ostravo::E_GetPrivateProfileString("ScaleIntensitiesDlg", key, "", text, sizeof text,
                                           m_dialog.m_settings_path.c_str());
        return text;
    }

    TempDir m_dir;
    QObject m_view;
    ScaleIntensitiesDlg m_dialog;
    std::vector<Message> m_received;
};

TEST_F(ScaleIntensitiesDlgTest, ShowsTheValuesItWasGiven)
{
    EXPECT_EQ(m_dialog.MaxEdit()->text(), QStringLiteral("30000"));
    EXPECT_EQ(m_dialog.MinEdit()->text(), QStringLiteral("200"));
    EXPECT_EQ(m_dialog.windowTitle(), QStringLiteral("Scale Intensities"));
}

TEST_F(ScaleIntensitiesDlgTest, TypingPreviewsOnceAfterTheLastKey)
{
    m_dialog.MaxEdit()->clear();
    QTest::keyClicks(m_dialog.MaxEdit(), "40000");
    // Every key restarted the quiet period; nothing has reached the view yet.
    EXPECT_TRUE(m_dialog.TimerActive(ScaleIntensitiesDlg::kMaxTimer));
    ASSERT_TRUE(WaitForMessages(1));
    QCoreApplication::processEvents();
    EXPECT_EQ(m_received, (std::vector<Message>{{32774, 40000}}));
    EXPECT_FALSE(m_dialog.TimerActive(ScaleIntensitiesDlg::kMaxTimer));
}

TEST_F(ScaleIntensitiesDlgTest, LowerEditPreviewsTheLowerIntensity)
{
    m_dialog.MinEdit()->setText(QStringLiteral("1500"));
    ASSERT_TRUE(m_dialog.TimerActive(ScaleIntensitiesDlg::kMinTimer));
    m_dialog.OnTimer(ScaleIntensitiesDlg::kMinTimer);
    EXPECT_FALSE(m_dialog.TimerActive(ScaleIntensitiesDlg::kMinTimer));
    EXPECT_TRUE(m_received.empty()); // posted, not sent
    QCoreApplication::processEvents();
    EXPECT_EQ(m_received, (std::vector<Message>{{32775, 1500}}));
}

TEST_F(ScaleIntensitiesDlgTest, ATextThatIsNoNumberIsNotPreviewed)
{
    m_dialog.MaxEdit()->setText(QStringLiteral("bright"));
    m_dialog.OnTimer(ScaleIntensitiesDlg::kMaxTimer);
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_received.empty());
    // OK keeps the value the edit had before.
    m_dialog.OkButton()->click();
    EXPECT_EQ(m_dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_dialog.m_max_value, 30000);
}

TEST_F(ScaleIntensitiesDlgTest, CancelAfterPreviewsRestoresTheViewsWindow)
{
    m_dialog.MaxEdit()->setText(QStringLiteral("50000"));
    m_dialog.OnTimer(ScaleIntensitiesDlg::kMaxTimer);
    m_dialog.MinEdit()->setText(QStringLiteral("900"));
    m_dialog.OnTimer(ScaleIntensitiesDlg::kMinTimer);
    m_dialog.CancelButton()->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(m_dialog.result(), QDialog::Rejected);
    EXPECT_EQ(m_received, (std::vector<Message>{{32774, 50000}, {32775, 900}, {32774, 30000}, {32775, 200}}));
    EXPECT_EQ(m_dialog.m_max_value, 30000);
    EXPECT_EQ(m_dialog.m_min_value, 200);
}

TEST_F(ScaleIntensitiesDlgTest, OkKeepsTheLow16Bits)
{
    m_dialog.MaxEdit()->setText(QStringLiteral("70000"));
    m_dialog.MinEdit()->setText(QStringLiteral("12"));
    m_dialog.OkButton()->click();
    EXPECT_EQ(m_dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_dialog.m_max_value, 70000 - 65536);
    EXPECT_EQ(m_dialog.m_min_value, 12);
    EXPECT_EQ(Setting("MaxIntensity"), ""); // OK stores no defaults
}

TEST_F(ScaleIntensitiesDlgTest, SetDefaultStoresBothTextsAndClosesAsOk)
{
    m_dialog.MaxEdit()->setText(QStringLiteral("5000"));
    m_dialog.MinEdit()->setText(QStringLiteral("100"));
    m_dialog.SetDefaultButton()->click();
    EXPECT_EQ(m_dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Setting("MaxIntensity"), "5000");
    EXPECT_EQ(Setting("MinIntensity"), "100");
    EXPECT_EQ(m_dialog.m_max_value, 5000);
    EXPECT_EQ(m_dialog.m_min_value, 100);
}

TEST_F(ScaleIntensitiesDlgTest, PreviewForAViewThatIsGoneIsDropped)
{
    auto *view = new QObject;
    m_dialog.m_view_window = view;
    m_dialog.MaxEdit()->setText(QStringLiteral("1000"));
    m_dialog.OnTimer(ScaleIntensitiesDlg::kMaxTimer);
    delete view;
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_received.empty());
}

} // namespace
