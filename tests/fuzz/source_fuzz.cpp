// The packer's source parser over arbitrary text: whatever it accepts must
// compile, decompile to the same commands, and pack into an archive whose
// trailer bytes never start a command and that ends on a multiple of 8.
#include <cstdint>
#include <string>
#include <vector>

#include "archive_file.h"
#include "fuzz_file.h"
#include "source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<ScriptCommand> commands;
    std::string error;
    if (!ffspack_parse_source("fuzz.txt", text, &commands, &error)) {
        fuzz_check(error.compare(0, 9, "fuzz.txt:") == 0);
        return 0;
    }
    std::string script = ffspack_compile(commands);
    fuzz_check(ffspack_decompile(script) == commands);
    std::string image(1 + size % 37, 'M');
    std::string packed;
    fuzz_check(ffspack_pack(image, script, &packed, &error));
    ArchiveLocation found = ffspack_locate(packed);
    fuzz_check(found.state == ARCHIVE_FOUND && found.trailer == image.size() &&
               packed.size() % 8 == 0);
    std::string block = ffspack_data_block(packed, found);
    fuzz_check(block.compare(0, script.size(), script) == 0 &&
               block.find('\x16', script.size()) == std::string::npos);
    return 0;
}
