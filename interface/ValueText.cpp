#include "ValueText.h"

#include <charconv>
#include <cmath>

namespace panel {

namespace {
template <class T>
std::string shortest(T value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    std::string text(buffer, end);
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}
} // namespace

std::string shortestText(float value) {
    return shortest(value);
}

std::string shortestText(double value) {
    return shortest(value);
}

} // namespace panel
