#pragma once
// The two document formats behind plat::plist, and the rules they share.
//
// Both readers build our values themselves and charge every value against the limits as they
// go: what a document may cost is known before anything large is built, whatever its references
// or nesting. Every string must be text an XML document can carry (valid UTF-8, no NUL, no other
// control character but tab and line ends), so whatever is read can be written back unchanged.

#include "plat/plist.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace plat::plist::detail {

// Seconds between 1970-01-01 and the property-list epoch, 2001-01-01.
inline constexpr double kEpochOffset = 978307200.0;
// What one value costs beyond its text or bytes: the value itself and, in a dictionary, its key.
inline constexpr std::size_t kValueCost = sizeof(Value) + sizeof(std::string);

Error parseError(std::string what);
// Why `text` cannot be a property-list string, or nothing when it can.
std::optional<std::string> textProblem(std::string_view text);
// Text from a document quoted in an error, as it is but for its length: long texts are cut.
std::string shown(std::string_view text);

Result<Value> parseXML(std::span<const std::uint8_t> bytes, const Limits& limits);
Result<Value> parseBinary(std::span<const std::uint8_t> bytes, const Limits& limits);
Result<std::string> writeXML(const Value& value);

} // namespace plat::plist::detail
