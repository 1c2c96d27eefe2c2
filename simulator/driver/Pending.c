/* Unit requests completed later. Each pended request gets a system thread that sleeps for the
 * delay and then completes it, unless a cancel or the unit's removal got there first. Whoever
 * clears the record's irp under the lock completes the request; the thread always frees the
 * record, except when it finds a cancel in progress, which then frees it instead. */
#include "Driver.h"

typedef struct KSIM_PENDING {
    LIST_ENTRY link;
    PIRP irp;
    KSIM_UNIT* unit;
    uint32_t sequence;
    LONGLONG delay; /* 100 ns units, negative: relative */
    NTSTATUS status;
    ULONG_PTR information;
    BOOLEAN orphaned; /* the thread is gone; the cancel routine frees the record */
} KSIM_PENDING;

static KSIM_PENDING* FindLocked(PIRP irp) {
    LIST_ENTRY* entry;
    for (entry = g_sim.pending.Flink; entry != &g_sim.pending; entry = entry->Flink) {
        KSIM_PENDING* record = CONTAINING_RECORD(entry, KSIM_PENDING, link);
        if (record->irp == irp) {
            return record;
        }
    }
    return NULL;
}

static void FinishLocked(KSIM_PENDING* record, NTSTATUS status) {
    KsimLogSetStatusLocked(record->sequence, RtlNtStatusToDosError(status));
}

static void NTAPI CancelPending(PDEVICE_OBJECT device, PIRP irp) {
    KSIM_PENDING* record;
    BOOLEAN freeRecord = FALSE;
    KIRQL irql;
    UNREFERENCED_PARAMETER(device);

    IoReleaseCancelSpinLock(irp->CancelIrql);
    KeAcquireSpinLock(&g_sim.lock, &irql);
    record = FindLocked(irp);
    if (record) {
        record->irp = NULL;
        FinishLocked(record, STATUS_CANCELLED);
        if (record->orphaned) {
            RemoveEntryList(&record->link);
            freeRecord = TRUE;
        }
    }
    KeReleaseSpinLock(&g_sim.lock, irql);
    if (freeRecord) {
        ExFreePoolWithTag(record, KSIM_TAG);
    }
    KsimComplete(irp, STATUS_CANCELLED, 0);
}

static void NTAPI CompleteLater(PVOID context) {
    KSIM_PENDING* record = (KSIM_PENDING*)context;
    LARGE_INTEGER delay;
    PIRP irp = NULL;
    BOOLEAN freeRecord = TRUE;
    KIRQL irql;

    delay.QuadPart = record->delay;
    KeDelayExecutionThread(KernelMode, FALSE, &delay);

    KeAcquireSpinLock(&g_sim.lock, &irql);
    if (record->irp) {
        if (IoSetCancelRoutine(record->irp, NULL)) {
            irp = record->irp;
            record->irp = NULL;
            FinishLocked(record, record->status);
        } else {
            record->orphaned = TRUE;
            freeRecord = FALSE;
        }
    }
    if (freeRecord) {
        RemoveEntryList(&record->link);
    }
    KeReleaseSpinLock(&g_sim.lock, irql);

    if (irp) {
        KsimComplete(irp, record->status, record->information);
    }
    if (freeRecord) {
        ExFreePoolWithTag(record, KSIM_TAG);
    }
    PsTerminateSystemThread(STATUS_SUCCESS);
}

NTSTATUS KsimPendLocked(PIRP irp, KSIM_UNIT* unit, uint32_t sequence, ULONG milliseconds,
                        NTSTATUS status, ULONG_PTR information) {
    KSIM_PENDING* record;
    HANDLE thread;
    NTSTATUS started;

    record = (KSIM_PENDING*)ExAllocatePoolWithTag(NonPagedPool, sizeof(*record), KSIM_TAG);
    if (!record) {
        KsimLogSetStatusLocked(sequence, RtlNtStatusToDosError(status));
        return KsimComplete(irp, status, information);
    }
    RtlZeroMemory(record, sizeof(*record));
    record->irp = irp;
    record->unit = unit;
    record->sequence = sequence;
    record->delay = -(LONGLONG)milliseconds * 10000;
    record->status = status;
    record->information = information;
    KsimLogSetStatusLocked(sequence, 997);

    IoMarkIrpPending(irp);
    IoSetCancelRoutine(irp, CancelPending);
    InsertTailList(&g_sim.pending, &record->link);
    started =
        PsCreateSystemThread(&thread, THREAD_ALL_ACCESS, NULL, NULL, NULL, CompleteLater, record);
    if (NT_SUCCESS(started)) {
        ZwClose(thread);
    } else {
        /* No thread to complete it later: complete it now, still as a pended request. */
        RemoveEntryList(&record->link);
        IoSetCancelRoutine(irp, NULL);
        FinishLocked(record, status);
        ExFreePoolWithTag(record, KSIM_TAG);
        irp->IoStatus.Status = status;
        irp->IoStatus.Information = information;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
    }
    return STATUS_PENDING;
}

/* Fails the unit's pended requests at once; their threads later find them gone. */
void KsimFailPendingForUnit(KSIM_UNIT* unit, NTSTATUS status) {
    PIRP taken[32];
    ULONG n = 0, i;
    LIST_ENTRY* entry;
    KIRQL irql;

    KeAcquireSpinLock(&g_sim.lock, &irql);
    for (entry = g_sim.pending.Flink; entry != &g_sim.pending && n < 32; entry = entry->Flink) {
        KSIM_PENDING* record = CONTAINING_RECORD(entry, KSIM_PENDING, link);
        if (record->unit == unit && record->irp && IoSetCancelRoutine(record->irp, NULL)) {
            taken[n++] = record->irp;
            record->irp = NULL;
            FinishLocked(record, status);
        }
    }
    KeReleaseSpinLock(&g_sim.lock, irql);
    for (i = 0; i < n; ++i) {
        KsimComplete(taken[i], status, 0);
    }
}
