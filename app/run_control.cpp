#include "app/run_control.h"

#include <algorithm>

run_control::run_control() : state_changed_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

run_control::~run_control() {
    CloseHandle(state_changed_);
}

void run_control::changed() {
    SetEvent(state_changed_);
}

bool run_control::checkpoint() {
    std::unique_lock<std::mutex> hold(lock_);
    if (hold_until_pause_requested_) {
        wake_worker_.wait(hold, [this] { return pause_requested_ || abandoned_; });
        hold_until_pause_requested_ = false;
    }
    if (pause_requested_ && !abandoned_) {
        paused_ = true;
        changed();
        wake_worker_.wait(hold, [this] { return !pause_requested_ || abandoned_; });
        paused_ = false;
    }
    return !abandoned_;
}

void run_control::hold_until_pause_requested() {
    std::lock_guard<std::mutex> hold(lock_);
    hold_until_pause_requested_ = true;
}

void run_control::finish() {
    std::lock_guard<std::mutex> hold(lock_);
    ended_ = true;
    changed();
}

bool run_control::abandoned() const {
    std::lock_guard<std::mutex> hold(lock_);
    return abandoned_;
}

void run_control::request_pause() {
    std::lock_guard<std::mutex> hold(lock_);
    pause_requested_ = true;
    wake_worker_.notify_all();  // (a worker held for the test seam waits for this)
}

void run_control::resume() {
    std::lock_guard<std::mutex> hold(lock_);
    pause_requested_ = false;
    wake_worker_.notify_all();
}

void run_control::abandon() {
    std::lock_guard<std::mutex> hold(lock_);
    abandoned_ = true;
    pause_requested_ = false;
    wake_worker_.notify_all();
}

// Waits for the condition while carrying out messages sent to this thread's windows
// (only sent ones: posted messages and input stay queued for the dialog's own loop).
template <class Condition>
bool run_control::wait_pumping(Condition done, DWORD milliseconds) {
    DWORD start = GetTickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (done()) return true;
        }
        DWORD spent = GetTickCount() - start;
        if (milliseconds != INFINITE && spent >= milliseconds) return false;
        // A short slice as well, in case a wake-up slips between the test and the wait.
        DWORD slice = milliseconds == INFINITE ? 50 : std::min<DWORD>(50, milliseconds - spent);
        MsgWaitForMultipleObjects(1, &state_changed_, FALSE, slice, QS_SENDMESSAGE);
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

bool run_control::wait_until_paused() {
    wait_pumping([this] { return paused_ || ended_; }, INFINITE);
    std::lock_guard<std::mutex> hold(lock_);
    return paused_;
}

bool run_control::wait_for_end(DWORD milliseconds) {
    return wait_pumping([this] { return ended_; }, milliseconds);
}
