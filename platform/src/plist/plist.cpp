#include "plat/plist.h"
#include "plat/core.h"
#include "plat/files.h"

#include <plist/plist.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

namespace plat::plist {

// ---------------------------------------------------------------------------------------------
// Values

Dictionary::Dictionary(std::initializer_list<Entry> entries) {
    for (const auto& e : entries) set(e.first, e.second);
}

std::size_t Dictionary::position(std::string_view key) const {
    if (!index_.empty()) {
        const auto it = index_.find(key);
        return it == index_.end() ? entries_.size() : it->second;
    }
    std::size_t i = 0;
    while (i < entries_.size() && entries_[i].first != key) ++i;
    return i;
}

void Dictionary::reindex() {
    index_.clear();
    if (entries_.size() < kIndexedFrom) return;
    index_.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) index_.emplace(entries_[i].first, i);
}

const Value* Dictionary::find(std::string_view key) const {
    const std::size_t i = position(key);
    return i < entries_.size() ? &entries_[i].second : nullptr;
}

Value* Dictionary::find(std::string_view key) {
    const std::size_t i = position(key);
    return i < entries_.size() ? &entries_[i].second : nullptr;
}

void Dictionary::set(std::string key, Value value) {
    std::size_t i = entries_.size();
    if (!index_.empty()) {
        const auto [it, added] = index_.try_emplace(key, i);
        if (!added) i = it->second;
    } else {
        i = position(key);
    }
    if (i < entries_.size()) {
        entries_[i].second = std::move(value);
        return;
    }
    entries_.emplace_back(std::move(key), std::move(value));
    if (index_.empty() && entries_.size() >= kIndexedFrom) reindex();
}

void Dictionary::reserve(std::size_t count) {
    entries_.reserve(count);
    if (count >= kIndexedFrom) index_.reserve(count);
}

bool Dictionary::erase(std::string_view key) {
    const std::size_t i = position(key);
    if (i == entries_.size()) return false;
    entries_.erase(entries_.begin() + std::ptrdiff_t(i));
    reindex();
    return true;
}

std::vector<std::string> Dictionary::keys() const {
    std::vector<std::string> out;
    out.reserve(entries_.size());
    for (const auto& e : entries_) out.push_back(e.first);
    return out;
}

bool operator==(const Dictionary& a, const Dictionary& b) {
    return a.entries_ == b.entries_;
}

std::optional<bool> Value::asBool() const {
    if (auto* b = std::get_if<bool>(&v_)) return *b;
    return std::nullopt;
}

std::optional<std::int64_t> Value::asInteger() const {
    if (auto* i = std::get_if<std::int64_t>(&v_)) return *i;
    return std::nullopt;
}

std::optional<double> Value::asReal() const {
    if (auto* r = std::get_if<double>(&v_)) return *r;
    return std::nullopt;
}

std::optional<double> Value::asNumber() const {
    if (auto* r = std::get_if<double>(&v_)) return *r;
    if (auto* i = std::get_if<std::int64_t>(&v_)) return double(*i);
    return std::nullopt;
}

std::optional<plist::Date> Value::asDate() const {
    if (auto* d = std::get_if<plist::Date>(&v_)) return *d;
    return std::nullopt;
}

namespace {

void describe(const Value& v, std::ostringstream& out, int indent) {
    const std::string pad(std::size_t(indent) * 4, ' ');
    switch (v.type()) {
    case Type::Boolean:
        out << (*v.asBool() ? "1" : "0");
        break;
    case Type::Integer:
        out << *v.asInteger();
        break;
    case Type::Real: {
        char buf[40];
        const auto end =
            std::to_chars(buf, buf + sizeof buf, *v.asReal(), std::chars_format::general, 17).ptr;
        out << std::string_view(buf, std::size_t(end - buf));
        break;
    }
    case Type::String:
        out << *v.asString();
        break;
    case Type::Data: {
        out << '{' << v.asData()->size() << " bytes}";
        break;
    }
    case Type::Date: {
        const auto secs = std::time_t(std::floor(v.asDate()->secondsSince1970));
        std::tm tm{};
        gmtime_r(&secs, &tm);
        char buf[40];
        std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S +0000", &tm);
        out << buf;
        break;
    }
    case Type::Array: {
        out << "(\n";
        const auto& a = *v.asArray();
        for (std::size_t i = 0; i < a.size(); ++i) {
            out << pad << "    ";
            describe(a[i], out, indent + 1);
            out << (i + 1 < a.size() ? ",\n" : "\n");
        }
        out << pad << ')';
        break;
    }
    case Type::Dictionary: {
        out << "{\n";
        for (const auto& [k, value] : *v.asDictionary()) {
            out << pad << "    " << k << " = ";
            describe(value, out, indent + 1);
            out << ";\n";
        }
        out << pad << '}';
        break;
    }
    }
}

// Seconds between 1970-01-01 and the property-list epoch, 2001-01-01.
constexpr double kEpochOffset = 978307200.0;

struct PlistFree {
    void operator()(plist_t p) const { plist_free(p); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

Error parseError(std::string what) {
    return Error{kCocoaErrorDomain, 3840, std::move(what)};
}

// libplist recurses while it parses; nesting is measured before it sees the bytes.
bool xmlNestingWithin(std::string_view text, int maxDepth) {
    int depth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '<') continue;
        const std::string_view rest = text.substr(i + 1);
        const bool closing = rest.starts_with("/array") || rest.starts_with("/dict");
        const bool opening = rest.starts_with("array") || rest.starts_with("dict");
        if (closing) {
            --depth;
        } else if (opening) {
            const auto end = rest.find('>');
            if (end != std::string_view::npos && end > 0 && rest[end - 1] == '/') continue; // <array/>
            if (++depth > maxDepth) return false;
        }
    }
    return true;
}

std::uint64_t readBE(const std::uint8_t* p, unsigned n) {
    std::uint64_t v = 0;
    for (unsigned i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v;
}

// Walks the object graph of a binary property list without recursion, refusing deep nesting or
// reference cycles before libplist parses it.
bool binaryNestingWithin(std::span<const std::uint8_t> b, int maxDepth) {
    if (b.size() < 8 + 32) return false;
    const std::uint8_t* t = b.data() + b.size() - 32;
    const unsigned offsetSize = t[6], refSize = t[7];
    const std::uint64_t count = readBE(t + 8, 8), top = readBE(t + 16, 8), table = readBE(t + 24, 8);
    if (offsetSize == 0 || offsetSize > 8 || refSize == 0 || refSize > 8 || top >= count) return false;
    if (table >= b.size() || count > (b.size() - table) / offsetSize) return false;
    auto offsetOf = [&](std::uint64_t index) {
        return readBE(b.data() + table + index * offsetSize, offsetSize);
    };

    struct Item {
        std::uint64_t object;
        int depth;
    };
    std::vector<Item> stack{{top, 1}};
    std::size_t visits = 0;
    while (!stack.empty()) {
        const Item item = stack.back();
        stack.pop_back();
        if (++visits > 4'000'000) return false;
        const std::uint64_t off = offsetOf(item.object);
        if (off >= table) return false;
        const std::uint8_t marker = b[off];
        const unsigned kind = marker >> 4;
        if (kind != 0xA && kind != 0xD && kind != 0xB && kind != 0xC) continue;
        if (item.depth > maxDepth) return false;
        std::uint64_t n = marker & 0x0F, p = off + 1;
        if (n == 0x0F) {
            if (p >= table || (b[p] >> 4) != 0x1) return false;
            const unsigned len = 1u << (b[p] & 0x0F);
            if (len > 8 || p + 1 + len > table) return false;
            n = readBE(b.data() + p + 1, len);
            p += 1 + len;
        }
        const std::uint64_t refs = kind == 0xD ? n * 2 : n;
        if (refs > (table - p) / refSize) return false;
        for (std::uint64_t i = (kind == 0xD ? n : 0); i < refs; ++i) {
            const std::uint64_t child = readBE(b.data() + p + i * refSize, refSize);
            if (child >= count) return false;
            stack.push_back({child, item.depth + 1});
        }
    }
    return true;
}

std::optional<Value> fromNode(plist_t node, int depth, int maxDepth) {
    if (depth > maxDepth) return std::nullopt;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return Value(b != 0);
    }
    case PLIST_UINT: {
        uint64_t u = 0;
        plist_get_uint_val(node, &u);
        return Value(static_cast<long long>(u)); // stored two's complement for negative values
    }
    case PLIST_REAL: {
        double r = 0;
        plist_get_real_val(node, &r);
        return Value(r);
    }
    case PLIST_STRING: {
        // By pointer and length: the copying getter asserts (and aborts) on an embedded NUL.
        uint64_t len = 0;
        const char* s = plist_get_string_ptr(node, &len);
        return Value(std::string(s ? s : "", s ? len : 0));
    }
    case PLIST_DATA: {
        char* d = nullptr;
        uint64_t len = 0;
        plist_get_data_val(node, &d, &len);
        Data bytes(reinterpret_cast<std::uint8_t*>(d), reinterpret_cast<std::uint8_t*>(d) + (d ? len : 0));
        std::free(d);
        return Value(std::move(bytes));
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return Value(Date{double(sec) + double(usec) * 1e-6 + kEpochOffset});
    }
    case PLIST_ARRAY: {
        Array a;
        const uint32_t n = plist_array_get_size(node);
        a.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
            auto child = fromNode(plist_array_get_item(node, i), depth + 1, maxDepth);
            if (!child) return std::nullopt;
            a.push_back(std::move(*child));
        }
        return Value(std::move(a));
    }
    case PLIST_DICT: {
        Dictionary d;
        d.reserve(plist_dict_get_size(node));
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char* key = nullptr;
            plist_t val = nullptr;
            plist_dict_next_item(node, it, &key, &val);
            if (!val) {
                std::free(key);
                break;
            }
            auto child = fromNode(val, depth + 1, maxDepth);
            std::string k(key ? key : "");
            std::free(key);
            if (!child) {
                std::free(it);
                return std::nullopt;
            }
            d.set(std::move(k), std::move(*child));
        }
        std::free(it);
        return Value(std::move(d));
    }
    default:
        return std::nullopt; // keys and UIDs have no place in our values
    }
}

plist_t toNode(const Value& v) {
    switch (v.type()) {
    case Type::Boolean:
        return plist_new_bool(*v.asBool() ? 1 : 0);
    case Type::Integer:
        return plist_new_uint(static_cast<uint64_t>(*v.asInteger()));
    case Type::Real:
        return plist_new_real(*v.asReal());
    case Type::String:
        return plist_new_string(v.asString()->c_str());
    case Type::Data: {
        const auto& d = *v.asData();
        return plist_new_data(reinterpret_cast<const char*>(d.data()), d.size());
    }
    case Type::Date: {
        const double t = v.asDate()->secondsSince1970 - kEpochOffset;
        const double sec = std::floor(t);
        return plist_new_date(int32_t(sec), int32_t(std::llround((t - sec) * 1e6)));
    }
    case Type::Array: {
        plist_t a = plist_new_array();
        for (const auto& item : *v.asArray()) plist_array_append_item(a, toNode(item));
        return a;
    }
    case Type::Dictionary: {
        plist_t d = plist_new_dict();
        for (const auto& [k, item] : *v.asDictionary()) plist_dict_set_item(d, k.c_str(), toNode(item));
        return d;
    }
    }
    return plist_new_bool(0);
}

} // namespace

std::string Value::description() const {
    std::ostringstream out;
    describe(*this, out, 0);
    return out.str();
}

Result<Value> parse(std::span<const std::uint8_t> bytes, const Limits& limits) {
    if (bytes.empty()) return parseError("The property list is empty.");
    if (bytes.size() > limits.maxBytes || bytes.size() > UINT32_MAX)
        return parseError("The property list is larger than " + std::to_string(limits.maxBytes) + " bytes.");
    const auto* chars = reinterpret_cast<const char*>(bytes.data());
    const bool binary = bytes.size() >= 8 && std::memcmp(chars, "bplist00", 8) == 0;
    // XML admits no NUL character anywhere; the XML reader would cut text short at one.
    if (!binary && std::memchr(chars, 0, bytes.size()))
        return parseError("The data is not a valid property list: it holds a NUL character.");
    if (binary ? !binaryNestingWithin(bytes, limits.maxDepth)
               : !xmlNestingWithin(std::string_view(chars, bytes.size()), limits.maxDepth))
        return parseError("The property list is malformed or nested deeper than " +
                          std::to_string(limits.maxDepth) + " levels.");
    plist_t root = nullptr;
    const CLocaleScope numbersWithAPoint; // libplist reads XML reals with strtod
    if (binary)
        plist_from_bin(chars, uint32_t(bytes.size()), &root);
    else
        plist_from_xml(chars, uint32_t(bytes.size()), &root);
    PlistPtr owner(root);
    if (!root) return parseError("The data is not a valid property list.");
    auto value = fromNode(root, 1, limits.maxDepth);
    if (!value) return parseError("The property list holds a value of an unsupported kind.");
    return std::move(*value);
}

Result<Value> parse(std::string_view text, const Limits& limits) {
    return parse(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), limits);
}

Result<Value> readFile(const std::filesystem::path& path, const Limits& limits) {
    auto bytes = readFileContents(path, limits.maxBytes);
    if (!bytes) {
        if (bytes.error().code == kFileTooLargeError)
            return parseError("The file \u201c" + path.string() + "\u201d is larger than " +
                              std::to_string(limits.maxBytes) + " bytes.");
        return bytes.error();
    }
    return parse(std::span<const std::uint8_t>(bytes.value()), limits);
}

std::string toXML(const Value& value) {
    PlistPtr node(toNode(value));
    char* xml = nullptr;
    uint32_t len = 0;
    plist_to_xml(node.get(), &xml, &len);
    std::string out(xml ? xml : "", xml ? len : 0);
    if (xml) plist_to_xml_free(xml);
    return out;
}

Result<void> writeFile(const std::filesystem::path& path, const Value& value) {
    return writeFileAtomically(path, toXML(value));
}

} // namespace plat::plist
