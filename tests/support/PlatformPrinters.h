// How a failing comparison shows the platform's value types: a property-list value as its type and
// content, nested; geometry as its numbers. Every test source gets this header first (see
// tests/CMakeLists.txt), so that one type is printed one way in every test, inside containers and
// optionals too; a source that cannot see the platform's headers gets nothing from it.
#pragma once

#if __has_include("plat/plist.h") && __has_include("plat/geometry.h")

#include "plat/console.h"
#include "plat/geometry.h"
#include "plat/plist.h"

#include <charconv>
#include <cstdio>
#include <initializer_list>
#include <ostream>
#include <string_view>

namespace plat::testprint {

// The shortest text that reads back as the same double.
inline void number(double x, std::ostream* os) {
    char text[32];
    *os << std::string_view(text, std::size_t(std::to_chars(text, text + sizeof text, x).ptr - text));
}

// Quoted and whole on one line, escaped as the program's own lines escape outside text.
inline void text(std::string_view s, std::ostream* os) {
    *os << '"' << shownText(s, std::string_view::npos) << '"';
}

inline void numbers(std::initializer_list<double> xs, std::ostream* os) {
    const char* separator = "";
    for (const double x : xs) *os << separator, number(x, os), separator = ", ";
}

} // namespace plat::testprint

namespace plat::plist {

inline void PrintTo(const Date& date, std::ostream* os) {
    *os << "date ";
    plat::testprint::number(date.secondsSince1970, os);
    *os << " s after 1970";
}

inline void PrintTo(const Value& value, std::ostream* os);

inline void PrintTo(const Dictionary& dictionary, std::ostream* os) {
    *os << "dictionary {";
    const char* separator = "";
    for (const auto& [key, value] : dictionary) {
        *os << separator;
        plat::testprint::text(key, os);
        *os << ": ";
        PrintTo(value, os);
        separator = ", ";
    }
    *os << '}';
}

inline void PrintTo(const Value& value, std::ostream* os) {
    switch (value.type()) {
    case Type::Boolean:
        *os << "boolean " << (*value.asBool() ? "true" : "false");
        break;
    case Type::Integer:
        *os << "integer " << *value.asInteger();
        break;
    case Type::Real:
        *os << "real ";
        plat::testprint::number(*value.asReal(), os);
        break;
    case Type::String:
        *os << "string ";
        plat::testprint::text(*value.asString(), os);
        break;
    case Type::Data: {
        // The first bytes show where two blobs part; the length shows the rest.
        constexpr std::size_t kShown = 32;
        const Data& data = *value.asData();
        *os << "data of " << data.size() << " bytes <";
        for (std::size_t i = 0; i < data.size() && i < kShown; ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, i ? " %02x" : "%02x", data[i]);
            *os << hex;
        }
        *os << (data.size() > kShown ? " ...>" : ">");
        break;
    }
    case Type::Date:
        PrintTo(*value.asDate(), os);
        break;
    case Type::Array: {
        *os << "array [";
        const char* separator = "";
        for (const Value& element : *value.asArray())
            *os << separator, PrintTo(element, os), separator = ", ";
        *os << ']';
        break;
    }
    case Type::Dictionary:
        PrintTo(*value.asDictionary(), os);
        break;
    }
}

} // namespace plat::plist

namespace plat {

inline void PrintTo(const CGPoint& p, std::ostream* os) {
    *os << '{', testprint::numbers({p.x, p.y}, os), *os << '}';
}

inline void PrintTo(const CGSize& s, std::ostream* os) {
    *os << '{', testprint::numbers({s.width, s.height}, os), *os << '}';
}

inline void PrintTo(const CGRect& r, std::ostream* os) {
    *os << '{', testprint::numbers({r.origin.x, r.origin.y, r.size.width, r.size.height}, os), *os << '}';
}

inline void PrintTo(const CGAffineTransform& t, std::ostream* os) {
    *os << "[", testprint::numbers({t.a, t.b, t.c, t.d, t.tx, t.ty}, os), *os << ']';
}

} // namespace plat

#endif
