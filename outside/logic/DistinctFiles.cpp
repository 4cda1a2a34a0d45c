#include "outside/logic/DistinctFiles.h"

#include <algorithm>

#include "media_recovery/IArchiveDataRecovery.h"
#include "media_recovery/file_model/IFileNode.h"
#include "outside/logic/FoundFileOpener.h"

namespace {

constexpr uint32_t kCarvedType = 20;
constexpr size_t kMostFolderDepth = 64;

bool IsCarved(const _ARCHIVE_INFOMATION& item) { return item.type == kCarvedType; }

// The names of the node's folders, outermost first, each followed by '/'.
std::string FolderNames(IFileNode* node) {
    std::vector<IFileNode*> chain;
    std::set<IFileNode*> seen{node};
    for (IFileNode* parent = node->GetParent(); parent && chain.size() < kMostFolderDepth; parent = parent->GetParent()) {
        if (!seen.insert(parent).second) break;
        chain.push_back(parent);
    }
    std::string folder;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const char* name = (*it)->GetName();
        if (name && *name) folder += std::string(name) + "/";
    }
    return folder;
}

}  // namespace

FoundFileFacts FactsOf(const _ARCHIVE_INFOMATION& item, IArchiveFileReader* reader) {
    FoundFileFacts facts;
    facts.carved = IsCarved(item);
    facts.unlisted = item.reserved == ARCHIVE_RECORD_UNLISTED;
    facts.search = item.type;
    if (item.node) {
        facts.deleted = item.node->IsDeleted();
        facts.size = item.node->GetSize();
        facts.name = item.node->GetName() ? item.node->GetName() : "";
        facts.folder = FolderNames(item.node);
    }
    auto* extent = dynamic_cast<IArchiveFileExtent*>(reader);
    facts.hasData = extent && extent->GetFirstByte(&facts.volume, &facts.firstByte);
    if (facts.hasData && !facts.carved) {
        uint64_t first = 0, bytes = 0;
        for (size_t i = 0; extent->GetStretch(i, &first, &bytes); ++i) facts.stretches.emplace_back(first, bytes);
    }
    return facts;
}

std::vector<FoundFileFacts> FactsOf(FoundFileOpener& opener, const std::vector<_ARCHIVE_INFOMATION>& items) {
    std::vector<FoundFileFacts> facts(items.size());
    facts.resize(
        opener.ForEachReader(items, [&](size_t i, IArchiveFileReader* reader) { facts[i] = FactsOf(items[i], reader); }));
    return facts;
}

bool DistinctFiles::IsLiveEntry(const _ARCHIVE_INFOMATION& item) {
    return !IsCarved(item) && !(item.node && item.node->IsDeleted());
}

bool DistinctFiles::JudgedBefore(const _ARCHIVE_INFOMATION& a, const _ARCHIVE_INFOMATION& b) {
    auto rank = [](const _ARCHIVE_INFOMATION& item) { return IsCarved(item) ? 2 : IsLiveEntry(item) ? 0 : 1; };
    const int rankA = rank(a), rankB = rank(b);
    return rankA != rankB ? rankA < rankB : a.id < b.id;
}

namespace {
// Adds [first, first + bytes) to the disjoint stretches, merging it with those it meets.
void AddStretch(std::map<uint64_t, uint64_t>& stretches, uint64_t first, uint64_t bytes) {
    if (bytes == 0) return;
    uint64_t end = first + bytes < first ? ~uint64_t{0} : first + bytes;
    auto it = stretches.upper_bound(first);
    if (it != stretches.begin() && std::prev(it)->second >= first) {
        --it;
        first = it->first;
        end = std::max(end, it->second);
        it = stretches.erase(it);
    }
    while (it != stretches.end() && it->first <= end) {
        end = std::max(end, it->second);
        it = stretches.erase(it);
    }
    stretches.emplace(first, end);
}
}  // namespace

bool DistinctFiles::InLiveData(const Start& byte) const {
    auto volume = liveData_.find(byte.first);
    if (volume == liveData_.end()) return false;
    auto after = volume->second.upper_bound(byte.second);
    return after != volume->second.begin() && byte.second < std::prev(after)->second;
}

bool DistinctFiles::MeetsLiveData(const FoundFileFacts& find) const {
    // [first, first + bytes) meets one of the disjoint stretches.
    auto meets = [](const std::map<uint64_t, uint64_t>& data, uint64_t first, uint64_t bytes) {
        const uint64_t end = first + bytes < first ? ~uint64_t{0} : first + bytes;
        auto after = data.upper_bound(first);
        if (after != data.begin() && first < std::prev(after)->second) return true;
        return after != data.end() && after->first < end;
    };
    for (const auto* kept : {&liveData_, &heldData_}) {
        auto volume = kept->find(find.volume);
        if (volume == kept->end()) continue;
        if (find.stretches.empty() && meets(volume->second, find.firstByte, 1)) return true;
        for (const auto& stretch : find.stretches)
            if (meets(volume->second, stretch.first, stretch.second)) return true;
    }
    return false;
}

DistinctFiles::Verdict DistinctFiles::Judge(const FoundFileFacts& find) {
    // Nothing tells on which volume a find without data lies, nor so whether two are one. A kind of
    // search lists each volume's files once, so its finds of one name, size and folders are files of
    // as many volumes; another kind (the whole-device search beside the quick one) lists them again,
    // and only those it finds beyond the most any kind found are new.
    if (!find.hasData) {
        if (find.unlisted) return Verdict::Unlisted;
        if (find.carved) return Verdict::Distinct;
        NoDataCount& count = noData_[std::make_pair(find.deleted, IdentityOf(find))];
        if (++count.listed[find.search] <= count.kept) return Verdict::Repeat;
        ++count.kept;
        return Verdict::Distinct;
    }
    const Start start(find.volume, find.firstByte);
    if (find.carved) {
        if (entries_.count(start) || InLiveData(start)) return Verdict::Repeat;
        return carved_.insert(start).second ? Verdict::Distinct : Verdict::Repeat;
    }
    if (find.unlisted) {
        // It counts against deleted entries only: a carved find inside a file the run does not
        // write is written, as nothing else of the run holds it.
        for (const auto& stretch : find.stretches) AddStretch(heldData_[find.volume], stretch.first, stretch.second);
        return Verdict::Unlisted;
    }
    entries_.insert(start);
    const Identity identity = IdentityOf(find);
    auto isThisFile = [&](const std::map<Start, std::vector<Identity>>& kept) {
        auto found = kept.find(start);
        return found != kept.end() &&
               std::find(found->second.begin(), found->second.end(), identity) != found->second.end();
    };
    if (!find.deleted) {
        if (isThisFile(live_)) return Verdict::Repeat;
        live_[start].push_back(identity);
        for (const auto& stretch : find.stretches) AddStretch(liveData_[find.volume], stretch.first, stretch.second);
        return Verdict::Distinct;
    }
    if (isThisFile(live_) || isThisFile(deleted_) || isThisFile(overwritten_)) return Verdict::Repeat;
    if (live_.count(start) || deleted_.count(start) || MeetsLiveData(find)) {
        overwritten_[start].push_back(identity);
        return Verdict::Overwritten;
    }
    deleted_[start].push_back(identity);
    return Verdict::Distinct;
}
