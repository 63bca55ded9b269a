#include "platform/CodePageCodec.h"
#include "support/TestCodec.h"

namespace ravolen::test {

const TextCodec& Cp936() {
    static const CodePageCodec codec(936);
    return codec;
}

}  // namespace ravolen::test
