#pragma once
// Text from the phone (or from a file) on its way to a terminal: everything a terminal
// would act on instead of showing is spelled out visibly; line breaks stay line breaks.
#include <string>

namespace pelkor_tool {

// `text` with every control character shown as an escape: C0 controls and DEL as
// \xNN (\t, \r for tab and carriage return), C1 controls (U+0080-U+009F), the
// direction overrides and isolates (U+202A-U+202E, U+2066-U+2069) and the line and
// paragraph separators (U+2028, U+2029) as \uNNNN, and bytes that are not UTF-8 as
// \xNN. LF is kept. Text without any of these comes back unchanged.
std::string ForTerminal(const std::string &text);

}  // namespace pelkor_tool
