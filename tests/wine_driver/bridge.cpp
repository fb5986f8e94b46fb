// The simulated cameras behind the test driver: each open handle is a simulator handle with its
// own completion port, served by one thread that completes the driver's requests.
#include "bridge.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "platform/completion_port.h"
#include "platform/last_error.h"
#include "platform/types.h"
#include "sim/sim.h"

namespace wine_driver {

namespace pf = fennex::platform;

namespace {

constexpr std::uintptr_t kRequestKey = 1;
constexpr std::uintptr_t kStopKey = 2;

struct Record {
    pf::Overlapped ov{};  // first: the port hands back this address
    void* request = nullptr;
    std::array<unsigned char, 256> in{};
};

}  // namespace

struct Session {
    pf::Handle device = nullptr;
    pf::Handle port = nullptr;
    std::thread worker;

    void Serve() {
        for (;;) {
            std::uint32_t bytes = 0;
            std::uintptr_t key = 0;
            pf::Overlapped* ov = nullptr;
            const bool ok = pf::DequeueCompletion(port, &bytes, &key, &ov, pf::kInfinite);
            if (key == kStopKey) return;
            if (!ov) continue;
            std::unique_ptr<Record> record(reinterpret_cast<Record*>(ov));
            CompleteRequest(record->request, ok ? 0 : pf::LastError(), bytes);
        }
    }
};

std::uint32_t CameraNames(char* buffer, std::uint32_t size) {
    std::string list;
    for (const std::string& name : sim::CameraNames()) list += name + '\0';
    list += '\0';
    std::memcpy(buffer, list.data(), std::min<std::size_t>(size, list.size()));
    return static_cast<std::uint32_t>(list.size());
}

Session* Open(const char* cameraName, std::uint32_t* error) {
    auto session = std::make_unique<Session>();
    session->device = sim::Driver().OpenDevice(sim::InterfacePath(cameraName));
    if (!pf::IsValidHandle(session->device)) {
        *error = pf::LastError();
        return nullptr;
    }
    session->port = sim::Driver().CreateCompletionPort(session->device, kRequestKey);
    if (!session->port) {
        *error = pf::LastError();
        sim::Driver().CloseDevice(session->device);
        return nullptr;
    }
    session->worker = std::thread([s = session.get()] { s->Serve(); });
    *error = 0;
    return session.release();
}

void Close(Session* session) {
    std::unique_ptr<Session> owned(session);
    // Hung synchronous requests too: the handle must not go with requests outstanding.
    sim::Driver().CancelIo(session->device);
    sim::Driver().CloseDevice(session->device);
    // The cancelled requests were queued before the stop, so the thread completes them first.
    pf::PostCompletion(session->port, 0, kStopKey, nullptr);
    session->worker.join();
    pf::ClosePort(session->port);
}

void Submit(Session* session, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
            std::uint32_t outSize, void* request) {
    auto record = std::make_unique<Record>();
    record->request = request;
    if (inSize > record->in.size()) {
        CompleteRequest(request, 87, 0);
        return;
    }
    // The output may share the input's buffer: the camera reads its own copy.
    if (inSize) std::memcpy(record->in.data(), in, inSize);
    if (sim::Driver().IoControl(session->device, code, inSize ? record->in.data() : nullptr, inSize,
                                out, outSize, &record->ov) ||
        pf::LastError() == 997) {
        record.release();  // the port hands it back
        return;
    }
    CompleteRequest(request, pf::LastError(), 0);
}

void CancelAll(Session* session) { sim::Driver().CancelIo(session->device); }

std::uint32_t BusRequest(std::uint32_t code, const void* in, std::uint32_t inSize) {
    const char* text = static_cast<const char*>(in);
    std::uint32_t flag = 0;
    if (code == kHoldGrabs) {
        if (inSize < 5) return 87;
        std::memcpy(&flag, in, 4);
        text += 4;
        inSize -= 4;
    }
    if (code != kResetCameras && (!inSize || text[inSize - 1] != '\0')) return 87;
    try {
        switch (code) {
        case kResetCameras:
            sim::Reset();
            sim::SetPace(sim::Pace::Fast);
            return 0;
        case kUnplugCamera:
            return sim::Unplug(text, sim::Removal::Surprise) ? 0 : 2;
        case kHoldGrabs:
            sim::HoldGrabs(text, flag != 0);
            return 0;
        case kPlugCamera:
            for (const sim::CameraDesc& camera : sim::DefaultCameras())
                if (camera.name == text) {
                    sim::Plug(camera);
                    return 0;
                }
            return 2;
        }
    } catch (...) {
        return 31;
    }
    return 1;
}

}  // namespace wine_driver
