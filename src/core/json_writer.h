// A JSON document written as it is built: objects, arrays, texts and numbers,
// indented for people, with every text escaped. Texts given in the ANSI code
// page come out in UTF-8, as JSON wants them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TJsonWriter {
public:
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // The next member's name, inside an object.
    TJsonWriter& Key(const std::string& name);
    void Text(const std::string& ansi);
    void Number(int64_t value);
    void Bool(bool value);
    void Null();

    // The document so far (complete once every object and array is ended).
    const std::string& Document() const { return m_out; }

private:
    void BeforeValue();
    void NewLine();

    std::string m_out;
    std::vector<bool> m_first;  // per open object or array: nothing in it yet
    bool m_afterKey = false;
};

// The text escaped for JSON and in UTF-8, with its quotes.
std::string JsonString(const std::string& ansi);
