#pragma once

// Not part of the real interface: lets tests of the engine's callers make a chosen call fail,
// so their error paths run against this stand-in.

namespace InferenceEngine::standin {

enum class Call { CoreConstruction, RegisterPlugin, ReadNetwork, LoadNetwork, CreateInferRequest, GetBlob, Infer };

// The call of this kind after `skip` successful ones raises InferenceEngine::Exception, once.
void failCall(Call call, unsigned skip = 0);
void clearFailures();

}  // namespace InferenceEngine::standin
