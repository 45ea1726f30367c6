// The composition engine's error class: codes 0xFF01xxxx shown as "ZNRC...".
// A report never stops a composition; the caller goes on with a neutral value.
#pragma once

#include "base/ErrorCodes.h"

#include <cstdint>

namespace harmolin {

// Reports engine error 0xFF010000 | subCode (sub-code 0 shows the general text).
void reportEngineError(std::uint32_t subCode);
// Puts the engine's message table in place (done by the first report).
void registerEngineMessages();

// Sub-codes the engine raises, named with every other code.
namespace engine_error = errc::engine;

} // namespace harmolin
