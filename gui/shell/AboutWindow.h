#pragma once
#include <string>

#include "gui/shell/BaseWnd.h"

class CBPAlignment;
class CBPBox;
class CBPLinkLabel;

// The About dialog: version and build, a further-information text, the about link and the legal
// notice, with the logo strip and an OK button.
class CAboutWindow : public CBaseWnd {
public:
    explicit CAboutWindow(CBPWindow* parent);
    ~CAboutWindow() override;

    // "<version text> <version> (<build text> <build>)".
    static std::string VersionLine();
    CBPLinkLabel* GetLinkLabel() const { return link_; }

private:
    static void OnUrlActivated(GtkWidget* label, const gchar* url, gint x, gint y, gpointer self);
    CBPLabel* AddTextLine(const std::string& markup, int padding, bool centred);

    CBPBox* box_ = nullptr;
    CBPLabel* version_ = nullptr;
    CBPLabel* learnMore_ = nullptr;
    CBPLinkLabel* link_ = nullptr;
    CBPLabel* notice_ = nullptr;
    CBPAlignment* linkAlignment_ = nullptr;
    CBPAlignment* alignment_ = nullptr;
};
