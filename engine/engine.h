#pragma once
// The engine entry and the routines of one extraction run.

#include <atomic>

// 0 list only, 1 save as .eml, 2 save as .msg; taken once per run.
extern std::atomic<int> save_mode;

// What became of one run, for front ends that report it.
struct run_outcome {
    bool store_opened = false;
    bool folder_entered = false;  // save runs: the output folder was made and entered
    int errors = 0;               // messages and fragments that could not be saved
    bool abandoned = false;       // the run was abandoned at a checkpoint
};

// Runs one extraction: `target` is the output folder, the path separator and the store's
// file name (null for a list-only run); `store_path` the store. UTF-8 paths.
// Returns 0 when a save run entered its output folder, otherwise -1. A failed .msg
// conversion ends the run by throwing dispatch::dispatch_error.
int recover_store(const char* target, const char* store_path, run_outcome* outcome = nullptr);
