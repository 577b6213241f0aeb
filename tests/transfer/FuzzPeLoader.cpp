// Arbitrary bytes as a library image: the loader must refuse or map them without touching
// memory outside the image, and export lookups on whatever it mapped must stay inside too.
#include <cstddef>
#include <cstdint>

#include "transfer/BTMemoryModule.hpp"
#include "transfer/PeTestServices.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvos::testing::MappedMemory memory;
    memory.maxSize = 24 << 20;  // bounds the work of one input; real libraries are far smaller
    tarvos::testing::FakeModules modules;
    auto module = tarvos::BTMemoryLoadLibary({data, size}, tarvos::BT_PROTECT_SECTIONS | tarvos::BT_DECOMMIT_DISCARDABLE,
                                             true, memory, modules);
    if (module) {
        tarvos::BTMemoryGetProcAddress(module.get(), "RAROpenArchiveEx");
        tarvos::BTMemoryGetProcAddress(module.get(), "Alpha");
    }
    return 0;
}
