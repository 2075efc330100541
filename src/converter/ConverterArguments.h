#pragma once
// The converter's command line, split into what it asks for. The first
// argument is always the image path, never a switch; every later argument is
// one of the switches of ConverterSwitches.h (matched without regard to case).
// Paths stay the bytes they were given as.

#include <string>
#include <vector>

class ConverterArguments {
public:
    // Returns false for a command line that names no image, no output, an
    // empty output path or an unknown switch.
    bool parse(const std::vector<std::string>& arguments);

    std::string imagePath;
    std::string convertPath; // empty when no bitmap is asked for
    std::string infoPath; // empty when no report is asked for
    bool silent = false;
    bool fullInfo = false;
    std::string error; // what was wrong, for the usage message
};
