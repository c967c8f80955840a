#include "app/framework/controls.h"

int CListCtrl::InsertColumn(int column, const wchar_t* heading, int format, int width) {
    LVCOLUMNW column_info{};
    column_info.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
    column_info.fmt = format;
    column_info.cx = width;
    column_info.pszText = const_cast<wchar_t*>(heading);
    return static_cast<int>(
        SendMessage(LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&column_info)));
}

BOOL CListCtrl::SetItemText(int item, int subitem, const wchar_t* text) {
    LVITEMW cell{};
    cell.iSubItem = subitem;
    cell.pszText = const_cast<wchar_t*>(text);
    return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTW, item, reinterpret_cast<LPARAM>(&cell)));
}
