#include "shell/host/hostreport.h"

#include <cstdio>
#include <cstring>

#include "base/logwriter.h"
#include "base/messages.h"
#include "shell/host/hosttask.h"
#include "shell/host/nothrowservice.h"
#include "shell/scan/requestoption.h"
#include "shell/settings/shellkeys.h"

tvStringList FoundList;
tvStringList TaggedList;
tvStringList FoundListCopy;
int32_t OriginFlag = 0;

namespace {

const FindingClassText kClassTexts[] = {
    {TARVO_CLASS_INFECTED, 29, ",K"},   {TARVO_CLASS_MODIFICATION, 31, ",M"},
    {TARVO_CLASS_SUSPICIOUS, 30, ",S"}, {TARVO_CLASS_ADWARE, 205, ",A"},
    {TARVO_CLASS_DIALER, 206, ",D"},    {TARVO_CLASS_JOKE, 207, ",J"},
    {TARVO_CLASS_RISKWARE, 208, ",R"},  {TARVO_CLASS_HACKTOOL, 209, ",H"},
};

constexpr size_t kTextSize = 1024;

bool EndsWith(const char* text, const char* tail) {
    size_t n = std::strlen(text);
    size_t m = std::strlen(tail);
    return n >= m && std::strcmp(text + n - m, tail) == 0;
}

} // namespace

void ClearFoundLists() {
    FoundList.Clear();
    TaggedList.Clear();
    FoundListCopy.Clear();
}

const FindingClassText* FindFindingClass(int32_t cls) {
    for (const FindingClassText& entry : kClassTexts)
        if (entry.cls == cls) return &entry;
    return nullptr;
}

int32_t HostVirusFound(void*, void* task, const char* name, uint32_t kind) {
    auto* context = static_cast<HostTask*>(task);
    if (!context) return 0;
    if (!name) name = "";
    if (EndsWith(name, ".origin")) OriginFlag = 1;

    char local[TARVO_FINDING_NAME_SIZE] = {0};
    char* buffer = context->HostFindingName();
    if (!buffer) buffer = local;
    EngineDispatcher dispatcher = context->HostDispatcher();
    int32_t cls = dispatcher ? dispatcher(task, TARVO_CMD_FINDING_CLASS, buffer) : -1;
    if (cls == -1 || cls == -2) {
        cls =
            kind == TARVO_CLASS_INFECTED || kind == TARVO_CLASS_MODIFICATION || kind == TARVO_CLASS_SUSPICIOUS
                ? static_cast<int32_t>(kind)
                : 0;
        std::snprintf(buffer, TARVO_FINDING_NAME_SIZE, "%s", name);
    }
    buffer[TARVO_FINDING_NAME_SIZE - 1] = '\0';
    const FindingClassText* text = FindFindingClass(cls);
    if (!text) return 0;
    context->HostSetFoundClass(cls);

    const char* classText = MessageText(text->message);
    const char* tag = text->tag;
    if (cls >= TARVO_CLASS_ADWARE && !RequestWantsExtendedClasses()) tag = ",K";
    char report[kTextSize];
    char listed[kTextSize];
    char tagged[kTextSize];
    std::snprintf(report, sizeof report, " \x01\x0C%s\x01\x03 %s", classText, buffer);
    std::snprintf(listed, sizeof listed, "%s %s", classText, buffer);
    std::snprintf(tagged, sizeof tagged, "%s%s", buffer, tag);

    // The object's line needs memory for its path; the finding is listed all the same without it.
    AnswerWithoutThrowing(0, [&] {
        context->HostPrintObjectLine();
        return 0;
    });
    FoundList.AddString(listed);
    FoundListCopy.AddString(listed);
    TaggedList.AddString(tagged);
    if (LogInfected) {
        PrintMessage("%s", report);
        EndMessageLine(0);
    } else {
        ResetMessageBuffer();
    }
    return 0;
}

int32_t HostReportPacker(void*, void* task, const char* name, uint32_t flag) {
    auto* context = static_cast<HostTask*>(task);
    if (!context) return 0;
    uint32_t word = context->HostPackerReportWord();
    if (word && LogPacked) {
        AnswerWithoutThrowing(0, [&] {
            context->HostPrintObjectName();
            return 0;
        });
        PrintMessage(" %s %s", MessageText(flag ? 27 : 28), name ? name : "");
        EndMessageLine(0);
    }
    context->HostRaiseContainerLevel();
    return static_cast<int32_t>(word);
}

int32_t HostQuery(void*, void* task, uint32_t code) {
    auto* context = static_cast<HostTask*>(task);
    switch (code) {
    case TARVO_QUERY_MAY_CURE:
        return context ? context->HostMayCure() : 0;
    case 2:
    case 3:
        return 1;
    case TARVO_QUERY_ARCHIVES:
        return context ? static_cast<int32_t>(context->HostArchivesWord()) : 0;
    case TARVO_QUERY_MAIL_FILES:
        return context ? static_cast<int32_t>(context->HostMailFilesWord()) : 0;
    default:
        return 0;
    }
}
