// msg_file_check FILE...: reads each .msg file with the tests' strict compound file
// reader and checks the Outlook message rules on it; prints one line per problem and
// exits 1 when any file has one. The end-to-end check of saved files runs it.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cfb_reader.h"

namespace {

// The problems of one file, each printed as "FILE: problem"; false when there are any.
bool check_file(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::printf("%s: cannot be read\n", path);
        return false;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> problems = check_message(read_cfb(bytes));
    for (const std::string& problem : problems) std::printf("%s: %s\n", path, problem.c_str());
    return problems.empty();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: msg_file_check FILE.msg...\n");
        return 2;
    }
    bool clean = true;
    for (int i = 1; i < argc; i++) clean = check_file(argv[i]) && clean;
    return clean ? 0 : 1;
}
