// Every folder tool with an image folder whose name is not plain ASCII: the folder typed into the
// folder field or picked with Browse in Qt's own dialog lists its images, the files chosen from
// the list are the files on disk, and the folder goes into the settings as its bytes.
#include "support/TempDir.h"
#include "support/gui/EventLoop.h"

#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "app/PlexorinApp.h"
#include "app/ToolServices.h"
#include "platform/Ui.h"
#include "platform/gui/QtText.h"
#include "platform/gui/QtUserInterface.h"
#include "tools/ImageFolderLog.h"
#include "tools/RoiListLookup.h"
#include "tools/gui/AlgoIteratorTool.h"
#include "tools/gui/FindMeniscusDlg.h"
#include "tools/gui/FocusToolDlg.h"
#include "tools/gui/FractionationAnalysisDlg.h"
#include "tools/gui/ImageAnalysisToolDlg.h"
#include "tools/projection/gui/ProjectionBatchWindow.h"
#include "support/gui/TypeText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <functional>
#include <memory>

namespace vantelis::test {
namespace {

using platform::gui::FromQt;
using platform::gui::PathToQt;

const std::string kFolderName = "Donn\xC3\xA9"
                                "es \xC3\xA9";         // "Données é"
const std::string kFileName = "cellules_\xC3\xAF.png"; // "cellules_ï.png"
const std::string kLatin1Name = "ancien_\xEF.png";     // not UTF-8

using vantelis::test::TypeText;

class AccentedFolderToolsTest : public ::testing::Test
{
  protected:
    AccentedFolderToolsTest()
    {
        m_oldIni = theApp.m_ini_path;
        m_oldData = theApp.m_data_directory;
        theApp.m_ini_path = m_dir.file("Plexorin.ini");
        theApp.m_data_directory = m_dir.str();
        std::filesystem::create_directories(m_dir.file("LOG"));
        std::filesystem::create_directories(m_dir.file("LIB"));
        SetLogDataDirectory(m_dir.str().c_str());
        WriteFileBytes(theApp.m_ini_path, "[CalibrationSettings]\r\nimage_pixels_per_mm=500\r\n");
        m_folder = m_dir.file(kFolderName);
        std::filesystem::create_directories(m_folder);
        const cv::Mat image(40, 60, CV_16UC1, cv::Scalar(1200));
        EXPECT_TRUE(cv::imwrite(m_folder + "/" + kFileName, image));
        EXPECT_TRUE(cv::imwrite(m_folder + "/" + kLatin1Name, image));
        // Experiment folders: the tools that can use its acquisition settings offer to. The data
        // folder above, without images, is where Browse starts.
        m_other = m_dir.str();
        for (const std::string &folder : {m_folder, m_other}) {
            WriteFileBytes(folder + "/ExperimentSettings.ini",
                           "[ExperimentSettings]\r\nExperimentName=Essai\r\n");
            WriteFileBytes(folder + "/Capture.log",
                           std::string(kLogFileExpectedHeader) + "\r\n" + kFileName +
                               "\t2026/12/11\t10:00:00\t100\tOK\t0\tBF\t1\t1\t0\t0\t0\t0\r\n");
        }
        m_ui = platform::gui::QtUserInterface::Install();
        InstallRoiLookup(std::make_shared<RoiListLookup>());
        m_answerer.setInterval(20);
        QObject::connect(&m_answerer, &QTimer::timeout, [this] { Answer(); });
        m_answerer.start();
    }
    ~AccentedFolderToolsTest() override
    {
        m_answerer.stop();
        RemoveToolServices();
        platform::ui::SetUi(nullptr);
        SetLogDataDirectory("");
        theApp.m_ini_path = m_oldIni;
        theApp.m_data_directory = m_oldData;
    }

    // Qt's folder picker opens on the folder shown, the data folder holding "Données é".
    void Answer()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            m_messages.push_back(FromQt(box->text()));
            box->accept();
            return;
        }
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog)
            return;
        // The user types the folder's name into the name field and presses Choose; a dialog that
        // never takes it is cancelled, so the test fails rather than waits.
        const int tries = dialog->property("tries").toInt() + 1;
        dialog->setProperty("tries", tries);
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (tries > 300 || !name) {
            QMetaObject::invokeMethod(dialog, "reject");
            return;
        }
        if (name->text() != PathToQt(kFolderName)) {
            name->setText(PathToQt(kFolderName));
            return;
        }
        QMetaObject::invokeMethod(dialog, "accept");
    }

    std::string Setting(const char *section, const char *key) const
    {
        char buffer[1024] = {0};
        Ostravo::E_GetPrivateProfileString(section, key, "<none>", buffer, sizeof buffer,
                                           theApp.m_ini_path.c_str());
        return buffer;
    }

    static std::vector<QString> Shown(const QListWidget *list)
    {
        std::vector<QString> texts;
        for (int row = 0; list && row < list->count(); ++row)
            texts.push_back(list->item(row)->text());
        return texts;
    }
    static std::vector<std::string> Named(const QListWidget *list)
    {
        std::vector<std::string> names;
        for (int row = 0; list && row < list->count(); ++row)
            names.push_back(platform::gui::ItemText(list->item(row)));
        return names;
    }

    TempDir m_dir;
    std::string m_folder, m_other;
    std::string m_oldIni, m_oldData;
    std::shared_ptr<platform::gui::QtUserInterface> m_ui;
    QTimer m_answerer;
    std::vector<std::string> m_messages;
};

TEST_F(AccentedFolderToolsTest, EachFolderToolListsTheFolderTypedOrPickedAndKeepsItsBytes)
{
    struct Tool
    {
        const char *name;
        std::function<std::unique_ptr<ToolWindow>()> make;
        const char *section;
        int browse;
        int list;
        int settingsBox; // shown once the folder holds its experiment's settings; 0 for none
    };
    const Tool tools[] = {
        {"image analysis", [] { return std::make_unique<ImageAnalysisToolDlg>(); }, "ImageAnalysisTool",
         image_analysis_id::kBrowse, 1221, image_analysis_id::kUseAcquisitionSettings},
        {"fractionation", [] { return std::make_unique<FractionationAnalysisDlg>(); },
         "FractionationAnalysisDlg", fractionation_id::kBrowse, 1221, 0},
        {"projection", [] { return std::make_unique<ProjectionBatchWindow>(); }, "ProjectionAnalysisTool",
         projection_tool_id::kBrowse, 1221, 0},
        {"counting sweep", [] { return std::make_unique<AlgoIteratorTool>(); }, "AlgoIteratorTool",
         algo_iterator_id::kBrowse, 1221, 0},
        {"focus", [] { return std::make_unique<FocusToolDlg>(); }, "FocusTool", FocusToolDlg::kBrowse,
         FocusToolDlg::kImageList, 0},
        {"meniscus", [] { return std::make_unique<FindMeniscusDlg>(); }, "FindMeniscus",
         FindMeniscusDlg::kBrowse, FindMeniscusDlg::kImageList, 0},
    };
    // The listing as the file system has it: the Latin-1 name shows with U+FFFD, as in Qt's dialogs.
    const std::vector<QString> shown = {QStringLiteral("ancien_") + QChar(QChar::ReplacementCharacter) +
                                            ".png",
                                        QString::fromUtf8("cellules_ï.png")};
    const std::vector<std::string> named = {kLatin1Name, kFileName};

    for (const Tool &tool : tools) {
        SCOPED_TRACE(tool.name);
        std::unique_ptr<ToolWindow> window = tool.make();
        window->show();
        auto *folder = window->ControlAs<QLineEdit>(1216);
        auto *filter = window->ControlAs<QLineEdit>(1217);
        auto *list = window->ControlAs<QListWidget>(tool.list);
        ASSERT_TRUE(folder && filter && list);

        // Typed.
        folder->setFocus();
        folder->selectAll();
        TypeText(folder, PathToQt(m_folder));
        filter->selectAll();
        TypeText(filter, QStringLiteral("*.png"));
        EXPECT_EQ(window->ControlText(1216), m_folder);
        ASSERT_TRUE(RunEventLoopUntil([&] { return list->count() == 2; })) << "the folder lists no images";
        EXPECT_EQ(Shown(list), shown);
        EXPECT_EQ(Named(list), named) << "each entry names its file on disk";
        ASSERT_TRUE(RunEventLoopUntil([&] { return Setting(tool.section, "Directory") == m_folder; }))
            << Setting(tool.section, "Directory");
        if (tool.settingsBox != 0) {
            EXPECT_TRUE(RunEventLoopUntil([&] { return !window->Control(tool.settingsBox)->isHidden(); }))
                << "the folder's settings were not found";
            std::filesystem::create_directories("/tmp/shots");
            EXPECT_TRUE(
                window->grab().save(QStringLiteral("/tmp/shots/accented_folder_%1.png").arg(tool.section)));
        }

        // Picked with Browse, starting from another folder.
        window->SetControlText(1216, m_other);
        ASSERT_TRUE(RunEventLoopUntil([&] { return list->count() == 0; }));
        auto *browse = qobject_cast<QAbstractButton *>(window->Control(tool.browse));
        ASSERT_NE(browse, nullptr);
        browse->click();
        EXPECT_EQ(window->ControlText(1216), m_folder);
        EXPECT_EQ(folder->text(), PathToQt(m_folder));
        ASSERT_TRUE(RunEventLoopUntil([&] { return list->count() == 2; }));
        EXPECT_EQ(Named(list), named);
        window->hide();
    }
    EXPECT_TRUE(m_messages.empty()) << (m_messages.empty() ? std::string() : m_messages.front());
}

} // namespace
} // namespace vantelis::test
