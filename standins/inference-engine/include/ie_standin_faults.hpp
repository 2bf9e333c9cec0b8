#pragma once

// Not part of the real interface: lets tests of the engine's callers make a chosen call fail,
// so their error paths run against this stand-in.
//
// A caller run as a separate process is set up through its environment, read when the first
// checked call is made:
//   VEXTRA_IE_FAIL=<Call>[:<skip>][,...]  as failCall(Call::<Call>, skip) for each entry, where
//                                         <Call> is an enumerator name below; entries with an
//                                         unknown name or a malformed skip are ignored.
//   VEXTRA_IE_TRACE=<file>                every checked call, failing or not, appends a line
//                                         with its enumerator name to that file.

namespace InferenceEngine::standin {

enum class Call {
  CoreConstruction,
  RegisterPlugin,
  ReadNetwork,
  LoadNetwork,
  CreateInferRequest,
  GetBlob,
  Infer
};

// The call of this kind after `skip` successful ones raises InferenceEngine::Exception, once.
void failCall(Call call, unsigned skip = 0);
void clearFailures();

}  // namespace InferenceEngine::standin
