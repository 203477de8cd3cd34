#include "settings/PropertiesFile.h"

#include "settings/Trim.h"

#include <fstream>
#include <sstream>

namespace varnel {

namespace {

void replaceAll(std::string& text, std::string_view from, char to)
{
    std::string::size_type at = 0;
    while ((at = text.find(from, at)) != std::string::npos) {
        text.replace(at, from.size(), 1, to);
        ++at;
    }
}

} // namespace

PropertiesFile::PropertiesFile(const char* fileName)
{
    if (fileName != nullptr)
        load(fileName);
}

bool PropertiesFile::readLine(std::istream& in, std::string& line)
{
    if (!std::getline(in, line))
        return false;
    // Files written on Windows end their lines with CR LF; read them as text mode would.
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    const auto comment = line.find('#');
    if (comment != std::string::npos)
        line.erase(comment);
    return true;
}

int PropertiesFile::load(const char* fileName)
{
    if (fileName == nullptr)
        return 0;
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        return 0;
    return loadStream(in);
}

int PropertiesFile::loadText(std::string_view text)
{
    std::istringstream in{std::string(text)};
    return loadStream(in);
}

int PropertiesFile::loadStream(std::istream& in)
{
    int count = 0;
    std::string line;
    while (readLine(in, line)) {
        const auto delimit = line.find('=');
        if (delimit == std::string::npos)
            continue;
        const std::string key = trim(std::string_view(line).substr(0, delimit));
        std::string value = trim(std::string_view(line).substr(delimit + 1));

        while (!value.empty() && value.back() == '\\') {
            value.pop_back();
            value = trim(value);
            std::string next;
            value += ' ';
            if (!readLine(in, next))
                break;
            value += trim(next);
        }

        replaceAll(value, "\\r", '\r');
        replaceAll(value, "\\n", '\n');
        set(key, value);
        ++count;
    }
    return count;
}

std::string PropertiesFile::get(const std::string& key, const std::string& defaultValue) const
{
    const auto found = entries.find(key);
    return found == entries.end() ? defaultValue : found->second;
}

void PropertiesFile::set(const std::string& key, const std::string& value)
{
    entries[key] = value;
}

} // namespace varnel
