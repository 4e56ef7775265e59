// shell/engine: the engine instances and the virus bases, and the version screen. Uses base and the
// rest of shell.
//
// The engine table: up to 16 started engines, each with its dispatcher, its
// versions and its bases; the start and stop of an engine, and the version
// texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/pathutil.h"
#include "shell/engine/engineinstance.h"

// Records the table has room for, and records that are used.
constexpr uint32_t kEngineTableSize = 64;
constexpr uint32_t kEngineRecordsUsed = 16;

// The table (zero-filled records), or null before CreateEngineTable.
extern std::unique_ptr<EngineInstance[]> EngineTable;
// Engines that LoadEngine started.
extern uint32_t LoadedEngineCount;
// The option word handed to the entry.
extern uint32_t EngineOptionWord;
// The engine's answer to the end of the last base load; handed to the entry
// at the next start.
extern uint32_t BaseRecordWord;
// The engine file: EnginePath expanded by CheckEnginePath.
extern char EngineFilePath[kPathBufSize];
// The engine-table lock: taken by LoadEngine and by the search for a free
// instance.
extern volatile uint32_t EngineTableLock;
// Polls of 100 microseconds that UnloadEngine waits for a busy instance.
extern uint32_t EngineBusyWaitPolls;

constexpr size_t kVersionTextSize = 64;
// "6.0.2.02020 <API:2.2>", and the engine's version as it was last started.
extern char ShellVersionText[kVersionTextSize];
extern char EngineVersionText[kVersionTextSize];

// Codes of InitEngineInstance.
enum : int {
    kEngineStarted = 0,
    kEngineNoMemory = 1,
    kEngineCannotRead = 2,
    kEngineNotAnEngine = 3,
    kEngineNoEntry = 4,
    kEngineEntryRefused = 5,
    kEngineWrongInterface = 6,
};

// Makes the table (when missing): 0, or -1 out of memory.
int CreateEngineTable();
// Frees the table and the instances' base lists (the engines must be
// unloaded first).
void DeleteEngineTable();
// Record i of the table, or null. Inline: the search for a free engine asks for every object.
inline EngineInstance* EngineAt(uint32_t index) {
    return EngineTable && index < kEngineTableSize ? &EngineTable[index] : nullptr;
}

// A module handle or dispatcher word that holds nothing: 0 or all ones.
inline bool IsUnsetWord(uintptr_t v) {
    return v == 0 || v == UINTPTR_MAX;
}

// Neither the module handle nor the dispatcher is 0 or all ones.
inline bool IsEngineLoaded(const EngineInstance* instance) {
    return instance && !IsUnsetWord(instance->module) &&
           !IsUnsetWord(reinterpret_cast<uintptr_t>(instance->dispatcher));
}

// Starts an engine in the first free record: its index, or -1 after an error
// line naming the engine file.
int LoadEngine();
// Starts the engine of EngineFilePath in instance: 0 or a code above.
int InitEngineInstance(EngineInstance* instance, uint32_t baseRecordWord);
// Shuts the instance's engine down and empties the record: 1, or 0 when it
// was not loaded or stayed busy too long.
int UnloadEngine(EngineInstance* instance);

// Expands EnginePath into EngineFilePath; a folder gets "tarvo32.dll"
// appended. 0 when the file can be opened, else 1.
int CheckEnginePath();

// "6.0.2.1".
const char* GetProgramVersion();
// Fills ShellVersionText.
void BuildVersionString();
