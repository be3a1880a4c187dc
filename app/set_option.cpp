#include "app/set_option.h"

CLI::Option* addSetOption(CLI::App& app, std::vector<std::string>& values) {
    return app
        .add_option("--set", values,
                    "set a [settings] or [camera] key as if written in the file (repeatable)")
        ->type_name("KEY=VALUE")
        ->allow_extra_args(false);
}

std::vector<SettingOverride> parseSetOptions(const std::vector<std::string>& values) {
    std::vector<SettingOverride> overrides;
    for (const std::string& text : values) {
        SettingOverride o;
        const std::string problem = parseSettingOverride(text, o);
        if (!problem.empty()) throw CLI::ValidationError("--set", problem);
        overrides.push_back(o);
    }
    return overrides;
}
