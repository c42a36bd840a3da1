// Writes the demo firmware files of the simulated module into a folder: versions
// 16.01, 16.05 and 16.11, each in variants A and B, named as the firmware folder
// expects (QV450_1605_GRUPA_B.bin). A second argument gives another file size, up to
// the 100352 bytes of a full image.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/sim_firmware_image.h"

namespace {

// Small enough that a flash takes seconds, large enough to span many blocks.
constexpr int DEMO_IMAGE_SIZE = 20480;
constexpr int FULL_IMAGE_SIZE = 100352;
constexpr int DEMO_VERSIONS[] = {1601, 1605, 1611};
constexpr char DEMO_VARIANTS[] = {'A', 'B'};

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string temporary = path + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::remove(temporary.c_str());
        return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int size = argc == 3 ? std::atoi(argv[2]) : DEMO_IMAGE_SIZE;
    if (argc < 2 || argc > 3 || size < 2048 + 16 || size > FULL_IMAGE_SIZE) {
        std::fprintf(stderr, "usage: %s FOLDER [SIZE]\n", argv[0]);
        return 2;
    }
    for (int version : DEMO_VERSIONS) {
        for (char variant : DEMO_VARIANTS) {
            SimFirmwareIdentity identity;
            identity.firmware_version = version;
            identity.variant_byte = variant - 'A' + 1;
            char name[64];
            std::snprintf(name, sizeof name, "/QV450_%04d_GRUPA_%c.bin", version, variant);
            const std::string path = std::string(argv[1]) + name;
            if (!write_file(path, make_sim_firmware_file(size, identity, 0x04, 0x50))) {
                std::fprintf(stderr, "%s: cannot write %s\n", argv[0], path.c_str());
                return 1;
            }
        }
    }
    return 0;
}
