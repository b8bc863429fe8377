// Method 0, stored: the compressed bytes are the entry's bytes. Each refill lands in the
// output buffer and is written out as it is, so no byte is copied twice.
#include "unzip/Decode.h"

namespace unzip {

void Unstore(TDecodeContext& ctx) {
  std::uint8_t* const block = ctx.Workspace.Output;
  for (;;) {
    const std::size_t n = ctx.Input.Refill(block, kIoBufferSize);
    if (n == 0) break;
    ctx.Output.Write(block, n);
  }
}

bool Decode(TDecodeContext& ctx, std::uint16_t method, std::uint16_t flags) {
  switch (method) {
    case 0: Unstore(ctx); return true;
    case 1: Unshrink(ctx); return true;
    case 2:
    case 3:
    case 4:
    case 5: Unreduce(ctx, method - 1); return true;
    case 6: Explode(ctx, flags); return true;
    case 8: Inflate(ctx); return true;
    default: return false;
  }
}

}  // namespace unzip
