/* The simulator's private control device: what tests change at run time. Its requests are not
 * logged; the log shows only what reaches the driver's own interfaces. */
#include "Driver.h"

static NTSTATUS ReadWord(const uint8_t* buffer, ULONG inSize, uint32_t* value) {
    if (inSize != 4) {
        return STATUS_INVALID_PARAMETER;
    }
    RtlCopyMemory(value, buffer, 4);
    return STATUS_SUCCESS;
}

static void UnplugAllLocked(void) {
    while (g_sim.unitCount) {
        KsimUnplugLocked(g_sim.units[0]->id);
    }
}

/* Back to the defaults. A single plugged unit is kept as it is (no removal and arrival), so a
 * reset between tests does not disturb windows that listen for device changes. */
static NTSTATUS ResetLocked(BOOLEAN* changed) {
    KsimIdList ids;
    uint32_t i;
    KsimResetSettingsLocked();
    KsimLogClearLocked();
    for (i = 0; i < g_sim.unitCount; ++i) {
        g_sim.units[i]->plug = 1;
        g_sim.units[i]->notifyReady = FALSE;
    }
    if (g_sim.unitCount == KSIM_DEFAULT_UNITS) {
        return STATUS_SUCCESS;
    }
    *changed = TRUE;
    UnplugAllLocked();
    return KsimPlugLocked(KSIM_DEFAULT_UNITS, &ids);
}

static NTSTATUS SetValueLocked(const KsimValue* value) {
    switch (value->kind) {
    case KSIM_VALUE_RATE:
        g_sim.rateRecord[1] = value->value;
        return STATUS_SUCCESS;
    case KSIM_VALUE_BUFFER:
        g_sim.bufferRecord[0] = value->value;
        return STATUS_SUCCESS;
    case KSIM_VALUE_CPU:
        g_sim.cpuRecord[3] = value->value;
        return STATUS_SUCCESS;
    default:
        return STATUS_INVALID_PARAMETER;
    }
}

/* A rule takes the place of an earlier one for the same code and unit. */
static NTSTATUS AddFaultLocked(const KsimFault* fault) {
    uint32_t i, free = KSIM_MAX_FAULTS;
    for (i = 0; i < KSIM_MAX_FAULTS; ++i) {
        if (g_sim.faults[i].used && g_sim.faults[i].code == fault->code &&
            g_sim.faults[i].unit == fault->unit) {
            free = i;
            break;
        }
        if (!g_sim.faults[i].used && free == KSIM_MAX_FAULTS) {
            free = i;
        }
    }
    if (free == KSIM_MAX_FAULTS || fault->error == 0) {
        return STATUS_INVALID_PARAMETER;
    }
    g_sim.faults[free].used = TRUE;
    g_sim.faults[free].always = fault->count == 0;
    g_sim.faults[free].code = fault->code;
    g_sim.faults[free].error = fault->error;
    g_sim.faults[free].remaining = fault->count;
    g_sim.faults[free].unit = fault->unit;
    g_sim.faults[free].passes = fault->from > 1 ? fault->from - 1 : 0;
    return STATUS_SUCCESS;
}

static NTSTATUS AddShortLocked(const KsimShortReply* reply) {
    uint32_t i, free = KSIM_MAX_FAULTS;
    for (i = 0; i < KSIM_MAX_FAULTS; ++i) {
        if (g_sim.shortReplies[i].used && g_sim.shortReplies[i].code == reply->code) {
            free = i;
            break;
        }
        if (!g_sim.shortReplies[i].used && free == KSIM_MAX_FAULTS) {
            free = i;
        }
    }
    if (free == KSIM_MAX_FAULTS) {
        return STATUS_INVALID_PARAMETER;
    }
    g_sim.shortReplies[free].used = TRUE;
    g_sim.shortReplies[free].code = reply->code;
    g_sim.shortReplies[free].bytes = reply->bytes;
    return STATUS_SUCCESS;
}

static void FillStateLocked(KsimState* state) {
    uint32_t i;
    RtlZeroMemory(state, sizeof(*state));
    state->unitCount = g_sim.unitCount;
    for (i = 0; i < g_sim.unitCount; ++i) {
        state->units[i].id = g_sim.units[i]->id;
        state->units[i].plug = g_sim.units[i]->plug;
    }
    RtlCopyMemory(state->rateRecord, g_sim.rateRecord, sizeof(state->rateRecord));
    RtlCopyMemory(state->bufferRecord, g_sim.bufferRecord, sizeof(state->bufferRecord));
    RtlCopyMemory(state->secondBufferRecord, g_sim.secondBufferRecord,
                  sizeof(state->secondBufferRecord));
    RtlCopyMemory(state->cpuRecord, g_sim.cpuRecord, sizeof(state->cpuRecord));
    state->applyStageOneCount = g_sim.applyStageOneCount;
    state->applyStageTwoCount = g_sim.applyStageTwoCount;
    state->response = g_sim.response;
    state->pendMilliseconds = g_sim.pendMilliseconds;
    state->nextSequence = g_sim.nextSequence;
}

static BOOLEAN IsResponseCode(uint32_t code) {
    return code == KSIM_AVC_ACCEPTED || code == KSIM_AVC_REJECTED ||
           code == KSIM_AVC_NOT_IMPLEMENTED || code == KSIM_AVC_INTERIM;
}

#define NEED_IN(size)                                                                              \
    if (inSize != (size) || outSize != 0) {                                                        \
        status = STATUS_INVALID_PARAMETER;                                                         \
        break;                                                                                     \
    }

/* What a request changes of the paths that open the control device and the units' interfaces:
 * symbolic links, made and removed outside the lock. */
typedef struct PATH_WORK {
    BOOLEAN setControl;
    BOOLEAN controlPresent;
    BOOLEAN restoreUnits;
    BOOLEAN setUnit;
    KsimOpenFault unit;
} PATH_WORK;

static NTSTATUS DoPathWork(const PATH_WORK* work) {
    NTSTATUS status = STATUS_SUCCESS;
    if (work->restoreUnits) {
        KsimRestoreUnitLinks();
    }
    if (work->setUnit) {
        status = KsimSetUnitLinkHidden(work->unit.id, work->unit.failing != 0);
    }
    if (NT_SUCCESS(status) && work->setControl) {
        status = KsimSetControlPathPresent(work->controlPresent);
    }
    return status;
}

static void RestoreAllPaths(PATH_WORK* work) {
    work->setControl = TRUE;
    work->controlPresent = TRUE;
    work->restoreUnits = TRUE;
}

static NTSTATUS ServeLocked(uint32_t code, uint8_t* buffer, ULONG inSize, ULONG outSize,
                            ULONG_PTR* information, BOOLEAN* changed, PATH_WORK* paths) {
    NTSTATUS status = STATUS_SUCCESS;
    uint32_t word = 0;
    switch (code) {
    case KSIM_IOCTL_RESET:
        NEED_IN(0);
        status = ResetLocked(changed);
        RestoreAllPaths(paths);
        break;
    case KSIM_IOCTL_PLUG: {
        KsimIdList ids;
        if (inSize != 4 || outSize != sizeof(KsimIdList)) {
            status = STATUS_INVALID_PARAMETER;
            break;
        }
        RtlCopyMemory(&word, buffer, 4);
        status = KsimPlugLocked(word, &ids);
        *changed = ids.count != 0;
        RtlCopyMemory(buffer, &ids, sizeof(ids));
        *information = sizeof(ids);
        break;
    }
    case KSIM_IOCTL_UNPLUG:
        NEED_IN(4);
        ReadWord(buffer, inSize, &word);
        if (word == KSIM_ALL_UNITS) {
            *changed = g_sim.unitCount != 0;
            UnplugAllLocked();
        } else if (KsimUnplugLocked(word)) {
            *changed = TRUE;
        } else {
            status = STATUS_NO_SUCH_DEVICE;
        }
        break;
    case KSIM_IOCTL_SET_VALUE:
        NEED_IN(sizeof(KsimValue));
        status = SetValueLocked((const KsimValue*)buffer);
        break;
    case KSIM_IOCTL_FAIL:
        NEED_IN(sizeof(KsimFault));
        status = AddFaultLocked((const KsimFault*)buffer);
        break;
    case KSIM_IOCTL_CLEAR_FAULTS:
        NEED_IN(0);
        KsimClearFaultsLocked();
        RestoreAllPaths(paths);
        break;
    case KSIM_IOCTL_OPEN_FAIL:
        NEED_IN(sizeof(KsimOpenFault));
        paths->setUnit = TRUE;
        RtlCopyMemory(&paths->unit, buffer, sizeof(KsimOpenFault));
        break;
    case KSIM_IOCTL_CONTROL_PATH:
        NEED_IN(4);
        ReadWord(buffer, inSize, &word);
        if (word > 1) {
            status = STATUS_INVALID_PARAMETER;
            break;
        }
        paths->setControl = TRUE;
        paths->controlPresent = word != 0;
        break;
    case KSIM_IOCTL_INFO_FAIL:
        NEED_IN(4);
        if (g_sim.infoFailCount == KSIM_MAX_FAULTS) {
            status = STATUS_INSUFFICIENT_RESOURCES;
            break;
        }
        ReadWord(buffer, inSize, &g_sim.infoFail[g_sim.infoFailCount++]);
        break;
    case KSIM_IOCTL_UNIT_LIST:
        NEED_IN(sizeof(KsimUnitListOverride));
        RtlCopyMemory(&g_sim.unitListOverride, buffer, sizeof(KsimUnitListOverride));
        break;
    case KSIM_IOCTL_SHORT_REPLY:
        NEED_IN(sizeof(KsimShortReply));
        status = AddShortLocked((const KsimShortReply*)buffer);
        break;
    case KSIM_IOCTL_RESPOND:
        NEED_IN(4);
        ReadWord(buffer, inSize, &word);
        if (!IsResponseCode(word)) {
            status = STATUS_INVALID_PARAMETER;
            break;
        }
        g_sim.response = word;
        break;
    case KSIM_IOCTL_PEND:
        NEED_IN(4);
        ReadWord(buffer, inSize, &g_sim.pendMilliseconds);
        break;
    case KSIM_IOCTL_GET_STATE:
        if (inSize != 0 || outSize != sizeof(KsimState)) {
            status = STATUS_INVALID_PARAMETER;
            break;
        }
        FillStateLocked((KsimState*)buffer);
        *information = sizeof(KsimState);
        break;
    case KSIM_IOCTL_READ_LOG:
        if (inSize != 4 || outSize < sizeof(KsimLogEntry)) {
            status = STATUS_INVALID_PARAMETER;
            break;
        }
        RtlCopyMemory(&word, buffer, 4);
        *information = sizeof(KsimLogEntry) * KsimLogReadLocked(word, (KsimLogEntry*)buffer,
                                                                outSize / sizeof(KsimLogEntry));
        break;
    case KSIM_IOCTL_CLEAR_LOG:
        NEED_IN(0);
        KsimLogClearLocked();
        break;
    default:
        status = STATUS_INVALID_DEVICE_REQUEST;
        break;
    }
    return status;
}

NTSTATUS KsimSimControlIoctl(PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    uint32_t code = stack->Parameters.DeviceIoControl.IoControlCode;
    ULONG inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
    ULONG_PTR information = 0;
    BOOLEAN changed = FALSE;
    PATH_WORK paths;
    NTSTATUS status;
    KIRQL irql;

    RtlZeroMemory(&paths, sizeof(paths));
    KeAcquireSpinLock(&g_sim.lock, &irql);
    status = ServeLocked(code, (uint8_t*)irp->AssociatedIrp.SystemBuffer, inSize, outSize,
                         &information, &changed, &paths);
    KeReleaseSpinLock(&g_sim.lock, irql);
    if (NT_SUCCESS(status)) {
        status = DoPathWork(&paths);
    }
    if (changed) {
        KsimInvalidateBus();
    }
    return KsimComplete(irp, status, NT_SUCCESS(status) ? information : 0);
}
