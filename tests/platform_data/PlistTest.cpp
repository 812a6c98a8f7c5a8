#include "plat/plist.h"

#include "PlistDocuments.h"
#include "ScratchFolder.h"

#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/stat.h>

#include <cmath>
#include <optional>
#include <variant>

namespace fs = std::filesystem;
using plat::plist::Array;
using plat::plist::Data;
using plat::plist::Date;
using plat::plist::Dictionary;
using plat::plist::Limits;
using plat::plist::Value;

namespace {

Value sample() {
    return Value(Dictionary{
        {"zeta", true},
        {"alpha", Array{-1234567890123LL, INT64_MIN, INT64_MAX}},
        {"mid", 0.5},
        {"name", "Grüße <&> 🎛"},
        {"blob", Data{0, 1, 2, 255}},
        {"when", Date{1700000000}}, // XML dates carry whole seconds
        {"list", Array{1, "two", Array{}, Dictionary{}}},
    });
}

// The same value as libplist, a writer that is not ours, writes it in binary.
std::string libplistBinary(const std::string& xml) {
    plist_t node = nullptr;
    plist_from_xml(xml.data(), uint32_t(xml.size()), &node);
    char* bin = nullptr;
    uint32_t len = 0;
    plist_to_bin(node, &bin, &len);
    std::string out(bin, len);
    plist_to_bin_free(bin);
    plist_free(node);
    return out;
}

std::string binary(auto make) {
    BinaryPlist plist;
    return plist.document(make(plist));
}

} // namespace

TEST(Plist, XMLAndBinaryReadBackWhatWasWritten) {
    const std::string xml = plat::plist::toXML(sample());
    for (const std::string& document : {xml, libplistBinary(xml)}) {
        const auto read = plat::plist::parse(document);
        ASSERT_TRUE(read.ok()) << read.error().description;
        EXPECT_EQ(*read, sample());
        EXPECT_EQ(read->asDictionary()->keys(),
                  (std::vector<std::string>{"zeta", "alpha", "mid", "name", "blob", "when", "list"}));
    }
    // What an XML reader would change on the way back: line ends, padding of data, edge reals.
    const Value edges(Array{"cr\r crlf\r\n tab\t ]]>", Data{}, Data{1}, Data{1, 2}, Data{1, 2, 3}, 5e-324,
                            -0.0, 1e300, INFINITY, -INFINITY, Date{-62135596800.0}, Date{253402300799.0}});
    const auto back = plat::plist::parse(plat::plist::toXML(edges));
    ASSERT_TRUE(back.ok()) << back.error().description;
    EXPECT_EQ(*back, edges);
    EXPECT_TRUE(std::signbit(*back->asArray()->at(6).asReal()));
}

// A failing comparison shows each value as its type and content, nested, inside containers too.
TEST(Plist, AFailingComparisonShowsEachValuesTypeAndContent) {
    using ::testing::PrintToString;
    const struct {
        const char* fault;
        std::string printed, wanted;
    } rows[] = {
        {"a boolean shown as the integer it equals", PrintToString(Value(true)), "boolean true"},
        {"an integer shown as a real", PrintToString(Value(7)), "integer 7"},
        {"a real rounded", PrintToString(Value(0.1 + 0.2)), "real 0.30000000000000004"},
        {"a string unquoted or unescaped", PrintToString(Value("a\"\nü")), R"(string "a\x22\x0aü")"},
        {"data without its bytes", PrintToString(Value(Data{0, 1, 255})), "data of 3 bytes <00 01 ff>"},
        {"a date without its seconds", PrintToString(Value(Date{1.5})), "date 1.5 s after 1970"},
        {"nesting flattened", PrintToString(Value(Dictionary{{"k", Array{1, Dictionary{}}}})),
         R"(dictionary {"k": array [integer 1, dictionary {}]})"},
        {"raw bytes inside an optional", PrintToString(std::optional<Value>(2.5)), "(real 2.5)"},
    };
    for (const auto& row : rows) EXPECT_EQ(row.printed, row.wanted) << row.fault;
}

// Every document is read in full or refused with what is wrong with it, within what the limits
// allow: nothing cut, nothing read by its prefix, nothing built beyond the budget.
TEST(Plist, EachDocumentIsReadAsItSaysOrRefusedWithWhatIsWrong) {
    const auto xml = [](std::string inner) { return "<plist version=\"1.0\">" + inner + "</plist>"; };
    const auto ascii = [](std::string text) { return binary([&](BinaryPlist& p) { return p.ascii(text); }); };
    BinaryPlist cyclic, deep;
    cyclic.array({1});
    cyclic.array({0});
    std::size_t inner = deep.integer(1);
    for (int i = 0; i < 16; ++i) inner = deep.array({inner});
    const Limits small{1 << 20, 16, 1 << 20};
    const struct {
        const char* fault;
        std::string document;
        std::variant<Value, const char*> expected; // the value read, or what the refusal says
        Limits limits = {};
    } cases[] = {
        {"a size limit ignored", xml("<true/>"), "larger than 20 bytes", {20, 64}},
        {"a comment's closing tags counted", nestedXML(17), "nested deeper than 16 levels", small},
        {"the app's Info.plist nested 200,000 deep", nestedXML(200000), "nested deeper than 64 levels"},
        {"comments, CDATA and instructions taken for markup",
         nestedXML(1, "<string>a<!-- <dict> --><![CDATA[<b>]]><?pi x?></string>"), Value(Array{"a<b>"})},
        {"binary nesting ignored", deep.document(inner), "nested deeper than 16 levels", small},
        {"a binary cycle followed", cyclic.document(0), "a value that contains itself"},
        {"shared references copied", expansionBomb(3, 1000), "would take more than 1048576 bytes once read",
         small},
        {"a real read by its prefix", xml("<real>0,75</real>"), "a malformed <real>: \u201c0,75\u201d"},
        {"a real too small for a double called malformed",
         xml("<array><real>1e-400</real><real>-1e-400</real></array>"), Value(Array{0.0, -0.0})},
        {"a real too large for a double read as infinite", xml("<real>1e400</real>"),
         "the real \u201c1e400\u201d, beyond the range of a double"},
        {"a UTF-16 document refused for its zero bytes",
         utf16Document("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + xml("<string>Grüße</string>"), false),
         Value("Grüße")},
        {"a big-endian UTF-16 document refused",
         utf16Document("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + xml("<string>Grüße</string>"), true),
         Value("Grüße")},
        {"a UTF-16 document without its mark refused", utf16Document(xml("<true/>"), false, false),
         Value(true)},
        {"a NUL in UTF-16 text kept",
         utf16Document(xml("<string>a" + std::string(1, '\0') + "b</string>"), false),
         "holds a NUL character"},
        {"an empty real read as zero", xml("<real></real>"), "a malformed <real>: \u201c\u201d"},
        {"a hexadecimal real read", xml("<real>0x1p3zz</real>"), "a malformed <real>"},
        {"an integer read by its prefix", xml("<integer>1000abc</integer>"), "a malformed <integer>"},
        {"a real read as an integer", xml("<integer>1.9</integer>"),
         "a malformed <integer>: \u201c1.9\u201d"},
        {"numbers refused for their spaces and comments",
         xml("<array><integer> -12 </integer><real>+2.5e1<!-- x --></real></array>"),
         Value(Array{-12, 25.0})},
        {"an unsigned integer read as -1", xml("<integer>18446744073709551615</integer>"),
         "the integer \u201c18446744073709551615\u201d, beyond the signed 64-bit range"},
        {"a binary unsigned integer read as -1",
         binary([](BinaryPlist& p) { return p.integer(UINT64_MAX, 0); }),
         "the integer 18446744073709551615, beyond the signed 64-bit range"},
        {"a binary NUL cut", ascii(std::string("abc\0def", 7)), "holds a NUL character"},
        {"an unpaired surrogate converted", binary([](BinaryPlist& p) { return p.utf16(u"a\xD800"); }),
         "an unpaired surrogate"},
        {"bytes that are not UTF-8 kept", ascii("caf\xE9"), "not UTF-8"},
        {"a control character no XML can hold kept", ascii("a\x01"),
         "the control character \u201c\x01\u201d"},
        {"entities expanded", "<!DOCTYPE p [<!ENTITY a \"aa\">]><plist><string>&a;</string></plist>",
         "an entity reference"},
        {"a value of an unknown kind kept", xml("<array><uid>1</uid></array>"),
         "a kind we do not keep, \u201cuid\u201d"},
        {"text between values ignored", xml("<array>stray<true/></array>"), "text outside a value"},
        {"the reader's own message breaking the line", xml("<string>caf\xE9</string>"),
         "indicate encoding !\nBytes: 0xE9"},
    };
    for (const auto& c : cases) {
        const auto read = plat::plist::parse(c.document, c.limits);
        if (const auto* value = std::get_if<Value>(&c.expected)) {
            ASSERT_TRUE(read.ok()) << c.fault << ": " << read.error().description;
            EXPECT_EQ(*read, *value) << c.fault;
        } else {
            ASSERT_FALSE(read.ok()) << c.fault;
            EXPECT_NE(read.error().description.find(std::get<const char*>(c.expected)), std::string::npos)
                << c.fault << ": " << read.error().description;
        }
    }
}

// In UTF-16 and UTF-32 a character's code unit may hold zero bytes (U+4E00 and U+1F600 do, beside
// the zero bytes of every ASCII character): only a unit that is zero in full is a NUL.
TEST(Plist, WideDocumentsReadEveryCharacterAndRefuseOnlyARealNul) {
    const std::string text = "a\u4E00a\U0001F600\u0100", nul = std::string("a", 1) + '\0' + "b";
    const auto document = [](const std::string& inner, const char* declared) {
        return "<?xml version=\"1.0\" encoding=\"" + std::string(declared) +
               "\"?><plist version=\"1.0\"><string>" + inner + "</string></plist>";
    };
    const struct {
        const char* fault;
        int unitBytes;
        bool bigEndian, mark;
        std::string inner;
        bool read; // or refused as holding a NUL
    } cases[] = {
        {"UTF-16LE zero bytes paired across units", 2, false, true, text, true},
        {"UTF-16LE without its mark paired across units", 2, false, false, text, true},
        {"UTF-16BE zero bytes paired across units", 2, true, true, text, true},
        {"UTF-16BE without its mark paired across units", 2, true, false, text, true},
        {"UTF-32LE taken for UTF-16", 4, false, true, text, true},
        {"UTF-32LE without its mark taken for UTF-16", 4, false, false, text, true},
        {"UTF-32BE read by halves", 4, true, true, text, true},
        {"UTF-32BE without its mark read as UTF-8", 4, true, false, text, true},
        {"a NUL in UTF-16 let through", 2, true, false, nul, false},
        {"a NUL in UTF-32 let through", 4, false, true, nul, false},
    };
    for (const auto& c : cases) {
        const auto read = plat::plist::parse(wideDocument(
            document(c.inner, c.unitBytes == 2 ? "UTF-16" : "UTF-32"), c.unitBytes, c.bigEndian, c.mark));
        if (c.read)
            EXPECT_EQ(read.ok() ? *read : Value(read.error().description), Value(c.inner)) << c.fault;
        else
            EXPECT_EQ(read.ok() ? "read" : read.error().description,
                      "The data is not a valid property list: it holds a NUL character.")
                << c.fault;
    }
    // A unit beyond the code space, or a surrogate, is no character.
    const auto outOfRange = wideDocument(document("a", "UTF-32"), 4, true) + std::string("\0\x11\0\0", 4);
    const auto surrogate = wideDocument(document("a", "UTF-32"), 4, false) + std::string("\0\xD8\0\0", 4);
    for (const auto& bad : {outOfRange, surrogate}) {
        const auto read = plat::plist::parse(bad);
        ASSERT_FALSE(read.ok());
        EXPECT_NE(read.error().description.find("UTF-32"), std::string::npos) << read.error().description;
    }
}

TEST(Plist, FilesAreWrittenAtomicallyAndWhatXMLCannotCarryIsRefused) {
    ScratchFolder dir;
    const fs::path file = dir.path() / "state.plist";
    ASSERT_TRUE(plat::plist::writeFile(file, sample()).ok());
    using namespace std::string_literals;
    const struct {
        const char* fault;
        Value value;
        std::string message;
    } cases[] = {
        {"a string cut at its NUL", Array{std::string("a\0b", 3)},
         "the string \u201ca\0b\u201d holds a NUL character"s},
        {"a key cut at its NUL", Dictionary{{std::string("a\0b", 3), 1}}, "the key \u201ca\0b\u201d holds"s},
        {"a date beyond four-digit years", Array{Date{1e300}}, "a date outside the years 1 to 9999"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(plat::plist::toXML(c.value), "") << c.fault;
        const auto written = plat::plist::writeFile(file, c.value);
        ASSERT_FALSE(written.ok()) << c.fault;
        EXPECT_NE(written.error().description.find(c.message), std::string::npos)
            << written.error().description;
    }
    EXPECT_EQ(*plat::plist::readFile(file), sample());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    EXPECT_EQ(plat::plist::readFile(dir.path() / "nothing.plist").error().code, 260);
    const fs::path pipe = dir.path() / "pipe.plist"; // no writer ever comes: refused, not waited for
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_NE(plat::plist::readFile(pipe).error().description.find("is not a regular file"),
              std::string::npos);
}

// Past a handful of keys a dictionary finds its entries through an index (a settings domain is such
// a dictionary): every removal, first, middle or last, must leave each remaining key finding its own
// value and each removed one gone, also as the dictionary shrinks below the indexed size.
TEST(Plist, DictionariesFindEveryRemainingKeyAfterRemovalsAtEverySize) {
    for (int size : {16, 17, 40}) {
        Dictionary d;
        std::vector<int> present;
        for (int i = 0; i < size; ++i) d.set("key " + std::to_string(i), i), present.push_back(i);
        for (const char* where : {"first", "middle", "last", "first", "middle", "last"}) {
            const std::string_view w = where;
            const std::size_t at = w == "first" ? 0 : w == "middle" ? present.size() / 2 : present.size() - 1;
            const std::string key = "key " + std::to_string(present[at]);
            SCOPED_TRACE(std::to_string(size) + " keys, " + key + " removed as the " + where);
            ASSERT_TRUE(d.erase(key));
            present.erase(present.begin() + std::ptrdiff_t(at));
            EXPECT_FALSE(d.erase(key) || d.contains(key) || d.find(key));
            ASSERT_EQ(d.size(), present.size());
            for (int i : present) {
                const Value* v = d.find("key " + std::to_string(i));
                ASSERT_TRUE(v) << i;
                EXPECT_EQ(v->asInteger(), i);
            }
            d.set(key, -1); // set again: found, and once
            EXPECT_EQ(std::tuple(d.find(key)->asInteger(), d.size()), std::tuple(-1, present.size() + 1));
            d.erase(key);
        }
        std::vector<std::string> expected;
        for (int i : present) expected.push_back("key " + std::to_string(i));
        EXPECT_EQ(d.keys(), expected);
    }
}
