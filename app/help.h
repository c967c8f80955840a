#pragma once
// The help command: opens "quenby.chm" from the current directory through the shell.
void open_help_file();
