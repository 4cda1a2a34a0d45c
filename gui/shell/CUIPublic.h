#pragma once
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib.h>
#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "gui/shell/ContactFieldTypes.h"
#include "logic_contract/IResourceReader.h"
#include "gui/shell/UsageStats.h"

class CBPCairoImgButton;
class CBPIniParser;
class CBPWidget;
class CLanguageTable;
class ILogicalController;

// Language ids of [Public] "Language".
enum : int { LANGUAGE_ENGLISH = 0, LANGUAGE_FRENCH = 1, LANGUAGE_GERMAN = 2, LANGUAGE_CHINESE = 3 };

// The GUI's process-wide services: configuration, check-box images, the logic controller, the
// message being handled, contact field-type texts, usage counters, and small helpers. Main thread
// only, except GetTypeName, which the logic may call from its own threads.
class CUIPublic : public IResourceReader {
public:
    // Made on first use over "../res/", bound to the logic library.
    static CUIPublic* Instance();

    // Over another resource folder (ending in '/'), with or without binding the logic library.
    explicit CUIPublic(const std::string& resFolder, bool bindLogic);
    ~CUIPublic() override;
    CUIPublic(const CUIPublic&) = delete;
    CUIPublic& operator=(const CUIPublic&) = delete;

    // Never deleted by others.
    void Release() override {}
    std::string GetTypeName(int code) override;

    CBPIniParser* GetConfig() { return config_.get(); }
    const std::string& ResFolder() const { return resFolder_; }
    std::string GetProductName();
    std::string GetTitleText() { return GetProductName() + " "; }
    std::string GetVersion();
    std::string GetIconPath() const { return resFolder_ + "Relikorda.ico"; }
    std::string GetTitleLogoPath() const { return resFolder_ + "title_logo.png"; }
    int GetLanguageId();
    static int LanguageIdOf(const char* language);
    const char* GetPageName() const { return pageName_; }
    void SetPageName(const char* name) { pageName_ = name; }

    static std::string Translate(const char* text);
    static int ResetSizeRequest(CBPWidget* widget);
    // The widget at least width x height (-1: its own), larger where its content needs more (a
    // longer text in another language, a taller font).
    static void SetSizeAtLeast(GtkWidget* widget, int width, int height);
    // A new button over four pictures (normal, over, pressed, disabled); the caller owns it.
    static CBPCairoImgButton* MakeImageButton(const char* image1, const char* image2, const char* image3,
                                              const char* image4);
    static void SetTimer(guint* id, unsigned ms, GSourceFunc fn, gpointer data);
    static void RemoveTimer(guint* id);
    // An http(s) address or an existing folder; anything else is refused.
    static bool OpenUrl(const std::string& url);

    // Check-cell images: unselected, then selected (highest >= 1), then half-selected (>= 2).
    void FillCheckImages(GdkPixbuf** images, int highest);
    // 0 unselected, 1 half-selected, 2 selected; null from 3 on.
    GdkPixbuf* GetCheckImage(int index);

    ILogicalController* GetLogicalController() { return controller_; }
    // Releases the controller (slot 1) once, when the main window quits.
    void ReleaseLogicalController();
    // Replaces the controller: a test drives the GUI with its own. The one the logic library made
    // is released first; one the test gave is the test's.
    void SetLogicalController(ILogicalController* controller);

    void SetCurrentMsg(unsigned id) { currentMsg_ = id; }
    unsigned GetCurrentMsg() const { return currentMsg_; }
    void SetLastText(const std::string& text) { lastText_ = text; }
    const std::string& GetLastText() const { return lastText_; }

    std::string GetSupportUrl();
    std::string GetUpdateLink();
    std::string GetServiceUrl();
    std::string GetShareUrl();
    std::string GetAboutUrl();

    // Deleted and total of categories 1, 2, 3, 4, 6, 5, in that order.
    void SetCounters(int d1, int t1, int d2, int t2, int d3, int t3, int d4, int t4, int d6, int t6, int d5, int t5);
    // Ids below 4096 are not sent.
    void ReportValue(int id, int value);
    void ReportEvent(int event);
    // Ids 12330 + 2(k-1) (deleted) and 12331 + 2(k-1) (total) for categories 1 to 4, then 6, then 5.
    void ReportCounters();
    // The result page's Back: [Public] "Table2Url" under 3584, then (3, 5).
    void ReportPageEnd();
    // Quitting: as ReportPageEnd, then the library's last call.
    void ReportShutdown();

private:
    void BindLogicLibrary();
    std::string LanguageLink(const char* key);
    std::string PublicValue(const char* key);

    const char* pageName_ = "Begin";
    std::string resFolder_;
    std::unique_ptr<CBPIniParser> config_;
    GdkPixbuf* checkImages_[3] = {nullptr, nullptr, nullptr};
    ILogicalController* controller_ = nullptr;
    bool boundController_ = false;  // controller_ came from the logic library
    unsigned currentMsg_ = 0;
    std::string lastText_;
    std::unique_ptr<CLanguageTable> ownLanguage_;  // set when not over "../res/"
    CLanguageTable* language_ = nullptr;
    std::unique_ptr<CContactFieldTypes> fieldTypes_;
    int deleted_[7] = {};
    int total_[7] = {};
    CUsageStats stats_;
};
