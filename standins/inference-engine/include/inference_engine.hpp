#pragma once

#include "ie_blob.h"
#include "ie_common.h"
#include "ie_core.hpp"
#include "ie_layouts.h"
#include "ie_precision.hpp"
