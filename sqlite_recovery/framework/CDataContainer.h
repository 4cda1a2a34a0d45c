#pragma once
#include <cstring>
#include <string>
#include <unordered_set>

#include "sqlite_recovery/framework/IDataContainer.h"
#include "sqlite_recovery/framework/TextUtils.h"
#include "platform/CriticalSection.h"

// The one implementation of the result container, for every record type.
template <class T>
class RK_INTERFACE CDataContainer : public IDataContainer<T> {
public:
    using iterator = typename IDataContainer<T>::iterator;

    CDataContainer() = default;
    ~CDataContainer() override {}

    void Release() override {}  // the analyser owns the container
    int FreshCount() override { return static_cast<int>(fresh_.size()); }
    int Count() override { return static_cast<int>(all_.size()); }
    iterator FreshBegin() override { return iterator(fresh_.begin(), keyword_); }
    iterator FreshEnd() override { return iterator(fresh_.end(), keyword_); }
    void ClearFresh() override { fresh_.clear(); }
    iterator Begin() override { return iterator(all_.begin(), keyword_); }
    iterator End() override { return iterator(all_.end(), keyword_); }
    bool Contains(unsigned id) override { return all_.count(id) != 0; }

    T* At(unsigned id) override {
        auto found = all_.find(id);
        if (found != all_.end()) return &found->second;
        T zero;
        std::memset(static_cast<void*>(&zero), 0, sizeof zero);
        placeholders_.insert(id);
        return &all_.emplace(id, zero).first->second;
    }

    unsigned PopFresh() override {
        if (fresh_.empty()) return 0xFFFFFFFFu;
        auto first = fresh_.begin();
        unsigned id = first->first;
        fresh_.erase(first);
        return id;
    }

    void Lock() override { lock_.Enter(); }
    void Unlock() override { lock_.Leave(); }

    bool SetKeyword(const char* keyword) override {
        if (!keyword) {
            bool wasSet = !keyword_.empty();
            keyword_.clear();
            return wasSet;
        }
        std::string upper = StringToUpper(keyword);
        if (upper == keyword_) return false;
        keyword_ = upper;
        return true;
    }

    // The analyser's only way of adding; the caller holds the lock. An id already present keeps its
    // record, unless that record is only the zero placeholder that a consumer's At left behind.
    void InsertItem(const T& record) {
        auto placed = all_.emplace(record.id, record);
        T& stored = placed.first->second;
        if (!placed.second && !placeholders_.empty() && placeholders_.erase(record.id) != 0) {
            uint32_t check = stored.check;
            stored = record;
            stored.check = check;
        }
        fresh_.emplace(record.id, stored);
    }

    const std::string& Keyword() const { return keyword_; }
    ICommon* GetHelper() const { return helper_; }
    void SetHelper(ICommon* helper) { helper_ = helper; }

private:
    std::string keyword_;
    RecordMap<T> all_;
    RecordMap<T> fresh_;
    std::unordered_set<unsigned> placeholders_;
    CRITICAL_SECTION lock_;
    ICommon* helper_ = nullptr;  // not owned: the analyser that set it releases it
};
