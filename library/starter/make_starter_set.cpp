// make_starter_set TABLE OUT.SET: writes the starter kernel library. OUT.SET
// is made anew; an existing file of that name is replaced only once the new
// one is complete.
#include <cstdio>
#include <string>
#include <vector>

#include "library/starter/starter_set.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_starter_set TABLE OUT.SET\n");
        return 2;
    }
    std::FILE* table = std::fopen(argv[1], "rb");
    if (!table) {
        std::fprintf(stderr, "make_starter_set: cannot read %s\n", argv[1]);
        return 2;
    }
    std::vector<StarterKernel> kernels;
    std::string error;
    const bool parsed = ParseStarterTable(table, &kernels, &error);
    std::fclose(table);
    if (!parsed) {
        std::fprintf(stderr, "make_starter_set: %s: %s\n", argv[1], error.c_str());
        return 2;
    }
    const std::string partial = std::string(argv[2]) + ".partial";
    std::remove(partial.c_str());
    if (!WriteStarterSet(kernels, partial.c_str(), &error)) {
        std::remove(partial.c_str());
        std::fprintf(stderr, "make_starter_set: %s\n", error.c_str());
        return 2;
    }
    std::remove(argv[2]);
    if (std::rename(partial.c_str(), argv[2]) != 0) {
        std::fprintf(stderr, "make_starter_set: cannot write %s\n", argv[2]);
        return 2;
    }
    std::printf("%s: %u kernels\n", argv[2], static_cast<unsigned>(kernels.size()));
    return 0;
}
