#include "outside/widgets/CBPHProgressBar.h"

CBPHProgressBar::CBPHProgressBar(int height) { gtk_widget_set_size_request(GetWidget(), -1, height); }
