// The walk through a container, object by object, under the extraction
// limits; and what becomes of the container once its objects are known.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "base/alloc.h"
#include "base/logwriter.h"
#include "base/messages.h"
#include "shell/engine/engines.h"
#include "shell/settings/scankeys.h"
#include "shell/scan/scanresult.h"
#include "shell/scan/scanstop.h"
#include "shell/scan/scantask.h"

namespace {

constexpr size_t kReportTextSize = 1024;
// Below this the stack guard never passes; above it, this much is kept free.
constexpr uint32_t kStackFloor = 0x20000;
constexpr uint32_t kStackReserve = 0x10000;

struct RecordFree {
    void operator()(TarvoObjectRecord* record) const { MemFree(record); }
};
using RecordPtr = std::unique_ptr<TarvoObjectRecord, RecordFree>;

bool Has(uint32_t r, uint32_t bits) {
    return (r & bits) != 0;
}

// Records the engine hands out in a row that are alike in everything it
// tells of them (sizes, name, first bytes when asked for): an archive may
// hold a name again (an appended update), but an engine that keeps handing
// out the same object makes no progress. The walk ends there, cut short.
constexpr uint32_t kMaxAlikeInARow = 16;

// What the engine told of the object it handed out last.
struct ObjectKey {
    bool valid = false;
    TarvoObjectRecord record;

    bool Same(const TarvoObjectRecord& next) const {
        return valid && std::memcmp(&record, &next, sizeof record) == 0;
    }
    void Take(const TarvoObjectRecord& next) {
        valid = true;
        std::memcpy(&record, &next, sizeof record);
    }
};

bool RatioTooHigh(uint32_t unpacked, uint32_t packed) {
    if (MaxCompressionRatio == -1 || MaxCompressionRatio < 1) return false;
    if (CompressionCheckThreshold != -1 &&
        static_cast<uint64_t>(unpacked) <=
            static_cast<uint64_t>(static_cast<uint32_t>(CompressionCheckThreshold)) * 1024u)
        return false;
    return unpacked > packed && packed < unpacked / static_cast<uint32_t>(MaxCompressionRatio);
}

bool TooLarge(uint32_t unpacked) {
    return MaxFileSizeToExtract != -1 &&
           static_cast<uint64_t>(unpacked) > static_cast<uint64_t>(MaxFileSizeToExtract);
}

void SetText(char* text, size_t size, uint32_t message) {
    std::snprintf(text, size, " - %s", MessageText(message));
}

} // namespace

bool ScanTask::StackGuard() {
    uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    if (!stackBase_) stackBase_ = here;
    uintptr_t used = stackBase_ > here ? stackBase_ - here : 0;
    if (stackBudget_ > kStackFloor && used < stackBudget_ - kStackReserve) return true;
    PrintMessageAttr(12, "\r\nStack overflow!\r\n");
    EndMessageLine(0);
    return false;
}

bool ScanTask::EndsWalk(uint32_t q) const {
    if (Has(q, TARVO_RESULT_DECOMPRESSION_ERROR)) return false;
    return Has(q, TARVO_RESULT_MASK_FATAL) || stopAfterThis_;
}

uint32_t ScanTask::ScanContainer(uint32_t r, EngineInstance* engine, int32_t* typeOut) {
    uint32_t savedFilter = Settings().word[kFilterModeWord];
    uint32_t savedInside = insideArchive_;
    if (typeOut) *typeOut = -1;
    insideArchive_ = 0;
    if (!engine || !engine->dispatcher) return UINT32_MAX;
    EngineDispatcher dispatch = engine->dispatcher;
    bool overflow = !StackGuard();
    RecordPtr record(static_cast<TarvoObjectRecord*>(MemAllocZeroed(sizeof(TarvoObjectRecord))));
    if (!record) {
        insideArchive_ = savedInside;
        return TARVO_RESULT_NO_MEMORY_TO_EXTRACT;
    }
    ++depth_;

    char typeName[TARVO_TYPE_NAME_SIZE] = {};
    int32_t type = dispatch(EngineContext(), TARVO_CMD_CONTAINER_TYPE, typeName);
    typeName[sizeof typeName - 1] = '\0';
    if (LogArchived) {
        PrintObjectName();
        PrintMessage(" - %s %s", MessageText(33), typeName);
        EndMessageLine(0);
    }
    ++containerLevel_;

    bool archive = IsArchiveType(type);
    bool atLimit = false;
    if (archive) {
        insideArchive_ = 1;
        ++archiveNesting_;
        atLimit = MaxArchiveLevel >= 1 && archiveNesting_ >= static_cast<uint32_t>(MaxArchiveLevel);
        if (atLimit) {
            PrintObjectLine();
            PrintMessage(" - %s (%d)", MessageText(146), static_cast<int>(archiveNesting_));
            EndMessageLine(0);
            CountNestingLimit();
            scanFlags_ |= kScanFlagNestingLimit;
        }
    }
    if (typeOut) *typeOut = type;

    uint32_t open;
    if (overflow) {
        PrintObjectLine();
        PrintMessage(" - %s", MessageText(45));
        EndMessageLine(0);
        open = 0;
    } else {
        switch (type) {
        case 6:
        case 7:
        case 13:
        case 18:
        case 19:
        case 21:
            open = 1;
            Settings().word[kFilterModeWord] = 0;
            break;
        case kMailContainerType:
            open = SettingsWord(kMailFilesWord);
            if (open) Settings().word[kFilterModeWord] = 0;
            break;
        case 9:
        case 10:
        case 11:
        case 40:
        case 41:
            open = 1;
            break;
        default:
            open = SettingsWord(kArchivesWord);
            break;
        }
        if (archive && atLimit) open = 0;
    }

    uint32_t opened = static_cast<uint32_t>(dispatch(EngineContext(), TARVO_CMD_CONTAINER_OPEN, open));
    uint32_t result = r | opened;
    if (opened == 0) result = WalkContainer(result, record.get(), type);

    Settings().word[kFilterModeWord] = savedFilter;
    --depth_;
    --containerLevel_;
    dispatch(EngineContext(), TARVO_CMD_CONTAINER_CLOSE, record.get());
    if (overflow) result = TARVO_RESULT_NO_MEMORY_TO_EXTRACT;
    if (archive) --archiveNesting_;
    insideArchive_ = savedInside;
    return result;
}

uint32_t ScanTask::WalkContainer(uint32_t result, TarvoObjectRecord* record, int32_t type) {
    // Kept off the stack: the walk recurses into nested containers.
    auto previous = std::make_unique<ObjectKey>();
    uint32_t alike = 0;
    while (!abort_ && !Has(result, TARVO_RESULT_MASK_DONE)) {
        if (IsStopRequested()) {
            abort_ = 1;
            break;
        }
        uint32_t wantHeader =
            Settings().word[kFilterModeWord] == kFilterByContent ? TARVO_OBJECT_HEADER_REQUEST : 0;
        int32_t answer = dispatcher_(EngineContext(), TARVO_CMD_CONTAINER_NEXT, record, wantHeader);
        record->name[sizeof record->name - 1] = '\0';
        if (answer == static_cast<int32_t>(TARVO_RESULT_NO_MORE_OBJECTS)) break;
        uint32_t q = answer == -1 ? TARVO_RESULT_HEADER_CRC_ERROR : static_cast<uint32_t>(answer);
        result |= q;
        alike = previous->Same(*record) ? alike + 1 : 0;
        previous->Take(*record);
        if (alike >= kMaxAlikeInARow) {
            // What follows in the container was never seen: never "Ok".
            int32_t kept = foundClass_;
            foundClass_ = -1;
            PushName(record->name);
            result |= ProcessResult(TARVO_RESULT_READ_ERROR);
            PopName();
            foundClass_ = kept;
            break;
        }

        if (q != 0) {
            // The object's own failure: the class found before it is not its.
            int32_t kept = foundClass_;
            foundClass_ = -1;
            PushName(record->name);
            PrintObjectLine();
            ProcessResult(q);
            PopName();
            foundClass_ = kept;
            if (EndsWalk(q)) break;
            continue;
        }

        uint32_t unpacked = record->unpacked_size;
        uint32_t packed = record->packed_size;
        size_t headerLen = unpacked < sizeof record->header ? unpacked : sizeof record->header;
        nameNotPrinted_ = 1;
        if (!FilterFile(record->name, unpacked, wantHeader ? record->header : nullptr,
                        wantHeader ? headerLen : 0)) {
            CountSkipped();
            scanFlags_ |= kScanFlagFiltered;
            continue;
        }
        if (TooLarge(unpacked)) {
            PushName(record->name);
            PrintObjectLine();
            PrintMessage(" - %s", MessageText(43));
            EndMessageLine(0);
            PopName();
            CountTooLarge();
            scanFlags_ |= kScanFlagTooLarge;
            continue;
        }
        if (RatioTooHigh(unpacked, packed)) {
            PushName(record->name);
            PrintObjectLine();
            PrintMessage(" - %s (%u : %u)", MessageText(107), unpacked, packed);
            EndMessageLine(0);
            PopName();
            CountCompressionRatio();
            scanFlags_ |= kScanFlagRatioTooHigh;
            continue;
        }

        PushName(record->name);
        PrintObjectLine();
        SetLimit();
        int32_t kept = foundClass_;
        uint32_t level = containerLevel_;
        foundClass_ = -1;
        q = static_cast<uint32_t>(
            dispatcher_(EngineContext(), TARVO_CMD_CONTAINER_SCAN, record, SettingsWord(kModeWord)));
        int32_t memberClass = foundClass_;
        if (IsStopRequested()) {
            if (ScanTimeoutFlag) stopped_ = 0;
            abort_ = 1;
            PopName();
            containerLevel_ = level;
            if (memberClass == -1) foundClass_ = kept;
            break;
        }
        CountScanned(unpacked, true);

        if (q != TARVO_RESULT_CONTAINER) {
            if (StopOnFirstInfected && Has(q, TARVO_RESULT_INFECTED | TARVO_RESULT_MODIFICATION) &&
                !MailWalkActive)
                stopAfterThis_ = 1;
            result |= ProcessResult(q);
            if (ScanTimeoutFlag && Has(q, TARVO_RESULT_MASK_TIMEOUT_LIKE)) abort_ = 1;
        } else {
            uint32_t bit = memberClass == TARVO_CLASS_INFECTED       ? TARVO_RESULT_INFECTED
                           : memberClass == TARVO_CLASS_MODIFICATION ? TARVO_RESULT_MODIFICATION
                           : memberClass == TARVO_CLASS_SUSPICIOUS   ? TARVO_RESULT_SUSPICIOUS
                                                                     : 0;
            if (bit) result |= ProcessResult(bit);
            uint64_t size = objectSize_;
            objectSize_ = unpacked;
            uint32_t c = ScanContainer(TARVO_RESULT_CONTAINER, engine_, nullptr);
            if (c != UINT32_MAX) result |= ReportActionResult(c, type);
            objectSize_ = size;
        }
        PopName();
        containerLevel_ = level;
        if (memberClass == -1) foundClass_ = kept;
        if (EndsWalk(q)) break;
    }
    return result;
}

uint32_t ScanTask::ReportActionResult(uint32_t c, int32_t type) {
    if (c == UINT32_MAX) return c;
    if (!Has(c, TARVO_RESULT_CONTAINER)) return c;
    char text[kReportTextSize] = "";
    if (c == TARVO_RESULT_CONTAINER && !ScanTimeoutFlag) {
        CountClean(depth_);
        if (LogScanned) SetText(text, sizeof text, 10);
    }
    if (Has(c, TARVO_RESULT_PASSWORD_PROTECTED)) {
        CountSkipped();
        if (LogScanned) SetText(text, sizeof text, 41);
        CountProtected();
    }
    if (Has(c, TARVO_RESULT_INFECTED | TARVO_RESULT_MODIFICATION | TARVO_RESULT_SUSPICIOUS) &&
        !Has(c, TARVO_RESULT_MASK_DONE) && depth_ == 0) {
        uint32_t a = ActOnInfectedContainer(type);
        if (a == UINT32_MAX) {
        } else if (ScanTimeoutFlag && Has(a, TARVO_RESULT_MASK_TIMEOUT_LIKE)) {
            SetText(text, sizeof text, 137);
        } else {
            if (Has(a, TARVO_RESULT_READ_ERROR)) {
                SetText(text, sizeof text, 39);
                CountReadError();
            }
            if (Has(a, TARVO_RESULT_WRITE_ERROR)) {
                SetText(text, sizeof text, 40);
                CountWriteError();
            }
            if (Has(a, TARVO_RESULT_DELETED)) {
                c |= TARVO_RESULT_DELETED;
                SetText(text, sizeof text, 36);
                CountDeleted();
            } else if (Has(a, TARVO_RESULT_RENAMED)) {
                SetText(text, sizeof text, 37);
                CountRenamed();
            } else if (Has(a, TARVO_RESULT_MOVED)) {
                // Moved away, the container is no longer left infected.
                c |= TARVO_RESULT_MOVED;
                SetText(text, sizeof text, 35);
                CountMoved();
            } else if (Has(a, TARVO_RESULT_LEFT_ALONE)) {
                SetText(text, sizeof text, 38);
                CountIgnored();
            }
        }
    }
    if (text[0]) {
        PrintObjectLine();
        PrintMessage("%s", text);
        EndMessageLine(0);
    }
    return c;
}

uint32_t ScanTask::ActOnInfectedContainer(int32_t type) {
    if (!IsContainerActionDestructive(type)) return 0;
    uint32_t word = SettingsWord(ContainerActionWordFor(type));
    uint32_t answer = 0;
    // The request builds the word by OR-ing action bits: each is tried.
    if (Has(word, kActionRename)) {
        answer = RenameObject();
        if (Has(answer, TARVO_RESULT_RENAMED)) return answer;
    }
    if (Has(word, kActionMove)) {
        answer = MoveObject(MoveFilesTo, 1);
        if (Has(answer, TARVO_RESULT_MOVED)) return answer;
    }
    if (Has(word, kActionDelete) && (HasOwnContainerAction(type) || EnableDeleteArchiveAction))
        answer = DeleteObject();
    return answer;
}

bool ScanTask::IsContainerActionDestructive(int32_t type) {
    uint32_t word = SettingsWord(ContainerActionWordFor(type));
    if (Has(word, kActionRename | kActionMove)) return true;
    return Has(word, kActionDelete) && (HasOwnContainerAction(type) || EnableDeleteArchiveAction);
}
