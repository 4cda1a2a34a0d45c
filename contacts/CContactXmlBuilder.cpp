#include "contacts/CContactXmlBuilder.h"

#include <algorithm>
#include <utility>

#include "sqlite_recovery/framework/Base64.h"

namespace {
const char* DeletedText(bool deleted) { return deleted ? "1" : "0"; }
}  // namespace

void CContactXmlBuilder::ProcessContact(const JoinedContact& contact) {
    if (contact.fields.empty()) return;
    std::vector<const JoinedField*> names;
    CollectNameRows(contact.fields, names);
    std::vector<const JoinedField*> earlier;
    if (contact.rawLive && contact.rawDeleted == 0) KeepCurrentNames(contact, names, &earlier);
    for (const JoinedField& field : contact.fields)
        if (field.kind == FIELD_NAME && field.earlier) earlier.push_back(&field);
    earlierNames_ = &earlier;
    BuildContactsForNames(contact, names);
    earlierNames_ = nullptr;
}

size_t CContactXmlBuilder::CollectNameRows(const std::vector<JoinedField>& fields,
                                           std::vector<const JoinedField*>& names) {
    names.clear();
    for (const JoinedField& field : fields) {
        if (field.kind != FIELD_NAME) break;  // the join puts the names first
        if (field.earlier) continue;          // its live row names the contact
        auto same = names.begin();
        while (same != names.end() && (*same)->value != field.value) ++same;
        if (same == names.end()) {
            names.push_back(&field);
        } else if (!(*same)->live && field.live) {
            names.erase(same);
            names.push_back(&field);
        }
    }
    return names.size();
}

void CContactXmlBuilder::KeepCurrentNames(const JoinedContact& contact, std::vector<const JoinedField*>& names,
                                          std::vector<const JoinedField*>* earlier) {
    // A live raw contact is named by its live name rows, else by the one its display name gives;
    // a recovered name of another value is one it had before, no contact of its own.
    auto current = [&contact](const JoinedField* name) { return name->live || name->value == contact.rawName; };
    if (std::none_of(names.begin(), names.end(), current)) return;
    auto before = std::stable_partition(names.begin(), names.end(), current);
    if (earlier) earlier->insert(earlier->end(), before, names.end());
    names.erase(before, names.end());
}

void CContactXmlBuilder::BuildContactsForNames(const JoinedContact& contact,
                                               const std::vector<const JoinedField*>& names) {
    if (names.empty()) {
        BuildContactXml(contact, nullptr);
        return;
    }
    for (const JoinedField* name : names) BuildContactXml(contact, name);
}

void CContactXmlBuilder::BuildContactXml(const JoinedContact& contact, const JoinedField* name) {
    CXmlWriter writer;
    context_.writer = &writer;
    // Whether the contact is deleted is the raw contact's to say: a recovered field of a live one
    // (a removed number, a row a lost page took, a value before an edit) is marked on its item.
    context_.rawMark = !contact.rawLive || contact.rawDeleted != 0;

    if (Succeeded(writer.Create()) && writer.AddRoot("contact") == 0) {
        if (name && !name->value.empty()) WriteNameItem(*name);
        if (name && earlierNames_) WriteEarlierNames(*name);
        for (const JoinedField& field : contact.fields) {
            context_.row = &field;
            switch (field.kind) {
            case FIELD_PHOTO: WritePhotoItem(); break;
            case FIELD_NICKNAME: WriteNicknameItem(); break;
            case FIELD_PHONE: WritePhoneItem(name); break;
            case FIELD_EMAIL: WriteEmailItem(name); break;
            case FIELD_IM: WriteImItem(); break;
            case FIELD_ORGANIZATION: WriteOrganizationItem(); break;
            case FIELD_POSTAL: WritePostalItem(); break;
            case FIELD_GROUP_MEMBERSHIP: WriteGroupMembershipItems(); break;
            case FIELD_CONTACT_EVENT: WriteEventItem(); break;
            case FIELD_WEBSITE: WriteWebsiteItem(); break;
            case FIELD_RELATION: WriteRelationItem(); break;
            case FIELD_SIP_ADDRESS: WriteSipItem(); break;
            case FIELD_NOTE: WriteNoteItem(); break;
            default: break;  // names are written above; identity and unknown kinds never are
            }
        }
        writer.SetRootAttribute("deleted", DeletedText(context_.rawMark));
        // Printed once, into the printer's own buffer: the sink copies what it keeps.
        TiXmlPrinter printer;
        writer.Document()->Accept(&printer);
        if (printer.Size() != 0) {
            if (treeSink_) treeSink_(printer.CStr(), writer.Document()->RootElement());
            else if (sink_) sink_(printer.CStr());
        }
    }
    writer.Free();
    context_ = ContactXmlContext();
}

bool CContactXmlBuilder::OpenItem(const char* item, const char* leaf, const std::string& value, bool deleted) {
    CXmlWriter& writer = *context_.writer;
    if (writer.AddItem(item) != 0) return false;
    writer.SetItemAttribute("deleted", DeletedText(deleted));
    if (deleted && context_.row && context_.row->earlier) writer.SetItemAttribute("earlier", "1");
    return leaf == nullptr || writer.AddLeaf(leaf, value.c_str()) == 0;
}

void CContactXmlBuilder::SetRes(int res) { context_.writer->SetLeafAttributeInt("res", res); }

void CContactXmlBuilder::SetCustomRes(const std::string& label) {
    context_.writer->SetLeafAttribute("res", label.c_str());
    context_.writer->SetLeafAttribute("type", "string");
}

void CContactXmlBuilder::SetTypedRes(int code, bool hasCode, int plainCode, bool hasPlain) {
    const JoinedField& row = *context_.row;
    if (hasCode) {
        SetRes(code);
    } else if (row.type == 0 && !row.label.empty()) {
        SetCustomRes(row.label);
    } else if (hasPlain) {
        SetRes(plainCode);
    }
}

void CContactXmlBuilder::WriteNameItem(const JoinedField& name) {
    if (!OpenItem("name", "value", name.value, !name.live)) return;
    SetRes(4097);
    // The structured parts, for exports that need them apart (a vCard's N); only those present.
    const std::pair<const char*, const std::string*> parts[] = {{"family", &name.familyName},
                                                                 {"given", &name.givenName},
                                                                 {"middle", &name.middleName},
                                                                 {"prefix", &name.namePrefix},
                                                                 {"suffix", &name.nameSuffix}};
    for (const auto& part : parts)
        if (!part.second->empty()) context_.writer->SetLeafAttribute(part.first, part.second->c_str());
}

void CContactXmlBuilder::WriteEarlierNames(const JoinedField& name) {
    // Each value once, and not the one the contact goes by.
    std::vector<const std::string*> written{&name.value};
    for (const JoinedField* before : *earlierNames_) {
        if (before->value.empty() ||
            std::any_of(written.begin(), written.end(), [before](const std::string* v) { return *v == before->value; }))
            continue;
        written.push_back(&before->value);
        if (OpenItem("name", "value", before->value, true)) {
            context_.writer->SetItemAttribute("earlier", "1");
            SetRes(4097);
        }
    }
}

void CContactXmlBuilder::WritePhotoItem() {
    const JoinedField& row = *context_.row;
    if (!OpenItem("photo", nullptr, std::string(), !row.live) || row.bytes.empty()) return;
    // The encoding is sized by the encoder itself, so a photo of any size gets its leaf.
    std::string encoded = Base64Encode(row.bytes.data(), row.bytes.size());
    if (encoded.empty() || context_.writer->AddLeaf("value", encoded.c_str()) != 0) return;
    SetRes(4353);
    context_.writer->SetLeafAttributeInt("length", static_cast<int>(row.bytes.size()));
}

void CContactXmlBuilder::WriteNicknameItem() {
    const JoinedField& row = *context_.row;
    if (!OpenItem("nickname", "value", row.value, !row.live)) return;
    int t = row.type;
    if (t >= 1 && t <= 5) SetTypedRes(4608 + t, true, 0, false);
    else if (t == 0) SetTypedRes(0, false, 4608, true);
    else SetRes(4610);
}

void CContactXmlBuilder::WritePhoneItem(const JoinedField* name) {
    const JoinedField& row = *context_.row;
    if (!OpenItem("phone", "number", row.value, !row.live)) return;
    int t = row.type;
    SetTypedRes(4864 + t, t >= 1 && t <= 20, 4871, true);
    AddToLookup(row.value, name, true);
    AddToLookup(row.normalizedNumber, name, true);
}

void CContactXmlBuilder::WriteEmailItem(const JoinedField* name) {
    const JoinedField& row = *context_.row;
    if (!OpenItem("email", "address", row.value, !row.live)) return;
    int t = row.type;
    SetTypedRes(5120 + t, t >= 1 && t <= 4, 5123, true);
    AddToLookup(row.value, name, false);
}

void CContactXmlBuilder::WriteImItem() {
    const JoinedField& row = *context_.row;
    if (!OpenItem("im", "value", row.value, !row.live)) return;
    int p = row.protocol;
    if (p >= 0 && p <= 8) SetRes(5377 + p);
    else if (p == -1 && !row.customProtocol.empty()) SetCustomRes(row.customProtocol);
    else SetRes(5386);
}

void CContactXmlBuilder::WriteOrganizationItem() {
    const JoinedField& row = *context_.row;
    if (OpenItem("organization", "name", row.value, !row.live)) {
        int t = row.type;
        SetTypedRes(5633, t == 1, 5634, true);
    }
    if (!row.title.empty() && OpenItem("organization", "title", row.title, !row.live)) SetRes(5889);
}

void CContactXmlBuilder::WritePostalItem() {
    const JoinedField& row = *context_.row;
    if (!OpenItem("postal_address", "address", row.value, !row.live)) return;
    int t = row.type;
    SetTypedRes(t == 1 ? 6145 : 6146, t == 1 || t == 2, 6147, true);
}

void CContactXmlBuilder::WriteGroupMembershipItems() {
    const JoinedField& row = *context_.row;
    CXmlWriter& writer = *context_.writer;
    for (const JoinedGroup& group : row.groups) {
        if (writer.AddItem("group_membership") != 0) continue;
        bool deleted = !row.live || !group.live || group.deleted != 0;
        writer.SetItemAttribute("deleted", DeletedText(deleted));
        if (writer.AddLeaf("title", group.title.c_str()) == 0) SetRes(6401);
    }
}

void CContactXmlBuilder::WriteEventItem() {
    const JoinedField& row = *context_.row;
    if (!OpenItem("contact_event", "date", row.value, !row.live)) return;
    int t = row.type;
    SetTypedRes(t == 1 ? 6657 : 6659, t == 1 || t == 3, 6658, true);
}

void CContactXmlBuilder::WriteWebsiteItem() {
    const JoinedField& row = *context_.row;
    if (!OpenItem("website", "url", row.value, !row.live)) return;
    int t = row.type;
    SetTypedRes(6912 + t, t >= 1 && t <= 7, 6919, true);
}

void CContactXmlBuilder::WriteRelationItem() {
    const JoinedField& row = *context_.row;
    if (!OpenItem("relation", "name", row.value, !row.live)) return;
    int t = row.type;
    if (t >= 1 && t <= 14) SetRes(7168 + t);
    else if (t == 0) SetTypedRes(0, false, 7183, true);
}

void CContactXmlBuilder::WriteSipItem() {
    const JoinedField& row = *context_.row;
    if (!OpenItem("sip_address", "address", row.value, !row.live)) return;
    int t = row.type;
    if (t == 1) SetRes(7425);
    else if (t == 3) SetRes(7426);
    else if (t == 0) SetTypedRes(0, false, 7424, true);
    else SetRes(7427);
}

void CContactXmlBuilder::WriteNoteItem() {
    const JoinedField& row = *context_.row;
    if (OpenItem("note", "title", row.value, !row.live)) SetRes(7681);
}

void CContactXmlBuilder::AddToLookup(const std::string& key, const JoinedField* name, bool isPhone) {
    if (!lookup_ || !name || name->value.empty()) return;
    SwapContactEntry entry;
    entry.live = name->live ? 1 : 0;
    entry.name = name->value;
    lookup_->Add(key, entry, isPhone);
}
