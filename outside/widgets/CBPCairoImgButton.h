#pragma once
#include "outside/widgets/CBPCairoButton.h"

// A button drawn from up to four pictures: normal, pointer over, pressed, disabled. A missing
// picture falls back to the normal one.
class CBPCairoImgButton : public CBPCairoButton {
public:
    // images: a list of file paths (char*) in the order above; the list stays the caller's.
    // A width or height of 0 takes the normal picture's.
    CBPCairoImgButton(GList* images, int width, int height, int flags);
    ~CBPCairoImgButton() override;

    // The picture painted for a state, null when none could be loaded.
    GdkPixbuf* ImageFor(GtkStateType state) const;

protected:
    void Paint(cairo_t* cr, GtkStateType state, int width, int height) override;

private:
    GdkPixbuf* images_[4] = {nullptr, nullptr, nullptr, nullptr};
};
