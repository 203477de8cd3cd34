#pragma once

#include <cstddef>
#include <istream>
#include <map>
#include <string>
#include <string_view>

namespace varnel {

// Key/value text file: "key = value", "#" starts a comment anywhere, a
// trailing backslash continues the value on the next line, and \r and \n in
// a value become carriage return and line feed.
class PropertiesFile {
public:
    explicit PropertiesFile(const char* fileName = nullptr);
    virtual ~PropertiesFile() = default;

    // Adds the file's entries; returns the number of key/value lines stored
    // (duplicates counted each time), 0 when the file cannot be opened.
    int load(const char* fileName);
    // The same reading rules over text already in memory.
    int loadText(std::string_view text);

    std::size_t size() const { return entries.size(); }
    // The stored value, or the default when the key is absent (an empty stored
    // value is returned as it is). Creates no entry.
    std::string get(const std::string& key, const std::string& defaultValue) const;
    void set(const std::string& key, const std::string& value);
    void clear() { entries.clear(); }

    const std::map<std::string, std::string>& all() const { return entries; }

private:
    int loadStream(std::istream& in);
    static bool readLine(std::istream& in, std::string& line);

    std::map<std::string, std::string> entries;
};

} // namespace varnel
