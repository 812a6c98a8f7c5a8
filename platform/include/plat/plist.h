#pragma once
// Property lists: values, XML and binary parsing, XML writing, files.

#include "plat/error.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

namespace plat::plist {

using Data = std::vector<std::uint8_t>;

// XML property lists keep dates to the whole second.
struct Date {
    double secondsSince1970 = 0;
    friend bool operator==(const Date&, const Date&) = default;
};

class Value;
using Array = std::vector<Value>;

// Keys stay in insertion order; setting an existing key keeps its place.
class Dictionary {
public:
    using Entry = std::pair<std::string, Value>;

    Dictionary() = default;
    Dictionary(std::initializer_list<Entry> entries);

    const Value* find(std::string_view key) const;
    Value* find(std::string_view key);
    bool contains(std::string_view key) const;
    void set(std::string key, Value value);
    bool erase(std::string_view key);
    void clear();
    // Room for `count` entries, as a reader that knows the count asks for.
    void reserve(std::size_t count);

    std::size_t size() const;
    bool empty() const;
    std::vector<std::string> keys() const;
    std::vector<Entry>::const_iterator begin() const;
    std::vector<Entry>::const_iterator end() const;

    friend bool operator==(const Dictionary&, const Dictionary&);

private:
    // Small dictionaries are searched in place; past this size a hash index keeps every look-up
    // constant, so a document of n keys is built in linear time.
    static constexpr std::size_t kIndexedFrom = 16;
    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
    };
    std::size_t position(std::string_view key) const; // size() when absent
    void reindex();

    std::vector<Entry> entries_;
    std::unordered_map<std::string, std::size_t, KeyHash, std::equal_to<>> index_;
};

enum class Type { Boolean, Integer, Real, String, Data, Date, Array, Dictionary };

class Value {
public:
    Value() : v_(false) {}
    Value(bool b) : v_(b) {}
    Value(int i) : v_(std::int64_t(i)) {}
    Value(long i) : v_(std::int64_t(i)) {}
    Value(long long i) : v_(std::int64_t(i)) {}
    Value(unsigned u) : v_(std::int64_t(u)) {}
    Value(float r) : v_(double(r)) {}
    Value(double r) : v_(r) {}
    Value(const char* s) : v_(std::string(s)) {}
    Value(std::string s) : v_(std::move(s)) {}
    Value(std::string_view s) : v_(std::string(s)) {}
    Value(plist::Data d) : v_(std::move(d)) {}
    Value(plist::Date d) : v_(d) {}
    Value(plist::Array a) : v_(std::move(a)) {}
    Value(plist::Dictionary d) : v_(std::move(d)) {}

    Type type() const { return Type(v_.index()); }

    // Each accessor answers only for its own type: a boolean is not an integer, an integer is
    // not a real. `asNumber` accepts either number type.
    std::optional<bool> asBool() const;
    std::optional<std::int64_t> asInteger() const;
    std::optional<double> asReal() const;
    std::optional<double> asNumber() const;
    const std::string* asString() const { return std::get_if<std::string>(&v_); }
    const plist::Data* asData() const { return std::get_if<plist::Data>(&v_); }
    std::optional<plist::Date> asDate() const;
    const plist::Array* asArray() const { return std::get_if<plist::Array>(&v_); }
    plist::Array* asArray() { return std::get_if<plist::Array>(&v_); }
    const plist::Dictionary* asDictionary() const { return std::get_if<plist::Dictionary>(&v_); }
    plist::Dictionary* asDictionary() { return std::get_if<plist::Dictionary>(&v_); }

    // A readable one-line-per-scalar description, for diagnostics.
    std::string description() const;

    friend bool operator==(const Value&, const Value&) = default;

private:
    std::variant<bool, std::int64_t, double, std::string, plist::Data, plist::Date, plist::Array,
                 plist::Dictionary>
        v_;
};

inline bool Dictionary::contains(std::string_view key) const {
    return find(key) != nullptr;
}
inline void Dictionary::clear() {
    entries_.clear();
    index_.clear();
}
inline std::size_t Dictionary::size() const {
    return entries_.size();
}
inline bool Dictionary::empty() const {
    return entries_.empty();
}
inline std::vector<Dictionary::Entry>::const_iterator Dictionary::begin() const {
    return entries_.begin();
}
inline std::vector<Dictionary::Entry>::const_iterator Dictionary::end() const {
    return entries_.end();
}

// What a document may cost: its own size, the nesting of its values (a scalar counts as a level),
// and the bytes its values take once built, which a binary document's shared references multiply.
struct Limits {
    std::size_t maxBytes = 16 * 1024 * 1024;
    int maxDepth = 64;
    std::size_t maxExpandedBytes = 64 * 1024 * 1024;
};

// Binary ("bplist00") or XML, chosen from the content. Errors are in kCocoaErrorDomain, code
// kPropertyListReadCorruptError, and say what is wrong: malformed numbers, strings holding NUL or
// other characters no XML document can carry, integers beyond the signed 64-bit range, values of
// kinds we do not keep, documents beyond the limits. A file that cannot be read fails as
// readFileContents does.
inline constexpr long kPropertyListReadCorruptError = 3840;
Result<Value> parse(std::span<const std::uint8_t> bytes, const Limits& limits = {});
Result<Value> parse(std::string_view text, const Limits& limits = {});
Result<Value> readFile(const std::filesystem::path& path, const Limits& limits = {});

// Empty when the value cannot be written: a string or key that no XML document can carry (a NUL,
// a control character, bytes that are not UTF-8), a date outside the years 1 to 9999.
std::string toXML(const Value& value);
// Writes the XML form atomically; the error says which value could not be written.
Result<void> writeFile(const std::filesystem::path& path, const Value& value);

} // namespace plat::plist
