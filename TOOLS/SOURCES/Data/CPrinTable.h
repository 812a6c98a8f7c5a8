#pragma once

namespace SDO {

// Printable names of the 128 seven-bit character codes.
class CPrinTable {
public:
    CPrinTable();
    CPrinTable(const CPrinTable&) = delete;
    CPrinTable& operator=(const CPrinTable&) = delete;

    // The name of `code`, or "" outside 0 .. 127.
    const char* operator[](int code) const { return code >= 0 && code < 128 ? refs[code] : ""; }

    char names[128][6];
    const char* refs[128];
};

} // namespace SDO
