#pragma once
// The preset document: a property-list dictionary of parameter values, group by group. The same
// document is the unit's full state and the content of a preset file.
//
// Reading is checked in full before anything is kept. A document that is not shaped like a preset
// (wrong types, codes out of range, text holding a NUL, too big) is refused whole, and the patch
// stays as it was. A parameter entry without an address or a value, or with a value that is not
// finite, is only skipped: the rest of the document still applies. The first few problems or
// skipped entries are printed one a line, then one line says how many more there were.
//
// A save that would not load again (larger than a preset file may be) is refused before anything
// is written.

#include "plat/audio.h"
#include "plat/error.h"
#include "plat/plist.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

class PresetGroup;

// What reading a document found wrong: problems refuse the document, skipped entries do not.
struct PresetReadLog {
    std::vector<std::string> problems;
    std::vector<std::string> skipped;
};

class PresetParam {
public:
    const PresetGroup* group = nullptr; // set when read from a document
    plat::AUParameterAddress address = 0;
    std::string identifier = "parameter";
    plat::AUValue value = 0;

    plat::plist::Dictionary toDictionary() const;
    // False when the entry cannot be used; the log says why.
    bool fromDictionary(const plat::plist::Dictionary& dict, const std::string& where, PresetReadLog& log);
};

class PresetGroup {
public:
    long id = 0;
    long count = 0;
    std::string identifier = "group";
    std::vector<PresetParam> params;

    PresetGroup() = default;
    // Parameters point back at their group: it stays where it was made.
    PresetGroup(const PresetGroup&) = delete;
    PresetGroup& operator=(const PresetGroup&) = delete;

    plat::plist::Dictionary toDictionary() const;
    void fromDictionary(const plat::plist::Dictionary& dict, const std::string& where, PresetReadLog& log);
    void findGroupNumber();
};

class PresetPatch {
public:
    // Beyond these a document is not a preset of ours.
    static constexpr std::size_t kMaxFileBytes = 1 << 20;
    // What its values may take once read (a binary document may refer to one value many times).
    static constexpr std::size_t kMaxExpandedBytes = 4 << 20;
    static constexpr std::size_t kMaxParameters = 4096;

    long version = 1;
    std::uint32_t type = 0x61756d66;        // 'aumf'
    std::int64_t manufacturer = 0x4b574f42; // 'KWOB'
    std::int64_t subtype = 0x79755356;      // 'yuSV'
    long number = 0;
    std::string name = "YUX Sorvane Preset";
    std::vector<std::uint8_t> data;
    std::vector<std::unique_ptr<PresetGroup>> groups;

    plat::plist::Dictionary toDictionary() const;
    // Replaces the patch with the document, or leaves it untouched and says why.
    plat::Result<void> fromDictionary(const plat::plist::Dictionary& dict);
    // As fromDictionary, for any property-list value (the top level must be a dictionary).
    plat::Result<void> fromValue(const plat::plist::Value& value);
    // XML or binary property-list bytes.
    plat::Result<void> fromData(std::span<const std::uint8_t> bytes);

    plat::Result<void> saveToFile(const std::filesystem::path& path) const;
    plat::Result<void> loadFromFile(const std::filesystem::path& path);
};
