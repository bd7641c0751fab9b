// A message box for the terminal.
#pragma once

#include <string>

namespace velmora {

// Shows text framed under its caption. When standard input and standard output are both
// terminals, the box goes to standard output and the call waits until the user presses Enter (or
// input ends); otherwise it goes to standard error and returns at once, so scripts never wait.
// Control characters other than line breaks are shown as '?'.
void showMessageBox(const std::string& text, const std::string& caption);

}  // namespace velmora
