// Test driver for Wine: the "bcam" service. A root-enumerated bus whose children are the
// simulated cameras, each a raw Plug and Play device of the camera interface class; every
// control code of a camera is handed to the simulator and completed when it answers. A named
// control device lets tests plug and unplug cameras.
//
// Wine loads this file as a DLL (it imports user-mode libraries, which Windows would refuse in
// a kernel driver): the entry point is called once as DllMain and once as DriverEntry.
#include <ntddk.h>

#include <cstdint>
#include <cstring>
#include <cwchar>

#include "bridge.h"

namespace {

// {35273622-C2F3-452A-8F39-5AFFC0345EB8}
const GUID kCameraInterface = {0x35273622, 0xC2F3, 0x452A, {0x8F, 0x39, 0x5A, 0xFF, 0xC0, 0x34, 0x5E, 0xB8}};

constexpr int kMaxCameras = 20;
constexpr int kNameSize = 128;

enum class Kind { Control, Bus, Camera };

struct Extension {
    Kind kind;
    PDEVICE_OBJECT lower;  // bus: the root device below it
    char name[kNameSize];  // camera: its device name
    bool reported;         // camera: still on the bus
    UNICODE_STRING link;   // camera: its interface
};

PDEVICE_OBJECT g_Bus = nullptr;      // the bus's function device
PDEVICE_OBJECT g_BusPdo = nullptr;   // the root device under it
PDEVICE_OBJECT g_Cameras[kMaxCameras] = {};
ULONG g_NextCamera = 0;

Extension* Ext(PDEVICE_OBJECT device) { return static_cast<Extension*>(device->DeviceExtension); }

NTSTATUS Finish(PIRP irp, NTSTATUS status, ULONG_PTR information = 0) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS StatusOf(std::uint32_t error) {
    switch (error) {
    case 0: return STATUS_SUCCESS;
    case 995: return STATUS_CANCELLED;
    }
    // Driver status codes carry the customer bit and pass unchanged; Win32 errors travel in
    // the NT-Win32 facility, which comes back out as the same number.
    if (error & 0x20000000) return static_cast<NTSTATUS>(error);
    return static_cast<NTSTATUS>(0xC0070000u | (error & 0xFFFF));
}

// A multi-string or string ID from pool memory, as the Plug and Play manager frees it.
PWCHAR PoolText(const char* first, const char* second = nullptr) {
    const size_t a = strlen(first), b = second ? strlen(second) : 0;
    auto* text = static_cast<PWCHAR>(ExAllocatePool(PagedPool, (a + b + 3) * sizeof(WCHAR)));
    if (!text) return nullptr;
    size_t n = 0;
    for (size_t i = 0; i < a; ++i) text[n++] = static_cast<WCHAR>(first[i]);
    text[n++] = 0;
    for (size_t i = 0; i < b; ++i) text[n++] = static_cast<WCHAR>(second[i]);
    text[n++] = 0;
    text[n] = 0;
    return text;
}

// --- cameras

PDEVICE_OBJECT FindCamera(const char* name) {
    for (PDEVICE_OBJECT camera : g_Cameras)
        if (camera && strcmp(Ext(camera)->name, name) == 0) return camera;
    return nullptr;
}

PDEVICE_OBJECT MakeCamera(PDRIVER_OBJECT driver, const char* name) {
    int slot = 0;
    while (slot < kMaxCameras && g_Cameras[slot]) ++slot;
    if (slot == kMaxCameras || strlen(name) >= kNameSize) return nullptr;
    WCHAR text[64] = L"\\Device\\FennexSimCamera";
    size_t end = wcslen(text);
    WCHAR digits[12];
    int count = 0;
    for (ULONG number = g_NextCamera++; count == 0 || number; number /= 10)
        digits[count++] = static_cast<WCHAR>(L'0' + number % 10);
    while (count) text[end++] = digits[--count];
    text[end] = 0;
    UNICODE_STRING deviceName;
    RtlInitUnicodeString(&deviceName, text);
    PDEVICE_OBJECT camera = nullptr;
    if (!NT_SUCCESS(IoCreateDevice(driver, sizeof(Extension), &deviceName, FILE_DEVICE_UNKNOWN, 0,
                                   FALSE, &camera)))
        return nullptr;
    Extension* ext = Ext(camera);
    RtlZeroMemory(ext, sizeof *ext);
    ext->kind = Kind::Camera;
    strcpy(ext->name, name);
    camera->Flags |= DO_DIRECT_IO;
    camera->Flags &= ~DO_DEVICE_INITIALIZING;
    g_Cameras[slot] = camera;
    return camera;
}

void ForgetCamera(PDEVICE_OBJECT camera) {
    for (PDEVICE_OBJECT& slot : g_Cameras)
        if (slot == camera) slot = nullptr;
}

NTSTATUS CameraPnp(PDEVICE_OBJECT device, PIRP irp) {
    Extension* ext = Ext(device);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
        if (!ext->link.Buffer &&
            !NT_SUCCESS(IoRegisterDeviceInterface(device, &kCameraInterface, nullptr, &ext->link)))
            return Finish(irp, STATUS_UNSUCCESSFUL);
        IoSetDeviceInterfaceState(&ext->link, TRUE);
        return Finish(irp, STATUS_SUCCESS);
    case IRP_MN_QUERY_ID: {
        // The interface path reads \\?\1394#<vendor&model>#<serial>#{class}, as the real bus
        // names its cameras: the device name holds one '#'.
        char bus[kNameSize + 8] = "1394\\";
        strcat(bus, ext->name);
        char* hash = strchr(bus, '#');
        const char* serial = hash ? hash + 1 : "0";
        if (hash) *hash = 0;
        PWCHAR id = nullptr;
        switch (stack->Parameters.QueryId.IdType) {
        case BusQueryDeviceID: id = PoolText(bus); break;
        case BusQueryHardwareIDs: id = PoolText(bus, ""); break;
        case BusQueryInstanceID: id = PoolText(serial); break;
        // Wine registers the device only once it has compatible IDs, even none.
        case BusQueryCompatibleIDs: id = PoolText(""); break;
        default: return Finish(irp, irp->IoStatus.Status, irp->IoStatus.Information);
        }
        return id ? Finish(irp, STATUS_SUCCESS, reinterpret_cast<ULONG_PTR>(id))
                  : Finish(irp, STATUS_INSUFFICIENT_RESOURCES);
    }
    case IRP_MN_QUERY_CAPABILITIES: {
        PDEVICE_CAPABILITIES caps = stack->Parameters.DeviceCapabilities.Capabilities;
        caps->RawDeviceOK = TRUE;  // no function driver: the bus serves the camera itself
        caps->Removable = TRUE;
        caps->SurpriseRemovalOK = TRUE;
        caps->UniqueID = TRUE;
        return Finish(irp, STATUS_SUCCESS);
    }
    case IRP_MN_SURPRISE_REMOVAL:
    case IRP_MN_REMOVE_DEVICE:
        if (ext->link.Buffer) IoSetDeviceInterfaceState(&ext->link, FALSE);
        // A camera gone from the bus leaves its slot; the device object stays, because Wine may
        // still send requests and the close of handles that were open on it.
        if (stack->MinorFunction == IRP_MN_REMOVE_DEVICE && !ext->reported) ForgetCamera(device);
        return Finish(irp, STATUS_SUCCESS);
    default:
        return Finish(irp, irp->IoStatus.Status, irp->IoStatus.Information);
    }
}

// --- the bus

NTSTATUS ReportCameras(PDEVICE_OBJECT bus, PIRP irp) {
    char names[kMaxCameras * kNameSize];
    wine_driver::CameraNames(names, sizeof names);
    names[sizeof names - 1] = names[sizeof names - 2] = 0;
    for (PDEVICE_OBJECT camera : g_Cameras)
        if (camera) Ext(camera)->reported = false;
    ULONG count = 0;
    PDEVICE_OBJECT present[kMaxCameras];
    for (const char* name = names; *name && count < kMaxCameras; name += strlen(name) + 1) {
        PDEVICE_OBJECT camera = FindCamera(name);
        if (!camera) camera = MakeCamera(bus->DriverObject, name);
        if (!camera) continue;
        Ext(camera)->reported = true;
        present[count++] = camera;
    }
    const SIZE_T size = sizeof(DEVICE_RELATIONS) + count * sizeof(PDEVICE_OBJECT);
    auto* relations = static_cast<PDEVICE_RELATIONS>(ExAllocatePool(PagedPool, size));
    if (!relations) return Finish(irp, STATUS_INSUFFICIENT_RESOURCES);
    relations->Count = count;
    for (ULONG i = 0; i < count; ++i) {
        ObReferenceObject(present[i]);
        relations->Objects[i] = present[i];
    }
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->IoStatus.Information = reinterpret_cast<ULONG_PTR>(relations);
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(Ext(bus)->lower, irp);
}

NTSTATUS BusPnp(PDEVICE_OBJECT bus, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (stack->MinorFunction == IRP_MN_QUERY_DEVICE_RELATIONS &&
        stack->Parameters.QueryDeviceRelations.Type == BusRelations)
        return ReportCameras(bus, irp);
    PDEVICE_OBJECT lower = Ext(bus)->lower;
    if (stack->MinorFunction == IRP_MN_REMOVE_DEVICE) {
        for (PDEVICE_OBJECT camera : g_Cameras)
            if (camera) ForgetCamera(camera);
        g_Bus = g_BusPdo = nullptr;
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
    if (g_Bus) return STATUS_SUCCESS;  // one bus
    PDEVICE_OBJECT bus = nullptr;
    NTSTATUS status = IoCreateDevice(driver, sizeof(Extension), nullptr, FILE_DEVICE_BUS_EXTENDER,
                                     0, FALSE, &bus);
    if (!NT_SUCCESS(status)) return status;
    RtlZeroMemory(bus->DeviceExtension, sizeof(Extension));
    Ext(bus)->kind = Kind::Bus;
    Ext(bus)->lower = IoAttachDeviceToDeviceStack(bus, pdo);
    bus->Flags &= ~DO_DEVICE_INITIALIZING;
    g_Bus = bus;
    g_BusPdo = pdo;
    IoInvalidateDeviceRelations(pdo, BusRelations);
    return STATUS_SUCCESS;
}

// --- requests

// Runs with the cancel lock held, which the completion takes too: the request, its handle and
// its session stay alive until the camera has been told.
void CancelRequest(PDEVICE_OBJECT, PIRP irp) {
    PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    if (file && file->FsContext)
        wine_driver::CancelAll(static_cast<wine_driver::Session*>(file->FsContext));
    IoReleaseCancelSpinLock(irp->CancelIrql);
}

NTSTATUS Dispatch(PDEVICE_OBJECT device, PIRP irp) {
    Extension* ext = Ext(device);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (stack->MajorFunction == IRP_MJ_PNP) {
        if (ext->kind == Kind::Bus) return BusPnp(device, irp);
        if (ext->kind == Kind::Camera) return CameraPnp(device, irp);
        return Finish(irp, STATUS_NOT_SUPPORTED);
    }
    if (ext->kind == Kind::Bus) {
        IoSkipCurrentIrpStackLocation(irp);
        return IoCallDriver(ext->lower, irp);
    }
    PFILE_OBJECT file = stack->FileObject;
    switch (stack->MajorFunction) {
    case IRP_MJ_CREATE:
        if (ext->kind == Kind::Camera) {
            if (!ext->reported) return Finish(irp, STATUS_NO_SUCH_DEVICE);
            std::uint32_t error = 0;
            file->FsContext = wine_driver::Open(ext->name, &error);
            if (!file->FsContext) return Finish(irp, StatusOf(error));
        }
        return Finish(irp, STATUS_SUCCESS);
    case IRP_MJ_CLEANUP:
        return Finish(irp, STATUS_SUCCESS);
    case IRP_MJ_CLOSE:
        // Wine sends no cleanup and closes with requests still pending: they end here.
        if (file && file->FsContext) {
            wine_driver::Close(static_cast<wine_driver::Session*>(file->FsContext));
            file->FsContext = nullptr;
        }
        return Finish(irp, STATUS_SUCCESS);
    case IRP_MJ_DEVICE_CONTROL:
        break;
    default:
        return Finish(irp, STATUS_INVALID_DEVICE_REQUEST);
    }

    const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    const ULONG inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
    const void* in = nullptr;
    void* out = nullptr;
    switch (code & 3) {
    case METHOD_BUFFERED:
        in = out = irp->AssociatedIrp.SystemBuffer;
        break;
    case METHOD_IN_DIRECT:
    case METHOD_OUT_DIRECT:
        in = irp->AssociatedIrp.SystemBuffer;
        if (irp->MdlAddress) out = MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority);
        break;
    default:
        in = stack->Parameters.DeviceIoControl.Type3InputBuffer;
        out = irp->UserBuffer;
        break;
    }
    if (ext->kind == Kind::Control) {
        const std::uint32_t error = wine_driver::BusRequest(code, in, inSize);
        if (!error && (code == wine_driver::kPlugCamera || code == wine_driver::kUnplugCamera ||
                       code == wine_driver::kResetCameras) && g_BusPdo)
            IoInvalidateDeviceRelations(g_BusPdo, BusRelations);
        return Finish(irp, StatusOf(error));
    }
    auto* session = file ? static_cast<wine_driver::Session*>(file->FsContext) : nullptr;
    if (!session) return Finish(irp, STATUS_INVALID_HANDLE);
    IoMarkIrpPending(irp);
    IoSetCancelRoutine(irp, CancelRequest);
    wine_driver::Submit(session, code, in, inSize, out, outSize, irp);
    return STATUS_PENDING;
}

void Unload(PDRIVER_OBJECT driver) {
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, L"\\DosDevices\\FennexSimBus");
    IoDeleteSymbolicLink(&link);
    while (driver->DeviceObject) IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
    for (int major = 0; major <= IRP_MJ_MAXIMUM_FUNCTION; ++major) driver->MajorFunction[major] = Dispatch;
    driver->DriverExtension->AddDevice = AddDevice;
    driver->DriverUnload = Unload;
    wine_driver::BusRequest(wine_driver::kResetCameras, nullptr, 0);

    UNICODE_STRING name, link;
    RtlInitUnicodeString(&name, L"\\Device\\FennexSimBus");
    RtlInitUnicodeString(&link, L"\\DosDevices\\FennexSimBus");
    PDEVICE_OBJECT control = nullptr;
    NTSTATUS status = IoCreateDevice(driver, sizeof(Extension), &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &control);
    if (!NT_SUCCESS(status)) return status;
    RtlZeroMemory(control->DeviceExtension, sizeof(Extension));
    Ext(control)->kind = Kind::Control;
    control->Flags &= ~DO_DEVICE_INITIALIZING;
    return IoCreateSymbolicLink(&link, &name);
}

}  // namespace

namespace wine_driver {

void CompleteRequest(void* request, std::uint32_t error, std::uint32_t bytes) {
    auto* irp = static_cast<PIRP>(request);
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    IoSetCancelRoutine(irp, nullptr);
    IoReleaseCancelSpinLock(irql);
    Finish(irp, StatusOf(error), error ? 0 : bytes);
}

}  // namespace wine_driver

extern "C" int DllMainCRTStartup(void*, unsigned long, void*);
extern "C" int DllMain(void*, unsigned long, void*) { return 1; }

// DllMain's second argument is a small reason code; DriverEntry's is a pointer.
extern "C" NTSTATUS FennexDriverEntry(void* first, void* second, void* third) {
    const auto reason = reinterpret_cast<ULONG_PTR>(second);
    if (reason <= 3) return DllMainCRTStartup(first, static_cast<unsigned long>(reason), third);
    return DriverEntry(static_cast<PDRIVER_OBJECT>(first), static_cast<PUNICODE_STRING>(second));
}
