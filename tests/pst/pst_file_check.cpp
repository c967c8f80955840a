// pst_file_check FILE...: checks the node database of each Personal Folders file strictly
// (header, pages, blocks, both B-trees, reference counts, allocation maps, density list);
// prints one line per problem and exits 1 when any file has one.

#include <cstdio>

#include "pst_check.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: pst_file_check FILE.pst...\n");
        return 2;
    }
    bool clean = true;
    for (int i = 1; i < argc; i++) {
        pst_check_result result = check_pst_file(argv[i], false);
        for (const std::string& problem : result.problems)
            std::printf("%s: %s\n", argv[i], problem.c_str());
        clean = clean && result.problems.empty();
    }
    return clean ? 0 : 1;
}
