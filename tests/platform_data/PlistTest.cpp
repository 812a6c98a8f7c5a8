#include "plat/plist.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using plat::plist::Array;
using plat::plist::Data;
using plat::plist::Date;
using plat::plist::Dictionary;
using plat::plist::Value;

namespace {

Value sample() {
    return Value(Dictionary{
        {"zeta", true},
        {"alpha", -1234567890123LL},
        {"mid", 0.5},
        {"name", "Grüße <&>"},
        {"blob", Data{0, 1, 2, 255}},
        {"when", Date{1700000000}}, // XML dates carry whole seconds
        {"list", Array{1, "two", Array{}, Dictionary{}}},
    });
}

// A binary property list of the given value, through libplist itself.
Data toBinary(const std::string& xml) {
    plist_t node = nullptr;
    plist_from_xml(xml.data(), uint32_t(xml.size()), &node);
    char* bin = nullptr;
    uint32_t len = 0;
    plist_to_bin(node, &bin, &len);
    Data out(bin, bin + len);
    plist_to_bin_free(bin);
    plist_free(node);
    return out;
}

std::string nestedArrays(int depth) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\">";
    for (int i = 0; i < depth; ++i) xml += "<array>";
    xml += "<integer>1</integer>";
    for (int i = 0; i < depth; ++i) xml += "</array>";
    return xml + "</plist>";
}

} // namespace

TEST(Plist, XMLRoundTripKeepsTypesValuesAndKeyOrder) {
    const Value original = sample();
    const auto parsed = plat::plist::parse(plat::plist::toXML(original));
    ASSERT_TRUE(parsed.ok()) << parsed.error().description;
    EXPECT_EQ(*parsed, original);
    EXPECT_EQ(parsed->asDictionary()->keys(),
              (std::vector<std::string>{"zeta", "alpha", "mid", "name", "blob", "when", "list"}));
}

TEST(Plist, BinaryInputParsesToTheSameValue) {
    const Data bin = toBinary(plat::plist::toXML(sample()));
    ASSERT_GT(bin.size(), 8u);
    const auto parsed = plat::plist::parse(std::span<const std::uint8_t>(bin));
    ASSERT_TRUE(parsed.ok()) << parsed.error().description;
    EXPECT_EQ(*parsed->asDictionary()->find("alpha")->asInteger(), -1234567890123LL);
    EXPECT_EQ(*parsed->asDictionary()->find("name")->asString(), "Grüße <&>");
    EXPECT_EQ(*parsed->asDictionary()->find("blob")->asData(), (Data{0, 1, 2, 255}));
}

TEST(Plist, ALargeDictionaryIsBuiltInLinearTimeAndKeepsItsKeysInOrder) {
    // 200,000 keys: hashed, a fraction of a second even under the sanitizers; searched for key by
    // key, close to a minute.
    const auto start = std::chrono::steady_clock::now();
    Dictionary big;
    for (int i = 0; i < 200000; ++i) big.set(std::string("k").append(std::to_string(i)), i);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));

    std::string xml = "<plist><dict>";
    for (int i = 0; i < 20000; ++i) {
        const std::string n = std::to_string(i);
        xml.append("<key>k").append(n).append("</key><integer>").append(n).append("</integer>");
    }
    xml += "</dict></plist>";
    auto parsed = plat::plist::parse(xml);
    ASSERT_TRUE(parsed.ok());
    Dictionary d = *parsed.value().asDictionary();
    ASSERT_EQ(d.size(), 20000u);
    EXPECT_EQ(d.keys()[19999], "k19999");
    d.set("k5", "five"); // keeps its place
    EXPECT_TRUE(d.erase("k3"));
    EXPECT_FALSE(d.contains("k3"));
    EXPECT_EQ(d.keys()[4], "k5");
    EXPECT_EQ(*d.find("k5")->asString(), "five");
    EXPECT_EQ(d.find("k19999")->asInteger(), 19999);
}

TEST(Plist, TypedAccessorsAnswerOnlyForTheirOwnType) {
    const Value b(true), i(3), r(2.5), s("x");
    EXPECT_FALSE(b.asInteger().has_value());
    EXPECT_FALSE(i.asBool().has_value());
    EXPECT_FALSE(i.asReal().has_value());
    EXPECT_EQ(i.asNumber(), 3.0);
    EXPECT_EQ(r.asNumber(), 2.5);
    EXPECT_FALSE(b.asNumber().has_value());
    EXPECT_EQ(s.asDictionary(), nullptr);
    EXPECT_EQ(i.asString(), nullptr);
    EXPECT_FALSE(s.asDate().has_value());
}

TEST(Plist, MalformedEmptyAndOversizedInputIsRefused) {
    EXPECT_FALSE(plat::plist::parse(std::string_view("")).ok());
    EXPECT_FALSE(plat::plist::parse(std::string_view("<plist><dict><key>a</key>")).ok());
    EXPECT_FALSE(plat::plist::parse(std::string_view("bplist00 garbage that is not binary")).ok());
    const std::string xml = plat::plist::toXML(sample());
    const auto tooBig = plat::plist::parse(xml, plat::plist::Limits{xml.size() - 1, 64});
    ASSERT_FALSE(tooBig.ok());
    EXPECT_EQ(tooBig.error().domain, plat::kCocoaErrorDomain);
}

TEST(Plist, TextWithANulCharacter) {
    // XML admits no NUL; a binary list may carry one inside a string, and reading it must not
    // abort (the parser library asserts in its copying getter).
    const std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\"><string>a" + std::string(1, '\0') +
                            "b</string></plist>";
    EXPECT_FALSE(plat::plist::parse(std::string_view(xml)).ok());
    const std::vector<std::uint8_t> binary = {
        0x62, 0x70, 0x6c, 0x69, 0x73, 0x74, 0x30, 0x30, 0xd1, 0x01, 0x02, 0x51, 0x6b,
        0x53, 0x61, 0x00, 0x62, 0x08, 0x0b, 0x0d, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x11};
    const auto parsed = plat::plist::parse(std::span<const std::uint8_t>(binary));
    ASSERT_TRUE(parsed.ok());
    const auto* text = parsed.value().asDictionary()->find("k")->asString();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->substr(0, 1), "a");
}

TEST(Plist, NestingBeyondTheDepthLimitIsRefused) {
    EXPECT_TRUE(plat::plist::parse(nestedArrays(10), plat::plist::Limits{1 << 20, 16}).ok());
    EXPECT_FALSE(plat::plist::parse(nestedArrays(17), plat::plist::Limits{1 << 20, 16}).ok());
    EXPECT_FALSE(plat::plist::parse(nestedArrays(100000)).ok());
    const Data deepBinary = toBinary(nestedArrays(40));
    EXPECT_TRUE(plat::plist::parse(std::span<const std::uint8_t>(deepBinary)).ok());
    EXPECT_FALSE(
        plat::plist::parse(std::span<const std::uint8_t>(deepBinary), plat::plist::Limits{1 << 20, 16}).ok());
}

TEST(Plist, BinaryWithAReferenceCycleIsRefused) {
    Data bin = toBinary(nestedArrays(2)); // outer array -> inner array -> integer
    // Point the inner array's only reference back at the outer array.
    const std::uint8_t* trailer = bin.data() + bin.size() - 32;
    const unsigned offsetSize = trailer[6];
    std::uint64_t top = 0, table = 0;
    for (int i = 0; i < 8; ++i) {
        top = (top << 8) | trailer[16 + i];
        table = (table << 8) | trailer[24 + i];
    }
    auto offsetOf = [&](std::uint64_t index) {
        std::uint64_t v = 0;
        for (unsigned i = 0; i < offsetSize; ++i) v = (v << 8) | bin[table + index * offsetSize + i];
        return v;
    };
    const std::uint64_t outer = offsetOf(top);
    const std::uint8_t innerIndex = bin[outer + 1];
    bin[offsetOf(innerIndex) + 1] = std::uint8_t(top);
    EXPECT_FALSE(plat::plist::parse(std::span<const std::uint8_t>(bin)).ok());
}

TEST(Plist, FilesAreWrittenAtomicallyAndReadBack) {
    const fs::path dir = fs::temp_directory_path() / ("plist-test-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path file = dir / "state.plist";
    ASSERT_TRUE(plat::plist::writeFile(file, Value(Dictionary{{"v", 1}})).ok());
    ASSERT_TRUE(plat::plist::writeFile(file, sample()).ok());
    const auto back = plat::plist::readFile(file);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(*back, sample());
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++entries;
    EXPECT_EQ(entries, 1u); // no temporary file left behind

    const auto failed = plat::plist::writeFile(dir / "missing-folder" / "x.plist", sample());
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().domain, plat::kPOSIXErrorDomain);
    EXPECT_FALSE(plat::plist::readFile(dir / "nothing.plist").ok());
    fs::remove_all(dir);
}
