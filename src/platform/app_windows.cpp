// app_windows.cpp -- storage of the window record.
#include "app_windows.h"

AppWindows appWindows;
