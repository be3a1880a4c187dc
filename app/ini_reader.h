#pragma once

#include <iosfwd>
#include <string>
#include <unordered_map>
#include <vector>

// A reader for Windows-style profile (INI) files with the lookup rules the
// configuration relies on:
// - "[name]" starts a section, "key = value" lines belong to the last section;
// - section and key names are compared without regard to letter case, and
//   blanks around names and values are ignored;
// - lines whose first non-blank character is ';' are comments; other lines
//   that are neither a section nor a key line are ignored;
// - a value enclosed in matching quotes loses them;
// - the first occurrence of a key wins, looking through every section of
//   that name in file order;
// - a missing file, section or key gives the caller's default;
// - string values are cut to 127 characters;
// - integers are read from the leading digits, with an optional sign;
//   no digits gives 0.
// A UTF-8 byte-order mark and carriage returns before line feeds are ignored.
class IniFile {
  public:
    static constexpr size_t kMaxValueLength = 127;

    // Parses a whole stream. Never fails: unreadable lines are skipped.
    static IniFile parse(std::istream& in);
    // Opens and parses a file. Returns false (and an empty IniFile, so every
    // lookup gives its default) when it cannot be read; `error` then says why.
    static bool load(const std::string& path, IniFile& out, std::string& error);

    bool hasKey(const std::string& section, const std::string& key) const;
    // True when no key line was found at all.
    bool empty() const { return entries_.empty(); }
    int getInt(const std::string& section, const std::string& key, int fallback) const;
    std::string getString(const std::string& section, const std::string& key,
                          const std::string& fallback) const;
    // Line number (1-based) of a key, 0 when absent or overridden; for messages.
    int lineOf(const std::string& section, const std::string& key) const;

    // Sets a key as if "key = value" were its first line in the section
    // (made when missing), so every lookup sees the new value. The value is
    // read like one in the file: blanks around it and matching quotes go.
    void override(const std::string& section, const std::string& key, const std::string& value);
    // True when the key's value came from override() rather than the file.
    bool isOverridden(const std::string& section, const std::string& key) const;

  private:
    struct Entry {
        std::string section;  // lower case
        std::string key;      // lower case
        std::string value;
        int line = 0;  // 0: set by override()
    };
    const Entry* find(const std::string& section, const std::string& key) const;
    std::vector<Entry> entries_;
    // "section\nkey" (lower case) -> its first entry, so a lookup does not
    // scan a file of millions of lines.
    std::unordered_map<std::string, size_t> index_;
};

// Integer conversion of a profile value: leading blanks skipped, optional
// sign, leading decimal digits; clamped to the int range; no digits gives 0.
int iniParseInt(const std::string& value);
