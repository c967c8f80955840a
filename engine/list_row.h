#pragma once
// A message's row in the view's list, made from the summary's values.

#include "header/summary.h"
#include "platform/view.h"

// Adds an empty row at the end of the view's list (none without a view).
void add_list_row(main_view* view);

// Fills the last row of the view's list with a message's cells as written and, for a
// list that keeps them, From, Subject and To decoded: `decoded` when given, else decoded
// here.
void fill_list_row(main_view* view, const hdr_row_view& row,
                   const hdr_decoded_values* decoded = nullptr);

// Adds the row and fills it.
void show_list_row(main_view* view, const hdr_row_view& row,
                   const hdr_decoded_values* decoded = nullptr);
