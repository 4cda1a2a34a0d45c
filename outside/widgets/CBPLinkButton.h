#pragma once
#include <string>

#include "outside/widgets/CBPWidget.h"

// A flat button that shows its text as a link and opens the bound address when clicked. Only web
// addresses (http and https) are opened; anything else bound to it is shown but never opened.
class CBPLinkButton : public CBPWidget {
public:
    // underline non-zero underlines the text; wrap non-zero lets a long text break into lines,
    // else it is cut short with an ellipsis when the button has less room.
    CBPLinkButton(const char* text, int underline, int wrap);
    ~CBPLinkButton() override;

    // The label's font description (Pango, such as "Sans 14px").
    void ModifyBtnLabel(const char* font);
    // The text shown, taken as plain text.
    void SetBtnTxt(const char* text);
    std::string GetBtnTxt() const;
    void BindUrl(const char* url);
    const std::string& GetUrl() const { return url_; }
    // Times a bound address was handed to the desktop.
    int OpenedCount() const { return opened_; }

private:
    static void OnClicked(GtkButton* button, gpointer self);
    static gboolean OnCrossing(GtkWidget* widget, GdkEventCrossing* event, gpointer self);

    GtkWidget* label_ = nullptr;
    bool underline_;
    std::string text_;
    std::string url_;
    int opened_ = 0;
};
