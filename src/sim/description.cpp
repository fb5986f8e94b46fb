// Reading camera description files: INI sections, one per camera, plus an optional [Driver].
#include "sim/description.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "bcam/driver_contract.h"
#include "errors/exception.h"
#include "platform/win32_errors.h"

namespace sim::detail {

namespace err = fennex::platform::err;

namespace {

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

struct Entry {
    std::string key, value;
};
struct Section {
    std::string name;
    std::vector<Entry> entries;
};

// Raises the error of one entry: file, section and key, and what is wrong with it.
class Reader {
public:
    Reader(std::string file, std::string section) : file_(std::move(file)), section_(std::move(section)) {}

    [[noreturn]] void Bad(const std::string& key, const std::string& why) const {
        throw Bcam::BcamException(err::kInvalidParameter,
                                  file_ + " [" + section_ + "] " + key + ": " + why);
    }

    std::uint64_t Number(const std::string& key, const std::string& text, std::uint64_t max) const {
        const std::string t = Trim(text);
        if (t.empty()) Bad(key, "a number is missing");
        char* end = nullptr;
        const bool hex = t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X');
        const unsigned long long v = std::strtoull(t.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
        if (*end != '\0' || t[0] == '-' || v > max) Bad(key, "\"" + t + "\" is not a number up to " + std::to_string(max));
        return v;
    }

    std::vector<std::uint32_t> List(const std::string& key, const std::string& text, char sep,
                                    std::size_t count, std::uint32_t max) const {
        std::vector<std::uint32_t> values;
        std::stringstream in(text);
        std::string part;
        while (std::getline(in, part, sep)) {
            if (Trim(part).empty() && count == 0) continue;
            values.push_back(static_cast<std::uint32_t>(Number(key, part, max)));
        }
        if (count && values.size() != count)
            Bad(key, "expected " + std::to_string(count) + " values separated by '" + sep + "'");
        return values;
    }

private:
    std::string file_, section_;
};

constexpr const char* kFeatureNames[13] = {"brightness", "autoexposure", "sharpness", "whitebalance",
                                           "hue", "saturation", "gamma", "shutter", "gain",
                                           "iris", "focus", "temperature", "trigger"};

// Bits per pixel of the colour codings; YUV 4:1:1 needs widths in fours.
constexpr std::uint32_t kMaxCoding = 6;

void ReadCamera(const std::string& file, const Section& s, CameraDesc* c) {
    const Reader r(file, s.name);
    bool hasVideoMode = false;
    std::vector<std::uint32_t> videoMode;
    std::array<bool, 8> f7Image{}, f7Coding{}, f7Packet{};
    for (const Entry& e : s.entries) {
        const std::string key = Lower(e.key);
        if (key == "name") {
            c->name = Trim(e.value);
            if (c->name.find('#') == std::string::npos || c->name.find('#', c->name.find('#') + 1) != std::string::npos)
                r.Bad(e.key, "a device name holds exactly one '#', as in MAKER&MODEL#SERIAL");
        } else if (key == "vendor") {
            c->vendor = Trim(e.value);
        } else if (key == "model") {
            c->model = Trim(e.value);
        } else if (key == "firmware") {
            c->firmware = Trim(e.value);
        } else if (key == "nodeid") {
            c->nodeId = r.Number(e.key, e.value, ~std::uint64_t{0});
        } else if (key == "videomode") {
            videoMode = r.List(e.key, e.value, ',', 3, 7);
            hasVideoMode = true;
        } else if (key == "testimages") {
            c->hasTestImages = true;
            for (std::uint32_t n : r.List(e.key, e.value, ',', 0, 7)) {
                if (n == 0) r.Bad(e.key, "test images are numbered 1 to 7");
                c->testImages |= 1u << n;
            }
        } else if (key.rfind("mode.", 0) == 0) {
            const std::vector<std::uint32_t> fm = r.List(e.key, key.substr(5), '.', 2, 7);
            if (fm[0] > 2) r.Bad(e.key, "fixed formats are 0, 1 and 2 (format 7 has Format7.<mode>)");
            if (fm[0] == 0 && fm[1] > 6) r.Bad(e.key, "format 0 has modes 0 to 6");
            const std::vector<std::uint32_t> rates = r.List(e.key, e.value, ',', 0, 5);
            if (rates.empty()) r.Bad(e.key, "list the frame-rate indices 0 to 5 of the mode");
            c->modes[fm[0]] |= 1u << (31 - fm[1]);
            for (std::uint32_t rate : rates) c->rates[fm[0]][fm[1]] |= 1u << (31 - rate);
        } else if (key.rfind("format7.", 0) == 0) {
            const std::string rest = key.substr(8);
            const std::size_t dot = rest.find('.');
            const auto m = static_cast<std::uint32_t>(r.Number(e.key, rest.substr(0, dot), 7));
            Format7Mode& f7 = c->format7[m];
            const std::string what = dot == std::string::npos ? "" : rest.substr(dot + 1);
            if (what.empty()) {
                const std::vector<std::uint32_t> size = r.List(e.key, Lower(e.value), 'x', 2, 0xFFFF);
                if (size[0] == 0 || size[1] == 0) r.Bad(e.key, "the maximum size must not be empty");
                f7.present = true;
                f7.maxWidth = size[0];
                f7.maxHeight = size[1];
            } else if (what == "unit") {
                const std::vector<std::uint32_t> unit = r.List(e.key, Lower(e.value), 'x', 2, 0xFFFF);
                if (unit[0] == 0 || unit[1] == 0) r.Bad(e.key, "units must not be 0");
                f7.unitWidth = unit[0];
                f7.unitHeight = unit[1];
            } else if (what == "codings") {
                f7.codings = 0;
                for (std::uint32_t id : r.List(e.key, e.value, ',', 0, kMaxCoding)) f7.codings |= 1u << (31 - id);
                if (f7.codings == 0) r.Bad(e.key, "list the colour codings 0 to 6 of the mode");
            } else if (what == "coding") {
                f7.coding = static_cast<std::uint32_t>(r.Number(e.key, e.value, kMaxCoding));
                f7Coding[m] = true;
            } else if (what == "packet") {
                const std::vector<std::uint32_t> p = r.List(e.key, e.value, ',', 2, 4096);
                if (p[0] == 0 || p[1] < p[0]) r.Bad(e.key, "give the unit and the largest bytes per packet");
                f7.unitBytes = p[0];
                f7.maxBytes = p[1];
            } else if (what == "byteperpacket") {
                f7.bytesPerPacket = static_cast<std::uint32_t>(r.Number(e.key, e.value, 4096));
                f7Packet[m] = true;
            } else if (what == "image") {
                const std::vector<std::uint32_t> i = r.List(e.key, e.value, ',', 4, 0xFFFF);
                f7.left = i[0];
                f7.top = i[1];
                f7.width = i[2];
                f7.height = i[3];
                f7Image[m] = true;
            } else {
                r.Bad(e.key, "unknown Format 7 key");
            }
        } else {
            bool found = false;
            for (std::uint32_t i = 0; i < 13; ++i) {
                if (key != kFeatureNames[i]) continue;
                const std::vector<std::uint32_t> q = r.List(e.key, e.value, ',', 0, 0xFFFFFFFFu);
                if (q.empty() || q.size() > 2) r.Bad(e.key, "give the inquiry quadlet and optionally the control quadlet");
                c->features[i].inquiry = q[0];
                c->features[i].control = q.size() > 1 ? q[1] : 0;
                found = true;
            }
            if (!found) r.Bad(e.key, "unknown key");
        }
    }
    if (c->name.empty()) r.Bad("Name", "every camera needs a device name");

    for (std::uint32_t m = 0; m < 8; ++m) {
        Format7Mode& f7 = c->format7[m];
        const std::string key = "Format7." + std::to_string(m);
        if (!f7.present) {
            if (f7Image[m] || f7Coding[m] || f7Packet[m] || f7.codings)
                r.Bad(key, "the mode's maximum size (" + key + "=<width>x<height>) is missing");
            continue;
        }
        if (f7.codings == 0) r.Bad(key + ".Codings", "the mode needs its colour codings");
        if (!f7Image[m]) {
            f7.width = f7.maxWidth / f7.unitWidth * f7.unitWidth;
            f7.height = f7.maxHeight / f7.unitHeight * f7.unitHeight;
        }
        if (f7.left + f7.width > f7.maxWidth || f7.top + f7.height > f7.maxHeight || f7.width == 0 ||
            f7.height == 0)
            r.Bad(key + ".Image", "the image lies outside the maximum size");
        if (!f7Coding[m]) {
            for (std::uint32_t id = 0; id <= kMaxCoding; ++id)
                if (f7.codings & (1u << (31 - id))) {
                    f7.coding = id;
                    break;
                }
        } else if ((f7.codings & (1u << (31 - f7.coding))) == 0) {
            r.Bad(key + ".Coding", "not one of the mode's codings");
        }
        if (!f7Packet[m]) f7.bytesPerPacket = f7.maxBytes / f7.unitBytes * f7.unitBytes;
        if (f7.bytesPerPacket == 0 || f7.bytesPerPacket % f7.unitBytes || f7.bytesPerPacket > f7.maxBytes)
            r.Bad(key + ".BytePerPacket", "not a multiple of the packet unit within its limit");
    }

    if (hasVideoMode) {
        const std::uint32_t f = videoMode[0], m = videoMode[1], rate = videoMode[2];
        const bool ok = f == 7 ? c->format7[m].present
                               : f <= 2 && (c->modes[f] & (1u << (31 - m))) &&
                                     (c->rates[f][m] & (1u << (31 - rate)));
        if (!ok) r.Bad("VideoMode", "the camera has no such format, mode and frame rate");
        c->format = f;
        c->mode = m;
        c->rate = rate;
    } else {
        bool set = false;  // the first mode the camera has, at its first rate
        for (std::uint32_t f = 0; f < 3 && !set; ++f)
            for (std::uint32_t m = 0; m < 8 && !set; ++m)
                for (std::uint32_t rate = 0; rate < 6 && !set; ++rate)
                    if ((c->modes[f] & (1u << (31 - m))) && (c->rates[f][m] & (1u << (31 - rate)))) {
                        c->format = f, c->mode = m, c->rate = rate, set = true;
                    }
        for (std::uint32_t m = 0; m < 8 && !set; ++m)
            if (c->format7[m].present) c->format = 7, c->mode = m, c->rate = 0, set = true;
        if (!set) r.Bad("Mode", "the camera needs at least one video mode");
    }
}

void ReadDriver(const std::string& file, const Section& s, DriverRelease* d) {
    const Reader r(file, s.name);
    for (const Entry& e : s.entries) {
        const std::string key = Lower(e.key);
        const std::string value = Lower(Trim(e.value));
        if (key == "imagepath") {
            d->imagePath = Trim(e.value);
        } else if (key == "fileversion") {
            const std::vector<std::uint32_t> v = r.List(e.key, e.value, '.', 4, 0xFFFF);
            d->versionMS = v[0] << 16 | v[1];
            d->versionLS = v[2] << 16 | v[3];
        } else if (key == "service" || key == "versioninfo") {
            if (value != "present" && value != "absent") r.Bad(e.key, "\"present\" or \"absent\"");
            (key == "service" ? d->serviceKey : d->versionInfo) = value == "present";
        } else if (key == "imagepatherror") {
            d->imagePathError = static_cast<std::uint32_t>(r.Number(e.key, e.value, 0xFFFFFFFFu));
        } else {
            r.Bad(e.key, "unknown key");
        }
    }
}

}  // namespace

Description ReadDescription(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        throw Bcam::BcamException(err::kFileNotFound,
                                  fileName + ": the camera description cannot be read");
    std::vector<Section> sections;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const std::string t = Trim(line);
        if (t.empty() || t[0] == ';') continue;
        if (t.front() == '[') {
            if (t.back() != ']' || t.size() < 3)
                throw Bcam::BcamException(err::kInvalidParameter,
                                          fileName + " line " + std::to_string(number) +
                                              ": a section header is written [Name]");
            sections.push_back({Trim(t.substr(1, t.size() - 2)), {}});
            continue;
        }
        const std::size_t eq = t.find('=');
        if (sections.empty() || eq == std::string::npos || Trim(t.substr(0, eq)).empty())
            throw Bcam::BcamException(err::kInvalidParameter,
                                      fileName + " line " + std::to_string(number) +
                                          ": expected Key=Value inside a [Section]");
        sections.back().entries.push_back({Trim(t.substr(0, eq)), t.substr(eq + 1)});
    }

    Description d;
    for (const Section& s : sections) {
        if (Lower(s.name) == "driver") {
            ReadDriver(fileName, s, &d.release);
            continue;
        }
        CameraDesc c;
        ReadCamera(fileName, s, &c);
        for (const CameraDesc& other : d.cameras)
            if (Lower(other.name) == Lower(c.name))
                Reader(fileName, s.name).Bad("Name", "\"" + c.name + "\" is already the name of another camera");
        d.cameras.push_back(std::move(c));
    }
    return d;
}

}  // namespace sim::detail
