#pragma once
#include <string>


#include "sqlite_recovery/framework/ICommon.h"
#include "sqlite_recovery/framework/RecordMap.h"

// Iterator over a container's entries {id, record}. It carries a copy of the container's keyword so
// that a consumer can skip the records that do not match it. The order is the hash map's.
template <class T>
class CDataIterator {
public:
    using Map = RecordMap<T>;
    using value_type = typename Map::value_type;

    CDataIterator() = default;
    CDataIterator(typename Map::iterator it, const std::string& keyword) : it_(it), keyword_(keyword) {}

    value_type& operator*() const { return *it_; }
    value_type* operator->() const { return &*it_; }
    CDataIterator& operator++() { ++it_; return *this; }
    bool operator==(const CDataIterator& other) const { return it_ == other.it_; }
    bool operator!=(const CDataIterator& other) const { return it_ != other.it_; }
    const std::string& Keyword() const { return keyword_; }

private:
    typename Map::iterator it_{};
    std::string keyword_;
};

// The result container of a recovery library. Every access happens between Lock and Unlock.
template <class T>
class RK_INTERFACE IDataContainer : public ICommon {
public:
    using iterator = CDataIterator<T>;

    ~IDataContainer() override {}
    void Release() override = 0;
    virtual int FreshCount() = 0;
    virtual int Count() = 0;
    virtual iterator FreshBegin() = 0;
    virtual iterator FreshEnd() = 0;
    virtual void ClearFresh() = 0;
    virtual iterator Begin() = 0;
    virtual iterator End() = 0;
    virtual bool Contains(unsigned id) = 0;
    // The record of that id; an unknown id gets a zero-filled record inserted under it.
    virtual T* At(unsigned id) = 0;
    // Removes the first fresh entry and returns its id; 0xFFFFFFFF when there is none.
    virtual unsigned PopFresh() = 0;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
    // Stores the keyword upper-cased; true when it changed.
    virtual bool SetKeyword(const char* keyword) = 0;
};
