// The module loader on damaged module files: map, resolve the entry, read the version, unmap. Nothing
// in the image is ever called: the input is untrusted code.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/tarvo_engine_api.h"
#include "fuzz/fuzz_support.h"
#include "shell/loader/enginemodule.h"
#include "tests/base/scratch_dir.h"

namespace {

ScratchDir& Folder() {
    static ScratchDir folder;
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = Folder() / "module.dll";
    if (!Folder().Write("module.dll", std::string(reinterpret_cast<const char*>(data), size)))
        Fault("cannot write the module file");
    const int descriptors = OpenDescriptors();
    EngineModules = std::make_unique<PE_Lib>();
    const uint32_t handle = LoadEngineModule(path.c_str());
    if (handle != 0) {
        if (EngineModules->GetExport(handle, TARVO_INIT_DLL_NAME) == 0)
            Fault("a loaded module lost its entry");
        uint16_t version[4] = {};
        EngineModules->GetVersion(handle, &version[0], &version[1], &version[2], &version[3]);
        // A second load of the same file shares the image.
        if (EngineModules->Load(path.c_str(), TARVO_INIT_DLL_NAME) != handle) Fault("a second load differs");
        if (EngineModules->Unload(handle) != 1 || EngineModules->Unload(handle) != 1) Fault("unload refused");
        if (EngineModules->Unload(handle) != 0) Fault("a module outlived its loads");
    }
    EngineModules.reset();
    if (OpenDescriptors() != descriptors) Fault("a descriptor was left open");
    return 0;
}
