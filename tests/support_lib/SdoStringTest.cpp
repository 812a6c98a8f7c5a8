// The data and string classes: formatting, operators at their edges, editing, and files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "CommaLocale.h"
#include "SDO.h"
#include "ScratchFolder.h"

using SDO::CData;
using SDO::CString;
using SDO::CStringList;

namespace fs = std::filesystem;

namespace {
std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
} // namespace

TEST(CData, HexAndXMLFormsOfSomeAndOfNoBytes) {
    // Each formatter, what it makes of "abc" and of no bytes at all.
    const std::tuple<const char* (CData::*)(), const char*, const char*> forms[] = {
        {&CData::Hex2, "616263", "00"},
        {&CData::Hex3, "61 62 63", "00"},
        {&CData::Hex4, "#61 #62 #63", "#00"},
        {&CData::Hex5, "0x61 0x62 0x63", "0x00"},
        {&CData::ColorRGB, "#616263", "#000000"}};
    for (const auto& [form, some, none] : forms) {
        CString abc("abc");
        CData nothing;
        EXPECT_STREQ((abc.*form)(), some);
        EXPECT_STREQ((nothing.*form)(), none);
    }
    EXPECT_STREQ(CData().String(), "0x00");
    EXPECT_STREQ(CString("ab\xff").Hex2(), "6162FF");
    EXPECT_STREQ(CString("ab").ColorRGB(), "#6162");
    EXPECT_STREQ(CData().XML(2), "<CData>\n\tundefined</CData>");
    EXPECT_STREQ(CString("ab").XML(1), "\t<CString encoding='UTF8'>\n\t\tab\n\t</CString>\n");
    EXPECT_STREQ(CString("ab").CData::XML(0), "<CData encoding='HEX5'>\n\t0x61 0x62\n</CData>\n");
    EXPECT_EQ(CData::Padding(3), 4u); // room for a terminator, in whole words
    EXPECT_EQ(CData::Padding(4), 8u);
    EXPECT_EQ(CData::Padding(-3), 0u);
}

// When the last object goes the shared results are released; a later object must start afresh
// rather than release them a second time.
TEST(CData, SharedResultsOutliveTheLastObjectSafely) {
    const int live = CData::count;
    CData::count = 0; // as if no other object were alive
    {
        CString a("ab");
        EXPECT_STREQ(a.Hex2(), "6162");
        EXPECT_NE(a.Unicode(), nullptr);
    }
    CString b("cd");
    EXPECT_STREQ(b.Hex2(), "6364");
    EXPECT_NE(b.Unicode(), nullptr);
    EXPECT_STREQ(b.XML(0), "<CString encoding='UTF8'>\n\tcd\n</CString>\n");
    CData::count = live + 1; // `b` is still alive
}

TEST(CString, TheEmptyStringShowsTheMarkerButComparesAsEmptyText) {
    CString e;
    EXPECT_STREQ(e.c_str(), "(null*)");
    EXPECT_FALSE(e == "(null*)" || e == CString("(null*)"));
    EXPECT_TRUE(e == "" && e == CString() && e < CString("a"));
    EXPECT_TRUE(CString("b") > CString("a") && CString("a") <= CString("a") && CString("a") != "b");
}

TEST(CString, OperatorsBuildTheWholeTextEvenFromThemselves) {
    CString a("a"), b("b"), r;
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[&] { r = a + b + a; }, "aba"},
        {[&] { r = a + "x" + 7 + 0.5; }, "ax70.500000"},
        {[&] { r = (a + b) * 3; }, "ababab"},
        {[&] { r = (r + "zz") - 2; }, "ababab"},
        {[&] { r = (a + b + a) - "a"; }, "b"},
        {[&] { r = r; }, "b"},
        {[&] { r = r.c_str(); }, "b"},
        {[&] { r += r; }, "bb"},
        {[&] { r += r.c_str(); }, "bbbb"},
        {[&] { r = -42, r += 'x'; }, "-42x"},
        {[&] { r = 2.25, r += 3; }, "2.2500003"},
        {[&] { r -= 1; }, "2.250000"},
        {[&] { r -= 0; }, "2.250000"},
        {[&] { r -= 50; }, "(null*)"},
        {[&] { r = CString("abc") - 1; }, "ab"},
        {[&] { r = CString("abc") - 3; }, "(null*)"},
        {[&] { r = CString("abcdefgh") * 0x7FFFFFFF; }, "(null*)"}, // a length that cannot be held
        {[&] { r = CString("abcdefgh") * -5; }, "abcdefgh"},
        {[&] { r = static_cast<const char*>(nullptr); }, "(null*)"},
        {[&] { r = "xx", r -= "x"; }, "(null*)"},
    };
    for (const auto& [apply, text] : cases) {
        apply();
        EXPECT_STREQ(r.c_str(), text);
    }
    char buffer[] = "six";
    EXPECT_EQ(r = "four", 4);
    EXPECT_EQ(r = buffer, 0);
}

TEST(CString, IndexingOutsideTheTextHitsAScratchByte) {
    CString s("abc");
    EXPECT_EQ(s[1], 'b');
    s[-1] = 'x';
    s[3] = 'y';
    EXPECT_EQ(s[100], 0);
    EXPECT_STREQ(s.c_str(), "abc");
    EXPECT_EQ(s.At(-1), 0);
    EXPECT_EQ(s.Last(), 'c');
    EXPECT_EQ(CString().Last(), 0);
}

TEST(CString, FindReplaceInsertAndSubStrAtTheirEdges) {
    CString s("abcabc");
    const std::pair<int, int> finds[] = {{s.Find("b", -4), 1},       {s.Find("b", 2), 4},
                                         {s.Find("b", 5), -1},       {s.Find("b", 6), -1},
                                         {s.Find("", 0), -1},        {s.Find(nullptr, 0), -1},
                                         {s.Find("abcabcx", 0), -1}, {CString().Find("a", 0), -1}};
    for (const auto& [found, expected] : finds) EXPECT_EQ(found, expected);

    struct Replace {
        const char *text, *what, *with;
        int from;
        bool all, done;
        const char* result;
    };
    const Replace replaces[] = {
        {"aXa", "a", "xy", 0, true, true, "xyXxy"},     {"aaa", "a", "b", 1, false, true, "aba"},
        {"aa", "a", "aa", 0, true, true, "aaaa"},       {"abab", "ab", nullptr, 0, true, true, "(null*)"},
        {"abc", "b", "b", 0, true, false, "abc"},       {"abc", nullptr, "x", 0, true, false, "abc"},
        {"abc", "z", "x", 0, true, false, "abc"},       {"abc", "a", "x", 1, true, false, "abc"},
        {nullptr, "a", "x", 0, true, false, "(null*)"},
    };
    for (const auto& r : replaces) {
        CString t(r.text);
        EXPECT_EQ(t.Replace(r.what, r.with, r.from, r.all), r.done) << r.result;
        EXPECT_STREQ(t.c_str(), r.result);
    }

    CString ins("ac");
    ins.Insert(1, "b");
    ins.Insert(3, "d");
    ins.Insert(-1, "d");
    ins.Insert(0, "");
    EXPECT_STREQ(ins.c_str(), "abc");

    CString h("hello");
    EXPECT_STREQ(h.SubStr(1, 3), "ell");
    EXPECT_STREQ(h.SubStr(3, 100), "lo");
    EXPECT_STREQ(h.SubStr(0, 0x7FFFFFFF), "hello");
    for (const auto& [from, count] : {std::pair{-1, 2}, {5, 1}, {0, 0}, {0, -3}})
        EXPECT_EQ(h.SubStr(from, count), nullptr);
    EXPECT_EQ(CString().SubStr(0, 1), nullptr);
}

TEST(CString, TrimSplitAndCase) {
    CString s(" \t\r\nx"), blanks("   "), both("\n a b \t");
    s.TrimLeft();
    blanks.Trim();
    both.Trim();
    EXPECT_STREQ(s.c_str(), "x");
    EXPECT_TRUE(blanks.Empty());
    EXPECT_STREQ(both.c_str(), "a b");

    CStringList list;
    EXPECT_EQ(CString("a,,b,").Split(",", &list, 0, 0), 2); // empty pieces skipped
    EXPECT_STREQ(list[1].c_str(), "b");
    CString three("one::two::three");
    EXPECT_EQ(three.Split("::", &list, 2, 0), 2);
    EXPECT_EQ(three.Split("::", &list, 0, 0), 3);
    EXPECT_STREQ(list[2].c_str(), "three");
    EXPECT_EQ(three.Split(nullptr, &list, 0, 0), -1);
    EXPECT_EQ(three.Split(",", nullptr, 0, 0), -1);
    EXPECT_EQ(CString().Split(",", &list, 0, 0), -1);
    EXPECT_EQ(CString("abc").Split(",", &list, 0, 0), 1);

    CString c("aB1\xe9z");
    c.Uppercase();
    EXPECT_STREQ(c.c_str(), "AB1\xe9Z");
    c.Lowercase();
    EXPECT_STREQ(c.c_str(), "ab1\xe9z");
    c = "aBc";
    c.Revertcase();
    EXPECT_STREQ(c.c_str(), "AbC");
}

TEST(CString, NumbersUnicodeAndCharacterClasses) {
    EXPECT_EQ(CString("  42xyz").Integer(), 42);
    EXPECT_EQ(CString("99999999999").Integer(), 2147483647);
    EXPECT_EQ(CString("0x1A").HexToInt(), 26);
    EXPECT_EQ(CString("ff").HexToInt(), 255);
    EXPECT_DOUBLE_EQ(CString("-1e3").Double(), -1000.0);
    EXPECT_FLOAT_EQ(CString("2.5").Float(), 2.5f);
    EXPECT_EQ(CString().Integer() + CString("abc").Integer(), 0);
    EXPECT_EQ(CString().Double(), 0.0);
    const char32_t* w = CString("A\xe9\xff").Unicode();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(std::u32string(w), (std::u32string{U'A', 0xE9, 0xFF})); // bytes widened as unsigned values
    EXPECT_EQ(CString().Unicode(), nullptr);
    CString e("ab");
    e.Encode();
    EXPECT_STREQ(e.c_str(), "6162");
    EXPECT_TRUE(CString("plain").IsASCII() && !CString("caf\xc3\xa9").IsASCII());
    EXPECT_TRUE(CString("abc1").IsKeyword() && CString().IsKeyword());
    EXPECT_FALSE(CString("1abc").IsKeyword() || CString("a_b").IsKeyword());
    EXPECT_TRUE(CString("x").ToBool() && !CString().ToBool());
    testing::internal::CaptureStdout();
    EXPECT_EQ(CString("ab") >> 3, 0);
    CString() >> 2;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ababab");
}

TEST(CStringFile, SaveAndLoadKeepRawBytesAndReplaceAtomically) {
    ScratchFolder dir;
    const std::string path = (dir.path() / "data.bin").string();
    std::ofstream(path) << "a much longer old content";
    CString s("line\r\n");
    s += '\0';
    s += "\xff";
    EXPECT_EQ(s >> path.c_str(), 0);
    EXPECT_EQ(readFile(path), std::string("line\r\n\0\xff", 8));
    CString back;
    EXPECT_EQ(back << path.c_str(), 8);
    EXPECT_STREQ(back.Hex2(), "6C696E650D0A00FF");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    std::ofstream{dir.path() / "empty"};
    EXPECT_EQ(back << (dir.path() / "empty").c_str(), 0);
    EXPECT_TRUE(back.Empty());
}

// Every failed load or save prints its line, leaves the string empty (on load) and no file behind.
TEST(CStringFile, FailedLoadsAndSavesAreReported) {
    ScratchFolder dir;
    fs::create_directory(dir.path() / "target");
    const std::string folder = (dir.path() / "target").string();
    const std::pair<std::function<int()>, std::string> cases[] = {
        {[] { return CString("keep?") << "/nonexistent/sdo/file"; },
         "\nERROR: File '/nonexistent/sdo/file' could not be opened for loading."},
        {[] { return CString("x") << static_cast<const char*>(nullptr); }, ""},
        {[&] { return CString("x") << folder.c_str(); }, "\nERROR: While reading file."},
        {[] { return CString("x") >> "/nonexistent/sdo/out.txt" == -1 ? 0 : 1; },
         "\nERROR: File '/nonexistent/sdo/out.txt' could not be opened for saving."},
        {[&] { return CString() >> (dir.path() / "never").c_str() == -1 ? 0 : 1; },
         "\nError: String object is empty."},
        {[&] { return CString("x") >> folder.c_str() == -1 ? 0 : 1; }, "\nERROR: While writing file."},
    };
    for (const auto& [run, line] : cases) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(run(), 0) << line;
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(printed.substr(0, line.size()), line);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    CString missing("old"), unreadable("old");
    testing::internal::CaptureStdout();
    missing << "/nonexistent/sdo/file";
    unreadable << folder.c_str();
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(missing.Empty() && unreadable.Empty());
}

// Kernel attribute files announce a size of a whole page but hold a few bytes.
TEST(CStringFile, AShortReadIsAFailureNotAPaddedText) {
    const char* path = "/sys/devices/system/cpu/online";
    std::ifstream probe(path, std::ios::binary | std::ios::ate);
    const std::streamoff announced = probe ? static_cast<std::streamoff>(probe.tellg()) : 0;
    probe.close();
    if (announced <= static_cast<std::streamoff>(readFile(path).size()))
        GTEST_SKIP() << "no file here whose read falls short of its size";
    CString s("old");
    testing::internal::CaptureStdout();
    EXPECT_EQ(s << path, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nERROR: While reading file.");
    EXPECT_TRUE(s.Empty());
}

// Numbers are written and read with a decimal point even when the process uses a comma.
TEST(CStringLocale, NumbersIgnoreTheProcessLocale) {
    const CommaLocale comma;
    if (!comma.active()) GTEST_SKIP() << "no comma-decimal locale can be made here";
    CString s;
    s = 1.5;
    const std::string written = s.c_str();
    s = "2.75";
    const double read = s.Double();
    CString t("x");
    t += 0.25;
    const std::string appended = t.c_str();
    EXPECT_EQ(written, "1.500000");
    EXPECT_DOUBLE_EQ(read, 2.75);
    EXPECT_EQ(appended, "x0.250000");
}
