#pragma once
// A camera for tests, set up through its public fields: what each query answers (a query without
// an answer fails), whether exposures are taken, and which image a capture hands out. Every
// initialisation and every setting sent to the camera is recorded in calls, in order.
#include "app/DeviceServices.h"
#include "platform/Clock.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vantelis::test {

class FakeCamera : public CameraInterface
{
  public:
    // Initialize answers initializeOk, failing with "Camera not found."; IsInitialized answers
    // initialized.
    bool initializeOk = true;
    bool initialized = false;

    // The queries' answers. Without an answer the query fails; GetModelName then assigns
    // modelError when it is not empty.
    std::optional<std::string> model;
    std::string modelError;
    std::optional<std::string> serial;
    std::optional<double> temperature;

    // SetExposure throws while throwOnExposure is set (a driver fault) and fails while
    // exposureRefusal is set, assigning its text when not empty; otherwise it keeps the exposure,
    // which GetExposure answers, and notes it in exposures and its start time in starts.
    bool throwOnExposure = false;
    std::optional<std::string> exposureRefusal;
    float exposure = 0;
    std::vector<int> exposures;
    std::vector<uint64_t> starts;

    // CaptureImage hands out imagesByExposure[exposure] when there is one, else image(exposure),
    // and notes its end time in ends; with neither it refuses like a camera that cannot capture.
    std::map<int, cv::Mat> imagesByExposure;
    std::function<cv::Mat(int exposureUs)> image;
    std::vector<uint64_t> ends;

    // The settings window's operations. SetGain fails above maxGain with "gain too high".
    int width = 640;
    int height = 480;
    int depth = 12;
    float gain = 1.5f;
    float maxGain = 10.0f;

    std::vector<std::string> calls;

    bool Initialize(EString &error, bool flag) override
    {
        calls.push_back("Initialize:" + std::to_string(flag));
        if (!initializeOk)
            error.Assign("Camera not found.");
        return initializeOk;
    }
    bool IsInitialized() override { return initialized; }
    bool GetModelName(EString &text, EString &error) override
    {
        if (!model) {
            if (!modelError.empty())
                error.Assign(modelError.c_str());
            return false;
        }
        text.Assign(model->c_str());
        return true;
    }
    bool GetSerialNumber(EString &text, EString &) override
    {
        if (serial)
            text.Assign(serial->c_str());
        return serial.has_value();
    }
    bool GetTemperature(double &degrees, EString &) override
    {
        if (temperature)
            degrees = *temperature;
        return temperature.has_value();
    }
    bool SetExposure(float microseconds, EString &error) override
    {
        if (throwOnExposure)
            throw std::runtime_error("driver fault");
        if (exposureRefusal) {
            if (!exposureRefusal->empty())
                error.Assign(exposureRefusal->c_str());
            return false;
        }
        calls.push_back("SetExposure " + std::to_string(microseconds));
        exposure = microseconds;
        exposures.push_back(static_cast<int>(microseconds));
        starts.push_back(platform::TickMs());
        return true;
    }
    bool GetExposure(float &microseconds, EString &) override
    {
        microseconds = exposure;
        return true;
    }
    bool CaptureImage(cv::Mat &captured, EString &error) override
    {
        const int exposureUs = static_cast<int>(exposure);
        const auto found = imagesByExposure.find(exposureUs);
        if (found != imagesByExposure.end())
            captured = found->second.clone();
        else if (image)
            captured = image(exposureUs);
        else
            return CameraInterface::CaptureImage(captured, error);
        ends.push_back(platform::TickMs());
        return true;
    }
    bool GetImageSize(int &w, int &h, EString &) override
    {
        w = width;
        h = height;
        return true;
    }
    bool GetPixelDepth(int &bits, EString &) override
    {
        bits = depth;
        return true;
    }
    bool SetPixelDepth(int bits, EString &) override
    {
        calls.push_back("SetPixelDepth " + std::to_string(bits));
        depth = bits;
        return true;
    }
    bool GetGain(float &value, EString &) override
    {
        value = gain;
        return true;
    }
    bool SetGain(float value, EString &error) override
    {
        calls.push_back("SetGain " + std::to_string(value));
        if (value > maxGain) {
            error.Assign("gain too high");
            return false;
        }
        gain = value;
        return true;
    }
    bool GetDigitalOutput(int, bool &on, EString &) override
    {
        on = false;
        return true;
    }
    bool SetDigitalOutput(int output, bool on, EString &) override
    {
        calls.push_back("SetDigitalOutput " + std::to_string(output) + (on ? " on" : " off"));
        return true;
    }
};

// An initialised camera that answers no query and refuses every exposure without a text.
inline FakeCamera QuietCamera()
{
    FakeCamera camera;
    camera.initialized = true;
    camera.exposureRefusal = "";
    return camera;
}

} // namespace vantelis::test
