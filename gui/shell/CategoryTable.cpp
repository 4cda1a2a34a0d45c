#include "gui/shell/CategoryTable.h"

#include <glib.h>

#include "gui/shell/CLanguageTable.h"

_CATEGORY_ITEM::_CATEGORY_ITEM(int id_, const char* label_, const char* icon_)
    : id(id_), icon(g_strdup(icon_ ? icon_ : "")), label(g_strdup(label_ ? label_ : "")) {}

_CATEGORY_ITEM::~_CATEGORY_ITEM() {
    g_free(icon);
    g_free(label);
    icon = nullptr;
    label = nullptr;
}

namespace {
// Building it is the first use of the language store; the device's row gets its name at run time.
const _CATEGORY_ITEM kCategories[CATEGORY_COUNT] = {
    {CATEGORY_DEVICE, "", "../res/icon_tesk.png"},
    {CATEGORY_CONTACTS, GetLangString("CONTACT_LABEL"), "../res/icon_contacts.png"},
    {CATEGORY_MESSAGES, GetLangString("MESSAGE_LABEL"), "../res/icon_messaging.png"},
    {CATEGORY_GALLERY, GetLangString("GALLERY_LABEL"), "../res/icon_gallery.png"},
    {CATEGORY_VIDEOS, GetLangString("VIDEOS_LABEL"), "../res/icon_videos.png"},
    {CATEGORY_AUDIO, GetLangString("AUDIO_LABEL"), "../res/icon_music.png"},
    {CATEGORY_DOCUMENTS, GetLangString("DOCUMENTS_LABEL"), "../res/icon_documents.png"},
};
}  // namespace

const _CATEGORY_ITEM* GetCategoryTable() { return kCategories; }

const _CATEGORY_ITEM* GetCategoryItem(int id) {
    return id >= 0 && id < CATEGORY_COUNT ? &kCategories[id] : nullptr;
}
