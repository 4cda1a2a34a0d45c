#pragma once
#include <glib.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "contacts/IContactData.h"
#include "logic_contract/IItemReader.h"
#include "logic_contract/IRecoveryJob.h"
#include "gui/shell/tests/QuietController.h"
#include "sms/ISMSSession.h"
#include "sqlite_recovery/framework/CDataContainer.h"
#include "testing/TestNodes.h"

// Data objects, containers and a controller of the test's own, for the scan detail view.

struct FakeField {
    int resId;
    std::string label;
    std::string value;
};

class FakeContact : public IContactData {
public:
    std::string name, phone, email, photo;  // an empty text: no such item
    std::vector<FakeField> fields;
    bool deleted = false;
    int itemsAlive = 0;  // items handed out and not released

    void Release() override {}
    IConactItem* FirstItem() override;
    IConactItem* NextItem() override;
    IConactItem* GetName() override { return Item(-1, "", name); }
    IConactItem* GetPhoto() override { return Item(-1, "", photo); }
    IConactItem* GetPhone() override { return Item(2, "", phone); }
    IConactItem* GetEmail() override { return Item(0x101, "", email); }
    int IsDeleted() override { return deleted ? 1 : 0; }
    int Matches(const char* keyword) override;

private:
    IConactItem* Item(int resId, const std::string& label, const std::string& value);
    size_t cursor_ = 0;
};

struct FakePart {
    int type;  // 1 text, 2 picture, 3 audio, 4 video, 5 other
    std::string data;
};

struct FakeMessage {
    bool deleted = false, sent = false, failed = false;
    int date = 0;
    std::vector<FakePart> parts;
};

class FakeSession : public ISMSSession {
public:
    std::string name, number;
    std::vector<FakeMessage> messages;
    int alive = 0;  // messages and parts handed out and not released

    void Release() override {}
    ISMSData* FirstData() override;
    ISMSData* NextData() override;
    ISMSData* LastData() override;
    const char* GetNumber() override { return number.c_str(); }
    const char* GetName() override { return name.c_str(); }
    int GetTotal() override { return static_cast<int>(messages.size()); }
    int GetDeletedCount() override;
    int Matches(const char* keyword) override;

private:
    ISMSData* Data(size_t index);
    size_t cursor_ = 0;
};

// A found file's bytes for the preview reader, by record id.
class FakeJob : public IRecoveryJob {
public:
    void Start(const char*, IResourceReader*, int) override {}
    IItemReader* OpenItem(const _ARCHIVE_INFOMATION* item) override;
    void Stop() override {}

    std::map<unsigned, std::string> files;
    int opened = 0;
    int wholeReads = 0;
};

// The three containers, filled by the test as a library fills them.
class FakeController : public QuietController {
public:
    FakeController();
    ~FakeController() override;
    IDataContainer<_CONTACT_INFOMATION>* GetContactContainer() override { return &contacts; }
    IDataContainer<_SMS_INFOMATION>* GetSmsContainer() override { return &sms; }
    IDataContainer<_ARCHIVE_INFOMATION>* GetArchiveContainer() override { return &files; }
    IRecoveryJob* GetRecoveryObject() override { return &job; }

    unsigned AddContact(FakeContact* contact);  // null: a record without its contact
    unsigned AddSession(FakeSession* session);
    unsigned AddFile(const std::string& name, uint64_t size, bool deleted, const std::string& bytes = "");
    uint32_t Check(unsigned id, int kind) ;  // kind 1 contacts, 2 sms, 3 files

    CDataContainer<_CONTACT_INFOMATION> contacts;
    CDataContainer<_SMS_INFOMATION> sms;
    CDataContainer<_ARCHIVE_INFOMATION> files;
    FakeJob job;
    std::vector<std::unique_ptr<CTestNode>> nodes;

private:
    unsigned nextId_ = 1;
};

// The bytes of a PNG picture of that size in one colour.
std::string PngBytes(int width, int height, guint32 rgb);
