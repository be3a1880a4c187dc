#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

// What the command lines of the LUMETRA tools share. Each tool describes its
// options to a CLI11 app and parses through parseToolArguments, so every tool
// has "-h, --help" (a text starting with "Usage:"), "--version", and usage
// errors reported the same way with the same exit code.

// The exit code of a usage error in every tool (CLI11's own codes, 100-127,
// are mapped to it).
constexpr int kExitUsageError = 1;

// The tools' version, set once in the build ("1.1.0").
const char* lumetraVersion();

// "<program> <version>".
std::string versionLine(const std::string& program);

// Gives `app` the shared parts: the "--version" flag printing what `version`
// returns, "<program>: <problem>" messages for usage errors, and `usage` as
// the usage line when it is not empty (otherwise CLI11 makes one).
void describeTool(CLI::App& app, std::function<std::string()> version, const std::string& usage = "");

// Parses the arguments. Returns -1 when the program goes on; otherwise the
// exit code after printing: the help or the version on standard output (0),
// or a usage error on standard error (kExitUsageError).
int parseToolArguments(CLI::App& app, int argc, const char* const* argv);

// CLI11 checks of option values that fail with "needs <need>", as in
// "--steps: needs a whole number of steps, 0 or more". Numbers are decimal
// (CLI11 alone would read "010" as octal): add the two number checks with
// transform(), which lets them rewrite the value in plain form before CLI11
// converts it.
CLI::Validator wholeNumber(long long least, long long most, const std::string& need);
CLI::Validator realNumber(double least, const std::string& need);  // finite, at least `least`
CLI::Validator notEmpty(const std::string& need);
