/* The four requests of a unit's interface: AV/C command frames and the NOTIFY handshake. */
#include "Driver.h"

typedef struct UNIT_SHAPE {
    uint32_t code;
    ULONG inSize;
    ULONG outSize;
} UNIT_SHAPE;

static const UNIT_SHAPE kUnitShapes[] = {
    {KSIM_SEND_REQUEST, KSIM_REQUEST_BLOCK_SIZE, KSIM_RESPONSE_BLOCK_SIZE},
    {KSIM_GET_NOTIFY_RESPONSE, 0, KSIM_RESPONSE_BLOCK_SIZE},
    {KSIM_REGISTER_NOTIFY_EVENT, 4, 0},
    {KSIM_UNREGISTER_NOTIFY_EVENT, 0, 0},
};

static NTSTATUS CheckUnitShape(uint32_t code, ULONG inSize, ULONG outSize) {
    size_t i;
    for (i = 0; i < sizeof(kUnitShapes) / sizeof(kUnitShapes[0]); ++i) {
        if (kUnitShapes[i].code == code) {
            return kUnitShapes[i].inSize == inSize && kUnitShapes[i].outSize == outSize
                       ? STATUS_SUCCESS
                       : STATUS_INVALID_PARAMETER;
        }
    }
    return STATUS_INVALID_DEVICE_REQUEST;
}

/* The AV/C FUNCTION BLOCK selector CONTROL command for the clock selector (function block 1):
 * byte 7 is the selected input plug. */
static BOOLEAN IsClockSelector(const uint8_t* frame, uint32_t length) {
    static const uint8_t head[7] = {0x00, 0x08, 0xB8, 0x80, 0x01, 0x10, 0x02};
    return length >= 9 && RtlCompareMemory(frame, head, sizeof(head)) == sizeof(head) &&
           frame[8] == 0x01;
}

static NTSTATUS SendRequest(KSIM_UNIT* unit, uint8_t* buffer, ULONG_PTR* information) {
    uint32_t length;
    uint32_t response = g_sim.response;
    uint8_t frame[KSIM_FRAME_MAX];
    BOOLEAN notify;

    RtlCopyMemory(&length, buffer + 4, 4);
    if (length > KSIM_FRAME_MAX) {
        return STATUS_INVALID_PARAMETER;
    }
    RtlZeroMemory(frame, sizeof(frame));
    RtlCopyMemory(frame, buffer + 8, length);
    notify = length > 0 && (frame[0] & 0x0F) == KSIM_AVC_CTYPE_NOTIFY;
    if (notify && response == KSIM_AVC_ACCEPTED) {
        response = KSIM_AVC_INTERIM;
    }
    if (IsClockSelector(frame, length) &&
        (response == KSIM_AVC_ACCEPTED || response == KSIM_AVC_INTERIM)) {
        unit->plug = frame[7];
    }
    if (notify && response == KSIM_AVC_INTERIM) {
        /* The change a NOTIFY waits for arrives at once: the unit readies the final response
         * and signals the registered event. */
        RtlCopyMemory(unit->notifyFrame, frame, sizeof(frame));
        unit->notifyFrame[0] = (uint8_t)((frame[0] & 0xF0) | KSIM_AVC_CHANGED);
        unit->notifyLength = length;
        unit->notifyReady = TRUE;
        if (unit->notifyEvent) {
            ZwSetEvent(unit->notifyEvent, NULL);
        }
    }
    if (length > 0) {
        frame[0] = (uint8_t)((frame[0] & 0xF0) | response);
    }
    RtlZeroMemory(buffer, KSIM_RESPONSE_BLOCK_SIZE);
    RtlCopyMemory(buffer, &length, 4);
    RtlCopyMemory(buffer + 4, frame, KSIM_FRAME_MAX);
    *information = KSIM_RESPONSE_BLOCK_SIZE;
    return STATUS_SUCCESS;
}

static NTSTATUS GetNotifyResponse(KSIM_UNIT* unit, uint8_t* buffer, ULONG_PTR* information) {
    if (!unit->notifyReady) {
        return KsimStatusFromWin32(KSIM_NO_NOTIFY_ERROR);
    }
    RtlZeroMemory(buffer, KSIM_RESPONSE_BLOCK_SIZE);
    RtlCopyMemory(buffer, &unit->notifyLength, 4);
    RtlCopyMemory(buffer + 4, unit->notifyFrame, KSIM_FRAME_MAX);
    unit->notifyReady = FALSE;
    *information = KSIM_RESPONSE_BLOCK_SIZE;
    return STATUS_SUCCESS;
}

/* The caller sends its event handle's value; the handle lives in the caller's process, so it is
 * duplicated into this one (the driver's host process under Wine) before it can be signalled. */
static NTSTATUS DuplicateClientEvent(const uint8_t* buffer, HANDLE* local) {
    OBJECT_ATTRIBUTES attributes;
    CLIENT_ID client;
    HANDLE process;
    HANDLE remote;
    LONG value;
    NTSTATUS status;

    RtlCopyMemory(&value, buffer, 4);
    remote = (HANDLE)(LONG_PTR)value;
    InitializeObjectAttributes(&attributes, NULL, OBJ_KERNEL_HANDLE, NULL, NULL);
    /* Wine answers with the requesting process while it dispatches a request (its
     * IoGetRequestorProcessId is a stub). */
    client.UniqueProcess = PsGetCurrentProcessId();
    client.UniqueThread = NULL;
    if (client.UniqueProcess == g_sim.ownProcess) {
        return STATUS_NOT_SUPPORTED;
    }
    status = ZwOpenProcess(&process, PROCESS_DUP_HANDLE, &attributes, &client);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    status =
        ZwDuplicateObject(process, remote, NtCurrentProcess(), local, EVENT_MODIFY_STATE, 0, 0);
    ZwClose(process);
    return status;
}

static NTSTATUS Serve(KSIM_UNIT* unit, uint32_t code, uint8_t* buffer, HANDLE* event,
                      ULONG_PTR* information) {
    HANDLE old;
    switch (code) {
    case KSIM_SEND_REQUEST:
        return SendRequest(unit, buffer, information);
    case KSIM_GET_NOTIFY_RESPONSE:
        return GetNotifyResponse(unit, buffer, information);
    case KSIM_REGISTER_NOTIFY_EVENT:
        old = unit->notifyEvent;
        unit->notifyEvent = *event;
        *event = old;
        if (unit->notifyReady) {
            ZwSetEvent(unit->notifyEvent, NULL);
        }
        return STATUS_SUCCESS;
    case KSIM_UNREGISTER_NOTIFY_EVENT:
        *event = unit->notifyEvent;
        unit->notifyEvent = NULL;
        return STATUS_SUCCESS;
    default:
        return STATUS_INVALID_DEVICE_REQUEST;
    }
}

NTSTATUS KsimUnitIoctl(PDEVICE_OBJECT device, PIRP irp) {
    KSIM_UNIT* unit = (KSIM_UNIT*)device->DeviceExtension;
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    uint32_t code = stack->Parameters.DeviceIoControl.IoControlCode;
    ULONG inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
    uint8_t* buffer = (uint8_t*)irp->AssociatedIrp.SystemBuffer;
    ULONG_PTR information = 0;
    HANDLE event = NULL; /* in: the new event; out: the handle to close */
    NTSTATUS status;
    NTSTATUS eventStatus = STATUS_SUCCESS;
    uint32_t sequence;
    KIRQL irql;

    status = CheckUnitShape(code, inSize, outSize);
    if (NT_SUCCESS(status) && code == KSIM_REGISTER_NOTIFY_EVENT) {
        eventStatus = DuplicateClientEvent(buffer, &event);
    }

    KeAcquireSpinLock(&g_sim.lock, &irql);
    sequence = KsimLogAppendLocked(unit->id, code, buffer, inSize, outSize, 0);
    if (!unit->started) {
        status = STATUS_DEVICE_REMOVED;
    }
    if (NT_SUCCESS(status) && !KsimTakeFaultLocked(code, unit->id, &status)) {
        status =
            NT_SUCCESS(eventStatus) ? Serve(unit, code, buffer, &event, &information) : eventStatus;
    }
    information = NT_SUCCESS(status) ? KsimShortenLocked(code, information) : 0;
    if (g_sim.pendMilliseconds && unit->started) {
        status = KsimPendLocked(irp, unit, sequence, g_sim.pendMilliseconds, status, information);
        KeReleaseSpinLock(&g_sim.lock, irql);
        if (event) {
            ZwClose(event);
        }
        return status;
    }
    KsimLogSetStatusLocked(sequence, RtlNtStatusToDosError(status));
    KeReleaseSpinLock(&g_sim.lock, irql);
    if (event) {
        ZwClose(event);
    }
    return KsimComplete(irp, status, information);
}
