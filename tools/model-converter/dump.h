#pragma once

#include <ostream>

#include "tflite_model.h"

namespace vextra::model {

// Lists tensors and operators, so what a model uses can be seen before it is converted.
void dump(const TfliteModel& m, std::ostream& out);

}  // namespace vextra::model
