// json_text.h -- JSON text written piece by piece, for the model's JSON chunk: the
// commas between members and elements come by themselves, numbers in the C locale in
// their shortest form that reads back to the same double, strings escaped and always
// valid UTF-8 (a byte that is not part of UTF-8 is taken as Latin-1).
#pragma once
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>

class JsonText {
public:
    JsonText &open(char bracket)   // '{' or '['
    {
        separate();
        text_ += bracket;
        fresh_ = true;
        return *this;
    }
    JsonText &close(char bracket)   // '}' or ']'
    {
        text_ += bracket;
        fresh_ = false;
        return *this;
    }
    JsonText &key(const char *name)
    {
        string(name);
        text_ += ':';
        fresh_ = true;
        return *this;
    }
    JsonText &number(double value)
    {
        separate();
        char digits[32];
        const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
        text_.append(digits, end.ptr);
        return *this;
    }
    JsonText &integer(long long value)
    {
        separate();
        text_ += std::to_string(value);
        return *this;
    }
    JsonText &boolean(bool value)
    {
        separate();
        text_ += value ? "true" : "false";
        return *this;
    }
    JsonText &string(const char *value);
    JsonText &numbers(const float *values, int count)   // an array of numbers
    {
        open('[');
        for (int i = 0; i < count; ++i) number(values[i]);
        return close(']');
    }
    JsonText &json(const std::string &formed)   // a value already written as JSON
    {
        separate();
        text_ += formed;
        return *this;
    }
    const std::string &text() const { return text_; }

private:
    void separate()
    {
        if (!fresh_) text_ += ',';
        fresh_ = false;
    }
    std::string text_;
    bool        fresh_ = true;   // nothing yet in the open object or array: no comma before the next
};

// The length of the UTF-8 sequence that starts at s (at most left bytes), 0 when s
// does not start one.
inline int utf8_length(const unsigned char *s, size_t left)
{
    const int length = s[0] < 0x80 ? 1 : (s[0] & 0xE0) == 0xC0 ? 2 : (s[0] & 0xF0) == 0xE0 ? 3
                     : (s[0] & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0 || size_t(length) > left || (length == 2 && s[0] < 0xC2)) return 0;
    for (int i = 1; i < length; ++i)
        if ((s[i] & 0xC0) != 0x80) return 0;
    return length;
}

inline JsonText &JsonText::string(const char *value)
{
    separate();
    text_ += '"';
    const auto *s = reinterpret_cast<const unsigned char *>(value);
    size_t left = std::char_traits<char>::length(value);
    while (left > 0) {
        const int length = utf8_length(s, left);
        if (length > 0 && *s >= 0x20 && *s != '"' && *s != '\\') {   // as it stands
            text_.append(reinterpret_cast<const char *>(s), size_t(length));
            s += length;
            left -= size_t(length);
            continue;
        }
        if (*s == '"' || *s == '\\') {
            text_ += '\\';
            text_ += char(*s);
        } else {   // a control character, or a Latin-1 byte: its own code point
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(*s));
            text_ += escaped;
        }
        ++s;
        --left;
    }
    text_ += '"';
    return *this;
}
