#pragma once

struct BenchOptions;

// lumetra-bench --solution: per scene a triangle-shooting row and a patch
// row on standard output, the seconds and shots to 10 % and 5 % of the light
// unshot and how far the patch answer lies from the triangle one at the
// lowest share both reached; notes on standard error. Needs a current GL
// context. Returns the exit code.
int runSolutionTable(const BenchOptions& options);
