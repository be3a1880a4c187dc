#include "app/command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {

// CLI11's help with the usage line given by the tool instead of the one it
// makes from the options.
class UsageFormatter : public CLI::Formatter {
  public:
    explicit UsageFormatter(std::string usage) : usage_(std::move(usage)) {}
    std::string make_usage(const CLI::App* app, std::string name) const override {
        return usage_.empty() ? CLI::Formatter::make_usage(app, std::move(name)) : usage_ + "\n";
    }

  private:
    std::string usage_;
};

}  // namespace

const char* lumetraVersion() {
    return LUMETRA_VERSION;
}

std::string versionLine(const std::string& program) {
    return program + " " + lumetraVersion();
}

void describeTool(CLI::App& app, std::function<std::string()> version, const std::string& usage) {
    app.set_version_flag("--version", std::move(version), "Print the version and exit");
    app.failure_message([](const CLI::App* failed, const CLI::Error& e) {
        return failed->get_name() + ": " + e.what() + "\nRun with --help for more information.\n";
    });
    app.formatter(std::make_shared<UsageFormatter>(usage));
}

int parseToolArguments(CLI::App& app, int argc, const char* const* argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, std::cout, std::cerr);
        std::cout.flush();
        return code == 0 ? 0 : kExitUsageError;
    }
    return -1;
}

CLI::Validator wholeNumber(long long least, long long most, const std::string& need) {
    return CLI::Validator(
        [=](std::string& value) -> std::string {
            char* end = nullptr;
            errno = 0;
            const long long v = std::strtoll(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || errno != 0 || v < least || v > most) return "needs " + need;
            value = std::to_string(v);
            return {};
        },
        "");
}

CLI::Validator realNumber(double least, const std::string& need) {
    return CLI::Validator(
        [=](std::string& value) -> std::string {
            char* end = nullptr;
            const double v = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !std::isfinite(v) || v < least) return "needs " + need;
            char plain[64];
            std::snprintf(plain, sizeof plain, "%.17g", v);
            value = plain;
            return {};
        },
        "");
}

CLI::Validator notEmpty(const std::string& need) {
    return CLI::Validator([=](std::string& value) { return value.empty() ? "needs " + need : std::string(); },
                          "");
}
