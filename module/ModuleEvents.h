// Event types the module widgets raise towards the main window.
#pragma once

#include "base/ByteString.h"

#include <QString>
#include <cstdint>
#include <functional>

// A command for a weighing module: module (unit) number and command bytes.
using TCommandEvent = std::function<void(std::uint8_t module, const TByteString& command)>;
// A line for the main window's message memo.
using TMessageEvent = std::function<void(const QString& text)>;
