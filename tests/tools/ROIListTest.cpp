// The named ROI list: the [ROI] line format both ways, storage and name order, duplicates, the
// 100-line limit, names that cannot be read back, and the lookup by name.
#include "support/TempDir.h"

#include "Ostravo/LogError.h"
#include "app/PlexorinApp.h"
#include "support/ServiceFakes.h"
#include "tools/ROIList.h"
#include "tools/RoiListLookup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vantelis::test {
namespace {

class ROIListTest : public ::testing::Test
{
  protected:
    ROIListTest()
    {
        m_old_ini = theApp.m_ini_path;
        theApp.m_ini_path = Ini();
        std::filesystem::create_directories(m_dir.file("LOG"));
        SetLogDataDirectory(m_dir.str().c_str());
    }
    ~ROIListTest() override
    {
        theApp.m_ini_path = m_old_ini;
        SetLogDataDirectory("");
    }

    std::string Ini() const { return m_dir.file("Plexorin.ini"); }
    void WriteIni(const std::string &roiLines)
    {
        WriteFileBytes(Ini(), "[General]\r\nKey=1\r\n[ROI]\r\n" + roiLines + "[After]\r\nX=2\r\n");
    }
    static std::vector<std::string> NameOrder(const ROIList &list)
    {
        std::vector<std::string> names;
        for (int32_t i = 0; i < list.GetCount(); ++i)
            names.push_back(list.GetSortedAt(i)->m_name.c_str() ? list.GetSortedAt(i)->m_name.c_str() : "");
        return names;
    }
    static ROIObject *Roi(const char *name, uint32_t left, uint32_t top, uint32_t right, uint32_t bottom)
    {
        auto *roi = new ROIObject;
        roi->m_name.Assign(name);
        roi->left = left;
        roi->top = top;
        roi->right = right;
        roi->bottom = bottom;
        return roi;
    }

    TempDir m_dir;
    std::string m_old_ini;
};

struct LineCase
{
    std::string line;
    bool read;
    std::string name;
    uint32_t left, top, right, bottom;
};

// The values stand in the line as left, right, top, bottom.
TEST(RoiLineFormat, ReadsWhatTheWriterWritesAndSkipsTheRest)
{
    const std::string name127(127, 'n');
    const std::string name128(128, 'n');
    const std::vector<LineCase> cases = {
        {"item0=\"A\",1,2,3,4", true, "A", 1, 3, 2, 4},
        {"item=\"K\",10,20,30,40", true, "K", 10, 30, 20, 40},
        {"item007=\"K\",10,20,30,40", true, "K", 10, 30, 20, 40},
        {"item99=\"K\",10,20,30,40", true, "K", 10, 30, 20, 40},
        {"item0=\"A\";1,2,3,4", true, "A", 1, 3, 2, 4},
        {"item0=\"\",5,6,7,8", true, "", 5, 7, 6, 8},
        {"item0=\"" + name127 + "\",1,2,3,4", true, name127, 1, 3, 2, 4},
        {"item0=\"A\", 1, +2,3,4 and more", true, "A", 1, 3, 2, 4},
        {"item0=\"A\",-1,2,3,4294967295", true, "A", 4294967295u, 3, 2, 4294967295u},
        {"item0=\"with blank \",1,2,3,4", true, "with blank ", 1, 3, 2, 4},
        {"Item0=\"A\",1,2,3,4", false, "", 0, 0, 0, 0},
        {"item0 =\"A\",1,2,3,4", false, "", 0, 0, 0, 0},
        {"item0=A,1,2,3,4", false, "", 0, 0, 0, 0},
        {"item0=\"A\",1,2,3", false, "", 0, 0, 0, 0},
        {"item0=\"A\",1 ,2,3,4", false, "", 0, 0, 0, 0},
        {"item0=\"" + name128 + "\",1,2,3,4", false, "", 0, 0, 0, 0},
        {"item0=\"A,1,2,3,4", false, "", 0, 0, 0, 0},
        {"item0=\"A\"", false, "", 0, 0, 0, 0},
        {"itemx=\"A\",1,2,3,4", false, "", 0, 0, 0, 0},
        {"; item0=\"A\",1,2,3,4", false, "", 0, 0, 0, 0},
    };
    for (const LineCase &c : cases) {
        SCOPED_TRACE(c.line);
        ROIObject roi;
        ASSERT_EQ(ParseRoiLine(c.line.c_str(), roi), c.read);
        if (!c.read)
            continue;
        EXPECT_STREQ(roi.m_name.c_str() ? roi.m_name.c_str() : "", c.name.c_str());
        EXPECT_EQ(roi.left, c.left);
        EXPECT_EQ(roi.top, c.top);
        EXPECT_EQ(roi.right, c.right);
        EXPECT_EQ(roi.bottom, c.bottom);
    }
}

// A section of good and bad lines loads the good ones; saving writes them back in the writer's
// form, at the end of the file, with CR LF, and leaves the other sections alone.
TEST_F(ROIListTest, RoundTripOfTheSection)
{
    WriteIni("item0=\"A\",1,2,3,4\r\nItem1=\"B\",1,2,3,4\r\nitem2=C,1,2,3,4\r\nitem3=\"D\";5,6,7,8\r\n"
             "item4=\"E\",1,2,3\r\nitem5=\"M\",-1,20,30,40\r\n");
    ROIList list;
    ASSERT_TRUE(list.LoadFromProfile(Ini().c_str()));
    EXPECT_EQ(NameOrder(list), (std::vector<std::string>{"A", "D", "M"}));
    const ROIObject *m = list.FindByName("M");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(static_cast<int32_t>(m->left), -1);

    ASSERT_TRUE(list.SaveToProfile(Ini().c_str()));
    EXPECT_EQ(ReadFileBytes(Ini()), "[General]\r\nKey=1\r\n[After]\r\nX=2\r\n[ROI]\r\n"
                                    "item0=\"A\",1,2,3,4\r\nitem1=\"D\",5,6,7,8\r\n"
                                    "item2=\"M\",4294967295,20,30,40\r\n");
    ROIList again;
    ASSERT_TRUE(again.LoadFromProfile(Ini().c_str()));
    EXPECT_EQ(NameOrder(again), (std::vector<std::string>{"A", "D", "M"}));
    EXPECT_EQ(static_cast<int32_t>(again.FindByName("M")->left), -1);
}

// Storage order is the file's, then additions; name order compares signed bytes.
TEST_F(ROIListTest, StorageOrderAndNameOrder)
{
    WriteIni("item0=\"Beta\",1,2,3,4\r\nitem1=\"Alpha\",5,6,7,8\r\n");
    ROIList list;
    ASSERT_TRUE(list.LoadFromProfile(Ini().c_str()));
    list.Add(Roi("Delta", 9, 10, 11, 12));
    ASSERT_TRUE(list.SaveToProfile(Ini().c_str()));
    EXPECT_NE(ReadFileBytes(Ini()).find("[ROI]\r\nitem0=\"Beta\",1,2,3,4\r\nitem1=\"Alpha\",5,6,7,8\r\n"
                                        "item2=\"Delta\",9,11,10,12\r\n"),
              std::string::npos);
    EXPECT_EQ(NameOrder(list), (std::vector<std::string>{"Alpha", "Beta", "Delta"}));

    ROIList names;
    for (const char *name : {"a", "ROI_2", "\xE9t\xE9", "ROIA", "B", "ROI", "roi"})
        names.Add(Roi(name, 0, 0, 1, 1));
    EXPECT_EQ(NameOrder(names),
              (std::vector<std::string>{"\xE9t\xE9", "B", "ROI", "ROIA", "ROI_2", "a", "roi"}));
}

// Equal names are all kept and written; the lookup takes the one added last, by exact case.
TEST_F(ROIListTest, DuplicatesResolveToTheLastAdded)
{
    WriteIni("item0=\"x\",1,1,1,1\r\nitem1=\"ROI\",7,7,7,7\r\nitem2=\"x\",2,2,2,2\r\n");
    ROIList list;
    ASSERT_TRUE(list.LoadFromProfile(Ini().c_str()));
    list.Add(Roi("x", 3, 4, 5, 6));
    list.Add(Roi("roi", 8, 8, 8, 8));
    ASSERT_TRUE(list.SaveToProfile(Ini().c_str()));
    const std::string text = ReadFileBytes(Ini());
    EXPECT_NE(
        text.find(
            "item0=\"x\",1,1,1,1\r\nitem1=\"ROI\",7,7,7,7\r\nitem2=\"x\",2,2,2,2\r\nitem3=\"x\",3,5,4,6\r\n"
            "item4=\"roi\",8,8,8,8\r\n"),
        std::string::npos);

    int32_t rect[4] = {0, 0, 0, 0};
    EString error;
    ASSERT_TRUE(FindRoiByName("x", rect, error));
    EXPECT_EQ((std::vector<int32_t>(rect, rect + 4)), (std::vector<int32_t>{3, 4, 5, 6}));
    ASSERT_TRUE(FindRoiByName("ROI", rect, error));
    EXPECT_EQ(rect[0], 7);
    ASSERT_TRUE(FindRoiByName("roi", rect, error));
    EXPECT_EQ(rect[0], 8);
    EXPECT_EQ(list.FindStoragePosition("x"), 3);
    EXPECT_EQ(list.FindStoragePosition("X"), -1);
}

TEST_F(ROIListTest, FindRoiByNameErrors)
{
    int32_t rect[4] = {9, 9, 9, 9};
    EString error("before");
    // No file: the section cannot be read; nothing is touched.
    EXPECT_FALSE(FindRoiByName("A", rect, error));
    EXPECT_STREQ(error.c_str(), "before");
    EXPECT_EQ(rect[0], 9);

    WriteIni("item0=\"A\",1,2,3,4\r\n");
    EXPECT_FALSE(FindRoiByName("a", rect, error));
    EXPECT_STREQ(error.c_str(), "There is not ROI with name: a");
    EXPECT_EQ(rect[0], 9);
}

// A missing section keeps what the list held; an empty one empties it.
TEST_F(ROIListTest, MissingAndEmptySections)
{
    ROIList list;
    list.Add(Roi("kept", 1, 2, 3, 4));
    WriteFileBytes(Ini(), "[General]\r\nKey=1\r\n");
    EXPECT_FALSE(list.LoadFromProfile(Ini().c_str()));
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_FALSE(list.LoadFromProfile(m_dir.file("missing.ini").c_str()));
    EXPECT_EQ(list.GetCount(), 1);

    WriteFileBytes(Ini(), "[ROI]\r\n[General]\r\nKey=1\r\n");
    EXPECT_TRUE(list.LoadFromProfile(Ini().c_str()));
    EXPECT_EQ(list.GetCount(), 0);
    // Saving the empty list keeps an empty section.
    ASSERT_TRUE(list.SaveToProfile(Ini().c_str()));
    EXPECT_EQ(ReadFileBytes(Ini()), "[General]\r\nKey=1\r\n[ROI]\r\n");
}

// The section holds item0 to item99. A list that reached the limit takes no new name, and a list
// loaded with more (an edited file) names the ROIs it cannot store in the error log.
TEST_F(ROIListTest, AtMostOneHundredRois)
{
    ROIList list;
    for (int i = 0; i < 100; ++i)
        list.Add(Roi(("r" + std::to_string(i)).c_str(), i, i, i + 1, i + 1));
    ASSERT_TRUE(list.SaveToProfile(Ini().c_str()));
    std::string text = ReadFileBytes(Ini());
    EXPECT_NE(text.find("item0=\"r0\",0,1,0,1\r\n"), std::string::npos);
    EXPECT_NE(text.find("item99=\"r99\",99,100,99,100\r\n"), std::string::npos);
    EString error;
    EXPECT_FALSE(list.CheckRoomForNewRoi(error));
    EXPECT_NE(std::string(error.c_str()).find("100 ROIs"), std::string::npos);

    list.Add(Roi("extra", 1, 1, 2, 2));
    ASSERT_TRUE(list.SaveToProfile(Ini().c_str()));
    text = ReadFileBytes(Ini());
    EXPECT_EQ(text.find("item100"), std::string::npos);
    EXPECT_EQ(text.find("extra"), std::string::npos);
    EXPECT_NE(ErrorLogText(m_dir.str()).find("not stored: extra"), std::string::npos);

    ROIList small;
    EXPECT_TRUE(small.CheckRoomForNewRoi(error));
}

TEST(RoiNames, NamesThatCannotBeReadBackAreRefused)
{
    const struct
    {
        std::string name;
        bool storable;
    } cases[] = {
        {"Channel", true},
        {" leading blank", true},
        {std::string(127, 'a'), true},
        {std::string(128, 'a'), false},
        {"a\"b", false},
        {"a\rb", false},
        {"a\nb", false},
        {"", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EString error;
        EXPECT_EQ(ROIList::CheckStorableName(c.name.c_str(), error), c.storable);
        EXPECT_EQ(error.IsNonEmpty(), !c.storable);
    }
}

// The services read the list in storage order; headless, there is no manager window.
TEST_F(ROIListTest, HeadlessServicesServeTheList)
{
    WriteIni("item0=\"Beta\",1,2,3,4\r\nitem1=\"Alpha\",5,6,7,8\r\nitem2=\"Beta\",9,9,9,9\r\n");
    RoiListLookup services;
    std::vector<ROIObject> list;
    ASSERT_TRUE(services.LoadRoiList(Ini().c_str(), list));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_STREQ(list[0].m_name.c_str(), "Beta");
    EXPECT_STREQ(list[1].m_name.c_str(), "Alpha");
    EXPECT_EQ(list[2].left, 9u);
    EXPECT_FALSE(services.LoadRoiList(m_dir.file("none.ini").c_str(), list));
    EXPECT_EQ(list.size(), 3u);

    int32_t rect[4] = {0, 0, 0, 0};
    EString error;
    ASSERT_TRUE(services.FindRoiByName("Beta", rect, error));
    EXPECT_EQ(rect[0], 9);
    EXPECT_FALSE(RoiTools().RoiManager().HasWindow());
    EXPECT_FALSE(RoiTools().ShowCurrentRoi());
}

} // namespace
} // namespace vantelis::test
