#include "platform/gui/QtUserInterface.h"
#include "platform/Ui.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>
#include <thread>

using namespace platform::ui;
using platform::gui::QtUserInterface;

namespace {

class QtUserInterfaceTest : public ::testing::Test
{
  protected:
    void SetUp() override { m_ui = QtUserInterface::Install(); }
    void TearDown() override
    {
        SetUi(nullptr);
        m_ui.reset();
    }

    // Runs worker on its own thread while the GUI thread keeps its event loop going; every
    // dialog that opens meanwhile is handed to answer on the GUI thread.
    void RunWorker(const std::function<void()> &worker,
                   const std::function<void(QWidget *)> &answer = nullptr)
    {
        QEventLoop loop;
        QTimer answerer;
        answerer.setInterval(5);
        QObject::connect(&answerer, &QTimer::timeout, [&] {
            if (QWidget *dialog = QApplication::activeModalWidget(); dialog && answer)
                answer(dialog);
        });
        answerer.start();
        std::thread thread([&] {
            worker();
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        thread.join();
    }

    std::shared_ptr<QtUserInterface> m_ui;
};

bool OnGuiThread()
{
    return QThread::currentThread() == QApplication::instance()->thread();
}

} // namespace

TEST_F(QtUserInterfaceTest, WorkerQuestionIsAnsweredOnTheGuiThread)
{
    std::atomic<int> answer{0};
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool answeredOnGuiThread = false;
    RunWorker(
        [&] {
            ASSERT_FALSE(OnGuiThread());
            answer = MessageBox("Stop the run at 5 \xb5L?", "Vantelis", MbYesNo | MbIconQuestion);
        },
        [&](QWidget *dialog) {
            auto *box = qobject_cast<QMessageBox *>(dialog);
            ASSERT_NE(box, nullptr);
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            answeredOnGuiThread = OnGuiThread() && box->thread() == QApplication::instance()->thread();
            box->button(QMessageBox::Yes)->click();
        });
    EXPECT_EQ(answer, IdYes);
    EXPECT_EQ(text, QString::fromUtf8("Stop the run at 5 \xc2\xb5L?")) << "8-bit text arrives as Latin-1";
    EXPECT_EQ(title, "Vantelis");
    EXPECT_EQ(icon, QMessageBox::Question);
    EXPECT_TRUE(answeredOnGuiThread);
}

TEST_F(QtUserInterfaceTest, MessageBoxFlagsGiveButtonsIconsAndAnswers)
{
    struct Case
    {
        uint32_t flags;
        QMessageBox::StandardButtons buttons;
        QMessageBox::Icon icon;
        QMessageBox::StandardButton press; // NoButton: close the box with Escape
        int answer;
    } cases[] = {
        {MbOk | MbIconError, QMessageBox::Ok, QMessageBox::Critical, QMessageBox::Ok, IdOk},
        {MbOkCancel | MbIconWarning, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Warning,
         QMessageBox::Cancel, IdCancel},
        {MbOkCancel | MbIconInformation, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Information,
         QMessageBox::Ok, IdOk},
        {MbYesNo, QMessageBox::Yes | QMessageBox::No, QMessageBox::NoIcon, QMessageBox::No, IdNo},
        {MbYesNo, QMessageBox::Yes | QMessageBox::No, QMessageBox::NoIcon, QMessageBox::NoButton, IdNo},
        {MbYesNoCancel | MbIconQuestion, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
         QMessageBox::Question, QMessageBox::No, IdNo},
        {MbYesNoCancel, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::NoIcon,
         QMessageBox::NoButton, IdCancel},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.flags);
        QMessageBox::StandardButtons buttons;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        // Called on the GUI thread the box runs at once; a timer answers it from inside its loop.
        QTimer answerer;
        answerer.setInterval(5);
        QObject::connect(&answerer, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            buttons = box->standardButtons();
            icon = box->icon();
            defaultButton = box->standardButton(box->defaultButton());
            if (c.press == QMessageBox::NoButton)
                box->reject(); // what Escape or the title bar's close does
            else
                box->button(c.press)->click();
        });
        answerer.start();
        EXPECT_EQ(m_ui->MessageBox("Question", "Caption", c.flags), c.answer);
        EXPECT_EQ(buttons, c.buttons);
        EXPECT_EQ(icon, c.icon);
        EXPECT_EQ(defaultButton, (c.flags & 0xF) >= MbYesNoCancel ? QMessageBox::Yes : QMessageBox::Ok)
            << "the first button is the default";
    }
}

TEST_F(QtUserInterfaceTest, WorkerStatusTextReachesTheControlOnTheGuiThread)
{
    QLabel label;
    QStatusBar bar;
    std::string shown;
    bool shownOnGuiThread = false;
    m_ui->RegisterStatusTarget("progress", &label);
    m_ui->RegisterStatusTarget("pane", &bar);
    m_ui->RegisterStatusTarget("callback", [&](const std::string &text) {
        shown = text;
        shownOnGuiThread = OnGuiThread();
    });

    std::thread worker([] {
        Ui().SetStatusText("progress", "Processing 2 of 5");
        Ui().SetStatusText("pane", "Ready \xb5");
        Ui().SetStatusText("callback", "Processing 5 of 5");
        Ui().SetStatusText("unknown", "ignored");
    });
    worker.join();
    EXPECT_EQ(label.text(), "") << "the worker itself never touches the control";
    EXPECT_EQ(shown, "");

    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(label.text(), "Processing 2 of 5");
    EXPECT_EQ(bar.currentMessage(), QString::fromUtf8("Ready \xc2\xb5"));
    EXPECT_EQ(shown, "Processing 5 of 5");
    EXPECT_TRUE(shownOnGuiThread);

    // On the GUI thread the text is set at once.
    Ui().SetStatusText("progress", "Done");
    EXPECT_EQ(label.text(), "Done");

    // A control that is gone, or a target taken away, is ignored.
    {
        QLabel temporary;
        m_ui->RegisterStatusTarget("temporary", &temporary);
    }
    Ui().SetStatusText("temporary", "nobody listens");
    m_ui->UnregisterStatusTarget("progress");
    Ui().SetStatusText("progress", "after");
    EXPECT_EQ(label.text(), "Done");
}

TEST_F(QtUserInterfaceTest, WorkerPromptAndRunOnGuiThread)
{
    bool ok = false;
    std::string text = "old name";
    bool ranOnGuiThread = false;
    bool workFinishedBeforeReturn = false;
    RunWorker(
        [&] {
            ok = Ui().Prompt("Rename", "New name:", text);
            bool done = false;
            Ui().RunOnGuiThread(
                [&] {
                    ranOnGuiThread = OnGuiThread();
                    done = true;
                },
                true);
            workFinishedBeforeReturn = done;
        },
        [&](QWidget *dialog) {
            auto *input = qobject_cast<QInputDialog *>(dialog);
            ASSERT_NE(input, nullptr);
            EXPECT_EQ(input->textValue(), "old name") << "the prompt starts with the current text";
            input->setTextValue(QString::fromUtf8("Pr\xc3\xbc"
                                                  "fung"));
            input->accept();
        });
    EXPECT_TRUE(ok);
    EXPECT_EQ(text, "Pr\xc3\xbc"
                    "fung")
        << "typed text comes back as UTF-8";
    EXPECT_TRUE(ranOnGuiThread);
    EXPECT_TRUE(workFinishedBeforeReturn);
}

TEST_F(QtUserInterfaceTest, TimersStartedFromAWorkerTickOnTheGuiThread)
{
    QEventLoop loop;
    int ticks = 0;
    bool allOnGuiThread = true;
    std::thread worker([&] {
        Ui().StartTimer(4, 1, [&] {
            allOnGuiThread = allOnGuiThread && OnGuiThread();
            if (++ticks == 3) {
                Ui().StopTimer(4); // a tick may stop its own timer
                loop.quit();
            }
        });
    });
    worker.join();
    QTimer::singleShot(30000, &loop, &QEventLoop::quit); // a bound, should the timer never tick
    loop.exec();
    EXPECT_EQ(ticks, 3);
    EXPECT_TRUE(allOnGuiThread);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks, 3) << "stopped";
}
