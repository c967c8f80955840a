#pragma once
// The main dialog: pick a store, list its messages, choose a format and a folder, save,
// stop. The engine's view of a run (rows, the progress bar, boxes, the checkpoint) is its
// engine_view, which hands the window what the run gives.

#include <memory>
#include <string>
#include <vector>

#include "app/cell_tip.h"
#include "app/dialog_layout.h"
#include "app/engine_view.h"
#include "app/framework/controls.h"
#include "app/framework/dialog.h"
#include "app/message_list.h"
#include "app/message_preview.h"
#include "app/message_preview_pane.h"
#include "app/message_rows.h"
#include "app/opened_messages.h"
#include "app/save_commands.h"
#include "app/split_pane.h"
#include "app/view_settings.h"
#include "app/worker.h"

class CMorvaleDlg : public CDialog {
  public:
    explicit CMorvaleDlg(CWnd* parent = nullptr);
    ~CMorvaleDlg() override;

    // A store to choose as the dialog opens (the program's command line).
    void choose_store_at_start(const std::wstring& path) { start_store_ = path; }

  protected:
    HICON m_hIcon;
    CListCtrl m_message_list;
    CProgressCtrl m_progress;
    CButton m_save_eml;
    CButton m_cancel;
    CButton m_save_msg;
    CButton m_save_pst;
    CButton m_save;
    CButton m_next;
    CButton m_stop;

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnCancel() override;

    void OnSysCommand(UINT id, LPARAM lparam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnNext();
    void OnBrowse();
    void OnStop();
    void OnClose();
    void OnSave();
    void OnAbout();
    void OnExit();
    void OnSaveEmlClicked();
    void OnSaveMsgClicked();
    void OnSavePstClicked();
    void OnOpen();
    void OnScan();
    void OnSaveEmlMenu();
    void OnSaveMsgMenu();
    void OnSavePstMenu();
    void OnHelpContent();
    void OnViewDecodedText();
    void OnViewPreview();
    void OnListOpen();
    void OnListSaveEml();
    void OnListSaveMsg();
    void OnListSavePst();
    void OnListCopy();
    void OnSelectAll();
    void OnOpenFolder();
    void OnShowErrors();
    void OnPathEdited();
    LRESULT OnRunEnded(WPARAM, LPARAM report);
    LRESULT OnPreviewReady(WPARAM number, LPARAM);
    LRESULT OnContextMenu(WPARAM window, LPARAM point);
    LRESULT OnMouseDown(WPARAM, LPARAM point);
    LRESULT OnMouseMove(WPARAM, LPARAM point);
    LRESULT OnMouseUp(WPARAM, LPARAM);
    LRESULT OnSetCursor(WPARAM window, LPARAM hit);
    LRESULT OnDropFiles(WPARAM drop, LPARAM);
    LRESULT OnListSelectionChanged(NMHDR* header);
    LRESULT OnTimer(WPARAM id, LPARAM);
    LRESULT OnTakeRows(WPARAM, LPARAM);
    LRESULT OnSize(WPARAM, LPARAM);
    LRESULT OnGetMinMaxInfo(WPARAM, LPARAM info);
    LRESULT OnHelpKey(WPARAM, LPARAM);
    LRESULT OnDrawItem(WPARAM id, LPARAM item);
    LRESULT OnDpiChanged(WPARAM, LPARAM);
    LRESULT OnDestroy(WPARAM, LPARAM);
    LRESULT OnListCell(NMHDR* header);
    LRESULT OnListDraw(NMHDR* header);
    LRESULT OnListColumnClick(NMHDR* header);
    LRESULT OnListActivate(NMHDR* header);
    LRESULT OnListReturn(NMHDR* header);
    void OnAttachmentOpen();
    void OnAttachmentSave();

    DECLARE_MESSAGE_MAP()

  private:
    // What a run does to the rows the list shows: a scan replaces them at once, a save of
    // every message when its first row comes (a save that fails keeps them), a save of
    // chosen messages never.
    enum class run_kind { scan, save_all, save_chosen };

    bool begin_run(run_kind kind, const chosen_messages* chosen = nullptr);
    void update_save_commands();
    bool chosen_rows_usable() const;
    void save_selected(int mode);
    void update_status();
    void set_status(int part, const std::wstring& text);
    void create_status_bar();
    void update_preview();
    void place_preview();
    void restore_view(const view_settings& settings);
    void keep_view() const;
    void use_store(const std::wstring& path);
    void open_store(const std::wstring& path);
    void allow_next();
    void focus_list();
    void fold_rows_when_short();
    void note_path(const std::wstring& text);
    std::wstring last_folder() const;
    void take_rows();
    void enable(CWnd& control, bool enabled);
    void open_message(int position);
    void open_in_program(const std::wstring& file, const std::wstring& no_program);
    bool attachment_menu(HWND window, LPARAM point);
    int usable_attachment();
    void end_dialog_now() { CDialog::OnCancel(); }
    void load_banner();
    void add_about_item();
    void save_command();
    void save_pst_command();
    void check_format(int mode);
    void choose_format_and_save(int mode);
    void set_menu_item(UINT id, bool enabled);
    int box(const std::wstring& text, const std::wstring& title, UINT flags);

    engine_view engine_view_;  // what a run gives, on the worker thread
    run_kind run_kind_ = run_kind::scan;
    bool rows_replaced_ = true;    // the running run's rows have taken the list's place
    bool run_keeps_rows_ = false;  // the running run leaves the list as it is
    scanned_store rows_scan_;      // the scan the listed rows come from, when it was whole
    std::wstring run_store_;       // the store of the run that goes
    std::wstring rows_store_file_name_;
    std::wstring activity_;               // what the status bar says is being done or was done
    std::wstring saved_folder_;           // the last save run's folder
    std::vector<std::wstring> failures_;  // the messages it could not save, and why
    HWND status_bar_ = nullptr;
    std::unique_ptr<message_preview> preview_;
    uint64_t preview_number_ = 0;    // the preview asked for last
    int previewed_row_ = -1;         // its row's engine index
    message_row previewed_message_;  // and the row
    message_preview_pane preview_pane_;
    split_pane pane_;              // the list beside the preview
    bool running_ = false;         // a run started here has not ended (nor been stopped)
    bool save_button_on_ = false;  // a format was chosen with its button: "Save" may be used
    std::wstring start_store_;
    message_list list_;        // what the list shows
    std::wstring rows_store_;  // the store the listed rows come from
    opened_messages opened_;
    dialog_layout layout_;
    cell_tip date_tip_;  // the Date as written, over a date shown in the user's form
    HBITMAP banner_ = nullptr;
};
