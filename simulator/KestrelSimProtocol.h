/* The KESTREL driver simulator's interfaces: the request codes and records of the driver it
 * stands in for, and the private requests of its own control device "\\.\KestrelSimControl".
 * Shared by the kernel driver (C), the kestrelsim console tool and the tests' support library
 * (C++), so it uses only fixed-width types and plain macros. */
#ifndef KESTREL_SIM_PROTOCOL_H
#define KESTREL_SIM_PROTOCOL_H

#include <stdint.h>

/* ---- The driver's own interface ---------------------------------------------------------- */

/* The control device, in the form the panel opens it. */
#define KSIM_CONTROL_DEVICE_PATH "\\\\.\\{995949F0-6D7F-4c14-9F0A-2F26E3255C2B}"

/* Control requests: device type 0x8088, METHOD_BUFFERED, FILE_ANY_ACCESS. */
#define KSIM_GET_SAMPLE_RATE 0x80882030u
#define KSIM_SET_SAMPLE_RATE 0x80882034u
#define KSIM_GET_UNIT_LIST 0x80882040u
#define KSIM_GET_UNIT_INFO 0x80882044u
#define KSIM_APPLY_STAGE_TWO 0x808820C0u
#define KSIM_APPLY_STAGE_ONE 0x808820C4u
#define KSIM_GET_CPU_LEVEL 0x80882100u
#define KSIM_SET_CPU_LEVEL 0x80882104u
#define KSIM_GET_BUFFER_SIZE 0x80882108u
#define KSIM_SET_BUFFER_SIZE 0x8088210Cu
#define KSIM_SET_SECOND_BUFFER_SIZE 0x80882114u

/* Unit interface requests. */
#define KSIM_SEND_REQUEST 0x80883004u
#define KSIM_GET_NOTIFY_RESPONSE 0x80883008u
#define KSIM_REGISTER_NOTIFY_EVENT 0x8088300Cu
#define KSIM_UNREGISTER_NOTIFY_EVENT 0x80883010u

#define KSIM_UNIT_LIST_SIZE 260u
#define KSIM_UNIT_INFO_SIZE 424u
#define KSIM_REQUEST_BLOCK_SIZE 520u
#define KSIM_RESPONSE_BLOCK_SIZE 516u
#define KSIM_FRAME_MAX 512u

/* The driver words the simulator puts into the records it hands out. */
#define KSIM_RATE_WORD0 0x4B530001u
#define KSIM_BUFFER_WORD1 0x4B530011u
#define KSIM_BUFFER_WORD2 0x4B530012u
#define KSIM_BUFFER_WORD3 0x4B530013u
#define KSIM_CPU_WORD0 0x4B530021u
#define KSIM_CPU_WORD1 0x4B530022u
#define KSIM_CPU_WORD2 0x4B530023u

/* Defaults after start and after a reset. */
#define KSIM_DEFAULT_RATE 48000u
#define KSIM_DEFAULT_BUFFER_US 2500u
#define KSIM_DEFAULT_CPU_LEVEL 2000u
#define KSIM_DEFAULT_UNITS 1u
/* A unit's identifier is this plus its place: the first place free after the plugged units. */
#define KSIM_FIRST_UNIT_ID 101u
#define KSIM_MAX_UNITS 64u

/* UnitInfo layout chosen by the simulator (424 bytes): word 0 the identifier, word 1 the
 * selected input plug, word 2 the sample rate, then a NUL-terminated model name. */
#define KSIM_INFO_NAME_OFFSET 12u
#define KSIM_INFO_NAME "Quillmar KESTREL"

/* What a failing unit-information request answers (the driver's DeviceNotFound). */
#define KSIM_INFO_FAIL_ERROR 0xE0008001u
/* GetNotifyResponse with no response waiting fails with ERROR_NO_DATA. */
#define KSIM_NO_NOTIFY_ERROR 232u

/* AV/C response codes (low four bits of the response frame's first byte). */
#define KSIM_AVC_NOT_IMPLEMENTED 0x8u
#define KSIM_AVC_ACCEPTED 0x9u
#define KSIM_AVC_REJECTED 0xAu
#define KSIM_AVC_CHANGED 0xDu
#define KSIM_AVC_INTERIM 0xFu
#define KSIM_AVC_CTYPE_CONTROL 0x0u
#define KSIM_AVC_CTYPE_NOTIFY 0x3u

/* ---- The simulator's private control device ----------------------------------------------- */

#define KSIM_SIM_DEVICE_PATH "\\\\.\\KestrelSimControl"

/* Device type 0x8089 keeps these apart from every code of the driver it stands in for. */
#define KSIM_SIM_CODE(function) ((0x8089u << 16) | ((uint32_t)(function) << 2))

#define KSIM_IOCTL_RESET KSIM_SIM_CODE(0x900)        /* in 0, out 0 */
#define KSIM_IOCTL_PLUG KSIM_SIM_CODE(0x901)         /* in uint32 count, out KsimIdList */
#define KSIM_IOCTL_UNPLUG KSIM_SIM_CODE(0x902)       /* in uint32 id or KSIM_ALL_UNITS */
#define KSIM_IOCTL_SET_VALUE KSIM_SIM_CODE(0x903)    /* in KsimValue */
#define KSIM_IOCTL_FAIL KSIM_SIM_CODE(0x904)         /* in KsimFault */
#define KSIM_IOCTL_CLEAR_FAULTS KSIM_SIM_CODE(0x905) /* in 0 */
#define KSIM_IOCTL_INFO_FAIL KSIM_SIM_CODE(0x906)    /* in uint32 id */
#define KSIM_IOCTL_UNIT_LIST KSIM_SIM_CODE(0x907)    /* in KsimUnitListOverride */
#define KSIM_IOCTL_SHORT_REPLY KSIM_SIM_CODE(0x908)  /* in KsimShortReply */
#define KSIM_IOCTL_RESPOND KSIM_SIM_CODE(0x909)      /* in uint32 AV/C response code */
#define KSIM_IOCTL_PEND KSIM_SIM_CODE(0x90A)         /* in uint32 milliseconds, 0 = off */
#define KSIM_IOCTL_GET_STATE KSIM_SIM_CODE(0x90B)    /* out KsimState */
#define KSIM_IOCTL_READ_LOG KSIM_SIM_CODE(0x90C)     /* in uint32 first sequence, out entries */
#define KSIM_IOCTL_CLEAR_LOG KSIM_SIM_CODE(0x90D)    /* in 0 */
#define KSIM_IOCTL_OPEN_FAIL KSIM_SIM_CODE(0x90E)    /* in KsimOpenFault */
#define KSIM_IOCTL_CONTROL_PATH KSIM_SIM_CODE(0x90F) /* in uint32 1 present, 0 absent */

#define KSIM_ALL_UNITS 0xFFFFFFFFu
#define KSIM_LOG_TARGET_CONTROL 0xFFFFFFFFu
#define KSIM_LOG_INPUT_MAX 520u
#define KSIM_LOG_CAPACITY 2048u
#define KSIM_MAX_FAULTS 16u

enum KsimValueKind { KSIM_VALUE_RATE = 1, KSIM_VALUE_BUFFER = 2, KSIM_VALUE_CPU = 3 };

typedef struct KsimIdList {
    uint32_t count;
    uint32_t ids[KSIM_MAX_UNITS];
} KsimIdList;

typedef struct KsimValue {
    uint32_t kind; /* KsimValueKind */
    uint32_t value;
} KsimValue;

typedef struct KsimFault {
    uint32_t code;
    uint32_t error; /* Win32 error the caller sees; 0xE... driver codes pass through as they are */
    uint32_t count; /* 0: every time */
    uint32_t unit;  /* only requests to this unit's interface; 0: any target */
    uint32_t from;  /* the first request that fails, counting those the rule matches (0 or 1: the
                       first); the ones before it pass */
} KsimFault;

/* While `failing`, opening the interface of unit `id` fails with ERROR_FILE_NOT_FOUND: its path
 * is gone, as for a unit that leaves between the enumeration and the open, while the interface
 * still enumerates. (Wine does not hand the status of IRP_MJ_CREATE back to CreateFile, so the
 * path is what can make an open fail.) */
typedef struct KsimOpenFault {
    uint32_t id;
    uint32_t failing;
} KsimOpenFault;

typedef struct KsimUnitListOverride {
    uint32_t active; /* 0 restores the real list */
    uint32_t count;  /* the count word answered, any value */
    uint32_t ids[KSIM_MAX_UNITS];
} KsimUnitListOverride;

typedef struct KsimShortReply {
    uint32_t code;
    uint32_t bytes;
} KsimShortReply;

typedef struct KsimUnitState {
    uint32_t id;
    uint32_t plug;
} KsimUnitState;

typedef struct KsimState {
    uint32_t unitCount;
    KsimUnitState units[KSIM_MAX_UNITS];
    uint32_t rateRecord[2];
    uint32_t bufferRecord[4];
    uint32_t secondBufferRecord[4];
    uint32_t cpuRecord[4];
    uint32_t applyStageOneCount;
    uint32_t applyStageTwoCount;
    uint32_t response;
    uint32_t pendMilliseconds;
    uint32_t nextSequence;
} KsimState;

typedef struct KsimLogEntry {
    uint32_t sequence;
    uint32_t target; /* KSIM_LOG_TARGET_CONTROL or the unit's identifier */
    uint32_t code;
    uint32_t inputSize; /* as sent; input holds the first KSIM_LOG_INPUT_MAX bytes */
    uint32_t outputSize;
    uint32_t status; /* Win32 error the caller saw; 997 while the request is still pending */
    uint8_t input[KSIM_LOG_INPUT_MAX];
} KsimLogEntry;

#endif
