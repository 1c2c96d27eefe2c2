/* The driver's control device: the unit list, unit information, stream settings and the two
 * apply requests, each accepted only with exactly its In and Out sizes. */
#include "Driver.h"

typedef struct REQUEST_SHAPE {
    uint32_t code;
    ULONG inSize;
    ULONG outSize;
} REQUEST_SHAPE;

static const REQUEST_SHAPE kShapes[] = {
    {KSIM_GET_SAMPLE_RATE, 0, 8},
    {KSIM_SET_SAMPLE_RATE, 8, 0},
    {KSIM_GET_UNIT_LIST, 0, KSIM_UNIT_LIST_SIZE},
    {KSIM_GET_UNIT_INFO, 4, KSIM_UNIT_INFO_SIZE},
    {KSIM_APPLY_STAGE_TWO, 0, 0},
    {KSIM_APPLY_STAGE_ONE, 0, 0},
    {KSIM_GET_CPU_LEVEL, 0, 16},
    {KSIM_SET_CPU_LEVEL, 16, 0},
    {KSIM_GET_BUFFER_SIZE, 0, 16},
    {KSIM_SET_BUFFER_SIZE, 16, 0},
    {KSIM_SET_SECOND_BUFFER_SIZE, 16, 0},
};

static NTSTATUS CheckShape(uint32_t code, ULONG inSize, ULONG outSize) {
    size_t i;
    for (i = 0; i < sizeof(kShapes) / sizeof(kShapes[0]); ++i) {
        if (kShapes[i].code == code) {
            return kShapes[i].inSize == inSize && kShapes[i].outSize == outSize
                       ? STATUS_SUCCESS
                       : STATUS_INVALID_PARAMETER;
        }
    }
    return STATUS_INVALID_DEVICE_REQUEST;
}

static NTSTATUS FillUnitList(uint8_t* buffer) {
    uint32_t list[1 + KSIM_MAX_UNITS];
    uint32_t i;
    RtlZeroMemory(list, sizeof(list));
    if (g_sim.unitListOverride.active) {
        list[0] = g_sim.unitListOverride.count;
        RtlCopyMemory(&list[1], g_sim.unitListOverride.ids, sizeof(g_sim.unitListOverride.ids));
    } else {
        list[0] = g_sim.unitCount;
        for (i = 0; i < g_sim.unitCount; ++i) {
            list[1 + i] = g_sim.units[i]->id;
        }
    }
    RtlCopyMemory(buffer, list, KSIM_UNIT_LIST_SIZE);
    return STATUS_SUCCESS;
}

static NTSTATUS FillUnitInfo(uint32_t id, uint8_t* buffer) {
    uint32_t words[3];
    uint32_t i;
    static const char name[] = KSIM_INFO_NAME;

    for (i = 0; i < g_sim.infoFailCount; ++i) {
        if (g_sim.infoFail[i] == id) {
            return KsimStatusFromWin32(KSIM_INFO_FAIL_ERROR);
        }
    }
    if (!KsimUnitListedLocked(id)) {
        return KsimStatusFromWin32(KSIM_INFO_FAIL_ERROR);
    }
    words[0] = id;
    words[1] = 1; /* internal clock until a selector command says otherwise */
    for (i = 0; i < g_sim.unitCount; ++i) {
        if (g_sim.units[i]->id == id) {
            words[1] = g_sim.units[i]->plug;
        }
    }
    words[2] = g_sim.rateRecord[1];
    RtlZeroMemory(buffer, KSIM_UNIT_INFO_SIZE);
    RtlCopyMemory(buffer, words, sizeof(words));
    RtlCopyMemory(buffer + KSIM_INFO_NAME_OFFSET, name, sizeof(name));
    return STATUS_SUCCESS;
}

/* Serves one well-formed request; buffer is the METHOD_BUFFERED system buffer, whose input has
 * already been logged. */
static NTSTATUS Serve(uint32_t code, uint8_t* buffer, ULONG_PTR* information) {
    uint32_t id;
    switch (code) {
    case KSIM_GET_SAMPLE_RATE:
        /* Without a unit on the bus there is no clock to report. */
        if (g_sim.unitCount == 0) {
            return KsimStatusFromWin32(1167); /* ERROR_DEVICE_NOT_CONNECTED */
        }
        RtlCopyMemory(buffer, g_sim.rateRecord, 8);
        *information = 8;
        return STATUS_SUCCESS;
    case KSIM_SET_SAMPLE_RATE:
        RtlCopyMemory(g_sim.rateRecord, buffer, 8);
        return STATUS_SUCCESS;
    case KSIM_GET_UNIT_LIST:
        *information = KSIM_UNIT_LIST_SIZE;
        return FillUnitList(buffer);
    case KSIM_GET_UNIT_INFO:
        RtlCopyMemory(&id, buffer, 4);
        *information = KSIM_UNIT_INFO_SIZE;
        return FillUnitInfo(id, buffer);
    case KSIM_APPLY_STAGE_ONE:
        ++g_sim.applyStageOneCount;
        return STATUS_SUCCESS;
    case KSIM_APPLY_STAGE_TWO:
        ++g_sim.applyStageTwoCount;
        return STATUS_SUCCESS;
    case KSIM_GET_CPU_LEVEL:
        RtlCopyMemory(buffer, g_sim.cpuRecord, 16);
        *information = 16;
        return STATUS_SUCCESS;
    case KSIM_SET_CPU_LEVEL:
        RtlCopyMemory(g_sim.cpuRecord, buffer, 16);
        return STATUS_SUCCESS;
    case KSIM_GET_BUFFER_SIZE:
        RtlCopyMemory(buffer, g_sim.bufferRecord, 16);
        *information = 16;
        return STATUS_SUCCESS;
    case KSIM_SET_BUFFER_SIZE:
        RtlCopyMemory(g_sim.bufferRecord, buffer, 16);
        return STATUS_SUCCESS;
    case KSIM_SET_SECOND_BUFFER_SIZE:
        RtlCopyMemory(g_sim.secondBufferRecord, buffer, 16);
        return STATUS_SUCCESS;
    default:
        return STATUS_INVALID_DEVICE_REQUEST;
    }
}

NTSTATUS KsimControlIoctl(PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    uint32_t code = stack->Parameters.DeviceIoControl.IoControlCode;
    ULONG inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
    uint8_t* buffer = (uint8_t*)irp->AssociatedIrp.SystemBuffer;
    ULONG_PTR information = 0;
    NTSTATUS status;
    uint32_t sequence;
    KIRQL irql;

    KeAcquireSpinLock(&g_sim.lock, &irql);
    sequence = KsimLogAppendLocked(KSIM_LOG_TARGET_CONTROL, code, buffer, inSize, outSize, 0);
    status = CheckShape(code, inSize, outSize);
    if (NT_SUCCESS(status) && !KsimTakeFaultLocked(code, KSIM_LOG_TARGET_CONTROL, &status)) {
        status = Serve(code, buffer, &information);
    }
    if (NT_SUCCESS(status)) {
        information = KsimShortenLocked(code, information);
    } else {
        information = 0;
    }
    KsimLogSetStatusLocked(sequence, RtlNtStatusToDosError(status));
    KeReleaseSpinLock(&g_sim.lock, irql);
    return KsimComplete(irp, status, information);
}
