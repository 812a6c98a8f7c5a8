#pragma once

#include <deque>

#include "CData.h"

namespace SDO {

class CStringList;

// Text class on CData. Text is formatted and parsed in the C locale whatever the process locale.
// The non-assigning operators return the shared result string `tempstr` (overwritten by the next
// such call) or, where nothing changes, the string itself.
class CString : public CData {
public:
    CString();
    CString(const char* text);
    CString(const CString& other);
    ~CString() override;

    int ClassCount() const override { return count; }
    const char* String() override { return c_str(); }
    const char* XML(int depth) override;

    int operator=(const CString& other);
    int operator=(char* text);
    // Returns the new length.
    int operator=(const char* text);
    int operator=(int value);
    int operator=(double value);
    // Byte i; outside the content a reference to a scratch byte reset to 0.
    char& operator[](int i);

    bool operator==(const char* text) const;
    bool operator==(const CString& other) const;
    bool operator!=(const CString& other) const;
    bool operator!=(const char* text) const;
    bool operator<(const CString& other) const;
    bool operator>(const CString& other) const;
    bool operator<=(const CString& other) const;
    bool operator>=(const CString& other) const;

    CString& operator+=(const CString& other);
    CString& operator+=(const char* text);
    CString& operator+=(char c);
    CString& operator+=(int value);
    CString& operator+=(double value);
    CString& operator-=(const char* text);
    CString& operator-=(int n);

    CString& operator+(const CString& other);
    CString& operator+(const char* text);
    CString& operator+(int value);
    CString& operator+(double value);
    CString& operator*(int n);
    CString& operator-(int n);
    CString& operator-(const char* text);

    // Prints the text n times to standard output. Returns 0.
    int operator>>(int n);
    // Loads the whole file as the new content. Returns the length read, 0 on any failure (the
    // string is then empty).
    int operator<<(const char* path);
    // Saves the content to the file, replacing it atomically. Returns 0, or -1 on failure.
    int operator>>(const char* path);

    char At(int i) const;
    char First() const { return At(0); }
    char Last() const { return At(static_cast<int>(length) - 1); }
    int Find(const char* text, int start) const;
    bool Replace(const char* find, const char* repl, int start, bool all);
    void Insert(int pos, const char* text);
    // A terminated copy in the shared result buffer, or null.
    const char* SubStr(int start, int n);
    void Trim();
    void TrimLeft();
    void TrimRight();
    int Split(const char* separator, CStringList* list, int max, int start);
    void Uppercase();
    void Lowercase();
    void Revertcase();
    int Integer() const;
    long HexToInt() const;
    float Float() const;
    double Double() const;
    bool ToBool() const { return length != 0; }
    // One unit per byte (bytes read as unsigned, 0 .. 255), terminated, in the shared wide result
    // buffer; null when empty.
    const char32_t* Unicode();
    void Decode() {}
    void Encode();
    bool IsASCII() const;
    bool IsKeyword() const;
    const char* c_str() const { return Data(); }

    static int count;
    static CString tempstr;
    static char nirvana;

private:
    friend class CStringList;
    // The text as it takes part in comparisons: an empty string is "".
    const char* Compared() const { return data ? data : ""; }
    CString& Result(const char* a, std::size_t n, const char* b, std::size_t m);
};

// Owned texts filled by CString::Split.
class CStringList {
public:
    int Count() const { return static_cast<int>(items.size()); }
    void Clear() { items.clear(); }
    // Adds a copy of `n` bytes of `text`; false when it cannot be held.
    bool Add(const char* text, std::size_t n);
    const CString& operator[](int i) const { return items.at(static_cast<std::size_t>(i)); }

private:
    std::deque<CString> items;
};

} // namespace SDO
