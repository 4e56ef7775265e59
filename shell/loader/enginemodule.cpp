#include "shell/loader/enginemodule.h"

#include "engine/tarvo_engine_api.h"
#include "shell/engine/engineinstance.h"

std::unique_ptr<PE_Lib> EngineModules;

uint32_t LoadEngineModule(const char* path) {
    if (!EngineModules) {
        PE_LastError = 0;
        return 0;
    }
    return EngineModules->Load(path, TARVO_INIT_DLL_NAME);
}

uintptr_t GetEngineExport(const EngineInstance* instance, const char* name) {
    if (!EngineModules || !instance) return 0;
    return EngineModules->GetExport(instance->module, name);
}

int UnloadEngineModule(const EngineInstance* instance) {
    if (!EngineModules || !instance) return 0;
    return EngineModules->Unload(instance->module);
}

int GetEngineModuleVersion(const EngineInstance* instance, uint16_t* major, uint16_t* minor, uint16_t* build,
                           uint16_t* revision) {
    if (!EngineModules || !instance) return 0;
    return EngineModules->GetVersion(instance->module, major, minor, build, revision);
}
