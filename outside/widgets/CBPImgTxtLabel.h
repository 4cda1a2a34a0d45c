#pragma once
#include <gtk/gtk.h>

#include <string>

#include "outside/widgets/CBPWidget.h"

// A row of an icon, a text and an appended text (such as a count), drawn normal or highlighted
// (a background colour behind it); a press calls back.
class CBPImgTxtLabel : public CBPWidget {
public:
    using Pressed = void (*)(CBPImgTxtLabel* label, gpointer data);

    CBPImgTxtLabel(const char* imagePath, const char* markup);
    ~CBPImgTxtLabel() override;

    // A key the owner finds the row by.
    void SetLabelKey(int key) { key_ = key; }
    int GetLabelKey() const { return key_; }
    // Space left of the icon and between icon and text.
    void SetHeadDis(int left, int between);
    void SetLabelMarkup(const char* markup);
    // Markup after the text; AppendTxt adds to it, SetAppendTxt replaces it (in the colour given).
    void AppendTxt(const char* markup);
    void SetAppendTxt(const char* text, GdkColor colour);
    std::string GetAppendTxt() const;
    std::string GetLabelText() const;
    void SetHightLightClr(GdkColor colour);
    void SetLabelNormal();
    void SetLabelHeighLight();
    bool IsHighlighted() const { return highlighted_; }
    void SetPressCallBack(Pressed callback, gpointer data);

private:
    static gboolean OnPress(GtkWidget* widget, GdkEventButton* event, gpointer self);

    GtkWidget* row_ = nullptr;
    GtkWidget* image_ = nullptr;
    GtkWidget* label_ = nullptr;
    GtkWidget* append_ = nullptr;
    std::string appendMarkup_;
    GdkColor highlight_{0, 0xE5E5, 0xF3F3, 0xFBFB};
    bool highlighted_ = false;
    int key_ = 0;
    Pressed pressed_ = nullptr;
    gpointer pressedData_ = nullptr;
};
