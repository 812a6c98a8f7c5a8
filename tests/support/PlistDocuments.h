#pragma once
// Property-list documents made by hand, as hostile or odd as a test needs: binary documents with
// chosen object references, and XML nested in chosen ways.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A binary property list assembled object by object; references are object numbers, so objects
// may be shared, cyclic or missing. One-byte references: at most 256 objects.
class BinaryPlist {
public:
    using Bytes = std::vector<std::uint8_t>;

    std::size_t ascii(std::string_view text) {
        return add(0x50, text.size(), Bytes(text.begin(), text.end()));
    }
    std::size_t utf16(std::u16string_view text) {
        Bytes b;
        for (const char16_t c : text) b.insert(b.end(), {std::uint8_t(c >> 8), std::uint8_t(c)});
        return add(0x60, text.size(), b);
    }
    // Eight bytes, or sixteen with `high` first, as values beyond the signed range are written.
    std::size_t integer(std::uint64_t value, std::optional<std::uint64_t> high = {}) {
        Bytes b;
        if (high) append(b, *high, 8);
        append(b, value, 8);
        return add(high ? 0x14 : 0x13, 0, b);
    }
    std::size_t array(const std::vector<std::size_t>& refs) {
        return add(0xA0, refs.size(), Bytes(refs.begin(), refs.end()));
    }
    std::size_t dict(std::size_t key, std::size_t value) {
        return add(0xD1, 0, {std::uint8_t(key), std::uint8_t(value)});
    }

    std::string document(std::size_t top) const {
        Bytes out{'b', 'p', 'l', 'i', 's', 't', '0', '0'}, offsets;
        for (const auto& o : objects_) {
            append(offsets, out.size(), 4);
            out.insert(out.end(), o.begin(), o.end());
        }
        const std::size_t table = out.size();
        out.insert(out.end(), offsets.begin(), offsets.end());
        out.insert(out.end(), {0, 0, 0, 0, 0, 0, 4, 1}); // four-byte offsets, one-byte references
        append(out, objects_.size(), 8);
        append(out, top, 8);
        append(out, table, 8);
        return std::string(out.begin(), out.end());
    }

private:
    static void append(Bytes& b, std::uint64_t v, int n) {
        for (int i = n - 1; i >= 0; --i) b.push_back(std::uint8_t(v >> (8 * i)));
    }
    std::size_t add(std::uint8_t marker, std::size_t count, const Bytes& payload) {
        Bytes b{std::uint8_t(marker | std::min<std::size_t>(count, 15))};
        if (count >= 15) {
            b.push_back(0x12);
            append(b, count, 4);
        }
        b.insert(b.end(), payload.begin(), payload.end());
        objects_.push_back(std::move(b));
        return objects_.size() - 1;
    }
    std::vector<Bytes> objects_;
};

// `levels` arrays, each referring 16 times to the one below, over one string of `textBytes`: a
// few hundred bytes that stand for 16^levels copies of the string. With a key, the arrays are that
// key's value in a dictionary.
inline std::string expansionBomb(int levels, std::size_t textBytes, const char* key = nullptr) {
    BinaryPlist plist;
    std::size_t below = plist.ascii(std::string(textBytes, 'x'));
    for (int i = 0; i < levels; ++i) below = plist.array(std::vector<std::size_t>(16, below));
    return plist.document(key ? plist.dict(plist.ascii(key), below) : below);
}

// `depth` nested arrays around one integer, each level opened behind a comment that closes as
// many arrays as text would count: only a tokenizer that knows comments sees the real depth.
inline std::string nestedXML(int depth, std::string_view inner = "<integer>1</integer>") {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
    for (int i = 0; i < depth; ++i) xml += "<!-- </array> --><array>";
    xml += inner;
    for (int i = 0; i < depth; ++i) xml += "</array>";
    return xml + "</plist>\n";
}

// The code points of UTF-8 text (taken to be valid).
inline std::u32string codePoints(std::string_view text) {
    std::u32string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t u = length == 1 ? c : c & (0x7F >> length);
        for (int k = 1; k < length; ++k) u = (u << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out += u, i += std::size_t(length);
    }
    return out;
}

// UTF-8 text as UTF-16 (characters beyond the basic plane as surrogate pairs) or UTF-32 bytes, with
// a byte-order mark when asked.
inline std::string wideDocument(std::string_view text, int unitBytes, bool bigEndian, bool mark = true) {
    std::string out;
    auto unit = [&](char32_t u) {
        for (int k = 0; k < unitBytes; ++k) out += char(u >> (8 * (bigEndian ? unitBytes - 1 - k : k)));
    };
    if (mark) unit(0xFEFF);
    for (const char32_t u : codePoints(text)) {
        if (unitBytes == 2 && u > 0xFFFF)
            unit(0xD800 + ((u - 0x10000) >> 10)), unit(0xDC00 + ((u - 0x10000) & 0x3FF));
        else
            unit(u);
    }
    return out;
}

inline std::string utf16Document(std::string_view text, bool bigEndian, bool mark = true) {
    return wideDocument(text, 2, bigEndian, mark);
}
