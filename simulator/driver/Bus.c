/* The bus FDO on the root-enumerated device, and plugging and unplugging of its unit PDOs.
 * Wine enumerates bus relations only when asked, on a PnP thread of its own, so every change
 * of the unit table ends with IoInvalidateDeviceRelations and the caller polls the interfaces. */
#include "Driver.h"

NTSTATUS NTAPI KsimAddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo) {
    PDEVICE_OBJECT fdo;
    KSIM_BUS* bus;
    NTSTATUS status;

    status =
        IoCreateDevice(driver, sizeof(KSIM_BUS), NULL, FILE_DEVICE_BUS_EXTENDER, 0, FALSE, &fdo);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    bus = (KSIM_BUS*)fdo->DeviceExtension;
    bus->header.kind = KsimKindBus;
    bus->pdo = pdo;
    bus->lower = IoAttachDeviceToDeviceStack(fdo, pdo);
    if (!bus->lower) {
        IoDeleteDevice(fdo);
        return STATUS_NO_SUCH_DEVICE;
    }
    g_sim.busPdo = pdo;
    fdo->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

void KsimInvalidateBus(void) {
    if (g_sim.busPdo) {
        IoInvalidateDeviceRelations(g_sim.busPdo, BusRelations);
    }
}

static NTSTATUS AnswerBusRelations(PIRP irp) {
    DEVICE_RELATIONS* relations;
    uint32_t i;
    KIRQL irql;
    SIZE_T size = sizeof(DEVICE_RELATIONS) + sizeof(PDEVICE_OBJECT) * KSIM_MAX_UNITS;

    relations = (DEVICE_RELATIONS*)ExAllocatePoolWithTag(PagedPool, size, KSIM_TAG);
    if (!relations) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    KeAcquireSpinLock(&g_sim.lock, &irql);
    relations->Count = g_sim.unitCount;
    for (i = 0; i < g_sim.unitCount; ++i) {
        g_sim.units[i]->reported = TRUE;
        relations->Objects[i] = g_sim.units[i]->self;
        ObReferenceObject(g_sim.units[i]->self);
    }
    KeReleaseSpinLock(&g_sim.lock, irql);
    irp->IoStatus.Information = (ULONG_PTR)relations;
    return STATUS_SUCCESS;
}

static NTSTATUS NTAPI SignalCompletion(PDEVICE_OBJECT device, PIRP irp, PVOID context) {
    UNREFERENCED_PARAMETER(device);
    UNREFERENCED_PARAMETER(irp);
    KeSetEvent((PKEVENT)context, IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

/* Passes the request down and waits for it (Wine's IoForwardIrpSynchronously is a stub). */
static NTSTATUS ForwardAndWait(PDEVICE_OBJECT lower, PIRP irp) {
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoSetCompletionRoutine(irp, SignalCompletion, &done, TRUE, TRUE, TRUE);
    if (IoCallDriver(lower, irp) == STATUS_PENDING) {
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
    }
    return irp->IoStatus.Status;
}

NTSTATUS KsimBusPnp(PDEVICE_OBJECT device, PIRP irp) {
    KSIM_BUS* bus = (KSIM_BUS*)device->DeviceExtension;
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status;

    switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
        status = ForwardAndWait(bus->lower, irp);
        if (NT_SUCCESS(status) || status == STATUS_NOT_SUPPORTED) {
            status = STATUS_SUCCESS;
        }
        KsimComplete(irp, status, 0);
        if (NT_SUCCESS(status)) {
            KsimInvalidateBus();
        }
        return status;
    case IRP_MN_QUERY_DEVICE_RELATIONS:
        if (stack->Parameters.QueryDeviceRelations.Type == BusRelations) {
            status = AnswerBusRelations(irp);
            if (!NT_SUCCESS(status)) {
                return KsimComplete(irp, status, 0);
            }
            irp->IoStatus.Status = status;
        }
        break;
    case IRP_MN_REMOVE_DEVICE: {
        PDEVICE_OBJECT lower = bus->lower;
        irp->IoStatus.Status = STATUS_SUCCESS;
        IoSkipCurrentIrpStackLocation(irp);
        status = IoCallDriver(lower, irp);
        g_sim.busPdo = NULL;
        IoDetachDevice(lower);
        IoDeleteDevice(device);
        return status;
    }
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_SURPRISE_REMOVAL:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
    case IRP_MN_STOP_DEVICE:
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    default:
        break;
    }
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(bus->lower, irp);
}

NTSTATUS KsimBusPower(PDEVICE_OBJECT device, PIRP irp) {
    KSIM_BUS* bus = (KSIM_BUS*)device->DeviceExtension;
    PoStartNextPowerIrp(irp);
    IoSkipCurrentIrpStackLocation(irp);
    return PoCallDriver(bus->lower, irp);
}

void KsimReleaseSlotLocked(KSIM_UNIT* unit) {
    g_sim.slotUsed[unit->slot] = FALSE;
}

static NTSTATUS MakeUnit(KSIM_UNIT** result) {
    PDEVICE_OBJECT pdo;
    KSIM_UNIT* unit;
    NTSTATUS status;
    /* The first free place after the plugged units, so that a new unit is listed last, as
     * it was plugged last; from the start again once the places run out. */
    uint32_t start = g_sim.unitCount ? g_sim.units[g_sim.unitCount - 1]->slot + 1 : 0;
    uint32_t tried = 0, slot = start % KSIM_SLOTS;

    while (tried < KSIM_SLOTS && g_sim.slotUsed[slot]) {
        slot = (slot + 1) % KSIM_SLOTS;
        ++tried;
    }
    if (tried == KSIM_SLOTS) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }

    /* An unnamed PDO is listed by Wine but cannot be opened through its interface. */
    status = IoCreateDevice(g_sim.driver, sizeof(KSIM_UNIT), NULL, FILE_DEVICE_UNKNOWN,
                            FILE_AUTOGENERATED_DEVICE_NAME, FALSE, &pdo);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    unit = (KSIM_UNIT*)pdo->DeviceExtension;
    RtlZeroMemory(unit, sizeof(*unit));
    unit->header.kind = KsimKindUnit;
    unit->self = pdo;
    unit->id = KSIM_FIRST_UNIT_ID + slot;
    unit->slot = slot;
    g_sim.slotUsed[slot] = TRUE;
    unit->plug = 1;
    unit->plugged = TRUE;
    pdo->Flags |= DO_BUFFERED_IO;
    pdo->Flags &= ~DO_DEVICE_INITIALIZING;
    *result = unit;
    return STATUS_SUCCESS;
}

/* The table is kept in the order of the units' places, which is their identifiers' order and
 * the order in which PnP enumerates their interfaces: the unit list's first unit is the first
 * interface. */
static void InsertByPlaceLocked(KSIM_UNIT* unit) {
    uint32_t i = g_sim.unitCount;
    while (i > 0 && g_sim.units[i - 1]->slot > unit->slot) {
        g_sim.units[i] = g_sim.units[i - 1];
        --i;
    }
    g_sim.units[i] = unit;
    ++g_sim.unitCount;
}

/* Creating a device object under the spin lock is harmless under Wine, where the lock only
 * serialises threads; it keeps the table and the identifiers consistent. */
NTSTATUS KsimPlugLocked(uint32_t count, KsimIdList* ids) {
    uint32_t i;
    RtlZeroMemory(ids, sizeof(*ids));
    if (count > KSIM_MAX_UNITS - g_sim.unitCount) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    for (i = 0; i < count; ++i) {
        KSIM_UNIT* unit;
        NTSTATUS status = MakeUnit(&unit);
        if (!NT_SUCCESS(status)) {
            return status;
        }
        InsertByPlaceLocked(unit);
        ids->ids[ids->count++] = unit->id;
    }
    return STATUS_SUCCESS;
}

/* Takes the unit out of the table; PnP then removes it and its REMOVE_DEVICE deletes it. A
 * unit PnP never saw is deleted here. */
BOOLEAN KsimUnplugLocked(uint32_t id) {
    uint32_t i;
    for (i = 0; i < g_sim.unitCount; ++i) {
        if (g_sim.units[i]->id == id) {
            KSIM_UNIT* unit = g_sim.units[i];
            unit->plugged = FALSE;
            if (!unit->reported) {
                KsimReleaseSlotLocked(unit);
                IoDeleteDevice(unit->self);
            }
            for (; i + 1 < g_sim.unitCount; ++i) {
                g_sim.units[i] = g_sim.units[i + 1];
            }
            --g_sim.unitCount;
            return TRUE;
        }
    }
    return FALSE;
}
