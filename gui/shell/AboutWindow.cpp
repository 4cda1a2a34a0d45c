#include "gui/shell/AboutWindow.h"

#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/MarkupHelpers.h"
#include "outside/widgets/CBPAlignment.h"
#include "outside/widgets/CBPBox.h"
#include "outside/widgets/CBPIniParser.h"
#include "outside/widgets/CBPLinkLabel.h"

namespace {

std::string AboutValue(const char* key) {
    std::string value;
    if (gchar* text = CUIPublic::Instance()->GetConfig()->GetKeyValueStr("AboutWindow", key)) {
        value = text;
        g_free(text);
    }
    return value;
}

}  // namespace

CAboutWindow::CAboutWindow(CBPWindow* parent) : CBaseWnd(parent, BASE_BUTTON_OK, 0) {
    CUIPublic* services = CUIPublic::Instance();
    const std::string title = services->GetTitleText();
    CreateFrame(title.c_str(), title.c_str(), 1, 0);
    int width = 450, height = 300;
    services->GetConfig()->GetKeyIntPoint("AboutWindow", "WinSize", &width, &height);
    gtk_widget_set_size_request(GetWidget(), width, height);

    box_ = new CBPBox(true, false, 0);
    // The texts are plain: what the language file holds is shown as it stands.
    version_ = AddTextLine(EscapeMarkup(VersionLine()), 10, false);
    learnMore_ = AddTextLine(EscapeMarkup(GetLangString("ABOUT_WND_LEARN_MORE")), 10, false);

    const std::string url = services->GetAboutUrl();
    const std::string font = CUIPublic::Translate("Arial 12px");
    link_ = new CBPLinkLabel(MakeLinkMarkup(EscapeMarkup(url), url, font.c_str()).c_str());
    GtkLabel* label = GTK_LABEL(link_->GetWidget());
    gtk_label_set_line_wrap(label, TRUE);
    gtk_label_set_line_wrap_mode(label, PANGO_WRAP_WORD_CHAR);
    gtk_label_set_justify(label, GTK_JUSTIFY_CENTER);
    link_->RegisterCallBack("url-activated", G_CALLBACK(&CAboutWindow::OnUrlActivated), this);
    linkAlignment_ = new CBPAlignment(0.5, 0.5, 0, 0);
    linkAlignment_->Add(link_->GetWidget());
    box_->PackStart(linkAlignment_, false, false, 0);

    notice_ = AddTextLine(EscapeMarkup(GetLangString("ABOUT_WND_CORY_RIGHT")), 20, true);

    alignment_ = new CBPAlignment(0.5, 0.5, 0, 0);
    alignment_->Add(box_->GetWidget());
    AddContent(alignment_);
    alignment_->ShowAll();
}

CAboutWindow::~CAboutWindow() {
    // Innermost first: each wrapper takes its widget out of its container.
    delete notice_;
    delete link_;
    delete linkAlignment_;
    delete learnMore_;
    delete version_;
    delete box_;
    delete alignment_;
}

std::string CAboutWindow::VersionLine() {
    gchar* line = g_strconcat(GetLangString("PRODUCT_VERSION_TXT"), " ", CUIPublic::Instance()->GetVersion().c_str(),
                              " (", GetLangString("ABOUT_WND_BUILD"), " ", AboutValue("BuildNo").c_str(), ")", nullptr);
    std::string text = line ? line : "";
    g_free(line);
    return text;
}

CBPLabel* CAboutWindow::AddTextLine(const std::string& markup, int padding, bool centred) {
    auto* label = new CBPLabel("");
    label->SetLabelMarkup(markup.c_str(), CUIPublic::Translate("Arial 13px").c_str(), "#000000");
    gtk_misc_set_alignment(GTK_MISC(label->GetWidget()), 0.5, 0.5);
    if (centred) gtk_label_set_justify(GTK_LABEL(label->GetWidget()), GTK_JUSTIFY_CENTER);
    box_->PackStart(label, false, false, padding);
    return label;
}

void CAboutWindow::OnUrlActivated(GtkWidget*, const gchar* url, gint, gint, gpointer) {
    if (url) CUIPublic::OpenUrl(url);
}
