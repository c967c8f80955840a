#pragma once
// The messages of tests/item/mail, by file name, as the build read them.

#include <string>
#include <vector>

struct mail_file {
    std::string name;
    std::string text;
};
extern const std::vector<mail_file> mail_files;
