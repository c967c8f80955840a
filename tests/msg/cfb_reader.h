#pragma once
// A strict reader of compound files for the tests: it follows every chain, checks the FAT,
// DIFAT and mini FAT, the directory's sibling trees (order and red-black colours) and the
// stream sizes, and lists every problem it finds.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct cfb_entry {
    std::u16string name;
    int type = 0;  // 1 storage, 2 stream, 5 root
    int colour = 0;
    uint32_t left = 0, right = 0, child = 0, start = 0;
    uint64_t size = 0;
    std::string data;           // streams
    std::vector<int> children;  // storages, in tree order
};

struct cfb_file {
    std::vector<cfb_entry> entries;
    std::vector<std::string> problems;
    size_t fat_sectors = 0, difat_sectors = 0, mini_fat_sectors = 0;

    // The entry at a path such as "__recip_version1.0_#00000000/__properties_version1.0";
    // null when there is none.
    const cfb_entry* find(const std::string& path) const;
    // The names of a storage's children ("" for the root).
    std::vector<std::string> list(const std::string& path = "") const;
};

cfb_file read_cfb(const std::string& bytes);

// ASCII names as narrow strings, for messages and lookups.
std::string narrow(const std::u16string& name);

// The properties of one message object: tag -> 8-byte value (for strings, the size field).
struct property_stream {
    uint32_t recipients = 0, attachments = 0, next_recipient = 0;
    std::map<uint32_t, uint64_t> values;
};
property_stream read_properties(const std::string& data, size_t header_size);

// Checks the Outlook message rules on top of the container: one stream per string property,
// sizes that agree, no empty string stream, recipient and attachment storages as counted,
// and the same inside every embedded message.
std::vector<std::string> check_message(const cfb_file& file);

// A string property of the message (or of a storage below it) as UTF-16.
std::u16string string_property(const cfb_file& file, const std::string& storage, uint32_t tag);
