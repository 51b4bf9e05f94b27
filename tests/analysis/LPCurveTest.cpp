#include "analysis/LPCurve.h"

#include "Ostravo/Profile.h"
#include "platform/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

using vantelis::test::TempDir;
using vantelis::test::WriteFileBytes;

// The ten keys with non-zero values; a value of null leaves the key out.
std::map<std::string, const char *> GoodValues()
{
    return {{"ChiGd_factor", "0.5"}, {"rhobuffer", "1.0"}, {"munot", "1.2566e-6"}, {"g", "9.81"},
            {"cubic", "-0.25"},      {"square", "1.5"},    {"linear", " 2.5"},     {"constant", "+3.5"},
            {"mag_gap", "1.0e-3"},   {"ChiPar", "7"}};
}

std::string ParamsFile(const std::map<std::string, const char *> &values)
{
    std::string text = "# made by hand\r\n[LPCurveParams]\r\n";
    for (const auto &[key, value] : values)
        if (value)
            text += key + "=" + value + "\r\n";
    return text;
}

TEST(LPCurve, LoadsValuesAndDerivesDensityAndSusceptibility)
{
    TempDir dir;
    const std::string path = dir.file("Default.LP_curve_params");
    WriteFileBytes(path, ParamsFile(GoodValues()));

    LPCurveParams lp;
    EString error("old text");
    ASSERT_TRUE(lp.Load(10.0, path.c_str(), error)) << error.c_str();
    EXPECT_STREQ(error.c_str(), "");
    EXPECT_TRUE(lp.valid);
    EXPECT_EQ(lp.Gd_conc, 10.0);
    EXPECT_EQ(lp.ChiGd_factor, 0.5);
    EXPECT_EQ(lp.rhobuffer, 1.0);
    EXPECT_EQ(lp.munot, 1.2566e-6);
    EXPECT_EQ(lp.g, 9.81);
    EXPECT_EQ(lp.cubic, -0.25);
    EXPECT_EQ(lp.square, 1.5);
    EXPECT_EQ(lp.linear, 2.5);
    EXPECT_EQ(lp.constant, 3.5);
    EXPECT_EQ(lp.mag_gap, 1.0e-3);
    EXPECT_EQ(lp.ChiPar, 7.0);
    // rhof = 10 x 0.275 + 1.0, ChiGd = 10 x 0.5.
    EXPECT_DOUBLE_EQ(lp.rhof, 3.75);
    EXPECT_DOUBLE_EQ(lp.ChiGd, 5.0);

    // ChiPar is not checked: a file without it loads.
    auto values = GoodValues();
    values["ChiPar"] = nullptr;
    WriteFileBytes(path, ParamsFile(values));
    LPCurveParams without;
    ASSERT_TRUE(without.Load(2.0, path.c_str(), error)) << error.c_str();
    EXPECT_EQ(without.ChiPar, 0.0);
}

TEST(LPCurve, NamesEveryMissingOrInvalidValue)
{
    const char *keys[] = {"ChiGd_factor", "rhobuffer", "munot",    "g",      "cubic",
                          "square",       "linear",    "constant", "mag_gap"};
    const char *messages[] = {"ChiGd_factor missing or invalid", "rhobuffer is missing or invalid",
                              "munot missing or invalid",        "g missing or invalid",
                              "cubic missing or invalid",        "square missing or invalid",
                              "linear missing or invalid",       "constant missing or invalid",
                              "mag_gap missing or invalid"};
    TempDir dir;
    const std::string path = dir.file("Bad.LP_curve_params");

    // Each key alone: missing, written as 0, and not a number.
    for (int k = 0; k < 9; ++k) {
        for (const char *bad : {static_cast<const char *>(nullptr), "0", "0.0e5", "abc"}) {
            auto values = GoodValues();
            values[keys[k]] = bad;
            WriteFileBytes(path, ParamsFile(values));
            LPCurveParams lp;
            EString error;
            EXPECT_FALSE(lp.Load(10.0, path.c_str(), error)) << keys[k];
            EXPECT_EQ(std::string(error.c_str()), path + ":\n" + messages[k] + "\n") << keys[k];
            EXPECT_FALSE(lp.valid) << keys[k];
            // The derived values are stored all the same.
            EXPECT_DOUBLE_EQ(lp.rhof, k == 1 ? 2.75 : 3.75) << keys[k];
        }
    }

    // All nine at once, in their order; a record that was valid stays so.
    WriteFileBytes(path, ParamsFile({{"ChiPar", "1"}}));
    std::string all = path + ":\n";
    for (const char *message : messages)
        all += std::string(message) + "\n";
    LPCurveParams lp;
    lp.valid = true;
    EString error;
    EXPECT_FALSE(lp.Load(1.0, path.c_str(), error));
    EXPECT_EQ(std::string(error.c_str()), all);
    EXPECT_TRUE(lp.valid);

    // g = 0 and mag_gap missing: two lines.
    auto values = GoodValues();
    values["g"] = "0";
    values["mag_gap"] = nullptr;
    WriteFileBytes(path, ParamsFile(values));
    EXPECT_FALSE(lp.Load(1.0, path.c_str(), error));
    EXPECT_EQ(std::string(error.c_str()), path + ":\ng missing or invalid\nmag_gap missing or invalid\n");
}

TEST(LPCurve, MissingFileIsAppendedAndChangesNothing)
{
    TempDir dir;
    const std::string path = dir.file("Missing.LP_curve_params");
    LPCurveParams lp;
    lp.valid = true;
    lp.g = 9.81;
    lp.rhof = 1.5;
    EString error("Gd_conc checked\n");
    EXPECT_FALSE(lp.Load(10.0, path.c_str(), error));
    EXPECT_EQ(std::string(error.c_str()), "Gd_conc checked\nMissing file: " + path + "\n");
    EXPECT_TRUE(lp.valid);
    EXPECT_EQ(lp.g, 9.81);
    EXPECT_EQ(lp.rhof, 1.5);
    EXPECT_EQ(lp.Gd_conc, 0.0);
}

// One example set ships in the data folder, so the tools have a curve on a fresh installation. It
// holds every key and says that it is an example, not an instrument's calibration.
TEST(LPCurve, ShippedExampleHoldsEveryKeyAndLoads)
{
    const std::string lib = std::string(VANTELIS_SOURCE_DIR) + "/res/data/LIB";
    std::vector<std::string> names;
    for (const platform::DirEntry &entry : platform::ListFolder(lib, "*.LP_curve_params"))
        names.push_back(entry.name);
    ASSERT_EQ(names, std::vector<std::string>{"Example.LP_curve_params"});
    const std::string path = lib + "/" + names[0];
    const std::string text = vantelis::test::ReadFileBytes(path);
    EXPECT_NE(text.find("EXAMPLE"), std::string::npos);
    EXPECT_NE(text.find("not the calibration of any instrument"), std::string::npos);
    for (const auto &[key, value] : GoodValues()) {
        char buffer[64] = {0};
        EXPECT_TRUE(Ostravo::E_GetPrivateProfileString(kLPCurveParamsSection, key.c_str(), "<missing>",
                                                       buffer, sizeof buffer, path.c_str()));
        EXPECT_STRNE(buffer, "<missing>") << key;
    }

    LPCurveParams lp;
    EString error;
    ASSERT_TRUE(lp.Load(25.0, path.c_str(), error)) << error.c_str();
    EXPECT_TRUE(lp.valid);
    EXPECT_NE(lp.ChiPar, 0.0);
    EXPECT_DOUBLE_EQ(lp.rhof, 25.0 * 0.275 + lp.rhobuffer);
}

} // namespace
