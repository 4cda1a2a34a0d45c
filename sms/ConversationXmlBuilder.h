#pragma once
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "sqlite_recovery/framework/ResultCode.h"

#include "sms/CSMSData.h"
#include "sms/CSMSSession.h"
#include "sqlite_recovery/framework/XmlItemPrinter.h"

class CTableRow;
class CPduTableRow;
class CPartTableRow;
class IVirtualDevice;

// Largest attachment embedded in a conversation document.
constexpr uint64_t kMaxPartFileBytes = 16u * 1024u * 1024u;

// Writes one conversation as its XML document: the partner's number and name, one "sms" or "mms"
// element per message with its texts and embedded attachments (parts in presentation order).
// Attachments are copied from the device into the working folder one at a time. The document is
// printed a message at a time, and the conversation's session is made as it is printed: nothing
// reads the text back.
class ConversationXmlBuilder {
public:
    ConversationXmlBuilder(IVirtualDevice* device, std::wstring saveFolder);
    ~ConversationXmlBuilder();

    // The conversation's session, or null when no message received content (then no id is to be
    // used).
    std::unique_ptr<CSMSSession> BuildSession(const std::string& number, const std::string* name,
                                              const std::vector<CTableRow*>& rows);
    // The printed document, or null as above.
    std::unique_ptr<char[]> Build(const std::string& number, const std::string* name,
                                  const std::vector<CTableRow*>& rows);

    void AddSmsElement();
    void AddMmsElement();
    void AddPartElement(const CPartTableRow* part);
    ResultCode AddTextPart(const CPartTableRow* part);
    ResultCode ExtractPartFile(const CPartTableRow* part, int leafType);
    void BuildSmilOrder(const CPduTableRow* mms);
    void EmitPartsInSmilOrder(const CPduTableRow* mms);
    void EmitRemainingParts(const CPduTableRow* mms);

private:
    struct PendingLeaf {
        std::string name;
        std::string text;
        std::vector<std::pair<std::string, std::string>> attributes;
        int type = 0;
        std::string fileName;  // "value" leaves only
        int64_t length = 0;
    };

    void Reset();
    // Prints the items under the printer's root as the next message, which says what content says.
    void KeepMessage(XmlItemPrinter* printer, const SmsMessageContent& content);

    IVirtualDevice* device_;
    std::wstring saveFolder_;

    std::unique_ptr<CSMSSession> session_;
    // An "sms" item with its one leaf, made once and written again for each SMS; each MMS's item is
    // made anew under the other printer.
    std::unique_ptr<XmlItemPrinter> smsPrinter_, mmsPrinter_;
    TiXmlElement* smsItem_ = nullptr;
    TiXmlText* smsText_ = nullptr;
    SmsMessageContent smsContent_;
    CTableRow* row_ = nullptr;
    bool itemAdded_ = false;
    std::vector<std::string> smilOrder_;
    std::set<std::string> smilNames_;
    bool partWritten_ = false;
    bool partCut_ = false;  // a text of the current MMS is only the part that could be read
    uint64_t messageTotal_ = 0;
    uint64_t deletedTotal_ = 0;
    uint32_t partFileCounter_ = 0;
    // The current MMS's leaves, written only once at least one part made it.
    std::vector<PendingLeaf> pendingLeaves_;
};

// Reads a whole file into a new buffer; fails for an empty file or one larger than maxBytes, before
// anything is allocated.
ResultCode ReadWholeFile(const std::wstring& path, uint64_t maxBytes, std::unique_ptr<unsigned char[]>* data,
                         uint64_t* size);
