// File: check/nearest_name.h - the name a mistyped word most likely stands for: a command of the
// program, a member of a configuration file.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace recaster::check {

// The number of single-character edits that turn `a` into `b`.
std::size_t EditDistance(std::string_view a, std::string_view b);

// The name of `names` that `word` most likely stands for: one it begins (two characters at least), or
// one a slip or two away, the nearest first; empty when none is that near.
std::string_view NearestName(std::string_view word, std::span<const std::string_view> names);

}  // namespace recaster::check
