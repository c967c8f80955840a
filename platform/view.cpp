#include "platform/view.h"

main_view* main_dialog = nullptr;
