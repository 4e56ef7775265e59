/*
 * The interface between the daemon and the engine module.
 *
 * Both sides compile this header: the daemon (C++, host compiler) and the
 * engine module (freestanding C, PE32 i386). Everything crossing the boundary
 * is a 32-bit word on i386: fixed-width integers and pointers only, no
 * structure is ever passed or returned by value, and every function on either
 * side uses the cdecl convention.
 */
#ifndef TARVO_ENGINE_API_H
#define TARVO_ENGINE_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* cdecl is the default on i386 for both compilers; spelling it out keeps a
 * changed default from breaking the boundary. Other targets know no cdecl. */
#if defined(__i386__)
#define TARVO_CDECL __attribute__((cdecl))
#else
#define TARVO_CDECL
#endif

/* For the host's services: the engine may call them with any stack alignment. */
#if defined(__i386__) || defined(__x86_64__)
#define TARVO_ALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define TARVO_ALIGN_STACK
#endif

#ifdef __cplusplus
#define TARVO_STATIC_ASSERT(cond, text) static_assert(cond, text)
#else
#define TARVO_STATIC_ASSERT(cond, text) _Static_assert(cond, text)
#endif

/* ------------------------------------------------------------------------ */
/* Host services                                                            */
/* ------------------------------------------------------------------------ */

/* Number of rows of the table handed to the entry. */
#define TARVO_HOST_SERVICE_COUNT 62

/*
 * The rows of the host-services table: ROW(row, name, argument count, kind).
 * The argument count does not include the calling context, which every
 * service takes first (the scan task, or 0 outside a scan).
 * Kinds: SERVICE (a real service), STUB_0 and STUB_MINUS_1 (answer the
 * constant 0 or -1), RESERVED (no service; any constant answer), NONE (a
 * null function pointer).
 */
#define TARVO_HOST_SERVICE_ROWS(ROW)                                                                         \
    ROW(0, TARVO_HS_STUB_0, 0, STUB_0)                                                                       \
    ROW(1, TARVO_HS_ALLOCATE, 1, SERVICE)                                                                    \
    ROW(2, TARVO_HS_FREE, 1, SERVICE)                                                                        \
    ROW(3, TARVO_HS_CREATE_FILE, 1, SERVICE)                                                                 \
    ROW(4, TARVO_HS_OPEN_FILE, 2, SERVICE)                                                                   \
    ROW(5, TARVO_HS_CLOSE, 1, SERVICE)                                                                       \
    ROW(6, TARVO_HS_READ, 3, SERVICE)                                                                        \
    ROW(7, TARVO_HS_WRITE, 3, SERVICE)                                                                       \
    ROW(8, TARVO_HS_SEEK_TO_START, 1, SERVICE)                                                               \
    ROW(9, TARVO_HS_SEEK_TO_END, 1, SERVICE)                                                                 \
    ROW(10, TARVO_HS_SEEK_FROM_START, 2, SERVICE)                                                            \
    ROW(11, TARVO_HS_SEEK_FROM_CURRENT, 2, SERVICE)                                                          \
    ROW(12, TARVO_HS_SEEK_FROM_END, 2, SERVICE)                                                              \
    ROW(13, TARVO_HS_FILE_LENGTH, 1, SERVICE)                                                                \
    ROW(14, TARVO_HS_RENAME, 2, SERVICE)                                                                     \
    ROW(15, TARVO_HS_TRUNCATE, 2, SERVICE)                                                                   \
    ROW(16, TARVO_HS_UNLINK, 1, SERVICE)                                                                     \
    ROW(17, TARVO_HS_GET_DATE_AND_TIME, 3, SERVICE)                                                          \
    ROW(18, TARVO_HS_SET_DATE_AND_TIME, 3, SERVICE)                                                          \
    ROW(19, TARVO_HS_GET_ATTRIBUTES, 1, SERVICE)                                                             \
    ROW(20, TARVO_HS_SET_ATTRIBUTES, 2, SERVICE)                                                             \
    ROW(21, TARVO_HS_STUB_21, 5, STUB_0)                                                                     \
    ROW(22, TARVO_HS_READ_DISK_SECTORS, 6, SERVICE)                                                          \
    ROW(23, TARVO_HS_WRITE_DISK_SECTORS, 6, SERVICE)                                                         \
    ROW(24, TARVO_HS_DISK_GEOMETRY, 5, SERVICE)                                                              \
    ROW(25, TARVO_HS_DRIVE_COUNT, 0, SERVICE)                                                                \
    ROW(26, TARVO_HS_STUB_26, 0, STUB_0)                                                                     \
    ROW(27, TARVO_HS_CREATE_TEMPORARY_FILE, 1, SERVICE)                                                      \
    ROW(28, TARVO_HS_RESERVED_28, 2, RESERVED)                                                               \
    ROW(29, TARVO_HS_NONE_29, 0, NONE)                                                                       \
    ROW(30, TARVO_HS_REPORT_PACKER, 3, SERVICE)                                                              \
    ROW(31, TARVO_HS_VIRUS_FOUND, 3, SERVICE)                                                                \
    ROW(32, TARVO_HS_QUERY, 2, SERVICE)                                                                      \
    ROW(33, TARVO_HS_STUB_33, 1, STUB_MINUS_1)                                                               \
    ROW(34, TARVO_HS_STUB_34, 0, STUB_MINUS_1)                                                               \
    ROW(35, TARVO_HS_STUB_35, 4, STUB_0)                                                                     \
    ROW(36, TARVO_HS_STUB_36, 0, STUB_0)                                                                     \
    ROW(37, TARVO_HS_STUB_37, 4, STUB_MINUS_1)                                                               \
    ROW(38, TARVO_HS_STUB_38, 4, STUB_MINUS_1)                                                               \
    ROW(39, TARVO_HS_STUB_39, 2, STUB_MINUS_1)                                                               \
    ROW(40, TARVO_HS_STUB_40, 4, STUB_MINUS_1)                                                               \
    ROW(41, TARVO_HS_STUB_41, 4, STUB_MINUS_1)                                                               \
    ROW(42, TARVO_HS_STUB_42, 4, STUB_MINUS_1)                                                               \
    ROW(43, TARVO_HS_STUB_43, 4, STUB_MINUS_1)                                                               \
    ROW(44, TARVO_HS_STUB_44, 0, STUB_MINUS_1)                                                               \
    ROW(45, TARVO_HS_STUB_45, 0, STUB_MINUS_1)                                                               \
    ROW(46, TARVO_HS_STUB_46, 2, STUB_MINUS_1)                                                               \
    ROW(47, TARVO_HS_STUB_47, 1, STUB_MINUS_1)                                                               \
    ROW(48, TARVO_HS_STUB_48, 1, STUB_MINUS_1)                                                               \
    ROW(49, TARVO_HS_STUB_49, 1, STUB_MINUS_1)                                                               \
    ROW(50, TARVO_HS_STUB_50, 2, STUB_MINUS_1)                                                               \
    ROW(51, TARVO_HS_ALLOCATE_51, 1, SERVICE)                                                                \
    ROW(52, TARVO_HS_FREE_52, 1, SERVICE)                                                                    \
    ROW(53, TARVO_HS_STUB_53, 1, STUB_MINUS_1)                                                               \
    ROW(54, TARVO_HS_STUB_54, 0, STUB_MINUS_1)                                                               \
    ROW(55, TARVO_HS_STUB_55, 2, STUB_MINUS_1)                                                               \
    ROW(56, TARVO_HS_STUB_56, 4, STUB_MINUS_1)                                                               \
    ROW(57, TARVO_HS_STUB_57, 4, STUB_MINUS_1)                                                               \
    ROW(58, TARVO_HS_STUB_58, 2, STUB_MINUS_1)                                                               \
    ROW(59, TARVO_HS_ALLOCATE_59, 1, SERVICE)                                                                \
    ROW(60, TARVO_HS_STUB_60, 3, STUB_MINUS_1)                                                               \
    ROW(61, TARVO_HS_NONE_61, 0, NONE)

/* Row numbers: TARVO_HS_ALLOCATE is 1, and so on. */
#define TARVO_HS_ROW_NUMBER_(row, name, argc, kind) name = row,
enum HostServiceRowNumber { TARVO_HOST_SERVICE_ROWS(TARVO_HS_ROW_NUMBER_) };
#undef TARVO_HS_ROW_NUMBER_

/* Argument counts: TARVO_HS_ALLOCATE_ARGC is 1, and so on. */
#define TARVO_HS_ROW_ARGC_(row, name, argc, kind) name##_ARGC = argc,
enum HostServiceArgumentCount { TARVO_HOST_SERVICE_ROWS(TARVO_HS_ROW_ARGC_) };
#undef TARVO_HS_ROW_ARGC_

/* The list holds each row once, in order, without gaps. */
#define TARVO_HS_ROW_ONE_(row, name, argc, kind) +1
#define TARVO_HS_ROW_SUM_(row, name, argc, kind) +row
TARVO_STATIC_ASSERT((0 TARVO_HOST_SERVICE_ROWS(TARVO_HS_ROW_ONE_)) == TARVO_HOST_SERVICE_COUNT,
                    "one row per host service");
TARVO_STATIC_ASSERT((0 TARVO_HOST_SERVICE_ROWS(TARVO_HS_ROW_SUM_)) ==
                        TARVO_HOST_SERVICE_COUNT * (TARVO_HOST_SERVICE_COUNT - 1) / 2,
                    "rows numbered 0 to 61");
#undef TARVO_HS_ROW_ONE_
#undef TARVO_HS_ROW_SUM_

/* Every row holds its function as this generic type; callers convert it to
 * the service's own type below before the call. */
typedef void(TARVO_CDECL* TarvoHostFunction)(void);

/* One row of the host-services table (`HostServiceTable` on the daemon's side). */
typedef struct HostServiceRow {
    TarvoHostFunction function;
    uint32_t argument_count;
} HostServiceRow;

/* The services' own types. Handles are file descriptors or memory-file
 * handles; -1, 0, 1, 2 and 3 are never valid. Failures answer -1. */
typedef void*(TARVO_CDECL* TarvoHsAllocateFn)(void* context, uint32_t size); /* 0 or -1 on failure */
typedef int32_t(TARVO_CDECL* TarvoHsFreeFn)(void* context, void* block);
typedef int32_t(TARVO_CDECL* TarvoHsCreateFileFn)(void* context, const char* name);
typedef int32_t(TARVO_CDECL* TarvoHsOpenFileFn)(void* context, const char* name, uint32_t mode);
typedef int32_t(TARVO_CDECL* TarvoHsHandleFn)(void* context, int32_t handle); /* close, seeks to start
                                                                                  and end, file length */
typedef int32_t(TARVO_CDECL* TarvoHsReadFn)(void* context, int32_t handle, void* buffer, uint32_t length);
typedef int32_t(TARVO_CDECL* TarvoHsWriteFn)(void* context, int32_t handle, const void* buffer,
                                             uint32_t length);
typedef int32_t(TARVO_CDECL* TarvoHsSeekFn)(void* context, int32_t handle, int32_t offset);
typedef int32_t(TARVO_CDECL* TarvoHsRenameFn)(void* context, const char* old_name, const char* new_name);
typedef int32_t(TARVO_CDECL* TarvoHsTruncateFn)(void* context, int32_t handle, uint32_t length);
typedef int32_t(TARVO_CDECL* TarvoHsUnlinkFn)(void* context, const char* name);
typedef int32_t(TARVO_CDECL* TarvoHsGetDateAndTimeFn)(void* context, int32_t handle, uint16_t* date,
                                                      uint16_t* time);
typedef int32_t(TARVO_CDECL* TarvoHsSetDateAndTimeFn)(void* context, int32_t handle, uint16_t date,
                                                      uint16_t time);
typedef int32_t(TARVO_CDECL* TarvoHsGetAttributesFn)(void* context, const char* name);
typedef int32_t(TARVO_CDECL* TarvoHsSetAttributesFn)(void* context, const char* name, uint32_t attributes);
/* Read and write disk sectors: drive key, two address parts a and b, first sector (from 1), count. */
typedef int32_t(TARVO_CDECL* TarvoHsDiskSectorsFn)(void* context, uint32_t drive, uint32_t a, uint32_t b,
                                                   uint32_t sector, uint32_t count, void* buffer);
typedef int32_t(TARVO_CDECL* TarvoHsDiskGeometryFn)(void* context, uint32_t drive, uint32_t* g0, uint32_t* g2,
                                                    uint32_t* g1, uint32_t* drive_count);
typedef int32_t(TARVO_CDECL* TarvoHsDriveCountFn)(void* context);
/* The buffer receives the file's name: TARVO_PATH_SIZE bytes. */
typedef int32_t(TARVO_CDECL* TarvoHsCreateTemporaryFileFn)(void* context, char* name);
/* The three reporting services take the scan task again after the context. */
typedef int32_t(TARVO_CDECL* TarvoHsReportPackerFn)(void* context, void* task, const char* name,
                                                    uint32_t flag);
typedef int32_t(TARVO_CDECL* TarvoHsVirusFoundFn)(void* context, void* task, const char* name, uint32_t kind);
typedef int32_t(TARVO_CDECL* TarvoHsQueryFn)(void* context, void* task, uint32_t code);

/* Modes of the open service. */
#define TARVO_OPEN_READ 0u
#define TARVO_OPEN_WRITE 1u
#define TARVO_OPEN_READ_WRITE 2u

/* Codes of the query service. */
#define TARVO_QUERY_MAY_CURE 0u   /* may the engine cure the object now */
#define TARVO_QUERY_ARCHIVES 4u   /* open ordinary containers */
#define TARVO_QUERY_MAIL_FILES 5u /* open mail containers */

/* Classes of a finding: the kind given to the virus-found service (1, 2 or
 * 4) and the answer of command 18. */
#define TARVO_CLASS_INFECTED 1
#define TARVO_CLASS_MODIFICATION 2
#define TARVO_CLASS_SUSPICIOUS 4
#define TARVO_CLASS_ADWARE 5
#define TARVO_CLASS_DIALER 6
#define TARVO_CLASS_JOKE 7
#define TARVO_CLASS_RISKWARE 8
#define TARVO_CLASS_HACKTOOL 9

/* ------------------------------------------------------------------------ */
/* Entry and dispatcher                                                     */
/* ------------------------------------------------------------------------ */

/* The one export of the engine module, looked up by this name. */
#define TARVO_INIT_DLL_NAME "TARVO_InitDll"

/* The value of the option word handed to the entry. */
#define TARVO_OPTION_WORD 7u

/* int fn(context, command, ...): the context is the scan task, or 0 for
 * commands that concern the whole engine. */
typedef int32_t(TARVO_CDECL* EngineDispatcher)(void* context, uint32_t command, ...);

/* TARVO_InitDll (table, TARVO_HOST_SERVICE_COUNT, pointer to the option
 * word, base-record result word of the last load): the dispatcher, or 0. */
typedef EngineDispatcher(TARVO_CDECL* TarvoInitDllEntry)(const HostServiceRow* table, uint32_t count,
                                                         uint32_t* options, uint32_t base_records);

/* Dispatcher commands. Each comment gives the context, the arguments that
 * follow the command, and the answer. */
enum EngineCommand {
    TARVO_CMD_LOAD_BASE = 0,        /* 0, base path: records; 0 empty, -2 skipped, -1 error */
    TARVO_CMD_BASES_LOADED = 1,     /* 0: -1 failure, else the base-record result word */
    TARVO_CMD_UNLOAD_BASES = 2,     /* 0: -1 failure */
    TARVO_CMD_SHUTDOWN = 3,         /* 0: sent before the module is unmapped */
    TARVO_CMD_SCAN_OBJECT = 4,      /* task, cure flag, mode word, path, size: result bits */
    TARVO_CMD_SCAN_BOOT_RECORD = 5, /* task, cure flag, mode word, six values: result bits */
    TARVO_CMD_VERSION = 8,          /* 0: engine version number */
    TARVO_CMD_SET_LIMIT = 9,        /* task, limit value: sent before every object; a container
                                     * with members past it answers command 13 with 0x20 */
    TARVO_CMD_CONTAINER_TYPE = 11,  /* task, type name buffer: container type number */
    TARVO_CMD_CONTAINER_OPEN = 12,  /* task, open flag: 0 walk, else result bits */
    TARVO_CMD_CONTAINER_NEXT = 13,  /* task, object record, 512 or 0: 0, 0x8000, -1 or result bits */
    TARVO_CMD_CONTAINER_SCAN = 14,  /* task, object record, mode word: result bits */
    TARVO_CMD_CONTAINER_CLOSE = 15, /* task, object record */
    TARVO_CMD_API_VERSION = 17,     /* 0: interface version, TARVO_API_VERSION (major, minor) */
    TARVO_CMD_FINDING_CLASS = 18,   /* task, name buffer: class 1..9, -1 or -2 when not given */
    TARVO_CMD_KEEP_ENGINE = 19,     /* task or 0, 3 or 0: non-zero keeps the engine on reload */
    TARVO_CMD_LIMIT = 20            /* one past the last command */
};

/* Answers of command 0 besides a record count. */
#define TARVO_BASE_EMPTY 0
#define TARVO_BASE_ERROR (-1)
#define TARVO_BASE_SKIPPED (-2)

/* Arguments of command 19: once after start-up, and per scan when asked. */
#define TARVO_KEEP_ENGINE_AT_START 0u
#define TARVO_KEEP_ENGINE_PER_SCAN 3u

/* Interface version of command 17: major in the high 16 bits. */
#define TARVO_API_VERSION(major, minor) ((((uint32_t)(major)) << 16) | (((uint32_t)(minor)) & 0xFFFFu))
#define TARVO_API_VERSION_MAJOR_OF(version) (((uint32_t)(version)) >> 16)
#define TARVO_API_VERSION_MINOR_OF(version) (((uint32_t)(version)) & 0xFFFFu)
/* The only interface major that the daemon accepts. */
#define TARVO_API_VERSION_MAJOR 2u

/* ------------------------------------------------------------------------ */
/* Result bits of an object                                                 */
/* ------------------------------------------------------------------------ */

#define TARVO_RESULT_INFECTED 0x1u
#define TARVO_RESULT_MODIFICATION 0x2u
#define TARVO_RESULT_SUSPICIOUS 0x4u
#define TARVO_RESULT_CURED 0x8u /* the object is scanned again */
#define TARVO_RESULT_INCURABLE 0x10u
#define TARVO_RESULT_READ_ERROR 0x20u
#define TARVO_RESULT_WRITE_ERROR 0x40u
#define TARVO_RESULT_DECOMPRESSION_ERROR 0x80u /* tested together with 0x40000 */
#define TARVO_RESULT_PASSWORD_PROTECTED 0x100u
#define TARVO_RESULT_DELETED 0x200u
#define TARVO_RESULT_MOVED 0x400u
#define TARVO_RESULT_RENAMED 0x800u
#define TARVO_RESULT_CONTAINER 0x1000u /* its objects are to be walked */
#define TARVO_RESULT_CRC_ERROR 0x2000u
#define TARVO_RESULT_HEADER_CRC_ERROR 0x4000u
#define TARVO_RESULT_NO_MORE_OBJECTS 0x8000u /* command 13 only */
#define TARVO_RESULT_NO_MEMORY_TO_EXTRACT 0x10000u
#define TARVO_RESULT_SPLIT_FILE 0x20000u
#define TARVO_RESULT_DECOMPRESSION_FATAL 0x40000u /* with 0x80 */
#define TARVO_RESULT_LEFT_ALONE 0x4000000u

#define TARVO_RESULT_MASK_DONE 0x4000E00u /* left alone, renamed, moved, deleted */
#define TARVO_RESULT_MASK_GONE 0x608u     /* deleted, moved, cured */
#define TARVO_RESULT_MASK_FATAL 0x44060u  /* 0x40000, header CRC, write and read error */
#define TARVO_RESULT_MASK_TIMEOUT_LIKE 0x460A0u

/* ------------------------------------------------------------------------ */
/* Buffers                                                                  */
/* ------------------------------------------------------------------------ */

/* A path: 4096 characters and the terminator. */
#define TARVO_PATH_SIZE 4097
/* The buffers of command 11 (type name) and command 18 (finding name),
 * terminator included: the engine writes no more. */
#define TARVO_TYPE_NAME_SIZE 256
#define TARVO_FINDING_NAME_SIZE 256
/* A boot record, and a disk sector. */
#define TARVO_SECTOR_SIZE 512

/* Object record of commands 13 to 15, one per open container level. */
#define TARVO_OBJECT_NAME_SIZE 4097
#define TARVO_OBJECT_HEADER_SIZE 4099
#define TARVO_OBJECT_RECORD_SIZE 8204
/* The second argument of command 13 that asks for the object's first bytes. */
#define TARVO_OBJECT_HEADER_REQUEST 512u

typedef struct TarvoObjectRecord {
    uint32_t unpacked_size;
    uint32_t packed_size;
    char name[TARVO_OBJECT_NAME_SIZE];
    uint8_t header[TARVO_OBJECT_HEADER_SIZE]; /* the object's first bytes */
} TarvoObjectRecord;

TARVO_STATIC_ASSERT(sizeof(TarvoObjectRecord) == TARVO_OBJECT_RECORD_SIZE, "object record layout");

/* Virus-base file header: the marker at any offset of the first 512 bytes,
 * the 96 bytes from the marker on wholly inside them. Offsets from the marker. */
#define TARVO_BASE_HEADER_WINDOW 512
#define TARVO_BASE_HEADER_SIZE 96
#define TARVO_BASE_MARKER "ITRV"
#define TARVO_BASE_CHECK "nayk"
#define TARVO_BASE_OFFSET_CHECK 44
#define TARVO_BASE_OFFSET_DAILY 60        /* u8 */
#define TARVO_BASE_OFFSET_RECORD_COUNT 64 /* u32 */
#define TARVO_BASE_OFFSET_KIND 68         /* u16 */
#define TARVO_BASE_OFFSET_STAMP 70        /* u16, low 13 bits */
#define TARVO_BASE_OFFSET_KEY3 88         /* u16 */
#define TARVO_BASE_OFFSET_KEY3B 90        /* u16: low 15 bits key3b, bit 15 the flag */
#define TARVO_BASE_OFFSET_KEY4 92         /* u32 */

#ifdef __cplusplus
}
#endif

#endif /* TARVO_ENGINE_API_H */
