#pragma once
// The pause and abandon requests of one run. The worker calls checkpoint() at points
// where it holds no lock and no half-written output; the UI thread asks for a pause,
// waits until the worker stands at such a point, and then resumes or abandons the run.

#include <windows.h>

#include <condition_variable>
#include <mutex>

class run_control {
  public:
    run_control();
    ~run_control();
    run_control(const run_control&) = delete;
    run_control& operator=(const run_control&) = delete;

    // Worker side. checkpoint() blocks while a pause is asked for; it returns false once
    // the run is abandoned, and keeps returning false.
    bool checkpoint();
    void finish();
    // For tests: the worker's next checkpoint waits until a pause is asked for (it then
    // pauses there) or the run is abandoned, so a Stop on its way finds the run still going
    // however fast the run is. Unused, the checkpoint never waits for anything but a pause.
    void hold_until_pause_requested();
    bool abandoned() const;

    // UI side. The waits keep carrying out the messages the worker sends to the dialog,
    // so a worker in the middle of adding a row can reach its checkpoint.
    void request_pause();
    // True once the worker stands paused at a checkpoint; false when the run ended first.
    bool wait_until_paused();
    void resume();
    void abandon();
    // True when the run ended within the time.
    bool wait_for_end(DWORD milliseconds);

  private:
    template <class Condition>
    bool wait_pumping(Condition done, DWORD milliseconds);
    void changed();

    mutable std::mutex lock_;
    std::condition_variable wake_worker_;
    HANDLE state_changed_;
    bool hold_until_pause_requested_ = false;
    bool pause_requested_ = false;
    bool paused_ = false;
    bool abandoned_ = false;
    bool ended_ = false;
};
