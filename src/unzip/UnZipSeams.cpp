#include "unzip/UnZipSeams.h"

TUnZipSeams& UnZipSeams() {
  static TUnZipSeams seams = DefaultUnZipSeams();
  return seams;
}
