#pragma once
// The message-box and file-dialog flags the program uses, by name.

// windows.h goes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <commdlg.h>
// clang-format on

// A yes/no question, system-modal: the exit and stop questions.
constexpr UINT question_box = MB_SYSTEMMODAL | MB_ICONQUESTION | MB_YESNO;
// Information boxes: the missing-folder notes (the first one system-modal).
constexpr UINT system_information_box = MB_SYSTEMMODAL | MB_ICONINFORMATION;
constexpr UINT information_box = MB_ICONINFORMATION;
// A warning, system-modal, and an error, system-modal.
constexpr UINT warning_box = MB_SYSTEMMODAL | MB_ICONWARNING;
constexpr UINT error_box = MB_SYSTEMMODAL | MB_ICONERROR;

// The store picker: several files may be picked (the first is taken).
constexpr DWORD store_picker_flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_ALLOWMULTISELECT;
