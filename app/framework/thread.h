#pragma once
// CWinThread and AfxBeginThread: a worker thread running one function. With
// m_bAutoDelete (the default) the thread object deletes itself when the function returns.

#include <windows.h>

using AFX_THREADPROC = UINT (*)(LPVOID);

class CWinThread {
  public:
    CWinThread(AFX_THREADPROC procedure, LPVOID parameter)
        : m_pfnThreadProc(procedure), m_pThreadParams(parameter) {}
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;
    virtual ~CWinThread();

    DWORD ResumeThread() { return ::ResumeThread(m_hThread); }

    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
    BOOL m_bAutoDelete = TRUE;
    AFX_THREADPROC m_pfnThreadProc;
    LPVOID m_pThreadParams;
};

// Starts `procedure(parameter)` on a new thread; null when the thread cannot be made.
CWinThread* AfxBeginThread(AFX_THREADPROC procedure, LPVOID parameter,
                           int priority = THREAD_PRIORITY_NORMAL, UINT stack_size = 0,
                           DWORD create_flags = 0, LPSECURITY_ATTRIBUTES security = nullptr);
