// XML property lists: read through libxml2's streaming reader, written by hand.
//
// The reader is a real XML tokenizer: comments, CDATA sections and processing instructions are
// what XML says they are, so nesting is counted on elements alone, and the text of a number is the
// number's whole text. It keeps its own stack rather than recursing, and refuses entity references
// (only the predefined ones and character references are text). Numbers must be numbers in full:
// "0,75", "", "0x1p3zz" or "1.9" as an integer are refused, never read as what their prefix says.

#include "PlistFormats.h"

#include "plat/console.h"
#include "plat/core.h"

#include <libxml/parser.h>
#include <libxml/xmlreader.h>

#include <iconv.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <type_traits>
#include <vector>

namespace plat::plist::detail {

namespace {

constexpr std::string_view kWhitespace = " \t\r\n";

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(kWhitespace);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kWhitespace) - first + 1);
}

std::optional<std::int64_t> integerFrom(std::string_view text, std::string& problem) {
    const std::string_view number = trimmed(text);
    const bool negative = number.starts_with('-');
    const std::string_view digits = number.substr(negative || number.starts_with('+') ? 1 : 0);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        problem = "a malformed <integer>: " + shown(text);
        return std::nullopt;
    }
    std::uint64_t magnitude = 0;
    const auto ec = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude).ec;
    const std::uint64_t limit = std::uint64_t(INT64_MAX) + (negative ? 1 : 0);
    if (ec != std::errc() || magnitude > limit) {
        problem = "the integer " + shown(number) + ", beyond the signed 64-bit range";
        return std::nullopt;
    }
    return negative ? std::int64_t(0 - magnitude) : std::int64_t(magnitude);
}

std::optional<double> realFrom(std::string_view text, std::string& problem) {
    std::string_view number = trimmed(text);
    // from_chars takes a minus sign only
    if (number.starts_with('+') && !number.substr(1).starts_with('-')) number.remove_prefix(1);
    double value = 0;
    const auto [end, ec] =
        std::from_chars(number.data(), number.data() + number.size(), value, std::chars_format::general);
    if ((ec != std::errc() && ec != std::errc::result_out_of_range) || end != number.data() + number.size()) {
        problem = "a malformed <real>: " + shown(text);
        return std::nullopt;
    }
    if (ec == std::errc::result_out_of_range) {
        // A well-formed number beyond a double: one too small to hold reads as zero of its sign (as
        // the binary format, which stores doubles, can only say), one too large is refused.
        const std::string whole(number);
        value = strtod_l(whole.c_str(), nullptr, cLocale());
        if (std::isinf(value)) {
            problem = "the real " + shown(number) + ", beyond the range of a double";
            return std::nullopt;
        }
    }
    return value;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + std::int64_t(doe) - 719468;
}

// "2026-12-06T10:00:00Z"
std::optional<Date> dateFrom(std::string_view text, std::string& problem) {
    const std::string_view t = trimmed(text);
    int field[6] = {};
    static constexpr struct {
        std::size_t at, length;
        char after;
    } kFields[] = {{0, 4, '-'}, {5, 2, '-'}, {8, 2, 'T'}, {11, 2, ':'}, {14, 2, ':'}, {17, 2, 'Z'}};
    bool ok = t.size() == 20;
    for (int i = 0; ok && i < 6; ++i) {
        const auto [at, length, after] = kFields[i];
        const auto [end, ec] = std::from_chars(t.data() + at, t.data() + at + length, field[i]);
        ok = ec == std::errc() && end == t.data() + at + length && t[at + length] == after && t[at] >= '0' &&
             t[at] <= '9';
    }
    ok = ok && field[1] >= 1 && field[1] <= 12 && field[2] >= 1 &&
         field[2] <= daysInMonth(field[0], field[1]) && field[3] <= 23 && field[4] <= 59 && field[5] <= 59;
    if (!ok) {
        problem = "a malformed <date>: " + shown(text);
        return std::nullopt;
    }
    const std::int64_t days = daysFromCivil(field[0], unsigned(field[1]), unsigned(field[2]));
    return Date{double(days * 86400 + field[3] * 3600 + field[4] * 60 + field[5])};
}

std::optional<Data> dataFrom(std::string_view text, std::string& problem) {
    Data out;
    out.reserve(text.size() / 4 * 3);
    std::uint32_t group = 0;
    int filled = 0, padding = 0;
    for (const char c : text) {
        int sextet = -1;
        if (c >= 'A' && c <= 'Z')
            sextet = c - 'A';
        else if (c >= 'a' && c <= 'z')
            sextet = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            sextet = c - '0' + 52;
        else if (c == '+')
            sextet = 62;
        else if (c == '/')
            sextet = 63;
        if (kWhitespace.find(c) != std::string_view::npos) continue;
        if (c == '=' && filled >= 2) {
            ++padding;
            ++filled;
        } else if (sextet < 0 || padding > 0) {
            problem = "malformed base64 in <data>";
            return std::nullopt;
        } else {
            group = (group << 6) | std::uint32_t(sextet);
            ++filled;
        }
        if (filled == 4) {
            group <<= 6 * padding;
            for (int i = 0; i < 3 - padding; ++i) out.push_back(std::uint8_t(group >> (16 - 8 * i)));
            group = 0;
            filled = 0;
        }
    }
    if (filled == 1 || (padding > 0 && filled != 0)) {
        problem = "malformed base64 in <data>";
        return std::nullopt;
    }
    if (filled > 1) { // unpadded end
        group <<= 6 * (4 - filled);
        for (int i = 0; i < filled - 1; ++i) out.push_back(std::uint8_t(group >> (16 - 8 * i)));
    }
    return out;
}

struct ReaderFree {
    void operator()(xmlTextReaderPtr r) const { xmlFreeTextReader(r); }
};

class XMLReader {
public:
    // `encoding` overrides what the document says of itself; null lets libxml2 tell.
    XMLReader(std::span<const std::uint8_t> bytes, const Limits& limits, const char* encoding,
              int options = 0)
        : limits_(limits) {
        static std::once_flag initialised;
        std::call_once(initialised, [] { xmlInitParser(); });
        reader_.reset(xmlReaderForMemory(
            reinterpret_cast<const char*>(bytes.data()), int(bytes.size()), nullptr, encoding,
            XML_PARSE_NONET | XML_PARSE_NOCDATA | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | options));
        if (reader_) xmlTextReaderSetStructuredErrorHandler(reader_.get(), &XMLReader::onError, this);
    }

    Result<Value> read() {
        if (!reader_) return parseError("The property list could not be read.");
        int status = 0;
        while (problem_.empty() && xmlError_.empty() && (status = xmlTextReaderRead(reader_.get())) == 1)
            step();
        if (!limitMessage_.empty()) return parseError(limitMessage_);
        if (!xmlError_.empty()) problem_ = xmlError_;
        if (problem_.empty() && status != 0) problem_ = "it is not well-formed XML";
        if (problem_.empty() && !root_) problem_ = "it holds no value";
        if (!problem_.empty()) return parseError("The data is not a valid property list: " + problem_ + ".");
        return std::move(*root_);
    }

private:
    struct Container {
        Value value;
        std::optional<std::string> key; // a dictionary's key waiting for its value
    };

    static void onError(void* self, xmlErrorPtr error) {
        auto& reader = *static_cast<XMLReader*>(self);
        if (!error || error->level < XML_ERR_ERROR || !reader.xmlError_.empty()) return;
        std::string message = error->message ? error->message : "malformed XML";
        while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
        // libxml2 may quote what it could not read and breaks some messages over two lines: the
        // message is kept as it came, as any document text is, but for its length.
        reader.xmlError_ = "line " + std::to_string(error->line) + ": " + cutInMiddle(message);
    }

    std::string_view name() const {
        const xmlChar* n = xmlTextReaderConstName(reader_.get());
        return n ? reinterpret_cast<const char*>(n) : "";
    }

    void refuse(std::string problem) {
        if (problem_.empty()) problem_ = std::move(problem);
    }

    // Charges a value against the limits before it is kept.
    bool charge(std::size_t textBytes) {
        if (int(stack_.size()) + 1 > limits_.maxDepth) {
            limitMessage_ =
                "The property list is nested deeper than " + std::to_string(limits_.maxDepth) + " levels.";
            refuse("too deep");
            return false;
        }
        cost_ += kValueCost + textBytes;
        if (cost_ > limits_.maxExpandedBytes) {
            limitMessage_ = "The property list would take more than " +
                            std::to_string(limits_.maxExpandedBytes) + " bytes once read.";
            refuse("too large");
            return false;
        }
        return true;
    }

    void step() {
        switch (xmlTextReaderNodeType(reader_.get())) {
        case XML_READER_TYPE_ELEMENT:
            return element();
        case XML_READER_TYPE_END_ELEMENT:
            if (name() == "dict" || name() == "array") return close();
            return;
        case XML_READER_TYPE_TEXT:
        case XML_READER_TYPE_CDATA:
        case XML_READER_TYPE_WHITESPACE:
        case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
            if (!trimmed(value()).empty()) refuse("text outside a value: " + shown(trimmed(value())));
            return;
        case XML_READER_TYPE_ENTITY_REFERENCE:
            return refuse("an entity reference");
        default: // comments, processing instructions, the document type
            return;
        }
    }

    std::string_view value() const {
        const xmlChar* v = xmlTextReaderConstValue(reader_.get());
        return v ? reinterpret_cast<const char*>(v) : "";
    }

    void element() {
        const std::string element(name());
        const bool empty = xmlTextReaderIsEmptyElement(reader_.get()) == 1;
        if (element == "plist" && !wrapped_ && !root_ && stack_.empty()) {
            wrapped_ = true;
            return;
        }
        if (element == "key") {
            Container* dict = stack_.empty() ? nullptr : &stack_.back();
            if (!dict || !dict->value.asDictionary() || dict->key) return refuse("a <key> out of place");
            std::string text;
            if (!empty && !readText(text)) return;
            cost_ += text.size();
            dict->key = std::move(text);
            return;
        }
        if (element == "dict" || element == "array") {
            if (!charge(0)) return;
            Value container = element == "dict" ? Value(Dictionary{}) : Value(Array{});
            if (empty) return place(std::move(container));
            stack_.push_back({std::move(container), std::nullopt});
            return;
        }
        std::string text;
        if (!empty && !readText(text)) return;
        if (!charge(text.size())) return;
        std::string problem;
        std::optional<Value> scalar;
        if (element == "string") {
            scalar = Value(std::move(text));
        } else if (element == "integer") {
            if (auto n = integerFrom(text, problem)) scalar = Value(static_cast<long long>(*n));
        } else if (element == "real") {
            if (auto r = realFrom(text, problem)) scalar = Value(*r);
        } else if (element == "true" || element == "false") {
            if (trimmed(text).empty())
                scalar = Value(element == "true");
            else
                problem = "text inside <" + element + "/>";
        } else if (element == "date") {
            if (auto d = dateFrom(text, problem)) scalar = Value(*d);
        } else if (element == "data") {
            if (auto d = dataFrom(text, problem)) scalar = Value(std::move(*d));
        } else {
            problem = "an element of a kind we do not keep, " + shown(element);
        }
        if (!scalar) return refuse(std::move(problem));
        place(std::move(*scalar));
    }

    // The text of a scalar element up to its end; comments and processing instructions in it are
    // not text.
    bool readText(std::string& text) {
        while (xmlTextReaderRead(reader_.get()) == 1) {
            switch (xmlTextReaderNodeType(reader_.get())) {
            case XML_READER_TYPE_TEXT:
            case XML_READER_TYPE_CDATA:
            case XML_READER_TYPE_WHITESPACE:
            case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
                text.append(value());
                break;
            case XML_READER_TYPE_END_ELEMENT:
                return true;
            case XML_READER_TYPE_COMMENT:
            case XML_READER_TYPE_PROCESSING_INSTRUCTION:
                break;
            case XML_READER_TYPE_ENTITY_REFERENCE:
                refuse("an entity reference");
                return false;
            default:
                refuse("an element inside a scalar value");
                return false;
            }
        }
        refuse("it is not well-formed XML");
        return false;
    }

    void place(Value v) {
        if (stack_.empty()) {
            if (root_) return refuse("more than one value at the top level");
            root_ = std::move(v);
            return;
        }
        Container& top = stack_.back();
        if (auto* array = top.value.asArray()) {
            array->push_back(std::move(v));
        } else if (!top.key) {
            refuse("a value without a <key> in a dictionary");
        } else {
            top.value.asDictionary()->set(std::move(*top.key), std::move(v));
            top.key.reset();
        }
    }

    void close() {
        if (stack_.empty()) return refuse("it is not well-formed XML");
        if (stack_.back().key) return refuse("a <key> without a value");
        Value done = std::move(stack_.back().value);
        stack_.pop_back();
        place(std::move(done));
    }

    const Limits& limits_;
    std::unique_ptr<xmlTextReader, ReaderFree> reader_;
    std::vector<Container> stack_;
    std::optional<Value> root_;
    bool wrapped_ = false;
    std::size_t cost_ = 0;
    std::string problem_, xmlError_, limitMessage_;
};

// ---- writing -------------------------------------------------------------------------------

void escaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '\r': // an XML reader turns a bare carriage return into a line feed
            out += "&#13;";
            break;
        default:
            out += c;
        }
    }
}

std::string base64(const Data& data) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, data.size() - i);
        std::uint32_t group = std::uint32_t(data[i]) << 16;
        if (n > 1) group |= std::uint32_t(data[i + 1]) << 8;
        if (n > 2) group |= data[i + 2];
        for (std::size_t k = 0; k < 4; ++k) out += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

class XMLWriter {
public:
    Result<std::string> document(const Value& value) {
        // The document type line every reader of property lists expects, as the files we wrote
        // before carried it.
        out_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
               "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
               "<plist version=\"1.0\">\n";
        write(value, 0);
        if (!problem_.empty())
            return parseError("The property list cannot be written as XML: " + problem_ + ".");
        out_ += "</plist>\n";
        return std::move(out_);
    }

private:
    bool checked(std::string_view text, const char* what) {
        if (const auto problem = textProblem(text)) {
            if (problem_.empty()) problem_ = std::string(what) + " " + shown(text) + " holds " + *problem;
            return false;
        }
        return true;
    }

    void line(int indent, std::string_view open, std::string_view text, std::string_view close) {
        out_.append(std::size_t(indent), '\t').append(open).append(text).append(close).append("\n");
    }

    void write(const Value& v, int indent) {
        char number[40];
        switch (v.type()) {
        case Type::Boolean:
            return line(indent, *v.asBool() ? "<true/>" : "<false/>", "", "");
        case Type::Integer: {
            const auto end = std::to_chars(number, number + sizeof number, *v.asInteger()).ptr;
            return line(indent, "<integer>", std::string_view(number, std::size_t(end - number)),
                        "</integer>");
        }
        case Type::Real: {
            const double r = *v.asReal();
            if (std::isnan(r)) return line(indent, "<real>", "nan", "</real>");
            if (std::isinf(r)) return line(indent, "<real>", r > 0 ? "+infinity" : "-infinity", "</real>");
            const auto end = std::to_chars(number, number + sizeof number, r).ptr;
            return line(indent, "<real>", std::string_view(number, std::size_t(end - number)), "</real>");
        }
        case Type::String: {
            if (!checked(*v.asString(), "the string")) return;
            std::string text;
            escaped(text, *v.asString());
            return line(indent, "<string>", text, "</string>");
        }
        case Type::Data:
            return line(indent, "<data>", base64(*v.asData()), "</data>");
        case Type::Date: {
            const double seconds = std::floor(v.asDate()->secondsSince1970);
            // Years 1 to 9999, the years the text form has four digits for.
            if (!(seconds >= -62135596800.0 && seconds <= 253402300799.0)) {
                if (problem_.empty()) problem_ = "a date outside the years 1 to 9999";
                return;
            }
            const std::time_t t = std::time_t(seconds);
            std::tm tm{};
            gmtime_r(&t, &tm);
            std::snprintf(number, sizeof number, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900,
                          tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
            return line(indent, "<date>", number, "</date>");
        }
        case Type::Array:
            if (v.asArray()->empty()) return line(indent, "<array/>", "", "");
            line(indent, "<array>", "", "");
            for (const auto& item : *v.asArray()) write(item, indent + 1);
            return line(indent, "</array>", "", "");
        case Type::Dictionary:
            if (v.asDictionary()->empty()) return line(indent, "<dict/>", "", "");
            line(indent, "<dict>", "", "");
            for (const auto& [key, item] : *v.asDictionary()) {
                if (!checked(key, "the key")) return;
                std::string text;
                escaped(text, key);
                line(indent + 1, "<key>", text, "</key>");
                write(item, indent + 1);
            }
            return line(indent, "</dict>", "", "");
        }
    }

    std::string out_;
    std::string problem_;
};

// A document in UTF-16 or UTF-32 says so by its byte-order mark, or by "<" as its first code unit;
// its ASCII characters then come with zero bytes, which are no NUL characters. libxml2 reads UTF-16,
// told the byte order when there is no mark to tell it. Its UTF-32 support mistakes the byte order
// of most such documents, so UTF-32 is turned into UTF-8 here and read as that, whatever the
// declaration says.
enum class Encoding { UTF8, UTF16Marked, UTF16LE, UTF16BE, UTF32LE, UTF32BE };

struct Detected {
    Encoding encoding = Encoding::UTF8;
    std::size_t markBytes = 0;
};

Detected encodingOf(std::span<const std::uint8_t> bytes) {
    const auto starts = [&](std::initializer_list<std::uint8_t> prefix) {
        return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
    };
    // UTF-32's marks and first units begin as UTF-16's do: they are told apart first.
    if (starts({0xFF, 0xFE, 0, 0})) return {Encoding::UTF32LE, 4};
    if (starts({0, 0, 0xFE, 0xFF})) return {Encoding::UTF32BE, 4};
    if (starts({'<', 0, 0, 0})) return {Encoding::UTF32LE};
    if (starts({0, 0, 0, '<'})) return {Encoding::UTF32BE};
    if (starts({0xFF, 0xFE}) || starts({0xFE, 0xFF})) return {Encoding::UTF16Marked};
    if (starts({'<', 0})) return {Encoding::UTF16LE};
    if (starts({0, '<'})) return {Encoding::UTF16BE};
    return {};
}

bool holdsNul(std::span<const std::uint8_t> bytes, std::size_t unit) {
    if (unit == 1) return std::memchr(bytes.data(), 0, bytes.size()) != nullptr;
    for (std::size_t i = 0; i + unit <= bytes.size(); i += unit)
        if (std::all_of(bytes.begin() + std::ptrdiff_t(i), bytes.begin() + std::ptrdiff_t(i + unit),
                        [](std::uint8_t b) { return b == 0; }))
            return true;
    return false;
}

struct IconvClose {
    void operator()(iconv_t cd) const { iconv_close(cd); }
};

// UTF-32 without its mark as UTF-8; nothing when it holds a unit that is no character.
std::optional<std::string> utf8From(std::span<const std::uint8_t> utf32, bool bigEndian) {
    const iconv_t opened = iconv_open("UTF-8", bigEndian ? "UTF-32BE" : "UTF-32LE");
    if (opened == iconv_t(-1)) return std::nullopt;
    const std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvClose> cd(opened);
    std::string out(utf32.size(), '\0'); // a character takes at most four bytes in either
    char* in = const_cast<char*>(reinterpret_cast<const char*>(utf32.data()));
    char* to = out.data();
    std::size_t inLeft = utf32.size(), outLeft = out.size();
    if (iconv(cd.get(), &in, &inLeft, &to, &outLeft) == std::size_t(-1)) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace

Result<Value> parseXML(std::span<const std::uint8_t> bytes, const Limits& limits) {
    const auto [encoding, markBytes] = encodingOf(bytes);
    const bool utf32 = encoding == Encoding::UTF32LE || encoding == Encoding::UTF32BE;
    const std::size_t unit = utf32 ? 4 : encoding == Encoding::UTF8 ? 1 : 2;
    // XML admits no NUL anywhere; saying so here is clearer than the tokenizer's complaint.
    if (holdsNul(bytes, unit))
        return parseError("The data is not a valid property list: it holds a NUL character.");
    if (bytes.size() > std::size_t(INT32_MAX)) return parseError("The property list is too large to read.");
    if (utf32) {
        const auto text = utf8From(bytes.subspan(markBytes), encoding == Encoding::UTF32BE);
        if (!text)
            return parseError("The data is not a valid property list: its UTF-32 text holds a unit that "
                              "is no character, or ends inside one.");
        return XMLReader(std::span(reinterpret_cast<const std::uint8_t*>(text->data()), text->size()), limits,
                         "UTF-8", XML_PARSE_IGNORE_ENC)
            .read();
    }
    const char* declared = encoding == Encoding::UTF16LE   ? "UTF-16LE"
                           : encoding == Encoding::UTF16BE ? "UTF-16BE"
                                                           : nullptr;
    return XMLReader(bytes, limits, declared).read();
}

Result<std::string> writeXML(const Value& value) {
    return XMLWriter().document(value);
}

} // namespace plat::plist::detail
