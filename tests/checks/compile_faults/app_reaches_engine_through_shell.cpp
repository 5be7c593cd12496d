// Compiled as a file of app: the main window's header is found, but not the
// libraries below the shell that it includes.
#include "shell/main_window.h"
