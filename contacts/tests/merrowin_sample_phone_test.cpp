// libMerrowin.so, loaded by name, on the sample phone in each of its settings: every contact that
// the phone holds or left behind, each once, with its kinds, and the lookup for the SMS library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sqlite_recovery/framework/CDataContainer.h"
#include "outside/device/CDeviceFolder.h"
#include "contacts/IContactData.h"
#include "sqlite_recovery/framework/IRecoveryAnalyzer.h"
#include "contacts/ISwapContact.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "sqlite_recovery/framework/Lockers.h"
#include "platform/DynamicLibrary.h"

using ContactsAnalyzer = IRecoveryAnalyzer<IDataContainer<_CONTACT_INFOMATION>, IVirtualDevice>;

namespace {

struct Sink : IProgress {
    std::vector<uint32_t> states;
    std::vector<uint64_t> done;
    std::vector<int> kinds;
    void OnProgress(const PROGRESS_INFO* record) override {
        uint32_t state = record->state;  // packed: copied before it is bound to a reference
        uint64_t amount = record->done;
        states.push_back(state);
        done.push_back(amount);
    }
    void OnDataChanged(int kind) override { kinds.push_back(kind); }
    int ShouldContinue() override { return 1; }
};

struct Item {
    int res;
    std::string label, value;
    int kind, length;
};

struct Contact {
    unsigned id = 0;
    int deleted = 0;
    std::string name;
    std::vector<Item> items;
    Item photo{-1, "", "", 0, 0};
    IContactData* data = nullptr;
};

Item Read(IConactItem* item) {
    Item out{item->GetResId(), item->GetLabel(), "", item->GetKind(), item->GetLength()};
    if (item->GetValue()) out.value.assign(item->GetValue(), item->GetKind() == 2 ? item->GetLength() : std::string(item->GetValue()).size());
    item->Release();
    return out;
}

class MerrowinSamplePhoneTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        const char* root = std::getenv("RK_TESTDATA");
        ASSERT_NE(root, nullptr);
        ASSERT_TRUE(device_.Load(std::string(root) + "/" + GetParam()));
        platform::LibraryHandle library = platform::LoadLibraryW(L"Merrowin");
        ASSERT_NE(library, nullptr);
        auto create = reinterpret_cast<ICommon* (*)()>(platform::GetProcAddress(library, "CreateObject"));
        ASSERT_NE(create, nullptr);
        analyzer_ = dynamic_cast<ContactsAnalyzer*>(create());
        ASSERT_NE(analyzer_, nullptr);
        container_ = analyzer_->Initialize(&device_, &sink_);
        ASSERT_NE(container_, nullptr);
        rc_ = analyzer_->StartRecovery(nullptr);

        autolocker<IDataContainer<_CONTACT_INFOMATION>*> lock(container_);
        for (auto it = container_->Begin(); it != container_->End(); ++it) {
            Contact c;
            c.id = it->first;
            c.data = it->second.data;
            if (!c.data) continue;
            c.deleted = c.data->IsDeleted();
            if (IConactItem* name = c.data->GetName()) c.name = Read(name).value;
            if (IConactItem* photo = c.data->GetPhoto()) c.photo = Read(photo);
            for (IConactItem* item = c.data->FirstItem(); item; item = c.data->NextItem()) c.items.push_back(Read(item));
            contacts_.push_back(c);
        }
    }
    void TearDown() override {
        if (analyzer_) analyzer_->Release();
    }

    const Contact* Named(const std::string& name) {
        const Contact* found = nullptr;
        for (const Contact& c : contacts_)
            if (c.name == name) {
                EXPECT_EQ(found, nullptr) << name << " twice";
                found = &c;
            }
        return found;
    }
    static std::set<std::string> Values(const Contact& c, int res) {
        std::set<std::string> values;
        for (const Item& item : c.items)
            if (item.res == res) values.insert(item.value);
        return values;
    }

    CDeviceFolder device_;
    Sink sink_;
    ContactsAnalyzer* analyzer_ = nullptr;
    IDataContainer<_CONTACT_INFOMATION>* container_ = nullptr;
    ResultCode rc_ = 0;
    std::vector<Contact> contacts_;
};

}  // namespace

TEST_P(MerrowinSamplePhoneTest, EveryContactOnceWithItsState) {
    ASSERT_TRUE(Succeeded(rc_));
    const std::map<std::string, int> expected{
        {"Alice Anders", 0}, {"Bob Brown", 0},  {"Carol Chen", 0},  {"Dave Dunn", 0},
        {"Henry Holt", 0},   {"Jack Jones", 0}, {"Eve Evans", 1},   {"Frank Foster", 1},
        {"Grace Green", 1},  {"Ivy Irwin", 1}};
    std::map<std::string, int> found;
    for (const Contact& c : contacts_) {
        EXPECT_EQ(found.count(c.name), 0u) << c.name << " twice";
        found[c.name] = c.deleted;
    }
    EXPECT_EQ(found, expected);

    // Record ids 0..n-1, one data-changed call of kind 3 per record, the run ends at 100.
    std::vector<unsigned> ids;
    for (const Contact& c : contacts_) ids.push_back(c.id);
    std::sort(ids.begin(), ids.end());
    for (unsigned i = 0; i < ids.size(); ++i) EXPECT_EQ(ids[i], i);
    EXPECT_EQ(sink_.kinds, std::vector<int>(contacts_.size(), 3));
    ASSERT_FALSE(sink_.states.empty());
    EXPECT_EQ(sink_.states.back(), 3u);
    EXPECT_EQ(sink_.done.back(), 100u);
    EXPECT_TRUE(std::is_sorted(sink_.done.begin(), sink_.done.end()));
}

TEST_P(MerrowinSamplePhoneTest, AliceHasEveryKind) {
    const Contact* alice = Named("Alice Anders");
    ASSERT_NE(alice, nullptr);
    EXPECT_EQ(alice->deleted, 0);
    EXPECT_EQ(Values(*alice, 4866), (std::set<std::string>{"+1 650-555-0101"}));
    EXPECT_EQ(Values(*alice, 4867), (std::set<std::string>{"(650) 555-0111"}));
    bool boat = false, matrix = false;
    for (const Item& item : alice->items) {
        boat = boat || (item.res == -1 && item.label == "Boat" && item.value == "650-555-0199");
        matrix = matrix || (item.res == -1 && item.label == "Matrix" && item.value == "alice#42");
    }
    EXPECT_TRUE(boat);
    EXPECT_TRUE(matrix);
    EXPECT_EQ(Values(*alice, 5121), (std::set<std::string>{"alice@example.com"}));
    EXPECT_EQ(Values(*alice, 5122), (std::set<std::string>{"alice.anders@mail.acme.example"}));
    EXPECT_EQ(Values(*alice, 5380), (std::set<std::string>{"alice.anders"}));
    EXPECT_EQ(Values(*alice, 5633), (std::set<std::string>{"Acme Corp"}));
    EXPECT_EQ(Values(*alice, 5889), (std::set<std::string>{"Chief Engineer"}));
    EXPECT_EQ(Values(*alice, 6145), (std::set<std::string>{"12 Harbour Road\nPort Town 4021\nNew Zealand"}));
    EXPECT_EQ(Values(*alice, 6401), (std::set<std::string>{"My Contacts", "Family"}));
    EXPECT_EQ(Values(*alice, 6659), (std::set<std::string>{"1984-07-21"}));
    EXPECT_EQ(Values(*alice, 6913), (std::set<std::string>{"https://alice.example.com"}));
    EXPECT_EQ(Values(*alice, 7425), (std::set<std::string>{"alice@sip.example.com"}));
    EXPECT_EQ(Values(*alice, 7681), (std::set<std::string>{"Met at the conference; likes <tea> & cake"}));
    EXPECT_EQ(Values(*alice, 4609), (std::set<std::string>{"Ali"}));
    // The photo comes back as the JPEG it was stored as.
    EXPECT_EQ(alice->photo.kind, 2);
    ASSERT_GT(alice->photo.length, 100);
    EXPECT_EQ(alice->photo.value.substr(0, 3), "\xFF\xD8\xFF");
    EXPECT_EQ(alice->photo.value.substr(alice->photo.value.size() - 2), "\xFF\xD9");
    EXPECT_EQ(alice->data->Matches("ACME"), 1);
    EXPECT_EQ(alice->data->Matches("NOBODY"), 0);
}

TEST_P(MerrowinSamplePhoneTest, DeletedContactsKeepWhatSurvived) {
    const Contact* frank = Named("Frank Foster");  // hard-deleted
    ASSERT_NE(frank, nullptr);
    EXPECT_EQ(Values(*frank, 4865), (std::set<std::string>{"+1 650-555-0106"}));
    EXPECT_EQ(Values(*frank, 7681), (std::set<std::string>{"Old neighbour"}));
    const Contact* grace = Named("Grace Green");  // rows without their raw contact
    ASSERT_NE(grace, nullptr);
    EXPECT_EQ(Values(*grace, 5122), (std::set<std::string>{"grace@example.com.au"}));
    // A renamed contact: its old name is its own, marked as earlier, no contact of its own.
    const Contact* holt = Named("Henry Holt");
    ASSERT_NE(holt, nullptr);
    EXPECT_EQ(Values(*holt, 4866), (std::set<std::string>{"+1 650-555-0108"}));
    auto* holtDocument = dynamic_cast<IContactDocument*>(holt->data);
    ASSERT_NE(holtDocument, nullptr);
    if (std::string(GetParam()) != "sample_phone_legacy") {  // the old name lives in the log alone
        EXPECT_NE(std::string(holtDocument->GetDocumentText())
                      .find("<name deleted=\"1\" earlier=\"1\">\n        <value res=\"4097\">Henry Hill</value>"),
                  std::string::npos)
            << holtDocument->GetDocumentText();
    }
    const Contact* jack = Named("Jack Jones");
    ASSERT_NE(jack, nullptr);
    bool office = false;
    for (const Item& item : jack->items) office = office || (item.label == "Office" && item.value == "0171 555 0110");
    EXPECT_TRUE(office);
    EXPECT_EQ(Values(*jack, 7426), (std::set<std::string>{"jack@sip.example.net"}));
    EXPECT_EQ(Values(*jack, 6914), (std::set<std::string>{"http://jack.example.net/blog"}));
    EXPECT_EQ(Values(*jack, 6657), (std::set<std::string>{"2019-05-04"}));
}

// The documents as printed, for a live contact, a hard-deleted one and one whose raw contact is gone.
TEST_P(MerrowinSamplePhoneTest, GoldenDocuments) {
    const std::map<std::string, std::string> golden{
        {"Bob Brown",
         "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
         "<contact deleted=\"0\">\n"
         "    <name deleted=\"0\">\n"
         "        <value res=\"4097\" family=\"Brown\" given=\"Bob\">Bob Brown</value>\n"
         "    </name>\n"
         "    <phone deleted=\"0\">\n"
         "        <number res=\"4866\">+1 650-555-0102</number>\n"
         "    </phone>\n"
         "    <email deleted=\"0\">\n"
         "        <address res=\"5123\">bob.brown@example.net</address>\n"
         "    </email>\n"
         "    <group_membership deleted=\"0\">\n"
         "        <title res=\"6401\">Family</title>\n"
         "    </group_membership>\n"
         "</contact>\n"},
        {"Frank Foster",
         "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
         "<contact deleted=\"1\">\n"
         "    <name deleted=\"1\">\n"
         "        <value res=\"4097\" family=\"Foster\" given=\"Frank\">Frank Foster</value>\n"
         "    </name>\n"
         "    <phone deleted=\"1\">\n"
         "        <number res=\"4865\">+1 650-555-0106</number>\n"
         "    </phone>\n"
         "    <email deleted=\"1\">\n"
         "        <address res=\"5121\">frank.foster@example.com</address>\n"
         "    </email>\n"
         "    <note deleted=\"1\">\n"
         "        <title res=\"7681\">Old neighbour</title>\n"
         "    </note>\n"
         "</contact>\n"},
        {"Grace Green",
         "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
         "<contact deleted=\"1\">\n"
         "    <name deleted=\"0\">\n"
         "        <value res=\"4097\" family=\"Green\" given=\"Grace\">Grace Green</value>\n"
         "    </name>\n"
         "    <phone deleted=\"0\">\n"
         "        <number res=\"4867\">+61 2 9876 5432</number>\n"
         "    </phone>\n"
         "    <email deleted=\"0\">\n"
         "        <address res=\"5122\">grace@example.com.au</address>\n"
         "    </email>\n"
         "</contact>\n"},
    };
    for (const auto& expected : golden) {
        const Contact* contact = Named(expected.first);
        ASSERT_NE(contact, nullptr) << expected.first;
        auto* document = dynamic_cast<IContactDocument*>(contact->data);
        ASSERT_NE(document, nullptr);
        EXPECT_EQ(document->GetDocumentText(), expected.second);
    }
}

TEST_P(MerrowinSamplePhoneTest, HelperNamesNumbersAndAddresses) {
    auto* concrete = dynamic_cast<CDataContainer<_CONTACT_INFOMATION>*>(container_);
    ASSERT_NE(concrete, nullptr);
    ISwapContact* lookup = dynamic_cast<ISwapContact*>(concrete->GetHelper());
    ASSERT_NE(lookup, nullptr);
    SwapContactEntry entry;
    ASSERT_TRUE(lookup->Find("+8613800138000", &entry));
    EXPECT_EQ(entry.name, "Carol Chen");
    ASSERT_TRUE(lookup->Find("1252013912345678", &entry));
    EXPECT_EQ(entry.name, "Dave Dunn");
    ASSERT_TRUE(lookup->Find("+447700900123", &entry));
    EXPECT_EQ(entry.name, "Eve Evans");
    ASSERT_TRUE(lookup->Find("+16505550102", &entry));
    EXPECT_EQ(entry.name, "Bob Brown");
    EXPECT_EQ(entry.live, 1);
    ASSERT_TRUE(lookup->Find("alice@example.com", &entry));
    EXPECT_EQ(entry.name, "Alice Anders");
    EXPECT_FALSE(lookup->Find("+19999999999", &entry));
}

INSTANTIATE_TEST_SUITE_P(Settings, MerrowinSamplePhoneTest,
                         ::testing::Values("sample_phone", "sample_phone_nosd", "sample_phone_smswal",
                                           "sample_phone_legacy"));
