// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch_merge.h"

#include <optional>
#include <string>
#include <unordered_map>

namespace launch {
namespace {

std::string keyOf(const LaunchEntry& e) {
    return e.name + '\0' + e.path + '\0' + e.factor + '\0' + e.runFor + '\0' + e.wait + '\0' + e.closeToken + '\0' +
           e.minimizeToken;
}

// For each entry of base, the index of an equal entry in theirs (each used
// once, the first unused one), or -1 when theirs no longer holds it.
std::vector<long> matchBase(const std::vector<LaunchEntry>& base, const std::vector<LaunchEntry>& theirs) {
    std::unordered_map<std::string, std::vector<size_t>> unused;
    for (size_t i = theirs.size(); i-- > 0;) unused[keyOf(theirs[i])].push_back(i);
    std::vector<long> where(base.size(), -1);
    for (size_t k = 0; k < base.size(); ++k) {
        auto it = unused.find(keyOf(base[k]));
        if (it == unused.end() || it->second.empty()) continue;
        where[k] = static_cast<long>(it->second.back());
        it->second.pop_back();
    }
    return where;
}

}  // namespace

std::vector<LaunchEntry> mergeLaunchEntries(const std::vector<LaunchEntry>& base, const std::vector<LaunchEntry>& mine,
                                            const std::vector<int>& origins, const std::vector<LaunchEntry>& theirs) {
    if (theirs == base) return mine;
    const std::vector<long> where = matchBase(base, theirs);
    std::vector<std::optional<LaunchEntry>> result(theirs.begin(), theirs.end());
    std::vector<bool> kept(base.size(), false);
    std::vector<LaunchEntry> added;
    for (size_t i = 0; i < mine.size(); ++i) {
        const int origin = i < origins.size() ? origins[i] : -1;
        if (origin < 0 || static_cast<size_t>(origin) >= base.size()) {
            added.push_back(mine[i]);
            continue;
        }
        kept[static_cast<size_t>(origin)] = true;
        const long at = where[static_cast<size_t>(origin)];
        if (at >= 0)
            result[static_cast<size_t>(at)] = mine[i];
        else if (!(mine[i] == base[static_cast<size_t>(origin)]))
            added.push_back(mine[i]);
    }
    for (size_t k = 0; k < base.size(); ++k)
        if (!kept[k] && where[k] >= 0) result[static_cast<size_t>(where[k])].reset();
    std::vector<LaunchEntry> merged;
    for (auto& entry : result)
        if (entry) merged.push_back(std::move(*entry));
    merged.insert(merged.end(), added.begin(), added.end());
    return merged;
}

}  // namespace launch
