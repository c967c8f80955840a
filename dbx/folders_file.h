#pragma once
// Folders.dbx: the folder tree of an identity, with the display name of each folder and
// the store file that holds its messages.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/image.h"

struct dbx_folder_info {
    uint32_t id = 0, parent_id = 0;
    std::string name;  // the display name, bytes as stored
    std::string
        file_name;  // the store file of the folder ("Inbox.dbx"); empty for a folder without one
};

struct dbx_folder_tree {
    std::vector<dbx_folder_info> folders;
    std::string note;  // one note when the file is unsound in part (a loop of parents, ...)
};

// Reads Folders.dbx at `path`; an unreadable or foreign file gives an empty tree with a note.
dbx_folder_tree dbx_read_folder_tree(const char* path,
                                     const platform::source_opener* open = nullptr);

// The display names from the top folder down to the folder whose file is `file_name`
// (compared without case); empty when the tree does not name that file. A loop of parents
// ends the path where it would repeat.
std::vector<std::string> dbx_folder_path(const dbx_folder_tree& tree, const std::string& file_name);
