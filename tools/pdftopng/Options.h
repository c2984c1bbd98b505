#pragma once

#include <optional>
#include <string>

// What the tool answers; main.cpp lists them.
enum ExitStatus {
    Done = 0,
    RenderFailed = 1,
    Usage = 2,
    Unreadable = 3,
    NotAPdf = 4,
    Locked = 5,
    WriteFailed = 6
};

// The box of pixels that the page images are scaled to.
struct Box
{
    double width;
    double height;
    bool keepAspect;
};

struct Options
{
    int first;
    int last;
    std::string pdf;
    std::string root;
    std::optional<Box> box;
};

// -f FIRST -l LAST PDF ROOT; FIRST below 1 counts as 1. Nothing on a usage error.
std::optional<Options> parseArguments(int argc, char* argv[]);
// "WIDTHxHEIGHT,keep" or "WIDTHxHEIGHT,stretch", both sides positive; anything else names no
// box.
std::optional<Box> parseBox(const char* text);
