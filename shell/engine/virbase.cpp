#include "shell/engine/virbase.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <set>
#include <unordered_set>
#include <utility>

#include "base/filelayer.h"
#include "base/findfile.h"
#include "base/logwriter.h"
#include "base/messages.h"
#include "shell/engine/engines.h"
#include "shell/host/hostfiles.h"
#include "shell/scan/lockword.h"
#include "shell/settings/shellkeys.h"

tvList LoadedBaseList;
volatile uint32_t BaseLock = 0;

namespace {

constexpr const char kSourceName[] = "shell/virbase";
constexpr const char kDailyBaseName[] = "trvtoday.vdb";

uint16_t Get16(const char* p) {
    auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint16_t>(b[0] | b[1] << 8);
}

uint32_t Get32(const char* p) {
    auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

template <typename T> int Order(T a, T b) {
    return a < b ? -1 : a > b ? 1 : 0;
}

void InternalError(const char* error, unsigned line) {
    char when[32] = "";
    time_t now = time(nullptr);
    struct tm local {};
    if (localtime_r(&now, &local)) strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    ReportInternalError(error, kSourceName, when, line);
}

bool ReadRecord(const char* path, char* buffer, BaseRecord& record, uint8_t* daily) {
    uint32_t flag = 0;
    if (!ReadBaseHeader(path, buffer, &record.kind, &record.stamp, &record.headerCount, &record.key3,
                        &record.key3b, &record.key4, &flag, daily))
        return false;
    record.flag = flag;
    record.engineCount = 0;
    record.path = path;
    return true;
}

// The files already handed to the walk's callback: by device and inode, or by name when the file
// cannot be looked at.
class SeenFiles {
public:
    bool FirstSight(const std::string& path) {
        struct stat st;
        if (stat(path.c_str(), &st) != 0) return names_.insert(path).second;
        return files_.insert({static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)}).second;
    }

private:
    std::set<std::pair<uint64_t, uint64_t>> files_;
    std::unordered_set<std::string> names_;
};

// Calls fn(full name, file name) for every file that the masks name, in mask order, each file once:
// a file that two masks name, or one mask given many times, is one base.
template <typename Fn> bool ForEachBaseFile(Fn fn) {
    if (!VirusBase) return true;
    std::unordered_set<std::string> patterns;
    SeenFiles seen;
    for (auto* mask = static_cast<const char*>(VirusBase->First()); mask;
         mask = static_cast<const char*>(VirusBase->Next())) {
        char pattern[kPathBufSize + 2];
        if (!ExpandPath(mask, pattern, 1) || !pattern[0]) continue;
        if (IsDirectoryMode(GetFileMode(pattern))) {
            size_t n = std::strlen(pattern);
            if (pattern[n - 1] != '/') pattern[n++] = '/';
            pattern[n++] = '*';
            pattern[n] = '\0';
        }
        if (!patterns.insert(pattern).second) continue;
        FindRecord* found = nullptr;
        FindHandle search = FindFirst(pattern, &found);
        if (search == -1) continue;
        bool go = true;
        do {
            if (!IsDirectoryMode(FindFileMode(found)) && seen.FirstSight(found->fullName))
                go = fn(found->fullName.c_str(), FindFileName(found));
        } while (go && FindNext(search, found) == 0);
        if (!go) {
            FindClose(search, found);
            return false;
        }
    }
    return true;
}

void AddLoadedBase(const BaseRecord& record) {
    LoadedBaseRecord loaded{};
    loaded.count = static_cast<uint32_t>(record.engineCount);
    std::snprintf(loaded.path, sizeof loaded.path, "%s", record.path.c_str());
    loaded.key4 = record.key4;
    LoadedBaseList.Add(&loaded, sizeof loaded);
}

// The end of a base's "Loading" line: what became of it.
void ReportBaseAnswer(int32_t answer) {
    if (answer == TARVO_BASE_EMPTY) {
        PrintMessage(" - %s", MessageText(217));
    } else if (answer == TARVO_BASE_SKIPPED) {
        PrintMessage(" - %s", MessageText(26));
    } else if (answer == TARVO_BASE_ERROR) {
        PrintMessage(" - ");
        PrintMessageAttr(12, "%s", MessageText(25));
    } else {
        PrintMessage(" - %s: %u", MessageText(24), static_cast<unsigned>(answer));
    }
    EndMessageLine(0);
}

// Sends one base to the engine and reports it on one line: the answer.
int32_t LoadOneBase(EngineInstance* instance, BaseRecord& record) {
    PrintMessage("%s %s", MessageText(23), record.path.c_str());
    int32_t answer = instance->dispatcher(nullptr, TARVO_CMD_LOAD_BASE, record.path.c_str());
    if (answer < TARVO_BASE_SKIPPED) answer = TARVO_BASE_ERROR;
    record.engineCount = answer;
    ReportBaseAnswer(answer);
    return answer;
}

// A file that the masks name but that holds no base header is left out: never without a word,
// or detection would shrink unseen.
void ReportUnreadableBase(const char* path) {
    PrintMessage("%s %s", MessageText(23), path);
    ReportBaseAnswer(TARVO_BASE_ERROR);
}

void PrintTotal(uint32_t total) {
    PrintMessage("%s %u", MessageText(152), static_cast<unsigned>(total));
    EndMessageLine(0);
}

} // namespace

int CompareBaseRecords(const BaseRecord& a, const BaseRecord& b) {
    if (int c = Order(a.kind, b.kind)) return c;
    if (a.key4 == 0 && b.key4 == 0) return Order(a.stamp & 0x1FFF, b.stamp & 0x1FFF);
    if (int c = Order(a.key3, b.key3)) return c;
    return Order(a.key4, b.key4);
}

void BaseList::InsertSorted(const BaseRecord& record) {
    auto at = records.begin();
    while (at != records.end() && CompareBaseRecords(*at, record) > 0) ++at;
    records.insert(at, record);
}

BaseRecord* BaseList::Find(const std::string& path) {
    for (BaseRecord& record : records)
        if (record.path == path) return &record;
    return nullptr;
}

void BaseList::Remove(const std::string& path) {
    records.remove_if([&](const BaseRecord& r) { return r.path == path; });
}

int ReadBaseHeader(const char* path, char* buffer, uint16_t* kind, uint16_t* stamp, uint32_t* count,
                   uint16_t* key3, uint16_t* key3b, uint32_t* key4, uint32_t* flag, uint8_t* daily) {
    char own[kBaseHeaderBufferSize];
    if (!buffer) buffer = own;
    std::memset(buffer, 0, kBaseHeaderBufferSize);
    if (!path || !*path) return 0;
    int32_t handle = HostOpenFile(nullptr, path, TARVO_OPEN_READ);
    if (handle == -1) return 0;
    // Only the bytes of this file count: a short file read after a long one
    // must not find the old file's header in the buffer.
    int32_t got = 0;
    while (got < TARVO_BASE_HEADER_WINDOW) {
        int32_t n = HostReadFile(nullptr, handle, buffer + got, TARVO_BASE_HEADER_WINDOW - got);
        if (n <= 0) break;
        got += n;
    }
    HostCloseFile(nullptr, handle);
    const char* header = nullptr;
    for (int32_t at = 0; at + TARVO_BASE_HEADER_SIZE <= got; at++) {
        if (std::memcmp(buffer + at, TARVO_BASE_MARKER, 4) == 0) {
            header = buffer + at;
            break;
        }
    }
    if (!header || std::memcmp(header + TARVO_BASE_OFFSET_CHECK, TARVO_BASE_CHECK, 4) != 0) return 0;
    uint16_t word90 = Get16(header + TARVO_BASE_OFFSET_KEY3B);
    if (kind) *kind = Get16(header + TARVO_BASE_OFFSET_KIND);
    if (stamp) *stamp = Get16(header + TARVO_BASE_OFFSET_STAMP);
    if (count) *count = Get32(header + TARVO_BASE_OFFSET_RECORD_COUNT);
    if (key3) *key3 = Get16(header + TARVO_BASE_OFFSET_KEY3);
    if (key3b) *key3b = static_cast<uint16_t>(word90 & 0x7FFF);
    if (key4) *key4 = Get32(header + TARVO_BASE_OFFSET_KEY4);
    if (flag) *flag = word90 >> 15;
    if (daily) *daily = static_cast<uint8_t>(header[TARVO_BASE_OFFSET_DAILY]);
    return 1;
}

uint32_t LoadVirusBases(EngineInstance* instance, uint32_t* resultWord) {
    LockWordGuard lock(BaseLock);
    if (!lock) return 0;
    LoadedBaseList.Clear();
    if (!IsEngineLoaded(instance)) {
        InternalError("Internal error", __LINE__);
        return 0;
    }
    std::unique_ptr<char[]> header(new (std::nothrow) char[kBaseHeaderBufferSize]);
    std::unique_ptr<BaseList> list(new (std::nothrow) BaseList);
    if (!header || !list) {
        InternalError("Memory allocation error", __LINE__);
        return 0;
    }
    ForEachBaseFile([&](const char* path, const char*) {
        BaseRecord record;
        if (ReadRecord(path, header.get(), record, nullptr))
            list->InsertSorted(record);
        else
            ReportUnreadableBase(path);
        return true;
    });
    std::unique_ptr<BaseList> old(instance->bases);
    instance->bases = list.release();
    old.reset();

    uint32_t total = 0;
    if (!StopFlag) {
        for (BaseRecord& record : instance->bases->records) {
            if (StopFlag) break;
            int32_t answer = LoadOneBase(instance, record);
            if (answer > 0) {
                total += static_cast<uint32_t>(answer);
                AddLoadedBase(record);
            }
        }
    }
    int32_t done = instance->dispatcher(nullptr, TARVO_CMD_BASES_LOADED);
    if (done == -1) return 0;
    PrintTotal(total);
    if (resultWord) *resultWord = static_cast<uint32_t>(done);
    return total;
}

int32_t UpdateVirusBases(EngineInstance* instance, uint32_t* resultWord) {
    LockWordGuard lock(BaseLock);
    if (!lock) return -1;
    LoadedBaseList.Clear();
    if (!IsEngineLoaded(instance)) {
        InternalError("Internal error", __LINE__);
        return -1;
    }
    if (!instance->bases) instance->bases = new (std::nothrow) BaseList;
    std::unique_ptr<char[]> header(new (std::nothrow) char[kBaseHeaderBufferSize]);
    if (!header || !instance->bases) {
        InternalError("Memory allocation error", __LINE__);
        return -1;
    }
    BaseList& bases = *instance->bases;
    BaseList changed;
    std::unordered_set<std::string> named;
    bool complete = ForEachBaseFile([&](const char* path, const char* name) {
        named.insert(path);
        BaseRecord record;
        uint8_t daily = 0;
        if (!ReadRecord(path, header.get(), record, &daily)) return false;
        if (daily && std::strcmp(name, kDailyBaseName) == 0) return false;
        BaseRecord* known = bases.Find(record.path);
        // The header's count against the header's count: the engine's own
        // count of a base may differ without the file having changed.
        if (known && known->key4 == record.key4 && known->kind == record.kind &&
            known->headerCount == record.headerCount)
            return true;
        if (known) bases.Remove(record.path);
        changed.InsertSorted(record);
        bases.InsertSorted(record);
        return true;
    });
    if (!complete) return -1;
    // The engine cannot forget one base: a base that the masks no longer name asks for a full load,
    // which also finds out when they name none at all.
    for (const BaseRecord& record : bases.records)
        if (named.count(record.path) == 0) return -1;

    bool sent = false;
    for (const BaseRecord& record : changed.records) {
        if (StopFlag) break;
        BaseRecord* target = bases.Find(record.path);
        if (!target) continue;
        sent = true;
        if (LoadOneBase(instance, *target) == TARVO_BASE_ERROR) return -1;
    }
    int32_t done = 0;
    if (sent) {
        done = instance->dispatcher(nullptr, TARVO_CMD_BASES_LOADED);
        if (done == -1) return -1;
    }
    uint32_t total = 0;
    for (const BaseRecord& record : bases.records) {
        if (record.engineCount <= 0) continue;
        total += static_cast<uint32_t>(record.engineCount);
        AddLoadedBase(record);
    }
    PrintTotal(total);
    // Nothing sent: the engine's answer of the last load still stands.
    if (sent && resultWord) *resultWord = static_cast<uint32_t>(done);
    return static_cast<int32_t>(total);
}

int UnloadVirusBases(EngineInstance* instance, uint32_t* count) {
    LockWordGuard lock(BaseLock);
    if (!lock || !IsEngineLoaded(instance)) return 0;
    std::unique_ptr<BaseList> old(instance->bases);
    instance->bases = nullptr;
    int32_t answer = instance->dispatcher(nullptr, TARVO_CMD_UNLOAD_BASES);
    if (count) *count = 0;
    return answer != -1 ? 1 : 0;
}
