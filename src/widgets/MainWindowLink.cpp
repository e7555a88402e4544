// The process-wide link to the main window.
#include "MainWindowLink.h"

MainWindowLink* MainWindow = nullptr;
