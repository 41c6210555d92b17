#include "ClosestWord.h"

#include <algorithm>
#include <numeric>

size_t EditDistance(const std::string& a, const std::string& b)
{
    // Rows of the optimal-string-alignment table: two before this one are needed for swaps.
    std::vector<size_t> before(b.size() + 1), previous(b.size() + 1), row(b.size() + 1);
    std::iota(previous.begin(), previous.end(), size_t{0});
    for (size_t i = 1; i <= a.size(); ++i) {
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t replace = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            row[j] = std::min({previous[j] + 1, row[j - 1] + 1, replace});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                row[j] = std::min(row[j], before[j - 2] + 1);
        }
        before.swap(previous);
        previous.swap(row);
    }
    return previous[b.size()];
}

std::optional<std::string> ClosestWord(const std::string& word,
                                       const std::vector<std::string>& candidates)
{
    std::optional<std::string> best;
    size_t bestDistance = std::max<size_t>(2, word.size() / 3) + 1;
    for (const std::string& candidate : candidates) {
        const size_t distance = EditDistance(word, candidate);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = candidate;
        }
    }
    return best;
}
