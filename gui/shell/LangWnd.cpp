#include "gui/shell/LangWnd.h"

#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CUIPublic.h"
#include "outside/widgets/CBPAlignment.h"
#include "outside/widgets/CBPBox.h"
#include "outside/widgets/CBPComboBoxEx.h"
#include "outside/widgets/CBPIniParser.h"
#include "outside/widgets/CBPLabel.h"

CLangWnd::CLangWnd(CBPWindow* parent, int languageId) : CBaseWnd(parent, BASE_BUTTON_OK, 0), languageId_(languageId) {
    CUIPublic* services = CUIPublic::Instance();
    CBPIniParser* config = services->GetConfig();
    const std::string title = services->GetTitleText();
    CreateFrame(title.c_str(), title.c_str(), 1, 0);
    int width = 450, height = 250;
    config->GetKeyIntPoint("LangWindow", "WinSize", &width, &height);
    gtk_widget_set_size_request(GetWidget(), width, height);
    SetButtonCallback(BASE_BUTTON_OK, &CLangWnd::OnOk, this);

    box_ = new CBPBox(true, false, 0);
    label_ = new CBPLabel(GetLangString("LANGUAGE_LABLE"));
    gtk_misc_set_alignment(GTK_MISC(label_->GetWidget()), 0.0, 0.5);
    int labelWidth = 200, labelHeight = 28;
    config->GetKeyIntPoint("LangWindow", "LableSize", &labelWidth, &labelHeight);
    gtk_widget_set_size_request(label_->GetWidget(), labelWidth, labelHeight);
    box_->PackStart(label_, false, false, 0);

    combo_ = new CBPComboBoxEx();
    for (const char* key : {"STR_ENGLISH", "STR_FRENCH", "STR_GERMAN"}) combo_->AppendText(GetLangString(key));
    combo_->SetActive(languageId);
    int comboWidth = 160, comboHeight = 28;
    config->GetKeyIntPoint("LangWindow", "combSize", &comboWidth, &comboHeight);
    gtk_widget_set_size_request(combo_->GetWidget(), comboWidth, comboHeight);
    box_->PackStart(combo_, false, false, 0);

    alignment_ = new CBPAlignment(0.5, 0.5, 0, 0);
    alignment_->Add(box_->GetWidget());
    AddContent(alignment_);
    alignment_->ShowAll();
}

CLangWnd::~CLangWnd() {
    delete combo_;
    delete label_;
    delete box_;
    delete alignment_;
}

int CLangWnd::GetSelection(int* id) const {
    if (id) *id = languageId_;
    return changed_;
}

int CLangWnd::OnOk(void* self) {
    auto* dialog = static_cast<CLangWnd*>(self);
    const int active = dialog->combo_->GetActive();
    if (active != dialog->languageId_) {
        dialog->languageId_ = active;
        dialog->changed_ = 1;
    }
    return 1;
}
