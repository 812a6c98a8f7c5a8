#include "CString.h"

#include "plat/console.h"
#include "plat/core.h"
#include "plat/files.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace SDO {

int CString::count = 0;
char CString::nirvana = 0;
CString CString::tempstr;

namespace {

// Long enough for "%f" of the largest double.
constexpr std::size_t kNumberText = 400;

struct NumberText {
    char text[kNumberText];
    std::size_t length = 0;
};

NumberText formatInt(int value) {
    NumberText t;
    t.length = static_cast<std::size_t>(std::to_chars(t.text, t.text + kNumberText, value).ptr - t.text);
    return t;
}

// "%f" without the process locale: fixed notation, six decimals.
NumberText formatDouble(double value) {
    NumberText t;
    auto r = std::to_chars(t.text, t.text + kNumberText, value, std::chars_format::fixed, 6);
    t.length = r.ec == std::errc() ? static_cast<std::size_t>(r.ptr - t.text) : 0;
    return t;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

CString::CString() {
    ++count;
    className = "CString";
}

CString::CString(const char* text) : CString() {
    Set(text, StrLen(text));
}

CString::CString(const CString& other) : CString() {
    Set(other.data, other.length);
}

CString::~CString() {
    --count;
}

CString& CString::Result(const char* a, std::size_t n, const char* b, std::size_t m) {
    // A result that cannot be held leaves an empty result, not the previous one.
    if (!tempstr.Set(a, n, b, m)) tempstr.Clear();
    return tempstr;
}

int CString::operator=(const CString& other) {
    if (&other != this) Set(other.data, other.length);
    return 0;
}

int CString::operator=(char* text) {
    Set(text, StrLen(text));
    return 0;
}

int CString::operator=(const char* text) {
    Set(text, StrLen(text));
    return static_cast<int>(length);
}

int CString::operator=(int value) {
    const NumberText t = formatInt(value);
    Set(t.text, t.length);
    return 0;
}

int CString::operator=(double value) {
    const NumberText t = formatDouble(value);
    Set(t.text, t.length);
    return 0;
}

char& CString::operator[](int i) {
    if (i < 0 || static_cast<std::uint32_t>(i) >= length) {
        nirvana = 0;
        return nirvana;
    }
    return data[i];
}

bool CString::operator==(const char* text) const {
    return std::strcmp(Compared(), text ? text : "") == 0;
}
bool CString::operator==(const CString& other) const {
    return std::strcmp(Compared(), other.Compared()) == 0;
}
bool CString::operator!=(const CString& other) const {
    return !(*this == other);
}
bool CString::operator!=(const char* text) const {
    return !(*this == text);
}
bool CString::operator<(const CString& other) const {
    return std::strcmp(Compared(), other.Compared()) < 0;
}
bool CString::operator>(const CString& other) const {
    return std::strcmp(Compared(), other.Compared()) > 0;
}
bool CString::operator<=(const CString& other) const {
    return std::strcmp(Compared(), other.Compared()) <= 0;
}
bool CString::operator>=(const CString& other) const {
    return std::strcmp(Compared(), other.Compared()) >= 0;
}

CString& CString::operator+=(const CString& other) {
    if (other.length) Set(data, length, other.data, other.length);
    return *this;
}

CString& CString::operator+=(const char* text) {
    const std::size_t n = StrLen(text);
    if (n) Set(data, length, text, n);
    return *this;
}

CString& CString::operator+=(char c) {
    Set(data, length, &c, 1);
    return *this;
}

CString& CString::operator+=(int value) {
    const NumberText t = formatInt(value);
    Set(data, length, t.text, t.length);
    return *this;
}

CString& CString::operator+=(double value) {
    const NumberText t = formatDouble(value);
    Set(data, length, t.text, t.length);
    return *this;
}

CString& CString::operator-=(const char* text) {
    Replace(text, nullptr, 0, true);
    return *this;
}

CString& CString::operator-=(int n) {
    if (n < 1) return *this;
    if (static_cast<std::uint32_t>(n) < length)
        Set(data, length - static_cast<std::uint32_t>(n));
    else
        Clear();
    return *this;
}

CString& CString::operator+(const CString& other) {
    if (!other.length) return *this;
    return Result(data, length, other.data, other.length);
}

CString& CString::operator+(const char* text) {
    const std::size_t n = StrLen(text);
    if (!n) return *this;
    return Result(data, length, text, n);
}

CString& CString::operator+(int value) {
    const NumberText t = formatInt(value);
    return Result(data, length, t.text, t.length);
}

CString& CString::operator+(double value) {
    const NumberText t = formatDouble(value);
    return Result(data, length, t.text, t.length);
}

CString& CString::operator*(int n) {
    if (n < 2) return *this;
    const std::size_t total = static_cast<std::size_t>(n) * length;
    if (length && total / length != static_cast<std::size_t>(n)) return Result(nullptr, 0, nullptr, 0);
    if (total > kMaxLength) return Result(nullptr, 0, nullptr, 0);
    char* buffer = static_cast<char*>(CAlloc(Padding(static_cast<std::int64_t>(total)), 1));
    if (!buffer) return Result(nullptr, 0, nullptr, 0);
    for (int i = 0; i < n; ++i) std::memcpy(buffer + static_cast<std::size_t>(i) * length, data, length);
    tempstr.Adopt(buffer, total);
    return tempstr;
}

CString& CString::operator-(int n) {
    if (n < 1) return *this;
    if (static_cast<std::uint32_t>(n) < length)
        return Result(data, length - static_cast<std::uint32_t>(n), nullptr, 0);
    return Result(nullptr, 0, nullptr, 0);
}

CString& CString::operator-(const char* text) {
    if (!text) return *this;
    Result(data, length, nullptr, 0);
    tempstr.Replace(text, nullptr, 0, true);
    return tempstr;
}

int CString::operator>>(int n) {
    if (!length) return 0;
    for (int i = 0; i < n; ++i) std::printf("%s", data);
    return 0;
}

int CString::operator<<(const char* path) {
    if (!path) return 0;
    Clear();
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        std::printf("\nERROR: File '%s' could not be opened for loading.", plat::shownText(path).c_str());
        return 0;
    }
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    std::rewind(f);
    if (size < 0 || static_cast<unsigned long>(size) > kMaxLength) {
        std::printf("\nERROR: While reading file.");
        std::fclose(f);
        return 0;
    }
    if (size == 0) {
        std::fclose(f);
        return 0;
    }
    const std::size_t n = static_cast<std::size_t>(size);
    char* buffer = static_cast<char*>(CAlloc(Padding(size), 1));
    if (!buffer) {
        std::fclose(f);
        return 0;
    }
    const std::size_t got = std::fread(buffer, 1, n, f);
    std::fclose(f);
    if (got != n) {
        // A short read is a failure: no half-loaded or padded content.
        std::printf("\nERROR: While reading file.");
        std::free(buffer);
        return 0;
    }
    Adopt(buffer, n);
    return static_cast<int>(length);
}

int CString::operator>>(const char* path) {
    if (!path) return -1;
    if (!length) {
        std::printf("\nError: String object is empty.");
        return -1;
    }
    // Written beside the target and renamed over it, so the file is either old or complete.
    auto file = plat::AtomicFile::create(path);
    if (!file.ok()) {
        std::printf("\nERROR: File '%s' could not be opened for saving.", plat::shownText(path).c_str());
        return -1;
    }
    if (!file->write(std::span(reinterpret_cast<const std::uint8_t*>(data), length)).ok() ||
        !file->commit().ok()) {
        std::printf("\nERROR: While writing file.");
        return -1;
    }
    return 0;
}

char CString::At(int i) const {
    if (i < 0 || static_cast<std::uint32_t>(i) >= length) return 0;
    return data[i];
}

int CString::Find(const char* text, int start) const {
    const std::size_t n = StrLen(text);
    if (!length || !n) return -1;
    if (start < 0) start = 0;
    if (static_cast<std::uint32_t>(start) >= length || n > length) return -1;
    const char* end = data + length;
    const char* hit = std::search(static_cast<const char*>(data) + start, end, text, text + n);
    return hit == end ? -1 : static_cast<int>(hit - data);
}

bool CString::Replace(const char* find, const char* repl, int start, bool all) {
    if (!length || !find) return false;
    if (repl && std::strcmp(repl, find) == 0) return false;
    int pos = Find(find, start);
    if (pos < 0) return false;
    const std::size_t findLength = std::strlen(find);
    const std::size_t replLength = StrLen(repl);
    try {
        std::string result;
        std::size_t from = 0;
        while (pos >= 0) {
            result.append(data + from, static_cast<std::size_t>(pos) - from);
            result.append(repl ? repl : "", replLength);
            from = static_cast<std::size_t>(pos) + findLength;
            if (!all || from >= length) break;
            pos = Find(find, static_cast<int>(from));
        }
        result.append(data + from, length - from);
        return Set(result.data(), result.size());
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void CString::Insert(int pos, const char* text) {
    const std::size_t n = StrLen(text);
    if (pos < 0 || static_cast<std::uint32_t>(pos) >= length || !n) return;
    try {
        std::string result(data, static_cast<std::size_t>(pos));
        result.append(text, n);
        result.append(data + pos, length - static_cast<std::size_t>(pos));
        Set(result.data(), result.size());
    } catch (const std::bad_alloc&) {
        // The string stays as it was.
    }
}

const char* CString::SubStr(int start, int n) {
    if (!length || start < 0 || static_cast<std::uint32_t>(start) >= length || n <= 0) return nullptr;
    const std::size_t take =
        std::min<std::size_t>(static_cast<std::size_t>(n), length - static_cast<std::size_t>(start));
    char* buffer = static_cast<char*>(CAlloc(take + 1, 1));
    if (!buffer) return nullptr;
    std::memcpy(buffer, data + start, take);
    return SetTemp(buffer);
}

void CString::Trim() {
    TrimLeft();
    TrimRight();
}

void CString::TrimLeft() {
    std::uint32_t i = 0;
    while (i < length && isBlank(data[i])) ++i;
    if (i) Set(data + i, length - i);
}

void CString::TrimRight() {
    std::uint32_t n = length;
    while (n > 0 && isBlank(data[n - 1])) --n;
    if (n != length) Set(data, n);
}

int CString::Split(const char* separator, CStringList* list, int max, int start) {
    if (!separator || !list || !length) return -1;
    if (start == 0) list->Clear();
    if (start < 0) start = 0;
    const std::size_t sepLength = std::strlen(separator);
    while (static_cast<std::uint32_t>(start) < length) {
        const int p = Find(separator, start);
        if (p < 0) {
            list->Add(data + start, length - static_cast<std::size_t>(start));
            break;
        }
        if (p > start) {
            list->Add(data + start, static_cast<std::size_t>(p - start));
            if (max >= 1 && list->Count() >= max) break;
        }
        start = p + static_cast<int>(sepLength);
    }
    return list->Count();
}

void CString::Uppercase() {
    for (std::uint32_t i = 0; i < length; ++i)
        if (data[i] >= 'a' && data[i] <= 'z') data[i] = static_cast<char>(data[i] - 'a' + 'A');
}

void CString::Lowercase() {
    for (std::uint32_t i = 0; i < length; ++i)
        if (data[i] >= 'A' && data[i] <= 'Z') data[i] = static_cast<char>(data[i] - 'A' + 'a');
}

void CString::Revertcase() {
    for (std::uint32_t i = 0; i < length; ++i) {
        if (data[i] >= 'a' && data[i] <= 'z')
            data[i] = static_cast<char>(data[i] - 'a' + 'A');
        else if (data[i] >= 'A' && data[i] <= 'Z')
            data[i] = static_cast<char>(data[i] - 'A' + 'a');
    }
}

int CString::Integer() const {
    if (!length) return 0;
    const long v = strtol_l(data, nullptr, 10, plat::cLocale());
    return static_cast<int>(std::clamp<long>(v, INT_MIN, INT_MAX));
}

long CString::HexToInt() const {
    return length ? strtol_l(data, nullptr, 16, plat::cLocale()) : 0;
}

float CString::Float() const {
    return static_cast<float>(Double());
}

double CString::Double() const {
    return length ? strtod_l(data, nullptr, plat::cLocale()) : 0.0;
}

const char32_t* CString::Unicode() {
    if (!length) return nullptr;
    auto* buffer = static_cast<char32_t*>(CAlloc(static_cast<std::size_t>(length) + 1, sizeof(char32_t)));
    if (!buffer) return nullptr;
    for (std::uint32_t i = 0; i < length; ++i) buffer[i] = static_cast<unsigned char>(data[i]);
    std::free(wtemp);
    wtemp = buffer;
    return wtemp;
}

void CString::Encode() {
    if (!length) return;
    const char* hex = Hex2();
    if (hex == temp) Set(hex, std::strlen(hex));
}

bool CString::IsASCII() const {
    for (std::uint32_t i = 0; i < length && data[i]; ++i)
        if (static_cast<unsigned char>(data[i]) & 0x80) return false;
    return true;
}

bool CString::IsKeyword() const {
    for (std::uint32_t i = 0; i < length; ++i) {
        const char c = data[i];
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !(digit && i > 0)) return false;
    }
    return true;
}

const char* CString::XML(int depth) {
    if (!length) return CopyToTemp("<CData>\n\tundefined</CData>");
    return XMLFormat(depth, "<CString encoding='UTF8'>\n\t", "</CString>\n", data);
}

bool CStringList::Add(const char* text, std::size_t n) {
    items.emplace_back();
    if (!items.back().Set(text, n) || items.back().Empty()) {
        items.pop_back();
        return false;
    }
    return true;
}

} // namespace SDO
