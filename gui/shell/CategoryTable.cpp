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
// Built on first use, which is the first use of the language store when nothing read a text before:
// a program that links the table but starts outside bin/ (a test) reads its texts only once it
// has moved there. The device's row gets its name at run time.
const _CATEGORY_ITEM* Categories() {
    static const _CATEGORY_ITEM table[CATEGORY_COUNT] = {
        {CATEGORY_DEVICE, "", "../res/icon_tesk.png"},
        {CATEGORY_CONTACTS, GetLangString("CONTACT_LABEL"), "../res/icon_contacts.png"},
        {CATEGORY_MESSAGES, GetLangString("MESSAGE_LABEL"), "../res/icon_messaging.png"},
        {CATEGORY_GALLERY, GetLangString("GALLERY_LABEL"), "../res/icon_gallery.png"},
        {CATEGORY_VIDEOS, GetLangString("VIDEOS_LABEL"), "../res/icon_videos.png"},
        {CATEGORY_AUDIO, GetLangString("AUDIO_LABEL"), "../res/icon_music.png"},
        {CATEGORY_DOCUMENTS, GetLangString("DOCUMENTS_LABEL"), "../res/icon_documents.png"},
    };
    return table;
}
}  // namespace

const _CATEGORY_ITEM* GetCategoryTable() { return Categories(); }

const _CATEGORY_ITEM* GetCategoryItem(int id) {
    return id >= 0 && id < CATEGORY_COUNT ? &Categories()[id] : nullptr;
}
