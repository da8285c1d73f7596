// Saves what the screen shows of a window as a 24-bit BMP file.
#ifndef SFX_TESTS_SUPPORT_SCREENSHOT_H
#define SFX_TESTS_SUPPORT_SCREENSHOT_H

#include <windows.h>

#include <string>

bool SaveWindowPicture(HWND window, const std::string& path);

#endif
