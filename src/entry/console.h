#pragma once

namespace OFX {

// The module's only text output: one fixed line on standard output, flushed.
// Lines from concurrent actions may interleave; nothing orders them.
void consoleMessage(const char *text);

}  // namespace OFX
