#include "gui/pages/StepImageTip.h"

#include <gtk/gtk.h>

#include "gui/shell/CUIPublic.h"
#include "outside/widgets/CBPImage.h"
#include "outside/widgets/CBPIniParser.h"

namespace {

constexpr guint kFrameMs = 100;
constexpr const char* kFrameKey = "_IMAGE_INDEX_";

gboolean PassExpose(GtkWidget*, GdkEventExpose*, gpointer) { return FALSE; }

}  // namespace

CStepImageTip::CStepImageTip() : CBPBox(true, false, 0) {
    CUIPublic* services = CUIPublic::Instance();
    RegisterCallBack("expose-event", G_CALLBACK(&PassExpose), nullptr);
    auto* column = new CBPBox(true, false, 0);
    auto* row = new CBPBox(false, false, 0);
    textImage_ = new CBPImage((services->ResFolder() + "dh_text.png").c_str());
    row->PackStart(textImage_, true, false, 0);
    if (services->GetLanguageId() == LANGUAGE_CHINESE) {
        textImage_->Hide();
    } else {
        textImage_->Show();
    }
    row->Show();
    column->PackStart(row, false, true, 10);
    animImage_ = new CBPImage(FramePath(1).c_str());
    g_object_set_data(G_OBJECT(animImage_->GetWidget()), kFrameKey, GINT_TO_POINTER(1));
    animImage_->Show();
    column->PackStart(animImage_, false, false, 0);
    column->Show();
    PackStart(column, true, false, 0);
    for (CBPBox* box : {row, column}) {
        box->SetDestroyWidgetWhenDelete(0);
        delete box;
    }
}

CStepImageTip::~CStepImageTip() {
    Stop();
    delete animImage_;
    delete textImage_;
}

std::string CStepImageTip::FramePath(int frame) {
    CUIPublic* services = CUIPublic::Instance();
    const char* format = services->GetLanguageId() == LANGUAGE_CHINESE ? "dh%d-cn.png" : "dh%d.png";
    gchar* name = g_strdup_printf(format, frame);
    std::string path = services->ResFolder() + name;
    g_free(name);
    return path;
}

void CStepImageTip::Start() { CUIPublic::SetTimer(&timerId_, kFrameMs, &CStepImageTip::OnTimer, this); }

void CStepImageTip::Stop() { CUIPublic::RemoveTimer(&timerId_); }

int CStepImageTip::GetFrame() const {
    return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(animImage_->GetWidget()), kFrameKey));
}

void CStepImageTip::Advance() {
    const int count = CUIPublic::Instance()->GetConfig()->GetKeyValueInt("AnalysisMain", "AminationImgCnt");
    int next = GetFrame() + 1;
    if (next > count) next = 1;
    if (next == GetFrame()) return;  // a single frame: nothing to load again
    g_object_set_data(G_OBJECT(animImage_->GetWidget()), kFrameKey, GINT_TO_POINTER(next));
    animImage_->SetImageFromFile(FramePath(next).c_str());
}

gboolean CStepImageTip::OnTimer(gpointer self) {
    static_cast<CStepImageTip*>(self)->Advance();
    return TRUE;
}
