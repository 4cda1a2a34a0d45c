#include "sms/SmsRowStore.h"

#include <string>

#include "sms/CAddrTableRow.h"
#include "sms/CCanonicalAddressesTableRow.h"
#include "sms/CPartTableRow.h"
#include "sms/CPduTableRow.h"
#include "sms/CSmsTableRow.h"
#include "sms/CThreadsTableRow.h"
#include "sms/CWordsContentTableRow.h"
#include "sqlite_recovery/framework/ValueHash.h"
#include "sms/SmsRowAs.h"

namespace {

// A hash of values that each row class's equality compares (a subset is enough: equal rows hash
// alike), chosen so that different messages hardly ever share one.
size_t HashOfContent(const CTableRow* row) {
    ValueHash h;
    h.Add(row->tableKind).Add(row->id);
    if (auto* sms = SmsRowAs<const CSmsTableRow>(row))
        h.Add(sms->threadId).Add(sms->date).Add(sms->type).Add(sms->body);
    else if (auto* pdu = SmsRowAs<const CPduTableRow>(row))
        h.Add(pdu->threadId).Add(pdu->date).Add(pdu->messageBox).Add(pdu->subject);
    else if (auto* part = SmsRowAs<const CPartTableRow>(row))
        h.Add(part->messageId).Add(part->sequence).Add(part->contentLocation).Add(part->dataPath).Add(part->text);
    else if (auto* words = SmsRowAs<const CWordsContentTableRow>(row))
        h.Add(words->rowId).Add(words->sourceId).Add(words->indexText);
    else if (auto* thread = SmsRowAs<const CThreadsTableRow>(row))
        h.Add(thread->date).Add(thread->snippet);
    else if (auto* addr = SmsRowAs<const CAddrTableRow>(row))
        h.Add(addr->messageId).Add(addr->type).Add(addr->address);
    else if (auto* canonical = SmsRowAs<const CCanonicalAddressesTableRow>(row))
        h.Add(canonical->address);
    return h.Value();
}

}  // namespace

void SmsRowStore::Index(Position position) {
    CTableRow* row = position->second;
    byContent_.Add(HashOfContent(row), position);
    auto* pdu = SmsRowAs<CPduTableRow>(row);
    if (pdu && pdu->idKnown) mmsVersions_.emplace(std::make_pair(pdu->id, pdu->threadId), position);
}

void SmsRowStore::ForgetIndexes() {
    byContent_.Clear();
    mmsVersions_.clear();
    indexed_ = false;
    expected_ = 0;
}

void SmsRowStore::Store(CTableRow* row) {
    if (!row) return;
    if (!indexed_) {
        byContent_.Reserve(rows_.size() + expected_);
        // The map's order among rows of one id is the order they were filed in.
        for (Position it = rows_.begin(); it != rows_.end(); ++it) Index(it);
        indexed_ = true;
    }
    // Stored rows are never equal to each other, so at most one of them equals the new row: the
    // order in which the index offers them does not matter.
    const size_t hash = HashOfContent(row);
    CTableRow* held = nullptr;
    if (byContent_.Find(hash, [&](Position at) { return (held = at->second)->Equals(row); })) {
        held->live = row->live;
        row->Release();
        return;
    }
    auto* pdu = SmsRowAs<CPduTableRow>(row);
    if (pdu && pdu->idKnown && !pdu->live) {
        // Versions of one MMS share its id and thread; recovered MMS whose ids were lost are not
        // versions of each other. Compared in the order they were filed.
        auto versions = mmsVersions_.equal_range(std::make_pair(pdu->id, pdu->threadId));
        for (auto it = versions.first; it != versions.second;) {
            auto* held = static_cast<CPduTableRow*>(it->second->second);
            if (held->live) {
                ++it;
                continue;
            }
            if (pdu->date <= held->date) {
                row->Release();
                return;
            }
            Position position = it->second;
            it = mmsVersions_.erase(it);
            Forget(position);
        }
    }
    Index(rows_.emplace(row->id, row));
}

// Takes a row out of the content index and the map, and releases it.
void SmsRowStore::Forget(Position position) {
    byContent_.Remove(HashOfContent(position->second), [&](Position at) { return at == position; });
    position->second->Release();
    rows_.erase(position);
}

void SmsRowStore::ReleaseAll() {
    ForgetIndexes();
    ReleaseSmsRows(rows_);
}

void ReleaseSmsRows(SmsRowMap& rows) {
    for (auto& entry : rows) entry.second->Release();
    rows.clear();
}
