// How many columns a terminal gives a UTF-8 text, so that a table's columns line up whatever names the
// keyboard holds (the command line prints names in UTF-8, also on a Windows console set to UTF-8).
#pragma once

#include <cstddef>
#include <string>

namespace su::cli {

// Two columns for East Asian wide and full-width characters (kana, kanji, hangul, full-width forms, most
// emoji), none for combining marks, one for everything else, including half-width katakana and a byte that
// is not UTF-8.
std::size_t DisplayColumns(const std::string& utf8);

// The start of `utf8` that fits in `columns` columns, cut between whole characters.
std::string CutToColumns(const std::string& utf8, std::size_t columns);

// `utf8` followed by spaces up to `columns` columns (nothing added when it is that wide already).
std::string PaddedToColumns(const std::string& utf8, std::size_t columns);

}  // namespace su::cli
