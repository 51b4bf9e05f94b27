#include "SyntheticExperiment.h"

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <type_traits>

namespace vantelis::test {

namespace {

constexpr int kWidth = 2448;
constexpr int kHeight = 2048;
constexpr int kBarHalfWidth = 4;
constexpr int kBarHalfHeight = 20;
constexpr int kTemplateHalfWidth = 60; // split-line template: 120 x 60 around the left bar
constexpr int kTemplateHalfHeight = 30;
constexpr int kLeftBarX = 400;
constexpr int kRightBarX = 1760; // inside the part of the right third that the second stage searches
constexpr double kBulge = 60.0;  // meniscus curvature, columns
constexpr double kLeadStartX = 700.0;
constexpr double kCellRadius = 7.0;
constexpr int kOutsideLevel = 9000;
constexpr int kChannelLevel = 30000;
constexpr int kWallLevel = 5000;
constexpr int kSplitLevel = 14000;
constexpr int kMeniscusLevel = 7000;
constexpr int kCellLevel = 12000;
constexpr int kFluorescenceBackground = 1000;
constexpr int kFluorescenceCell = 15000;
const char *const kShippedIds[] = {"101", "102", "103", "104"};

struct Geometry
{
    const SyntheticExperimentParams &p;
    double tan_rotation;
    int dir; // +1 right, -1 left
    int centre_row;
    double center_x;
    int step;
    double slug_length;
    std::vector<SyntheticCell> cells;

    explicit Geometry(const SyntheticExperimentParams &params) : p(params)
    {
        tan_rotation = std::tan(p.rotation);
        dir = p.flow_leftward ? -1 : 1;
        // The lower channel row plus one is the channel's end, as the experiment reader keeps it.
        centre_row = static_cast<int>((p.upper_channel + (p.lower_channel + 1) - 1.0) * 0.5);
        center_x = kLeftBarX - kTemplateHalfWidth;
        step = ShiftPerFrame();
        const int n = p.pumped_frames;
        // The trail meniscus enters the view in the run's last quarter.
        slug_length = kLeadStartX + std::max(0, n - std::max(1, n / 4)) * step - 400.0;
        cv::RNG rng(p.seed * 7919u + 17u);
        const double half = HalfChannel();
        for (int i = 0; i < p.cells_above + p.cells_below; ++i) {
            SyntheticCell cell;
            cell.above = i < p.cells_above;
            cell.slug_x = rng.uniform(kBulge + 40.0, std::max(kBulge + 41.0, slug_length - kBulge - 40.0));
            const double from = rng.uniform(30.0, half - 30.0);
            cell.row_from_split = cell.above ? -from : from;
            cells.push_back(cell);
        }
    }

    // The sample's step per frame in columns, as the frame displacement is defined: the running
    // total of the pump speeds truncated at each record, its integer mean, the volume per frame
    // over the mean frame interval, a quarter of it in millimetres, in whole columns.
    int ShiftPerFrame() const
    {
        const int n = p.pumped_frames;
        if (n < 2)
            return 0;
        int64_t total = 0;
        for (int i = 0; i < n; ++i)
            total = static_cast<int64_t>(static_cast<double>(total) + p.pump1_speed + p.pump2_speed);
        const int64_t mean = total / n;
        const double interval_s = (static_cast<double>(p.frame_interval_ms) * (n - 1) / 1000.0) / (n - 1);
        const double volume = static_cast<double>(mean) / 60.0 * interval_s;
        const double shift_mm = volume * 0.25;
        return static_cast<int>(shift_mm / (1.0 / p.pixels_per_mm));
    }

    double HalfChannel() const { return (p.lower_channel + 1 - p.upper_channel) * 0.5; }
    double Shift(double x) const { return p.channel_offset + (x - center_x) * tan_rotation; }
    double Split(double x) const { return centre_row + Shift(x); }
    double LeadX(int k) const
    {
        return dir > 0 ? kLeadStartX + static_cast<double>(k) * step
                       : kWidth - kLeadStartX - static_cast<double>(k) * step;
    }
    double TrailX(int k) const { return LeadX(k) - dir * slug_length; }
};

// Blends level into rows [y0, y1) of column x, weighting each pixel by how much of it is covered.
void VerticalBand(cv::Mat &image, int x, double y0, double y1, float level)
{
    const int first = std::max(0, static_cast<int>(std::floor(y0)));
    const int last = std::min(image.rows - 1, static_cast<int>(std::ceil(y1)));
    for (int r = first; r <= last; ++r) {
        const double cover = std::min(y1, r + 1.0) - std::max(y0, static_cast<double>(r));
        if (cover <= 0.0)
            continue;
        float &v = image.at<float>(r, x);
        v = static_cast<float>(v * (1.0 - cover) + level * cover);
    }
}

void HorizontalBand(cv::Mat &image, int y, double x0, double x1, float level)
{
    const int first = std::max(0, static_cast<int>(std::floor(x0)));
    const int last = std::min(image.cols - 1, static_cast<int>(std::ceil(x1)));
    float *row = image.ptr<float>(y);
    for (int c = first; c <= last; ++c) {
        const double cover = std::min(x1, c + 1.0) - std::max(x0, static_cast<double>(c));
        if (cover <= 0.0)
            continue;
        row[c] = static_cast<float>(row[c] * (1.0 - cover) + level * cover);
    }
}

// Multiplies columns [x0, x1) of row y by factor, weighted by coverage like the bands.
void HorizontalTint(cv::Mat &image, int y, double x0, double x1, double factor)
{
    const int first = std::max(0, static_cast<int>(std::floor(x0)));
    const int last = std::min(image.cols - 1, static_cast<int>(std::ceil(x1)));
    float *row = image.ptr<float>(y);
    for (int c = first; c <= last; ++c) {
        const double cover = std::min(x1, c + 1.0) - std::max(x0, static_cast<double>(c));
        if (cover > 0.0)
            row[c] = static_cast<float>(row[c] * (1.0 - cover + factor * cover));
    }
}

template <typename T> void Disc(cv::Mat &image, double cx, double cy, double radius, float level)
{
    const int x0 = std::max(0, static_cast<int>(cx - radius - 1)),
              x1 = std::min(image.cols - 1, static_cast<int>(cx + radius + 1));
    const int y0 = std::max(0, static_cast<int>(cy - radius - 1)),
              y1 = std::min(image.rows - 1, static_cast<int>(cy + radius + 1));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
            const double cover = std::clamp(radius + 0.5 - d, 0.0, 1.0);
            T &v = image.at<T>(y, x);
            v = static_cast<T>(v * (1.0 - cover) + level * cover + (std::is_same_v<T, float> ? 0.0 : 0.5));
        }
}

// Positions of the cells of pumped frame k that lie in the image.
template <typename F> void ForEachCell(const Geometry &g, int k, F draw)
{
    for (const SyntheticCell &cell : g.cells) {
        const double x = g.LeadX(k) - g.dir * cell.slug_x;
        if (x < -kCellRadius || x > kWidth + kCellRadius)
            continue;
        draw(cell, x, g.Split(x) + cell.row_from_split);
    }
}

// The cartridge as every frame shows it: channel, walls and the split-line pattern.
cv::Mat RenderCartridge(const Geometry &g)
{
    const SyntheticExperimentParams &p = g.p;
    cv::Mat image(kHeight, kWidth, CV_32F, cv::Scalar(kOutsideLevel));
    for (int x = 0; x < kWidth; ++x) {
        const double s = g.Shift(x + 0.5);
        const double top = p.upper_channel + s, end = p.lower_channel + 1 + s, split = g.centre_row + s;
        VerticalBand(image, x, top, end, kChannelLevel);
        VerticalBand(image, x, top - 10, top, kWallLevel);
        VerticalBand(image, x, end, end + 10, kWallLevel);
        VerticalBand(image, x, split - 2, split + 2, kSplitLevel);
        if (std::abs(x - kLeftBarX) < kBarHalfWidth || std::abs(x - kRightBarX) < kBarHalfWidth)
            VerticalBand(image, x, split - kBarHalfHeight, split + kBarHalfHeight, kSplitLevel);
    }
    return image;
}

cv::Mat Render(const Geometry &g, const cv::Mat &cartridge, int index)
{
    const SyntheticExperimentParams &p = g.p;
    cv::Mat image = cartridge.clone();
    const int k = index - p.unpumped_frames;
    if (k >= 0) {
        const double lead = g.LeadX(k), trail = g.TrailX(k), half = g.HalfChannel();
        for (int y = 0; y < kHeight; ++y) {
            // The menisci span the channel: rows within half a channel of the split line there.
            const double u_lead = (y + 0.5 - g.Split(lead)) / half;
            const double u_trail = (y + 0.5 - g.Split(trail)) / half;
            const int d = g.dir;
            if (std::fabs(u_lead) < 1.0) {
                // The meniscus centre leads, its edges lag behind.
                const double front = lead - d * kBulge * u_lead * u_lead;
                const double back = std::fabs(u_trail) < 1.0 ? trail + d * kBulge * u_trail * u_trail : trail;
                // The sample dims the channel; the cartridge's split-line pattern shows through.
                HorizontalTint(image, y, std::max(std::min(back, front), 0.0),
                               std::max(std::max(back, front), 0.0), p.sample_transmission);
                HorizontalBand(image, y, front - 6.0, front + 6.0, kMeniscusLevel);
            }
            if (std::fabs(u_trail) < 1.0) {
                const double back = trail + d * kBulge * u_trail * u_trail;
                HorizontalBand(image, y, back - 4.0, back + 4.0, kMeniscusLevel);
            }
        }
        ForEachCell(g, k, [&](const SyntheticCell &, double x, double y) {
            Disc<float>(image, x, y, kCellRadius, kCellLevel);
        });
    }
    if (p.noise) {
        cv::Mat noise(image.size(), CV_32F);
        cv::RNG rng(p.seed * 104729u + static_cast<unsigned>(index));
        rng.fill(noise, cv::RNG::NORMAL, 0.0, 150.0);
        image += noise;
    }
    cv::Mat out;
    image.convertTo(out, CV_16U);
    return out;
}

cv::Mat RenderFluorescence(const Geometry &g, int index, bool below_only)
{
    cv::Mat image(kHeight, kWidth, CV_16U, cv::Scalar(kFluorescenceBackground));
    const int k = index - g.p.unpumped_frames;
    if (k >= 0)
        ForEachCell(g, k, [&](const SyntheticCell &cell, double x, double y) {
            if (!below_only || !cell.above)
                Disc<uint16_t>(image, x, y, kCellRadius, kFluorescenceCell);
        });
    return image;
}

void WriteText(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void WritePng(const std::string &path, const cv::Mat &image, int compression = 1)
{
    if (!cv::imwrite(path, image, {cv::IMWRITE_PNG_COMPRESSION, compression}))
        throw std::runtime_error("cannot write " + path);
}

cv::Mat To8Bit(const cv::Mat &image)
{
    cv::Mat out;
    image.convertTo(out, CV_8U, 1.0 / 256.0);
    return out;
}

std::string Format(const char *format, auto... values)
{
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, values...);
    return buffer;
}

} // namespace

double SyntheticExperimentTruth::SplitRowAt(double x) const
{
    return centre_row + channel_offset + (x - rotation_center_x) * std::tan(rotation);
}

cv::Mat RenderSyntheticBrightfield(const SyntheticExperimentParams &params, int index)
{
    const Geometry g(params);
    return Render(g, RenderCartridge(g), index);
}

SyntheticExperimentTruth WriteSyntheticExperiment(const std::string &root, const SyntheticExperimentParams &p)
{
    namespace fs = std::filesystem;
    const Geometry g(p);
    SyntheticExperimentTruth t;
    t.folder = (fs::path(root) / p.name).string();
    t.data_folder = (fs::path(root) / "data").string();
    fs::create_directories(fs::path(t.folder) / "Images");
    t.settings_path = t.folder + "/ExperimentSettings.ini";
    t.log_path = t.folder + "/" + p.name + ".log";
    t.cartridge_id = p.barcode.substr(0, 3);
    t.centre_row = g.centre_row;
    t.channel_offset = p.channel_offset;
    t.rotation = p.rotation;
    t.rotation_center_x = g.center_x;
    t.rotation_center_y = std::lround(g.Split(g.center_x)) - kTemplateHalfHeight;
    t.left_bar_x = kLeftBarX;
    t.right_bar_x = kRightBarX;
    t.shift_px_per_frame = g.step;
    t.cells = g.cells;
    t.cells_above = p.cells_above;
    t.cells_below = p.cells_below;
    t.channel_level = kChannelLevel;
    t.fluorescence_background = kFluorescenceBackground;
    t.fluorescence_cell_level = kFluorescenceCell;
    t.flow_direction = g.dir;
    // A meniscus template spans the bulge and 30 columns on either side of it.
    const int bulge = static_cast<int>(kBulge);
    t.lead_template_before = g.dir > 0 ? bulge + 30 : 30;
    t.lead_template_after = g.dir > 0 ? 30 : bulge + 30;
    t.trail_template_before = g.dir > 0 ? 30 : bulge + 30;
    t.trail_template_after = g.dir > 0 ? bulge + 30 : 30;
    for (int k = 0; k < p.pumped_frames; ++k) {
        t.lead_x.push_back(g.LeadX(k));
        t.trail_x.push_back(g.TrailX(k));
    }

    WriteText(t.settings_path,
              "[ExperimentSettings]\r\nExperimentFullName=" + p.name + "\r\nBarcode=" + p.barcode +
                  "\r\n[Cartridge]\r\nCartridgeUpperChannel=" + std::to_string(p.upper_channel) +
                  "\r\nCartridgeLowerChannel=" + std::to_string(p.lower_channel) +
                  "\r\n[CalibrationSettings]\r\nimage_pixels_per_mm=" + Format("%g", p.pixels_per_mm) +
                  "\r\n");

    const std::string header_block = "Vantelis_Version=1.0.0.0\r\nCameraModel=SynthCam\tSN=0001\r\n"
                                     "# ComputerName=SYNTHETIC\r\n";
    const std::string column_header =
        "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tPump1ValvePos\t"
        "Pump2ValvePos\tPump1SpeedULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL\t"
        "Split\r\n";
    std::string log = header_block + "12:00:00.000\tCartridge barcode " + p.barcode + "\r\n" + column_header;
    const int total = p.unpumped_frames + p.pumped_frames;
    const cv::Mat cartridge = RenderCartridge(g);
    const int64_t base_ms = 12LL * 3600 * 1000;
    auto row = [&](const std::string &file, int64_t ms, double exposure, int channel, double s1, double s2) {
        if (ms >= 24LL * 3600 * 1000)
            throw std::runtime_error("synthetic experiment runs past midnight");
        return Format(
            "%s\t%d/%02d/"
            "%02d\t%02d:%02d:%02d.%03d\t%ld\t%ld\t%s\t%ld\t%s\t%s\t%4.2lf\t%4.2lf\t%4.2lf\t%4.2lf\t%s\r\n",
            file.c_str(), 2026, 12, 10, static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60),
            static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000), static_cast<long>(exposure), 0L,
            "", static_cast<long>(channel), "I", "O", s1, s2, 125.5, 80.25, "NaN");
    };
    for (int i = 0; i < total; ++i) {
        const bool pumped = i >= p.unpumped_frames;
        if (i == p.unpumped_frames)
            log += header_block + column_header; // the writer restarted its record
        const int position = i + 1;
        const double s1 = pumped ? p.pump1_speed : 0.0, s2 = pumped ? p.pump2_speed : 0.0;
        const int64_t ms = base_ms + static_cast<int64_t>(i) * p.frame_interval_ms;
        const std::string index_part = Format("_%04d.png", position);
        t.positions.push_back(position);
        t.pumped.push_back(pumped);
        t.capture_offsets_ms.push_back(static_cast<uint32_t>(i * p.frame_interval_ms));
        t.brightfield_exposures.push_back(p.equal_exposures ? 3000 : 3000 + 40 * (i % 5));
        t.brightfield_files.push_back(p.name + "_Brightfield" + index_part);
        log += row(t.brightfield_files.back(), ms, t.brightfield_exposures.back(), 0, s1, s2);
        const int k = i - p.unpumped_frames;
        const bool write = p.all_images || i < 2 || k == 0 || k == 1 || k == 10;
        const bool cut = p.write_templates && (i == 1 || k == 0 || k == p.pumped_frames - 1);
        t.image_written.push_back(write);
        const cv::Mat bf = write || cut ? Render(g, cartridge, i) : cv::Mat();
        // Noise does not compress: stored uncompressed, which is quicker to write and read.
        if (write)
            WritePng(t.folder + "/Images/" + t.brightfield_files.back(), bf, p.noise ? 0 : 1);
        if (p.fluorescence) {
            t.fluorescence1_exposures.push_back(p.equal_exposures ? 100000 : 100000 + 2000 * (i % 3));
            t.fluorescence2_exposures.push_back(p.equal_exposures ? 150000 : 150000 + 1000 * (i % 4));
            t.fluorescence1_files.push_back(p.name + "_Ex474Em524" + index_part);
            t.fluorescence2_files.push_back(p.name + "_Ex560Em628" + index_part);
            log += row(t.fluorescence1_files.back(), ms + 100, t.fluorescence1_exposures.back(), 1, s1, s2);
            log += row(t.fluorescence2_files.back(), ms + 200, t.fluorescence2_exposures.back(), 2, s1, s2);
            if (write) {
                WritePng(t.folder + "/Images/" + t.fluorescence1_files.back(),
                         RenderFluorescence(g, i, false));
                WritePng(t.folder + "/Images/" + t.fluorescence2_files.back(),
                         RenderFluorescence(g, i, true));
            }
        }
        if (p.write_templates && i == 1) {
            // The split-line template: the left bar of the reference image (the second brightfield).
            const fs::path folder = fs::path(t.data_folder) / "Templates" / "splitline-templates";
            fs::create_directories(folder);
            const cv::Rect rect(static_cast<int>(g.center_x), static_cast<int>(t.rotation_center_y),
                                2 * kTemplateHalfWidth, 2 * kTemplateHalfHeight);
            t.split_line_template = (folder / ("Splitline_" + t.cartridge_id + ".png")).string();
            WritePng(t.split_line_template, To8Bit(bf(rect)));
            std::string ids = t.cartridge_id;
            for (const char *id : kShippedIds)
                if (t.cartridge_id != id)
                    ids += std::string(",") + id;
            t.template_list = (folder / "SplitLineTemplates.txt").string();
            WriteText(t.template_list, "CartridgeType\tImagePixelsPermm\tTemplateImage\r\n" + ids + "\t" +
                                           Format("%g", p.pixels_per_mm) + "\tSplitline_" + t.cartridge_id +
                                           ".png\r\n");
        }
        const int channel_top = p.upper_channel, channel_end = p.lower_channel + 1;
        if (p.write_templates && k == 0) {
            const fs::path folder = fs::path(t.data_folder) / "Templates" / "lead-meniscus-templates";
            fs::create_directories(folder);
            const int x0 = static_cast<int>(g.LeadX(0) - t.lead_template_before);
            t.lead_template = (folder / "lead_01.png").string();
            WritePng(t.lead_template, To8Bit(bf(cv::Rect(x0, channel_top, static_cast<int>(kBulge) + 60,
                                                         channel_end - channel_top))));
        }
        if (p.write_templates && k == p.pumped_frames - 1 && k >= 0) {
            const fs::path folder = fs::path(t.data_folder) / "Templates" / "trail-meniscus-templates";
            fs::create_directories(folder);
            const int x0 = std::clamp(static_cast<int>(g.TrailX(k) - t.trail_template_before), 0,
                                      kWidth - static_cast<int>(kBulge) - 60);
            t.trail_template = (folder / "trail_01.png").string();
            WritePng(t.trail_template, To8Bit(bf(cv::Rect(x0, channel_top, static_cast<int>(kBulge) + 60,
                                                          channel_end - channel_top))));
        }
    }
    WriteText(t.log_path, log);

    // The run the reader is to select: the pumped positions, all consecutive.
    t.run_first = static_cast<size_t>(p.unpumped_frames);
    t.run_length = static_cast<size_t>(p.pumped_frames);
    double sb = 0, s1 = 0, s2 = 0;
    for (size_t i = t.run_first; i < t.run_first + t.run_length; ++i) {
        sb += t.brightfield_exposures[i];
        if (p.fluorescence) {
            s1 += t.fluorescence1_exposures[i];
            s2 += t.fluorescence2_exposures[i];
        }
    }
    if (t.run_length > 0) {
        t.mean_brightfield_exposure = sb / t.run_length;
        t.mean_fluorescence1_exposure = s1 / t.run_length;
        t.mean_fluorescence2_exposure = s2 / t.run_length;
    }
    return t;
}

} // namespace vantelis::test
