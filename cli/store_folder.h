#pragma once
// The stores of a folder given where a store is expected.

#include <string>
#include <utility>
#include <vector>

#include "platform/read.h"

// A store found in a folder: its path, and the folder it lies in relative to the folder
// given ("" when directly in it), with '/' between names.
struct folder_store {
    std::string path;
    std::string relative_folder;
};

// Every file under `folder` (UTF-8), at any depth, whose name ends in ".dbx" in any case,
// in sorted order of their relative paths. Links to folders are not followed. Folders that
// cannot be read, and entries of such a name that are neither files nor block devices (a
// pipe, a socket), are passed over, said on standard error unless `quiet`; `complete` is
// then false.
std::vector<folder_store> stores_in_folder(const std::string& folder, bool& complete,
                                           bool quiet = false);

// What a path names: the entry itself and, where it is a link, what the link leads to.
std::vector<platform::file_identity> identities_of(const std::string& path);

// The files a run reads, by identity: each input given (a store or an image), every store
// in a folder given and, of an image, every file beside it named as one of its segments
// would be (disk.001 ... or disk.aa ..., disk.E01 ... disk.EAA ..., disk.Ex01 ...). No
// output may take the place of any of them.
// Each file comes with its path, as given or found.
std::vector<std::pair<std::string, platform::file_identity>> input_files(
    const std::vector<std::string>& inputs, bool images);
