// morvale: salvages the messages of Outlook Express stores from the command line.

#include <string>
#include <vector>

#include "cli/command.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/fs.h"

int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(platform::narrow_utf8(argv[i]));
    return morvale_run(args);
}
#else
int main(int argc, char** argv) {
    return morvale_run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
