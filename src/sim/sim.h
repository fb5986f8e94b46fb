// The simulated camera driver: virtual IIDC cameras on a virtual bus, in-process, behind the
// same DriverBackend interface as the kernel driver. This header is its test interface.
//
// Everything here is process-wide and thread-safe. Tests start with sim::Reset(), which puts
// back the built-in two cameras (see DefaultCameras()) and clears faults, log and held grabs,
// then drive the cameras through Bcam::Backend() (or sim::Driver()) exactly as CBcam does and
// assert on what the cameras received (Requests()) and on their registers (Camera()).
//
// What a simulated camera answers (the sim's own choices where the driver is silent):
//   - wrong input size: 87 (ERROR_INVALID_PARAMETER); output too small: 122
//     (ERROR_INSUFFICIENT_BUFFER); larger output buffers are accepted;
//   - a request on a closed or unknown handle: 6; on a camera that has been unplugged: 1167;
//   - a feature, mode, test image or Format 7 mode the camera lacks: kNotSupported; a camera
//     without test images answers the test-image requests with kNoTestImage;
//   - a value the camera cannot take (unsupported video mode, Format 7 region outside the
//     sensor, packet size off its unit): 87, and the registers stay as they were;
//   - a grab without allocated isochronous resources: kNoResources (21, ERROR_NOT_READY) at
//     once; a grab buffer smaller than the frame: 122 at once. Requests refused at once never
//     reach the completion port;
//   - overlapped requests that are done at once still post their completion to the port;
//     synchronous requests (bit 0 of hEvent set) signal their event and never reach the port;
//   - the cancel request ends the handle's pending grabs with 995; CancelIo ends every pending
//     request of the handle (grabs and hung synchronous requests) with 995; closing a handle
//     ends its pending grabs with 995 before it returns.
// The request records and quadlet layouts are those of bcam/driver_contract.h.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bcam/driver_backend.h"
#include "platform/win32_errors.h"

namespace sim {

using fennex::platform::Handle;

// Driver status codes as they arrive from the driver (customer bit set).
inline constexpr std::uint32_t kNotSupported = 0xEFE00019;
inline constexpr std::uint32_t kNoTestImage = 0xEFE00018;
// A grab without isochronous resources: ERROR_NOT_READY.
inline constexpr std::uint32_t kNoResources = fennex::platform::err::kNotReady;

// ---------------------------------------------------------------------------------------------
// Camera description. A camera's registers are its only state: a description is both what the
// camera can do and what it is set to now.

// One IIDC feature: its inquiry quadlet (capabilities, 12-bit min and max) and its
// status/control quadlet, as the feature inquiry and get requests return them.
struct Feature {
    std::uint32_t inquiry = 0;  // 0: the camera lacks the feature
    std::uint32_t control = 0;
};

struct Format7Mode {
    bool present = false;
    std::uint32_t maxWidth = 0, maxHeight = 0;
    std::uint32_t unitWidth = 1, unitHeight = 1;  // position and size are multiples of these
    std::uint32_t codings = 0;                    // supported colour codings, bit 31 - id
    std::uint32_t unitBytes = 4, maxBytes = 4096;  // bytes per packet: multiple of unitBytes
    // Current settings.
    std::uint32_t left = 0, top = 0, width = 0, height = 0;
    std::uint32_t coding = 0;
    std::uint32_t bytesPerPacket = 0;
};

struct CameraDesc {
    std::string name;  // device name: the text between the first and third '#' of its path
    std::string vendor, model, firmware;
    std::uint64_t nodeId = 0;  // EUI-64: upper 24 bits node vendor, lower 40 bits chip
    // Mode inquiry per format (bit 31 - mode) and rate inquiry per format and mode
    // (bit 31 - rate). Format 7's modes come from format7[] and have no rates.
    std::array<std::uint32_t, 8> modes{};
    std::array<std::array<std::uint32_t, 8>, 8> rates{};
    std::array<Format7Mode, 8> format7{};
    // Feature registers indexed by 63 - feature code (0 brightness ... 12 trigger).
    std::array<Feature, 13> features{};
    bool hasTestImages = false;
    std::uint32_t testImages = 0;  // available test images: bit n for image n (1..7)
    std::uint32_t testImage = 0;   // selected image, 0 the live image
    std::uint32_t format = 0, mode = 0, rate = 0;  // current video mode
    bool continuous = false;                       // continuous shot (isochronous stream) on

    Feature& feature(std::uint32_t code) { return features.at(63 - code); }
    const Feature& feature(std::uint32_t code) const { return features.at(63 - code); }
    // Adds a fixed-format mode with its frame-rate indices.
    void AddMode(std::uint32_t format, std::uint32_t mode, std::initializer_list<std::uint32_t> rateIndices);
};

// The interface path the simulated driver reports for a device name.
std::string InterfacePath(const std::string& name);

// The driver service and file as the registry and the version resource would report them.
// One service serves all cameras, so the release is one per simulated system.
struct DriverRelease {
    bool serviceKey = true;             // false: the service key cannot be opened
    std::uint32_t imagePathError = 0;   // non-zero: reading "ImagePath" fails with this
    std::string imagePath = "System32\\DRIVERS\\bcam.sys";
    bool versionInfo = true;            // false: the file has no version information
    std::uint32_t versionMS = 0x00010006, versionLS = 0x00020000;  // 1.6.2.0
};

// The built-in set, in enumeration order:
//   0 "MONO&SIM640#0030530000A10001": 640 x 480 Mono8 (format 0 modes 5 and 6, rates 1..5),
//     brightness, shutter, gain, gamma, trigger mode 0 and 1 without polarity, test images 1-4;
//   1 "COLR&SIM1600#0030530000A20002": format 0 modes 1, 3, 4, format 1 modes 0, 1, 4, format 2
//     modes 0, 1, 3, 4 (1600 x 1200 RGB), format 7 modes 0 (1600 x 1200, Mono8 / YUV422 / RGB8)
//     and 1 (800 x 600, Mono8 / Mono16); brightness, white balance, hue, saturation, gamma,
//     shutter, gain, trigger modes 0..3 with polarity; test images 1..7.
// The two names differ in their first four characters.
std::vector<CameraDesc> DefaultCameras();

// ---------------------------------------------------------------------------------------------
// The simulated system.

// The simulated driver as a backend (what Bcam::Backend() returns when FENNEX_DRIVER=sim).
Bcam::DriverBackend& Driver();

// Back to the built-in cameras: every handle is closed (pending grabs end with 995), faults,
// held grabs, the request log and the driver release are reset, pacing follows
// FENNEX_SIM_PACE again. Registered windows stay registered.
void Reset();
// Replaces the cameras by the description file (see src/sim/README.md) or by these
// descriptions, as Reset() does otherwise. A bad file raises BcamException naming file,
// section and key; the cameras are then left as they were.
void LoadDescription(const std::string& fileName);
void SetCameras(const std::vector<CameraDesc>& cameras);

std::vector<std::string> CameraNames();  // present cameras, in enumeration order
// A copy of the camera's registers; raises BcamException (2) for an unknown name.
CameraDesc Camera(const std::string& name);
// Changes a camera's registers in place (the camera is locked meanwhile; do not call back into
// the simulator from `edit`).
void EditCamera(const std::string& name, const std::function<void(CameraDesc&)>& edit);
// Puts a camera into a video mode at the slowest frame rate the mode offers, so that its
// packets fit the bus whatever else streams.
void SetVideoMode(const std::string& name, std::uint32_t format, std::uint32_t mode);

DriverRelease Release();
void SetRelease(const DriverRelease& release);
// The last path whose file version was asked for (empty when none).
std::string LastVersionQueryPath();

// ---------------------------------------------------------------------------------------------
// Hot-plug. Broadcasts go out with platform::SendMessageTo(window, WM_DEVICECHANGE, event,
// &record) to every registration that stands at the time of delivery: DevBroadcastHandle
// records (dbch_handle, dbch_hdevnotify) to the registrations made for the camera's handles
// (a registration keeps hearing of its camera after its handle has been closed, until it is
// cancelled), and DevBroadcastDeviceInterface records (dbcc_name = the interface path) to the
// registrations for the camera interface class. No simulator lock is held while a window
// procedure runs, so a procedure may close or open devices.

// Adds a camera at the end of the enumeration order and announces its arrival
// (DBT_DEVICEARRIVAL to the interface registrations). A duplicate name raises (183).
void Plug(const CameraDesc& camera);

enum class Removal {
    Normal,     // DBT_DEVICEQUERYREMOVE; then, when every handle has been closed,
                // DBT_DEVICEREMOVECOMPLETE and the camera is gone; a handle left open vetoes:
                // DBT_DEVICEQUERYREMOVEFAILED and the camera stays
    Refused,    // DBT_DEVICEQUERYREMOVE, then DBT_DEVICEQUERYREMOVEFAILED: the camera stays
    Surprise,   // the camera is gone at once (pending grabs end with 1167), then
                // DBT_DEVICEREMOVECOMPLETE
};
// True when the camera has been removed. Requests on a removed camera's handles fail (1167).
bool Unplug(const std::string& name, Removal removal = Removal::Normal);

// ---------------------------------------------------------------------------------------------
// Frames. A frame is produced for the oldest pending grab of a handle when the camera is asked
// for it: a one-shot request, or continuous shot on (with the trigger on, each frame also waits
// for a FireTrigger()). Frames are paced by the current frame rate (Format 7: by packets of
// 125 us) unless the pace is Fast. A one-shot with no grab queued is lost, as on the bus.

enum class Pace { RealTime, Fast };
void SetPace(Pace pace);  // default: Fast when FENNEX_SIM_PACE=fast, else RealTime
void FireTrigger(const std::string& name);
// Grabs on this camera stay pending until cancelled (or the handle is closed).
void HoldGrabs(const std::string& name, bool hold);
// Frames produced by the camera so far.
std::uint32_t FrameCount(const std::string& name);

// What a frame is made of. The frame numbered `frame` (0 for the first) of a camera whose test
// image, brightness, gain and white balance are as given.
struct FrameParams {
    std::uint32_t frame = 0;
    std::uint32_t testImage = 0;
    int brightness = 128;  // 0..256: the feature's value within its range; 128 without it
    int gain = 0;          // 0..256; 0 without it
    int whiteBalance = 0;  // (V/R - U/B) within the range, -256..256; 0 without it
    bool operator==(const FrameParams&) const = default;
};
// The parameters of the camera's most recent frame.
FrameParams LastFrameParams(const std::string& name);
// The parameters its next frame would have with the registers as they are now.
FrameParams NextFrameParams(const std::string& name);

// The luminance of pixel (x, y):
//   live image: base = (x + y + frame) mod 256, then
//               clamp(base * (256 + gain) / 256 + (brightness - 128) / 2, 0, 255)
//   test image 1: (x + y) mod 256        2: (x + y + frame) mod 256
//              3: x mod 256              4: y mod 256
//              5: 255 on 16 x 16 squares whose (x/16 + y/16) is even, else 0
//              6: 128                    7: (x xor y) mod 256
std::uint8_t ExpectedLuma(const FrameParams& params, std::uint32_t x, std::uint32_t y);
// The colour of pixel (x, y): R = Y + d, G = Y, B = Y - d with Y = ExpectedLuma and
// d = ((x / 8) mod 64) - 32 + whiteBalance / 8, cut to +-min(Y, 255 - Y) so that
// (R + G + B) / 3 == Y. YUV: U = 128 - d / 2, V = 128 + d / 2 (integer division).
// Chroma in YUV 4:2:2 comes from the even pixel of each pair, in 4:1:1 from the first of four.
struct Colour { std::uint8_t y, u, v, r, g, b; };
Colour ExpectedColour(const FrameParams& params, std::uint32_t x, std::uint32_t y);
// Byte orders on the wire: Mono8 Y; Mono16 Y*257 big-endian; YUV411 U Y0 Y1 V Y2 Y3;
// YUV422 U Y0 V Y1; YUV444 U Y V; RGB8 R G B; RGB16 each of R G B times 257, big-endian.

// ---------------------------------------------------------------------------------------------
// The request log: every IoControl (also refused ones), and CancelIo as code kCancelIo. It is
// kept from Reset(), LoadDescription() or SetCameras() on; a simulator that started on its own
// (in a host or the demo) keeps none, so that a long run does not grow it.

inline constexpr std::uint32_t kCancelIo = 0;

struct Request {
    std::string camera;   // device name, empty for an unknown handle
    Handle device;
    std::uint32_t code;
    std::vector<std::uint32_t> in;  // the input record as little-endian words
    std::uint32_t inSize;
    std::uint32_t outSize;
    bool overlapped;      // sent without an event (its completion goes to the port)
};
std::vector<Request> Requests();
// The requests with this control code, optionally to one camera only.
std::vector<Request> Requests(std::uint32_t code, const std::string& camera = {});
void ClearRequests();
// Switches the log on or off, for example to measure the library's own allocations alone.
void RecordRequests(bool on);

// ---------------------------------------------------------------------------------------------
// Fault injection. Control codes name device requests; the operations below name the others.

enum Op : std::uint32_t {
    kOpOpenInterfaceSet = 1,   // OpenInterfaceSet fails
    kOpEnumInterface = 2,      // EnumInterface(index) fails
    kOpInterfaceDetailSize = 3,  // the size query of InterfaceDetail(index) fails with `error`
                                 // instead of 122
    kOpInterfaceDetail = 4,    // InterfaceDetail(index) with a buffer fails
    kOpOpenDevice = 5,
    kOpCreateCompletionPort = 6,
    kOpRegisterNotification = 7,
    kOpCloseDevice = 8,        // with Late(): the handle closes, but its pending requests end
                               // only when EndClosedRequests() is called, as with a driver that
                               // ends them after the close has returned
};

struct Fault {
    Fault(std::uint32_t code, std::uint32_t error = 31) : code(code), error(error) {}
    Fault& On(const std::string& cameraName) { camera = cameraName; return *this; }
    Fault& At(std::int32_t interfaceIndex) { index = interfaceIndex; return *this; }
    Fault& Late() { atCompletion = true; return *this; }
    Fault& Hang() { hang = true; return *this; }
    Fault& Times(int n) { count = n; return *this; }
    // Device requests: only those whose first input word is `word` (a feature code, a string
    // selector), e.g. the firmware string alone.
    Fault& Selecting(std::uint32_t word) { firstWord = word; return *this; }

    std::uint32_t code;           // a control code or an Op
    std::uint32_t error;
    std::string camera;           // empty: any camera
    std::int32_t index = -1;      // enumeration steps: only at this interface index (-1: any)
    bool atCompletion = false;    // device requests: accepted, then completed with `error`
    bool hang = false;            // device requests: never complete (until CancelIo or close)
    int count = 1;                // how many matching calls it hits
    std::int64_t firstWord = -1;  // device requests: only with this first input word (-1: any)
};
// E.g. InjectFault(Fault(kFeatureGet, 1784).On(name).Late()).
void InjectFault(const Fault& fault);
void ClearFaults();
// Ends (with 995) the pending requests that handles closed under Fault(kOpCloseDevice).Late()
// left behind.
void EndClosedRequests();

}  // namespace sim
