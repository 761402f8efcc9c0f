/*
 * vestral.h: the public interface of the protection engine (libvestral.so).
 *
 * Plain C. Every exported function carries the prefix FM_, returns 1 (non-zero) for success and
 * 0 for failure, or a pointer that is null on failure, and never lets an exception out.
 * The records below are exchanged whole with the filter driver and with client code; their sizes
 * and offsets are fixed and checked at compile time.
 */
#ifndef VESTRAL_H
#define VESTRAL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#define VESTRAL_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define VESTRAL_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

#if defined(VESTRAL_BUILDING_LIBRARY)
#define VESTRAL_API __attribute__((visibility("default")))
#else
#define VESTRAL_API
#endif

/* ---- Limits ---------------------------------------------------------------------------- */

#define VESTRAL_ITEM_NAME_MAX 256      /* bytes of an item name (1 to 256) */
#define VESTRAL_ITEM_PROGRAMS_MAX 1000 /* bytes of a permitted-program string (2 to 1000) */
#define VESTRAL_ITEM_PROGRAMS_MIN 2
#define VESTRAL_ITEMS_MAX 1000         /* records in an ItemTable */
#define VESTRAL_FILTER_PATTERN_SIZE 256
#define VESTRAL_INTERFACE_VERSION 400u /* the only driver interface version the engine accepts */
#define VESTRAL_EVENT_BUFFER_SIZE 262135u /* output size of an event read (0x3FFF7) */

/* ---- Device names and control codes ---------------------------------------------------- */

#define VESTRAL_MONITOR_DEVICE "VESTRAL"
#define VESTRAL_CONTROL_DEVICE "MyControlDevice"
#define VESTRAL_DRIVER_FILE "vestrald" /* the driver's program file */
#define VESTRAL_DRIVER_SERVICE "VESTRAL"

#define VESTRAL_DEVICE_TYPE_MONITOR 0x8300u
#define VESTRAL_DEVICE_TYPE_CONTROL 0x8400u

/* Windows layout: device type in bits 16-31, access 14-15, function 2-13, transfer type 0-1. */
#define VESTRAL_CTL_CODE(type, function, method) \
    ((uint32_t)(((uint32_t)(type) << 16) | ((uint32_t)(function) << 2) | (uint32_t)(method)))

/* Monitor device */
#define IOCTL_VESTRAL_SET_DRIVES 0x83000000u      /* in 4: drive mask; out 4 */
#define IOCTL_VESTRAL_STARTUP 0x83000004u         /* no data */
#define IOCTL_VESTRAL_READ_EVENTS 0x8300000Bu     /* out 262135: EventEntry items */
#define IOCTL_VESTRAL_STOP_CAPTURE 0x83000010u    /* no data */
#define IOCTL_VESTRAL_START_CAPTURE 0x83000014u   /* in 4: start parameter */
#define IOCTL_VESTRAL_SET_FILTER 0x83000018u      /* in 1026: MonitorFilter */
#define IOCTL_VESTRAL_SET_TIME_MODE 0x8300001Cu   /* in 1: time-stamp mode byte */
#define IOCTL_VESTRAL_GET_VERSION 0x83000020u     /* out 4: interface version */

/* Control device */
#define IOCTL_CONTROL_FETCH_QUESTION 0x84000028u  /* out 12604: AccessQuestion */
#define IOCTL_CONTROL_SET_QUESTION_EVENT 0x8400002Cu /* in 4: question event handle, or 0 */
#define IOCTL_CONTROL_APPLY_ITEMS 0x84000030u     /* in 1264004: ItemTable */
#define IOCTL_CONTROL_PROTECT_ON 0x84000034u
#define IOCTL_CONTROL_PROTECT_OFF 0x84000038u
#define IOCTL_CONTROL_CLEAR_ITEMS 0x8400003Cu
#define IOCTL_CONTROL_GET_ITEMS 0x84000040u       /* out 1264004: ItemTable */
#define IOCTL_CONTROL_REPLY 0x84000044u           /* in 12604: AccessQuestion with decision */
#define IOCTL_CONTROL_FOLLOW_UP 0x84000048u       /* in 12604: the same AccessQuestion again */
#define IOCTL_CONTROL_EXE_ON 0x8400004Cu
#define IOCTL_CONTROL_EXE_OFF 0x84000050u

/* ---- Records --------------------------------------------------------------------------- */

/* One protected item. Name and program string are upper-case and not NUL-terminated: only the
 * first NameLength / ProgramsLength bytes are meaningful. ProgramsLength - 1 indexes a ':'. */
typedef struct ProtectedItem {
    char Name[VESTRAL_ITEM_NAME_MAX];
    char Programs[VESTRAL_ITEM_PROGRAMS_MAX];
    uint32_t NameLength;     /* 1 to 256 */
    uint32_t ProgramsLength; /* 2 to 1000 */
} ProtectedItem;

/* The block exchanged whole with the driver; only the first Count records are meaningful. */
typedef struct ItemTable {
    uint32_t Count; /* 0 to 1000 */
    ProtectedItem Items[VESTRAL_ITEMS_MAX];
} ItemTable;

/* Filter block for the monitor device: four zero-terminated upper-case patterns, two switches. */
typedef struct MonitorFilter {
    char Pattern1[VESTRAL_FILTER_PATTERN_SIZE];
    char Pattern2[VESTRAL_FILTER_PATTERN_SIZE];
    char Pattern3[VESTRAL_FILTER_PATTERN_SIZE];
    char Pattern4[VESTRAL_FILTER_PATTERN_SIZE];
    uint8_t Switch1;
    uint8_t Switch2;
} MonitorFilter;

/* Kind of a file operation, derived from the driver's operation text. */
typedef uint16_t OperationKind;
enum {
    OperationCreate = 1,
    OperationRead = 2,
    OperationWrite = 3,
    OperationClose = 4,
    OperationOther = 5
};

/* The parsed form of one file-operation event. Every text is NUL-terminated within its field. */
typedef struct EventRecord {
    uint32_t Tag;            /* copied from the driver's entry without interpretation */
    OperationKind Operation;
    uint16_t Reserved1;      /* zero filler */
    int32_t Allowed;         /* 1 passed, 0 denied */
    char Time[257];
    char Process[257];
    char Path[513];
    char ItemName[257];
    char ItemPrograms[1001];
    char Reserved2[3];       /* zero filler */
} EventRecord;

/* Header of one event entry in the buffer of an event read; the NUL-terminated text follows,
 * then filler up to the next multiple of 4. The next entry begins at 16 + ((len + 4) & ~3). */
typedef struct EventEntryHeader {
    uint32_t Header;    /* not used by the engine */
    uint32_t Tag;
    uint64_t TimeStamp; /* FILETIME: 100-ns intervals since 1601-01-01 UTC */
} EventEntryHeader;

/* Decision codes written into an AccessQuestion before the reply. */
typedef int32_t AccessDecision;
enum {
    AllowUntilRestart = 1,
    DenyUntilRestart = 2,
    AllowOnce = 3,
    DenyOnce = 4,
    AllowAlways = 5
};

/* A question the driver puts when it holds an operation, and the engine's reply to it. */
typedef struct AccessQuestion {
    char FilePath[256];       /* the protected file, or the executable to be created/changed */
    char Process[1000];       /* the program that attempts the access */
    char ItemName[256];       /* the protected item concerned */
    char ItemPrograms[1000];  /* its permitted-program string; empty for executable files */
    uint8_t Reserved1[4];     /* driver's; travels back unchanged */
    AccessDecision Decision;  /* written by the engine before each reply */
    uint8_t Reserved2[10080]; /* driver's; travels back unchanged */
    uint32_t Valid;           /* set to 1 before each fetch; handled only if still 1 */
} AccessQuestion;

VESTRAL_STATIC_ASSERT(sizeof(ProtectedItem) == 1264, "ProtectedItem is 1264 bytes");
VESTRAL_STATIC_ASSERT(offsetof(ProtectedItem, Programs) == 256, "ProtectedItem.Programs");
VESTRAL_STATIC_ASSERT(offsetof(ProtectedItem, NameLength) == 1256, "ProtectedItem.NameLength");
VESTRAL_STATIC_ASSERT(offsetof(ProtectedItem, ProgramsLength) == 1260, "ProtectedItem.ProgramsLength");
VESTRAL_STATIC_ASSERT(sizeof(ItemTable) == 1264004, "ItemTable is 1264004 bytes");
VESTRAL_STATIC_ASSERT(offsetof(ItemTable, Items) == 4, "ItemTable.Items");
VESTRAL_STATIC_ASSERT(sizeof(MonitorFilter) == 1026, "MonitorFilter is 1026 bytes");
VESTRAL_STATIC_ASSERT(offsetof(MonitorFilter, Pattern2) == 256, "MonitorFilter.Pattern2");
VESTRAL_STATIC_ASSERT(offsetof(MonitorFilter, Pattern3) == 512, "MonitorFilter.Pattern3");
VESTRAL_STATIC_ASSERT(offsetof(MonitorFilter, Pattern4) == 768, "MonitorFilter.Pattern4");
VESTRAL_STATIC_ASSERT(offsetof(MonitorFilter, Switch1) == 1024, "MonitorFilter.Switch1");
VESTRAL_STATIC_ASSERT(offsetof(MonitorFilter, Switch2) == 1025, "MonitorFilter.Switch2");
VESTRAL_STATIC_ASSERT(sizeof(EventRecord) == 2300, "EventRecord is 2300 bytes");
VESTRAL_STATIC_ASSERT(offsetof(EventRecord, Operation) == 4, "EventRecord.Operation");
VESTRAL_STATIC_ASSERT(offsetof(EventRecord, Allowed) == 8, "EventRecord.Allowed");
VESTRAL_STATIC_ASSERT(offsetof(EventRecord, Time) == 12, "EventRecord.Time");
VESTRAL_STATIC_ASSERT(offsetof(EventRecord, Process) == 269, "EventRecord.Process");
VESTRAL_STATIC_ASSERT(offsetof(EventRecord, Path) == 526, "EventRecord.Path");
VESTRAL_STATIC_ASSERT(offsetof(EventRecord, ItemName) == 1039, "EventRecord.ItemName");
VESTRAL_STATIC_ASSERT(offsetof(EventRecord, ItemPrograms) == 1296, "EventRecord.ItemPrograms");
VESTRAL_STATIC_ASSERT(offsetof(EventRecord, Reserved2) == 2297, "EventRecord filler");
VESTRAL_STATIC_ASSERT(sizeof(EventEntryHeader) == 16, "EventEntryHeader is 16 bytes");
VESTRAL_STATIC_ASSERT(offsetof(EventEntryHeader, TimeStamp) == 8, "EventEntryHeader.TimeStamp");
VESTRAL_STATIC_ASSERT(sizeof(AccessQuestion) == 12604, "AccessQuestion is 12604 bytes");
VESTRAL_STATIC_ASSERT(offsetof(AccessQuestion, Process) == 256, "AccessQuestion.Process");
VESTRAL_STATIC_ASSERT(offsetof(AccessQuestion, ItemName) == 1256, "AccessQuestion.ItemName");
VESTRAL_STATIC_ASSERT(offsetof(AccessQuestion, ItemPrograms) == 1512, "AccessQuestion.ItemPrograms");
VESTRAL_STATIC_ASSERT(offsetof(AccessQuestion, Decision) == 2516, "AccessQuestion.Decision");
VESTRAL_STATIC_ASSERT(offsetof(AccessQuestion, Valid) == 12600, "AccessQuestion.Valid");
VESTRAL_STATIC_ASSERT(IOCTL_VESTRAL_READ_EVENTS == VESTRAL_CTL_CODE(0x8300, 2, 3), "event read code");
VESTRAL_STATIC_ASSERT(IOCTL_VESTRAL_GET_VERSION == VESTRAL_CTL_CODE(0x8300, 8, 0), "version code");
VESTRAL_STATIC_ASSERT(IOCTL_CONTROL_EXE_OFF == VESTRAL_CTL_CODE(0x8400, 20, 0), "exe-off code");

/* ---- Callbacks ------------------------------------------------------------------------- */

/* Called on the event capture thread with an engine-owned record, valid only during the call. */
typedef void (*FM_EventFunc)(const EventRecord* record);

/* ---- Start-up and item table ----------------------------------------------------------- */

/* Brings the driver up and readies the engine. 1 ready, 0 failed. */
VESTRAL_API int FM_Init(void);
/* 1 if the driver dropped all its items, else 0. The engine's own table is left unchanged. */
VESTRAL_API int FM_ClearItems(void);
/* Appends one item (upper-cased) to the engine's table. Returns the table, unchanged when the
 * item is refused, or null when there is none. The pointer stays engine memory. */
VESTRAL_API ItemTable* FM_AddItems(const char* name, uint32_t nameLength, const char* programs,
                                   uint32_t programsLength);
/* Releases the engine's table. */
VESTRAL_API void FM_ResetItems(void);
/* 1 if the driver took the table (the table is then released), else 0. */
VESTRAL_API int FM_ApplyItems(void);
/* The engine's table filled from the driver, or null. */
VESTRAL_API ItemTable* FM_GetItems(void);
/* Protection on (non-zero) or off. 1 done, 0 failed. */
VESTRAL_API int FM_SetControl(int on);
/* Executable protection on (non-zero) or off; works in any process without FM_Init. */
VESTRAL_API int FM_SetExeDfd(int on);
/* Sends the filter block (patterns upper-cased, low byte of each switch). 1 sent, 0 failed.
 * A null pattern, or one of 256 characters or more (it would not fit its field with its zero),
 * is refused: 0, nothing sent, the engine's filter block unchanged. */
VESTRAL_API int FM_SetFilter(const char* pattern1, const char* pattern2, const char* pattern3,
                             const char* pattern4, int switch1, int switch2);
/* Stores the general callback pointer (never called) and returns it. */
VESTRAL_API void* FM_SetCallBackFunc(void* function);
/* Stores the object event callback and returns it. */
VESTRAL_API FM_EventFunc FM_SetObjectEventFunc(FM_EventFunc function);
/* Stores the warning event callback and returns it. */
VESTRAL_API FM_EventFunc FM_SetWarningEventFunc(FM_EventFunc function);

#ifdef __cplusplus
}
#endif

#endif /* VESTRAL_H */
