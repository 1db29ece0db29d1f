// The packer's source parser over arbitrary text: whatever it accepts must
// compile, decompile to the same commands, and pack into an archive whose
// trailer bytes never start a command.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive_file.h"
#include "source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<ScriptCommand> commands;
    std::string error;
    if (!ffspack_parse_source("fuzz.txt", text, &commands, &error)) {
        if (error.compare(0, 9, "fuzz.txt:") != 0) {
            abort();
        }
        return 0;
    }
    std::string script = ffspack_compile(commands);
    if (ffspack_decompile(script) != commands) {
        abort();
    }
    std::string image(1 + size % 37, 'M');
    std::string packed;
    if (!ffspack_pack(image, script, &packed, &error)) {
        abort();
    }
    ArchiveLocation found = ffspack_locate(packed);
    if (found.state != ARCHIVE_FOUND || found.trailer != image.size()) {
        abort();
    }
    std::string block = ffspack_data_block(packed, found);
    if (block.compare(0, script.size(), script) != 0 ||
        block.find('\x16', script.size()) != std::string::npos) {
        abort();
    }
    return 0;
}
