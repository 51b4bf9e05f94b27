// Program text and file names at the Qt boundary: UTF-8 both ways, Windows-1252 values shown and
// kept, byte limits applied in bytes, and names picked in Qt's own file dialogs.
#include "platform/gui/QtText.h"
#include "platform/Ui.h"
#include "platform/Utf8Text.h"
#include "platform/gui/QtUserInterface.h"
#include "support/TempDir.h"
#include "support/gui/TypeText.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>

using namespace platform::gui;
using vantelis::test::TempDir;
using vantelis::test::WriteFileBytes;

namespace {

const std::string kFolderName = "Donn\xC3\xA9"
                                "es \xC3\xA9";         // "Données é"
const std::string kFileName = "cellules_\xC3\xAF.png"; // "cellules_ï.png"
const std::string kLatin1Name = "ancien_\xEF.png";     // not UTF-8: a Latin-1 "ï"

using vantelis::test::TypeText;

TEST(QtTextTest, ProgramTextShowsAsUtf8AndOtherBytesAsWindows1252)
{
    struct Case
    {
        const char *what;
        std::string bytes;
        QString shown;
        bool roundTrips; // FromQt(shown) gives the bytes back
    };
    const Case cases[] = {
        {"ASCII", "Images/run_0001.png", QStringLiteral("Images/run_0001.png"), true},
        {"UTF-8 folder", kFolderName, QString::fromUtf8("Données é"), true},
        {"four-byte UTF-8", "\xF0\x9F\x94\xAC", QString::fromUtf8("\xF0\x9F\x94\xAC"), true},
        {"Windows-1252 value",
         "Donn\xE9"
         "es",
         QString::fromUtf8("Données"), false},
        {"Windows-1252 euro, quotes and y diaeresis", "\x80 \x93x\x94 \x9F", QString::fromUtf8("€ “x” Ÿ"),
         false},
        {"undefined Windows-1252 byte", "a\x81", QStringLiteral("a") + QChar(0x81), false},
        {"UTF-8 folder holding a Windows-1252 name", kFolderName + "/Exp\xE9",
         QString::fromUtf8("Données é/Expé"), false},
        {"micro and degree signs",
         "\xC2\xB5s \xC2\xB0"
         "C",
         QString::fromUtf8("µs °C"), true},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(ToQt(c.bytes), c.shown) << c.what;
        EXPECT_EQ(FromQt(c.shown) == c.bytes, c.roundTrips) << c.what;
    }
    EXPECT_EQ(ToQt(static_cast<const char *>(nullptr)), QString());
    // A file name that is not UTF-8 shows as Qt's dialogs show it.
    EXPECT_EQ(PathToQt(kLatin1Name),
              QStringLiteral("ancien_") + QChar(QChar::ReplacementCharacter) + QStringLiteral(".png"));
    EXPECT_EQ(PathFromQt(PathToQt(kFolderName + "/" + kFileName)), kFolderName + "/" + kFileName);
}

// Every byte from 0x80 to 0xFF, as a value written on a Windows computer may hold them.
std::string HighBytes()
{
    std::string bytes = "x";
    for (int b = 0x80; b <= 0xFF; ++b)
        bytes += static_cast<char>(b);
    return bytes;
}

TEST(QtTextTest, Windows1252ValuesGoBackUnchangedUnlessEdited)
{
    const std::string stored = HighBytes();
    ASSERT_FALSE(platform::IsValidUtf8(stored));

    QLineEdit edit;
    SetEditText(&edit, stored);
    EXPECT_EQ(EditText(&edit), stored) << "shown and left alone";
    EXPECT_EQ(edit.text().size(), static_cast<qsizetype>(stored.size())) << "one character per byte";

    edit.setFocus();
    edit.end(false);
    TypeText(&edit, QStringLiteral("\u00e9"));
    EXPECT_EQ(EditText(&edit), FromQt(ToQt(stored)) + "\xC3\xA9") << "an edited value is UTF-8";
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(EditText(&edit), stored) << "edited back to what was shown: the bytes as they were";

    QComboBox combo;
    combo.setEditable(true);
    AddComboItem(&combo, "Donn\xE9"
                         "es");
    AddComboItem(&combo, kLatin1Name, TextKind::Path);
    combo.setCurrentIndex(1);
    EXPECT_EQ(ComboText(&combo), kLatin1Name) << "an item shown with U+FFFD still names its file";
    combo.setCurrentIndex(0);
    EXPECT_EQ(ComboText(&combo), "Donn\xE9"
                                 "es");
    SetComboEditText(&combo, "Exp\xE9rience");
    EXPECT_EQ(ComboText(&combo), "Exp\xE9rience");
    combo.setEditText(QString::fromUtf8("Expériences"));
    EXPECT_EQ(ComboText(&combo), "Exp\xC3\xA9riences") << "typed over: UTF-8";

    QListWidget list;
    AddListItem(&list, kLatin1Name);
    AddListItem(&list, kFileName);
    EXPECT_EQ(ItemText(list.item(0)), kLatin1Name);
    EXPECT_EQ(ItemText(list.item(1)), kFileName);
    EXPECT_EQ(list.item(1)->text(), QString::fromUtf8("cellules_ï.png"));
}

TEST(QtTextTest, EditLimitsCountBytesAndNeverSplitACharacter)
{
    QLineEdit edit;
    LimitEditBytes(&edit, 1023);
    edit.setFocus();
    // 600 two-byte characters are 1200 bytes; the 512th would end at byte 1024.
    TypeText(&edit, QString(600, QChar(0xE9)));
    EXPECT_EQ(edit.text(), QString(511, QChar(0xE9)));
    EXPECT_EQ(FromQt(edit.text()).size(), 1022u);
    TypeText(&edit, QStringLiteral("a"));
    EXPECT_EQ(FromQt(edit.text()).size(), 1023u) << "one byte still fits";
    TypeText(&edit, QStringLiteral("b\u00e9"));
    EXPECT_EQ(FromQt(edit.text()).size(), 1023u) << "nothing more is taken";
    EXPECT_TRUE(edit.text().endsWith(QChar('a')));

    // Pasting into the middle keeps the text around it and takes what fits of the paste.
    QLineEdit small;
    LimitEditBytes(&small, 8);
    small.setText(QStringLiteral("abcd"));
    small.setCursorPosition(2);
    small.insert(QString::fromUtf8("€€€"));
    EXPECT_EQ(small.text(), QString::fromUtf8("ab€cd")) << "7 bytes: a second euro would make 10";
    // A value set as a whole is cut at its end, between characters.
    small.setText(QString::fromUtf8("ééééé"));
    EXPECT_EQ(small.text(), QString::fromUtf8("éééé"));

    EXPECT_EQ(FromQtLimited(QString(600, QChar(0xE9)), 1023).size(), 1022u);
}

TEST(QtTextTest, ImagesOfAnyNameLoad)
{
    TempDir dir;
    const std::string folder = dir.file(kFolderName);
    std::filesystem::create_directories(folder);
    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(PathToQt(folder + "/" + kFileName)));
    std::filesystem::copy_file(folder + "/" + kFileName, folder + "/" + kLatin1Name);

    for (const std::string &name : {kFileName, kLatin1Name}) {
        QImage loaded;
        EXPECT_TRUE(LoadImageFile(folder + "/" + name, loaded)) << name;
        EXPECT_EQ(loaded.size(), QSize(4, 3)) << name;
    }
    QImage missing;
    EXPECT_FALSE(LoadImageFile(folder + "/none.png", missing));
    EXPECT_TRUE(missing.isNull());
}

// Qt's own file dialogs, answered on the GUI thread as a user would: by typing a name into the
// file-name field or by picking an entry of the listing.
class QtPickerTest : public ::testing::Test
{
  protected:
    QtPickerTest()
    {
        m_ui = QtUserInterface::Install();
        m_folder = m_dir.file(kFolderName);
        std::filesystem::create_directories(m_folder);
        WriteFileBytes(m_folder + "/" + kFileName, "png");
        WriteFileBytes(m_folder + "/" + kLatin1Name, "png");
        m_answerer.setInterval(20);
        QObject::connect(&m_answerer, &QTimer::timeout, [this] { Answer(); });
        m_answerer.start();
    }
    ~QtPickerTest() override
    {
        m_answerer.stop();
        platform::ui::SetUi(nullptr);
    }

    void Answer()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            m_messages.push_back(FromQt(box->text()));
            box->accept();
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            // A dialog that refused the answer with a message is left by Cancel, as a user would.
            if (dialog->property("answered").toBool() && m_messages.size() > m_messagesBefore)
                dialog->reject();
            else if (m_answer)
                m_answer(dialog);
        }
    }

    // Types text into the dialog's file-name field (the dialog shows the folder it started in) and
    // presses Open.
    static std::function<void(QFileDialog *)> Type(const QString &text)
    {
        return [text](QFileDialog *dialog) {
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            if (!edit)
                return;
            if (dialog->property("answered").toBool())
                return;
            dialog->setProperty("answered", true);
            edit->setFocus();
            edit->selectAll();
            TypeText(edit, text);
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        };
    }

    // Picks the entry of the listing named name (as the listing shows it) and accepts.
    static std::function<void(QFileDialog *)> Pick(const QString &name)
    {
        return [name](QFileDialog *dialog) {
            auto *view = dialog->findChild<QListView *>(QStringLiteral("listView"));
            if (!view || !view->model())
                return;
            const QAbstractItemModel *model = view->model();
            for (int row = 0; row < model->rowCount(view->rootIndex()); ++row) {
                const QModelIndex index = model->index(row, 0, view->rootIndex());
                if (model->data(index).toString() == name && !dialog->property("answered").toBool()) {
                    // Accepted once the choice shows in the name field (the listing may still be
                    // filling and sorting meanwhile).
                    auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                    if (edit && edit->text() == name) {
                        dialog->setProperty("answered", true);
                        QMetaObject::invokeMethod(dialog, "accept");
                        return;
                    }
                    view->setCurrentIndex(index);
                    view->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
                    return;
                }
            }
        };
    }

    TempDir m_dir;
    std::string m_folder;
    std::shared_ptr<QtUserInterface> m_ui;
    QTimer m_answerer;
    std::function<void(QFileDialog *)> m_answer;
    std::vector<std::string> m_messages;
    size_t m_messagesBefore = 0;
};

TEST_F(QtPickerTest, NamesTypedOrPickedInQtDialogsReachTheProgramAsTheirBytes)
{
    const std::string file = m_folder + "/" + kFileName;
    struct Case
    {
        const char *what;
        std::function<bool(std::string &)> ask;
        std::function<void(QFileDialog *)> answer;
        std::string expected;
    };
    const Case cases[] = {
        {"File > Open, typed",
         [&](std::string &chosen) {
             return platform::ui::Ui().ChooseOpenFile("Open", m_folder, "PNG Image (*.png)", chosen);
         },
         Type(QString::fromUtf8("cellules_ï.png")), file},
        {"File > Open, picked",
         [&](std::string &chosen) {
             return platform::ui::Ui().ChooseOpenFile("Open", m_folder, "PNG Image (*.png)", chosen);
         },
         Pick(QString::fromUtf8("cellules_ï.png")), file},
        {"Save As, typed",
         [&](std::string &chosen) {
             return platform::ui::Ui().ChooseSaveFile("Save As", m_folder, "", chosen);
         },
         Type(QString::fromUtf8("copie_ï.png")), m_folder + "/copie_\xC3\xAF.png"},
        {"Browse, picked",
         [&](std::string &chosen) {
             return platform::ui::Ui().BrowseForFolder("Select a directory", m_dir.str(), chosen);
         },
         Pick(QString::fromUtf8("Données é")), m_folder},
    };
    for (const Case &c : cases) {
        m_answer = c.answer;
        std::string chosen;
        EXPECT_TRUE(c.ask(chosen)) << c.what;
        EXPECT_EQ(chosen, c.expected) << c.what;
    }
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(QtPickerTest, ANameThatIsNotUtf8IsRefusedWithAMessageNeverOpenedAsAnotherFile)
{
    const std::string oldFolder = "vieux_\xE9"; // a Latin-1 folder name
    std::filesystem::create_directories(m_dir.file(oldFolder));
    const QString shownFile = PathToQt(kLatin1Name);
    const QString shownFolder = PathToQt(oldFolder);
    struct Case
    {
        const char *what;
        std::function<bool(std::string &)> ask;
        std::function<void(QFileDialog *)> answer;
        const char *message; // Qt's dialog refuses a missing file or folder itself; ours the rest
    };
    // Qt's listings leave such names out; the user can only type them, as our own lists show them.
    const Case cases[] = {
        {"File > Open of a file whose name is not UTF-8",
         [&](std::string &chosen) {
             return platform::ui::Ui().ChooseOpenFile("Open", m_folder, "PNG Image (*.png)", chosen);
         },
         Type(shownFile), "File not found"},
        {"Save As over a file whose name is not UTF-8",
         [&](std::string &chosen) {
             return platform::ui::Ui().ChooseSaveFile("Save As", m_folder, "", chosen);
         },
         Type(shownFile), "holds characters that are not UTF-8 text"},
        {"Save As into a folder whose name is not UTF-8",
         [&](std::string &chosen) {
             return platform::ui::Ui().ChooseSaveFile("Save As", m_dir.str(), "", chosen);
         },
         Type(shownFolder + "/copie.png"), "holds characters that are not UTF-8 text"},
        {"Browse to a folder whose name is not UTF-8",
         [&](std::string &chosen) {
             return platform::ui::Ui().BrowseForFolder("Select a directory", m_dir.str(), chosen);
         },
         Type(shownFolder), "Directory not found"},
    };
    for (const Case &c : cases) {
        m_answer = c.answer;
        m_messagesBefore = m_messages.size();
        std::string chosen = "unchanged";
        EXPECT_FALSE(c.ask(chosen)) << c.what;
        EXPECT_EQ(chosen, "unchanged") << c.what;
        ASSERT_EQ(m_messages.size(), m_messagesBefore + 1) << c.what;
        EXPECT_NE(m_messages.back().find(c.message), std::string::npos)
            << c.what << ": " << m_messages.back();
    }
}

TEST_F(QtPickerTest, APromptLeftAsOfferedKeepsItsBytes)
{
    m_answerer.stop();
    QTimer accept;
    accept.setInterval(20);
    QString offered;
    QObject::connect(&accept, &QTimer::timeout, [&] {
        if (auto *dialog = QApplication::activeModalWidget()) {
            if (auto *edit = dialog->findChild<QLineEdit *>()) {
                offered = edit->text();
                QTest::keyClick(edit, Qt::Key_Return);
            }
        }
    });
    accept.start();
    std::string text = "Exp\xE9rience";
    EXPECT_TRUE(platform::ui::Ui().Prompt("Name", "Experiment name", text));
    EXPECT_EQ(offered, QString::fromUtf8("Expérience"));
    EXPECT_EQ(text, "Exp\xE9rience");
}

} // namespace
