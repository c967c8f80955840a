#include "app/framework/thread.h"

#include <process.h>

CWinThread::~CWinThread() {
    if (m_hThread != nullptr) CloseHandle(m_hThread);
}

static unsigned __stdcall thread_entry(void* object) {
    auto* thread = static_cast<CWinThread*>(object);
    UINT code = thread->m_pfnThreadProc(thread->m_pThreadParams);
    if (thread->m_bAutoDelete) delete thread;
    return code;
}

CWinThread* AfxBeginThread(AFX_THREADPROC procedure, LPVOID parameter, int priority,
                           UINT stack_size, DWORD create_flags, LPSECURITY_ATTRIBUTES security) {
    auto* thread = new CWinThread(procedure, parameter);
    // Made suspended, so the object is complete before the function can run and end.
    unsigned id = 0;
    uintptr_t handle =
        _beginthreadex(security, stack_size, thread_entry, thread, CREATE_SUSPENDED, &id);
    if (handle == 0) {
        delete thread;
        return nullptr;
    }
    thread->m_hThread = reinterpret_cast<HANDLE>(handle);
    thread->m_nThreadID = id;
    SetThreadPriority(thread->m_hThread, priority);
    if ((create_flags & CREATE_SUSPENDED) == 0) thread->ResumeThread();
    return thread;
}
