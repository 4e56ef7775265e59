// The stand-in engine started with the demo base, as the daemon starts it, for tests of the requests
// that reach the engine.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "base/messages.h"
#include "shell/loader/enginemodule.h"
#include "shell/engine/engines.h"
#include "shell/host/hostfiles.h"
#include "shell/host/hosthooks.h"
#include "shell/host/hostreport.h"
#include "shell/host/memfile.h"
#include "shell/engine/virbase.h"
#include "unix/config/daemonsettings.h"

namespace {

// Where the build puts the engine and its demo bases.
inline std::string EngineDll() {
    return std::string(TARVO_BINARY_DIR) + "/engine/tarvo32.dll";
}
inline std::string DemoBase() {
    return std::string(TARVO_BINARY_DIR) + "/engine/bases/tarvodemo.vdb";
}

// Starts the engine and loads the demo base; stops both again.
class StandInEngine {
public:
    StandInEngine() {
        if (!MessageCatalogue) CreateMessageCatalogue();
        ConnectHostServices();
        EngineModules.reset(new PE_Lib);
        if (CreateEngineTable() != 0) return;
        CopyPathBuffer(EngineFilePath, EngineDll().c_str());
        VirusBase.reset(new tvStringList);
        VirusBase->AddString(DemoBase().c_str());
        BuildVersionString();
        const int index = LoadEngine();
        if (index < 0) return;
        uint32_t word = 0;
        records_ = LoadVirusBases(EngineAt(static_cast<uint32_t>(index)), &word);
    }
    ~StandInEngine() {
        if (EngineTable)
            for (uint32_t i = 0; i < kEngineTableSize; i++) {
                uint32_t count = 0;
                UnloadVirusBases(EngineAt(i), &count);
                UnloadEngine(EngineAt(i));
            }
        DeleteEngineTable();
        EngineModules.reset();
        LoadedBaseList.Clear();
        VirusBase.reset();
        ReleaseHeldFile();
        ResetFileWindow();
        FreeMemoryFiles();
        ClearFoundLists();
        EngineFilePath[0] = '\0';
        EngineVersionText[0] = '\0';
    }
    StandInEngine(const StandInEngine&) = delete;
    StandInEngine& operator=(const StandInEngine&) = delete;

    // The records of the demo base; 0 when the engine did not start.
    uint32_t Records() const { return records_; }

private:
    uint32_t records_ = 0;
};

} // namespace
