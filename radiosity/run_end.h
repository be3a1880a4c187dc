#pragma once

#include <string>

// How a solve ended, as the one line the programs print on standard error
// when it does (standard output keeps its progress lines). Plain numbers,
// no thousands separators.
enum class RunEnd {
    Solved,     // the measure fell below stop_at
    StepLimit,  // --steps
    TimeLimit,  // --seconds
    Diverged,   // the measure is not a finite number
};

struct RunSummary {
    RunEnd end = RunEnd::Solved;
    double limit = 0.0;    // stop_at, the --steps count or the --seconds given
    int steps = 0;         // steps run
    double seconds = 0.0;  // time spent solving
    double measure = 0.0;  // share of the light unshot at the end (1 = all of it)
};

// The line, without its line feed, e.g.
// "Solved: stop_at 0.01 reached after 412 steps in 1.3 s (0.99 % of the light unshot)".
std::string runEndLine(const RunSummary& summary);
