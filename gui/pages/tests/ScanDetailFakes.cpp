#include "gui/pages/tests/ScanDetailFakes.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cstring>

#include "sqlite_recovery/framework/Lockers.h"

namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

bool Contains(const std::string& text, const char* keyword) {
    return !keyword || !*keyword || Upper(text).find(keyword) != std::string::npos;
}

class FakeItem : public IConactItem {
public:
    FakeItem(int resId, std::string label, std::string value, int* alive)
        : resId_(resId), label_(std::move(label)), value_(std::move(value)), alive_(alive) {
        ++*alive_;
    }
    void Release() override {
        --*alive_;
        delete this;
    }
    int GetResId() override { return resId_; }
    const char* GetLabel() override { return label_.c_str(); }
    int GetKind() override { return 1; }
    const char* GetValue() override { return value_.c_str(); }
    int GetLength() override { return static_cast<int>(value_.size()); }
    int GetFlag() override { return 0; }
    const char* GetRawText() override { return value_.c_str(); }

private:
    int resId_;
    std::string label_, value_;
    int* alive_;
};

class FakePartItem : public ISMSItem {
public:
    FakePartItem(const FakePart& part, int* alive) : part_(part), alive_(alive) { ++*alive_; }
    void Release() override {
        --*alive_;
        delete this;
    }
    const char* GetFileName() override { return nullptr; }
    int GetType() override { return part_.type; }
    const char* GetData() override { return part_.data.c_str(); }
    int GetLength() override { return static_cast<int>(part_.data.size() + (part_.type == 1 ? 1 : 0)); }

private:
    FakePart part_;
    int* alive_;
};

class FakeData : public ISMSData {
public:
    FakeData(const FakeMessage& message, int* alive) : message_(message), alive_(alive) { ++*alive_; }
    void Release() override {
        --*alive_;
        delete this;
    }
    ISMSItem* FirstItem() override {
        cursor_ = 0;
        return NextItem();
    }
    ISMSItem* NextItem() override {
        return cursor_ < message_.parts.size() ? new FakePartItem(message_.parts[cursor_++], alive_) : nullptr;
    }
    int IsDeleted() override { return message_.deleted; }
    int GetSend() override { return message_.sent; }
    int GetDate() override { return message_.date; }
    int GetType() override { return 1; }
    int Matches(const char* keyword) override {
        for (const FakePart& part : message_.parts)
            if (part.type == 1 && Contains(part.data, keyword)) return 1;
        return 0;
    }
    int IsFailed() override { return message_.failed; }
    int64_t GetDate64() override { return message_.date; }

private:
    FakeMessage message_;
    size_t cursor_ = 0;
    int* alive_;
};

class FakeReader : public IItemReader {
public:
    FakeReader(std::string bytes, int* wholeReads) : bytes_(std::move(bytes)), wholeReads_(wholeReads) {}
    unsigned Read(uint64_t offset, void* buf, unsigned len) override {
        ++*wholeReads_;
        if (offset >= bytes_.size()) return 0;
        const size_t n = std::min<size_t>(len, bytes_.size() - offset);
        std::memcpy(buf, bytes_.data() + offset, n);
        return static_cast<unsigned>(n);
    }
    int ReadSmall(void* buf, unsigned capacity) override {
        if (bytes_.size() > capacity) return 0;
        std::memcpy(buf, bytes_.data(), bytes_.size());
        return 1;
    }
    uint64_t GetSize64() override { return bytes_.size(); }
    unsigned GetSize() override { return static_cast<unsigned>(bytes_.size()); }
    void Release() override { delete this; }

private:
    std::string bytes_;
    int* wholeReads_;
};

}  // namespace

IConactItem* FakeContact::Item(int resId, const std::string& label, const std::string& value) {
    return value.empty() ? nullptr : new FakeItem(resId, label, value, &itemsAlive);
}

IConactItem* FakeContact::FirstItem() {
    cursor_ = 0;
    return NextItem();
}

IConactItem* FakeContact::NextItem() {
    if (cursor_ >= fields.size()) return nullptr;
    const FakeField& field = fields[cursor_++];
    return new FakeItem(field.resId, field.label, field.value, &itemsAlive);
}

int FakeContact::Matches(const char* keyword) {
    if (Contains(name, keyword)) return 1;
    for (const FakeField& field : fields)
        if (Contains(field.value, keyword)) return 1;
    return 0;
}

ISMSData* FakeSession::Data(size_t index) { return index < messages.size() ? new FakeData(messages[index], &alive) : nullptr; }
ISMSData* FakeSession::FirstData() {
    cursor_ = 0;
    return NextData();
}
ISMSData* FakeSession::NextData() { return Data(cursor_++); }
ISMSData* FakeSession::LastData() { return messages.empty() ? nullptr : Data(messages.size() - 1); }

int FakeSession::GetDeletedCount() {
    return static_cast<int>(std::count_if(messages.begin(), messages.end(), [](const FakeMessage& m) { return m.deleted; }));
}

int FakeSession::Matches(const char* keyword) {
    if (Contains(name, keyword) || Contains(number, keyword)) return 1;
    for (const FakeMessage& message : messages)
        for (const FakePart& part : message.parts)
            if (part.type == 1 && Contains(part.data, keyword)) return 1;
    return 0;
}

IItemReader* FakeJob::OpenItem(const _ARCHIVE_INFOMATION* item) {
    auto found = item ? files.find(item->id) : files.end();
    if (found == files.end()) return nullptr;
    ++opened;
    return new FakeReader(found->second, &wholeReads);
}

FakeController::FakeController() = default;
FakeController::~FakeController() = default;

unsigned FakeController::AddContact(FakeContact* contact) {
    autolocker<IDataContainer<_CONTACT_INFOMATION>*> lock(&contacts);
    const unsigned id = nextId_++;
    contacts.InsertItem(_CONTACT_INFOMATION{id, 0, contact});
    return id;
}

unsigned FakeController::AddSession(FakeSession* session) {
    autolocker<IDataContainer<_SMS_INFOMATION>*> lock(&sms);
    const unsigned id = nextId_++;
    sms.InsertItem(_SMS_INFOMATION{id, 0, session});
    return id;
}

unsigned FakeController::AddFile(const std::string& name, uint64_t size, bool deleted, const std::string& bytes) {
    autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> lock(&files);
    const unsigned id = nextId_++;
    nodes.emplace_back(new CTestNode(name, size, false, deleted));
    files.InsertItem(_ARCHIVE_INFOMATION{id, 0, 16, 0, 0, nodes.back().get(), 0});
    if (!bytes.empty()) job.files[id] = bytes;
    return id;
}

uint32_t FakeController::Check(unsigned id, int kind) {
    switch (kind) {
        case 1: {
            autolocker<IDataContainer<_CONTACT_INFOMATION>*> lock(&contacts);
            return contacts.Contains(id) ? contacts.At(id)->check : 0xFFFFFFFF;
        }
        case 2: {
            autolocker<IDataContainer<_SMS_INFOMATION>*> lock(&sms);
            return sms.Contains(id) ? sms.At(id)->check : 0xFFFFFFFF;
        }
        default: {
            autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> lock(&files);
            return files.Contains(id) ? files.At(id)->check : 0xFFFFFFFF;
        }
    }
}

std::string PngBytes(int width, int height, guint32 rgb) {
    GdkPixbuf* picture = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
    gdk_pixbuf_fill(picture, rgb << 8 | 0xFF);
    gchar* buffer = nullptr;
    gsize size = 0;
    gdk_pixbuf_save_to_buffer(picture, &buffer, &size, "png", nullptr, nullptr);
    std::string bytes(buffer, size);
    g_free(buffer);
    g_object_unref(picture);
    return bytes;
}
