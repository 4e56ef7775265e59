// Virus bases: the files named by the VirusBase masks, read by the engine.
// The daemon reads only their header, to order them and to see on a reload
// which of them changed.
#pragma once

#include <cstdint>
#include <list>
#include <string>

#include "base/pathutil.h"
#include "base/tvlist.h"
#include "engine/tarvo_engine_api.h"

struct EngineInstance;

// One base file of an instance, with the values of its header.
struct BaseRecord {
    uint16_t kind = 0;        // first sort key
    uint16_t stamp = 0;       // low 13 bits: second sort key when both key4 are 0
    uint32_t headerCount = 0; // the header's record count
    int32_t engineCount = 0;  // what the engine answered when it loaded it (0: not loaded)
    uint16_t key3 = 0;        // third sort key
    uint16_t key3b = 0;       // low 15 bits of the word after key3
    uint32_t key4 = 0;        // fourth sort key
    uint32_t flag = 0;        // bit 15 of the word after key3
    std::string path;
};

// Ordering of bases: kind; then, when both key4 are 0, the stamp's low 13
// bits; otherwise key3, then key4. Negative, 0 or positive as a is smaller,
// equal or greater.
int CompareBaseRecords(const BaseRecord& a, const BaseRecord& b);

// The bases of an instance, from the greatest key down; a base goes before
// its equals, so of two equal bases the one found later is loaded first.
struct BaseList {
    std::list<BaseRecord> records;

    void InsertSorted(const BaseRecord& record);
    BaseRecord* Find(const std::string& path);
    void Remove(const std::string& path);
};

// What the base-list answers of the protocol send, one per loaded base.
struct LoadedBaseRecord {
    uint32_t count;
    char path[4098]; // the last byte always 0
    uint32_t key4;
};
// Every base that the engine loaded with a positive record count; rebuilt by
// each load and reload.
extern tvList LoadedBaseList;

// Header buffer of ReadBaseHeader: the first bytes of the file and a terminator.
constexpr size_t kBaseHeaderBufferSize = TARVO_BASE_HEADER_WINDOW + 1;

// Reads the header of the base file at path into buffer (kBaseHeaderBufferSize
// bytes, or null for a buffer of its own) and fills each output that is not
// null. 1, or 0 when the file cannot be read, holds no marker whose 96 bytes
// lie inside the first 512 bytes, or lacks the check word.
int ReadBaseHeader(const char* path, char* buffer, uint16_t* kind, uint16_t* stamp, uint32_t* count,
                   uint16_t* key3, uint16_t* key3b, uint32_t* key4, uint32_t* flag, uint8_t* daily);

// The base lock: taken by the base operations and by engine start and stop.
extern volatile uint32_t BaseLock;

// Loads every base that the masks name into the instance, each file once: the total record
// count, 0 on failure. resultWord receives the engine's answer to the end of
// loading.
uint32_t LoadVirusBases(EngineInstance* instance, uint32_t* resultWord);
// Loads the bases that are new or changed since the last load into an
// instance that keeps its engine: the total record count, or -1 (a daily base
// marked as such, a header that cannot be read, an engine failure, a loaded
// base that the masks no longer name) after which the caller unloads and
// loads everything afresh.
int32_t UpdateVirusBases(EngineInstance* instance, uint32_t* resultWord);
// Forgets the instance's bases: 1 unless the engine refused.
int UnloadVirusBases(EngineInstance* instance, uint32_t* count);
