#include "module/file_position.h"

#include <sys/types.h>

int64_t SeekToEnd(FILE* file) {
  if (fseeko(file, 0, SEEK_END) != 0) return -1;
  return int64_t(ftello(file));
}
