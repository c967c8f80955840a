#pragma once
// The block scan read the slow, literal way: one byte at a time from the stream, words
// kept in an eight-slot ring, and both link searches done linearly backwards over the
// earlier entries. The fast scan must agree with it in every list, link, chain head and
// byte of standard output.

#include "dbx/dbx.h"

// Opens `path` as dbx_open does and runs the literal scan; null when it cannot be opened.
dbx_t* reference_open(const char* path);
