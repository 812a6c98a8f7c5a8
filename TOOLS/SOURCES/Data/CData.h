#pragma once

#include <cstddef>
#include <cstdint>

namespace SDO {

// "00" "01" .. "FF" followed by "-": the two digits of byte value v stand at position 2v.
extern const char* const hextable;

// Heap byte buffer with counting and hexadecimal and XML formatting. The content is always
// followed by at least one zero byte, so it is also a terminated text.
class CData {
public:
    // What an empty object shows as its content.
    static constexpr const char* kEmptyMarker = "(null*)";
    // Longest content; positions must fit an int.
    static constexpr std::size_t kMaxLength = 0x7FFFFFF0u;

    CData();
    CData(const CData&) = delete;
    CData& operator=(const CData&) = delete;
    virtual ~CData();

    // 0 when n < 1, else n + 1 rounded up to a multiple of 4.
    static std::size_t Padding(std::int64_t n);
    // Zero-filled allocation; null when either argument is 0 or on failure.
    static void* CAlloc(std::size_t count, std::size_t size);
    static std::size_t StrLen(const char* text);
    void Clear();

    virtual const char* ClassName() const { return className; }
    virtual int ClassCount() const { return count; }
    virtual std::uint32_t Length() const { return length; }
    virtual bool Empty() const { return length == 0; }
    virtual std::size_t DataSize() const { return Padding(length); }
    virtual std::size_t ObjectSize() const { return 32; }
    virtual const char* String() { return Hex5(); }
    // The formatters return the shared result buffer, valid until the next formatter call.
    virtual const char* Hex2();
    virtual const char* ColorRGB();
    virtual const char* Hex3();
    virtual const char* Hex4();
    virtual const char* Hex5();
    virtual const char* XML(int depth);

    // The content, or the empty marker when empty.
    const char* Data() const { return data ? data : kEmptyMarker; }

    static int count;
    static char* temp;
    static char32_t* wtemp;
    // The shared buffer for an error text; like the result buffers, allocated with the C
    // allocator and released when the last object goes.
    static char* err;

protected:
    // Replaces the content with `n` bytes of `a` followed by `m` bytes of `b` (the sources may lie
    // inside this object's own buffer). False, and the content unchanged, when it cannot be held.
    bool Set(const char* a, std::size_t n, const char* b = nullptr, std::size_t m = 0);
    // Takes ownership of a buffer of Padding(n) zero-filled bytes holding `n` bytes of content.
    void Adopt(char* buffer, std::size_t n);
    // Stores a new shared result; returns it, or "(out of memory)" for null.
    static const char* SetTemp(char* buffer);
    static const char* CopyToTemp(const char* text);
    // Per byte: `prefix`, two digits, `separator` (the last separator dropped).
    const char* HexFormat(const char* prefix, const char* separator, const char* whenEmpty);
    const char* XMLFormat(int depth, const char* open, const char* close, const char* body);

    const char* className = "CData";
    char* data = nullptr;
    std::uint32_t length = 0;
};

} // namespace SDO
