#include "tools/ImageFileList.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace vantelis::test {
namespace {

using Names = std::vector<std::string>;

TEST(ImageFileSearchPattern, JoinsTheTrimmedFolderAndTheFilter)
{
    const struct
    {
        const char *folder;
        const char *filter;
        const char *pattern;
    } cases[] = {
        {"/data/", "*.png", "/data/*.png"}, // one separator, not two
        {"C:\\data\\", "*.png", "C:\\data\\*.png"},
        {"/data", "*.png", "/data/*.png"},
        {"  /data \t", "*.png", "/data/*.png"},    // blanks around the folder go
        {"/data\r\nmore", "*.png", "/data/*.png"}, // so does a line end and what follows
        {"", "*.png", "*.png"},                    // the current folder
        {"   ", "a?.tif", "a?.tif"},
        {"/data", " *.png", "/data/ *.png"}, // the filter is used as typed
        {"/data", "", "/data/"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ImageFileSearchPattern(c.folder, c.filter), c.pattern) << '"' << c.folder << '"';
}

class ImageFileListTest : public ::testing::Test
{
  protected:
    ImageFileListTest()
    {
        for (const char *name :
             {"b.png", "A.png", "c.PNG", "img10.png", "img2.png", "notes.txt", "d.png.bak"})
            WriteFileBytes(m_dir.file(name), "x");
        std::filesystem::create_directories(m_dir.file("sub.png"));
    }
    TempDir m_dir;
};

TEST_F(ImageFileListTest, ListsMatchingFilesSortedWithoutRegardToCase)
{
    Names names{"stale"};
    EXPECT_TRUE(ListImageFiles(m_dir.str(), "*.png", names));
    // The folder sub.png matches but is not listed; case is ignored in matching and in order, and
    // digits sort as characters.
    EXPECT_EQ(names, (Names{"A.png", "b.png", "c.PNG", "img10.png", "img2.png"}));

    EXPECT_TRUE(ListImageFiles(m_dir.str() + "/", "IMG?.PNG", names));
    EXPECT_EQ(names, (Names{"img2.png"}));
}

TEST_F(ImageFileListTest, NothingFoundGivesAnEmptyListAndFalse)
{
    Names names{"stale"};
    EXPECT_FALSE(ListImageFiles(m_dir.str(), "*.jpg", names));
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(ListImageFiles(m_dir.str(), "", names)); // an empty filter matches nothing
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(ListImageFiles(m_dir.file("missing"), "*.png", names));
    EXPECT_TRUE(names.empty());
    // Only a folder matched: the search found something, the list stays empty.
    EXPECT_TRUE(ListImageFiles(m_dir.str(), "sub.*", names));
    EXPECT_TRUE(names.empty());
}

TEST_F(ImageFileListTest, ABlankFolderSearchesTheCurrentFolder)
{
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(m_dir.path());
    Names names;
    const bool found = ListImageFiles(" ", "*.txt", names);
    std::filesystem::current_path(previous);
    EXPECT_TRUE(found);
    EXPECT_EQ(names, (Names{"notes.txt"}));
}

} // namespace
} // namespace vantelis::test
