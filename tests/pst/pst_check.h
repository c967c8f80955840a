#pragma once
// The tests' strict reader of the node database of a Unicode Personal Folders file: checks
// every rule of its header, pages, blocks, trees and maps, that a file with a message store
// has every node a minimal file has and that the store's special-folder entry ids name
// folders; optionally hands back what each node holds.

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

// The properties of a node's property context whose heap's allocations lie in its first
// block: each tag with its value's bytes (a value of up to 4 bytes as the record holds it,
// in 4 bytes). Empty when the node holds no such context.
std::map<uint32_t, std::string> pst_properties(const pst_node_content& node);
