#include "gui/pages/tests/ScanPageTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

#include "gui/shell/CNotifyCentor.h"
#include "gui/shell/CUIPublic.h"
#include "logic_contract/RelikordaMsg.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "gui/shell/tests/ShellTestSupport.h"
#include "outside/widgets/CBPWidget.h"

ControllerScope::ControllerScope(ILogicalController* controller) {
    CUIPublic::Instance()->SetLogicalController(controller);
}

ControllerScope::~ControllerScope() { CUIPublic::Instance()->SetLogicalController(nullptr); }

PROGRESS_INFO ScanRecord(uint32_t state, uint64_t total, uint64_t done, uint32_t seconds) {
    PROGRESS_INFO record = MakeProgress(state, total, done, 0, "");
    record.remainingSeconds = seconds;
    return record;
}

void PostScanRecord(const PROGRESS_INFO& record) { PostAndDeliver(MSG_SCAN_PROGRESS, &record, sizeof record); }

void PostAndDeliver(unsigned id, const void* data, unsigned length) {
    CNotifyCentor::Instance()->Notify(id, data, length);
    CNotifyCentor::Instance()->DeliverPending();
    RunPending();
}

TestWindow::TestWindow(CBPWidget* content, int width, int height) : window_(gtk_window_new(GTK_WINDOW_TOPLEVEL)) {
    gtk_window_set_default_size(GTK_WINDOW(window_), width, height);
    gtk_container_add(GTK_CONTAINER(window_), content->GetWidget());
    content->Show();
    gtk_widget_show(window_);
    WaitShown(window_);
}

TestWindow::~TestWindow() { gtk_widget_destroy(window_); }

void RunPending() {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

bool Visible(CBPWidget* widget) { return widget && gtk_widget_get_visible(widget->GetWidget()); }
bool Sensitive(CBPWidget* widget) { return widget && gtk_widget_get_sensitive(widget->GetWidget()); }

std::string TextOf(CBPWidget* label) {
    const char* text = gtk_label_get_text(GTK_LABEL(label->GetWidget()));
    return text ? text : "";
}
