#include "sms/ConversationXmlBuilder.h"

#include <new>

#include "sqlite_recovery/framework/Base64.h"
#include "sms/CPartTableRow.h"
#include "sms/CPduTableRow.h"
#include "sms/CSmsTableRow.h"
#include "sqlite_recovery/framework/CXmlWriter.h"
#include "sqlite_recovery/framework/IVirtualDevice.h"
#include "sms/PartFileName.h"
#include "sms/SmilReader.h"
#include "platform/PlatformFile.h"
#include "platform/StringConversion.h"

namespace {
// What a message is in its box, by the sms table's type; for the text-only messages (type 7), whose
// box nobody knows, where their text was found.
const char* SmsMessageKind(const CSmsTableRow* sms) {
    static const char* const kKinds[] = {nullptr, "received", "sent", "draft", "outbox", "failed", "queued"};
    if (sms->type == kTextOnlySmsType) return sms->fromSnippet ? "snippet" : "index";
    return sms->type >= 1 && sms->type <= 6 ? kKinds[sms->type] : nullptr;
}

// The same by the pdu table's message box.
const char* MmsMessageKind(int box) {
    static const char* const kKinds[] = {nullptr, "received", "sent", "draft", "outbox"};
    return box >= 1 && box <= 4 ? kKinds[box] : nullptr;
}


constexpr size_t kMaxDevicePathChars = 259;  // plus the terminator

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

void ConversationXmlBuilder::Reset() {
    delete writer_;
    writer_ = nullptr;
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

std::unique_ptr<char[]> ConversationXmlBuilder::Build(const std::string& number, const std::string* name,
                                                      const std::vector<CTableRow*>& rows) {
    std::unique_ptr<char[]> text;
    if (rows.empty()) return text;
    Reset();
    writer_ = new (std::nothrow) CXmlWriter;
    if (writer_ && Succeeded(writer_->Create())) {
        writer_->AddRoot("sms_and_mms");
        writer_->SetRootAttribute("number", number.c_str());
        if (name) writer_->SetRootAttribute("name", name->c_str());
        for (CTableRow* row : rows) {
            row_ = row;
            if (!row) continue;
            if (row->tableKind == kSmsKind) AddSmsElement();
            else if (row->tableKind == kPduKind) AddMmsElement();
        }
        writer_->SetRootAttributeInt64("total", static_cast<int64_t>(messageTotal_));
        writer_->SetRootAttributeInt64("deleted_count", static_cast<int64_t>(deletedTotal_));
        if (itemAdded_) text.reset(writer_->Print());
    }
    Reset();
    return text;
}

void ConversationXmlBuilder::AddSmsElement() {
    auto* sms = dynamic_cast<CSmsTableRow*>(row_);
    if (!sms || sms->body.empty()) return;
    itemAdded_ = true;
    writer_->AddItem("sms");
    writer_->SetItemAttributeInt("type", 1);
    writer_->SetItemAttributeInt64("date", sms->date);
    writer_->SetItemAttributeInt("send", sms->type == 1 ? 0 : 1);
    writer_->SetItemAttributeInt("failed", sms->type >= 4 && sms->type <= 6 ? 1 : 0);
    writer_->SetItemAttribute("deleted", sms->live ? "0" : "1");
    if (const char* kind = SmsMessageKind(sms)) writer_->SetItemAttribute("kind", kind);
    if (sms->cut) writer_->SetItemAttribute("cut", "1");
    writer_->AddLeaf("text", sms->body.c_str());
    writer_->SetLeafAttributeInt("type", 1);
    ++messageTotal_;
    if (!sms->live) ++deletedTotal_;
}

void ConversationXmlBuilder::AddMmsElement() {
    auto* mms = dynamic_cast<CPduTableRow*>(row_);
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
        writer_->AddItem("mms");
        writer_->SetItemAttributeInt("type", 2);
        writer_->SetItemAttributeInt64("date", mms->date);
        writer_->SetItemAttributeInt("send", mms->messageBox == 1 ? 0 : 1);
        writer_->SetItemAttributeInt("failed", mms->messageBox == 4 ? 1 : 0);
        writer_->SetItemAttribute("deleted", mms->live ? "0" : "1");
        if (const char* kind = MmsMessageKind(mms->messageBox)) writer_->SetItemAttribute("kind", kind);
        if (partCut_) writer_->SetItemAttribute("cut", "1");
        for (const PendingLeaf& leaf : pendingLeaves_) {
            writer_->AddLeaf(leaf.name.c_str(), leaf.text.c_str());
            for (const auto& attribute : leaf.attributes)
                writer_->SetLeafAttribute(attribute.first.c_str(), attribute.second.c_str());
        }
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
    pendingLeaves_.push_back(PendingLeaf{"text", part->text, {{"type", "1"}}});
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
    PendingLeaf leaf{"value", std::move(encoded), {}};
    leaf.attributes.emplace_back("type", std::to_string(leafType));
    leaf.attributes.emplace_back("length", std::to_string(size));
    leaf.attributes.emplace_back("path", part->dataPath);
    leaf.attributes.emplace_back("filename", MakePartFileName(part->Location(), &partFileCounter_));
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
