// Cartridge definition files: loading and its messages, bar-code matching, the offsets imposed on a
// settings file, the product table, and the shipped definitions.
#include "DevicesFixture.h"

#include "devices/CartridgeTypes.h"

#include <gmock/gmock.h>

namespace vantelis::test {
namespace {

using CartridgeTypesTest = DevicesFixture;

TEST(CartridgeMatching, BarcodesAgainstFormatsAndIds)
{
    CartridgeType type;
    type.barcode_formats = {"###-###-####", "###-GN#-####"};
    type.barcode_ids = {"123", "4567"};
    const struct
    {
        const char *barcode;
        bool matches;
    } cases[] = {
        {"123-456-7890", true},
        {"456-789-0123", false},  // right shape, neither ID
        {"4567-89-0123", false},  // right length, digit where the format has '-'
        {"123-456-789", false},   // shorter than every format
        {"123-456-78901", false}, // longer than every format
        {"123-GN4-5678", true},   // G and N stand for themselves
        {"123-gn4-5678", false},  // and only in upper case
        {"123-G84-5678", false},
        {" 123-456-7890", false}, // the bar code is taken as it is
        {"", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.barcode);
        EXPECT_EQ(type.MatchesBarcode(c.barcode), c.matches);
    }
    EXPECT_FALSE(type.MatchesBarcode(nullptr));
}

TEST_F(CartridgeTypesTest, EachFileReportsAllItsProblemsUnderItsPath)
{
    const struct
    {
        const char *name;
        std::string text;
        bool loads;
        std::vector<std::string> problems;
    } cases[] = {
        {"short-long-blank",
         CartridgeIni("", "f01=###-###-#\r\nf02=###-###-######\r\n", "123"),
         false,
         {"Invalid bar code format: ###-###-# : must have at least 10 of characters.",
          "Invalid bar code format: ###-###-###### : must have 13 of fewer characters.",
          "[General] Type=\"\" is missing or blank."}},
        {"bad-char",
         CartridgeIni("T", "f01=###-###-###X\r\n", "123"),
         false,
         {"Invalid bar code format: ###-###-###X : Invalid character in barcode. Valid characters are '#' "
          "'-' 'G' "
          "'N'"}},
        {"no-ids",
         CartridgeIni("T", "f01=###-###-####\r\n", ""),
         false,
         {"[BarcodeIDs] id=\"\" must be present and have at least one value"}},
        {"id-letters",
         CartridgeIni("T", "f01=###-###-####\r\n", "12A"),
         false,
         {"The first three characters of a bar code ID must be numbers between 0 and 9: \"12A\""}},
        {"id-short",
         CartridgeIni("T", "f01=###-###-####\r\n", "12"),
         false,
         {"Bar code id must have at least three characters: \"12\""}},
        // Only the first bad ID is reported.
        {"id-long",
         CartridgeIni("T", "f01=###-###-####\r\n", "12345678,1"),
         false,
         {"Bar code id must be no more than 7 characters: \"12345678\""}},
        {"blank-type",
         CartridgeIni(" \t", "f01=###-###-####\r\n", "123"),
         false,
         {"[General] Type=\"\" is missing or blank."}},
        // No format at all is no problem; the file loads (and matches nothing).
        {"no-format", CartridgeIni("T", "", "123"), true, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Data() + "/Cartridge/" + c.name + ".ini";
        WriteFileBytes(path, c.text);
        CartridgeType type;
        EString error;
        EXPECT_EQ(type.Load(path.c_str(), error), c.loads);
        std::string expected;
        for (const std::string &problem : c.problems)
            expected += (expected.empty() ? "CartridgeFile: " + path + "\n" : "\n") + problem;
        EXPECT_EQ(std::string(error.c_str()), expected);
    }
}

TEST_F(CartridgeTypesTest, IdsAreSplitAtCommasWithLeadingBlanksSkipped)
{
    WriteCartridge("T.ini", CartridgeIni("T", "f01=###-###-####\r\nf03=##########\r\n", "123, 456,\"789\""));
    CartridgeType type;
    EString error;
    ASSERT_TRUE(type.Load((Data() + "/Cartridge/T.ini").c_str(), error)) << error.c_str();
    ASSERT_EQ(type.barcode_ids.size(), 3u);
    EXPECT_STREQ(type.barcode_ids[0].c_str(), "123");
    EXPECT_STREQ(type.barcode_ids[1].c_str(), "456");
    EXPECT_STREQ(type.barcode_ids[2].c_str(), "789");
    ASSERT_EQ(type.barcode_formats.size(), 2u);
    EXPECT_STREQ(type.barcode_formats[1].c_str(), "##########");
}

TEST_F(CartridgeTypesTest, FolderLoadKeepsTheGoodFilesAndTheFirstListedWins)
{
    WriteCartridge("A.ini", CartridgeIni("Alpha", "f01=###-###-####\r\n", "123"));
    WriteCartridge("B.ini", CartridgeIni("Beta", "f01=###-###-####\r\n", "123,456"));
    WriteCartridge("C.ini", CartridgeIni("", "f01=###-###-####\r\n", "789"));
    WriteCartridge("notes.txt", "not a definition");
    std::filesystem::create_directories(Data() + "/Cartridge/sub.ini");

    EString error;
    EXPECT_FALSE(LoadCartridgeTypes(error));
    EXPECT_EQ(std::string(error.c_str()), "CartridgeFile: " + Data() +
                                              "/Cartridge/C.ini\n[General] Type=\"\" is "
                                              "missing or blank.");
    ASSERT_EQ(CartridgeTypeList().size(), 2u);

    EString name("unchanged"), path("unchanged");
    EXPECT_TRUE(FindCartridgeTypeForBarcode("123-000-0000", name, path));
    EXPECT_STREQ(name.c_str(), "Alpha");
    EXPECT_EQ(std::string(path.c_str()), Data() + "/Cartridge/A.ini");
    EXPECT_TRUE(FindCartridgeTypeForBarcode("456-000-0000", name, path));
    EXPECT_STREQ(name.c_str(), "Beta");
    name.Assign("unchanged");
    EXPECT_FALSE(FindCartridgeTypeForBarcode("789-000-0000", name, path));
    EXPECT_STREQ(name.c_str(), "unchanged");

    // A second load starts from an empty list.
    std::filesystem::remove(Data() + "/Cartridge/A.ini");
    std::filesystem::remove(Data() + "/Cartridge/C.ini");
    EXPECT_TRUE(LoadCartridgeTypes(error)) << error.c_str();
    EXPECT_EQ(CartridgeTypeList().size(), 1u);
}

TEST_F(CartridgeTypesTest, AMissingCartridgeFolderIsMadeAndAnUnmakeableOneReported)
{
    std::filesystem::remove_all(Data() + "/Cartridge");
    EString error;
    EXPECT_TRUE(LoadCartridgeTypes(error));
    EXPECT_TRUE(std::filesystem::is_directory(Data() + "/Cartridge"));

    theApp.m_data_directory = m_dir.file("no/such/data");
    EXPECT_FALSE(LoadCartridgeTypes(error));
    EXPECT_EQ(std::string(error.c_str()),
              "Unable to create directory: " + m_dir.file("no/such/data") + "/Cartridge");
    EXPECT_THAT(ErrorLog(), ::testing::HasSubstr("Unable to create directory: "));
}

TEST_F(CartridgeTypesTest, ImposingConvertsMicronsWithTheFilesCalibration)
{
    // 200 pixels per mm: 10001 microns are 2000.2 rows (accepted), 10003 are 2000.6, i.e. 2001 (refused).
    const struct
    {
        const char *name;
        std::string offsets;
        const char *pixelsPerMm; // null: the key is missing
        bool ok;
        std::string upper, lower, volume, error;
    } cases[] = {
        {"accepted", "UpperChannelOffset=10001\r\nLowerChannelOffset=-10001\r\n", "200", true, "2300",
         "-1300", "270", ""},
        {"upper refused", "UpperChannelOffset=10003\r\n", "200", false, "", "", "",
         "Invalid UpperChannelOffset"},
        {"lower refused", "LowerChannelOffset=-10003\r\n", "200", false, "", "", "",
         "Invalid LowerChannelOffset"},
        {"halves away from zero", "UpperChannelOffset=-25\r\nLowerChannelOffset=25\r\n", "100", true, "297",
         "703", "270", ""},
        {"no calibration", "UpperChannelOffset=500\r\nLowerChannelOffset=-500\r\n", nullptr, true, "300",
         "700", "270", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        WriteCartridge("Std.ini", CartridgeIni("Std", "f01=###-###-####\r\n", "123",
                                               "[OffsetsInMicron]\r\n" + c.offsets));
        LoadCartridges();
        const std::string target = m_dir.file("target.ini");
        std::string text = "[CalibrationSettings]\r\nUpperChannel=300\r\nLowerChannel=700\r\n";
        if (c.pixelsPerMm)
            text += std::string("image_pixels_per_mm=") + c.pixelsPerMm + "\r\n";
        WriteFileBytes(target, text);
        EString error;
        EXPECT_EQ(ImposeCartridgeTypeOffsets(target.c_str(), "123-456-7890", error), c.ok);
        if (c.ok) {
            EXPECT_EQ(Setting("ExperimentSettings", "CartridgeType", target), "Std");
            EXPECT_EQ(Setting("ExperimentSettings", "Barcode", target), "123-456-7890");
            EXPECT_EQ(Setting("Cartridge", "CartridgeUpperChannel", target), c.upper);
            EXPECT_EQ(Setting("Cartridge", "CartridgeLowerChannel", target), c.lower);
            EXPECT_EQ(Setting("Cartridge", "SampleAspirateVolume", target), c.volume);
        } else {
            EXPECT_EQ(std::string(error.c_str()), c.error + " in file: " + Data() + "/Cartridge/Std.ini");
            // A refused definition leaves the file as it was.
            EXPECT_EQ(ReadFileBytes(target), text);
        }
    }
}

TEST_F(CartridgeTypesTest, ImposingRefusesMissingOrUnmatchedBarcodesAndFindsTheDefinitionByItsPath)
{
    // Type and file name differ: the file the type was loaded from is the one read.
    WriteCartridge("file-name.ini", CartridgeIni("OtherName", "f01=###-###-####\r\n", "123",
                                                 "[SampleLoadInMicroLitre]\r\nSampleAspirateVolume=310\r\n"));
    LoadCartridges();
    EString error;
    EXPECT_FALSE(ImposeCartridgeTypeOffsets(Ini().c_str(), "", error));
    EXPECT_STREQ(error.c_str(), "ImposeCartridgeTypeOffsets() Barcode is empty or missing.");
    EXPECT_FALSE(ImposeCartridgeTypeOffsets(Ini().c_str(), nullptr, error));
    EXPECT_FALSE(ImposeCartridgeTypeOffsets(Ini().c_str(), "999-000-0000", error));
    EXPECT_STREQ(error.c_str(),
                 "ImposeCartridgeTypeOffsets() No cartridge type matches barcode: \"999-000-0000\"");
    EXPECT_EQ(Setting("ExperimentSettings", "Barcode"), "<missing>");

    EXPECT_TRUE(ImposeCartridgeTypeOffsets(Ini().c_str(), "123-000-0000", error)) << error.c_str();
    EXPECT_EQ(Setting("ExperimentSettings", "CartridgeType"), "OtherName");
    EXPECT_EQ(Setting("Cartridge", "SampleAspirateVolume"), "310");

    int upper = 77;
    EXPECT_TRUE(GetCartridgeTypeOffsetIntValues(Ini().c_str(), "123-000-0000", upper, error));
    EXPECT_EQ(upper, 0);

    // The definition was deleted after the load.
    std::filesystem::remove(Data() + "/Cartridge/file-name.ini");
    EXPECT_FALSE(ImposeCartridgeTypeOffsets(Ini().c_str(), "123-000-0000", error));
    EXPECT_EQ(std::string(error.c_str()),
              "Cartridge definition file does not exist: " + Data() + "/Cartridge/file-name.ini");
    EXPECT_FALSE(GetCartridgeTypeOffsetIntValues(Ini().c_str(), "", upper, error));
    EXPECT_STREQ(error.c_str(), "GetCartridgeTypeOffsetIntValues() Barcode is empty or missing.");
}

TEST_F(CartridgeTypesTest, UpperOffsetAloneHasNoRangeCheck)
{
    WriteCartridge("Std.ini", CartridgeIni("Std", "f01=###-###-####\r\n", "123",
                                           "[OffsetsInMicron]\r\nUpperChannelOffset=20000\r\n"));
    LoadCartridges();
    int upper = 0;
    EString error;
    EXPECT_TRUE(GetCartridgeTypeOffsetIntValues(Ini().c_str(), "123-000-0000", upper, error))
        << error.c_str();
    EXPECT_EQ(upper, 4000); // 20000 microns at 200 pixels per mm

    // Only a product that is no number, or no int, is refused.
    const struct
    {
        const char *pixelsPerMm;
        bool ok;
        int upper;
    } cases[] = {{"1e308", false, 0}, {"-1e308", false, 0},         {"nan", false, 0},
                 {"1e10", false, 0},  {"107374.18", true, 2147484}, {"-0.5", true, -10}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pixelsPerMm);
        WriteFileBytes(Ini(),
                       std::string("[CalibrationSettings]\r\nimage_pixels_per_mm=") + c.pixelsPerMm + "\r\n");
        upper = 77;
        error.Assign("");
        EXPECT_EQ(GetCartridgeTypeOffsetIntValues(Ini().c_str(), "123-000-0000", upper, error), c.ok);
        if (c.ok) {
            EXPECT_EQ(upper, c.upper);
        } else {
            EXPECT_EQ(upper, 77);
            EXPECT_EQ(std::string(error.c_str())
                          .rfind("GetCartridgeTypeOffsetIntValues() UpperChannelOffset=20000 "
                                 "micron at image_pixels_per_mm=",
                                 0),
                      0u)
                << error.c_str();
        }
    }
}

TEST(CartridgeProducts, ChoicesFromBarcodesAndPartNumbersFromChoices)
{
    const struct
    {
        const char *barcode;
        int choice;
    } choices[] = {{"103-555-1234", 2}, {"104-000-0000", 3}, {"101x", 0},
                   {"103", 0},          {"999-000-0000", 0}, {"", 0}};
    for (const auto &c : choices) {
        SCOPED_TRACE(c.barcode);
        EXPECT_EQ(CartridgeChoiceForBarcode(c.barcode), c.choice);
    }
    EXPECT_EQ(CartridgeChoiceForBarcode(nullptr), 0);
    const int asked[] = {-1, 0, 1, 2, 3, 4};
    const int row[] = {0, 0, 1, 2, 3, 0};
    for (size_t i = 0; i < std::size(asked); ++i)
        EXPECT_STREQ(CartridgePartNumber(asked[i]),
                     CartridgeProducts()[static_cast<size_t>(row[i])].part_number);
    EXPECT_EQ(CartridgeChoiceCaption(1).substr(0, 5), "102 (");
}

// The shipped definitions load, accept every part number of the product table and key split-line
// templates of the experiment reader.
TEST_F(CartridgeTypesTest, ShippedDefinitionsLoadAndAcceptTheProductTable)
{
    std::filesystem::remove_all(Data() + "/Cartridge");
    std::filesystem::copy(std::string(VANTELIS_SOURCE_DIR) + "/res/data/Cartridge", Data() + "/Cartridge");
    LoadCartridges();
    ASSERT_GE(CartridgeTypeList().size(), 2u);
    for (const auto &type : CartridgeTypeList()) {
        const std::string file = std::filesystem::path(type->file_path.c_str()).stem().string();
        EXPECT_EQ(file, type->type_name.c_str());
    }
    const std::string templates = ReadFileBytes(
        std::string(VANTELIS_SOURCE_DIR) + "/res/data/Templates/splitline-templates/SplitLineTemplates.txt");
    for (const CartridgeProduct &product : CartridgeProducts()) {
        SCOPED_TRACE(product.part_number);
        EString name, path, error;
        EXPECT_TRUE(FindCartridgeTypeForBarcode(product.part_number, name, path));
        EXPECT_TRUE(ImposeCartridgeTypeOffsets(Ini().c_str(), product.part_number, error)) << error.c_str();
        EXPECT_THAT(templates, ::testing::HasSubstr(std::string(product.part_number, 3)));
    }
}

} // namespace
} // namespace vantelis::test
