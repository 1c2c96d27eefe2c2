/* The simulated driver state and the fault-injection rules. */
#include "Driver.h"

KSIM_GLOBALS g_sim;

NTSTATUS KsimStateInit(void) {
    KeInitializeSpinLock(&g_sim.lock);
    KeInitializeEvent(&g_sim.linkLock, SynchronizationEvent, TRUE);
    InitializeListHead(&g_sim.pending);
    g_sim.log = (KsimLogEntry*)ExAllocatePoolWithTag(
        NonPagedPool, sizeof(KsimLogEntry) * KSIM_LOG_CAPACITY, KSIM_TAG);
    if (!g_sim.log) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    g_sim.nextSequence = 1;
    KsimResetSettingsLocked();
    return STATUS_SUCCESS;
}

void KsimStateFree(void) {
    if (g_sim.log) {
        ExFreePoolWithTag(g_sim.log, KSIM_TAG);
        g_sim.log = NULL;
    }
}

void KsimResetSettingsLocked(void) {
    g_sim.rateRecord[0] = KSIM_RATE_WORD0;
    g_sim.rateRecord[1] = KSIM_DEFAULT_RATE;
    g_sim.bufferRecord[0] = KSIM_DEFAULT_BUFFER_US;
    g_sim.bufferRecord[1] = KSIM_BUFFER_WORD1;
    g_sim.bufferRecord[2] = KSIM_BUFFER_WORD2;
    g_sim.bufferRecord[3] = KSIM_BUFFER_WORD3;
    RtlCopyMemory(g_sim.secondBufferRecord, g_sim.bufferRecord, sizeof(g_sim.bufferRecord));
    g_sim.cpuRecord[0] = KSIM_CPU_WORD0;
    g_sim.cpuRecord[1] = KSIM_CPU_WORD1;
    g_sim.cpuRecord[2] = KSIM_CPU_WORD2;
    g_sim.cpuRecord[3] = KSIM_DEFAULT_CPU_LEVEL;
    g_sim.applyStageOneCount = 0;
    g_sim.applyStageTwoCount = 0;
    KsimClearFaultsLocked();
    g_sim.response = KSIM_AVC_ACCEPTED;
    g_sim.pendMilliseconds = 0;
}

void KsimClearFaultsLocked(void) {
    RtlZeroMemory(g_sim.faults, sizeof(g_sim.faults));
    RtlZeroMemory(g_sim.shortReplies, sizeof(g_sim.shortReplies));
    g_sim.infoFailCount = 0;
    RtlZeroMemory(&g_sim.unitListOverride, sizeof(g_sim.unitListOverride));
}

/* Driver codes (top three bits set) carry the customer bit, which the NTSTATUS-to-Win32 mapping
 * passes through unchanged; any other error travels as an NTSTATUS of the Win32 facility. */
NTSTATUS KsimStatusFromWin32(uint32_t error) {
    if (error == 0) {
        return STATUS_SUCCESS;
    }
    if ((error & 0xE0000000u) == 0xE0000000u) {
        return (NTSTATUS)error;
    }
    return (NTSTATUS)(0xC0070000u | (error & 0xFFFFu));
}

/* A request matches at most two rules, one for its unit and one for any target (a rule takes
 * the place of an earlier one of the same code and unit), and the outcome does not depend on
 * where they are kept: every matching rule counts the request towards its `from`, whether the
 * request fails or not; of the rules past their `from`, the one for the unit fails the request,
 * else the one for any target; only the rule that fails it uses up one of its count. */
BOOLEAN KsimTakeFaultLocked(uint32_t code, uint32_t target, NTSTATUS* status) {
    KSIM_FAULT_RULE* firing = NULL;
    uint32_t i;
    for (i = 0; i < KSIM_MAX_FAULTS; ++i) {
        KSIM_FAULT_RULE* rule = &g_sim.faults[i];
        if (!rule->used || rule->code != code || (rule->unit != 0 && rule->unit != target)) {
            continue;
        }
        if (rule->passes != 0) {
            --rule->passes;
        } else if (!firing || firing->unit == 0) {
            firing = rule;
        }
    }
    if (!firing) {
        return FALSE;
    }
    *status = KsimStatusFromWin32(firing->error);
    if (!firing->always && --firing->remaining == 0) {
        firing->used = FALSE;
    }
    return TRUE;
}

ULONG_PTR KsimShortenLocked(uint32_t code, ULONG_PTR length) {
    uint32_t i;
    for (i = 0; i < KSIM_MAX_FAULTS; ++i) {
        if (g_sim.shortReplies[i].used && g_sim.shortReplies[i].code == code &&
            g_sim.shortReplies[i].bytes < length) {
            return g_sim.shortReplies[i].bytes;
        }
    }
    return length;
}

/* Identifiers the unit-information request knows: plugged units and, while a replacement
 * list is active, the identifiers it names. */
BOOLEAN KsimUnitListedLocked(uint32_t id) {
    uint32_t i;
    for (i = 0; i < g_sim.unitCount; ++i) {
        if (g_sim.units[i]->id == id) {
            return TRUE;
        }
    }
    if (g_sim.unitListOverride.active) {
        uint32_t n = g_sim.unitListOverride.count;
        if (n > KSIM_MAX_UNITS) {
            n = KSIM_MAX_UNITS;
        }
        for (i = 0; i < n; ++i) {
            if (g_sim.unitListOverride.ids[i] == id) {
                return TRUE;
            }
        }
    }
    return FALSE;
}
