#pragma once

// The line-rewriting algorithm written for clarity, not speed: lower-cased copies made afresh for
// every search, one splice at a time. Each character carries the bytes it was read from, so bytes
// that no pair touched come out as they went in. The fast engine must agree with it byte for byte.

#include "engine/PairTable.h"
#include "platform/Cp932.h"
#include "platform/LowerCase.h"

#include <string>
#include <string_view>
#include <vector>

namespace reference {

struct Unit {
    char16_t text;
    std::string bytes;
};
using Line = std::vector<Unit>;

inline Line Decode(std::string_view bytes)
{
    Line line;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto d = platform::DecodeCp932At(
            reinterpret_cast<const unsigned char*>(bytes.data()) + i, bytes.size() - i);
        line.push_back({ d.unit, std::string(bytes.substr(i, d.length)) });
        i += d.length;
    }
    return line;
}

inline std::u16string Lower(const Line& line)
{
    std::u16string text;
    for (const Unit& unit : line) {
        text.push_back(platform::LowerCaseUnit(unit.text));
    }
    return text;
}

inline std::string Bytes(const Line& line)
{
    std::string bytes;
    for (const Unit& unit : line) {
        bytes += unit.bytes;
    }
    return bytes;
}

struct Result {
    bool changed = false;
    std::vector<std::string> records;
};

inline Result Rewrite(std::string_view input, const engine::PairTable& table, bool insertMark)
{
    Line line = Decode(input);
    Result result;
    for (int k = 0; k <= table.LastPairIndex(); ++k) {
        const std::u16string search
            = platform::LowerCase(table.SearchText(static_cast<std::size_t>(k)));
        const Line replacement = Decode(table.ReplaceBytes(static_cast<std::size_t>(k)));
        if (search.empty()) {
            continue; // an empty search text matches nothing
        }
        std::size_t start = 0;
        for (;;) {
            if (start > line.size()) {
                break;
            }
            const std::size_t p = Lower(line).find(search, start);
            if (p == std::u16string::npos) {
                break;
            }
            Line next(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(p));
            next.insert(next.end(), replacement.begin(), replacement.end());
            next.insert(next.end(), line.begin() + static_cast<std::ptrdiff_t>(p + search.size()),
                line.end());
            line = std::move(next);
            result.changed = true;
            start = p + replacement.size();
        }
    }
    if (insertMark && result.changed) {
        result.records.push_back(platform::EncodeCp932(u"'▼▼ ソースリプレース(vandor) ▼▼"));
    }
    if (!line.empty()) {
        if (result.changed) {
            std::size_t start = 0;
            for (;;) {
                const std::size_t p = Lower(line).find(u"_\\n_", start);
                if (p == std::u16string::npos) {
                    break;
                }
                Line next(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(p));
                next.push_back({ u'\r', "\r" });
                next.push_back({ u'\n', "\n" });
                next.insert(
                    next.end(), line.begin() + static_cast<std::ptrdiff_t>(p + 4), line.end());
                line = std::move(next);
                start = p + 2;
            }
        }
        result.records.push_back(Bytes(line));
    } else if (!result.changed) {
        result.records.emplace_back();
    }
    return result;
}

// A whole file as the walk writes it: lines split at CR LF or a lone CR, each record ended by CR
// LF.
inline std::string RewriteFile(
    std::string_view bytes, const engine::PairTable& table, bool insertMark, bool& changed)
{
    std::string out;
    changed = false;
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t end = bytes.find('\r', i);
        std::size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
        if (end == std::string_view::npos) {
            end = bytes.size();
        } else if (next < bytes.size() && bytes[next] == '\n') {
            ++next;
        }
        const Result r = Rewrite(bytes.substr(i, end - i), table, insertMark);
        changed = changed || r.changed;
        for (const std::string& record : r.records) {
            out += record + "\r\n";
        }
        i = next;
    }
    return out;
}

} // namespace reference
