#pragma once
// The working directory and the folders a run writes into.

#include <optional>
#include <string>

// Working-directory and folder calls with the engine's results (-1 on failure).
std::optional<std::string> sys_getcwd();
int sys_chdir(const char* path);
int sys_mkdir(const char* parent, const char* name);

// The path of `name` inside `folder`.
std::string in_folder(const char* folder, const std::string& name);

// The output folder of a save run: the target without a final ".dbx" (any case).
std::string output_folder(const std::string& target);

// True when `folder` is a link (the run writes nothing there), and the words that say so.
bool is_link(const std::string& folder);
void say_link(const std::string& folder);

// Makes `name` in `parent` and checks that it is a folder of its own; false, said, when
// nothing can be written there.
bool make_own_folder(const std::string& parent, const std::string& name, const char* tag = nullptr);
