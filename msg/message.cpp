#include "msg/message.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>

#include "msg/property_set.h"
#include "platform/fs.h"

namespace msg {

namespace {

const compound_file::clsid mail_message_clsid = {0x0B, 0x0D, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

}  // namespace

// The file views the item.
bool write_message(const item::message& built, const byte_sink& sink) {
    compound_file file;
    file.set_clsid(compound_file::root, mail_message_clsid);
    std::deque<std::string> owned;

    int nameid = file.add_storage(compound_file::root, u"__nameid_version1.0");
    for (const char* stream :
         {"__substg1.0_00020102", "__substg1.0_00030102", "__substg1.0_00040102"}) {
        file.add_stream(nameid, ascii(stream), {});
    }

    add_item(file, compound_file::root, built, false, owned);
    return file.write(sink);
}

std::string write_message_file(const item::message& built, const std::string& path) {
    FILE* file = platform::create_new_file(path.c_str());
    if (!file) return "cannot write " + path + ": " + std::strerror(errno);
    bool written = write_message(built, [file](const char* data, size_t size) {
        return std::fwrite(data, 1, size, file) == size;
    });
    int error = errno;
    if (std::fclose(file) != 0 && written) {
        written = false;
        error = errno;
    }
    return written ? std::string() : "cannot write " + path + ": " + std::strerror(error);
}

}  // namespace msg
