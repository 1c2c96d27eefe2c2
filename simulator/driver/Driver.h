/* Internal declarations of the simulator driver (kestrelsim.sys). */
#ifndef KESTREL_SIM_DRIVER_H
#define KESTREL_SIM_DRIVER_H

#include <ntifs.h>

#include "../KestrelSimProtocol.h"

/* Pool tag "KSim" as it reads in a memory dump. */
#define KSIM_TAG 0x6D69534Bu

/* Every device object of the driver starts its extension with its kind. */
typedef enum KSIM_KIND {
    KsimKindControl,    /* the driver's control device */
    KsimKindSimControl, /* the simulator's own control device */
    KsimKindBus,        /* the bus FDO on the root-enumerated device */
    KsimKindUnit        /* a raw child PDO, one per plugged unit */
} KSIM_KIND;

/* Plugged units, and unplugged ones that PnP has not yet removed. */
#define KSIM_SLOTS (2 * KSIM_MAX_UNITS)

typedef struct KSIM_EXTENSION {
    KSIM_KIND kind;
} KSIM_EXTENSION;

typedef struct KSIM_BUS {
    KSIM_EXTENSION header;
    PDEVICE_OBJECT pdo;
    PDEVICE_OBJECT lower;
} KSIM_BUS;

typedef struct KSIM_UNIT {
    KSIM_EXTENSION header;
    PDEVICE_OBJECT self;
    uint32_t id;
    uint32_t slot; /* its place, held from the plug until its device object is deleted */
    uint32_t plug;
    BOOLEAN plugged;    /* in the unit table; cleared by unplug */
    BOOLEAN reported;   /* PnP has been told of it, so PnP will remove it */
    BOOLEAN started;    /* between start and (surprise) removal */
    BOOLEAN linkValid;  /* interface registered, link holds its name */
    BOOLEAN linkHidden; /* its symbolic link removed, so that opening its path fails */
    UNICODE_STRING link;
    /* The NOTIFY response the unit has ready, and the caller's event, duplicated into this
     * process, that it signals when one arrives. */
    HANDLE notifyEvent;
    BOOLEAN notifyReady;
    uint32_t notifyLength;
    uint8_t notifyFrame[KSIM_FRAME_MAX];
} KSIM_UNIT;

typedef struct KSIM_FAULT_RULE {
    BOOLEAN used;
    BOOLEAN always;
    uint32_t code;
    uint32_t error;
    uint32_t remaining;
    uint32_t unit;   /* 0: any target */
    uint32_t passes; /* matching requests still let through before the first failure */
} KSIM_FAULT_RULE;

typedef struct KSIM_SHORT_RULE {
    BOOLEAN used;
    uint32_t code;
    uint32_t bytes;
} KSIM_SHORT_RULE;

/* The whole simulated state; every field is guarded by lock, but for linkLock. */
typedef struct KSIM_GLOBALS {
    KSPIN_LOCK lock;
    /* Held while a unit's symbolic link is made, removed or freed, which happens outside lock:
     * a unit found under lock stays alive, and its link stays valid, while this is held. */
    KEVENT linkLock; /* a synchronization event, signalled while free */
    PDRIVER_OBJECT driver;
    PDEVICE_OBJECT control;
    PDEVICE_OBJECT simControl;
    PDEVICE_OBJECT busPdo; /* the root-enumerated device below the bus FDO, once added */
    HANDLE ownProcess;     /* the driver's host process, told apart from requesting ones */

    KSIM_UNIT* units[KSIM_MAX_UNITS]; /* plugged units, in the order of their places */
    uint32_t unitCount;
    /* Places in use; a unit's identifier, and its PnP instance, is KSIM_FIRST_UNIT_ID plus its
     * place. Places are taken again once free, as a real unit comes back under its own serial
     * number: PnP keeps a registry entry for every instance it has seen, and ever new instances
     * would make every later enumeration slower. */
    BOOLEAN slotUsed[KSIM_SLOTS];

    uint32_t rateRecord[2];
    uint32_t bufferRecord[4];
    uint32_t secondBufferRecord[4];
    uint32_t cpuRecord[4];
    uint32_t applyStageOneCount;
    uint32_t applyStageTwoCount;

    KSIM_FAULT_RULE faults[KSIM_MAX_FAULTS];
    KSIM_SHORT_RULE shortReplies[KSIM_MAX_FAULTS];
    uint32_t infoFail[KSIM_MAX_FAULTS];
    uint32_t infoFailCount;
    KsimUnitListOverride unitListOverride;
    uint32_t response;
    uint32_t pendMilliseconds;
    BOOLEAN controlPathPresent; /* changed outside the lock, by KsimSetControlPathPresent */

    KsimLogEntry* log; /* ring of KSIM_LOG_CAPACITY entries */
    uint32_t logFirst; /* index of the oldest entry */
    uint32_t logCount;
    uint32_t nextSequence;

    LIST_ENTRY pending; /* KSIM_PENDING records of unit requests completed later */
} KSIM_GLOBALS;

extern KSIM_GLOBALS g_sim;

/* State.c */
NTSTATUS KsimStateInit(void);
void KsimStateFree(void);
void KsimResetSettingsLocked(void); /* records, faults, response, pend; not units or log */
void KsimClearFaultsLocked(void);   /* request faults, short replies, unit list; not paths */
NTSTATUS KsimStatusFromWin32(uint32_t error);
/* Fault injection for a request that passed its size checks: TRUE when it must fail. */
BOOLEAN KsimTakeFaultLocked(uint32_t code, uint32_t target, NTSTATUS* status);
ULONG_PTR KsimShortenLocked(uint32_t code, ULONG_PTR length);
BOOLEAN KsimUnitListedLocked(uint32_t id);

/* Log.c */
uint32_t KsimLogAppendLocked(uint32_t target, uint32_t code, const void* input, ULONG inputSize,
                             ULONG outputSize, uint32_t status);
void KsimLogSetStatusLocked(uint32_t sequence, uint32_t status);
void KsimLogClearLocked(void);
ULONG KsimLogReadLocked(uint32_t firstSequence, KsimLogEntry* out, ULONG capacity);

/* Driver.c */
NTSTATUS KsimComplete(PIRP irp, NTSTATUS status, ULONG_PTR information);
/* Makes or removes the control device's Win32 path, as a loaded or missing driver would have
 * it; the device itself and handles already open stay. Runs outside the lock. */
NTSTATUS KsimSetControlPathPresent(BOOLEAN present);

/* Control.c: the driver's control device. */
NTSTATUS KsimControlIoctl(PIRP irp);

/* SimControl.c: the simulator's private control device. */
NTSTATUS KsimSimControlIoctl(PIRP irp);

/* Bus.c */
NTSTATUS NTAPI KsimAddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo);
NTSTATUS KsimBusPnp(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS KsimBusPower(PDEVICE_OBJECT device, PIRP irp);
/* Plugging and unplugging change the unit table and ask PnP to enumerate again. */
NTSTATUS KsimPlugLocked(uint32_t count, KsimIdList* ids);
BOOLEAN KsimUnplugLocked(uint32_t id);
/* Gives the unit's place back; its device object is being deleted. */
void KsimReleaseSlotLocked(KSIM_UNIT* unit);
void KsimInvalidateBus(void);

/* UnitPnp.c */
NTSTATUS KsimUnitPnp(PDEVICE_OBJECT device, PIRP irp);
/* Removes or restores the symbolic link of a started unit's interface; outside the lock. */
NTSTATUS KsimSetUnitLinkHidden(uint32_t id, BOOLEAN hidden);
void KsimRestoreUnitLinks(void);

/* UnitRequests.c */
NTSTATUS KsimUnitIoctl(PDEVICE_OBJECT device, PIRP irp);

/* Pending.c: unit requests completed later. */
NTSTATUS KsimPendLocked(PIRP irp, KSIM_UNIT* unit, uint32_t sequence, ULONG milliseconds,
                        NTSTATUS status, ULONG_PTR information);
void KsimFailPendingForUnit(KSIM_UNIT* unit, NTSTATUS status);

#endif
