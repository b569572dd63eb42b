// The VB runtime's string functions the plug-in uses: Replace, Split, UCase
// of the texts it compares, and two-digit fields.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tavirex {

// Replace(text, find, with): every occurrence, left to right, case-sensitive.
std::string Replace(std::string_view text, std::string_view find, std::string_view with);

// Split(text, separator): "" gives one empty field, as in VB.
std::vector<std::string> Split(std::string_view text, char separator);

// Field i of a Split result; 9 "Subscript out of range" past the end.
const std::string& Field(const std::vector<std::string>& fields, std::size_t index);

// Trim(text): leading and trailing blanks (spaces only, not tabs).
std::string Trim(std::string_view text);

// Upper case of ASCII letters (UCase for the texts this plug-in compares).
std::string UpperAscii(std::string_view text);
bool EqualsIgnoreCaseAscii(std::string_view a, std::string_view b);

// Two digits with a leading zero ("05").
std::string TwoDigits(int value);

}  // namespace tavirex
