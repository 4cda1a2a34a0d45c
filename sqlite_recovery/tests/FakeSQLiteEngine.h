#pragma once
// An in-memory stand-in for the SQLite engine: views holding named tables of decoded values, so
// that the controller and the table analysers can be driven through every path without a file.
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sqlite_recovery/controller/ISQLiteEngine.h"

struct FakeTable : ISQLiteTable {
    std::vector<std::string> columns;
    std::vector<std::vector<FieldValue>> live;
    std::vector<std::vector<FieldValue>> recovered;
    std::deque<std::string> texts;  // keeps the bytes of text and blob values alive
    int walkResult = 0;
    std::vector<bool> walks;  // view flag of every walk
    std::vector<int> badRecords;  // live record numbers whose decoding fails

    FieldValue Text(const std::string& text) {
        texts.push_back(text);
        return FieldValue::MakeText(texts.back().data(), static_cast<uint32_t>(texts.back().size()));
    }
    FieldValue Blob(const std::string& bytes) {
        texts.push_back(bytes);
        return FieldValue::MakeBlob(texts.back().data(), static_cast<uint32_t>(texts.back().size()));
    }
    // A record given as column name -> value; columns not named are NULL.
    std::vector<FieldValue> Record(const std::map<std::string, FieldValue>& values) const {
        std::vector<FieldValue> record(columns.size());
        for (const auto& entry : values) {
            int column = FindColumn(entry.first);
            if (column >= 0) record[column] = entry.second;
        }
        return record;
    }
    int Walk(bool viewFlag) override {
        walks.push_back(viewFlag);
        return walkResult;
    }
    int LiveCount() const override { return static_cast<int>(live.size()); }
    int RecoveredCount() const override { return walks.empty() || walks.back() ? 0 : static_cast<int>(recovered.size()); }
    int FindColumn(const std::string& name) const override {
        for (size_t i = 0; i < columns.size(); ++i)
            if (columns[i] == name) return static_cast<int>(i);
        return -1;
    }
    int GetValue(int record, int column, bool isLive, FieldValue* out) override {
        const auto& rows = isLive ? live : recovered;
        if (record < 0 || record >= static_cast<int>(rows.size())) return -1;
        if (isLive)
            for (int bad : badRecords)
                if (bad == record) return -4;
        if (column < 0) {
            *out = FieldValue();
            return 0;
        }
        if (column >= static_cast<int>(rows[record].size())) return -1;
        *out = rows[record][column];
        return 0;
    }
};

struct FakeView {
    bool readable = true;
    int flag = -1;  // -1: the view leaves the flag untouched
    std::map<std::string, std::shared_ptr<FakeTable>> tables;
};

struct FakeSQLiteEngine : ISQLiteEngine {
    std::vector<FakeView> views;
    int current = -1;
    bool open = false;
    bool readerOpen = false;
    std::vector<int> selected;  // every SelectView index

    ResultCode OpenDatabase(const std::wstring& path) override {
        if (path.empty()) return RK_FAIL(RK_E_FAIL);
        open = true;
        return RK_OK;
    }
    void CloseDatabase() override { open = false; }
    int ViewCount() override { return open ? static_cast<int>(views.size()) : 0; }
    ResultCode SelectView(int index, int* viewFlag) override {
        if (index < 0 || index >= static_cast<int>(views.size())) return RK_FAIL(RK_E_FAIL);
        current = index;
        selected.push_back(index);
        if (views[index].flag >= 0) *viewFlag = views[index].flag;
        return RK_OK;
    }
    void ReleaseView() override { current = -1; }
    int OpenReader() override {
        readerOpen = current >= 0 && views[current].readable;
        return readerOpen ? static_cast<int>(views[current].tables.size()) : -2;
    }
    void CloseReader() override { readerOpen = false; }
    ISQLiteTable* FindTable(const std::string& name) override {
        if (!readerOpen) return nullptr;
        auto found = views[current].tables.find(name);
        return found == views[current].tables.end() ? nullptr : found->second.get();
    }
};
