#include "devices/XmpMetadata.h"

#include <exiv2/exiv2.hpp>

#include <exception>
#include <mutex>

namespace {

std::mutex &ExivMutex()
{
    static std::mutex mutex;
    return mutex;
}

void InitializeOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Exiv2 writes its own warnings to standard error; failures reach the callers as texts.
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
    });
}

} // namespace

void InitializeXmpMetadata()
{
    std::lock_guard<std::mutex> lock(ExivMutex());
    InitializeOnce();
}

bool Add_XMP_MetaData(const char *filePath, const std::vector<EString> &keys,
                      const std::vector<EString> &values, EString &error)
{
    const std::string path = filePath ? filePath : "";
    if (keys.size() != values.size()) {
        error.Assign("Add_XMP_MetaData() - the lists of keys and values differ in length.");
        return false;
    }
    std::lock_guard<std::mutex> lock(ExivMutex());
    InitializeOnce();
    decltype(Exiv2::ImageFactory::open(path)) image;
    try {
        image = Exiv2::ImageFactory::open(path);
    } catch (const std::exception &) {
        image.reset();
    }
    if (image.get() == nullptr) {
        error.Assign(("Add_XMP_MetaData() - Can't open image file: " + path).c_str());
        return false;
    }
    try {
        image->readMetadata();
        Exiv2::XmpData xmp = image->xmpData();
        for (size_t i = 0; i < keys.size(); ++i) {
            char key[64];
            std::snprintf(key, sizeof key, "Xmp.dc.%s", keys[i].c_str());
            Exiv2::XmpTextValue value(values[i].c_str());
            xmp.add(Exiv2::XmpKey(key), &value);
        }
        image->setXmpData(xmp);
        image->writeMetadata();
    } catch (const std::exception &e) {
        error.Assign(("Add_XMP_MetaData() - " + path + " : " + e.what()).c_str());
        return false;
    }
    return true;
}

bool ReadXmpDublinCore(const char *filePath, std::vector<std::pair<std::string, std::string>> &properties,
                       std::string &error)
{
    properties.clear();
    std::lock_guard<std::mutex> lock(ExivMutex());
    InitializeOnce();
    try {
        auto image = Exiv2::ImageFactory::open(filePath ? filePath : "");
        image->readMetadata();
        for (const Exiv2::Xmpdatum &datum : image->xmpData())
            if (datum.groupName() == "dc")
                properties.emplace_back(datum.tagName(), datum.toString());
    } catch (const std::exception &e) {
        error = e.what();
        return false;
    }
    return true;
}
