// The data and string classes: formatting, operators at their edges, editing, and files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
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

TEST(CData, HexAndXMLFormsOfSomeAndOfNoBytesAndSharedResultsThatOutliveTheLastObject) {
    // Each formatter, what it makes of "abc" and of no bytes at all.
    const std::tuple<const char* (CData::*)(), const char*, const char*> forms[] = {
        {&CData::Hex2, "616263", "00"},           {&CData::Hex3, "61 62 63", "00"},
        {&CData::Hex4, "#61 #62 #63", "#00"},     {&CData::Hex5, "0x61 0x62 0x63", "0x00"},
        {&CData::ColorRGB, "#616263", "#000000"}, {&CData::String, "abc", "0x00"}};
    for (const auto& [form, some, none] : forms) {
        CString abc("abc");
        CData nothing;
        EXPECT_STREQ((abc.*form)(), some);
        EXPECT_STREQ((nothing.*form)(), none);
    }
    EXPECT_STREQ(CString("ab\xff").Hex2(), "6162FF");
    EXPECT_STREQ(CString("ab").ColorRGB(), "#6162");
    EXPECT_STREQ(CData().XML(2), "<CData>\n\tundefined</CData>");
    EXPECT_STREQ(CString("ab").XML(1), "\t<CString encoding='UTF8'>\n\t\tab\n\t</CString>\n");
    EXPECT_STREQ(CString("ab").CData::XML(0), "<CData encoding='HEX5'>\n\t0x61 0x62\n</CData>\n");
    EXPECT_EQ(std::tuple(CData::Padding(4), CData::Padding(-3)), std::tuple(8u, 0u)); // room for a terminator

    // When the last object goes the shared results are released; a later object starts afresh.
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

TEST(CData, TheLastObjectToGoReleasesEverySharedBuffer) {
    const int live = CData::count;
    CData::count = 0; // as if no other object were alive
    {
        CString a("ab");
        (void)a.Hex2();
        (void)a.Unicode();
        CData::err = static_cast<char*>(std::calloc(16, 1));
    }
    const std::pair<const void*, const char*> shared[] = {
        {CData::temp, "temp"}, {CData::wtemp, "wtemp"}, {CData::err, "err"}};
    for (const auto& [buffer, name] : shared) EXPECT_EQ(buffer, nullptr) << name << " kept";
    CData::count = live;
}

TEST(CString, TheEmptyStringShowsAMarkerOperatorsBuildWholeTextsAndIndexingOutsideHitsAScratchByte) {
    CString e, a("a"), b("b"), r;
    EXPECT_STREQ(e.c_str(), "(null*)");
    EXPECT_FALSE(e == "(null*)" || e == CString("(null*)"));
    EXPECT_TRUE(e == "" && e == CString() && e < CString("a"));
    EXPECT_TRUE(CString("b") > CString("a") && CString("a") <= CString("a") && CString("a") != "b");
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

    CString s("abc");
    s[-1] = 'x';
    s[3] = 'y';
    EXPECT_EQ(std::tuple(s[1], s[100], s.At(-1), s.Last(), CString().Last()), std::tuple('b', 0, 0, 'c', 0));
    EXPECT_STREQ(s.c_str(), "abc");
}

TEST(CString, FindReplaceInsertAndSubStrAtTheirEdges) {
    CString s("abcabc");
    const std::pair<int, int> finds[] = {
        {s.Find("b", -4), 1},       {s.Find("b", 2), 4},      {s.Find("b", 5), -1},
        {s.Find("b", 6), -1},       {s.Find("", 0), -1},      {s.Find(nullptr, 0), -1},
        {s.Find("abcabcx", 0), -1}, {s.Find("abcabc", 0), 0}, {CString().Find("a", 0), -1}};
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
        {nullptr, "a", "x", 0, true, false, "(null*)"}, {"abc", "abc", "x", 0, true, true, "x"},
    };
    for (const auto& r : replaces) {
        CString t(r.text);
        EXPECT_EQ(t.Replace(r.what, r.with, r.from, r.all), r.done) << r.result;
        EXPECT_STREQ(t.c_str(), r.result);
    }

    CString ins("ac");
    for (const auto& [at, text] : {std::pair{1, "b"}, {3, "d"}, {-1, "d"}, {0, ""}}) ins.Insert(at, text);
    EXPECT_STREQ(ins.c_str(), "abc");
    CString h("hello");
    for (const auto& [from, count, part] :
         {std::tuple{1, 3, "ell"}, {3, 100, "lo"}, {0, 0x7FFFFFFF, "hello"}})
        EXPECT_STREQ(h.SubStr(from, count), part);
    for (const auto& [from, count] : {std::pair{-1, 2}, {5, 1}, {0, 0}, {0, -3}})
        EXPECT_EQ(h.SubStr(from, count), nullptr);
    EXPECT_EQ(CString().SubStr(0, 1), nullptr);
}

TEST(CString, TrimSplitCaseNumbersAndCharacterClasses) {
    using Edit = void (CString::*)();
    const std::tuple<const char*, Edit, const char*> edits[] = {
        {" \t\r\nx", &CString::TrimLeft, "x"},         {"   ", &CString::Trim, "(null*)"},
        {"\n a b \t", &CString::Trim, "a b"},          {" ", &CString::TrimRight, "(null*)"},
        {"aB1\xe9z", &CString::Uppercase, "AB1\xe9Z"}, {"aB1\xe9Z", &CString::Lowercase, "ab1\xe9z"},
        {"aBc", &CString::Revertcase, "AbC"},          {"ab", &CString::Encode, "6162"}};
    for (const auto& [text, edit, result] : edits) {
        CString c(text);
        (c.*edit)();
        EXPECT_STREQ(c.c_str(), result) << text;
    }

    CStringList list;
    CString three("one::two::three");
    const std::tuple<CString, const char*, CStringList*, int, int> splits[] = {
        {"a,,b,", ",", &list, 0, 2}, // empty pieces skipped
        {three, "::", &list, 2, 2},   {three, "::", &list, 0, 3},     {three, nullptr, &list, 0, -1},
        {three, ",", nullptr, 0, -1}, {CString(), ",", &list, 0, -1}, {"abc", ",", &list, 0, 1}};
    for (auto [text, separator, into, max, count] : splits)
        EXPECT_EQ(text.Split(separator, into, max, 0), count);
    EXPECT_STREQ(list[0].c_str(), "abc");
    three.Split("::", &list, 0, 0);
    EXPECT_STREQ(list[2].c_str(), "three");

    EXPECT_EQ(std::tuple(CString("  42xyz").Integer(), CString("99999999999").Integer(), CString().Integer(),
                         CString("abc").Integer(), CString("0x1A").HexToInt(), CString("ff").HexToInt()),
              std::tuple(42, 2147483647, 0, 0, 26L, 255L));
    EXPECT_EQ(std::tuple(CString("-1e3").Double(), CString("2.5").Float(), CString().Double()),
              std::tuple(-1000.0, 2.5f, 0.0));
    const char32_t* w = CString("A\xe9\xff").Unicode();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(std::u32string(w), (std::u32string{U'A', 0xE9, 0xFF})); // bytes widened as unsigned values
    EXPECT_EQ(CString().Unicode(), nullptr);
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
    const std::string folder = (dir.path() / "target").string(), never = (dir.path() / "never").string();
    // Kernel attribute files announce a size of a whole page but hold a few bytes: a short read.
    const char* shortFile = "/sys/devices/system/cpu/online";
    std::ifstream probe(shortFile, std::ios::binary | std::ios::ate);
    const bool readsShort =
        probe && static_cast<std::streamoff>(probe.tellg()) > std::streamoff(readFile(shortFile).size());
    const std::tuple<bool, const char*, const char*> cases[] = {
        {true, "/nonexistent/sdo/file",
         "\nERROR: File '/nonexistent/sdo/file' could not be opened for loading."},
        {true, nullptr, ""},
        {true, folder.c_str(), "\nERROR: While reading file."},
        {true, shortFile, "\nERROR: While reading file."},
        {false, "/nonexistent/sdo/out.txt",
         "\nERROR: File '/nonexistent/sdo/out.txt' could not be opened for saving."},
        {false, never.c_str(), "\nError: String object is empty."},
        {false, folder.c_str(), "\nERROR: File '"}, // ... could not be opened for saving.
    };
    for (const auto& [load, path, line] : cases) {
        if (load && path == shortFile && !readsShort) continue;
        CString s(path == never.c_str() ? "" : "old");
        testing::internal::CaptureStdout();
        EXPECT_EQ(load ? s << path : (s >> path) + 1, 0) << line;
        EXPECT_EQ(testing::internal::GetCapturedStdout().substr(0, std::strlen(line)), line);
        EXPECT_TRUE(!load || !path || s.Empty()) << line;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// Numbers are written and read with a decimal point even when the process uses a comma.
TEST(CStringLocale, NumbersIgnoreTheProcessLocale) {
    const CommaLocale comma;
    if (!comma.active()) GTEST_SKIP() << "no comma-decimal locale can be made here";
    CString s, t("x");
    s = 1.5;
    const std::string written = s.c_str();
    s = "2.75";
    const double read = s.Double();
    t += 0.25;
    const std::string appended = t.c_str();
    EXPECT_EQ(written, "1.500000");
    EXPECT_DOUBLE_EQ(read, 2.75);
    EXPECT_EQ(appended, "x0.250000");
}
