#pragma once
// Runs a piece of code with standard output and standard error sent to files, and hands
// back everything written to each, byte for byte.

#include <functional>
#include <string>

struct captured_output {
    std::string out;
    std::string err;
};

captured_output capture_output(const std::function<void()>& body);
