// Test driver for Wine: the "bcam" service. A root-enumerated bus whose children are the
// default simulated cameras, each a raw Plug and Play device of the camera interface class whose
// interface is on while the camera is plugged in; every control code of a camera goes to the
// simulator, and the request completes when it answers. The bus device has a name, by which
// tests plug and unplug cameras.
//
// Wine loads this file as a DLL (it imports user-mode libraries, which Windows would refuse in
// a kernel driver): the entry point is called once as DllMain and once as DriverEntry.
#include <ntddk.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bcam/driver_contract.h"
#include "bus.h"
#include "platform/completion_port.h"
#include "platform/last_error.h"
#include "sim/sim.h"

namespace {

namespace pf = fennex::platform;
using namespace wine_driver;

constexpr std::uintptr_t kStopKey = 2;  // the requests' completions come with key 1
const GUID& kInterface = *reinterpret_cast<const GUID*>(&Bcam::driver::kInterfaceClass);

enum class Kind { Bus, Camera };

struct Extension {
    Kind kind;
    PDEVICE_OBJECT lower;  // bus: the root device below it
    char name[128];        // camera: its device name
    UNICODE_STRING link;   // camera: its interface
};

PDEVICE_OBJECT g_BusPdo = nullptr;  // the root device under the bus, once there is a bus
std::vector<PDEVICE_OBJECT> g_Cameras;  // one for each default camera

Extension* Ext(PDEVICE_OBJECT device) { return static_cast<Extension*>(device->DeviceExtension); }

NTSTATUS Finish(PIRP irp, NTSTATUS status, ULONG_PTR information = 0) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// Driver status codes carry the customer bit and pass unchanged; Win32 errors travel in the
// NT-Win32 facility, which comes back out as the same number.
NTSTATUS StatusOf(std::uint32_t error) {
    if (error == 0 || (error & 0x20000000)) return static_cast<NTSTATUS>(error);
    return static_cast<NTSTATUS>(0xC0070000u | (error & 0xFFFF));
}

void Complete(PIRP irp, std::uint32_t error, std::uint32_t bytes) {
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    IoSetCancelRoutine(irp, nullptr);
    IoReleaseCancelSpinLock(irql);
    Finish(irp, StatusOf(error), error ? 0 : bytes);
}

// --- open camera handles

struct Record {
    pf::Overlapped ov{};  // first: the port hands back this address
    PIRP irp;
    std::vector<std::uint8_t> in;
};

// A simulator handle with its completion port, whose thread completes the requests.
struct Session {
    explicit Session(const char* camera)
        : device(sim::Driver().OpenDevice(sim::InterfacePath(camera))),
          port(pf::IsValidHandle(device) ? sim::Driver().CreateCompletionPort(device, 1) : nullptr),
          error(pf::LastError()) {
        if (port) worker = std::thread([this] { Serve(); });
    }
    ~Session() {
        // Hung synchronous requests too: the handle must not go with requests outstanding.
        sim::Driver().CancelIo(device);
        sim::Driver().CloseDevice(device);
        if (!port) return;
        // The cancelled requests were queued before the stop, so the thread completes them first.
        pf::PostCompletion(port, 0, kStopKey, nullptr);
        worker.join();
        pf::ClosePort(port);
    }
    void Serve() {
        for (;;) {
            std::uint32_t bytes = 0;
            std::uintptr_t key = 0;
            pf::Overlapped* ov = nullptr;
            const bool ok = pf::DequeueCompletion(port, &bytes, &key, &ov, pf::kInfinite);
            if (key == kStopKey) return;
            std::unique_ptr<Record> record(reinterpret_cast<Record*>(ov));
            if (record) Complete(record->irp, ok ? 0 : pf::LastError(), bytes);
        }
    }
    void Submit(PIRP irp, ULONG code, const void* in, ULONG inSize, void* out, ULONG outSize) {
        auto record = std::make_unique<Record>();
        record->irp = irp;
        // The output may share the input's buffer: the camera reads its own copy.
        const auto* bytes = static_cast<const std::uint8_t*>(in);
        if (in) record->in.assign(bytes, bytes + inSize);
        if (sim::Driver().IoControl(device, code, in ? record->in.data() : nullptr, inSize, out,
                                    outSize, &record->ov) ||
            pf::LastError() == 997) {
            record.release();  // the port hands it back
            return;
        }
        Complete(irp, pf::LastError(), 0);
    }

    pf::Handle device, port;
    std::uint32_t error;
    std::thread worker;
};

Session* SessionOf(PIO_STACK_LOCATION stack) {
    return stack->FileObject ? static_cast<Session*>(stack->FileObject->FsContext) : nullptr;
}

// Runs with the cancel lock held, which the completion takes too: the request, its handle and
// its session stay alive until the camera has been told.
void CancelRequest(PDEVICE_OBJECT, PIRP irp) {
    if (Session* session = SessionOf(IoGetCurrentIrpStackLocation(irp)))
        sim::Driver().CancelIo(session->device);
    IoReleaseCancelSpinLock(irp->CancelIrql);
}

void SetPlugged(PDEVICE_OBJECT camera, bool plugged) {
    if (Ext(camera)->link.Buffer) IoSetDeviceInterfaceState(&Ext(camera)->link, plugged);
}

// A request of the control device: the Win32 error.
std::uint32_t BusRequest(ULONG code, const char* name, ULONG size) {
    if (code == kResetCameras) {
        sim::Reset();
        sim::SetPace(sim::Pace::Fast);
        for (PDEVICE_OBJECT camera : g_Cameras) SetPlugged(camera, true);
        return 0;
    }
    if (!name || !size || name[size - 1]) return 87;
    try {
        for (std::size_t i = 0; i < g_Cameras.size(); ++i) {
            const sim::CameraDesc camera = sim::DefaultCameras()[i];
            if (camera.name != name) continue;
            if (code == kUnplugCamera && !sim::Unplug(name, sim::Removal::Surprise)) return 2;
            if (code == kPlugCamera) sim::Plug(camera);
            SetPlugged(g_Cameras[i], code == kPlugCamera);
            return 0;
        }
    } catch (...) {
        return 31;
    }
    return 2;
}

// --- cameras

// A string, or a list of one, in pool memory as the Plug and Play manager frees it.
PWCHAR PoolText(const std::string& text) {
    auto* pool = static_cast<PWCHAR>(ExAllocatePool(PagedPool, (text.size() + 2) * sizeof(WCHAR)));
    if (!pool) return nullptr;
    for (size_t i = 0; i < text.size(); ++i) pool[i] = static_cast<WCHAR>(text[i]);
    pool[text.size()] = pool[text.size() + 1] = 0;
    return pool;
}

UNICODE_STRING Text(const wchar_t* text) {
    UNICODE_STRING string;
    RtlInitUnicodeString(&string, text);
    return string;
}

PDEVICE_OBJECT MakeCamera(PDRIVER_OBJECT driver, const std::string& name) {
    WCHAR text[64];
    swprintf(text, 64, L"\\Device\\FennexSimCamera%u", static_cast<unsigned>(g_Cameras.size()));
    UNICODE_STRING deviceName = Text(text);
    PDEVICE_OBJECT camera = nullptr;
    if (name.size() >= sizeof(Extension::name) ||
        !NT_SUCCESS(IoCreateDevice(driver, sizeof(Extension), &deviceName, FILE_DEVICE_UNKNOWN, 0,
                                   FALSE, &camera)))
        return nullptr;
    RtlZeroMemory(Ext(camera), sizeof(Extension));
    Ext(camera)->kind = Kind::Camera;
    strcpy(Ext(camera)->name, name.c_str());
    camera->Flags |= DO_DIRECT_IO;
    camera->Flags &= ~DO_DEVICE_INITIALIZING;
    return camera;
}

NTSTATUS CameraPnp(PDEVICE_OBJECT device, PIRP irp) {
    Extension* ext = Ext(device);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
        if (!ext->link.Buffer &&
            !NT_SUCCESS(IoRegisterDeviceInterface(device, &kInterface, nullptr, &ext->link)))
            return Finish(irp, STATUS_UNSUCCESSFUL);
        IoSetDeviceInterfaceState(&ext->link, TRUE);
        return Finish(irp, STATUS_SUCCESS);
    case IRP_MN_QUERY_ID: {
        // The interface path reads \\?\1394#<vendor&model>#<serial>#{class}, as the real bus
        // names its cameras: the device name holds one '#'.
        const std::string name = ext->name;
        const std::size_t hash = name.find('#');
        std::string id;
        switch (stack->Parameters.QueryId.IdType) {
        case BusQueryDeviceID:
        case BusQueryHardwareIDs: id = "1394\\" + name.substr(0, hash); break;
        case BusQueryInstanceID: id = name.substr(hash + 1); break;
        case BusQueryCompatibleIDs: break;  // Wine registers a device only once it has some, or none
        default: return Finish(irp, irp->IoStatus.Status, irp->IoStatus.Information);
        }
        const PWCHAR text = PoolText(id);
        return text ? Finish(irp, STATUS_SUCCESS, reinterpret_cast<ULONG_PTR>(text))
                    : Finish(irp, STATUS_INSUFFICIENT_RESOURCES);
    }
    case IRP_MN_QUERY_CAPABILITIES: {
        PDEVICE_CAPABILITIES caps = stack->Parameters.DeviceCapabilities.Capabilities;
        caps->RawDeviceOK = TRUE;  // no function driver: the bus serves the camera itself
        caps->Removable = caps->SurpriseRemovalOK = caps->UniqueID = TRUE;
        return Finish(irp, STATUS_SUCCESS);
    }
    case IRP_MN_REMOVE_DEVICE:
        SetPlugged(device, false);
        return Finish(irp, STATUS_SUCCESS);
    default:
        return Finish(irp, irp->IoStatus.Status, irp->IoStatus.Information);
    }
}

// --- the bus

NTSTATUS BusPnp(PDEVICE_OBJECT bus, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    PDEVICE_OBJECT lower = Ext(bus)->lower;
    if (stack->MinorFunction == IRP_MN_QUERY_DEVICE_RELATIONS &&
        stack->Parameters.QueryDeviceRelations.Type == BusRelations) {
        if (g_Cameras.empty())
            for (const sim::CameraDesc& camera : sim::DefaultCameras())
                g_Cameras.push_back(MakeCamera(bus->DriverObject, camera.name));
        const SIZE_T size = sizeof(DEVICE_RELATIONS) + g_Cameras.size() * sizeof(PDEVICE_OBJECT);
        auto* relations = static_cast<PDEVICE_RELATIONS>(ExAllocatePool(PagedPool, size));
        if (!relations) return Finish(irp, STATUS_INSUFFICIENT_RESOURCES);
        relations->Count = g_Cameras.size();
        for (ULONG i = 0; i < relations->Count; ++i) {
            relations->Objects[i] = g_Cameras[i];
            ObReferenceObject(g_Cameras[i]);
        }
        irp->IoStatus.Status = STATUS_SUCCESS;
        irp->IoStatus.Information = reinterpret_cast<ULONG_PTR>(relations);
    }
    if (stack->MinorFunction == IRP_MN_REMOVE_DEVICE) {
        g_Cameras.clear();
        g_BusPdo = nullptr;
        IoDetachDevice(lower);
        IoDeleteDevice(bus);
    }
    const bool start = stack->MinorFunction == IRP_MN_START_DEVICE;
    if (start) irp->IoStatus.Status = STATUS_SUCCESS;
    IoSkipCurrentIrpStackLocation(irp);
    const NTSTATUS status = IoCallDriver(lower, irp);
    if (start && g_BusPdo) IoInvalidateDeviceRelations(g_BusPdo, BusRelations);
    return status;
}

NTSTATUS AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo) {
    if (g_BusPdo) return STATUS_SUCCESS;  // one bus
    UNICODE_STRING name = Text(L"\\Device\\FennexSimBus");
    UNICODE_STRING link = Text(L"\\DosDevices\\FennexSimBus");
    PDEVICE_OBJECT bus = nullptr;
    const NTSTATUS status =
        IoCreateDevice(driver, sizeof(Extension), &name, FILE_DEVICE_BUS_EXTENDER, 0, FALSE, &bus);
    if (!NT_SUCCESS(status)) return status;
    IoCreateSymbolicLink(&link, &name);
    RtlZeroMemory(Ext(bus), sizeof(Extension));
    Ext(bus)->kind = Kind::Bus;
    Ext(bus)->lower = IoAttachDeviceToDeviceStack(bus, pdo);
    bus->Flags &= ~DO_DEVICE_INITIALIZING;
    g_BusPdo = pdo;
    IoInvalidateDeviceRelations(pdo, BusRelations);
    return STATUS_SUCCESS;
}

// --- requests

NTSTATUS Dispatch(PDEVICE_OBJECT device, PIRP irp) {
    Extension* ext = Ext(device);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (stack->MajorFunction == IRP_MJ_PNP)
        return ext->kind == Kind::Bus ? BusPnp(device, irp) : CameraPnp(device, irp);
    switch (stack->MajorFunction) {
    case IRP_MJ_CREATE:
        if (ext->kind == Kind::Camera) {
            auto session = std::make_unique<Session>(ext->name);
            if (!session->port) return Finish(irp, StatusOf(session->error));
            stack->FileObject->FsContext = session.release();
        }
        return Finish(irp, STATUS_SUCCESS);
    case IRP_MJ_CLOSE:
        // Wine sends no cleanup and closes with requests still pending: they end here.
        std::unique_ptr<Session>(SessionOf(stack)).reset();
        return Finish(irp, STATUS_SUCCESS);
    case IRP_MJ_DEVICE_CONTROL:
        break;
    default:
        if (ext->kind == Kind::Camera) return Finish(irp, STATUS_INVALID_DEVICE_REQUEST);
        IoSkipCurrentIrpStackLocation(irp);
        return IoCallDriver(ext->lower, irp);
    }
    const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    const ULONG inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
    const void* in = irp->AssociatedIrp.SystemBuffer;
    void* out = irp->AssociatedIrp.SystemBuffer;
    if ((code & 3) && irp->MdlAddress)
        out = MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority);
    if ((code & 3) == METHOD_NEITHER) {
        in = stack->Parameters.DeviceIoControl.Type3InputBuffer;
        out = irp->UserBuffer;
    }
    if (ext->kind == Kind::Bus)
        return Finish(irp, StatusOf(BusRequest(code, static_cast<const char*>(in), inSize)));
    Session* session = SessionOf(stack);
    if (!session) return Finish(irp, STATUS_INVALID_HANDLE);
    IoMarkIrpPending(irp);
    IoSetCancelRoutine(irp, CancelRequest);
    const ULONG outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
    session->Submit(irp, code, in, inSize, out, outSize);
    return STATUS_PENDING;
}

void Unload(PDRIVER_OBJECT driver) {
    UNICODE_STRING link = Text(L"\\DosDevices\\FennexSimBus");
    IoDeleteSymbolicLink(&link);
    while (driver->DeviceObject) IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS DriverEntry(PDRIVER_OBJECT driver) {
    for (auto& function : driver->MajorFunction) function = Dispatch;
    driver->DriverExtension->AddDevice = AddDevice;
    driver->DriverUnload = Unload;
    BusRequest(kResetCameras, nullptr, 0);
    return STATUS_SUCCESS;
}

}  // namespace

extern "C" int DllMainCRTStartup(void*, unsigned long, void*);
extern "C" int DllMain(void*, unsigned long, void*) { return 1; }

// DllMain's second argument is a small reason code; DriverEntry's is a pointer.
extern "C" NTSTATUS FennexDriverEntry(void* first, void* second, void* third) {
    const auto reason = reinterpret_cast<ULONG_PTR>(second);
    if (reason <= 3) return DllMainCRTStartup(first, static_cast<unsigned long>(reason), third);
    return DriverEntry(static_cast<PDRIVER_OBJECT>(first));
}
