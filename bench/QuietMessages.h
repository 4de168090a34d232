#pragma once
// The message seam of the benchmarks: every notice is counted and printed to stderr, every question
// is answered No, so a run never waits for a person.

#include <cstdio>

#include "window/MessageSeam.h"

class QuietMessages : public MessageSeam {
public:
    int count = 0;
    void notify(const QString& text, const QString&, MsgIcon) override
    {
        ++count;
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    MsgButton ask(const QString&, const QString&, MsgIcon, int, MsgButton) override { return MsgNo; }
};
