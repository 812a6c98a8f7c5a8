#include "CData.h"

#include <cstdlib>
#include <cstring>

namespace SDO {

namespace {
constexpr const char* kOutOfMemory = "(out of memory)";

struct HexTable {
    char text[513 + 1] = {};
    constexpr HexTable() {
        constexpr char digits[] = "0123456789ABCDEF";
        for (int v = 0; v < 256; ++v) {
            text[2 * v] = digits[v >> 4];
            text[2 * v + 1] = digits[v & 15];
        }
        text[512] = '-';
    }
};
constexpr HexTable kHexTable;
} // namespace

const char* const hextable = kHexTable.text;

int CData::count = 0;
char* CData::temp = nullptr;
char32_t* CData::wtemp = nullptr;
char* CData::err = nullptr;

CData::CData() {
    ++count;
}

CData::~CData() {
    Clear();
    if (--count <= 0) {
        // Nulled as well as freed, so a later object starts from a clean slate.
        std::free(temp);
        temp = nullptr;
        std::free(wtemp);
        wtemp = nullptr;
        std::free(err);
        err = nullptr;
    }
}

std::size_t CData::Padding(std::int64_t n) {
    if (n < 1) return 0;
    return (static_cast<std::size_t>(n) + 1 + 3) & ~static_cast<std::size_t>(3);
}

void* CData::CAlloc(std::size_t n, std::size_t size) {
    if (n == 0 || size == 0) return nullptr;
    return std::calloc(n, size);
}

std::size_t CData::StrLen(const char* text) {
    return text ? std::strlen(text) : 0;
}

void CData::Clear() {
    std::free(data);
    data = nullptr;
    length = 0;
}

void CData::Adopt(char* buffer, std::size_t n) {
    std::free(data);
    data = n ? buffer : nullptr;
    length = static_cast<std::uint32_t>(n);
    if (!n) std::free(buffer);
}

bool CData::Set(const char* a, std::size_t n, const char* b, std::size_t m) {
    if (!a) n = 0;
    if (!b) m = 0;
    if (n > kMaxLength || m > kMaxLength - n) return false;
    if (n + m == 0) {
        Clear();
        return true;
    }
    // Build first, release after: the sources may be this object's own buffer.
    char* buffer = static_cast<char*>(CAlloc(Padding(static_cast<std::int64_t>(n + m)), 1));
    if (!buffer) return false;
    if (n) std::memcpy(buffer, a, n);
    if (m) std::memcpy(buffer + n, b, m);
    Adopt(buffer, n + m);
    return true;
}

const char* CData::SetTemp(char* buffer) {
    if (!buffer) return kOutOfMemory;
    std::free(temp);
    temp = buffer;
    return temp;
}

const char* CData::CopyToTemp(const char* text) {
    const std::size_t n = std::strlen(text);
    char* buffer = static_cast<char*>(CAlloc(n + 1, 1));
    if (!buffer) return kOutOfMemory;
    std::memcpy(buffer, text, n);
    return SetTemp(buffer);
}

const char* CData::HexFormat(const char* prefix, const char* separator, const char* whenEmpty) {
    const std::size_t p = std::strlen(prefix);
    const std::size_t s = std::strlen(separator);
    const std::size_t per = p + 2 + s;
    if (!data || length == 0) return CopyToTemp(whenEmpty);
    char* buffer = static_cast<char*>(CAlloc(per * length + 1, 1));
    if (!buffer) return kOutOfMemory;
    char* w = buffer;
    for (std::uint32_t i = 0; i < length; ++i) {
        const unsigned v = static_cast<unsigned char>(data[i]);
        std::memcpy(w, prefix, p);
        w += p;
        *w++ = hextable[2 * v];
        *w++ = hextable[2 * v + 1];
        std::memcpy(w, separator, s);
        w += s;
    }
    *(w - s) = '\0';
    return SetTemp(buffer);
}

const char* CData::Hex2() {
    return HexFormat("", "", "00");
}
const char* CData::Hex3() {
    return HexFormat("", " ", "00");
}
const char* CData::Hex4() {
    return HexFormat("#", " ", "#00");
}
const char* CData::Hex5() {
    return HexFormat("0x", " ", "0x00");
}

const char* CData::ColorRGB() {
    char* buffer = static_cast<char*>(CAlloc(8, 1));
    if (!buffer) return kOutOfMemory;
    if (!data || length == 0) {
        std::strcpy(buffer, "#000000");
        return SetTemp(buffer);
    }
    buffer[0] = '#';
    const std::uint32_t n = length < 3 ? length : 3;
    for (std::uint32_t i = 0; i < n; ++i) {
        const unsigned v = static_cast<unsigned char>(data[i]);
        buffer[1 + 2 * i] = hextable[2 * v];
        buffer[2 + 2 * i] = hextable[2 * v + 1];
    }
    return SetTemp(buffer);
}

const char* CData::XMLFormat(int depth, const char* open, const char* close, const char* body) {
    const std::size_t d = depth > 0 ? static_cast<std::size_t>(depth) : 0;
    const std::size_t bodyLength = std::strlen(body);
    const std::size_t total = 3 * d + std::strlen(open) + bodyLength + 1 + std::strlen(close) + 1;
    char* buffer = static_cast<char*>(CAlloc(total, 1));
    if (!buffer) return kOutOfMemory;
    char* w = buffer;
    auto tabs = [&] { w = static_cast<char*>(std::memset(w, '\t', d)) + d; };
    auto put = [&](const char* text, std::size_t n) { w = static_cast<char*>(std::memcpy(w, text, n)) + n; };
    tabs();
    put(open, std::strlen(open));
    tabs();
    put(body, bodyLength);
    put("\n", 1);
    tabs();
    put(close, std::strlen(close));
    // `body` may be the previous shared result; it is released only now.
    return SetTemp(buffer);
}

const char* CData::XML(int depth) {
    if (!data || length == 0) return CopyToTemp("<CData>\n\tundefined</CData>");
    const char* hex = Hex5();
    if (hex != temp) return kOutOfMemory;
    return XMLFormat(depth, "<CData encoding='HEX5'>\n\t", "</CData>\n", hex);
}

} // namespace SDO
