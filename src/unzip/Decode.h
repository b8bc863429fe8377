// The decoders of the ZIP methods this reader supports, and the seam between them and the
// extraction that drives them.
//
//   archive file --> TDecodeInput::Refill --> decoder --> TDecodeOutput::Write --> target file
//                    (cancel polling, next        |       (size check, CRC-32,
//                     disk, decryption)           |        progress events)
//                                         TDecodeWorkspace
//                   (32780-byte work area, 16000-byte input and output buffers, tables)
//
// The extraction allocates one TDecodeWorkspace per ExtractFiles call and, for each entry,
// hands a TDecodeContext to the decoder of the entry's method. Decoders never throw on bad
// data: malformed input ends decoding early (or yields wrong bytes), and the CRC-32 check
// of the extraction rejects the entry. Exceptions thrown by the input source or the output
// sink pass through the decoders unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

namespace unzip {

// The shared work area of the decoders: the sliding window of reducing, imploding and
// inflating, or the tables of shrinking and reducing.
inline constexpr std::size_t kWorkAreaSize = 32780;
// Capacity of the input and output buffers; every refill and every output block is at
// most this long, and every output block but the entry's last is exactly this long.
inline constexpr std::size_t kIoBufferSize = 16000;

// Room for the lookup tables of the Huffman and Shannon-Fano decoders (inflate's
// literal/length and distance tables with their sub-tables, explode's three trees). Their
// layout belongs to the decoders; they live in the workspace so that nothing is allocated
// per entry or per block.
inline constexpr std::size_t kDecodeTableBytes = 16 * 1024;
// Inflate decodes into a linear buffer of the 32 KiB history plus a run of fresh output,
// so that its inner loop needs no wrap-around checks and keeps running across several
// output blocks; the history is slid down once per run.
inline constexpr std::size_t kInflateHistory = 32768;
inline constexpr std::size_t kInflateRun = 4 * kIoBufferSize;
inline constexpr std::size_t kInflateBufferBytes = kInflateHistory + kInflateRun + 1024;

// Everything the decoders work in. Allocate it once per ExtractFiles call (it is about
// 180 KB; do not put it on a thread's stack). The input and output buffers carry slack
// bytes so that the fast paths can read and write whole machine words near their ends.
struct TDecodeWorkspace {
  static constexpr std::size_t kSlack = 64;
  alignas(64) std::uint8_t Work[kWorkAreaSize + kSlack];
  alignas(64) std::uint8_t Input[kIoBufferSize + kSlack];
  alignas(64) std::uint8_t Output[kIoBufferSize + kSlack];
  alignas(64) std::uint8_t Tables[kDecodeTableBytes];
  alignas(64) std::uint8_t InflateBuffer[kInflateBufferBytes];
};

// Where a decoder gets the entry's compressed bytes from. The extraction implements it.
class TDecodeInput {
 public:
  virtual ~TDecodeInput() = default;
  // Fills `buffer` with the entry's next compressed bytes (decrypted for an encrypted
  // entry) and returns their count: min(compressed bytes left, capacity), where capacity
  // is always kIoBufferSize. Returns 0 once the entry's compressed bytes are exhausted;
  // a decoder may call it again after that and gets 0 again. May throw (cancel,
  // premature end of the archive, a cancelled disk change).
  //
  // The stored method calls this too, with `buffer` being the workspace's Output buffer,
  // and passes the same bytes straight on to TDecodeOutput::Write; an implementation
  // that wants the stored path to skip cancel polling or disk continuation can tell it
  // by the entry's method.
  virtual std::size_t Refill(std::uint8_t* buffer, std::size_t capacity) = 0;
};

// Where a decoder puts the entry's bytes. The extraction implements it.
class TDecodeOutput {
 public:
  virtual ~TDecodeOutput() = default;
  // One output block, 1 to kIoBufferSize bytes: exactly kIoBufferSize for every block
  // but the entry's last (the decoders never call it with 0 bytes). The data may point
  // into the workspace's Output buffer or into the work area; it is valid only during
  // the call. Here the extraction checks the size (and may throw
  // EBiggerThanUncompressed), writes the file, runs the CRC-32 and fires progress.
  virtual void Write(const std::uint8_t* data, std::size_t length) = 0;
};

// Per-entry state handed to a decoder.
struct TDecodeContext {
  TDecodeInput& Input;
  TDecodeOutput& Output;
  TDecodeWorkspace& Workspace;
  // The entry's uncompressed size from its directory record: reducing and imploding
  // stop after this many bytes (their streams have no end marker); the other methods
  // end with their data, and the output sink holds them to this size.
  std::int64_t UncompressedSize = 0;
  // The entry's compressed size without an encryption header (the bytes Refill will
  // deliver in total). Imploding chooses its distance-table size by it.
  std::int64_t CompressedSize = 0;
};

// Method 0: copies the compressed bytes to the output as they are.
void Unstore(TDecodeContext& ctx);
// Method 1: dynamic LZW with partial clearing.
void Unshrink(TDecodeContext& ctx);
// Methods 2 to 5: `factor` = method - 1, 1 to 4.
void Unreduce(TDecodeContext& ctx, int factor);
// Method 6: `flags` is the entry's general purpose bit flag (bit 1: 8 KiB dictionary,
// bit 2: three trees).
void Explode(TDecodeContext& ctx, std::uint16_t flags);
// Method 8: RFC 1951 deflate.
void Inflate(TDecodeContext& ctx);

// Runs the decoder of `method` (0, 1, 2-5, 6 or 8) and returns true, or returns false
// without touching input or output for any other method.
bool Decode(TDecodeContext& ctx, std::uint16_t method, std::uint16_t flags);

}  // namespace unzip
