#pragma once
// The known word a mistyped one most likely meant: what a "did you mean" names, whether the
// slip was in a subcommand, an option or a field of a JSON request.
#include <optional>
#include <string>
#include <vector>

// How many single-character edits (insert, delete, replace, swap neighbours) turn a into b.
size_t EditDistance(const std::string& a, const std::string& b);

// The candidate closest to the word, when it is close enough to be a slip of the fingers (a
// third of the word's length, at least two edits); nothing otherwise. Ties go to the first.
std::optional<std::string> ClosestWord(const std::string& word,
                                       const std::vector<std::string>& candidates);
