// What of a program's output would reach a terminal raw, for the tests that feed names holding
// control bytes to what prints them.
#pragma once

#include <glib.h>

#include <string_view>

// Where `text` first holds what would reach a terminal raw: a control byte but the line break and the
// tab (which our own lines indent with), DEL, a C1 control written in UTF-8, or a byte that is no
// UTF-8; npos where it holds none.
inline std::size_t rawByte(std::string_view text) {
    const char* end = nullptr;
    if (!g_utf8_validate(text.data(), gssize(text.size()), &end)) return std::size_t(end - text.data());
    for (const char* c = text.data(); c < text.data() + text.size(); c = g_utf8_next_char(c))
        if (const gunichar u = g_utf8_get_char(c);
            (u < 0x20 && u != '\n' && u != '\t') || (u >= 0x7f && u <= 0x9f))
            return std::size_t(c - text.data());
    return std::string_view::npos;
}

// The line of `text` that holds the byte at `at`.
inline std::string_view lineAround(std::string_view text, std::size_t at) {
    if (at >= text.size()) return {};
    const auto begin = text.rfind('\n', at), end = text.find('\n', at);
    const auto from = begin == std::string_view::npos ? 0 : begin + 1;
    return text.substr(from, end == std::string_view::npos ? std::string_view::npos : end - from);
}
