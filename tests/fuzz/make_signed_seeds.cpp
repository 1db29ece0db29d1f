// Seeds of signed programs for archive_reader_fuzz: PE32 and PE32+ headers
// carrying a stored script as their archive, then a certificate table.
//   make_signed_seeds SCRIPT.dat OUT_DIR
#include <fstream>
#include <iterator>
#include <string>

#include "archive_file.h"
#include "support/pe_file.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::string script{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (int magic : {PE_FILE_32, PE_FILE_64}) {
        std::string packed, error;
        if (!ffspack_pack(pe_file_image(magic, 512), script, &packed, &error)) {
            return 1;
        }
        std::ofstream(std::string(argv[2]) +
                          (magic == PE_FILE_32 ? "/signed32.exe" : "/signed64.exe"),
                      std::ios::binary)
            << pe_file_signed(packed, magic, 64);
    }
    return 0;
}
