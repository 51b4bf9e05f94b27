// The shipped data folder as scripts/install-data installs it, and a lab's own split-line
// template list kept beside the shipped one.
#include "ExperimentTestSupport.h"
#include "experiment/ImageUtilities.h"
#include "platform/Files.h"
#include "support/SyntheticExperiment.h"

#include <gmock/gmock.h>

#include <cstdlib>
#include <filesystem>
#include <set>

using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

const std::string kShipped = std::string(VANTELIS_SOURCE_DIR) + "/res/data";

// Runs the installer as the run script does; its exit status.
int InstallData(const std::string &shipped, const std::string &data)
{
    const std::string command = "'" + std::string(VANTELIS_SOURCE_DIR) + "/scripts/install-data' '" +
                                shipped + "' '" + data + "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::set<std::string> FilesUnder(const std::string &folder)
{
    std::set<std::string> files;
    for (const auto &entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files.insert(fs::relative(entry.path(), folder).string());
    return files;
}

std::set<std::string> ManifestOf(const std::string &data)
{
    std::set<std::string> names;
    std::string line;
    for (char c : vantelis::test::ReadFileBytes(data + "/.vantelis-installed")) {
        if (c != '\n') {
            line += c;
        } else {
            names.insert(line);
            line.clear();
        }
    }
    return names;
}

class InstalledDataTest : public ExperimentTest
{
};

TEST_F(InstalledDataTest, EachShippedFileIsInstalledOnceAndWhatTheUserDidStays)
{
    const std::string data = m_dir.file("data");
    // A file the user made before the first installation is not overwritten.
    fs::create_directories(data + "/Default");
    vantelis::test::WriteFileBytes(data + "/Default/Vantelis.ini", "[mine]\r\n");

    ASSERT_EQ(InstallData(kShipped, data), 0);
    const std::set<std::string> shipped = FilesUnder(kShipped);
    ASSERT_TRUE(shipped.count("Templates/splitline-templates/SplitLineTemplates.txt"));
    EXPECT_EQ(ManifestOf(data), shipped);
    for (const std::string &name : shipped) {
        if (name == "Default/Vantelis.ini")
            continue;
        EXPECT_EQ(vantelis::test::ReadFileBytes(data + "/" + name),
                  vantelis::test::ReadFileBytes(kShipped + "/" + name))
            << name;
    }
    EXPECT_EQ(vantelis::test::ReadFileBytes(data + "/Default/Vantelis.ini"), "[mine]\r\n");

    // The user removes one shipped file and edits another; a newer build ships one more file and
    // a changed version of an old one.
    const std::string removed = data + "/Templates/splitline-templates/SplitLineTemplates.txt";
    fs::remove(removed);
    vantelis::test::WriteFileBytes(data + "/LIB/Default.counting_params", "[edited]\r\n");
    const std::string newer = m_dir.file("newer");
    fs::copy(kShipped, newer, fs::copy_options::recursive);
    vantelis::test::WriteFileBytes(newer + "/LIB/Second Example.pa_params", "[RightSideProjection]\r\n");
    vantelis::test::WriteFileBytes(newer + "/LIB/Default.counting_params", "[newer]\r\n");

    ASSERT_EQ(InstallData(newer, data), 0);
    EXPECT_FALSE(fs::exists(removed));
    EXPECT_EQ(vantelis::test::ReadFileBytes(data + "/LIB/Default.counting_params"), "[edited]\r\n");
    EXPECT_EQ(vantelis::test::ReadFileBytes(data + "/LIB/Second Example.pa_params"),
              "[RightSideProjection]\r\n");
    EXPECT_TRUE(ManifestOf(data).count("LIB/Second Example.pa_params"));

    // Again, with nothing new: nothing changes.
    const std::string manifest = vantelis::test::ReadFileBytes(data + "/.vantelis-installed");
    ASSERT_EQ(InstallData(newer, data), 0);
    EXPECT_FALSE(fs::exists(removed));
    EXPECT_EQ(vantelis::test::ReadFileBytes(data + "/.vantelis-installed"), manifest);

    EXPECT_NE(InstallData(m_dir.file("no-such-folder"), data), 0);
}

// A lab keeps its own list, named in lower case, beside the shipped one; its cartridge id is only
// in its own list.
class LabTemplateListTest : public ExperimentTest
{
  protected:
    LabTemplateListTest()
    {
        theApp.m_data_directory = m_dir.file("data");
        EXPECT_EQ(InstallData(kShipped, theApp.m_data_directory), 0);
        const std::string folder = theApp.m_data_directory + "/Templates/splitline-templates/";
        fs::copy_file(folder + "Splitline_101.png", folder + "Splitline_lab417.png");
        vantelis::test::WriteFileBytes(folder + "splitline-templates.txt",
                                       "CartridgeType\tImagePixelsPermm\tTemplateImage\r\n"
                                       "417\t500\tSplitline_lab417.png\r\n");
        vantelis::test::SyntheticExperimentParams params;
        params.channel_offset = -17;
        params.rotation = 0.0;
        params.seed = 5;
        m_params = params;
        m_grey = vantelis::test::RenderSyntheticBrightfield(params, 1);
        m_grey.convertTo(m_grey, CV_8U, 1.0 / 256.0);
    }

    bool Find(const std::string &id, int &offset, std::string &error, SplitLineOutcome &outcome)
    {
        double rotation = 0, x = 0, y = 0;
        return theImageUtilities.FindSplitLineByTemplate(m_grey, m_params.pixels_per_mm,
                                                         m_params.upper_channel, m_params.lower_channel + 1,
                                                         id, offset, rotation, x, y, &error, &outcome);
    }

    vantelis::test::SyntheticExperimentParams m_params;
    cv::Mat m_grey;
};

TEST_F(LabTemplateListTest, ListsAreListedIgnoringCaseAndReadUntilOneHasTheCartridge)
{
    const std::string folder = SplitLineTemplateFolder();
    std::vector<std::string> lists;
    for (const platform::DirEntry &entry : platform::ListFolder(folder, "*.txt"))
        lists.push_back(entry.name);
    // As Windows listed them: "splitline-" before "SplitLineT" ('-' sorts before 'T').
    EXPECT_THAT(lists, ::testing::ElementsAre("splitline-templates.txt", "SplitLineTemplates.txt"));

    // The lab's id, in the lab's list only, and a shipped id, in the second list only.
    for (const char *id : {"417", "101"}) {
        SCOPED_TRACE(id);
        int offset = 0;
        std::string error;
        SplitLineOutcome outcome = SplitLineOutcome::Failed;
        ASSERT_TRUE(Find(id, offset, error, outcome)) << error;
        EXPECT_EQ(outcome, SplitLineOutcome::Located);
        EXPECT_NEAR(offset, m_params.channel_offset, 2.0);
    }

    // An id in no list: the message names every list read, in the order read.
    int offset = 0;
    std::string error;
    SplitLineOutcome outcome = SplitLineOutcome::Located;
    EXPECT_FALSE(Find("999", offset, error, outcome));
    EXPECT_EQ(outcome, SplitLineOutcome::NoTemplate);
    EXPECT_EQ(error, "No split-line template for cartridge id \"999\" in " + folder +
                         "splitline-templates.txt, " + folder + "SplitLineTemplates.txt");
}

} // namespace
