// The /mib conversion of a text file into the "-MIB-" document, in memory.
#include "insert/mib_text.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    (void)mib_document(std::span(data, size));
    return 0;
}
