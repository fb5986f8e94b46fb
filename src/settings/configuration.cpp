// The camera configuration file: the "BCAM" section with model and video mode, then one
// section per feature that the camera has.
#include "bcam/cbcam.h"
#include "errors/error_codes.h"
#include "errors/exception.h"
#include "platform/last_error.h"
#include "platform/profile.h"
#include "platform/win32_errors.h"
#include "settings/ini_file_property_bag.h"

namespace Bcam {

namespace {

constexpr std::uint32_t kFormatSeven = 7;
constexpr std::uint32_t kNoFrameRate = 0xFFFFFFFFu;

// The scalar features in the order of their sections.
struct ScalarSection {
    const char* name;
    CScalarProperty CBcam::*member;
};
constexpr ScalarSection kScalarSections[] = {
    {"Brightness", &CBcam::Brightness}, {"Shutter", &CBcam::Shutter},
    {"Gain", &CBcam::Gain},             {"Gamma", &CBcam::Gamma},
    {"Hue", &CBcam::Hue},               {"Saturation", &CBcam::Saturation},
};

}  // namespace

// The file is replaced only by a complete new one: the settings are written to a file beside
// it, which then takes its place in one step. A save that fails half-way leaves the old file.
void CBcam::SaveConfiguration(const std::string& fileName) {
    namespace platform = fennex::platform;
    static constexpr const char* kContext = "CBcam::SaveConfiguration()";
    std::string target = fileName;
    char found[260] = {};
    const std::uint32_t length = platform::FileSearch(fileName.c_str(), found, sizeof found);
    if (length > 0 && length < sizeof found) target.assign(found, length);
    const std::string temporary = target + ".new";
    try {
        SaveConfiguration(CIniFilePropertyBag::Create(temporary, "BCAM"));
    } catch (...) {
        platform::FileDelete(temporary.c_str());
        throw;
    }
    if (!platform::FileReplace(temporary.c_str(), target.c_str())) {
        const std::uint32_t error = platform::LastError();
        platform::FileDelete(temporary.c_str());
        throw BcamException(error != 0 ? error : platform::err::kGenFailure, kContext);
    }
}

void CBcam::SaveConfiguration(CPropertyBagPtr bag) {
    bag->WriteString("Model", Info.ModelName());
    std::uint32_t format = 0, mode = 0, rate = 0;
    GetVideoMode(&format, &mode, &rate);
    bag->WriteLong("VideoFormat", static_cast<std::int32_t>(format));
    bag->WriteLong("VideoMode", static_cast<std::int32_t>(mode));
    if (format == kFormatSeven)
        FormatSeven[mode].Save(bag->CreateBag("FormatSeven"));
    else
        bag->WriteLong("VideoFrameRate", static_cast<std::int32_t>(rate));
    if (Trigger.IsSupported(inqPresence)) Trigger.Save(bag->CreateBag("Trigger"));
    if (TestImage.IsSupported(0)) TestImage.Save(bag->CreateBag("TestImage"));
    for (const ScalarSection& section : kScalarSections) {
        CScalarProperty& feature = this->*section.member;
        if (feature.IsSupported(inqPresence)) feature.Save(bag->CreateBag(section.name));
    }
    if (WhiteBalance.IsSupported(inqPresence)) WhiteBalance.Save(bag->CreateBag("WhiteBalance"));
}

void CBcam::RestoreConfiguration(const std::string& fileName) {
    RestoreConfiguration(CIniFilePropertyBag::Open(fileName, "BCAM"));
}

void CBcam::RestoreConfiguration(CPropertyBagPtr bag) {
    // A file of another model is refused before anything reaches the camera.
    if (bag->ReadString("Model") != Info.ModelName())
        throw BcamException(codes::kWrongModel, "CBcam::RestoreConfiguration()");
    const auto format = static_cast<std::uint32_t>(bag->ReadLong("VideoFormat"));
    const auto mode = static_cast<std::uint32_t>(bag->ReadLong("VideoMode"));
    const std::uint32_t rate = format == kFormatSeven
                                   ? kNoFrameRate
                                   : static_cast<std::uint32_t>(bag->ReadLong("VideoFrameRate"));
    SetVideoMode(format, mode, rate);
    if (format == kFormatSeven) FormatSeven[mode].Restore(bag->GetBag("FormatSeven"));
    if (Trigger.IsSupported(inqPresence)) Trigger.Restore(bag->GetBag("Trigger"));
    if (TestImage.IsSupported(0)) TestImage.Restore(bag->GetBag("TestImage"));
    for (const ScalarSection& section : kScalarSections) {
        CScalarProperty& feature = this->*section.member;
        if (feature.IsSupported(inqPresence)) feature.Restore(bag->GetBag(section.name));
    }
    if (WhiteBalance.IsSupported(inqPresence))
        WhiteBalance.Restore(bag->GetBag("WhiteBalance"));
}

}  // namespace Bcam
