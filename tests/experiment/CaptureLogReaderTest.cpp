#include "ExperimentTestSupport.h"
#include "experiment/ExperimentData.h"

#include <gmock/gmock.h>

#include <vector>

using vantelis::test::WriteFileBytes;

namespace {

class CaptureLogReaderTest : public ExperimentTest
{
  protected:
    std::string WriteLog(const std::string &body)
    {
        const std::string path = m_dir.file("run.log");
        WriteFileBytes(path, std::string(PumpLogHeader()) + "\r\n" + body);
        return path;
    }
};

std::vector<int> Positions(const std::vector<CaptureLogRecord> &records)
{
    std::vector<int> positions;
    for (const CaptureLogRecord &record : records)
        positions.push_back(record.images.brightfield.position);
    return positions;
}

struct RunCase
{
    const char *name;
    std::vector<int> positions;
    std::vector<double> pump1; // one per position; pump 2 is 0 unless given
    std::vector<double> pump2;
    bool ok;
    std::vector<int> selected;
};

class RunSelectionTest : public CaptureLogReaderTest, public ::testing::WithParamInterface<RunCase>
{
};

TEST_P(RunSelectionTest, SelectsTheFirstLongestPumpedRun)
{
    const RunCase &c = GetParam();
    std::string body;
    for (size_t i = 0; i < c.positions.size(); ++i)
        body += PumpLogRow(ImageName("Brightfield", c.positions[i]), 3000, c.pump1[i],
                           c.pump2.empty() ? 0.0 : c.pump2[i]);
    ExperimentData data;
    std::string error;
    EXPECT_EQ(data.ReadCaptureLog(WriteLog(body), &error), c.ok) << error;
    EXPECT_EQ(Positions(data.m_selected_run), c.selected);
    if (!c.ok) {
        EXPECT_THAT(error, ::testing::HasSubstr("no two pumped images at consecutive positions"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunSelectionTest,
    ::testing::Values(
        RunCase{"GapAfterThree", {1, 2, 3, 7, 8}, {5, 5, 5, 5, 5}, {}, true, {1, 2, 3}},
        RunCase{"EqualRunsFirstWins", {1, 2, 5, 6}, {5, 5, 5, 5}, {}, true, {1, 2}},
        RunCase{"NoConsecutivePositions", {1, 3, 5}, {5, 5, 5}, {}, false, {}},
        // Speeds 0 and 1000 are not pumped; 0.5 and 0 is.
        RunCase{
            "SpeedsZeroAnd1000NotPumped", {1, 2, 3, 4}, {0, 0.5, 0.5, 0}, {1000, 0, 0, 1000}, true, {2, 3}},
        RunCase{"Pump2AlonePumps", {1, 2, 3}, {0, 0, 0}, {999.9, 999.9, 0}, true, {1, 2}},
        // An unpumped record between pumped ones breaks nothing: only pumped records count.
        RunCase{"UnpumpedRecordSkipped", {1, 2, 3, 4}, {5, 0, 5, 5}, {}, true, {3, 4}},
        RunCase{"LaterLongerRunWins", {1, 2, 4, 5, 6}, {5, 5, 5, 5, 5}, {}, true, {4, 5, 6}}),
    [](const ::testing::TestParamInfo<RunCase> &info) { return std::string(info.param.name); });

TEST_F(CaptureLogReaderTest, AttachesFluorescenceAndAveragesTheRun)
{
    // Position 12 appears twice: the fluorescence rows attach to the first record of it.
    std::string body =
        PumpLogRow(ImageName("Brightfield", 11), 1000, 5, 0) +
        PumpLogRow(ImageName("Ex474Em524", 11), 50, 5, 0) +
        PumpLogRow(ImageName("Brightfield", 12), 2000, 5, 0) +
        PumpLogRow(ImageName("Ex474Em524", 12), 70, 5, 0) + PumpLogRow(ImageName("Em628", 12), 90, 5, 0) +
        PumpLogRow(ImageName("BrtFld", 12), 4000, 0, 0) + PumpLogRow(ImageName("Ex560", 12), 95, 5, 0) +
        // A name holding both words is a brightfield row.
        PumpLogRow("x_Brightfield_Ex474_0013.png", 3000, 5, 0);
    ExperimentData data;
    std::string error;
    ASSERT_TRUE(data.ReadCaptureLog(WriteLog(body), &error)) << error;
    ASSERT_EQ(Positions(data.m_records), (std::vector<int>{11, 12, 12, 13}));
    const CaptureLogRecord &second = data.m_records[1];
    EXPECT_EQ(second.images.fluorescence1.file_name, ImageName("Ex474Em524", 12));
    EXPECT_EQ(second.images.fluorescence1.position, 12);
    EXPECT_EQ(second.fluorescence1_exposure_us, 70);
    // The later Ex560 row of position 12 replaced the Em628 one in the same slot.
    EXPECT_EQ(second.images.fluorescence2.file_name, ImageName("Ex560", 12));
    EXPECT_EQ(second.fluorescence2_exposure_us, 95);
    EXPECT_TRUE(data.m_records[2].images.fluorescence1.file_name.empty());
    EXPECT_EQ(data.m_records[3].images.fluorescence1.position, 0);
    // The unpumped second record of position 12 is left out: the pumped ones are 11, 12, 13.
    ASSERT_EQ(Positions(data.m_selected_run), (std::vector<int>{11, 12, 13}));
    EXPECT_DOUBLE_EQ(data.m_mean_brightfield_exposure, 2000.0);
    // Summed over the records that have the image, divided by the whole run.
    EXPECT_DOUBLE_EQ(data.m_mean_fluorescence1_exposure, 40.0);
    // The run's first record has no fluorescence-2 image: that mean keeps its value.
    EXPECT_DOUBLE_EQ(data.m_mean_fluorescence2_exposure, 0.0);
    // The reference record is the second brightfield record.
    EXPECT_EQ(data.m_reference_record.images.brightfield.file_name, ImageName("Brightfield", 12));
}

TEST_F(CaptureLogReaderTest, ReferenceRecordIsTheSecondEvenWhenUnpumped)
{
    const std::string body = PumpLogRow(ImageName("Brightfield", 1), 10, 0, 0) +
                             PumpLogRow(ImageName("Brightfield", 2), 20, 0, 0) +
                             PumpLogRow(ImageName("Brightfield", 5), 30, 5, 5) +
                             PumpLogRow(ImageName("Brightfield", 6), 40, 5, 5);
    ExperimentData data;
    ASSERT_TRUE(data.ReadCaptureLog(WriteLog(body)));
    EXPECT_EQ(data.m_reference_record.images.brightfield.position, 2);
    EXPECT_EQ(data.m_reference_record.brightfield_exposure_us, 20);
}

TEST_F(CaptureLogReaderTest, BarcodeLinesGiveTheCartridgeId)
{
    struct Case
    {
        const char *line;
        const char *id;
    } cases[] = {
        {"Cartridge barcode\tcode 0123456", "012"},
        {"10:00:00.000\tCartridge barcode 987654", "987"},
        {"10:00:00.000\tCartridge barcode 45", "45"},
        {"10:00:00.000\tCartridge barcode ", ""}, // the second cell ends with a blank
    };
    for (const Case &c : cases) {
        // An earlier bar-code line is replaced by the one under test.
        const std::string body = "10:00:00.000\tCartridge barcode 111-000-0000\r\n" + std::string(c.line) +
                                 "\r\n" + PumpLogRow(ImageName("Brightfield", 1), 1, 5, 0) +
                                 PumpLogRow(ImageName("Brightfield", 2), 1, 5, 0);
        ExperimentData data;
        ASSERT_TRUE(data.ReadCaptureLog(WriteLog(body))) << c.line;
        EXPECT_EQ(data.m_cartridge_id, c.id) << c.line;
    }
    ExperimentData none;
    ASSERT_TRUE(none.ReadCaptureLog(WriteLog(PumpLogRow(ImageName("Brightfield", 1), 1, 5, 0) +
                                             PumpLogRow(ImageName("Brightfield", 2), 1, 5, 0))));
    EXPECT_EQ(none.m_cartridge_id, "");
}

TEST_F(CaptureLogReaderTest, LfAndCrLfLogsReadAlike)
{
    std::string crlf = PumpLogRow(ImageName("Brightfield", 1), 100, 5, 0) +
                       PumpLogRow(ImageName("Brightfield", 2), 300, 5, 0);
    std::string lf;
    for (char c : crlf)
        if (c != '\r')
            lf += c;
    lf.pop_back(); // the last line needs no line end
    for (const std::string &body : {crlf, lf}) {
        ExperimentData data;
        ASSERT_TRUE(data.ReadCaptureLog(WriteLog(body)));
        EXPECT_EQ(Positions(data.m_selected_run), (std::vector<int>{1, 2}));
        EXPECT_DOUBLE_EQ(data.m_mean_brightfield_exposure, 200.0);
        EXPECT_EQ(data.m_records[1].images.brightfield.file_name, ImageName("Brightfield", 2));
    }
}

TEST_F(CaptureLogReaderTest, RowsBeforeTheHeaderUseColumnZero)
{
    // Before any header every column is 0: a kind word in the first cell makes a brightfield row
    // whose exposure is read from that same cell, which is not a number.
    const std::string path = m_dir.file("early.log");
    WriteFileBytes(path, "Brightfield first\r\n" + std::string(PumpLogHeader()) + "\r\n");
    ExperimentData data;
    std::string error;
    EXPECT_FALSE(data.ReadCaptureLog(path, &error));
    EXPECT_THAT(error, ::testing::HasSubstr("line 1"));
    // A line before the header without a kind word is skipped.
    WriteFileBytes(path, "Vantelis_Version=1.0.0.0\r\n" + std::string(PumpLogHeader()) + "\r\n" +
                             PumpLogRow(ImageName("Brightfield", 1), 1, 5, 0) +
                             PumpLogRow(ImageName("Brightfield", 2), 1, 5, 0));
    ExperimentData second;
    EXPECT_TRUE(second.ReadCaptureLog(path));
}

TEST(ParseLogDateTimeTest, DifferenceOfTwoTimesIsTheirMilliseconds)
{
    bool ok = false;
    const uint32_t later = ParseLogDateTime("2026/03/15", "10:20:30.250", &ok);
    ASSERT_TRUE(ok);
    const uint32_t earlier = ParseLogDateTime("2026/03/15", "10:20:29.750", &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(static_cast<uint32_t>(later - earlier), 500u);
    // A day apart.
    EXPECT_EQ(static_cast<uint32_t>(ParseLogDateTime("2026/03/16", "10:20:29.750") - earlier), 86400000u);
}

struct MalformedCase
{
    const char *name;
    std::string log; // written below the header; empty name means no file at all
    const char *message;
};

class MalformedLogTest : public CaptureLogReaderTest, public ::testing::WithParamInterface<MalformedCase>
{
};

TEST_P(MalformedLogTest, FailsWithItsMessage)
{
    const MalformedCase &c = GetParam();
    ExperimentData data;
    std::string error;
    const std::string path = c.log == "<missing>" ? m_dir.file("none.log") : WriteLog(c.log);
    EXPECT_FALSE(data.ReadCaptureLog(path, &error));
    EXPECT_THAT(error, ::testing::HasSubstr(c.message));
    EXPECT_TRUE(data.m_selected_run.empty());
}

const std::string kGoodRows =
    PumpLogRow(ImageName("Brightfield", 1), 1, 5, 0) + PumpLogRow(ImageName("Brightfield", 2), 1, 5, 0);

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedLogTest,
    ::testing::Values(
        MalformedCase{"MissingFile", "<missing>", "Cannot read the capture log"},
        MalformedCase{"TimeWithoutFraction",
                      PumpLogRow(ImageName("Brightfield", 1), 1, 5, 0, "10:00:00") + kGoodRows,
                      "is not of the form"},
        MalformedCase{"DateWithoutSlashes",
                      PumpLogRow(ImageName("Brightfield", 1), 1, 5, 0, "10:00:00.000", "20261210") +
                          kGoodRows,
                      "is not of the form"},
        MalformedCase{"OneCellBarcodeLine", "Cartridge barcode 0123456\r\n" + kGoodRows, "no second cell"},
        MalformedCase{"ShortFileName", PumpLogRow("BrtFld1", 1, 5, 0) + kGoodRows, "four-digit position"},
        MalformedCase{"NonDigitPosition", PumpLogRow("x_Brightfield_00a1.png", 1, 5, 0) + kGoodRows,
                      "four-digit position"},
        MalformedCase{"ShortFluorescenceName", kGoodRows + PumpLogRow("Ex474.png", 1, 5, 0),
                      "four-digit position"},
        MalformedCase{
            "ExposureNotANumber",
            "x_Brightfield_0001.png\t2026/12/10\t10:00:00.000\tabc\t0\t\t0\tI\tO\t5\t0\t1\t2\tNaN\r\n" +
                kGoodRows,
            "not a number"},
        MalformedCase{"RowShorterThanHeader",
                      "x_Brightfield_0001.png\t2026/12/10\t10:00:00.000\t100\r\n" + kGoodRows,
                      "lacks one of the columns"},
        MalformedCase{"OneBrightfieldRow", PumpLogRow(ImageName("Brightfield", 1), 1, 5, 0),
                      "fewer than two brightfield images"},
        MalformedCase{"EmptyLog", "", "fewer than two brightfield images"}),
    [](const ::testing::TestParamInfo<MalformedCase> &info) { return std::string(info.param.name); });

TEST_F(CaptureLogReaderTest, HeaderWithoutPumpColumnsFailsAtTheFirstBrightfieldRow)
{
    const std::string path = m_dir.file("nopump.log");
    WriteFileBytes(path, "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tSplit\r\n"
                         "x_Brightfield_0001.png\t2026/12/10\t10:00:00.000\t100\t0\t\t0\tNaN\r\n");
    ExperimentData data;
    std::string error;
    EXPECT_FALSE(data.ReadCaptureLog(path, &error));
    EXPECT_THAT(error, ::testing::HasSubstr("lacks one of the columns"));
}

TEST(PositionRunTest, RunsOfConsecutivePositions)
{
    auto records = [](std::vector<int> positions) {
        std::vector<CaptureLogRecord> out;
        for (int p : positions) {
            CaptureLogRecord r;
            r.images.brightfield.position = p;
            out.push_back(r);
        }
        return out;
    };
    auto runs = FindConsecutivePositionRuns(records({1, 2, 3, 7, 9, 10}));
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ((std::vector<int>{runs[0].first, runs[0].end, runs[0].length}), (std::vector<int>{0, 3, 3}));
    EXPECT_EQ((std::vector<int>{runs[1].first, runs[1].end, runs[1].length}), (std::vector<int>{-1, 4, 1}));
    EXPECT_EQ((std::vector<int>{runs[2].first, runs[2].end, runs[2].length}), (std::vector<int>{4, 6, 2}));
    runs = FindConsecutivePositionRuns(records({4}));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ((std::vector<int>{runs[0].first, runs[0].end, runs[0].length}), (std::vector<int>{-1, 1, 1}));
}

} // namespace
