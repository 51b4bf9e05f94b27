// The image document: opening files of any depth, refusing broken image files, reloading, saving
// without ever leaving a broken or empty file, and keeping regions inside the image.
#include "app/ImageDoc.h"

#include "support/FakeUi.h"
#include "support/TempDir.h"

#include "Ostravo/LogError.h"
#include "platform/Files.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <string>
#include <vector>

namespace vantelis::test {
namespace {

// A 16-bit image whose every pixel differs from its neighbours and that uses the high byte.
cv::Mat Pattern16(int rows, int columns, int seed = 0)
{
    cv::Mat image(rows, columns, CV_16UC1);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            image.at<uint16_t>(r, c) = static_cast<uint16_t>((r * 977 + c * 131 + seed * 7919) & 0xFFFF);
    return image;
}

std::string Encode(const cv::Mat &image, const std::string &extension)
{
    std::vector<uchar> bytes;
    EXPECT_TRUE(cv::imencode(extension, image, bytes));
    return std::string(bytes.begin(), bytes.end());
}

bool SameImage(const cv::Mat &a, const cv::Mat &b)
{
    return a.type() == b.type() && a.size() == b.size() && cv::norm(a, b, cv::NORM_INF) == 0.0;
}

class ImageDocTest : public ::testing::Test
{
  protected:
    ImageDocTest()
    {
        std::filesystem::create_directories(m_dir.file("LOG"));
        SetLogDataDirectory(m_dir.str().c_str());
    }
    ~ImageDocTest() override
    {
        platform::FailNextReplaceAt(platform::ReplaceFailurePoint::None);
        SetLogDataDirectory("");
    }

    std::string ErrorLogText() const
    {
        std::string text;
        for (const platform::DirEntry &entry : platform::ListFolder(m_dir.file("LOG"), "Err_*.log"))
            text += ReadFileBytes(m_dir.file("LOG/" + entry.name));
        return text;
    }

    TempDir m_dir;
    ScopedFakeUi m_ui;
};

TEST_F(ImageDocTest, OpensImagesOfAnyDepthAsOneGreyChannel)
{
    const cv::Mat sixteen = Pattern16(48, 64);
    cv::Mat colour(30, 40, CV_8UC3, cv::Scalar(10, 200, 60));
    struct Case
    {
        std::string name;
        std::string bytes;
        int type;
        cv::Size size;
        const cv::Mat *pixels; // exact pixels expected, or null
    };
    const Case cases[] = {
        {"sixteen.png", Encode(sixteen, ".png"), CV_16UC1, sixteen.size(), &sixteen},
        {"sixteen.tif", Encode(sixteen, ".tif"), CV_16UC1, sixteen.size(), &sixteen},
        {"colour.png", Encode(colour, ".png"), CV_8UC1, colour.size(), nullptr},
    };
    for (const Case &c : cases) {
        const std::string path = m_dir.file(c.name);
        WriteFileBytes(path, c.bytes);
        CImageDoc doc;
        ASSERT_TRUE(doc.OnOpenDocument(path.c_str())) << c.name;
        ASSERT_TRUE(doc.HasImage()) << c.name;
        EXPECT_EQ(doc.GetImage()->type(), c.type) << c.name;
        EXPECT_EQ(doc.GetImage()->size(), c.size) << c.name;
        if (c.pixels) {
            EXPECT_TRUE(SameImage(*doc.GetImage(), *c.pixels)) << c.name;
        }
        EXPECT_EQ(doc.GetPathName(), path);
        EXPECT_EQ(doc.GetTitle(), c.name);
    }
    EXPECT_TRUE(m_ui->Messages().empty());
}

TEST_F(ImageDocTest, AFileThatIsNoImageGivesAnEmptyImageWithoutAMessage)
{
    const std::string path = m_dir.file("notes.png");
    WriteFileBytes(path, "these are plain words, not pixels\r\n");
    CImageDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path.c_str()));
    ASSERT_NE(doc.GetImage(), nullptr);
    EXPECT_TRUE(doc.GetImage()->empty());
    EXPECT_FALSE(doc.HasImage());
    EXPECT_TRUE(m_ui->Messages().empty());
}

TEST_F(ImageDocTest, ATruncatedImageFileIsRefusedWithTheOpenMessageAndKeepsThePreviousImage)
{
    const cv::Mat good = Pattern16(40, 50, 1);
    const std::string goodPath = m_dir.file("good.png");
    WriteFileBytes(goodPath, Encode(good, ".png"));
    for (const char *extension : {".png", ".tif"}) {
        const std::string full = Encode(Pattern16(40, 50, 2), extension);
        const std::string path = m_dir.file(std::string("cut") + extension);
        WriteFileBytes(path, full.substr(0, full.size() / 2));

        m_ui->Clear();
        CImageDoc doc;
        ASSERT_TRUE(doc.OnOpenDocument(goodPath.c_str()));
        EXPECT_FALSE(doc.OnOpenDocument(path.c_str())) << extension;
        const std::string expected = "Problem trying to open image: " + path;
        ASSERT_EQ(m_ui->Messages().size(), 1u) << extension;
        EXPECT_EQ(m_ui->Messages()[0].text, expected);
        EXPECT_NE(ErrorLogText().find(expected), std::string::npos) << extension;
        ASSERT_TRUE(doc.HasImage());
        EXPECT_TRUE(SameImage(*doc.GetImage(), good)) << extension;
        EXPECT_EQ(doc.GetPathName(), goodPath);
    }
}

TEST_F(ImageDocTest, AFileThatCannotBeOpenedGivesNoDocument)
{
    CImageDoc doc;
    const std::string missing = m_dir.file("missing.png");
    EXPECT_FALSE(doc.OnOpenDocument(missing.c_str()));
    EXPECT_EQ(doc.GetImage(), nullptr);
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_NE(m_ui->Messages()[0].text.find(missing), std::string::npos);
}

TEST_F(ImageDocTest, ANewDocumentHasNoImage)
{
    CImageDoc doc;
    EXPECT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(doc.GetImage(), nullptr);
    EXPECT_TRUE(doc.GetPathName().empty());
    EXPECT_FALSE(doc.m_live_image);
}

TEST_F(ImageDocTest, ReloadReadsTheFileAsItIsNow)
{
    const std::string path = m_dir.file("frame.png");
    WriteFileBytes(path, Encode(Pattern16(20, 30, 1), ".png"));
    CImageDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path.c_str()));

    const cv::Mat changed = Pattern16(20, 30, 5);
    WriteFileBytes(path, Encode(changed, ".png"));
    std::string error;
    ASSERT_TRUE(doc.ReloadImage(error));
    EXPECT_TRUE(SameImage(*doc.GetImage(), changed));

    // A truncated file: no image at all, the reason for the caller, nothing shown.
    const std::string full = Encode(changed, ".png");
    WriteFileBytes(path, full.substr(0, full.size() - 40));
    EXPECT_FALSE(doc.ReloadImage(error));
    EXPECT_EQ(error, "Problem trying to open image: " + path);
    EXPECT_EQ(doc.GetImage(), nullptr);

    // The file deleted: an empty image, and that is no failure.
    std::filesystem::remove(path);
    error.clear();
    EXPECT_TRUE(doc.ReloadImage(error));
    ASSERT_NE(doc.GetImage(), nullptr);
    EXPECT_TRUE(doc.GetImage()->empty());
    EXPECT_TRUE(m_ui->Messages().empty());
}

TEST_F(ImageDocTest, SavedImagesReloadBitExactly)
{
    const cv::Mat image = Pattern16(33, 47, 3);
    const std::string source = m_dir.file("source.tif");
    WriteFileBytes(source, Encode(image, ".tif"));
    CImageDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(source.c_str()));
    for (const char *name : {"copy.png", "copy.tif", "copy.tiff"}) {
        const std::string target = m_dir.file(name);
        std::string error;
        ASSERT_TRUE(doc.SaveImage(target, error)) << name << ": " << error;
        CImageDoc reloaded;
        ASSERT_TRUE(reloaded.OnOpenDocument(target.c_str()));
        EXPECT_TRUE(SameImage(*reloaded.GetImage(), image)) << name;
    }
    EXPECT_EQ(doc.GetPathName(), source); // saving a copy does not move the document
}

TEST_F(ImageDocTest, AFailedSaveLeavesTheExistingFileAsItWas)
{
    const cv::Mat image = Pattern16(16, 16, 4);
    const std::string source = m_dir.file("source.png");
    WriteFileBytes(source, Encode(image, ".png"));
    CImageDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(source.c_str()));

    const std::string target = m_dir.file("target.png");
    const std::string before = Encode(Pattern16(16, 16, 9), ".png");
    const platform::ReplaceFailurePoint points[] = {
        platform::ReplaceFailurePoint::Create, platform::ReplaceFailurePoint::Write,
        platform::ReplaceFailurePoint::Flush, platform::ReplaceFailurePoint::Rename};
    for (platform::ReplaceFailurePoint point : points) {
        WriteFileBytes(target, before);
        platform::FailNextReplaceAt(point);
        std::string error;
        EXPECT_FALSE(doc.SaveImage(target, error)) << static_cast<int>(point);
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(ReadFileBytes(target), before) << static_cast<int>(point);
    }

    // Names that give no format, and a document without pixels, write nothing.
    struct Refusal
    {
        std::string path;
        bool withImage;
    };
    const Refusal refusals[] = {{m_dir.file("noextension"), true},
                                {m_dir.file("unknown.xyz"), true},
                                {m_dir.file("dotted.dir/plain"), true},
                                {m_dir.file("empty.png"), false}};
    for (const Refusal &r : refusals) {
        CImageDoc empty;
        CImageDoc &saver = r.withImage ? doc : empty;
        std::string error;
        EXPECT_FALSE(saver.SaveImage(r.path, error)) << r.path;
        EXPECT_FALSE(platform::FileExists(r.path)) << r.path;
    }
}

TEST_F(ImageDocTest, TheDocumentSaveNeverTouchesTheImageFile)
{
    const std::string path = m_dir.file("keep.png");
    const std::string bytes = Encode(Pattern16(12, 12, 2), ".png");
    WriteFileBytes(path, bytes);
    CImageDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path.c_str()));
    std::string error;
    EXPECT_FALSE(doc.OnSaveDocument(path.c_str(), error));
    EXPECT_NE(error.find(path), std::string::npos);
    EXPECT_EQ(ReadFileBytes(path), bytes);
}

TEST(ClipRectToImage, KeepsOnlyThePartInsideAndRefusesEmptyResults)
{
    struct Case
    {
        ImageRect in;
        bool ok;
        ImageRect out;
    };
    // A 100 x 80 image: columns 0..99, rows 0..79.
    const Case cases[] = {
        {{10, 10, 50, 40}, true, {10, 10, 50, 40}},   // inside: unchanged
        {{-5, -7, 120, 90}, true, {0, 0, 99, 79}},    // around the image: the whole image
        {{1844, 500, 2444, 1400}, false, {}},         // the cartridge ROI beyond a small image
        {{1844, 100, 2444, -100}, false, {}},         // missing channel rows: inverted
        {{20, 30, 20, 60}, false, {}},                // no width (a click without a drag)
        {{20, 30, 40, 30}, false, {}},                // no height
        {{-50, 10, -1, 20}, false, {}},               // left of the image
        {{90, 70, 200, 200}, true, {90, 70, 99, 79}}, // over the bottom right corner
        {{99, 10, 150, 20}, false, {}},               // only the last column: no area left
    };
    for (const Case &c : cases) {
        ImageRect rect = c.in;
        EXPECT_EQ(ClipRectToImage(rect, 100, 80), c.ok)
            << c.in.left << "," << c.in.top << "," << c.in.right << "," << c.in.bottom;
        EXPECT_EQ(rect, c.ok ? c.out : c.in);
    }
    ImageRect any{0, 0, 10, 10};
    EXPECT_FALSE(ClipRectToImage(any, 0, 0)); // no image: nothing to clip to
}

TEST(SetActiveRoiClipped, AnEmptyResultLeavesTheActiveRoiAlone)
{
    const ImageRect before{5, 6, 30, 40};
    _active_roi.Set(before);
    EXPECT_FALSE(SetActiveRoiClipped(ImageRect{200, 10, 300, 20}, 100, 80));
    EXPECT_EQ(_active_roi.Get(), before);
    EXPECT_TRUE(SetActiveRoiClipped(ImageRect{50, -10, 150, 20}, 100, 80));
    EXPECT_EQ(_active_roi.Get(), (ImageRect{50, 0, 99, 20}));
    _active_roi.Set(ImageRect{});
}

} // namespace
} // namespace vantelis::test
