#include "gui/shell/PopTipWindow.h"

#include "gui/shell/CUIPublic.h"
#include "outside/widgets/CBPAlignment.h"
#include "outside/widgets/CBPBox.h"
#include "outside/widgets/CBPButton.h"
#include "outside/widgets/CBPImage.h"
#include "outside/widgets/CBPLabel.h"

namespace {
constexpr int kTextMargin = 55;
}  // namespace

CPopTipWindow::CPopTipWindow(CBPWindow* parent, int kind, const std::string& text, unsigned buttons)
    : CBaseWnd(parent, buttons, 1), kind_(kind), text_(text) {
    const std::string title = CUIPublic::Instance()->GetTitleText();
    CreateFrame(title.c_str(), title.c_str(), 0, 0);
    CreateContent();
}

CPopTipWindow::~CPopTipWindow() {
    delete icon_;
    delete label_;
}

std::string CPopTipWindow::IconFor(int kind) {
    const char* names[] = {"tip_failed.png", "tip_warnning.png", "tip_suc.png", "tip_info.png"};
    const char* name = kind >= TIP_FAILED && kind <= TIP_INFORMATION ? names[kind] : "tip_warnning.png";
    return CUIPublic::Instance()->ResFolder() + name;
}

void CPopTipWindow::CreateContent() {
    // The box and the alignment stay with their containers once packed.
    CBPBox box(false, false, 0);
    box.SetDestroyWidgetWhenDelete(0);
    icon_ = new CBPImage(IconFor(kind_).c_str());
    box.PackStart(icon_, false, false, 20);
    icon_->Show();
    label_ = new CBPLabel("");
    label_->SetLabelMarkup(text_.c_str(), CUIPublic::Translate("Arial 14px").c_str(), "#000000");
    gtk_label_set_line_wrap(GTK_LABEL(label_->GetWidget()), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(label_->GetWidget()), PANGO_WRAP_WORD);
    box.PackStart(label_, false, false, 0);
    label_->Show();
    box.Show();
    CBPAlignment alignment(0.2, 0.4, 0, 0);
    alignment.SetDestroyWidgetWhenDelete(0);
    alignment.Add(box.GetWidget());
    AddContent(&alignment);
    alignment.Show();
}

void CPopTipWindow::Resize(int width, int height) {
    if (label_) {
        GtkRequisition icon{};
        if (icon_) gtk_widget_size_request(icon_->GetWidget(), &icon);
        // Narrower than the icon and its margin: no width request at all.
        const int textWidth = width - icon.width - kTextMargin;
        gtk_widget_set_size_request(label_->GetWidget(), textWidth < 0 ? -1 : textWidth, -1);
    }
    gtk_window_resize(GetWindow(), width, height);
    gtk_widget_set_size_request(GetWidget(), width, height);
}

void CPopTipWindow::SetFocusButton(unsigned flag) {
    if (CBPButton* button = GetButton(flag)) gtk_window_set_focus(GetWindow(), button->GetWidget());
}

void CPopTipWindow::SetButtonText(unsigned flag, const char* text) {
    if (CBPButton* button = GetButton(flag)) button->SetText(text);
}
