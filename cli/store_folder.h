#pragma once
// The stores of a folder given where a store is expected.

#include <string>
#include <vector>

// A store found in a folder: its path, and the folder it lies in relative to the folder
// given ("" when directly in it), with '/' between names.
struct folder_store {
    std::string path;
    std::string relative_folder;
};

// Every file under `folder` (UTF-8), at any depth, whose name ends in ".dbx" in any case,
// in sorted order of their relative paths. Links to folders are not followed. Folders that
// cannot be read, and entries of such a name that are neither files nor block devices (a
// pipe, a socket), are said on standard error and passed over; `complete` is then false.
std::vector<folder_store> stores_in_folder(const std::string& folder, bool& complete);
