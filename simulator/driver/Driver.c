/* Entry point and dispatch of the KESTREL driver simulator. The driver owns two named control
 * devices, made at load time, and a bus FDO with one raw child PDO per plugged unit, made by
 * PnP. Requests are routed by the kind stored at the start of each device extension. */
#include "Driver.h"

DRIVER_INITIALIZE DriverEntry;

static const WCHAR kControlName[] = L"\\Device\\KestrelControl";
static const WCHAR kControlLink[] = L"\\DosDevices\\{995949F0-6D7F-4c14-9F0A-2F26E3255C2B}";
static const WCHAR kSimName[] = L"\\Device\\KestrelSimControl";
static const WCHAR kSimLink[] = L"\\DosDevices\\KestrelSimControl";

NTSTATUS KsimComplete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static KSIM_KIND KindOf(PDEVICE_OBJECT device) {
    return ((KSIM_EXTENSION*)device->DeviceExtension)->kind;
}

static NTSTATUS NTAPI DispatchCreateClose(PDEVICE_OBJECT device, PIRP irp) {
    UNREFERENCED_PARAMETER(device);
    return KsimComplete(irp, STATUS_SUCCESS, 0);
}

NTSTATUS KsimSetControlPathPresent(BOOLEAN present) {
    UNICODE_STRING deviceName, linkName;
    NTSTATUS status;
    if (present == g_sim.controlPathPresent) {
        return STATUS_SUCCESS;
    }
    RtlInitUnicodeString(&deviceName, kControlName);
    RtlInitUnicodeString(&linkName, kControlLink);
    status =
        present ? IoCreateSymbolicLink(&linkName, &deviceName) : IoDeleteSymbolicLink(&linkName);
    if (NT_SUCCESS(status)) {
        g_sim.controlPathPresent = present;
    }
    return status;
}

static NTSTATUS NTAPI DispatchIoctl(PDEVICE_OBJECT device, PIRP irp) {
    switch (KindOf(device)) {
    case KsimKindControl:
        return KsimControlIoctl(irp);
    case KsimKindSimControl:
        return KsimSimControlIoctl(irp);
    case KsimKindUnit:
        return KsimUnitIoctl(device, irp);
    default:
        return KsimComplete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

static NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT device, PIRP irp) {
    switch (KindOf(device)) {
    case KsimKindBus:
        return KsimBusPnp(device, irp);
    case KsimKindUnit:
        return KsimUnitPnp(device, irp);
    default: {
        NTSTATUS status = irp->IoStatus.Status;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return status;
    }
    }
}

static NTSTATUS NTAPI DispatchPower(PDEVICE_OBJECT device, PIRP irp) {
    if (KindOf(device) == KsimKindBus) {
        return KsimBusPower(device, irp);
    }
    PoStartNextPowerIrp(irp);
    return KsimComplete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS MakeNamedDevice(PDRIVER_OBJECT driver, const WCHAR* name, const WCHAR* link,
                                KSIM_KIND kind, PDEVICE_OBJECT* device) {
    UNICODE_STRING deviceName, linkName;
    NTSTATUS status;

    RtlInitUnicodeString(&deviceName, name);
    RtlInitUnicodeString(&linkName, link);
    status = IoCreateDevice(driver, sizeof(KSIM_EXTENSION), &deviceName, FILE_DEVICE_UNKNOWN, 0,
                            FALSE, device);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    ((KSIM_EXTENSION*)(*device)->DeviceExtension)->kind = kind;
    (*device)->Flags |= DO_BUFFERED_IO;
    status = IoCreateSymbolicLink(&linkName, &deviceName);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(*device);
        *device = NULL;
        return status;
    }
    (*device)->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

static void DeleteNamedDevice(PDEVICE_OBJECT device, const WCHAR* link) {
    UNICODE_STRING linkName;
    if (!device) {
        return;
    }
    RtlInitUnicodeString(&linkName, link);
    IoDeleteSymbolicLink(&linkName);
    IoDeleteDevice(device);
}

static void NTAPI DriverUnload(PDRIVER_OBJECT driver) {
    UNREFERENCED_PARAMETER(driver);
    DeleteNamedDevice(g_sim.simControl, kSimLink);
    DeleteNamedDevice(g_sim.control, kControlLink);
    g_sim.simControl = NULL;
    g_sim.control = NULL;
    KsimStateFree();
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    NTSTATUS status;
    UNREFERENCED_PARAMETER(registryPath);

    RtlZeroMemory(&g_sim, sizeof(g_sim));
    g_sim.driver = driver;
    g_sim.ownProcess = PsGetCurrentProcessId();
    status = KsimStateInit();
    if (!NT_SUCCESS(status)) {
        return status;
    }
    status = MakeNamedDevice(driver, kControlName, kControlLink, KsimKindControl, &g_sim.control);
    g_sim.controlPathPresent = NT_SUCCESS(status);
    if (NT_SUCCESS(status)) {
        status = MakeNamedDevice(driver, kSimName, kSimLink, KsimKindSimControl, &g_sim.simControl);
    }
    if (!NT_SUCCESS(status)) {
        DriverUnload(driver);
        return status;
    }

    {
        /* The default units wait in the table until the bus starts and reports them. */
        KsimIdList ids;
        KIRQL irql;
        KeAcquireSpinLock(&g_sim.lock, &irql);
        status = KsimPlugLocked(KSIM_DEFAULT_UNITS, &ids);
        KeReleaseSpinLock(&g_sim.lock, irql);
        if (!NT_SUCCESS(status)) {
            DriverUnload(driver);
            return status;
        }
    }

    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchIoctl;
    driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
    driver->MajorFunction[IRP_MJ_POWER] = DispatchPower;
    driver->DriverExtension->AddDevice = KsimAddDevice;
    driver->DriverUnload = DriverUnload;
    return STATUS_SUCCESS;
}
