#pragma once

#include "standin_config.h"
#include "standin_record.h"

namespace nvstandin {

// This DLL's view of the record section, mapped on first use and kept until unload.
StandinRecord& Record();
void UnmapRecord();

// Counts the call and answers the status it is configured to fail with, or 0.
int32_t EnterCall(Call call, const StandinConfig& config);

// The configuration as the environment gives it now.
StandinConfig ReadConfigFromEnvironment();

}  // namespace nvstandin
