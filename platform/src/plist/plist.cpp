#include "plat/plist.h"
#include "plat/console.h"
#include "plat/files.h"

#include "PlistFormats.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>
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

} // namespace

std::string Value::description() const {
    std::ostringstream out;
    describe(*this, out, 0);
    return out.str();
}

Result<Value> parse(std::span<const std::uint8_t> bytes, const Limits& limits) {
    if (bytes.empty()) return detail::parseError("The property list is empty.");
    if (bytes.size() > limits.maxBytes)
        return detail::parseError("The property list is larger than " + std::to_string(limits.maxBytes) +
                                  " bytes.");
    static constexpr std::uint8_t kBinaryMagic[] = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    if (bytes.size() >= 8 && std::equal(kBinaryMagic, kBinaryMagic + 8, bytes.begin()))
        return detail::parseBinary(bytes, limits);
    return detail::parseXML(bytes, limits);
}

Result<Value> parse(std::string_view text, const Limits& limits) {
    return parse(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), limits);
}

Result<Value> readFile(const std::filesystem::path& path, const Limits& limits) {
    auto bytes = readFileContents(path, limits.maxBytes);
    if (!bytes) {
        if (bytes.error().code == kFileTooLargeError)
            return detail::parseError("The file \u201c" + cutInMiddle(path.string()) +
                                      "\u201d is larger than " + std::to_string(limits.maxBytes) + " bytes.");
        return bytes.error();
    }
    return parse(std::span<const std::uint8_t>(bytes.value()), limits);
}

std::string toXML(const Value& value) {
    auto xml = detail::writeXML(value);
    return xml ? std::move(xml).value() : std::string();
}

Result<void> writeFile(const std::filesystem::path& path, const Value& value) {
    auto xml = detail::writeXML(value);
    if (!xml) return xml.error();
    return writeFileAtomically(path, xml.value());
}

// ---------------------------------------------------------------------------------------------
// Shared by both formats

namespace detail {

Error parseError(std::string what) {
    return Error{kCocoaErrorDomain, 3840, std::move(what)};
}

std::optional<std::string> textProblem(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            if (lead == 0) return "a NUL character";
            if (lead < 0x20 && lead != '\t' && lead != '\n' && lead != '\r')
                return "the control character " +
                       shown(std::string_view(reinterpret_cast<const char*>(p), 1));
            ++p;
            continue;
        }
        // Shortest forms only, no surrogates, nothing beyond U+10FFFF.
        const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
        if (length == 0 || lead > 0xF4 || end - p < length) return "bytes that are not UTF-8";
        char32_t c = lead & (0x7F >> length);
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80) return "bytes that are not UTF-8";
            c = (c << 6) | (p[i] & 0x3F);
        }
        if ((length == 3 && c < 0x800) || (length == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
            (c >= 0xD800 && c <= 0xDFFF))
            return "bytes that are not UTF-8";
        if (c == 0xFFFE || c == 0xFFFF) return "a noncharacter";
        p += length;
    }
    return std::nullopt;
}

std::string shown(std::string_view text) {
    const std::string_view excerpt = cutAtCharacter(text, 40);
    return "\u201c" + std::string(excerpt) + (excerpt.size() < text.size() ? "...\u201d" : "\u201d");
}

} // namespace detail

} // namespace plat::plist
