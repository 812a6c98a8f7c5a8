// Binary property lists ("bplist00").
//
// A binary document is a table of objects that refer to each other by number, so one object may
// be referred to many times and a small file can stand for a vast value: every reference builds
// its own copy. Before anything is built, one pass over the object graph works out, for every
// object reached, the nesting below it and the bytes its value will take with all its copies
// (each object once, so the pass is linear in the file), refusing cycles. Only a document within
// the limits is then built.

#include "PlistFormats.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

namespace plat::plist::detail {

namespace {

std::uint64_t readBE(const std::uint8_t* p, unsigned n) {
    std::uint64_t v = 0;
    for (unsigned i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v;
}

enum Kind : unsigned {
    kSimple = 0x0,
    kInteger = 0x1,
    kReal = 0x2,
    kDate = 0x3,
    kData = 0x4,
    kASCII = 0x5,
    kUTF16 = 0x6,
    kArray = 0xA,
    kSet = 0xC,
    kDict = 0xD,
};

// One object's marker, its count (bytes, characters or references) and where its payload starts.
struct Object {
    unsigned kind = 0, info = 0;
    std::uint64_t count = 0;
    std::uint64_t payload = 0;
    std::uint64_t references() const { return kind == kDict ? count * 2 : count; }
    bool isContainer() const { return kind == kArray || kind == kSet || kind == kDict; }
};

class BinaryReader {
public:
    BinaryReader(std::span<const std::uint8_t> bytes, const Limits& limits) : b_(bytes), limits_(limits) {}

    Result<Value> read() {
        if (!readTrailer()) return refused();
        if (!measure()) return refused();
        auto value = build(top_);
        if (!value) return refused();
        return std::move(*value);
    }

private:
    static constexpr std::uint16_t kUnvisited = 0, kOpen = 0xFFFF;

    Error refused() const {
        return parseError(limitMessage_.empty() ? "The data is not a valid property list: " + problem_ + "."
                                                : limitMessage_);
    }
    bool fail(std::string problem) {
        if (problem_.empty()) problem_ = std::move(problem);
        return false;
    }

    bool readTrailer() {
        if (b_.size() < 8 + 1 + 32) return fail("a binary document too short to hold anything");
        const std::uint8_t* t = b_.data() + b_.size() - 32;
        offsetSize_ = t[6];
        refSize_ = t[7];
        count_ = readBE(t + 8, 8);
        top_ = readBE(t + 16, 8);
        table_ = readBE(t + 24, 8);
        const std::uint64_t end = b_.size() - 32;
        if (offsetSize_ == 0 || offsetSize_ > 8 || refSize_ == 0 || refSize_ > 8 || count_ == 0 ||
            top_ >= count_ || table_ < 9 || table_ > end || count_ > (end - table_) / offsetSize_)
            return fail("a binary document with a malformed trailer");
        return true;
    }

    bool object(std::uint64_t index, Object& o) {
        const std::uint64_t at = readBE(b_.data() + table_ + index * offsetSize_, offsetSize_);
        if (at < 8 || at >= table_) return fail("an object outside the binary document");
        o.kind = b_[at] >> 4;
        o.info = b_[at] & 0x0F;
        o.payload = at + 1;
        std::uint64_t size = 0; // of the payload
        switch (o.kind) {
        case kSimple:
            if (o.info != 0x8 && o.info != 0x9)
                return fail("a value of a kind we do not keep (null or fill)");
            break;
        case kInteger:
            if (o.info > 4) return fail("an integer of a malformed size");
            size = 1u << o.info;
            break;
        case kReal:
            if (o.info != 2 && o.info != 3) return fail("a real of a malformed size");
            size = 1u << o.info;
            break;
        case kDate:
            if (o.info != 3) return fail("a date of a malformed size");
            size = 8;
            break;
        case kData:
        case kASCII:
        case kUTF16:
        case kArray:
        case kSet:
        case kDict: {
            o.count = o.info;
            if (o.info == 0x0F) {
                const unsigned n = at + 1 < table_ ? 1u << (b_[at + 1] & 0x0F) : 0;
                if (n == 0 || (b_[at + 1] >> 4) != kInteger || n > 8 || at + 2 + n > table_)
                    return fail("an object with a malformed length");
                o.count = readBE(b_.data() + at + 2, n);
                o.payload = at + 2 + n;
            }
            const std::uint64_t unit = o.kind == kUTF16 ? 2 : o.isContainer() ? refSize_ : 1;
            const std::uint64_t units = o.kind == kDict ? 2 : 1;
            if (o.count > (table_ - o.payload) / unit / units)
                return fail("an object longer than the document");
            size = o.count * unit * units;
            break;
        }
        default:
            return fail("a value of a kind we do not keep (marker " + std::to_string(b_[at]) + ")");
        }
        if (size > table_ - o.payload) return fail("an object longer than the document");
        return true;
    }

    std::uint64_t reference(const Object& o, std::uint64_t i) const {
        return readBE(b_.data() + o.payload + i * refSize_, refSize_);
    }

    // The bytes a scalar's value takes beyond the value itself.
    static std::uint64_t payloadCost(const Object& o) {
        switch (o.kind) {
        case kData:
        case kASCII:
            return o.count;
        case kUTF16:
            return o.count * 3; // UTF-8 takes at most three bytes for one UTF-16 unit
        default:
            return 0;
        }
    }

    // Depth below and expanded cost of every object the top one reaches, each worked out once.
    bool measure() {
        const int maxDepth = std::clamp(limits_.maxDepth, 1, 0xFFF0);
        // Costs are kept in 32 bits, which no budget we set comes near.
        const std::uint64_t budget = std::min<std::uint64_t>(limits_.maxExpandedBytes, UINT32_MAX);
        height_.assign(count_, kUnvisited);
        cost_.assign(count_, 0);
        struct Frame {
            std::uint64_t index;
            Object o;
            std::uint64_t next = 0;
            std::uint64_t cost = kValueCost;
            std::uint16_t height = 1;
        };
        std::vector<Frame> stack;
        auto enter = [&](std::uint64_t index) {
            Object o;
            if (!object(index, o)) return false;
            if (o.isContainer()) {
                height_[index] = kOpen;
                stack.push_back({index, o});
            } else {
                height_[index] = 1;
                cost_[index] =
                    std::uint32_t(std::min<std::uint64_t>(kValueCost + payloadCost(o), UINT32_MAX));
            }
            return true;
        };
        if (!enter(top_)) return false;
        while (!stack.empty()) {
            Frame& f = stack.back();
            if (f.next < f.o.references()) {
                const std::uint64_t child = reference(f.o, f.next++);
                if (child >= count_) return fail("a reference to an object that does not exist");
                if (height_[child] == kOpen) return fail("a value that contains itself");
                if (height_[child] == kUnvisited) {
                    if (!enter(child)) return false;
                    if (height_[child] == kOpen) { // entered: its children come first
                        --stack[stack.size() - 2].next;
                        continue;
                    }
                }
                f.height = std::max<std::uint16_t>(f.height, std::uint16_t(height_[child] + 1));
                f.cost += cost_[child];
                if (f.height > maxDepth) {
                    limitMessage_ = "The property list is nested deeper than " +
                                    std::to_string(limits_.maxDepth) + " levels.";
                    return false;
                }
                if (f.cost > budget) {
                    limitMessage_ = "The property list would take more than " +
                                    std::to_string(limits_.maxExpandedBytes) +
                                    " bytes once read: it refers to its values too many times.";
                    return false;
                }
                continue;
            }
            height_[f.index] = f.height;
            cost_[f.index] = std::uint32_t(f.cost);
            stack.pop_back();
        }
        if (cost_[top_] > budget) {
            limitMessage_ = "The property list would take more than " +
                            std::to_string(limits_.maxExpandedBytes) + " bytes once read.";
            return false;
        }
        return true;
    }

    std::optional<std::string> text(const Object& o) {
        std::string out;
        if (o.kind == kASCII) {
            out.assign(reinterpret_cast<const char*>(b_.data() + o.payload), o.count);
        } else {
            out.reserve(o.count);
            for (std::uint64_t i = 0; i < o.count; ++i) {
                char32_t c = char32_t(readBE(b_.data() + o.payload + 2 * i, 2));
                if (c >= 0xD800 && c <= 0xDBFF && i + 1 < o.count) {
                    const char32_t low = char32_t(readBE(b_.data() + o.payload + 2 * (i + 1), 2));
                    if (low >= 0xDC00 && low <= 0xDFFF) {
                        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                        ++i;
                    }
                }
                if (c >= 0xD800 && c <= 0xDFFF) {
                    fail("a UTF-16 string with an unpaired surrogate");
                    return std::nullopt;
                }
                if (c < 0x80) {
                    out += char(c);
                } else if (c < 0x800) {
                    out += char(0xC0 | (c >> 6));
                    out += char(0x80 | (c & 0x3F));
                } else if (c < 0x10000) {
                    out += char(0xE0 | (c >> 12));
                    out += char(0x80 | ((c >> 6) & 0x3F));
                    out += char(0x80 | (c & 0x3F));
                } else {
                    out += char(0xF0 | (c >> 18));
                    out += char(0x80 | ((c >> 12) & 0x3F));
                    out += char(0x80 | ((c >> 6) & 0x3F));
                    out += char(0x80 | (c & 0x3F));
                }
            }
        }
        if (const auto problem = textProblem(out)) {
            fail("a string " + shown(out) + " that holds " + *problem);
            return std::nullopt;
        }
        return out;
    }

    std::optional<Value> integer(const Object& o) {
        const std::uint8_t* p = b_.data() + o.payload;
        if (o.info < 3) return Value(static_cast<long long>(readBE(p, 1u << o.info)));
        if (o.info == 3) return Value(static_cast<long long>(readBE(p, 8))); // two's complement
        // Sixteen bytes: how values beyond the signed 64-bit range are written.
        const std::uint64_t high = readBE(p, 8), low = readBE(p + 8, 8);
        if (high == 0 && low <= std::uint64_t(INT64_MAX)) return Value(static_cast<long long>(low));
        if (high == ~std::uint64_t(0) && low > std::uint64_t(INT64_MAX))
            return Value(static_cast<long long>(low));
        fail(high == 0 ? "the integer " + std::to_string(low) + ", beyond the signed 64-bit range"
                       : std::string("an integer beyond the 64-bit range"));
        return std::nullopt;
    }

    std::optional<Value> build(std::uint64_t index) {
        Object o;
        if (!object(index, o)) return std::nullopt;
        switch (o.kind) {
        case kSimple:
            return Value(o.info == 0x9);
        case kInteger:
            return integer(o);
        case kReal: {
            const std::uint64_t raw = readBE(b_.data() + o.payload, 1u << o.info);
            if (o.info == 2) return Value(double(std::bit_cast<float>(std::uint32_t(raw))));
            return Value(std::bit_cast<double>(raw));
        }
        case kDate: {
            const double seconds = std::bit_cast<double>(readBE(b_.data() + o.payload, 8)) + kEpochOffset;
            if (!std::isfinite(seconds)) {
                fail("a date that is not a finite time");
                return std::nullopt;
            }
            return Value(Date{seconds});
        }
        case kData:
            return Value(Data(b_.begin() + std::ptrdiff_t(o.payload),
                              b_.begin() + std::ptrdiff_t(o.payload + o.count)));
        case kASCII:
        case kUTF16: {
            auto s = text(o);
            if (!s) return std::nullopt;
            return Value(std::move(*s));
        }
        case kArray:
        case kSet: {
            Array a;
            a.reserve(o.count);
            for (std::uint64_t i = 0; i < o.count; ++i) {
                auto item = build(reference(o, i));
                if (!item) return std::nullopt;
                a.push_back(std::move(*item));
            }
            return Value(std::move(a));
        }
        default: { // kDict
            Dictionary d;
            d.reserve(o.count);
            for (std::uint64_t i = 0; i < o.count; ++i) {
                Object key;
                if (!object(reference(o, i), key)) return std::nullopt;
                if (key.kind != kASCII && key.kind != kUTF16) {
                    fail("a dictionary key that is not a string");
                    return std::nullopt;
                }
                auto k = text(key);
                auto item = k ? build(reference(o, o.count + i)) : std::nullopt;
                if (!item) return std::nullopt;
                d.set(std::move(*k), std::move(*item));
            }
            return Value(std::move(d));
        }
        }
    }

    std::span<const std::uint8_t> b_;
    const Limits& limits_;
    unsigned offsetSize_ = 0, refSize_ = 0;
    std::uint64_t count_ = 0, top_ = 0, table_ = 0;
    std::vector<std::uint16_t> height_;
    std::vector<std::uint32_t> cost_;
    std::string problem_, limitMessage_;
};

} // namespace

Result<Value> parseBinary(std::span<const std::uint8_t> bytes, const Limits& limits) {
    return BinaryReader(bytes, limits).read();
}

} // namespace plat::plist::detail
