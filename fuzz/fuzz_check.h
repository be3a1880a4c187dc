#pragma once

#include <sanitizer/common_interface_defs.h>

#include <cstdio>
#include <cstdlib>

// An invariant the code under test must keep, whatever the input: a broken
// one is reported and aborts, which libFuzzer records as a crash with the
// input that caused it. The report goes through the sanitizer, whose output
// survives libFuzzer's -close_fd_mask.
#define FUZZ_CHECK(condition, what)                                                                      \
    do {                                                                                                 \
        if (!(condition)) {                                                                              \
            char fuzzMessage[512];                                                                       \
            std::snprintf(fuzzMessage, sizeof fuzzMessage, "%s:%d: invariant broken: %s (%s)", __FILE__, \
                          __LINE__, what, #condition);                                                   \
            __sanitizer_report_error_summary(fuzzMessage);                                               \
            std::abort();                                                                                \
        }                                                                                                \
    } while (0)
