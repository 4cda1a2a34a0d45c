#pragma once
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "sqlite_recovery/framework/ResultCode.h"

class CTableRow;
class CPduTableRow;
class CPartTableRow;
class CXmlWriter;
class IVirtualDevice;

// Largest attachment embedded in a conversation document.
constexpr uint64_t kMaxPartFileBytes = 16u * 1024u * 1024u;

// Writes one conversation as its XML document: the partner's number and name, one "sms" or "mms"
// element per message with its texts and embedded attachments (parts in presentation order).
// Attachments are copied from the device into the working folder one at a time.
class ConversationXmlBuilder {
public:
    ConversationXmlBuilder(IVirtualDevice* device, std::wstring saveFolder)
        : device_(device), saveFolder_(std::move(saveFolder)) {}

    // The printed document, or null when no message received content (then no id is to be used).
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
    };

    void Reset();

    IVirtualDevice* device_;
    std::wstring saveFolder_;

    CXmlWriter* writer_ = nullptr;
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
