#pragma once
// Where a store's output goes when its folder's Folders.dbx names it: under the display
// names of the folders the identity's tree nests it in, the same in every kind of run and
// from either front end.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "dbx/folders_file.h"

// The folder trees (Folders.dbx) of the stores' folders, each read once in a run.
class folder_trees {
  public:
    // The display names (UTF-8) of the folders from the top down to the store at `store`, as
    // the Folders.dbx beside it names them; empty when there is none or it does not name the
    // store. What a tree's reading found unsound is said once on standard error.
    std::vector<std::string> path_of(const std::string& store);
    // Whether `path` is the Folders.dbx of its folder and a folder tree could be read from it:
    // it holds the tree, not messages.
    bool is_tree(const std::string& path);

  private:
    // The tree beside the store at `store`, read the first time it is asked for.
    const std::optional<dbx_folder_tree>& tree_beside(const std::string& store);

    std::map<std::string, std::optional<dbx_folder_tree>> trees_;  // by the stores' folder
};

// Says on standard error what the reading of the folder tree at `path` found unsound, if
// anything.
void say_tree_note(const std::string& path, const dbx_folder_tree& tree);

// The names below a save run's folder (or in a collection) of the output folder of the store
// at `store_path` saved by itself: the folders its Folders.dbx places it in, else its own
// folder name alone.
std::vector<std::string> store_output_names(const std::string& store_path);

// The display names made folder names every system holds, in the same order.
std::vector<std::string> safe_folder_names(const std::vector<std::string>& names);

// The names joined with '/'.
std::string joined_names(const std::vector<std::string>& names);

// The engine's target for a save run whose output folder `names` gives below `folder` (which
// must exist): makes each folder of `names` but the last, each inside the one before, none
// through a link, and gives `folder`, each name after `separator` (the first without one when
// `folder` ends in a separator), and ".dbx" after the last (the run makes that folder
// itself). None, errno set, when a folder cannot be made.
std::optional<std::string> target_below(const std::string& folder,
                                        const std::vector<std::string>& names, char separator);
