#pragma once
// A main dialog for tests: it keeps the message list's rows and cells, every progress
// position and every message box, and can abandon a run at a chosen checkpoint.

#include <array>
#include <string>
#include <vector>

#include "platform/view.h"

struct recorded_box {
    std::string text;
    std::string title;
    unsigned flags;
};

class recording_view : public main_view {
  public:
    struct row {
        std::array<std::u16string, 4> cells;  // From, E-mail Subject, To, Date
        int image = -1;
    };

    int item_count() override;
    void insert_item(int index) override;
    void set_item_text(int item, int subitem, const std::u16string& text) override;
    void set_progress(int position) override;
    int message_box(const std::string& text, const std::string& title, unsigned flags) override;
    bool checkpoint() override;

    std::vector<row> rows;
    std::vector<int> progress;
    std::vector<recorded_box> boxes;
    int checkpoints = 0;
    // The run is abandoned at this checkpoint (counted from 1) and after; 0 never.
    int abandon_at = 0;
};

// Makes a view the main dialog for the life of the object.
class scoped_main_dialog {
  public:
    explicit scoped_main_dialog(main_view* view) : saved_(main_dialog) { main_dialog = view; }
    ~scoped_main_dialog() { main_dialog = saved_; }

  private:
    main_view* saved_;
};
