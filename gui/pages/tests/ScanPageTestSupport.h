#pragma once
#include <gtk/gtk.h>

#include <string>

#include "gui/pages/tests/PagesTestSupport.h"
#include "sqlite_recovery/framework/CDataContainer.h"
#include "sqlite_recovery/framework/IProgress.h"

class CBPWidget;

// The scripted logic with three result containers of the test's own.
class ContainerController : public ScriptedController {
public:
    IDataContainer<_CONTACT_INFOMATION>* GetContactContainer() override { return &contacts; }
    IDataContainer<_SMS_INFOMATION>* GetSmsContainer() override { return &sms; }
    IDataContainer<_ARCHIVE_INFOMATION>* GetArchiveContainer() override { return &files; }

    CDataContainer<_CONTACT_INFOMATION> contacts;
    CDataContainer<_SMS_INFOMATION> sms;
    CDataContainer<_ARCHIVE_INFOMATION> files;
};

// The controller the GUI uses for the test's life (set and reset by the fixture).
struct ControllerScope {
    explicit ControllerScope(ILogicalController* controller);
    ~ControllerScope();
};

// A scan progress record with the remaining seconds at their place.
PROGRESS_INFO ScanRecord(uint32_t state, uint64_t total, uint64_t done, uint32_t seconds);
// Posts the record as the logic posts the scan's progress.
void PostScanRecord(const PROGRESS_INFO& record);
// Posts a message (with no payload) and pumps until the notification centre has delivered it.
void PostAndDeliver(unsigned id, const void* data = nullptr, unsigned length = 0);

// A widget in a top-level window of its own, shown; the window goes with the holder.
class TestWindow {
public:
    TestWindow(CBPWidget* content, int width, int height);
    ~TestWindow();
    GtkWidget* Window() const { return window_; }

private:
    GtkWidget* window_;
};

// Runs what the main loop has ready now.
void RunPending();
bool Visible(CBPWidget* widget);
bool Sensitive(CBPWidget* widget);
// The label's text without markup.
std::string TextOf(CBPWidget* label);
