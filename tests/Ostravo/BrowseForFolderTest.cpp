#include "Ostravo/BrowseForFolder.h"
#include "support/FakeUi.h"

#include <gtest/gtest.h>

using namespace vantelis::test;

namespace {

TEST(BrowseForFolder, StartsAtThePathAndReplacesItOnlyWhenConfirmed)
{
    ScopedFakeUi ui;
    EString path("/data/Images");
    ui->QueueAnswer(false);
    EXPECT_FALSE(BrowseForFolder(path, "Select Image Folder"));
    EXPECT_STREQ(path.c_str(), "/data/Images") << "cancel leaves the path";

    ui->QueueAnswer(true, "/data/Images/Run 2");
    EXPECT_TRUE(BrowseForFolder(path, "Select Image Folder"));
    EXPECT_STREQ(path.c_str(), "/data/Images/Run 2");

    EString empty;
    ui->QueueAnswer(true, "/home");
    EXPECT_TRUE(BrowseForFolder(empty, "Data Directory"));
    EXPECT_STREQ(empty.c_str(), "/home");

    const auto requests = ui->Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].kind, "folder");
    EXPECT_EQ(requests[0].title, "Select Image Folder");
    EXPECT_EQ(requests[0].start, "/data/Images");
    EXPECT_EQ(requests[2].start, "") << "an empty path opens at the picker's default place";
}

} // namespace
