#pragma once
// Display texts of host parameters as the render tool compares them. Plug-ins
// parse a value from its display text but may quietly keep the old value or
// clamp to the range when the text makes no sense, so the tool reads the
// parsed value back as text and checks that it says what was asked for.

#include <string>

namespace render {

// The number a text starts with (after blanks, with an optional sign), how
// many decimals it was written with and where it ends. False when it starts
// otherwise.
bool leadingNumber(const std::string& text, double* value, int* decimals = nullptr, size_t* length = nullptr);

// Whether the text a value reads back as (shown) agrees with the text asked
// for (given): the same words ignoring case and blanks, or, when both start
// with a number, the same number to the precision shown ("-1" and "-1.0 dB",
// "12.34" and "12.3 ms", "8" and "8X"), the given text holding nothing after
// its number but the unit shown ("0x10", "1e0" and "3 ms" for "3.0 dB" do not
// agree).
bool displayTextAgrees(const std::string& given, const std::string& shown);

}  // namespace render
