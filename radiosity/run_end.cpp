#include "radiosity/run_end.h"

#include <cstdio>

std::string runEndLine(const RunSummary& s) {
    char line[256];
    const double percent = 100.0 * s.measure;
    switch (s.end) {
        case RunEnd::Solved:
            std::snprintf(line, sizeof line,
                          "Solved: stop_at %g reached after %d steps in %.1f s (%.2f %% of the light unshot)",
                          s.limit, s.steps, s.seconds, percent);
            break;
        case RunEnd::StepLimit:
            std::snprintf(
                line, sizeof line,
                "Stopped: --steps %lld reached after %d steps in %.1f s (%.2f %% of the light unshot)",
                static_cast<long long>(s.limit), s.steps, s.seconds, percent);
            break;
        case RunEnd::TimeLimit:
            std::snprintf(
                line, sizeof line,
                "Stopped: --seconds %g reached after %d steps in %.1f s (%.2f %% of the light unshot)",
                s.limit, s.steps, s.seconds, percent);
            break;
        case RunEnd::Diverged:
            std::snprintf(line, sizeof line,
                          "Stopped: the solution diverged (measure is not a number) after %d steps", s.steps);
            break;
    }
    return line;
}
