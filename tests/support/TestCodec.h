#pragma once

#include "platform/TextCodec.h"

namespace ravolen::test {

// Code page 936, as on a Simplified Chinese Windows: the system's own conversion under Wine,
// glibc's iconv natively.
const TextCodec& Cp936();

}  // namespace ravolen::test
