#include "app/ini_reader.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>

namespace {

std::string trim(const std::string& s) {
    const char* blanks = " \t\r\n\v\f";
    const size_t first = s.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    const size_t last = s.find_last_not_of(blanks);
    return s.substr(first, last - first + 1);
}

std::string lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

// A value as the file gives it: without surrounding blanks and without a
// pair of matching quotes around it.
std::string plainValue(const std::string& text) {
    std::string value = trim(text);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

}  // namespace

IniFile IniFile::parse(std::istream& in) {
    IniFile ini;
    std::string line;
    std::string section;
    bool inSection = false;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
        const std::string t = trim(line);
        if (t.empty() || t[0] == ';') continue;
        if (t[0] == '[') {
            const size_t close = t.find(']');
            if (close == std::string::npos) continue;
            section = lower(trim(t.substr(1, close - 1)));
            inSection = true;
            continue;
        }
        const size_t eq = t.find('=');
        if (!inSection || eq == std::string::npos) continue;
        std::string key = lower(trim(t.substr(0, eq)));
        if (key.empty()) continue;
        std::string value = plainValue(t.substr(eq + 1));
        ini.index_.emplace(section + '\n' + key, ini.entries_.size());  // the first one wins
        ini.entries_.push_back(Entry{section, std::move(key), std::move(value), number});
    }
    return ini;
}

bool IniFile::load(const std::string& path, IniFile& out, std::string& error) {
    out = IniFile{};
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = "is a directory";
        return false;
    }
    if (std::filesystem::exists(path, ec) && !std::filesystem::is_regular_file(path, ec)) {
        error = "is not a regular file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno);
        return false;
    }
    out = parse(in);
    if (in.bad()) {
        out = IniFile{};
        error = "read error";
        return false;
    }
    return true;
}

const IniFile::Entry* IniFile::find(const std::string& section, const std::string& key) const {
    const auto it = index_.find(lower(section) + '\n' + lower(key));
    return it == index_.end() ? nullptr : &entries_[it->second];
}

bool IniFile::hasKey(const std::string& section, const std::string& key) const {
    return find(section, key) != nullptr;
}

int IniFile::lineOf(const std::string& section, const std::string& key) const {
    const Entry* e = find(section, key);
    return e ? e->line : 0;
}

void IniFile::override(const std::string& section, const std::string& key, const std::string& value) {
    const std::string s = lower(trim(section));
    const std::string k = lower(trim(key));
    const auto found = index_.find(s + '\n' + k);
    if (found != index_.end()) {
        Entry& e = entries_[found->second];
        e.value = plainValue(value);
        e.line = 0;
        return;
    }
    index_.emplace(s + '\n' + k, entries_.size());
    entries_.push_back(Entry{s, k, plainValue(value), 0});
}

bool IniFile::isOverridden(const std::string& section, const std::string& key) const {
    const Entry* e = find(section, key);
    return e != nullptr && e->line == 0;
}

int IniFile::getInt(const std::string& section, const std::string& key, int fallback) const {
    const Entry* e = find(section, key);
    return e ? iniParseInt(e->value) : fallback;
}

std::string IniFile::getString(const std::string& section, const std::string& key,
                               const std::string& fallback) const {
    const Entry* e = find(section, key);
    const std::string& v = e ? e->value : fallback;
    return v.size() > kMaxValueLength ? v.substr(0, kMaxValueLength) : v;
}

int iniParseInt(const std::string& value) {
    size_t i = 0;
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
    long long magnitude = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (value[i] - '0');
        if (magnitude > static_cast<long long>(INT_MAX) + 1) magnitude = static_cast<long long>(INT_MAX) + 1;
    }
    const long long v = negative ? -magnitude : magnitude;
    if (v > INT_MAX) return INT_MAX;
    return static_cast<int>(v);
}
