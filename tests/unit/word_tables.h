#pragma once

#include <map>
#include <sstream>
#include <string>
#include <vector>

// Test tables written as one text per row: command lines and "name=value" expectations.
namespace velmora::test {

using Words = std::vector<std::string>;

// The words of a text split at spaces (no word holds one).
inline Words words(const std::string& line) {
    std::istringstream in(line);
    Words out;
    for (std::string word; in >> word;)
        out.push_back(word);
    return out;
}

// "name=value name=value ..." as a map.
inline std::map<std::string, std::string> pairs(const std::string& line) {
    std::map<std::string, std::string> out;
    for (const std::string& word : words(line)) {
        const auto equals = word.find('=');
        out[word.substr(0, equals)] = word.substr(equals + 1);
    }
    return out;
}

} // namespace velmora::test
