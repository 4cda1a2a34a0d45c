#pragma once
#include <functional>
#include <vector>

#include "sqlite_recovery/framework/CXmlWriter.h"
#include "contacts/ISwapContact.h"
#include "contacts/JoinedContact.h"

// Turns one joined contact into XML documents (one per distinct name) and feeds the contact's
// numbers and addresses with its name into the lookup. Each printed document goes to the sink,
// which adds it to the result container under the next record id.
class CContactXmlBuilder {
public:
    using DocumentSink = std::function<void(const char* xml)>;
    // The text with the document it was printed from, which lives until the call returns.
    using TreeSink = std::function<void(const char* xml, const TiXmlElement* root)>;

    CContactXmlBuilder(ISwapContact* lookup, DocumentSink sink) : lookup_(lookup), sink_(std::move(sink)) {}
    CContactXmlBuilder(ISwapContact* lookup, TreeSink sink) : lookup_(lookup), treeSink_(std::move(sink)) {}
    CContactXmlBuilder(const CContactXmlBuilder&) = delete;
    CContactXmlBuilder& operator=(const CContactXmlBuilder&) = delete;

    void SetLookup(ISwapContact* lookup) { lookup_ = lookup; }

    // Collects the names, then builds one contact per name (or one without a name).
    void ProcessContact(const JoinedContact& contact);

    // The leading name rows, one per distinct display name, a live row preferred to a recovered one.
    static size_t CollectNameRows(const std::vector<JoinedField>& fields, std::vector<const JoinedField*>& names);
    // Of a live, undeleted raw contact's names, those that name it now; the others, its names
    // before, go to earlier when given.
    static void KeepCurrentNames(const JoinedContact& contact, std::vector<const JoinedField*>& names,
                                 std::vector<const JoinedField*>* earlier = nullptr);
    void BuildContactsForNames(const JoinedContact& contact, const std::vector<const JoinedField*>& names);
    void BuildContactXml(const JoinedContact& contact, const JoinedField* name);

private:
    // The build state of the contact being written.
    struct ContactXmlContext {
        CXmlWriter* writer = nullptr;
        const JoinedField* row = nullptr;
        bool rawMark = false;
    };

    // Opens an item for the current row with its deleted mark (and, for a value before an edit,
    // its earlier mark), and its leaf.
    bool OpenItem(const char* item, const char* leaf, const std::string& value, bool deleted);
    void SetRes(int res);
    void SetCustomRes(const std::string& label);
    // "res" for a row typed by t: a code, or its custom label when t is 0 with a label.
    void SetTypedRes(int code, bool hasCode, int plainCode, bool hasPlain);

    void WriteNameItem(const JoinedField& name);
    // The names the contact had before an edit, after the one it goes by, marked earlier.
    void WriteEarlierNames(const JoinedField& name);
    void WritePhotoItem();
    void WriteNicknameItem();
    void WritePhoneItem(const JoinedField* name);
    void WriteEmailItem(const JoinedField* name);
    void WriteImItem();
    void WriteOrganizationItem();
    void WritePostalItem();
    void WriteGroupMembershipItems();
    void WriteEventItem();
    void WriteWebsiteItem();
    void WriteRelationItem();
    void WriteSipItem();
    void WriteNoteItem();
    void AddToLookup(const std::string& key, const JoinedField* name, bool isPhone);

    ISwapContact* lookup_;
    DocumentSink sink_;
    TreeSink treeSink_;
    ContactXmlContext context_;
    const std::vector<const JoinedField*>* earlierNames_ = nullptr;  // while a contact is processed
};
