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
    // The store file of the folder ("Inbox.dbx"); empty for a folder without one.
    std::string file_name;
    uint32_t special = 0;  // 1 Inbox, 2 Outbox, 3 Sent Items, 4 Deleted Items, 5 Drafts; 0 none
    uint32_t account_kind = 3;  // 0 news, 1 IMAP, 3 local folders
};
// The parent id of the root folder ("Outlook Express").
constexpr uint32_t dbx_no_parent = 0xffffffffu;

struct dbx_folder_tree {
    std::vector<dbx_folder_info> folders;
    std::string note;  // one note when the file is unsound in part (a loop of parents, ...)
};

// Reads Folders.dbx at `path`; an unreadable or foreign file gives an empty tree with a note.
dbx_folder_tree dbx_read_folder_tree(const char* path,
                                     const platform::source_opener* open = nullptr);

// The display names from the top folder down to the folder whose file is `file_name`
// (compared without case); empty when the tree does not name that file. A loop of parents
// ends the path where it would repeat. The root folder and the "Local Folders" container
// (a local folder without a file right under the root) are not part of a path: Inbox /
// Clients / Acme; an IMAP or news account's folder is.
std::vector<std::string> dbx_folder_path(const dbx_folder_tree& tree, const std::string& file_name);
