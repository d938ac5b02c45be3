#pragma once
// Numbers as the results list, the calibration page and the scale bar show
// them: always with a decimal point, whatever the process locale says.
#include <string>

namespace shell {

// printf's "%.<decimals>f".
std::string FormatFixed(double value, int decimals);
// "(%.1f,%.1f)".
std::string FormatPoint(float x, float y);
// A decimal number as typed by a person: blanks around it are ignored and a
// decimal comma is read like a point ("0,5" = "0.5"). False when the text is
// not entirely one finite number.
bool ParseDecimal(const std::string& text, double& value);

} // namespace shell
