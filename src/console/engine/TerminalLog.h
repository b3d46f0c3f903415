#pragma once

#include <QString>

namespace vantor {

class TerminalText;

// Saves a terminal view as a text file: every line ended by CR LF, in the controller's
// Shift-JIS. The open last line is written only when it holds text, so a view that
// ends with a line end saves no extra empty line. The file is replaced only once the
// new content is complete; throws FileError naming the file when it cannot be written.
void saveTerminalLog(const TerminalText& text, const QString& path);

} // namespace vantor
