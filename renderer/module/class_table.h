// The module's class table: the renderer filter, then its property page. Read-only.
#pragma once

#include <span>

#include "class_template.h"

namespace pixora {

std::span<const dshow::ClassTemplate> ClassTable();

}  // namespace pixora
