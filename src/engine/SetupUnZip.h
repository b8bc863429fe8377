// TSetupUnZip: the archive reader as the install engine drives it, with its handlers: the
// reader's total percentage becomes the engine's progress (and a cancelled engine cancels
// the reader), a bad checksum is reported to the user, and every written file loses its
// read-only bit and is logged.
#pragma once

#include <set>
#include <string>

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

  // Targets the reader leaves alone (files in use that are kept or replaced later); when
  // OnlyTargets is not empty, only those are written.
  std::set<std::string> SkipTargets;
  std::set<std::string> OnlyTargets;

 private:
  TProgressThread& engine_;
};
