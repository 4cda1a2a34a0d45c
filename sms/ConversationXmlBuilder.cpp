#include "sms/ConversationXmlBuilder.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

#include "sqlite_recovery/framework/Base64.h"
#include "sms/CPartTableRow.h"
#include "sms/CPduTableRow.h"
#include "sms/CSmsTableRow.h"
#include "sqlite_recovery/framework/IVirtualDevice.h"
#include "sms/PartFileName.h"
#include "sms/SmilReader.h"
#include "sms/SmsXmlAttributes.h"
#include "platform/PlatformFile.h"
#include "platform/StringConversion.h"
#include "sms/SmsRowAs.h"

namespace {
// What a message is in its box, by the sms table's type; for the text-only messages (type 7), whose
// box nobody knows, where their text was found; for a record that kept no type, that nobody knows.
const char* SmsMessageKind(const CSmsTableRow* sms) {
    static const char* const kKinds[] = {nullptr, "received", "sent", "draft", "outbox", "failed", "queued"};
    if (sms->type == kTextOnlySmsType) return sms->fromSnippet ? "snippet" : "index";
    if (!sms->typeKnown) return "unknown";
    return sms->type >= 1 && sms->type <= 6 ? kKinds[sms->type] : nullptr;
}

// The same by the pdu table's message box.
const char* MmsMessageKind(int box) {
    static const char* const kKinds[] = {nullptr, "received", "sent", "draft", "outbox"};
    return box >= 1 && box <= 4 ? kKinds[box] : nullptr;
}


constexpr size_t kMaxDevicePathChars = 259;  // plus the terminator

// A number as an attribute carries it: decimal, with a sign when negative.
struct DecimalText {
    char text[24];
    explicit DecimalText(int64_t value) { std::snprintf(text, sizeof text, "%" PRId64, value); }
};

}  // namespace

ResultCode ReadWholeFile(const std::wstring& path, uint64_t maxBytes, std::unique_ptr<unsigned char[]>* data,
                         uint64_t* size) {
    platform::PlatformFile file;
    if (!file.Open(platform::WideToUtf8(path), platform::PlatformFile::Mode::Read)) return RK_FAIL(RK_E_FAIL);
    long long length = file.Size();
    if (length <= 0 || static_cast<uint64_t>(length) > maxBytes) return RK_FAIL(RK_E_FAIL);
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[static_cast<size_t>(length)]);
    if (!buffer) return RK_FAIL(RK_E_FAIL);
    if (!file.ReadAt(0, buffer.get(), static_cast<size_t>(length))) return RK_FAIL(RK_E_FAIL);
    *data = std::move(buffer);
    *size = static_cast<uint64_t>(length);
    return RK_OK;
}

ConversationXmlBuilder::ConversationXmlBuilder(IVirtualDevice* device, std::wstring saveFolder)
    : device_(device), saveFolder_(std::move(saveFolder)) {}

ConversationXmlBuilder::~ConversationXmlBuilder() {}

void ConversationXmlBuilder::Reset() {
    session_.reset();
    row_ = nullptr;
    itemAdded_ = false;
    smilOrder_.clear();
    smilNames_.clear();
    partWritten_ = false;
    partCut_ = false;
    messageTotal_ = 0;
    deletedTotal_ = 0;
    partFileCounter_ = 0;
    pendingLeaves_.clear();
}

std::unique_ptr<CSMSSession> ConversationXmlBuilder::BuildSession(const std::string& number, const std::string* name,
                                                                  const std::vector<CTableRow*>& rows) {
    std::unique_ptr<CSMSSession> done;
    if (rows.empty()) return done;
    Reset();
    session_.reset(new (std::nothrow) CSMSSession);
    if (!session_) return done;
    for (size_t i = 0; i < rows.size(); ++i) {
        // A conversation's rows lie far apart in memory: the next ones are fetched while this one
        // is written, rather than waited for each in turn.
        if (i + 2 < rows.size()) __builtin_prefetch(rows[i + 2]);
        if (i + 1 < rows.size())
            if (const CSmsTableRow* next = SmsRowAs<const CSmsTableRow>(rows[i + 1])) __builtin_prefetch(next->body.data());
        CTableRow* row = rows[i];
        row_ = row;
        if (!row) continue;
        if (row->tableKind == kSmsKind) AddSmsElement();
        else if (row->tableKind == kPduKind) AddMmsElement();
    }
    // The root's attributes in the order they are set: the number and name first, the totals last.
    TiXmlElement root("sms_and_mms");
    root.SetAttribute("number", number.c_str());
    if (name) root.SetAttribute("name", name->c_str());
    root.SetAttribute("total", DecimalText(static_cast<int64_t>(messageTotal_)).text);
    root.SetAttribute("deleted_count", DecimalText(static_cast<int64_t>(deletedTotal_)).text);
    std::string head, tail;
    if (itemAdded_ && XmlItemPrinter("sms_and_mms").PrintHead(root, &head, &tail)) {
        session_->FinishWritten(std::move(head), std::move(tail), number, name ? *name : std::string(),
                                ClampToInt(static_cast<int64_t>(messageTotal_)),
                                ClampToInt(static_cast<int64_t>(deletedTotal_)));
        done = std::move(session_);
    }
    Reset();
    return done;
}

std::unique_ptr<char[]> ConversationXmlBuilder::Build(const std::string& number, const std::string* name,
                                                      const std::vector<CTableRow*>& rows) {
    std::unique_ptr<char[]> text;
    std::unique_ptr<CSMSSession> session = BuildSession(number, name, rows);
    if (!session) return text;
    const std::string document = session->DocumentText();
    text.reset(new (std::nothrow) char[document.size() + 1]);
    if (text) std::memcpy(text.get(), document.c_str(), document.size() + 1);
    return text;
}

void ConversationXmlBuilder::KeepMessage(XmlItemPrinter* printer, const SmsMessageContent& content) {
    const char* piece = nullptr;
    size_t size = 0;
    if (printer->PrintItems(&piece, &size)) session_->AddWrittenMessage(content, piece, size);
}

void ConversationXmlBuilder::AddSmsElement() {
    auto* sms = SmsRowAs<CSmsTableRow>(row_);
    if (!sms || sms->body.empty()) return;
    itemAdded_ = true;
    if (!smsPrinter_) {
        smsPrinter_.reset(new XmlItemPrinter("sms_and_mms"));
        smsItem_ = new TiXmlElement("sms");
        // The attributes every message has, in their order; their values are set for each.
        for (const char* attribute : {"type", "date", "send", "failed", "deleted"}) smsItem_->SetAttribute(attribute, "");
        auto* leaf = new TiXmlElement("text");
        smsText_ = new TiXmlText("");
        leaf->LinkEndChild(smsText_);
        leaf->SetAttribute("type", "1");
        smsItem_->LinkEndChild(leaf);
        smsPrinter_->Root()->LinkEndChild(smsItem_);
    }
    // Made once and filled for each message: its list of parts keeps its room.
    SmsMessageContent& content = smsContent_;
    content.parts.clear();
    content.type = 1;
    content.date = sms->date;
    content.send = sms->type == 1 ? 0 : 1;
    content.failed = sms->type >= 4 && sms->type <= 6;
    content.deleted = sms->live ? 0 : 1;
    content.kind = SmsMessageKind(sms);
    content.cut = sms->cut;
    smsItem_->SetAttribute("type", "1");
    smsItem_->SetAttribute("date", DecimalText(content.date).text);
    smsItem_->SetAttribute("send", content.send ? "1" : "0");
    smsItem_->SetAttribute("failed", content.failed ? "1" : "0");
    smsItem_->SetAttribute("deleted", content.deleted ? "1" : "0");
    // The attributes some messages have come after the others, in their order.
    const bool hadKind = smsItem_->Attribute("kind") != nullptr, hadCut = smsItem_->Attribute("cut") != nullptr;
    if (hadKind != (content.kind != nullptr) || hadCut != content.cut) {
        smsItem_->RemoveAttribute("kind");
        smsItem_->RemoveAttribute("cut");
    }
    if (content.kind) smsItem_->SetAttribute("kind", content.kind);
    if (content.cut) smsItem_->SetAttribute("cut", "1");
    // A body is written up to a zero byte it may hold, as the leaf's text takes it.
    smsText_->SetValue(sms->body.c_str());
    SmsPartContent text;
    text.type = 1;
    text.text = sms->body.c_str();
    text.textSize = std::strlen(text.text);
    content.parts.push_back(text);
    KeepMessage(smsPrinter_.get(), content);
    ++messageTotal_;
    if (!sms->live) ++deletedTotal_;
}

void ConversationXmlBuilder::AddMmsElement() {
    auto* mms = SmsRowAs<CPduTableRow>(row_);
    if (!mms || mms->parts.empty()) return;
    smilOrder_.clear();
    smilNames_.clear();
    partWritten_ = false;
    partCut_ = false;
    pendingLeaves_.clear();

    BuildSmilOrder(mms);
    EmitPartsInSmilOrder(mms);
    EmitRemainingParts(mms);

    // An MMS none of whose parts could be written leaves no trace in the document.
    if (partWritten_) {
        if (!mmsPrinter_) mmsPrinter_.reset(new XmlItemPrinter("sms_and_mms"));
        SmsMessageContent content;
        content.type = 2;
        content.date = mms->date;
        content.send = mms->messageBox == 1 ? 0 : 1;
        content.failed = mms->messageBox == 4;
        content.deleted = mms->live ? 0 : 1;
        content.kind = MmsMessageKind(mms->messageBox);
        content.cut = partCut_;
        auto* item = new TiXmlElement("mms");
        item->SetAttribute("type", "2");
        item->SetAttribute("date", DecimalText(content.date).text);
        item->SetAttribute("send", content.send ? "1" : "0");
        item->SetAttribute("failed", content.failed ? "1" : "0");
        item->SetAttribute("deleted", content.deleted ? "1" : "0");
        if (content.kind) item->SetAttribute("kind", content.kind);
        if (content.cut) item->SetAttribute("cut", "1");
        for (const PendingLeaf& leaf : pendingLeaves_) {
            auto* element = new TiXmlElement(leaf.name.c_str());
            element->LinkEndChild(new TiXmlText(leaf.text.c_str()));
            for (const auto& attribute : leaf.attributes)
                element->SetAttribute(attribute.first.c_str(), attribute.second.c_str());
            item->LinkEndChild(element);
            SmsPartContent part;
            part.type = leaf.type;
            part.named = leaf.name == "value";  // a file always has its name written, if empty
            part.fileName = leaf.fileName.c_str();
            part.text = leaf.text.c_str();
            part.textSize = std::strlen(part.text);
            part.declaredLength = leaf.length;
            content.parts.push_back(part);
        }
        mmsPrinter_->Root()->LinkEndChild(item);
        KeepMessage(mmsPrinter_.get(), content);
        mmsPrinter_->Root()->Clear();
        ++messageTotal_;
        if (!mms->live) ++deletedTotal_;
    }
    pendingLeaves_.clear();
    smilOrder_.clear();
    smilNames_.clear();
    partWritten_ = false;
}

void ConversationXmlBuilder::AddPartElement(const CPartTableRow* part) {
    switch (part->contentClass) {
    case kPartPlainText:
        AddTextPart(part);
        break;
    case kPartOtherText:
    case kPartApplication:
        ExtractPartFile(part, 5);
        break;
    case kPartImage:
    case kPartAudio:
    case kPartVideo:
        ExtractPartFile(part, part->contentClass);
        break;
    default:
        break;
    }
}

ResultCode ConversationXmlBuilder::AddTextPart(const CPartTableRow* part) {
    partWritten_ = true;
    itemAdded_ = true;
    partCut_ = partCut_ || part->cut;
    PendingLeaf leaf;
    leaf.name = "text";
    leaf.text = part->text;
    leaf.attributes.emplace_back("type", "1");
    leaf.type = 1;
    pendingLeaves_.push_back(std::move(leaf));
    return RK_OK;
}

ResultCode ConversationXmlBuilder::ExtractPartFile(const CPartTableRow* part, int leafType) {
    if (!device_ || part->dataPath.empty()) return RK_FAIL(RK_E_FAIL);
    std::wstring remote = platform::Utf8ToWide(part->dataPath);
    if (remote.empty() || remote.size() > kMaxDevicePathChars) return RK_FAIL(RK_E_FAIL);
    std::wstring local = saveFolder_ + L"/data.bin";
    ResultCode rc = device_->PullFile(remote.c_str(), local.c_str());
    if (Failed(rc)) return rc;

    std::unique_ptr<unsigned char[]> data;
    uint64_t size = 0;
    rc = ReadWholeFile(local, kMaxPartFileBytes, &data, &size);
    if (Failed(rc)) return rc;
    std::string encoded = Base64Encode(data.get(), static_cast<size_t>(size));
    if (encoded.empty()) return RK_FAIL(RK_E_FAIL);

    partWritten_ = true;
    itemAdded_ = true;
    PendingLeaf leaf;
    leaf.name = "value";
    leaf.text = std::move(encoded);
    leaf.type = leafType;
    leaf.length = static_cast<int64_t>(size);
    leaf.fileName = MakePartFileName(part->Location(), &partFileCounter_);
    leaf.attributes.emplace_back("type", std::to_string(leafType));
    leaf.attributes.emplace_back("length", std::to_string(size));
    leaf.attributes.emplace_back("path", part->dataPath);
    leaf.attributes.emplace_back("filename", leaf.fileName);
    pendingLeaves_.push_back(std::move(leaf));
    return RK_OK;
}

void ConversationXmlBuilder::BuildSmilOrder(const CPduTableRow* mms) {
    for (const CTableRow* row : mms->parts) {
        auto* part = static_cast<const CPartTableRow*>(row);
        if (part->contentClass != kPartSmil || part->text.empty()) continue;
        SmilReader::Parse(part->text.c_str(), smilOrder_);
        smilNames_.insert(smilOrder_.begin(), smilOrder_.end());
        return;
    }
}

void ConversationXmlBuilder::EmitPartsInSmilOrder(const CPduTableRow* mms) {
    for (const std::string& name : smilOrder_)
        for (const CTableRow* row : mms->parts) {
            auto* part = static_cast<const CPartTableRow*>(row);
            if (part->contentClass != kPartSmil && part->Location() == name) AddPartElement(part);
        }
}

void ConversationXmlBuilder::EmitRemainingParts(const CPduTableRow* mms) {
    for (const CTableRow* row : mms->parts) {
        auto* part = static_cast<const CPartTableRow*>(row);
        if (part->contentClass != kPartSmil && !smilNames_.count(part->Location())) AddPartElement(part);
    }
}
