#pragma once
// The window's texts that name one system's places and remedies: Windows'
// Device Manager and COM numbers, or the other systems' port folder, dialout
// group and installed Quorvel.conf. `windows` chooses (WindowsBuild).
#include <string>

namespace platformtext {

// What `quorvel --help` prints.
std::string Usage(bool windows);

// What the "No serial port" box advises.
std::string NoPortAdvice(bool windows);

}  // namespace platformtext
