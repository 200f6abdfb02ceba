// Counting per person.
#include "people/grouping.h"

#include <algorithm>
#include <unordered_map>

namespace lifelog_tool {

std::vector<PersonCount> countByPerson(Directory& people,
                                       const std::vector<std::pair<std::string, int64_t>>& counted,
                                       size_t limit) {
    std::vector<std::pair<std::string, int64_t>> numbers = counted;
    std::stable_sort(numbers.begin(), numbers.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    std::vector<PersonCount> result;
    std::unordered_map<std::string, size_t> byKey;
    for (const auto& [number, count] : numbers) {
        Who who = people.who(number);
        auto [at, added] = byKey.emplace(who.key, result.size());
        if (added) {
            result.push_back(PersonCount{std::move(who), {}, 0});
        }
        result[at->second].numbers.push_back(number);
        result[at->second].count += count;
    }
    std::stable_sort(result.begin(), result.end(), [](const PersonCount& a, const PersonCount& b) {
        return a.count != b.count ? a.count > b.count : a.who.key < b.who.key;
    });
    if (limit > 0 && result.size() > limit) {
        result.resize(limit);
    }
    return result;
}

}  // namespace lifelog_tool
