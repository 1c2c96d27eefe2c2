/* PnP of a unit's raw PDO: its identifiers, its capabilities and its one device interface. */
#include "Driver.h"

#include <initguid.h>

/* Included after the headers so that this one GUID is defined here. */
DEFINE_GUID(KSIM_UNIT_INTERFACE, 0x995949F0, 0x6D7F, 0x4C14, 0x9F, 0x0A, 0x2F, 0x26, 0xE3, 0x25,
            0x5C, 0x2B);

/* Copies a multi-string of total characters (terminators included) into pool memory. */
static WCHAR* PoolString(const WCHAR* text, size_t characters) {
    WCHAR* copy = (WCHAR*)ExAllocatePoolWithTag(PagedPool, characters * sizeof(WCHAR), KSIM_TAG);
    if (copy) {
        RtlCopyMemory(copy, text, characters * sizeof(WCHAR));
    }
    return copy;
}

static WCHAR* InstanceId(uint32_t id) {
    WCHAR digits[12];
    size_t n = 0, i;
    WCHAR text[12];
    do {
        digits[n++] = (WCHAR)(L'0' + id % 10);
        id /= 10;
    } while (id);
    for (i = 0; i < n; ++i) {
        text[i] = digits[n - 1 - i];
    }
    text[n] = 0;
    return PoolString(text, n + 1);
}

static NTSTATUS QueryId(KSIM_UNIT* unit, PIRP irp) {
    static const WCHAR deviceId[] = L"KESTRELBUS\\UNIT";
    static const WCHAR hardwareIds[] = L"KESTRELBUS\\UNIT\0";
    static const WCHAR none[] = L"\0";
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    WCHAR* id;

    switch (stack->Parameters.QueryId.IdType) {
    case BusQueryDeviceID:
        id = PoolString(deviceId, sizeof(deviceId) / sizeof(WCHAR));
        break;
    case BusQueryInstanceID:
        id = InstanceId(unit->id);
        break;
    case BusQueryHardwareIDs:
        id = PoolString(hardwareIds, sizeof(hardwareIds) / sizeof(WCHAR));
        break;
    case BusQueryCompatibleIDs:
        /* An empty multi-string: Wine gives up on the device when this is missing. */
        id = PoolString(none, sizeof(none) / sizeof(WCHAR));
        break;
    default:
        return irp->IoStatus.Status;
    }
    if (!id) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    irp->IoStatus.Information = (ULONG_PTR)id;
    return STATUS_SUCCESS;
}

static NTSTATUS QueryCapabilities(KSIM_UNIT* unit, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    DEVICE_CAPABILITIES* caps = stack->Parameters.DeviceCapabilities.Capabilities;
    /* Without RawDeviceOK Wine looks for a function driver, finds none and never starts it. */
    caps->RawDeviceOK = 1;
    caps->SurpriseRemovalOK = 1;
    caps->Removable = 1;
    caps->UniqueID = 1;
    caps->Address = unit->id;
    caps->UINumber = unit->id;
    return STATUS_SUCCESS;
}

static NTSTATUS Start(KSIM_UNIT* unit) {
    NTSTATUS status;
    KIRQL irql;
    if (!unit->linkValid) {
        status = IoRegisterDeviceInterface(unit->self, &KSIM_UNIT_INTERFACE, NULL, &unit->link);
        if (!NT_SUCCESS(status)) {
            return status;
        }
        unit->linkValid = TRUE;
    }
    KeAcquireSpinLock(&g_sim.lock, &irql);
    unit->started = TRUE;
    KeReleaseSpinLock(&g_sim.lock, irql);
    return IoSetDeviceInterfaceState(&unit->link, TRUE);
}

/* The link as IoSetDeviceInterfaceState makes it: to the device's PDO name. */
static NTSTATUS CreateLink(KSIM_UNIT* unit) {
    WCHAR name[128];
    ULONG length = 0;
    UNICODE_STRING target;
    NTSTATUS status = IoGetDeviceProperty(unit->self, DevicePropertyPhysicalDeviceObjectName,
                                          sizeof(name) - sizeof(WCHAR), name, &length);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    name[length / sizeof(WCHAR)] = 0;
    RtlInitUnicodeString(&target, name);
    return IoCreateSymbolicLink(&unit->link, &target);
}

/* A started unit with a registered interface, by identifier; NULL if there is none. */
static KSIM_UNIT* StartedUnitLocked(uint32_t id) {
    uint32_t i;
    for (i = 0; i < g_sim.unitCount; ++i) {
        KSIM_UNIT* unit = g_sim.units[i];
        if (unit->id == id && unit->started && unit->linkValid) {
            return unit;
        }
    }
    return NULL;
}

/* The link lock is a synchronization event, not a KMUTEX: winedevice's kernel mutex keeps the
 * host mutex of its first waiter when another thread waits meanwhile, so a request that met a
 * unit's removal on the plug-and-play thread waited for good. A waiter takes the event; setting
 * it lets exactly one waiter on. No path takes the lock twice. */
static void LockLinks(void) {
    KeWaitForSingleObject(&g_sim.linkLock, Executive, KernelMode, FALSE, NULL);
}

static void UnlockLinks(void) {
    KeSetEvent(&g_sim.linkLock, IO_NO_INCREMENT, FALSE);
}

NTSTATUS KsimSetUnitLinkHidden(uint32_t id, BOOLEAN hidden) {
    KSIM_UNIT* unit;
    NTSTATUS status = STATUS_SUCCESS;
    KIRQL irql;
    /* A unit being stopped or deleted waits for the link lock before it touches its link or
     * goes, so the unit found here lives until the lock is released. */
    LockLinks();
    KeAcquireSpinLock(&g_sim.lock, &irql);
    unit = StartedUnitLocked(id);
    KeReleaseSpinLock(&g_sim.lock, irql);
    if (!unit) {
        status = STATUS_NO_SUCH_DEVICE;
    } else if (unit->linkHidden != hidden) {
        status = hidden ? IoDeleteSymbolicLink(&unit->link) : CreateLink(unit);
        if (NT_SUCCESS(status)) {
            unit->linkHidden = hidden;
        }
    }
    UnlockLinks();
    return status;
}

void KsimRestoreUnitLinks(void) {
    uint32_t ids[KSIM_MAX_UNITS];
    uint32_t count, i;
    KIRQL irql;
    KeAcquireSpinLock(&g_sim.lock, &irql);
    count = g_sim.unitCount;
    for (i = 0; i < count; ++i) {
        ids[i] = g_sim.units[i]->id;
    }
    KeReleaseSpinLock(&g_sim.lock, irql);
    for (i = 0; i < count; ++i) {
        KsimSetUnitLinkHidden(ids[i], FALSE);
    }
}

static void Stop(KSIM_UNIT* unit) {
    BOOLEAN wasStarted;
    KIRQL irql;
    KeAcquireSpinLock(&g_sim.lock, &irql);
    wasStarted = unit->started;
    unit->started = FALSE;
    KeReleaseSpinLock(&g_sim.lock, irql);
    KsimFailPendingForUnit(unit, STATUS_DEVICE_REMOVED);
    LockLinks();
    if (unit->linkHidden && NT_SUCCESS(CreateLink(unit))) {
        /* Disabling the interface removes the link; it must be there to be removed. */
        unit->linkHidden = FALSE;
    }
    UnlockLinks();
    if (wasStarted && unit->linkValid) {
        IoSetDeviceInterfaceState(&unit->link, FALSE);
    }
}

static void Delete(KSIM_UNIT* unit) {
    /* No link change is under way for this unit once the lock is had; the unit is stopped, so
     * none starts after it. */
    LockLinks();
    if (unit->linkValid) {
        RtlFreeUnicodeString(&unit->link);
        unit->linkValid = FALSE;
    }
    UnlockLinks();
    if (unit->notifyEvent) {
        ZwClose(unit->notifyEvent);
        unit->notifyEvent = NULL;
    }
    IoDeleteDevice(unit->self);
}

static NTSTATUS TargetRelation(KSIM_UNIT* unit, PIRP irp) {
    DEVICE_RELATIONS* relations =
        (DEVICE_RELATIONS*)ExAllocatePoolWithTag(PagedPool, sizeof(DEVICE_RELATIONS), KSIM_TAG);
    if (!relations) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    relations->Count = 1;
    relations->Objects[0] = unit->self;
    ObReferenceObject(unit->self);
    irp->IoStatus.Information = (ULONG_PTR)relations;
    return STATUS_SUCCESS;
}

NTSTATUS KsimUnitPnp(PDEVICE_OBJECT device, PIRP irp) {
    KSIM_UNIT* unit = (KSIM_UNIT*)device->DeviceExtension;
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status = irp->IoStatus.Status;
    BOOLEAN plugged;
    KIRQL irql;

    switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
        status = Start(unit);
        break;
    case IRP_MN_QUERY_ID:
        status = QueryId(unit, irp);
        break;
    case IRP_MN_QUERY_CAPABILITIES:
        status = QueryCapabilities(unit, irp);
        break;
    case IRP_MN_QUERY_DEVICE_RELATIONS:
        if (stack->Parameters.QueryDeviceRelations.Type == TargetDeviceRelation) {
            status = TargetRelation(unit, irp);
        }
        break;
    case IRP_MN_SURPRISE_REMOVAL:
    case IRP_MN_STOP_DEVICE:
        Stop(unit);
        status = STATUS_SUCCESS;
        break;
    case IRP_MN_REMOVE_DEVICE:
        Stop(unit);
        KeAcquireSpinLock(&g_sim.lock, &irql);
        plugged = unit->plugged;
        if (!plugged) {
            KsimReleaseSlotLocked(unit);
        }
        KeReleaseSpinLock(&g_sim.lock, irql);
        KsimComplete(irp, STATUS_SUCCESS, 0);
        /* A unit still in the table stays until it is unplugged (its bus is going away). */
        if (!plugged) {
            Delete(unit);
        }
        return STATUS_SUCCESS;
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
        status = STATUS_SUCCESS;
        break;
    default:
        break;
    }
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}
