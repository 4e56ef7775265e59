// The engine module as the engine table sees it: loaded by path, then known
// through its instance's module handle.
#pragma once

#include <cstdint>
#include <memory>

#include "shell/loader/pelib.h"

struct EngineInstance;

// The process-wide module list; the operations below answer 0 without it.
extern std::unique_ptr<PE_Lib> EngineModules;

// Loads the module at path with its entry TARVO_InitDll: the module handle,
// or 0 with PE_LastError telling why.
uint32_t LoadEngineModule(const char* path);
// The address of an export of the instance's module resolved at load time, or 0.
uintptr_t GetEngineExport(const EngineInstance* instance, const char* name);
// 1 when the instance's module was known and is unloaded (once), else 0.
int UnloadEngineModule(const EngineInstance* instance);
// The module's file version; 1, or 0 leaving the values untouched.
int GetEngineModuleVersion(const EngineInstance* instance, uint16_t* major, uint16_t* minor, uint16_t* build,
                           uint16_t* revision);
