#pragma once
// The engine entry and the routines of one extraction run.

#include <atomic>

// 0 list only, 1 save as .eml, 2 save as .msg; taken once per run.
extern std::atomic<int> save_mode;

// Runs one extraction: `target` is the output folder, the path separator and the store's
// file name (null for a list-only run); `store_path` the store. UTF-8 paths.
// Returns 0 when a save run entered its output folder, otherwise -1.
int recover_store(const char* target, const char* store_path);
