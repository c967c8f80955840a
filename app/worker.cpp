#include "app/worker.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "app/message_flags.h"
#include "app/run_control.h"
#include "app/shell_seams.h"
#include "app/wide_text.h"
#include "dispatch/dispatch.h"
#include "engine/engine.h"
#include "engine/store_tree.h"
#include "engine/sys.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "platform/view.h"

CWinThread* worker_thread = nullptr;

namespace {

// One run: the request it was started with, its pause and abandon requests, and where its
// end is reported.
struct run : run_request {
    run(run_request request, run_end_report report_end)
        : run_request(std::move(request)), report_end(std::move(report_end)) {}
    run_control control;
    run_end_report report_end;
    CWinThread* thread = nullptr;
    run_report report;
    struct box {
        std::string text, title;
        unsigned flags;
    };
    std::optional<std::vector<box>> held;  // boxes waiting while a held_boxes lives
};

std::mutex run_lock;
std::shared_ptr<run> active_run;  // started and not yet ended; guarded by run_lock
thread_local run* this_run = nullptr;

// A message a save run could not save, as the list of errors shows it.
std::wstring failure_line(const chain_record& record) {
    char offset[16];
    std::snprintf(offset, sizeof offset, "%08X", unsigned(record.first_offset));
    std::string line = std::string(record.list == 1 ? "Fragment at " : "Message at ") + offset;
    if (!record.from.empty()) line += ", from " + record.from;
    if (!record.subject.empty()) line += ", \"" + record.subject + "\"";
    return to_wide(line + ": " + record.reason);
}

// Keeps what a save run could not save, for as long as the run goes.
struct failure_collector {
    explicit failure_collector(std::vector<std::wstring>& failures) {
        chain_observer = [&failures](const chain_record& record) {
            if (record.failed) failures.push_back(failure_line(record));
        };
    }
    ~failure_collector() { chain_observer = nullptr; }
};

void call_engine(run& job) {
    int mode = save_mode.load();
    std::string store = to_utf8(job.store_path);
    bool saving = mode == 1 || mode == 2 || mode == 3;
    job.report.saving = saving;
    // The target is the folder, the folders the store's Folders.dbx places it in (made now)
    // and its own folder's name with ".dbx", which the engine drops to make the output
    // folder; the command line nests a store saved by itself the same way. The folder
    // global itself stays as it is.
    std::string target;
    if (mode == 3) {
        job.report.file = job.pst_file;
        job.report.folder = job.pst_file.substr(0, platform::file_name_start(job.pst_file));
    } else if (saving) {
        std::vector<std::string> names = store_output_names(store);
        std::string folder = to_utf8(job.save_folder + L"\\");
        std::optional<std::string> made = target_below(folder, names, '\\');
        if (!made) {
            int error = errno;
            for (size_t at = 0; at + 1 < names.size(); ++at)
                folder += names[at] + (at + 2 < names.size() ? "\\" : "");
            if (main_dialog != nullptr)
                main_dialog->message_box(
                    "Saving failed: " + folder + ": " +
                        (error == ELOOP ? "a link is on the way" : std::strerror(error)),
                    "Tavrin Morvale", error_box);
            return;
        }
        target = *made;
        job.report.folder = to_wide(output_folder(target));
    }
    try {
        if (mode == 3) {
            failure_collector collect(job.report.failures);
            job.report.folder_entered = seams.save_pst(to_utf8(job.pst_file).c_str(), store.c_str(),
                                                       job.chosen ? &*job.chosen : nullptr,
                                                       job.pst_file_replaces, &job.scan) == 0;
            return;
        }
        if (!saving) {
            seams.recover(nullptr, store.c_str(), &job.scan);
            return;
        }
        failure_collector collect(job.report.failures);
        int result =
            job.chosen ? seams.recover_chosen(target.c_str(), store.c_str(), *job.chosen, &job.scan)
                       : seams.recover(target.c_str(), store.c_str(), &job.scan);
        job.report.folder_entered = result == 0;
    } catch (const dispatch::dispatch_error& error) {
        // A failed .msg conversion ends the run; the user learns why.
        if (main_dialog != nullptr) {
            main_dialog->message_box(std::string("Saving stopped: ") + error.what(),
                                     "Tavrin Morvale", error_box);
        }
    } catch (...) {
    }
}

}  // namespace

UINT scan_worker(LPVOID parameter) {
    std::unique_ptr<std::shared_ptr<run>> handed(static_cast<std::shared_ptr<run>*>(parameter));
    std::shared_ptr<run> job = *handed;
    this_run = job.get();
    call_engine(*job);
    job->report.scan = job->scan;
    job->report_end(job->report);
    this_run = nullptr;
    std::lock_guard<std::mutex> hold(run_lock);
    // The UI thread publishes worker_thread under this lock, so this clearing comes after
    // it; an abandoned run was cleared already, and a later run is not ours to clear.
    if (worker_thread == job->thread) worker_thread = nullptr;
    if (active_run == job) active_run.reset();
    job->control.finish();
    return 0;
}

bool run_in_progress() {
    std::lock_guard<std::mutex> hold(run_lock);
    return active_run != nullptr;
}

bool start_run(run_request request, run_end_report report_end) {
    auto job = std::make_shared<run>(std::move(request), std::move(report_end));
    std::lock_guard<std::mutex> hold(run_lock);
    if (active_run != nullptr) return false;
    CWinThread* thread = AfxBeginThread(scan_worker, new std::shared_ptr<run>(job));
    if (thread == nullptr) return false;  // (the parameter is lost with the thread that never ran)
    job->thread = thread;
    active_run = job;
    worker_thread = thread;
    return true;
}

bool on_run_thread() {
    return this_run != nullptr;
}

bool stop_run() {
    std::shared_ptr<run> job;
    {
        std::lock_guard<std::mutex> hold(run_lock);
        if (worker_thread == nullptr) return false;
        job = active_run;
    }
    if (job == nullptr) return false;
    job->control.request_pause();
    // A run that ends before it can be paused has nothing left to stop.
    if (!job->control.wait_until_paused()) return false;
    int answer = main_dialog->message_box("Do you want to stop scan process ?", "Tavrin Morvale",
                                          question_box);
    if (answer != IDYES) {
        job->control.resume();
        return false;
    }
    job->control.abandon();
    std::lock_guard<std::mutex> hold(run_lock);
    if (worker_thread == job->thread) worker_thread = nullptr;
    return true;
}

bool abandon_run_for_exit(DWORD milliseconds) {
    std::shared_ptr<run> job;
    {
        std::lock_guard<std::mutex> hold(run_lock);
        job = active_run;
        worker_thread = nullptr;
    }
    if (job == nullptr) return true;
    job->control.abandon();
    return job->control.wait_for_end(milliseconds);
}

bool worker_checkpoint() {
    return this_run == nullptr || this_run->control.checkpoint();
}

bool worker_run_abandoned() {
    return this_run != nullptr && this_run->control.abandoned();
}

held_boxes::held_boxes() {
    if (this_run != nullptr) this_run->held.emplace();
}

void held_boxes::drop() {
    if (this_run != nullptr) this_run->held.reset();
}

void held_boxes::show() {
    if (this_run == nullptr || !this_run->held) return;
    std::vector<run::box> boxes = std::move(*this_run->held);
    this_run->held.reset();
    for (const run::box& box : boxes) {
        if (main_dialog != nullptr) main_dialog->message_box(box.text, box.title, box.flags);
    }
}

bool hold_box(const std::string& text, const std::string& title, unsigned flags) {
    if (this_run == nullptr || !this_run->held || (flags & MB_TYPEMASK) != MB_OK) return false;
    this_run->held->push_back({text, title, flags});
    return true;
}

void hold_run_until_stop_asked() {
    if (this_run != nullptr) this_run->control.hold_until_pause_requested();
}
