// The connection steps' options once the phone is connected, the answers to them, and the tip.
#include <algorithm>

#include "gui/pages/StepFlow.h"
#include "gui/pages/StepFlowSupport.h"
#include "gui/pages/StepFlowWidget.h"
#include "gui/pages/StepImageTip.h"
#include "gui/shell/CUIPublic.h"
#include "logic_contract/ILogicalController.h"
#include "gui/shell/MarkupHelpers.h"
#include "gui/shell/Painters.h"
#include "outside/widgets/CBPButton.h"
#include "outside/widgets/CBPCairo.h"
#include "outside/widgets/CBPCairoFont.h"
#include "outside/widgets/CBPImage.h"
#include "outside/widgets/CBPIniParser.h"
#include "outside/widgets/CBPLinkLabel.h"

using namespace step_flow;

namespace {

constexpr int kTipPad = 10;
constexpr int kTipPointer = CALLOUT_LEFT_BOTTOM;

int AnalysisMainInt(const char* key) {
    return CUIPublic::Instance()->GetConfig()->GetKeyValueInt("AnalysisMain", key);
}

// A link row's label keeps the size of its text, wrapped at the width of the steps' texts. The
// label's own layout is measured: it holds the links as the label shows them.
gboolean FitToText(GtkWidget* widget, GdkEventExpose*, gpointer) {
    PangoLayout* layout = pango_layout_copy(gtk_label_get_layout(GTK_LABEL(widget)));
    pango_layout_set_width(layout, CStepFlowWidget::TextWidth() * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    g_object_unref(layout);
    int oldWidth = -1, oldHeight = -1;
    gtk_widget_get_size_request(widget, &oldWidth, &oldHeight);
    if (width != oldWidth || height != oldHeight) gtk_widget_set_size_request(widget, width, height);
    return FALSE;
}

template <typename T>
void DeleteAndForget(T*& wrapper) {
    delete wrapper;
    wrapper = nullptr;
}

}  // namespace

void CStepFlow::ForgetOptions() {
    DeleteAndForget(rootLink_);
    DeleteAndForget(backupLink_);
    DeleteAndForget(massStorageLink_);
    DeleteAndForget(apkPromptLabel_);
    DeleteAndForget(backupOkImage_);
    DeleteAndForget(massStorageOkImage_);
    DeleteAndForget(optionsBox_);
}

CBPLinkLabel* CStepFlow::CreateLinkLabel(const char* url, const char* format, const char* linkText,
                                         GCallback handler) {
    if (!url || !format) return nullptr;
    const char* font = GetTextInDomain(kLinkFont);
    const std::string link = linkText ? MakeLinkMarkup(linkText, url, font) : std::string();
    const GdkColor grey = Colour(68, 68, 68);
    const std::string markup = MakeSpanMarkup(FormatWithText(format, link), &grey, font, nullptr, true);
    auto* label = new CBPLinkLabel(markup.c_str());
    label->Show();
    label->RegisterCallBack("url-activated", handler, this);
    return label;
}

void CStepFlow::BuildRootOptions() {
    ForgetOptions();
    CUIPublic* services = CUIPublic::Instance();
    optionsBox_ = new CBPBox(true, false, 0);
    optionsBox_->Show();
    rootLink_ = CreateLinkLabel("1", GetLangString("AFTER_ROOTING1"), GetLangString("AFTER_ROOTING2"),
                                G_CALLBACK(&CStepFlow::OnOptionClicked));
    gtk_misc_set_alignment(GTK_MISC(rootLink_->GetWidget()), 0.0f, 0.5f);
    optionsBox_->PackStart(rootLink_, false, false, 10);
    const int height = AnalysisMainInt("RootTipLabelHeight");

    struct OptionRow {
        CBPImage** tick;
        CBPLinkLabel** link;
        float yAlign;
    };
    const std::string backupFormat = std::string(GetLangString("RECOVER_CONTANCTS_HELP1")) + "(" +
                                     GetLangString("BACKUP_PROMPT") + ")";
    backupLink_ = CreateLinkLabel("2", backupFormat.c_str(), GetLangString("RECOVER_CONTANCTS_HELP2"),
                                  G_CALLBACK(&CStepFlow::OnOptionClicked));
    massStorageLink_ = CreateLinkLabel(GetLangLink("MassStorageHowTo"), GetLangString("RECOVER_MEDIA_FILES_HELP1"),
                                       GetLangString("RECOVER_MEDIA_FILES_HELP2"),
                                       G_CALLBACK(&CStepFlow::OpenLinkHandler));
    const OptionRow rows[] = {{&backupOkImage_, &backupLink_, 0.5f}, {&massStorageOkImage_, &massStorageLink_, 0.8f}};
    for (const OptionRow& option : rows) {
        auto* row = new CBPBox(false, false, 0);
        *option.tick = new CBPImage((services->ResFolder() + "ok.png").c_str());
        row->PackStart(*option.tick, false, false, 5);
        row->PackStart(*option.link, true, true, 0);
        gtk_widget_set_size_request(row->GetWidget(), -1, height > 0 ? height : -1);
        gtk_misc_set_alignment(GTK_MISC((*option.link)->GetWidget()), 0.0f, option.yAlign);
        gtk_label_set_line_wrap(GTK_LABEL((*option.link)->GetWidget()), TRUE);
        (*option.link)->RegisterCallBack("expose-event", G_CALLBACK(&FitToText), nullptr);
        row->Show();
        optionsBox_->PackStart(row, false, false, 0);
        row->SetDestroyWidgetWhenDelete(0);
        delete row;
    }
}

void CStepFlow::BuildApkPrompt() {
    ForgetOptions();
    optionsBox_ = new CBPBox(true, false, 0);
    optionsBox_->Show();
    apkPromptLabel_ = new CBPLabel();
    const std::string markup =
        MakeSpanMarkup(GetLangString("APK_INSTALL_PROMPT_CONTENT"), nullptr, GetTextInDomain(kLinkFont), nullptr, true);
    apkPromptLabel_->SetLabelMarkText(markup.c_str());
    GtkLabel* label = GTK_LABEL(apkPromptLabel_->GetWidget());
    gtk_label_set_line_wrap(label, TRUE);
    gtk_misc_set_alignment(GTK_MISC(label), 0.0f, 0.5f);
    gtk_widget_set_size_request(apkPromptLabel_->GetWidget(), CStepFlowWidget::TextWidth(), -1);
    apkPromptLabel_->Show();
    optionsBox_->PackStart(apkPromptLabel_, false, false, 20);
}

void CStepFlow::OnOptionClicked(GtkWidget*, const gchar* url, gint x, gint y, gpointer self) {
    auto* flow = static_cast<CStepFlow*>(self);
    if (!url) return;
    flow->StartGuide();
    CStepTip tip;
    tip.warning = 0;
    tip.pointerPosition = kTipPointer;
    tip.imagePath = CUIPublic::Instance()->ResFolder() +
                    (CUIPublic::Instance()->GetLanguageId() == LANGUAGE_CHINESE ? "allow_cn.png" : "allow.png");
    flow->tip_ = tip;
    ILogicalController* controller = CUIPublic::Instance()->GetLogicalController();
    const std::string which = url;
    if (which == "1") {
        flow->ComputeTipRect(flow->rootLink_, x, y, 0);
        flow->rootAnchorX_ = x;
        flow->rootAnchorY_ = y;
        if (controller) controller->ChooseOption1();
    } else if (which == "2") {
        // One backup at a time: the link comes back with the backup's result.
        gtk_widget_set_sensitive(flow->backupLink_->GetWidget(), FALSE);
        flow->ComputeTipRect(flow->backupLink_, x, y, 0);
        flow->backupAnchorX_ = x;
        flow->backupAnchorY_ = y;
        if (controller) controller->ChooseOption2();
    }
    flow->tipVisible_ = 1;
    flow->RedrawMainWindow();
}

void CStepFlow::ComputeTipRect(CBPLinkLabel* widget, int x, int y, int warning) {
    if (!widget) return;
    const int size = AnalysisMainInt(warning ? "WarningTipSize" : "WaittingTipSize");
    int imageWidth = 0, imageHeight = 0;
    GetImageFileSize(tip_.imagePath, &imageWidth, &imageHeight);
    const std::string& text = warning ? tip_.message : tip_.title;
    int textWidth = 0, textHeight = 0;
    GetMarkupPixelSize(text.c_str(), GetTextInDomain(kLinkFont), &textWidth, &textHeight, size - imageWidth - 15);
    GtkAllocation area;
    gtk_widget_get_allocation(widget->GetWidget(), &area);
    int left = x + area.x;
    int width = size;
    if (warning) width = std::min(width, textWidth + imageWidth + 25);
    if (left + width > area.x + area.width) left -= left + width - area.x - area.width + 1;
    const int height = warning ? std::max(imageHeight, textHeight) + 10 : textHeight + imageHeight;
    tip_.x = left;
    tip_.width = width;
    tip_.height = height;
    tip_.y = y + area.y - height + (widget == backupLink_ ? 8 : 0);
}

int CStepFlow::CheckEventResult(CBPLinkLabel* widget, const char* text) {
    if (!widget) return 0;
    ResultCode value = 1;
    unsigned length = sizeof value;
    const ResultCode fetched = GetMsg(&value, &length);
    const bool failed = Failed(fetched) || Failed(value);
    if (failed) {
        CStepTip tip;
        tip.warning = 1;
        tip.pointerPosition = kTipPointer;
        tip.imagePath = CUIPublic::Instance()->ResFolder() + "icon_warning.png";
        tip.message = text ? text : "";
        tip_ = tip;
        const bool backup = tip_.message == GetLangString("BACKUP_SYSTEM_FAILED");
        int& anchorX = backup ? backupAnchorX_ : rootAnchorX_;
        int& anchorY = backup ? backupAnchorY_ : rootAnchorY_;
        ComputeTipRect(widget, anchorX, anchorY, 1);
        anchorX = 0;
        anchorY = 0;
        tipVisible_ = 1;
    } else {
        tipVisible_ = 0;
    }
    StopGuide();
    RedrawMainWindow();
    return failed ? 0 : 1;
}

void CStepFlow::EnableGo() {
    gtk_widget_set_sensitive(goButton_->GetWidget(), TRUE);
    MakeDefault(goButton_);
    goButton_->BindInt(ROUND_COLOR_BUTTON_KEY, ROUND_LOOK_READY);
}

void CStepFlow::OnBackupResult() {
    if (!backupLink_) return;
    gtk_widget_set_sensitive(backupLink_->GetWidget(), TRUE);
    EnsureOptionsBox();
    if (!CheckEventResult(backupLink_, GetLangString("BACKUP_SYSTEM_FAILED"))) return;
    backupLink_->SetLabelMarkText(
        MakeSpanMarkup(GetLangString("SYSTEM_BACKUP_COMPLETED"), nullptr, GetTextInDomain(kLinkFont), nullptr, true)
            .c_str());
    backupOkImage_->Show();
    EnableGo();
    outcomeFlags_ |= STEP_OUTCOME_BACKUP;
}

void CStepFlow::OnMassStorageResult() {
    if (!massStorageLink_) return;
    gtk_widget_set_sensitive(massStorageLink_->GetWidget(), TRUE);
    EnsureOptionsBox();
    if (!CheckEventResult(massStorageLink_, GetLangString("OPEN_MASS_STORAGE_FAILED"))) return;
    massStorageLink_->SetLabelMarkText(
        MakeSpanMarkup(GetLangString("TURN_ON_USB_MASS_STORAGE"), nullptr, GetTextInDomain(kLinkFont), nullptr, true)
            .c_str());
    massStorageOkImage_->Show();
    EnableGo();
    outcomeFlags_ |= STEP_OUTCOME_MASS_STORAGE;
}

void CStepFlow::EnsureOptionsBox() {
    if (!optionsBox_) {
        optionsBox_ = new CBPBox(true, false, 0);
        optionsBox_->Show();
        steps_[STEP_ROW_CONNECTING]->PackExtra(optionsBox_->GetWidget(), false, false, 0, true);
    }
    StopGuide();
}

void CStepFlow::OnNoRoot() {
    if (CheckEventResult(rootLink_, GetLangString("DO_NOT_HAVE_ROOT_PRIVILEGE")) == 1) GoToScanPage();
}

GdkPixbuf* CStepFlow::TipImage() {
    if (tipImagePath_ != tip_.imagePath) {
        if (tipImage_) g_object_unref(tipImage_);
        tipImage_ = gdk_pixbuf_new_from_file(tip_.imagePath.c_str(), nullptr);
        tipImagePath_ = tip_.imagePath;
    }
    return tipImage_;
}

gboolean CStepFlow::DrawTip(GtkWidget* widget, GdkEventExpose*, gpointer self) {
    auto* flow = static_cast<CStepFlow*>(self);
    if (!GTK_IS_WIDGET(widget) || !flow->rootLink_ || !flow->backupLink_ || !flow->massStorageLink_ ||
        !flow->tipVisible_)
        return FALSE;
    const CStepTip& tip = flow->tip_;
    const GdkColor border = Colour(205, 205, 205);
    const GdkColor fill = tip.warning ? Colour(254, 231, 210) : Colour(241, 254, 254);
    const GdkRectangle box{tip.x, tip.y, tip.width, tip.height};
    DrawCallout(widget, static_cast<unsigned>(tip.pointerPosition), fill, border, &box, 0.8, 0, 10, 10);

    CBPCairo cairo(widget);
    if (!cairo.IsValid()) return FALSE;
    CBPCairoFont writer(&cairo);
    const char* font = GetTextInDomain(kLinkFont);
    const GdkColor ink = Colour(68, 68, 68);
    double left = tip.x + kTipPad + 5, top = tip.y + 5;
    const double wrap = tip.width - kTipPad - 5;
    if (!tip.title.empty()) top += writer.DrawLineFeedFont(tip.title, font, left, top, wrap, ink) + 5;
    int imageWidth = 0, imageHeight = 0;
    if (GdkPixbuf* image = flow->TipImage()) {
        imageWidth = gdk_pixbuf_get_width(image);
        imageHeight = gdk_pixbuf_get_height(image);
        gdk_cairo_set_source_pixbuf(cairo.GetCairo(), image, left, top);
        cairo_paint(cairo.GetCairo());
    }
    if (tip.message.empty()) return FALSE;
    double messageWrap = wrap;
    if (tip.warning) {
        left += imageWidth + 5;
        messageWrap -= imageWidth + 5;  // the text stays inside the box, right of the picture
    } else {
        top += imageHeight + 5;
    }
    const int height = writer.DrawLineFeedFont(tip.message, font, left, top, messageWrap, ink, true);
    if (tip.warning && height < imageHeight) top += (imageHeight - height) / 2;
    writer.DrawLineFeedFont(tip.message, font, left, top, messageWrap, ink);
    return FALSE;
}
