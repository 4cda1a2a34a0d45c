#include "gui/shell/CUIPublic.h"

#include <gtk/gtk.h>
#include <libintl.h>

#include <algorithm>

#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CNotifyCentor.h"
#include "logic_contract/ILogicalController.h"
#include "outside/widgets/CBPCairoImgButton.h"
#include "outside/widgets/CBPIniParser.h"
#include "platform/DynamicLibrary.h"
#include "platform/OpenUrl.h"

namespace {
constexpr const char* kDefaultRes = "../res/";
constexpr const char* kTextDomain = "RelikordaUI";
constexpr int kLowestValueId = 4096;
}  // namespace

CUIPublic* CUIPublic::Instance() {
    static CUIPublic services(kDefaultRes, true);
    return &services;
}

CUIPublic::CUIPublic(const std::string& resFolder, bool bindLogic) : resFolder_(resFolder) {
    config_.reset(new CBPIniParser((resFolder_ + "UIConfig.ini").c_str(), true));
    gsize count = 0;
    if (gchar** extra = config_->GetKeyStringList("Public", "AddConfigIni", &count)) {
        if (count > 0) config_->AddSupplementFiles(extra);
        g_strfreev(extra);
    }
    const char* checkFiles[3] = {"Unselected.png", "HalfSelected.png", "Selected.png"};
    for (int i = 0; i < 3; ++i) checkImages_[i] = gdk_pixbuf_new_from_file((resFolder_ + checkFiles[i]).c_str(), nullptr);
    if (bindLogic) BindLogicLibrary();

    if (resFolder_ == kDefaultRes) {
        language_ = &CLanguageTable::Instance();
    } else {
        ownLanguage_.reset(new CLanguageTable(resFolder_));
        language_ = ownLanguage_.get();
    }
    CLanguageTable* language = language_;
    fieldTypes_.reset(new CContactFieldTypes([language](const char* key) { return language->Lookup(key, true); }));
}

CUIPublic::~CUIPublic() {
    // The controller is released when the main window quits, not here.
    for (GdkPixbuf*& image : checkImages_) {
        if (image) g_object_unref(image);
        image = nullptr;
    }
}

void CUIPublic::BindLogicLibrary() {
    // The module stays loaded for the life of the process.
    platform::LibraryHandle module = platform::LoadLibraryW(L"Vantrel.dll");
    auto create = reinterpret_cast<ICommon* (*)()>(platform::GetProcAddress(module, "CreateObject"));
    ICommon* object = create ? create() : nullptr;
    controller_ = dynamic_cast<ILogicalController*>(object);
    if (object && !controller_) object->Release();
    boundController_ = controller_ != nullptr;
    if (controller_ && controller_->Init(CNotifyCentor::Instance()) != 0) g_print("Init Logical error!\n");
}

std::string CUIPublic::GetTypeName(int code) { return fieldTypes_->GetTypeName(code); }

std::string CUIPublic::PublicValue(const char* key) {
    std::string value;
    if (gchar* text = config_->GetKeyValueStr("Public", key)) {
        value = text;
        g_free(text);
    }
    return value;
}

std::string CUIPublic::GetProductName() {
    std::string name = GetLanguageId() == LANGUAGE_CHINESE ? language_->Lookup("PRODUCT_NAME_VER_ITUNES", true)
                                                           : PublicValue("productName");
    return name.empty() ? std::string() : Translate(name.c_str());
}

std::string CUIPublic::GetVersion() { return PublicValue("Version"); }

int CUIPublic::LanguageIdOf(const char* language) {
    const std::string name = language ? language : "";
    if (name == "French") return LANGUAGE_FRENCH;
    if (name == "German") return LANGUAGE_GERMAN;
    if (name == "Chinese") return LANGUAGE_CHINESE;
    return LANGUAGE_ENGLISH;
}

int CUIPublic::GetLanguageId() { return LanguageIdOf(PublicValue("Language").c_str()); }

std::string CUIPublic::Translate(const char* text) { return text ? dgettext(kTextDomain, text) : std::string(); }

int CUIPublic::ResetSizeRequest(CBPWidget* widget) {
    if (!widget || !widget->GetWidget()) return 0;
    gtk_widget_set_size_request(widget->GetWidget(), -1, -1);
    return 1;
}

void CUIPublic::SetSizeAtLeast(GtkWidget* widget, int width, int height) {
    if (!widget) return;
    gtk_widget_set_size_request(widget, -1, -1);
    // Each time the widget asks for its size, as its style and text are by then.
    const guint least = static_cast<guint>(std::max(width, 0) & 0xFFFF) << 16 | static_cast<guint>(std::max(height, 0) & 0xFFFF);
    g_signal_connect_after(widget, "size-request", G_CALLBACK(+[](GtkWidget*, GtkRequisition* wanted, gpointer data) {
                               const guint sizes = GPOINTER_TO_UINT(data);
                               wanted->width = std::max(wanted->width, static_cast<gint>(sizes >> 16));
                               wanted->height = std::max(wanted->height, static_cast<gint>(sizes & 0xFFFF));
                           }),
                           GUINT_TO_POINTER(least));
    gtk_widget_queue_resize(widget);
}

CBPCairoImgButton* CUIPublic::MakeImageButton(const char* image1, const char* image2, const char* image3,
                                              const char* image4) {
    GList* images = nullptr;
    for (const char* image : {image1, image2, image3, image4})
        images = g_list_append(images, const_cast<char*>(image ? image : ""));
    auto* button = new CBPCairoImgButton(images, 0, 0, 0);
    g_list_free(images);
    return button;
}

void CUIPublic::SetTimer(guint* id, unsigned ms, GSourceFunc fn, gpointer data) {
    if (!id) return;
    if (*id != 0) g_source_remove(*id);
    *id = g_timeout_add(ms, fn, data);
}

void CUIPublic::RemoveTimer(guint* id) {
    if (!id || *id == 0) return;
    g_source_remove(*id);
    *id = 0;
}

bool CUIPublic::OpenUrl(const std::string& url) { return platform::OpenUrl(url); }

void CUIPublic::FillCheckImages(GdkPixbuf** images, int highest) {
    if (!images) return;
    images[0] = checkImages_[0];
    if (highest >= 1) images[1] = checkImages_[2];
    if (highest >= 2) images[2] = checkImages_[1];
}

GdkPixbuf* CUIPublic::GetCheckImage(int index) { return index >= 0 && index < 3 ? checkImages_[index] : nullptr; }

void CUIPublic::ReleaseLogicalController() {
    if (controller_) controller_->Release();
    controller_ = nullptr;
    boundController_ = false;
}

void CUIPublic::SetLogicalController(ILogicalController* controller) {
    if (boundController_) ReleaseLogicalController();
    controller_ = controller;
}

std::string CUIPublic::LanguageLink(const char* key) { return language_->Lookup(key, false); }
std::string CUIPublic::GetSupportUrl() { return LanguageLink("MenuSupportUrl"); }
std::string CUIPublic::GetUpdateLink() { return LanguageLink("UpdateLinkUrl"); }
std::string CUIPublic::GetServiceUrl() { return LanguageLink("QQServiceUrl"); }
std::string CUIPublic::GetShareUrl() { return LanguageLink("ShareUrl"); }
std::string CUIPublic::GetAboutUrl() { return LanguageLink("AboutUrl"); }

void CUIPublic::SetCounters(int d1, int t1, int d2, int t2, int d3, int t3, int d4, int t4, int d6, int t6, int d5,
                            int t5) {
    const int deleted[7] = {0, d1, d2, d3, d4, d5, d6};
    const int total[7] = {0, t1, t2, t3, t4, t5, t6};
    for (int k = 1; k <= 6; ++k) {
        deleted_[k] = deleted[k];
        total_[k] = total[k];
    }
}

void CUIPublic::ReportValue(int id, int value) {
    if (id < kLowestValueId) return;
    stats_.SendValue(id, static_cast<int64_t>(value));
}

void CUIPublic::ReportEvent(int event) { stats_.SendEvent(event); }

void CUIPublic::ReportCounters() {
    for (int k : {1, 2, 3, 4, 6, 5}) {
        ReportValue(USAGE_VALUE_COUNTERS_FIRST + 2 * (k - 1), deleted_[k]);
        ReportValue(USAGE_VALUE_COUNTERS_FIRST + 2 * (k - 1) + 1, total_[k]);
    }
}

void CUIPublic::ReportPageEnd() { stats_.SendPageEnd(PublicValue("Table2Url").c_str()); }

void CUIPublic::ReportShutdown() { stats_.SendShutdown(PublicValue("Table2Url").c_str()); }
