#include "app/shell/measure_page/NumberFormat.h"

#include <charconv>
#include <cmath>

namespace shell {

std::string FormatFixed(double value, int decimals)
{
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc())
        return {};
    return std::string(buffer, result.ptr);
}

std::string FormatPoint(float x, float y)
{
    // Appended piece by piece: GCC 12 warns falsely on "(" + temporary.
    std::string point = "(";
    point += FormatFixed(x, 1);
    point += ',';
    point += FormatFixed(y, 1);
    point += ')';
    return point;
}

bool ParseDecimal(const std::string& text, double& value)
{
    std::size_t begin = text.find_first_not_of(" \t");
    std::size_t end = text.find_last_not_of(" \t");
    if (begin == std::string::npos)
        return false;
    std::string number = text.substr(begin, end - begin + 1);
    if (number.find(',') != std::string::npos && number.find('.') != std::string::npos)
        return false; // "1,000.5" is not a length anyone types into this box
    for (char& c : number)
        if (c == ',')
            c = '.';
    const char* first = number.data();
    if (*first == '+')
        ++first;
    const auto result = std::from_chars(first, number.data() + number.size(), value);
    return result.ec == std::errc() && result.ptr == number.data() + number.size() && std::isfinite(value);
}

} // namespace shell
