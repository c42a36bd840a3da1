// The main window's elements, filled in when the application builds its window.
#include "ui/main_window_elements.h"

MainWindow main_window;
MainFonts main_fonts;
