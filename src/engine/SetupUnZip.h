// TSetupUnZip: the archive reader as the install engine drives it, with its handlers: the
// reader's total percentage becomes the engine's progress (and a cancelled engine cancels
// the reader), a bad checksum is reported to the user, and every written file loses its
// read-only bit and is logged.
#pragma once

#include "unzip/UnZip.h"

class TProgressThread;

class TSetupUnZip : public TUnZip {
 public:
  explicit TSetupUnZip(TProgressThread& engine);

  // The handlers, attached by the extraction step.
  void TotalPercentDone(TUnZip* sender, int percent);
  void BadCRC(TUnZip* sender, std::uint32_t calcCrc, std::uint32_t storedCrc, int fileIndex);
  void EndUnZip(TUnZip* sender, int fileIndex, const std::string& fileName);
  // At every refill of the reader's input: the engine's pause, and its cancel.
  void InputRefill(TUnZip* sender);
  void AttachHandlers();

 private:
  TProgressThread& engine_;
};
