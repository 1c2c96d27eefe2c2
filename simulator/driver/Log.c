/* The request log: a ring of the last KSIM_LOG_CAPACITY requests, oldest first. */
#include "Driver.h"

uint32_t KsimLogAppendLocked(uint32_t target, uint32_t code, const void* input, ULONG inputSize,
                             ULONG outputSize, uint32_t status) {
    uint32_t index;
    KsimLogEntry* entry;
    ULONG captured = inputSize < KSIM_LOG_INPUT_MAX ? inputSize : KSIM_LOG_INPUT_MAX;

    if (g_sim.logCount < KSIM_LOG_CAPACITY) {
        index = (g_sim.logFirst + g_sim.logCount) % KSIM_LOG_CAPACITY;
        ++g_sim.logCount;
    } else {
        index = g_sim.logFirst;
        g_sim.logFirst = (g_sim.logFirst + 1) % KSIM_LOG_CAPACITY;
    }
    entry = &g_sim.log[index];
    RtlZeroMemory(entry, sizeof(*entry));
    entry->sequence = g_sim.nextSequence++;
    entry->target = target;
    entry->code = code;
    entry->inputSize = inputSize;
    entry->outputSize = outputSize;
    entry->status = status;
    if (input && captured) {
        RtlCopyMemory(entry->input, input, captured);
    }
    return entry->sequence;
}

void KsimLogSetStatusLocked(uint32_t sequence, uint32_t status) {
    uint32_t i;
    for (i = 0; i < g_sim.logCount; ++i) {
        KsimLogEntry* entry = &g_sim.log[(g_sim.logFirst + i) % KSIM_LOG_CAPACITY];
        if (entry->sequence == sequence) {
            entry->status = status;
            return;
        }
    }
}

void KsimLogClearLocked(void) {
    g_sim.logFirst = 0;
    g_sim.logCount = 0;
    g_sim.nextSequence = 1;
}

/* Copies the entries whose sequence is at least firstSequence, oldest first, as many as fit. */
ULONG KsimLogReadLocked(uint32_t firstSequence, KsimLogEntry* out, ULONG capacity) {
    uint32_t i;
    ULONG n = 0;
    for (i = 0; i < g_sim.logCount && n < capacity; ++i) {
        const KsimLogEntry* entry = &g_sim.log[(g_sim.logFirst + i) % KSIM_LOG_CAPACITY];
        if (entry->sequence >= firstSequence) {
            RtlCopyMemory(&out[n++], entry, sizeof(*entry));
        }
    }
    return n;
}
