#pragma once
// The contacts tables read together, as the contacts library's recovery object reads them, and
// what a test asks of the rows.
#include <map>
#include <string>
#include <vector>

#include "contacts/tables/CContactsTableAnalyze.h"
#include "contacts/tables/CDataTableAnalyze.h"
#include "contacts/tables/CDataTableRow.h"
#include "contacts/tables/CGroupsTableAnalyze.h"
#include "contacts/tables/CMimetypesTableAnalyze.h"
#include "contacts/tables/CPhoneLookupTableAnalyze.h"
#include "contacts/tables/CRawContactsTableAnalyze.h"
#include "contacts/tables/CSearchIndexContentTableAnalyze.h"

struct ContactTablesRun {
    CMimetypesTableAnalyze mimetypes;
    CContactsTableAnalyze contacts;
    CRawContactsTableAnalyze rawContacts;
    CGroupsTableAnalyze groups;
    CDataTableAnalyze data{&mimetypes, &groups};
    CSearchIndexContentTableAnalyze searchIndex;
    CPhoneLookupTableAnalyze phoneLookup;

    // The run order of the contacts recovery.
    std::vector<CTableAnalyze*> RunList() {
        return {&contacts, &rawContacts, &groups, &data, &searchIndex, &phoneLookup};
    }
    void SetVersion(VersionPair version) {
        mimetypes.SetVersion(&version);
        for (CTableAnalyze* analyzer : RunList()) analyzer->SetVersion(&version);
    }

    // Rows of multimap 0 of a table analyser, by id.
    template <class Row>
    static std::multimap<int64_t, Row*> Rows(CTableAnalyze& analyzer, int index = 0) {
        std::multimap<int64_t, Row*> rows;
        for (auto& entry : *analyzer.GetRows(index)) rows.emplace(entry.first, static_cast<Row*>(entry.second));
        return rows;
    }
    // The data rows of a kind.
    std::vector<CDataTableRow*> DataRows(int32_t kind) {
        std::vector<CDataTableRow*> rows;
        int index = CDataTableAnalyze::RowMapOfKind(kind);
        if (index < 0) return rows;
        for (auto& entry : *data.GetRows(index)) rows.push_back(static_cast<CDataTableRow*>(entry.second));
        return rows;
    }
    // "id:ToString" of every data row, live or not as asked.
    std::multimap<int64_t, std::string> DataTexts(bool live) {
        std::multimap<int64_t, std::string> texts;
        for (int index = 0; index < CTableAnalyze::kRowMapCount; ++index)
            for (auto& entry : *data.GetRows(index))
                if ((entry.second->live != 0) == live) texts.emplace(entry.first, entry.second->ToString());
        return texts;
    }
};
