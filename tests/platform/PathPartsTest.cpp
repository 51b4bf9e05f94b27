#include "platform/PathParts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PathPartsTest, SplitsAtEitherSeparator)
{
    struct Case
    {
        std::string path;
        std::string name;       // FileNameOf
        std::string folderPart; // FolderPart
        std::string folder;     // FolderOf
        std::string extension;  // ExtensionOf
        std::string title;      // FileTitleOf
        std::string stem;       // WithoutExtension
    };
    const Case cases[] = {
        {"a/b/c.png", "c.png", "a/b", "a/b", ".png", "c", "a/b/c"},
        {"a\\b\\c.png", "c.png", "a\\b", "a\\b", ".png", "c", "a\\b\\c"},
        {"a\\b/c.d.tif", "c.d.tif", "a\\b", "a\\b", ".tif", "c.d", "a\\b/c.d"},
        {"a/b\\c", "c", "a/b", "a/b", "", "c", "a/b\\c"},
        {"c.png", "c.png", "", ".", ".png", "c", "c"},
        {"", "", "", ".", "", "", ""},
        {"/c.png", "c.png", "", "/", ".png", "c", "/c"},
        {"\\c.png", "c.png", "", "\\", ".png", "c", "\\c"},
        {"a/b/", "", "a/b", "a/b", "", "", "a/b/"},
        {"a.d/b", "b", "a.d", "a.d", "", "b", "a.d/b"},
        {"a/.hidden", ".hidden", "a", "a", ".hidden", "", "a/"},
        {"a/b.", "b.", "a", "a", ".", "b", "a/b"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(platform::FileNameOf(c.path), c.name);
        EXPECT_EQ(platform::FolderPart(c.path), c.folderPart);
        EXPECT_EQ(platform::FolderOf(c.path), c.folder);
        EXPECT_EQ(platform::ExtensionOf(c.path), c.extension);
        EXPECT_EQ(platform::FileTitleOf(c.path), c.title);
        EXPECT_EQ(platform::WithoutExtension(c.path), c.stem);
    }
}

TEST(PathPartsTest, SlashOnlyKeepsBackslashesInNames)
{
    EXPECT_EQ(platform::FileNameOf("/tmp/a\\b", platform::kSlashOnly), "a\\b");
    EXPECT_EQ(platform::FolderOf("/tmp/a\\b", platform::kSlashOnly), "/tmp");
    EXPECT_EQ(platform::FolderOf("a\\b", platform::kSlashOnly), ".");
    EXPECT_EQ(platform::FolderPart("a\\b", platform::kSlashOnly), "");
    EXPECT_EQ(platform::JoinPath("a\\", "b", platform::kSlashOnly), "a\\/b");
}

TEST(PathPartsTest, JoinAddsOneSeparatorWhenMissing)
{
    struct Case
    {
        std::string folder, name, joined;
    };
    const Case cases[] = {
        {"a", "b.png", "a/b.png"}, {"a/", "b.png", "a/b.png"}, {"a\\", "b.png", "a\\b.png"},
        {"", "b.png", "b.png"},    {"/", "b.png", "/b.png"},   {"a", "", "a/"},
        {"a b", "c", "a b/c"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(platform::JoinPath(c.folder, c.name), c.joined) << c.folder << " + " << c.name;
    EXPECT_TRUE(platform::EndsWithSeparator("a\\"));
    EXPECT_TRUE(platform::EndsWithSeparator("a/"));
    EXPECT_FALSE(platform::EndsWithSeparator("a"));
    EXPECT_FALSE(platform::EndsWithSeparator(""));
}

} // namespace
