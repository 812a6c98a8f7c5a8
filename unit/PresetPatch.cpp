#include "PresetPatch.h"

#include "plat/console.h"
#include "plat/files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

namespace plist = plat::plist;

// Cocoa's "property list is corrupt" and "no such file" codes.
constexpr long kCorruptDocument = 3840;
constexpr long kNoSuchFile = 260;
constexpr long kFileReadUnknown = 256;
constexpr long kFileWriteUnknown = 512;
// The formats a reader reports: XML 1.0 and binary.
constexpr int kXMLFormat = 100;
constexpr int kBinaryFormat = 200;

void printLine(const std::string& line) {
    plat::Console::shared().writeLine(line);
}

// A document may hold thousands of bad entries: the first few say what is wrong, one more line
// how many were not shown.
constexpr std::size_t kReportedLines = 5;
void printReport(const std::vector<std::string>& lines, const char* what) {
    const std::size_t shown = std::min(lines.size(), kReportedLines);
    for (std::size_t i = 0; i < shown; ++i) printLine("PresetPatch::ERROR: " + plat::shownMessage(lines[i]));
    if (lines.size() > shown)
        printLine("PresetPatch::ERROR: ... and " + std::to_string(lines.size() - shown) + " more " + what +
                  ".");
}

const char* typeName(plist::Type type) {
    switch (type) {
    case plist::Type::Boolean:
        return "a boolean";
    case plist::Type::Integer:
        return "an integer";
    case plist::Type::Real:
        return "a real";
    case plist::Type::String:
        return "a string";
    case plist::Type::Data:
        return "data";
    case plist::Type::Date:
        return "a date";
    case plist::Type::Array:
        return "an array";
    case plist::Type::Dictionary:
        return "a dictionary";
    }
    return "a value";
}

// A document's key, as its messages quote it.
std::string quoted(const std::string& where, const std::string& key) {
    return (where.empty() ? std::string() : where + " / ") + "\u201c" + plat::cutInMiddle(key) + "\u201d";
}

// A four-character code: the type is held unsigned, the manufacturer and subtype signed, so a code
// whose first character is above 0x7F comes negative from those; both readings of 32 bits are taken.
constexpr std::int64_t kUnsignedCodes = 0, kSignedCodes = INT32_MIN;
bool readCode(const plist::Value& value, std::int64_t lowest, std::int64_t& out) {
    const auto integer = value.asInteger();
    if (!integer || *integer < lowest || *integer > std::int64_t(UINT32_MAX)) return false;
    out = *integer;
    return true;
}

// Text is kept whole or not at all: a NUL would cut it wherever it is written.
bool readText(const plist::Value& entry, const std::string& where, PresetReadLog& log, std::string& out) {
    const auto* text = entry.asString();
    if (!text) {
        log.problems.push_back(where + " is " + typeName(entry.type()) + ", not a string.");
        return false;
    }
    if (text->find('\0') != std::string::npos) {
        log.problems.push_back(where + " holds a NUL character.");
        return false;
    }
    out = *text;
    return true;
}

plat::Error corrupt(std::string description) {
    return plat::Error{plat::kCocoaErrorDomain, kCorruptDocument, std::move(description)};
}

} // namespace

// ---- parameter -----------------------------------------------------------------------------

plist::Dictionary PresetParam::toDictionary() const {
    plist::Dictionary dict;
    dict.set("address", plist::Value(static_cast<long long>(address)));
    dict.set("identifier", identifier);
    dict.set("value", value);
    return dict;
}

bool PresetParam::fromDictionary(const plist::Dictionary& dict, const std::string& where,
                                 PresetReadLog& log) {
    const std::size_t problemsBefore = log.problems.size();
    bool hasAddress = false, hasValue = false, finite = true;
    auto wrongType = [&](const std::string& key, const plist::Value& entry, const char* wanted) {
        log.problems.push_back(quoted(where, key) + " is " + typeName(entry.type()) + ", not " + wanted +
                               ".");
    };
    for (const auto& [key, entry] : dict) {
        if (key == "identifier") {
            readText(entry, quoted(where, key), log, identifier);
        } else if (key == "address") {
            const auto integer = entry.asInteger();
            if (!integer) {
                wrongType(key, entry, "an integer");
            } else if (*integer < 0) {
                log.problems.push_back(quoted(where, key) + " is negative (" + std::to_string(*integer) +
                                       ").");
            } else {
                address = plat::AUParameterAddress(*integer);
                hasAddress = true;
            }
        } else if (key == "value") {
            const auto number = entry.asNumber();
            if (!number) {
                wrongType(key, entry, "a number");
            } else if (!std::isfinite(*number)) {
                finite = false;
            } else {
                // Beyond the float range the value would become infinite; ranges clamp it anyway.
                value = plat::AUValue(std::clamp(*number, -double(FLT_MAX), double(FLT_MAX)));
                hasValue = true;
            }
        }
    }
    if (log.problems.size() != problemsBefore) return false;
    if (!finite) {
        log.skipped.push_back(where + " has a value that is not a finite number; the entry is skipped.");
        return false;
    }
    if (!hasAddress || !hasValue) {
        log.skipped.push_back(where + " has no \u201c" + (hasAddress ? "value" : "address") +
                              "\u201d; the entry is skipped.");
        return false;
    }
    return true;
}

// ---- group ---------------------------------------------------------------------------------

plist::Dictionary PresetGroup::toDictionary() const {
    plist::Dictionary dict;
    dict.set("identifier", identifier);
    dict.set("count", plist::Value(static_cast<long long>(params.size())));
    for (std::size_t k = 0; k < params.size(); ++k)
        dict.set("param " + std::to_string(k), params[k].toDictionary());
    return dict;
}

void PresetGroup::fromDictionary(const plist::Dictionary& dict, const std::string& where,
                                 PresetReadLog& log) {
    params.clear();
    for (const auto& [key, entry] : dict) {
        if (key == "identifier") {
            if (readText(entry, quoted(where, key), log, identifier)) findGroupNumber();
        } else if (key.find("param") != std::string::npos) {
            const std::string here = quoted(where, key);
            const auto* paramDict = entry.asDictionary();
            if (!paramDict) {
                log.problems.push_back(here + " is " + typeName(entry.type()) + ", not a dictionary.");
                continue;
            }
            PresetParam param;
            param.group = this;
            if (param.fromDictionary(*paramDict, here, log)) params.push_back(std::move(param));
        }
    }
}

void PresetGroup::findGroupNumber() {
    const auto space = identifier.rfind(' ');
    const std::string last = space == std::string::npos ? identifier : identifier.substr(space + 1);
    id = 0;
    std::size_t i = 0;
    if (i < last.size() && (last[i] == '+' || last[i] == '-')) ++i;
    if (i == last.size() || last.size() - i > 18) return;
    for (std::size_t j = i; j < last.size(); ++j)
        if (last[j] < '0' || last[j] > '9') return;
    id = std::stol(last);
}

// ---- patch ---------------------------------------------------------------------------------

plist::Dictionary PresetPatch::toDictionary() const {
    plist::Dictionary dict;
    dict.set("version", plist::Value(static_cast<long long>(version)));
    dict.set("type", plist::Value(static_cast<long long>(type)));
    dict.set("manufacturer", plist::Value(static_cast<long long>(manufacturer)));
    dict.set("subtype", plist::Value(static_cast<long long>(subtype)));
    dict.set("number", plist::Value(static_cast<long long>(number)));
    dict.set("name", name);
    dict.set("count", plist::Value(static_cast<long long>(groups.size())));
    for (std::size_t k = 0; k < groups.size(); ++k)
        dict.set("group " + std::to_string(k), groups[k]->toDictionary());
    return dict;
}

plat::Result<void> PresetPatch::fromDictionary(const plist::Dictionary& dict) {
    PresetReadLog log;
    auto& problems = log.problems;
    auto readInteger = [&](const std::string& key, const plist::Value& entry, long& out) {
        if (const auto integer = entry.asInteger(); integer && *integer >= std::numeric_limits<long>::min() &&
                                                    *integer <= std::numeric_limits<long>::max())
            out = long(*integer);
        else
            problems.push_back(quoted("", key) + " is " + typeName(entry.type()) + ", not an integer.");
    };
    auto readCodeEntry = [&](const std::string& key, const plist::Value& entry, std::int64_t lowest,
                             std::int64_t& out) {
        if (!readCode(entry, lowest, out))
            problems.push_back(quoted("", key) + " is not an integer from " + std::to_string(lowest) +
                               " to 4294967295.");
    };

    long newVersion = version, newNumber = number;
    std::int64_t newType = type, newManufacturer = manufacturer, newSubtype = subtype;
    std::string newName = name;
    std::vector<std::unique_ptr<PresetGroup>> newGroups;
    std::size_t entries = 0;

    for (const auto& [key, entry] : dict) {
        if (key == "version") {
            readInteger(key, entry, newVersion);
        } else if (key == "type") {
            readCodeEntry(key, entry, kUnsignedCodes, newType);
        } else if (key == "manufacturer") {
            readCodeEntry(key, entry, kSignedCodes, newManufacturer);
        } else if (key == "subtype") {
            readCodeEntry(key, entry, kSignedCodes, newSubtype);
        } else if (key == "number") {
            readInteger(key, entry, newNumber);
        } else if (key == "name") {
            readText(entry, quoted("", key), log, newName);
        } else if (key.find("group") != std::string::npos) {
            const std::string where = quoted("", key);
            const auto* groupDict = entry.asDictionary();
            if (!groupDict) {
                problems.push_back(where + " is " + typeName(entry.type()) + ", not a dictionary.");
                continue;
            }
            auto group = std::make_unique<PresetGroup>();
            group->fromDictionary(*groupDict, where, log);
            entries += group->params.size();
            newGroups.push_back(std::move(group));
        }
        // Skipped entries count too: each costs a message.
        if (entries + log.skipped.size() > kMaxParameters) {
            problems.push_back("The document holds more than " + std::to_string(kMaxParameters) +
                               " parameters.");
            break;
        }
    }

    if (!problems.empty()) {
        printReport(problems, "problems");
        std::string description = "The preset document is malformed: " + problems.front();
        if (problems.size() > 1)
            description += " (and " + std::to_string(problems.size() - 1) + " more problems)";
        return corrupt(std::move(description));
    }
    printReport(log.skipped, "skipped entries");
    version = newVersion;
    type = std::uint32_t(newType);
    manufacturer = newManufacturer;
    subtype = newSubtype;
    number = newNumber;
    name = std::move(newName);
    groups = std::move(newGroups);
    return {};
}

plat::Result<void> PresetPatch::fromValue(const plist::Value& value) {
    const auto* dict = value.asDictionary();
    if (!dict) {
        const std::string problem =
            std::string("The document is ") + typeName(value.type()) + ", not a dictionary.";
        printLine("PresetPatch::ERROR: " + problem);
        return corrupt("The preset document is malformed: " + problem);
    }
    return fromDictionary(*dict);
}

plat::Result<void> PresetPatch::fromData(std::span<const std::uint8_t> bytes) {
    static constexpr char kBinaryMagic[] = "bplist";
    const bool binary =
        bytes.size() >= 6 && std::equal(kBinaryMagic, kBinaryMagic + 6, bytes.begin(),
                                        [](char a, std::uint8_t b) { return std::uint8_t(a) == b; });
    plat::plist::Limits limits;
    limits.maxBytes = kMaxFileBytes;
    limits.maxDepth = 8; // patch, group, parameter: anything deeper is not ours
    limits.maxExpandedBytes = kMaxExpandedBytes;
    auto parsed = plist::parse(bytes, limits);
    if (!parsed.ok()) {
        printLine("AUPresetFile::FEHLER: Die Datei konnte nicht eingelesen werden: " +
                  plat::shownMessage(parsed.error().description) +
                  ", Format: " + std::to_string(binary ? kBinaryFormat : kXMLFormat));
        return corrupt("The preset document is not a property list: " + parsed.error().description);
    }
    return fromValue(parsed.value());
}

plat::Result<void> PresetPatch::saveToFile(const std::filesystem::path& path) const {
    const std::string xml = plist::toXML(plist::Value(toDictionary()));
    if (xml.empty()) {
        printLine("PresetPatch::FEHLER: Die Daten konnten nicht serialisiert werden.");
        return corrupt("The preset could not be serialised.");
    }
    // What is saved must load again. Text read from a compact document can grow when written
    // ("<" and ">" become "&lt;" and "&gt;", a binary document's shared strings are written out each
    // time), so a document that was accepted may not fit a preset file once saved.
    if (xml.size() > kMaxFileBytes) {
        const std::string why = "The preset would take " + std::to_string(xml.size()) +
                                " bytes, more than the " + std::to_string(kMaxFileBytes) +
                                " a preset file may hold.";
        printLine("PresetPatch::FEHLER: Die Daten konnten nicht gespeichert werden. (" + why + ")");
        return plat::Error{plat::kCocoaErrorDomain, kFileWriteUnknown, why};
    }
    auto written = plat::writeFileAtomically(path, xml);
    if (!written.ok()) {
        printLine("PresetPatch::FEHLER: Die Daten konnten nicht gespeichert werden. (" +
                  plat::shownMessage(written.error().description) + ")");
        return written.error();
    }
    return {};
}

plat::Result<void> PresetPatch::loadFromFile(const std::filesystem::path& path) {
    // The line is the error's text too, the path in it escaped only where it is printed.
    const auto refused = [&](long code, const std::string& what) {
        printLine("AUPresetFile::ERROR: The path " + plat::shownText(path.string()) + " " + what);
        return plat::Error{plat::kCocoaErrorDomain, code,
                           "AUPresetFile::ERROR: The path " + plat::cutInMiddle(path.string()) + " " + what};
    };
    const auto unreadable = [&](int error) {
        return refused(kFileReadUnknown, std::string("could not be read: ") + std::strerror(error) + ".");
    };
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found)
        return refused(kNoSuchFile, "does not exist.");
    if (ec) return unreadable(ec.value()); // a loop of links, a folder that cannot be searched
    if (!std::filesystem::is_regular_file(status)) return refused(kFileReadUnknown, "is not a file.");
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    int error = fd < 0 ? errno : 0;
    std::vector<std::uint8_t> bytes;
    if (fd >= 0) {
        // One byte past the limit tells a file that is too large.
        bytes.resize(kMaxFileBytes + 1);
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) error = errno;
            if (n <= 0) break;
            done += std::size_t(n);
        }
        ::close(fd);
        bytes.resize(done);
    }
    if (error != 0) return unreadable(error);
    return fromData(bytes);
}
