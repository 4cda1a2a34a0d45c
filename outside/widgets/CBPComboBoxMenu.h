#pragma once
#include <memory>
#include <vector>

#include "outside/widgets/CBPComboBoxMenuItem.h"

// A menu that drops down under a button when the button is clicked (kept inside the button's
// window where it fits).
class CBPComboBoxMenu : public CBPWidget {
public:
    CBPComboBoxMenu(CBPWidget* button, int flags);
    ~CBPComboBoxMenu() override;

    // The size of every entry appended afterwards (-1: natural).
    void SetItemSize(int width, int height);
    // A new entry at the end; the menu owns it.
    CBPComboBoxMenuItem* AppendMenuItem(const char* text, int index);
    const std::vector<std::unique_ptr<CBPComboBoxMenuItem>>& Items() const { return items_; }
    // Drops the menu down under the button.
    void Popup();

private:
    static void OnClicked(GtkButton* button, gpointer self);
    static void Position(GtkMenu* menu, gint* x, gint* y, gboolean* pushIn, gpointer self);

    GtkWidget* button_ = nullptr;
    int itemWidth_ = -1;
    int itemHeight_ = -1;
    std::vector<std::unique_ptr<CBPComboBoxMenuItem>> items_;
};
