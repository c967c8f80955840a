#pragma once
// What the store fuzzers share: a folder of their own for the store files and the runs'
// output, standard output and error caught while a piece of code runs, and a check that
// stops the process with a message when a promise is broken, so that libFuzzer keeps the
// input. Native only.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "dbx/dbx.h"

// A fresh folder for this process, made once; removed when the process ends.
const std::string& fuzz_folder();

// Writes the input as a file; returns its path.
std::string write_input(const std::string& path, const uint8_t* data, size_t size);

struct caught_output {
    std::string out;
    std::string err;
};
caught_output catch_output(const std::function<void()>& body);

// Stops the process with `what` on standard error unless `holds`.
void require(bool holds, const std::string& what);

// The literal reference scan of the store at `path`, its output swallowed; never null.
dbx_t* reference_scan(const std::string& path);
