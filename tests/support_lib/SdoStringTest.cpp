#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "CommaLocale.h"
#include "SDO.h"

using SDO::CData;
using SDO::CString;
using SDO::CStringList;

namespace fs = std::filesystem;

namespace {
std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path scratchDir(const char* name) {
    fs::path dir = fs::temp_directory_path() / ("sdo_test_" + std::to_string(::getpid()) + "_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}
} // namespace

TEST(CData, PaddingLeavesATerminatorAndRoundsToFour) {
    EXPECT_EQ(CData::Padding(0), 0u);
    EXPECT_EQ(CData::Padding(-3), 0u);
    EXPECT_EQ(CData::Padding(1), 4u);
    EXPECT_EQ(CData::Padding(3), 4u);
    EXPECT_EQ(CData::Padding(4), 8u);
    EXPECT_EQ(CData::CAlloc(0, 4), nullptr);
    EXPECT_EQ(CData::StrLen(nullptr), 0u);
}

TEST(CData, HexTableHoldsTwoDigitsPerByteValue) {
    EXPECT_EQ(std::string(SDO::hextable, 2), "00");
    EXPECT_EQ(std::string(SDO::hextable + 2 * 0xA7, 2), "A7");
    EXPECT_EQ(std::string(SDO::hextable + 510), "FF-");
}

TEST(CData, HexFormattersOfThreeBytes) {
    CString s("abc");
    EXPECT_EQ(s.Length(), 3u);
    EXPECT_STREQ(s.Hex2(), "616263");
    EXPECT_STREQ(s.Hex3(), "61 62 63");
    EXPECT_STREQ(s.Hex4(), "#61 #62 #63");
    EXPECT_STREQ(s.Hex5(), "0x61 0x62 0x63");
    EXPECT_STREQ(s.ColorRGB(), "#616263");
    EXPECT_STREQ(CString("ab\xff").Hex2(), "6162FF");
    EXPECT_STREQ(CString("ab").ColorRGB(), "#6162");
}

TEST(CData, HexFormattersOfEmptyData) {
    CData d;
    EXPECT_STREQ(d.Hex2(), "00");
    EXPECT_STREQ(d.Hex3(), "00");
    EXPECT_STREQ(d.Hex4(), "#00");
    EXPECT_STREQ(d.Hex5(), "0x00");
    EXPECT_STREQ(d.String(), "0x00");
    EXPECT_STREQ(d.ColorRGB(), "#000000");
    EXPECT_STREQ(d.XML(2), "<CData>\n\tundefined</CData>");
}

TEST(CData, XmlFormsIndentByDepth) {
    CString s("ab");
    EXPECT_STREQ(s.XML(1), "\t<CString encoding='UTF8'>\n\t\tab\n\t</CString>\n");
    EXPECT_STREQ(s.CData::XML(0), "<CData encoding='HEX5'>\n\t0x61 0x62\n</CData>\n");
    EXPECT_STREQ(CString().XML(1), "<CData>\n\tundefined</CData>");
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

TEST(CString, EmptyStringShowsTheMarkerButComparesAsEmptyText) {
    CString e;
    EXPECT_STREQ(e.c_str(), "(null*)");
    EXPECT_STREQ(e.String(), "(null*)");
    EXPECT_FALSE(e == "(null*)");
    EXPECT_FALSE(e == CString("(null*)"));
    EXPECT_TRUE(e == "");
    EXPECT_TRUE(e == CString());
    EXPECT_TRUE(e < CString("a"));
    EXPECT_TRUE(CString("b") > CString("a"));
    EXPECT_TRUE(CString("a") <= CString("a"));
    EXPECT_TRUE(CString("a") != "b");
}

TEST(CString, CountsLiveStrings) {
    const int before = CString::count;
    {
        CString a("x"), b;
        EXPECT_EQ(a.ClassCount(), before + 2);
        EXPECT_EQ(a.CData::ClassCount(), CData::count);
    }
    EXPECT_EQ(CString::count, before);
    EXPECT_STREQ(CString().ClassName(), "CString");
    EXPECT_STREQ(CData().ClassName(), "CData");
}

TEST(CString, SelfAssignmentKeepsTheText) {
    CString s("hello");
    CString& same = s;
    s = same;
    EXPECT_STREQ(s.c_str(), "hello");
    s = s.c_str();
    EXPECT_STREQ(s.c_str(), "hello");
    s += s;
    EXPECT_STREQ(s.c_str(), "hellohello");
    s += s.c_str();
    EXPECT_EQ(s.Length(), 20u);
}

TEST(CString, ChainedOperatorsBuildTheWholeText) {
    CString a("a"), b("b"), c("c");
    CString r;
    r = a + b + c;
    EXPECT_STREQ(r.c_str(), "abc");
    r = a + "x" + 7 + 0.5;
    EXPECT_STREQ(r.c_str(), "ax70.500000");
    r = (a + b) * 3;
    EXPECT_STREQ(r.c_str(), "ababab");
    r = (r + "zz") - 2;
    EXPECT_STREQ(r.c_str(), "ababab");
    r = (a + b + a) - "a";
    EXPECT_STREQ(r.c_str(), "b");
}

TEST(CString, AssignmentFromTextAndNumbers) {
    CString s;
    EXPECT_EQ(s = "four", 4);
    char buffer[] = "six";
    EXPECT_EQ(s = buffer, 0);
    EXPECT_STREQ(s.c_str(), "six");
    s = static_cast<const char*>(nullptr);
    EXPECT_TRUE(s.Empty());
    s = -42;
    EXPECT_STREQ(s.c_str(), "-42");
    s = 2.25;
    EXPECT_STREQ(s.c_str(), "2.250000");
    s += 'x';
    s += 3;
    EXPECT_STREQ(s.c_str(), "2.250000x3");
}

TEST(CString, OperandsThatAddNothingReturnTheStringItself) {
    CString s("abc");
    EXPECT_EQ(&(s + CString()), &s);
    EXPECT_EQ(&(s + static_cast<const char*>(nullptr)), &s);
    EXPECT_EQ(&(s * 1), &s);
    EXPECT_EQ(&(s - 0), &s);
    EXPECT_EQ(&(s - static_cast<const char*>(nullptr)), &s);
    EXPECT_EQ(&(s + "d"), &CString::tempstr);
}

TEST(CString, ShorteningByCount) {
    CString s("abc");
    s -= 1;
    EXPECT_STREQ(s.c_str(), "ab");
    s -= 0;
    EXPECT_STREQ(s.c_str(), "ab");
    s -= 5;
    EXPECT_TRUE(s.Empty());
    CString t("abc");
    EXPECT_TRUE((t - 3).Empty());
    EXPECT_STREQ((t - 1).c_str(), "ab");
}

TEST(CString, RepeatCountsThatCannotBeHeldGiveAnEmptyResult) {
    CString s("abcdefgh");
    EXPECT_TRUE((s * 0x7FFFFFFF).Empty());
    EXPECT_STREQ((s * -5).c_str(), "abcdefgh");
    EXPECT_EQ((CString() * 1000).Length(), 0u);
}

TEST(CString, IndexingOutsideTheTextHitsAScratchByte) {
    CString s("abc");
    EXPECT_EQ(s[1], 'b');
    s[-1] = 'x';
    s[3] = 'y';
    EXPECT_EQ(s[100], 0);
    EXPECT_STREQ(s.c_str(), "abc");
    EXPECT_EQ(s.At(-1), 0);
    EXPECT_EQ(s.First(), 'a');
    EXPECT_EQ(s.Last(), 'c');
    EXPECT_EQ(CString().Last(), 0);
}

TEST(CString, FindFromAStartPosition) {
    CString s("abcabc");
    EXPECT_EQ(s.Find("b", -4), 1);
    EXPECT_EQ(s.Find("b", 2), 4);
    EXPECT_EQ(s.Find("b", 5), -1);
    EXPECT_EQ(s.Find("b", 6), -1);
    EXPECT_EQ(s.Find("", 0), -1);
    EXPECT_EQ(s.Find(nullptr, 0), -1);
    EXPECT_EQ(s.Find("abcabcx", 0), -1);
    EXPECT_EQ(CString().Find("a", 0), -1);
}

TEST(CString, ReplaceEveryOccurrence) {
    CString s("aXa");
    EXPECT_TRUE(s.Replace("a", "xy", 0, true));
    EXPECT_STREQ(s.c_str(), "xyXxy");
    CString once("aaa");
    EXPECT_TRUE(once.Replace("a", "b", 1, false));
    EXPECT_STREQ(once.c_str(), "aba");
    CString grow("aa");
    EXPECT_TRUE(grow.Replace("a", "aa", 0, true));
    EXPECT_STREQ(grow.c_str(), "aaaa");
}

TEST(CString, ReplaceRefusals) {
    CString s("abc");
    EXPECT_FALSE(s.Replace("b", "b", 0, true));
    EXPECT_FALSE(s.Replace(nullptr, "x", 0, true));
    EXPECT_FALSE(s.Replace("z", "x", 0, true));
    EXPECT_FALSE(s.Replace("a", "x", 1, true));
    EXPECT_FALSE(CString().Replace("a", "x", 0, true));
    EXPECT_STREQ(s.c_str(), "abc");
}

TEST(CString, ReplaceWhoseResultIsEmptyEmptiesTheString) {
    CString s("abab");
    EXPECT_TRUE(s.Replace("ab", nullptr, 0, true));
    EXPECT_TRUE(s.Empty());
    CString t("xx");
    t -= "x";
    EXPECT_TRUE(t.Empty());
}

TEST(CString, InsertBeforeAByte) {
    CString s("ac");
    s.Insert(1, "b");
    EXPECT_STREQ(s.c_str(), "abc");
    s.Insert(3, "d");
    s.Insert(-1, "d");
    s.Insert(0, "");
    EXPECT_STREQ(s.c_str(), "abc");
}

TEST(CString, SubStrCutsAtTheEndAndRefusesBadRanges) {
    CString s("hello");
    EXPECT_STREQ(s.SubStr(1, 3), "ell");
    EXPECT_STREQ(s.SubStr(3, 100), "lo");
    EXPECT_STREQ(s.SubStr(0, 0x7FFFFFFF), "hello");
    EXPECT_EQ(s.SubStr(-1, 2), nullptr);
    EXPECT_EQ(s.SubStr(5, 1), nullptr);
    EXPECT_EQ(s.SubStr(0, 0), nullptr);
    EXPECT_EQ(s.SubStr(0, -3), nullptr);
    EXPECT_EQ(CString().SubStr(0, 1), nullptr);
}

TEST(CString, TrimRemovesBlanksTabsAndLineEnds) {
    CString s(" \t\r\nx");
    s.TrimLeft();
    EXPECT_STREQ(s.c_str(), "x");
    CString blanks("   ");
    blanks.Trim();
    EXPECT_TRUE(blanks.Empty());
    CString both("\n a b \t");
    both.Trim();
    EXPECT_STREQ(both.c_str(), "a b");
}

TEST(CString, SplitSkipsEmptyPieces) {
    CString s("a,,b,");
    CStringList list;
    EXPECT_EQ(s.Split(",", &list, 0, 0), 2);
    EXPECT_STREQ(list[0].c_str(), "a");
    EXPECT_STREQ(list[1].c_str(), "b");
}

TEST(CString, SplitStopsAtTheMaximumAndRefusesBadArguments) {
    CString s("one::two::three");
    CStringList list;
    EXPECT_EQ(s.Split("::", &list, 2, 0), 2);
    EXPECT_STREQ(list[1].c_str(), "two");
    EXPECT_EQ(s.Split("::", &list, 0, 0), 3);
    EXPECT_STREQ(list[2].c_str(), "three");
    EXPECT_EQ(s.Split(nullptr, &list, 0, 0), -1);
    EXPECT_EQ(s.Split(",", nullptr, 0, 0), -1);
    EXPECT_EQ(CString().Split(",", &list, 0, 0), -1);
    EXPECT_EQ(CString("abc").Split(",", &list, 0, 0), 1);
    EXPECT_STREQ(list[0].c_str(), "abc");
}

TEST(CString, CaseChangesTouchOnlyLetters) {
    CString s("aB1\xe9z");
    s.Uppercase();
    EXPECT_STREQ(s.c_str(), "AB1\xe9Z");
    s.Lowercase();
    EXPECT_STREQ(s.c_str(), "ab1\xe9z");
    s = "aBc";
    s.Revertcase();
    EXPECT_STREQ(s.c_str(), "AbC");
}

TEST(CString, NumberConversion) {
    EXPECT_EQ(CString("  42xyz").Integer(), 42);
    EXPECT_EQ(CString("-7").Integer(), -7);
    EXPECT_EQ(CString("99999999999").Integer(), 2147483647);
    EXPECT_EQ(CString("ff").HexToInt(), 255);
    EXPECT_EQ(CString("0x1A").HexToInt(), 26);
    EXPECT_FLOAT_EQ(CString("2.5").Float(), 2.5f);
    EXPECT_DOUBLE_EQ(CString("-1e3").Double(), -1000.0);
    EXPECT_EQ(CString().Integer(), 0);
    EXPECT_EQ(CString().Double(), 0.0);
    EXPECT_EQ(CString("abc").Integer(), 0);
}

TEST(CString, UnicodeWidensBytesAsUnsignedValues) {
    CString s("A\xe9\xff");
    const char32_t* w = s.Unicode();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w[0], U'A');
    EXPECT_EQ(w[1], 0xE9u);
    EXPECT_EQ(w[2], 0xFFu);
    EXPECT_EQ(w[3], 0u);
    EXPECT_EQ(CString().Unicode(), nullptr);
}

TEST(CString, EncodeAndCharacterClasses) {
    CString s("ab");
    s.Encode();
    EXPECT_STREQ(s.c_str(), "6162");
    s.Decode();
    EXPECT_STREQ(s.c_str(), "6162");
    EXPECT_TRUE(CString("plain").IsASCII());
    EXPECT_FALSE(CString("caf\xc3\xa9").IsASCII());
    EXPECT_TRUE(CString("abc1").IsKeyword());
    EXPECT_TRUE(CString().IsKeyword());
    EXPECT_FALSE(CString("1abc").IsKeyword());
    EXPECT_FALSE(CString("a_b").IsKeyword());
    EXPECT_TRUE(CString("x").ToBool());
    EXPECT_FALSE(CString().ToBool());
}

TEST(CString, PrintingRepeatsTheText) {
    CString s("ab");
    testing::internal::CaptureStdout();
    EXPECT_EQ(s >> 3, 0);
    CString() >> 2;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ababab");
}

TEST(SdoStatics, EachUnitHasItsTablesAndMarkers) {
    EXPECT_STREQ(SDO::invalid.c_str(), "null");
    EXPECT_STREQ(SDO::empty.c_str(), " ");
    EXPECT_STREQ(SDO::PrinTable[0], "<NUL>");
    EXPECT_STREQ(SDO::PrinTable[9], "\t");
    EXPECT_STREQ(SDO::PrinTable[13], "\r");
    EXPECT_STREQ(SDO::PrinTable[31], "<US>");
    EXPECT_STREQ(SDO::PrinTable[32], " ");
    EXPECT_STREQ(SDO::PrinTable['A'], "A");
    EXPECT_STREQ(SDO::PrinTable[127], "<DEL>");
    EXPECT_STREQ(SDO::PrinTable[128], "");
}

TEST(CStringFile, SaveAndLoadKeepRawBytes) {
    const fs::path dir = scratchDir("roundtrip");
    const std::string path = (dir / "data.bin").string();
    CString s("line\r\n");
    s += '\0';
    s += "\xff";
    EXPECT_EQ(s >> path.c_str(), 0);
    EXPECT_EQ(readFile(path), std::string("line\r\n\0\xff", 8));
    CString back;
    EXPECT_EQ(back << path.c_str(), 8);
    EXPECT_EQ(back.Length(), 8u);
    EXPECT_EQ(back.Hex2(), std::string("6C696E650D0A00FF"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    fs::remove_all(dir);
}

TEST(CStringFile, SaveReplacesAnExistingFile) {
    const fs::path dir = scratchDir("replace");
    const std::string path = (dir / "f.txt").string();
    std::ofstream(path) << "a much longer old content";
    EXPECT_EQ(CString("new") >> path.c_str(), 0);
    EXPECT_EQ(readFile(path), "new");
    fs::remove_all(dir);
}

TEST(CStringFile, LoadingAMissingFileReportsIt) {
    CString s("keep?");
    testing::internal::CaptureStdout();
    EXPECT_EQ(s << "/nonexistent/sdo/file", 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nERROR: File '/nonexistent/sdo/file' could not be opened for loading.");
    EXPECT_TRUE(s.Empty());
    EXPECT_EQ(s << static_cast<const char*>(nullptr), 0);
}

TEST(CStringFile, LoadingSomethingUnreadableIsAFailure) {
    const fs::path dir = scratchDir("unreadable");
    CString s;
    testing::internal::CaptureStdout();
    EXPECT_EQ(s << dir.c_str(), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("ERROR"), std::string::npos);
    EXPECT_TRUE(s.Empty());
    fs::remove_all(dir);
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

TEST(CStringFile, LoadingAnEmptyFileGivesAnEmptyString) {
    const fs::path dir = scratchDir("emptyfile");
    const std::string path = (dir / "e").string();
    std::ofstream{path};
    CString s("x");
    EXPECT_EQ(s << path.c_str(), 0);
    EXPECT_TRUE(s.Empty());
    fs::remove_all(dir);
}

TEST(CStringFile, FailedSavesAreReported) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(CString("x") >> "/nonexistent/sdo/out.txt", -1);
    EXPECT_EQ(CString() >> "/tmp/never-written", -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nERROR: File '/nonexistent/sdo/out.txt' could not be opened for saving."
              "\nError: String object is empty.");
    EXPECT_FALSE(fs::exists("/tmp/never-written"));
}

TEST(CStringFile, SaveOntoADirectoryFailsAndLeavesNoTemporaryFile) {
    const fs::path dir = scratchDir("ontodir");
    fs::create_directory(dir / "target");
    testing::internal::CaptureStdout();
    EXPECT_EQ(CString("x") >> (dir / "target").c_str(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nERROR: While writing file.");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    fs::remove_all(dir);
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
