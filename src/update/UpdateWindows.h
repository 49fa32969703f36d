#pragma once

#include "base/MessageBoxes.h"

// The version check's windows in the windowed program: the offer of a new
// version (FUpdateVersion: Yes when "Update Now" was pressed) and the
// maker's message (FCompanyMessage). Other requests are message boxes.
namespace UpdateWindows {

MessageAnswer show(const MessageRequest &request);

} // namespace UpdateWindows
