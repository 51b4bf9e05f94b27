// The image type that instrument file names carry, as every part of the program reads it.
#include "Ostravo/ImageTypeNames.h"

#include <gtest/gtest.h>

TEST(ImageTypeNames, TypeFromFileName)
{
    struct Case
    {
        const char *name;
        const char *type; // null: none
    };
    const Case cases[] = {
        {"ManualCapture.2021_BF.tif", "BF"},
        {"20210310_101500_FL1_0003.tif", "FL1"},
        {"image_0003.tif", nullptr},
        {"ManualCapture.2021.tif", nullptr},
        {"ManualCapture.a_b_FL2.png", "FL2"},
        {"manualcapture.2021_BF.tif", nullptr}, // the prefix is case-sensitive; one '_' only
        {"_a_b.tif", nullptr},                  // the search stops before the first character
        {"x_a_b.tif", "a"},
        {"x__b.tif", nullptr}, // the type needs at least one character
        {"noseparator.tif", nullptr},
    };
    for (const Case &c : cases) {
        EString type;
        EXPECT_EQ(ImageTypeFromFileName(c.name, type), c.type != nullptr) << c.name;
        EXPECT_STREQ(type.c_str(), c.type != nullptr ? c.type : "") << c.name;
    }
}
