#pragma once
// Runs on a worker thread: one run is one call of the engine. Only one run goes at a
// time, because the engine changes the process's working directory during a run.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/framework/thread.h"
#include "engine/engine.h"

// The thread object of the run started last; null when none goes (or it was abandoned).
// Written under the run lock; never used to reach the thread object itself, which
// deletes itself when its thread ends.
extern CWinThread* worker_thread;

// The worker function: the parameter is the run it carries out. Always returns 0.
UINT scan_worker(LPVOID parameter);

// True while a run's thread is still working, also one that was abandoned and is
// winding down.
bool run_in_progress();

// A save run of chosen messages: their store and its file name, and their chains.
struct chosen_messages {
    std::wstring store_path;
    std::wstring store_file_name;
    std::vector<chain_id> chains;
};

// What a run is started with, copied on the UI thread when it starts, so that the worker
// never reads what a new pick or a new Save writes while it goes.
struct run_request {
    std::wstring store_path;
    std::wstring store_file_name;
    std::wstring save_folder;        // where a save of .eml or .msg files goes
    std::wstring pst_file;           // the Personal Folders file a PST save writes
    bool pst_file_replaces = false;  // the user agreed to replace the file under its name
    std::optional<std::vector<chain_id>> chosen;  // a save of these messages alone
    scanned_store scan;  // the store as a scan left it, taken instead of scanning it again
};

// What a run did, for the dialog when it ends.
struct run_report {
    bool saving = false;
    bool folder_entered = false;         // a save run: the output folder was made and entered
    std::wstring folder;                 // a save run: the store's output folder
    std::wstring file;                   // a PST run: the file it writes
    std::vector<std::wstring> failures;  // a save run: each message not saved, and why
    scanned_store scan;                  // the store as the run scanned it (or was given it)
};

// What a run calls on its own thread when it ends, abandoned or not.
using run_end_report = std::function<void(const run_report& report)>;

// Starts a run of the request with the save mode read by the worker; its end goes to
// `report_end`. False when no run could start.
bool start_run(run_request request, run_end_report report_end);

// True on the thread of a run.
bool on_run_thread();

// Pauses the run, asks whether to stop it, then resumes or abandons it; true when it
// was abandoned.
bool stop_run();

// Abandons the run that is going, if any, and waits up to the time for its thread to
// stop working; true when it did (or none was going).
bool abandon_run_for_exit(DWORD milliseconds);

// For the view, on the worker thread: the run's checkpoint, and whether the run has been
// abandoned (it then touches the dialog no more). Both answer "go on" on other threads.
bool worker_checkpoint();
bool worker_run_abandoned();

// On the run's thread, for a run whose output takes its name only at its end: while one
// lives, the boxes that ask nothing wait instead of showing, so that the box closing the run
// comes once the output has its name. show() shows them in order, drop() forgets them;
// either ends the holding, and what is still held when it goes is forgotten.
class held_boxes {
  public:
    held_boxes();
    ~held_boxes() { drop(); }
    held_boxes(const held_boxes&) = delete;
    held_boxes& operator=(const held_boxes&) = delete;
    void show();
    void drop();
};

// For the view, on the run's thread: true when the box waits for a held_boxes.
bool hold_box(const std::string& text, const std::string& title, unsigned flags);

// For tests, on the worker thread: the run's next checkpoint waits until the UI asks for a
// pause (and pauses there) or abandons the run, so a Stop posted to the dialog now is
// always answered while the run still goes. Does nothing on other threads.
void hold_run_until_stop_asked();
