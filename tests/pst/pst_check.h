#pragma once
// The tests' strict reader of the node database of a Unicode Personal Folders file: checks
// every rule of its header, pages, blocks, trees and maps, and optionally hands back what each
// node holds.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// What a node (or subnode) holds: its data, whole, and its subnodes by id.
struct pst_node_content {
    uint32_t parent = 0;
    std::string data;
    std::map<uint32_t, pst_node_content> subnodes;
    bool operator==(const pst_node_content&) const = default;
};

struct pst_check_result {
    std::vector<std::string> problems;           // empty when the file passes
    std::map<uint32_t, pst_node_content> nodes;  // filled when asked for
};

pst_check_result check_pst_file(const std::string& path, bool read_contents);
