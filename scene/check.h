#pragma once

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

// Checks of invariants the program relies on (never of input, which gets a
// message naming the file): a broken one prints where it was, the
// expression and the values involved on standard error, then aborts.
//   CHECK(ready);            check.h:12: check failed: ready
//   CHECK_EQ(size, h * h);   check.h:13: check failed: size == h * h (100 vs 64)

namespace check_detail {

[[noreturn]] inline void fail(const char* file, int line, const std::string& what) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what.c_str());
    std::fflush(stderr);
    std::abort();
}

template <class A, class B>
std::string values(const char* expression, const A& a, const B& b) {
    std::ostringstream out;
    out << expression << " (" << a << " vs " << b << ")";
    return out.str();
}

}  // namespace check_detail

#define CHECK(condition) \
    ((condition) ? static_cast<void>(0) : check_detail::fail(__FILE__, __LINE__, #condition))

#define CHECK_OP_(a, op, b)                                                                  \
    do {                                                                                     \
        const auto& check_a_ = (a);                                                          \
        const auto& check_b_ = (b);                                                          \
        if (!(check_a_ op check_b_))                                                         \
            check_detail::fail(__FILE__, __LINE__,                                           \
                               check_detail::values(#a " " #op " " #b, check_a_, check_b_)); \
    } while (false)

#define CHECK_EQ(a, b) CHECK_OP_(a, ==, b)
#define CHECK_NE(a, b) CHECK_OP_(a, !=, b)
#define CHECK_LT(a, b) CHECK_OP_(a, <, b)
#define CHECK_LE(a, b) CHECK_OP_(a, <=, b)
#define CHECK_GT(a, b) CHECK_OP_(a, >, b)
#define CHECK_GE(a, b) CHECK_OP_(a, >=, b)
